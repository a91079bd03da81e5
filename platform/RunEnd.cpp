#include "platform/RunEnd.h"

#include "platform/DebugOutput.h"
#include "platform/MessageQueue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

std::atomic<bool> ending{false};

struct TWatches {
    // Held while the watches are called, so that a watch going away waits for its call.
    std::mutex Lock;
    std::vector<std::function<void()>*> Calls;
};

TWatches& Watches() {
    static TWatches* const watches = new TWatches();  // threads may still call it at exit
    return *watches;
}

// The signal handler's side of a pipe that a thread of ours reads: only a write happens
// in the handler itself.
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (signalPipe[1] >= 0 && ::write(signalPipe[1], &byte, 1) < 0) {
        // A full pipe holds a request already.
    }
    errno = saved;
}

void WatchSignals() {
    char byte = 0;
    for (;;) {
        const ssize_t n = ::read(signalPipe[0], &byte, 1);
        if (n == 1) {
            TraceMoment("signal-ends-run");
            RequestRunEnd();
            // The loop, when one runs, ends on the quit as it always did.
            PostQueuedQuit();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

}  // namespace

void RequestRunEnd() {
    if (ending.exchange(true)) return;
    {
        TWatches& watches = Watches();
        std::lock_guard<std::mutex> guard(watches.Lock);
        for (std::function<void()>* call : watches.Calls) (*call)();
    }
    WakeQueuedGuiThread();
}

bool RunEndRequested() { return ending.load(); }

void ResetRunEnd() { ending = false; }

TRunEndWatch::TRunEndWatch(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {
    TWatches& watches = Watches();
    std::lock_guard<std::mutex> guard(watches.Lock);
    // Under the lock: a request meanwhile either sees this watch or was seen here.
    if (ending.load()) onEnd_();
    watches.Calls.push_back(&onEnd_);
}

TRunEndWatch::~TRunEndWatch() {
    TWatches& watches = Watches();
    std::lock_guard<std::mutex> guard(watches.Lock);
    std::erase(watches.Calls, &onEnd_);
}

void HandleTerminationSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(signalPipe, O_CLOEXEC) != 0) return;
        try {
            std::thread(WatchSignals).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the signals stay SDL's.
            return;
        }
        struct sigaction action {};
        action.sa_handler = OnTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    });
}
