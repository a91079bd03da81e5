#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<bool> manualActive{false};
std::atomic<uint32_t> manualTicks{0};
}  // namespace

uint32_t GetTickCount() {
    if (manualActive.load(std::memory_order_acquire)) return manualTicks.load(std::memory_order_relaxed);
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

TManualTickCount::TManualTickCount(uint32_t start) {
    manualTicks.store(start);
    manualActive.store(true, std::memory_order_release);
}

TManualTickCount::~TManualTickCount() { manualActive.store(false, std::memory_order_release); }

void TManualTickCount::Set(uint32_t ticks) { manualTicks.store(ticks); }

void TManualTickCount::Advance(uint32_t ms) { manualTicks.fetch_add(ms); }

uint32_t TManualTickCount::Get() const { return manualTicks.load(); }
