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
    // Forgets the readings of the last tick, then ticks.
    void MessageLoopStep() override;

    std::unique_ptr<TStopWatch> PlayClock;
    std::unique_ptr<TStopWatch> MusicClock;

private:
    // The readings of the current tick. Both start as a valid 0, so the time reads 0
    // until a clock operation or a tick forgets it.
    int32_t playTimeCache_ = 0;
    bool playTimeValid_ = true;
    int32_t musicTimeCache_ = 0;
    bool musicTimeValid_ = true;
};
