// The run's end as the whole process sees it. The message loop learns of a quit from its
// queue, but before the loop runs (the package's copy, the fonts, the first pictures)
// nobody reads the queue: slow work looks at RunEndRequested between its steps, and
// whoever waits on such work holds a TRunEndWatch that cuts the wait short.
//
// SIGTERM and SIGINT end the run this way once HandleTerminationSignals was called: they
// request the end and post a quit to the queue, at any moment, from a thread of their own.
#pragma once

#include <functional>

// Marks the run ending, calls every watch once and wakes the message queue's GUI thread.
// Any thread; only the first call does anything.
void RequestRunEnd();
bool RunEndRequested();
// Forgets a requested end, for a process that runs again (tests).
void ResetRunEnd();

// Calls onEnd (on the requesting thread) when the run's end is requested while it lives,
// at once when it was requested already. onEnd must be short: set a flag, wake a waiter.
// Once the destructor returns, onEnd runs no more.
class TRunEndWatch {
public:
    explicit TRunEndWatch(std::function<void()> onEnd);
    ~TRunEndWatch();
    TRunEndWatch(const TRunEndWatch&) = delete;
    TRunEndWatch& operator=(const TRunEndWatch&) = delete;

private:
    std::function<void()> onEnd_;
};

// From now on SIGTERM and SIGINT request the run's end and post a quit to the message
// queue in use, instead of SDL's turning them into a quit only when its events are pumped.
// Call it after the queue was made; calling it again does nothing.
void HandleTerminationSignals();
