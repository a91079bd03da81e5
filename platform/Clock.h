// The millisecond tick counter: 32 bits, wrapping after about 49.7 days, so users take
// differences in unsigned 32-bit arithmetic. Tests replace it with a driven counter.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, modulo 2^32.
uint32_t GetTickCount();

// While an instance lives, GetTickCount answers its value instead of the system clock.
// One at a time; meant for tests.
class TManualTickCount {
public:
    explicit TManualTickCount(uint32_t start = 0);
    ~TManualTickCount();
    TManualTickCount(const TManualTickCount&) = delete;
    TManualTickCount& operator=(const TManualTickCount&) = delete;

    void Set(uint32_t ticks);
    void Advance(uint32_t ms);  // wraps like the real counter
    uint32_t Get() const;
};
