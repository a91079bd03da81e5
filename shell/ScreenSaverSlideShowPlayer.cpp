#include "shell/ScreenSaverSlideShowPlayer.h"

#include "shell/ScreenSaverPlayerWindow.h"

GC_IMPLEMENT_PLUGIN(TScreenSaverSlideShowPlayer, TRealTimeSlideShowPlayer)

TScreenSaverSlideShowPlayer::TScreenSaverSlideShowPlayer() = default;

TScreenSaverSlideShowPlayer::TScreenSaverSlideShowPlayer(ISoundSystem* soundSystem)
    : TRealTimeSlideShowPlayer(soundSystem) {}

void TScreenSaverSlideShowPlayer::Stop() {
    if (MayStop) TRealTimeSlideShowPlayer::Stop();
}

std::unique_ptr<IPlayerWindow> TScreenSaverSlideShowPlayer::CreateWindowForm() {
    return std::make_unique<TScreenSaverPlayerWindowForm>();
}
