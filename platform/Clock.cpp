#include "platform/Clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

class TLinuxTickSource : public TTickSource {
public:
    uint32_t Ticks() override {
        timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        const uint64_t ms =
            static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);
    }
};

std::atomic<TTickSource*> installedSource{nullptr};

}  // namespace

uint32_t GetTickCount() {
    if (TTickSource* installed = installedSource.load(std::memory_order_acquire)) return installed->Ticks();
    static TLinuxTickSource linuxSource;
    return linuxSource.Ticks();
}

void SetTickSource(TTickSource* source) { installedSource.store(source, std::memory_order_release); }

void TManualTickCount::CheckInstalled() const {
    if (installedSource.load(std::memory_order_acquire) == this) return;
    std::fputs("TManualTickCount: driven while not installed (SetTickSource)\n", stderr);
    std::abort();
}

void TManualTickCount::Set(uint32_t ticks) {
    CheckInstalled();
    ticks_.store(ticks);
}

void TManualTickCount::Advance(uint32_t ms) {
    CheckInstalled();
    ticks_.fetch_add(ms);
}
