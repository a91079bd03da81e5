#include "shell/RunEndSteps.h"

#include "platform/DebugOutput.h"
#include "platform/Window.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

namespace {

// The steps, outermost first. The loss of the X connection may be met on another
// thread than the one leaving a scope: each step is claimed under the lock and run
// outside it, so that neither waits on a step the other runs.
std::mutex& StepsLock() {
    static std::mutex lock;
    return lock;
}

std::vector<TRunEndStep*>& Steps() {
    static std::vector<TRunEndStep*> steps;
    return steps;
}

}  // namespace

TRunEndStep::TRunEndStep(std::function<void()> step) : step_(std::move(step)) {
    std::lock_guard<std::mutex> guard(StepsLock());
    Steps().push_back(this);
    SetDisplayLostAction(RunTheRunsEndNow);
}

TRunEndStep::~TRunEndStep() {
    RunOnce();
    std::lock_guard<std::mutex> guard(StepsLock());
    std::vector<TRunEndStep*>& steps = Steps();
    steps.erase(std::remove(steps.begin(), steps.end(), this), steps.end());
    if (steps.empty()) SetDisplayLostAction(nullptr);
}

void TRunEndStep::RunOnce() {
    {
        std::lock_guard<std::mutex> guard(StepsLock());
        if (done_) return;
        done_ = true;
    }
    try {
        step_();
    } catch (const std::exception& e) {
        OutputDebugString(AnsiString("Run's end: ") + e.what());
    } catch (...) {
        OutputDebugString("Run's end: a step failed");
    }
}

void RunTheRunsEndNow() {
    std::vector<TRunEndStep*> steps;
    {
        std::lock_guard<std::mutex> guard(StepsLock());
        steps = Steps();
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) (*step)->RunOnce();
}
