// What the mixer takes a stream's or song's sound from. On the real-time outputs a worker
// thread decodes ahead into a ring of about half a second, so that the mixer only copies;
// on the on-demand output the mixer decodes itself, which keeps that output (and with it
// the waveform) deterministic.
#pragma once

#include "soundlib/Sources.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#pragma GCC visibility push(hidden)

namespace gcsound {

// Decodes done by the mix routine itself, over the library's life (tests read it).
extern std::atomic<int64_t> gMixerDecodes;
// While set, the workers decode nothing (tests let a ring run dry with it).
extern std::atomic<bool> gHoldDecoding;

// One line on the debug output when GC_DEBUG asks for it.
void DebugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One line of the program's trace when GC_TRACE names its file (the program's own format,
// "<monotonic ms> <event>", into the same file).
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

class TFeed {
public:
    // ahead: decode on a worker thread into a ring; name tells the debug output which.
    TFeed(std::unique_ptr<TStreamSource> decoder, int rate, bool ahead, std::string name);
    ~TFeed();
    TFeed(const TFeed&) = delete;
    TFeed& operator=(const TFeed&) = delete;

    bool Ahead() const { return ahead_; }

    // The mixer's side, under the library's lock. Take copies up to frames frames; on the
    // on-demand output it decodes them. Ended: nothing more will come.
    int Take(int16_t* out, int frames);
    bool Ended() const;
    // The mixer played frames frames of silence because the ring ran dry.
    void NoteDry(int frames);

    // Moving the decoder, ahead: hold a TSeekLock, Seek, then Flush under the library's
    // lock. On demand: Seek and Flush under the library's lock.
    class TSeekLock {
    public:
        explicit TSeekLock(TFeed& feed);
        ~TSeekLock();

    private:
        TFeed& feed_;
        std::unique_lock<std::mutex> lock_;
    };
    void Seek(int64_t ms);
    void Flush();

private:
    void Work();
    size_t Buffered() const { return size_t(head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed)); }

    std::unique_ptr<TStreamSource> decoder_;
    const int rate_;
    const bool ahead_;
    const std::string name_;

    // The ring: the worker writes at head, the mixer reads at tail (frame counts).
    std::vector<int16_t> ring_;
    size_t capacity_ = 0;
    size_t chunk_ = 0;
    std::atomic<uint64_t> head_{0};
    std::atomic<uint64_t> tail_{0};
    std::atomic<bool> decoderEnded_{false};
    std::atomic<int64_t> starved_{0};
    std::atomic<int> seekers_{0};  // seeks waiting for the decode lock

    std::mutex decodeLock_;  // held by the worker while it decodes, and by Seek
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace gcsound

#pragma GCC visibility pop
