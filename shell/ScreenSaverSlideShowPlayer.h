// The full-screen run's player: the real-time player in a window that ends the show on
// the user's first input, and that drops stop requests while a password was refused.
#pragma once

#include "playback/RealTimeSlideShowPlayer.h"

class TScreenSaverSlideShowPlayer : public TRealTimeSlideShowPlayer {
    GC_DECLARE_CLASS(TScreenSaverSlideShowPlayer)
public:
    // The sound lists are those of the sound system running now.
    TScreenSaverSlideShowPlayer();
    explicit TScreenSaverSlideShowPlayer(ISoundSystem* soundSystem);

    // Passed on only while MayStop is set; otherwise the show goes on.
    void Stop() override;
    // A TScreenSaverPlayerWindowForm.
    std::unique_ptr<IPlayerWindow> CreateWindowForm() override;

    bool MayStop = true;
};
