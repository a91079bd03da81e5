#include "playback/RealTimeSlideShowPlayer.h"

#include "platform/DebugOutput.h"

GC_IMPLEMENT_CLASS(TSlideShowPlayerStopWatch, TStopWatch)
GC_IMPLEMENT_CLASS(TRealTimeSlideShowPlayerStopWatch, TSlideShowPlayerStopWatch)
GC_IMPLEMENT_PLUGIN(TRealTimeSlideShowPlayer, TSlideShowPlayer)

TSlideShowPlayerStopWatch::TSlideShowPlayerStopWatch(IPlayerServices* player) : Player(player) { Reset(0); }

uint32_t TSlideShowPlayerStopWatch::Now() { return Player ? static_cast<uint32_t>(Player->GetPlayTime()) : 0; }

TRealTimeSlideShowPlayerStopWatch::TRealTimeSlideShowPlayerStopWatch(IPlayerServices* player)
    : TSlideShowPlayerStopWatch(player) {
    Reset(0);
}

uint32_t TRealTimeSlideShowPlayerStopWatch::Now() {
    return Player ? static_cast<uint32_t>(Player->GetCurrentPlayTime()) : 0;
}

void TCachedClock::Start(int32_t time) {
    watch_.Reset(time);
    cache_ = time;
    valid_ = true;
}

void TCachedClock::Resume() {
    watch_.Continue();
    // The reading taken before the pause is stale now.
    valid_ = false;
}

void TCachedClock::SetTime(int32_t time) {
    watch_.SetTime(time);
    valid_ = false;
}

int32_t TCachedClock::Read() {
    if (!valid_) {
        cache_ = watch_.Elapsed();
        valid_ = true;
    }
    return cache_;
}

TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer() = default;

TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer(ISoundSystem* soundSystem) : TSlideShowPlayer(soundSystem) {}

TRealTimeSlideShowPlayer::~TRealTimeSlideShowPlayer() {
    // Reset while the player is whole; the base finds nothing left to do.
    try {
        ResetPlayback();
    } catch (const std::exception& e) {
        LogError(AnsiString("Player: ") + e.what());
    }
}

// The show's clock on the trace, from where it runs: the tests map show time to the
// moments they measure.
void TRealTimeSlideShowPlayer::StartClock(int32_t time) {
    PlayClock.Start(time);
    TraceMoment("show-clock " + std::to_string(time));
}
void TRealTimeSlideShowPlayer::PauseClock() { PlayClock.Pause(); }
void TRealTimeSlideShowPlayer::ResumeClock() { PlayClock.Resume(); }
void TRealTimeSlideShowPlayer::SetClockTime(int32_t time) { PlayClock.SetTime(time); }
int32_t TRealTimeSlideShowPlayer::GetPlayTime() { return PlayClock.Read(); }
int32_t TRealTimeSlideShowPlayer::GetCurrentPlayTime() { return PlayClock.ReadNow(); }

void TRealTimeSlideShowPlayer::StartMusicClock(int32_t time) { MusicClock.Start(time); }
void TRealTimeSlideShowPlayer::PauseMusicClock() { MusicClock.Pause(); }
void TRealTimeSlideShowPlayer::ResumeMusicClock() { MusicClock.Resume(); }
void TRealTimeSlideShowPlayer::SetMusicClockTime(int32_t time) { MusicClock.SetTime(time); }
int32_t TRealTimeSlideShowPlayer::GetMusicClockTime() { return MusicClock.Read(); }

void TRealTimeSlideShowPlayer::MessageLoopStep() {
    PlayClock.Forget();
    MusicClock.Forget();
    TSlideShowPlayer::MessageLoopStep();
}
