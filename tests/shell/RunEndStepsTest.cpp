#include "shell/RunEndSteps.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class TEnd { PlayReturns, Throws, DisplayLost, DisplayLostOnAnotherThread, DisplayLostTwice };

}  // namespace

// However a run ends, each of its end steps runs once, innermost first, and a step that
// fails keeps none of the others from running.
TEST(RunEndSteps, EachStepRunsOnceWhicheverEndComesFirst) {
    const struct {
        const char* what;
        TEnd end;
    } cases[] = {
        {"a key, SIGTERM or the dialog closed: the play returns", TEnd::PlayReturns},
        {"the run fails", TEnd::Throws},
        {"the X connection is lost", TEnd::DisplayLost},
        {"the loss is met on another thread", TEnd::DisplayLostOnAnotherThread},
        {"the loss is met twice", TEnd::DisplayLostTwice},
    };
    for (const auto& c : cases) {
        std::vector<std::string> ran;
        try {
            TRunEndStep outer([&ran] { ran.push_back("outer"); });
            TRunEndStep failing([&ran] {
                ran.push_back("failing");
                throw std::runtime_error("the step fails");
            });
            TRunEndStep inner([&ran] { ran.push_back("inner"); });
            switch (c.end) {
                case TEnd::PlayReturns: break;
                case TEnd::Throws: throw std::runtime_error("the run fails");
                case TEnd::DisplayLost: RunTheRunsEndNow(); break;
                case TEnd::DisplayLostOnAnotherThread: std::thread(RunTheRunsEndNow).join(); break;
                case TEnd::DisplayLostTwice:
                    RunTheRunsEndNow();
                    RunTheRunsEndNow();
                    break;
            }
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(ran, (std::vector<std::string>{"inner", "failing", "outer"})) << c.what;
        // The run is over: its steps are gone with it.
        ran.clear();
        RunTheRunsEndNow();
        EXPECT_TRUE(ran.empty()) << c.what;
    }
}
