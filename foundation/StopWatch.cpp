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
    FStartTick = GetTickCount();
}

uint32_t TStopWatch::Now() { return GetTickCount(); }

void TStopWatch::Reset(int32_t offset) {
    FStartTick = Now();
    FStoppedElapsed = 0;
    FOffset = offset;
    FStopped = false;
}

int32_t TStopWatch::Stop() {
    FStoppedElapsed = Now() - FStartTick;
    FStopped = true;
    return AddWrapping(FStoppedElapsed, FOffset);
}

int32_t TStopWatch::Elapsed() {
    const uint32_t running = FStopped ? FStoppedElapsed : Now() - FStartTick;
    return AddWrapping(running, FOffset);
}

void TStopWatch::Continue() {
    FOffset = AddWrapping(FStoppedElapsed, FOffset);
    FStoppedElapsed = 0;
    FStartTick = Now();
    FStopped = false;
}

void TStopWatch::SetTime(int32_t ms) {
    FStartTick = Now();
    FStoppedElapsed = 0;
    FOffset = ms;
}
