// The preview's player: the screen-saver player, windowed at the size of the window it
// draws into, queueing at the start only what is due.
#pragma once

#include "shell/ScreenSaverSlideShowPlayer.h"

class TScreenSaverPreviewPlayer : public TScreenSaverSlideShowPlayer {
    GC_DECLARE_CLASS(TScreenSaverPreviewPlayer)
public:
    TScreenSaverPreviewPlayer() : TScreenSaverPreviewPlayer(0) {}
    // Drawing into parentWindow (an X11 id; 0: none), which the run found.
    explicit TScreenSaverPreviewPlayer(uint64_t parentWindow);

    // The show's settings replace the player's: the preview's own are set again after
    // them, or a show stored full screen would take the whole monitor.
    void SetProperties(const TProperties* given) override;
    void MessageLoopStep() override;
    // A TScreenSaverPreviewWindowForm in the preview parent; none when that window is
    // gone (nothing plays then).
    std::unique_ptr<IPlayerWindow> CreateWindowForm() override;

    // Until the first loop step has run.
    bool FirstTick = true;
    // The window the preview draws into; 0 when none.
    uint64_t ParentWindow;

private:
    // Windowed, only what is due at the start, the parent's size.
    void ApplyPreviewSettings();
};
