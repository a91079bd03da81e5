#include "soundlib/Feed.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#pragma GCC visibility push(hidden)

namespace gcsound {

std::atomic<int64_t> gMixerDecodes{0};
std::atomic<bool> gHoldDecoding{false};

void DebugLine(const char* format, ...) {
    // The program's switch: the library is loaded by path and shares nothing else with it.
    const char* v = std::getenv("GC_DEBUG");
    if (!v || !*v || std::strcmp(v, "0") == 0)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

void TraceLine(const char* format, ...) {
    static const int fd = [] {
        const char* file = std::getenv("GC_TRACE");
        return file && *file ? ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    if (fd < 0)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char line[256];
    int n = std::snprintf(line, sizeof line, "%.3f ", double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6);
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(line + n, sizeof line - size_t(n) - 1, format, args);
    va_end(args);
    n = std::min<int>(n, int(sizeof line) - 2);
    line[n++] = '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, line, size_t(n));
}

TFeed::TFeed(std::unique_ptr<TStreamSource> decoder, int rate, bool ahead, std::string name)
    : decoder_(std::move(decoder)), rate_(rate), ahead_(ahead), name_(std::move(name)) {
    if (!ahead_)
        return;
    capacity_ = static_cast<size_t>(std::max(rate_ / 2, 1024));
    chunk_ = std::clamp<size_t>(capacity_ / 8, 256, 2048);
    ring_.resize(capacity_ * 2);
    worker_ = std::thread([this] { Work(); });
}

TFeed::~TFeed() {
    if (!worker_.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(decodeLock_);
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void TFeed::Work() {
    std::unique_lock<std::mutex> lock(decodeLock_);
    bool refilling = false;
    while (!stop_) {
        if (int64_t dry = starved_.exchange(0, std::memory_order_relaxed))
            DebugLine("Sound stream \"%s\": buffer ran dry, %lld ms of silence", name_.c_str(),
                      static_cast<long long>(dry * 1000 / rate_));
        if (seekers_.load(std::memory_order_relaxed) > 0) {
            // A seek waits for this lock: let it have it first.
            wake_.wait(lock, [this] { return stop_ || seekers_.load(std::memory_order_relaxed) == 0; });
            continue;
        }
        const uint64_t head = head_.load(std::memory_order_relaxed);
        const size_t free = capacity_ - size_t(head - tail_.load(std::memory_order_acquire));
        // Refill once half the ring is free, then fill it up: few wake-ups, long runs.
        refilling = !decoderEnded_.load(std::memory_order_relaxed) && free >= chunk_ &&
                    (refilling || free >= capacity_ / 2) && !gHoldDecoding.load(std::memory_order_relaxed);
        if (!refilling) {
            // The mixer wakes us after every block it takes once half is free, so does a
            // seek; the time-out only guards against a wake-up that never comes.
            wake_.wait_for(lock, std::chrono::milliseconds(500));
            continue;
        }
        // Straight into the ring, up to its end at most.
        const size_t at = size_t(head % capacity_);
        const int want = static_cast<int>(std::min(chunk_, capacity_ - at));
        const int got = std::max(0, decoder_->Read(ring_.data() + at * 2, want));
        head_.store(head + uint64_t(got), std::memory_order_release);
        if (got < want)
            decoderEnded_.store(true, std::memory_order_release);
    }
}

int TFeed::Take(int16_t* out, int frames) {
    if (frames <= 0)
        return 0;
    if (!ahead_) {
        if (decoderEnded_.load(std::memory_order_relaxed))
            return 0;
        gMixerDecodes.fetch_add(1, std::memory_order_relaxed);
        const int got = std::max(0, decoder_->Read(out, frames));
        if (got < frames)
            decoderEnded_.store(true, std::memory_order_relaxed);
        return got;
    }
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    const size_t take = std::min(size_t(frames), Buffered());
    const size_t at = size_t(tail % capacity_);
    const size_t first = std::min(take, capacity_ - at);
    std::memcpy(out, ring_.data() + at * 2, first * 4);
    std::memcpy(out + first * 2, ring_.data(), (take - first) * 4);
    tail_.store(tail + take, std::memory_order_release);
    if (take > 0 && Buffered() < capacity_ / 2)
        wake_.notify_one();
    return static_cast<int>(take);
}

bool TFeed::Ended() const {
    // The end flag first: once it shows, the ring holds all there will be.
    if (!decoderEnded_.load(std::memory_order_acquire))
        return false;
    return !ahead_ || Buffered() == 0;
}

void TFeed::NoteDry(int frames) { starved_.fetch_add(frames, std::memory_order_relaxed); }

TFeed::TSeekLock::TSeekLock(TFeed& feed) : feed_(feed) {
    // Announced first, so the worker stops between two chunks and waits for us.
    feed_.seekers_.fetch_add(1, std::memory_order_relaxed);
    lock_ = std::unique_lock<std::mutex>(feed_.decodeLock_);
}

TFeed::TSeekLock::~TSeekLock() {
    feed_.seekers_.fetch_sub(1, std::memory_order_relaxed);
    lock_.unlock();
    feed_.wake_.notify_all();
}

void TFeed::Seek(int64_t ms) { decoder_->SeekMs(std::max<int64_t>(0, ms)); }

void TFeed::Flush() {
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
    decoderEnded_.store(false, std::memory_order_relaxed);
    starved_.store(0, std::memory_order_relaxed);
}

}  // namespace gcsound

#pragma GCC visibility pop
