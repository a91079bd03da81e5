#include "playback/AsideWorker.h"

#include <system_error>
#include <utility>

TAsideWorker::~TAsideWorker() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
    }
    DropWaiting();
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool TAsideWorker::Queue(std::shared_ptr<TAsideWork> work) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (quit_ || !work) return false;
        // The thread comes with the first work: shows without pictures have none.
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { Serve(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
    return true;
}

void TAsideWorker::DropWaiting() {
    std::deque<std::shared_ptr<TAsideWork>> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped.swap(queue_);
    }
    // Outside the lock: the last reference may free a result.
    for (const auto& work : dropped) work->Drop();
}

void TAsideWorker::Serve() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) break;
        std::shared_ptr<TAsideWork> work = std::move(queue_.front());
        queue_.pop_front();
        guard.unlock();
        const bool ran = work->RunIfWaiting();
        // Freed here when its owner has let go of it meanwhile.
        work.reset();
        if (ran && onDone_) onDone_();
        guard.lock();
    }
}
