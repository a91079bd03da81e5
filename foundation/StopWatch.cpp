#include "foundation/StopWatch.h"

#include "platform/Clock.h"

GC_IMPLEMENT_CLASS(TStopWatch, TObject)

namespace {
int32_t AddWrapping(uint32_t ms, int32_t offset) {
    return static_cast<int32_t>(ms + static_cast<uint32_t>(offset));
}
}  // namespace

TStopWatch::TStopWatch() {
    FOffset = 0;
    // Not the virtual Reset: a derived clock is not constructed yet.
    TStopWatch::Reset(0);
}

void TStopWatch::Reset(int32_t offset) {
    FStartTick = GetTickCount();
    FStoppedElapsed = 0;
    FOffset = offset;
    FStopped = false;
}

int32_t TStopWatch::Stop() {
    FStoppedElapsed = GetTickCount() - FStartTick;
    FStopped = true;
    return AddWrapping(FStoppedElapsed, FOffset);
}

int32_t TStopWatch::Elapsed() {
    const uint32_t running = FStopped ? FStoppedElapsed : GetTickCount() - FStartTick;
    return AddWrapping(running, FOffset);
}

void TStopWatch::Continue() {
    FOffset = AddWrapping(FStoppedElapsed, FOffset);
    FStoppedElapsed = 0;
    FStartTick = GetTickCount();
    FStopped = false;
}

void TStopWatch::SetTime(int32_t ms) {
    FStartTick = GetTickCount();
    FStoppedElapsed = 0;
    FOffset = ms;
}
