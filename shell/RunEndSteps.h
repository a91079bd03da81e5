// The steps that end a run (store where it stopped, save the options, stop the
// extraction, remove the package's folder), each written once and run once by whichever
// end comes first. A key, SIGTERM and a closed dialog end the play through the message
// loop, so a step runs as the scope that added it is left; a lost X connection never lets
// the play return (the process ends where the loss is met), so there every step still
// waiting runs at once, innermost first (see SetDisplayLostAction).
#pragma once

#include <functional>

// One step of the run's end, added for as long as this lives: it runs when this goes,
// unless an end ran it already.
class TRunEndStep {
public:
    explicit TRunEndStep(std::function<void()> step);
    ~TRunEndStep();
    TRunEndStep(const TRunEndStep&) = delete;
    TRunEndStep& operator=(const TRunEndStep&) = delete;

private:
    friend void RunTheRunsEndNow();
    // Runs the step unless it ran; what it throws is written to the debug output, since
    // the end goes on.
    void RunOnce();

    std::function<void()> step_;
    bool done_ = false;
};

// The run's end as a lost X connection meets it: every step not run yet, innermost first.
void RunTheRunsEndNow();
