// The player on real clocks: a play clock for the show time and a music clock for music
// on its own time line, each read at most once per tick so that every object of a frame
// sees the same time. The clocks run on the tick counter, which tests drive.
#pragma once

#include "foundation/StopWatch.h"
#include "playback/SlideShowPlayer.h"

#include <memory>

// Stop watches on a player's show time instead of the tick counter: the first reads the
// time of the current tick, the second the time now.
class TSlideShowPlayerStopWatch : public TStopWatch {
    GC_DECLARE_CLASS(TSlideShowPlayerStopWatch)
public:
    explicit TSlideShowPlayerStopWatch(IPlayerServices* player);

protected:
    uint32_t Now() override;
    IPlayerServices* Player;
};

class TRealTimeSlideShowPlayerStopWatch : public TSlideShowPlayerStopWatch {
    GC_DECLARE_CLASS(TRealTimeSlideShowPlayerStopWatch)
public:
    explicit TRealTimeSlideShowPlayerStopWatch(IPlayerServices* player);

protected:
    uint32_t Now() override;
};

// A stop watch read at most once per tick: the first reading after a new tick or a
// change of the clock is kept until the next one. It starts as a valid 0, so it reads
// 0 until an operation or a tick forgets that.
class TCachedClock {
public:
    void Start(int32_t time);
    void Pause() { watch_.Stop(); }
    void Resume();
    void SetTime(int32_t time);
    // The reading of this tick.
    int32_t Read();
    // The reading now, which leaves the tick's reading alone.
    int32_t ReadNow() { return watch_.Elapsed(); }
    // A new tick: the next Read reads the watch again.
    void Forget() { valid_ = false; }

private:
    TStopWatch watch_;
    int32_t cache_ = 0;
    bool valid_ = true;
};

class TRealTimeSlideShowPlayer : public TSlideShowPlayer {
    GC_DECLARE_CLASS(TRealTimeSlideShowPlayer)
public:
    TRealTimeSlideShowPlayer();
    explicit TRealTimeSlideShowPlayer(ISoundSystem* soundSystem);
    ~TRealTimeSlideShowPlayer() override;

    void StartClock(int32_t time) override;
    void PauseClock() override;
    void ResumeClock() override;
    void SetClockTime(int32_t time) override;
    int32_t GetPlayTime() override;
    int32_t GetCurrentPlayTime() override;
    void StartMusicClock(int32_t time) override;
    void PauseMusicClock() override;
    void ResumeMusicClock() override;
    void SetMusicClockTime(int32_t time) override;
    int32_t GetMusicClockTime() override;
    int32_t GetCurrentMusicClockTime() override { return MusicClock.ReadNow(); }
    // Forgets the readings of the last tick, then ticks.
    void MessageLoopStep() override;

    TCachedClock PlayClock;
    TCachedClock MusicClock;
};
