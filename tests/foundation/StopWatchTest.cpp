#include "foundation/StopWatch.h"
#include "platform/Clock.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(StopWatch, ResetStopContinue) {
    TManualTickCount clock(1000);
    TInstalled<SetTickSource> installedClock(clock);
    TStopWatch w;
    EXPECT_EQ(w.Elapsed(), 0);
    clock.Advance(250);
    EXPECT_EQ(w.Elapsed(), 250);
    w.Reset(500);
    EXPECT_EQ(w.Elapsed(), 500);
    clock.Advance(100);
    EXPECT_EQ(w.Stop(), 600);
    EXPECT_TRUE(w.IsStopped());
    clock.Advance(10000);  // a pause of any length is not counted
    EXPECT_EQ(w.Elapsed(), 600);
    w.Continue();
    EXPECT_FALSE(w.IsStopped());
    EXPECT_EQ(w.Elapsed(), 600);
    clock.Advance(40);
    EXPECT_EQ(w.Elapsed(), 640);
}

TEST(StopWatch, SecondStopMeasuresAgainFromTheSameStart) {
    TManualTickCount clock(0);
    TInstalled<SetTickSource> installedClock(clock);
    TStopWatch w;
    clock.Advance(100);
    EXPECT_EQ(w.Stop(), 100);
    clock.Advance(50);
    EXPECT_EQ(w.Elapsed(), 100);
    EXPECT_EQ(w.Stop(), 150);
}

TEST(StopWatch, ContinueOnRunningWatchDiscardsTheCurrentInterval) {
    TManualTickCount clock(0);
    TInstalled<SetTickSource> installedClock(clock);
    TStopWatch w;
    w.Reset(1000);
    clock.Advance(300);
    EXPECT_EQ(w.Elapsed(), 1300);
    w.Continue();  // the 300 ms since Reset are dropped
    EXPECT_EQ(w.Elapsed(), 1000);
    clock.Advance(20);
    EXPECT_EQ(w.Elapsed(), 1020);
}

TEST(StopWatch, SetTimeKeepsTheStoppedState) {
    TManualTickCount clock(0);
    TInstalled<SetTickSource> installedClock(clock);
    TStopWatch w;
    clock.Advance(70);
    w.Stop();
    w.SetTime(1000);
    clock.Advance(500);
    EXPECT_TRUE(w.IsStopped());
    EXPECT_EQ(w.Elapsed(), 1000);
    w.Continue();
    clock.Advance(5);
    EXPECT_EQ(w.Elapsed(), 1005);
    w.SetTime(-200);  // a running watch counts on from the new time
    clock.Advance(50);
    EXPECT_EQ(w.Elapsed(), -150);
}

TEST(StopWatch, IntervalAcrossTheWrapOfTheTickCounter) {
    TManualTickCount clock(0xFFFFFF00u);
    TInstalled<SetTickSource> installedClock(clock);
    TStopWatch w;
    w.Reset(10);
    clock.Advance(0x200);  // the counter wraps to 0x100
    EXPECT_EQ(clock.Get(), 0x100u);
    EXPECT_EQ(w.Elapsed(), 0x200 + 10);
    EXPECT_EQ(w.Stop(), 0x200 + 10);
    clock.Advance(1000);
    w.Continue();
    clock.Advance(1);
    EXPECT_EQ(w.Elapsed(), 0x200 + 11);
}
