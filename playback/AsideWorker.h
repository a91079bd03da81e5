// The player's helper thread for preparation work handed aside (TAsideWork): it runs the
// work in the order given, one at a time, so that a show preparing several pictures
// ahead decodes one of them at a time beside the frames, and says when a work has ended,
// so that the loop need not look for it.
#pragma once

#include "platform/AsideWork.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

class TAsideWorker {
public:
    // onDone runs on the helper thread after each work it ran; it may be empty.
    explicit TAsideWorker(std::function<void()> onDone = {}) : onDone_(std::move(onDone)) {}
    // Drops the work not begun and waits for the thread, which ends the work under way.
    ~TAsideWorker();
    TAsideWorker(const TAsideWorker&) = delete;
    TAsideWorker& operator=(const TAsideWorker&) = delete;

    // Queues the work; False when no thread can be had (the caller does the work itself).
    bool Queue(std::shared_ptr<TAsideWork> work);
    // Drops every work not begun; what runs ends on its own and its result goes unused
    // unless its owner still wants it.
    void DropWaiting();

private:
    void Serve();

    const std::function<void()> onDone_;

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<TAsideWork>> queue_;
    bool quit_ = false;
    std::thread thread_;
};
