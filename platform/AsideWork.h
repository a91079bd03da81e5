// Work that one thread hands to another and may still do itself, wait for or give up: the
// owner and the helper share it, and whoever lets go last frees it, so an owner that no
// longer wants the result neither waits for it nor keeps what it made. Run touches
// nothing the owner's thread uses meanwhile.
#pragma once

#include <condition_variable>
#include <mutex>

class TAsideWork {
public:
    virtual ~TAsideWork() = default;
    // Whether the work is waiting for the helper or running there.
    bool Pending() const;
    // Whether Run has ended.
    bool Done() const;
    // Runs the work on this thread when no helper has begun it, else waits until the
    // helper has ended it. Nothing for dropped work.
    void Finish();
    // Nobody wants the result: a helper that has not begun the work never runs it.
    void Drop();
    // For the helper: runs the work unless it was begun or dropped already; True when it
    // ran it here.
    bool RunIfWaiting();

protected:
    virtual void Run() = 0;

private:
    enum class TState { Waiting, Running, Ended, Dropped };
    // Runs the work if it is still waiting; False when it was not.
    bool Claim();
    mutable std::mutex lock_;
    std::condition_variable ended_;
    TState state_ = TState::Waiting;
};
