#include "platform/AsideWork.h"

bool TAsideWork::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == TState::Waiting || state_ == TState::Running;
}

bool TAsideWork::Done() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == TState::Ended;
}

bool TAsideWork::Claim() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ != TState::Waiting) return false;
        state_ = TState::Running;
    }
    try {
        Run();
    } catch (...) {
        // Run reports its failures in its result; nothing may leave a helper thread.
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        state_ = TState::Ended;
    }
    ended_.notify_all();
    return true;
}

void TAsideWork::Finish() {
    if (Claim()) return;
    std::unique_lock<std::mutex> guard(lock_);
    ended_.wait(guard, [this] { return state_ != TState::Running; });
}

void TAsideWork::Drop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == TState::Waiting) state_ = TState::Dropped;
}

bool TAsideWork::RunIfWaiting() { return Claim(); }
