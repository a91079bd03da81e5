// The millisecond tick counter: 32 bits, wrapping after about 49.7 days, so users take
// differences in unsigned 32-bit arithmetic. Tests replace it with a driven counter.
#pragma once

#include <atomic>
#include <cstdint>

// Milliseconds since an arbitrary start, modulo 2^32.
uint32_t GetTickCount();

// Where GetTickCount reads: the system's monotonic clock unless a test installed
// another. Read from any thread.
class TTickSource {
public:
    virtual ~TTickSource() = default;
    virtual uint32_t Ticks() = 0;
};
// Installs source (not owned) until it is called again with null.
void SetTickSource(TTickSource* source);

// A source for tests that moves only when driven. Driving one that is not installed
// aborts: a test that forgot to install it would otherwise run on real time unnoticed.
class TManualTickCount : public TTickSource {
public:
    explicit TManualTickCount(uint32_t start = 0) : ticks_(start) {}
    TManualTickCount(const TManualTickCount&) = delete;
    TManualTickCount& operator=(const TManualTickCount&) = delete;

    void Set(uint32_t ticks);
    void Advance(uint32_t ms);  // wraps like the real counter
    uint32_t Get() const { return ticks_.load(); }
    uint32_t Ticks() override { return Get(); }

private:
    void CheckInstalled() const;

    std::atomic<uint32_t> ticks_;
};
