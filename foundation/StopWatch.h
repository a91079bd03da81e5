// A millisecond clock on the system tick counter. The player's show and music clocks
// specialise it; objects use plain instances to time their preparation work.
#pragma once

#include "foundation/ClassRegistry.h"

#include <cstdint>

class TStopWatch : public TObject {
    GC_DECLARE_CLASS(TStopWatch)
public:
    TStopWatch();

    // Starts counting from Offset ms now; clears the stopped state.
    virtual void Reset(int32_t offset = 0);
    // Freezes the reading and returns it. A second Stop measures again from the same start.
    virtual int32_t Stop();
    // The reading in ms; reading does not change the watch.
    virtual int32_t Elapsed();
    // Credits the frozen interval and counts on from now; the time since Stop is not
    // counted. On a running watch the current interval is discarded and counting restarts.
    virtual void Continue();
    // The reading becomes Ms from now on; a stopped watch stays stopped (reading Ms).
    virtual void SetTime(int32_t ms);

    bool IsStopped() const { return FStopped; }

protected:
    // "Now" in ms: the tick counter here; the player's stop watches read its clocks.
    // Differences are taken modulo 2^32 either way.
    virtual uint32_t Now();

    // Tick differences are taken modulo 2^32, so a wrap of the counter does not disturb
    // an interval; the sum with the offset wraps the same way into a signed reading.
    int32_t FOffset = 0;          // credited before the current running interval
    bool FStopped = false;
    uint32_t FStartTick = 0;      // tick at the start of the current running interval
    uint32_t FStoppedElapsed = 0; // running interval measured by the last Stop
};
