#include "playback/RealTimeSlideShowPlayer.h"

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

TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer()
    : PlayClock(std::make_unique<TStopWatch>()), MusicClock(std::make_unique<TStopWatch>()) {}

TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer(ISoundSystem* soundSystem)
    : TSlideShowPlayer(soundSystem),
      PlayClock(std::make_unique<TStopWatch>()),
      MusicClock(std::make_unique<TStopWatch>()) {}

TRealTimeSlideShowPlayer::~TRealTimeSlideShowPlayer() {
    // Reset while the player is whole; the base finds nothing left to do.
    try {
        ResetPlayback();
    } catch (const std::exception& e) {
        LogError(AnsiString("Player: ") + e.what());
    }
}

void TRealTimeSlideShowPlayer::StartClock(int32_t time) {
    PlayClock->Reset(time);
    playTimeCache_ = time;
    playTimeValid_ = true;
}

void TRealTimeSlideShowPlayer::PauseClock() { PlayClock->Stop(); }

void TRealTimeSlideShowPlayer::ResumeClock() {
    PlayClock->Continue();
    playTimeValid_ = false;
}

void TRealTimeSlideShowPlayer::SetClockTime(int32_t time) {
    PlayClock->SetTime(time);
    playTimeValid_ = false;
}

int32_t TRealTimeSlideShowPlayer::GetPlayTime() {
    if (!playTimeValid_) {
        playTimeCache_ = PlayClock->Elapsed();
        playTimeValid_ = true;
    }
    return playTimeCache_;
}

int32_t TRealTimeSlideShowPlayer::GetCurrentPlayTime() { return PlayClock->Elapsed(); }

void TRealTimeSlideShowPlayer::StartMusicClock(int32_t time) {
    MusicClock->Reset(time);
    musicTimeCache_ = time;
    musicTimeValid_ = true;
}

void TRealTimeSlideShowPlayer::PauseMusicClock() { MusicClock->Stop(); }

void TRealTimeSlideShowPlayer::ResumeMusicClock() {
    MusicClock->Continue();
    // The reading taken before the pause is stale now, as after the play clock's.
    musicTimeValid_ = false;
}

void TRealTimeSlideShowPlayer::SetMusicClockTime(int32_t time) {
    MusicClock->SetTime(time);
    musicTimeValid_ = false;
}

int32_t TRealTimeSlideShowPlayer::GetMusicClockTime() {
    if (!musicTimeValid_) {
        musicTimeCache_ = MusicClock->Elapsed();
        musicTimeValid_ = true;
    }
    return musicTimeCache_;
}

void TRealTimeSlideShowPlayer::MessageLoopStep() {
    playTimeValid_ = false;
    musicTimeValid_ = false;
    TSlideShowPlayer::MessageLoopStep();
}
