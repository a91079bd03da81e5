// The full-screen run started by an X11 screen-saver daemon: the show is drawn into the
// daemon's window at that window's size, and the daemon owns the input. Nothing we are
// given by the keyboard or the mouse ends the show; the daemon's SIGTERM does (as a
// quit), and so does its window going away.
#pragma once

#include "platform/MessageBox.h"
#include "platform/SysUtils.h"
#include "playback/PlayerWindow.h"
#include "shell/ScreenSaverSlideShowPlayer.h"

#include <cstdint>

// The player window drawn into the daemon's window: its size is the daemon's, and input
// reaching it is ignored.
class TScreenSaverDaemonWindowForm : public TPlayerWindowForm {
public:
    explicit TScreenSaverDaemonWindowForm(std::unique_ptr<TWindow> window);

    // The daemon's window keeps the size it has.
    void ApplyWindowedSize(TSlideShowPlayerProperties*) override {}
};

class TScreenSaverDaemonPlayer : public TScreenSaverSlideShowPlayer {
    GC_DECLARE_CLASS(TScreenSaverDaemonPlayer)
public:
    // Into no window: nothing plays.
    TScreenSaverDaemonPlayer();
    explicit TScreenSaverDaemonPlayer(uint64_t window);

    // Keys are the daemon's: Escape and Alt+F4 do not end the show here.
    bool HandlePlayerMessage(TMessage& message) override;
    // A TScreenSaverDaemonWindowForm in the daemon's window; none when that window is
    // gone (nothing plays then).
    std::unique_ptr<IPlayerWindow> CreateWindowForm() override;
    // The screen may be locked behind the daemon's window: nobody could see or close a
    // program or page the show opened, and it would open again on every loop.
    bool MayStartPrograms() override;

    uint64_t DaemonWindow = 0;

private:
    bool toldNoPrograms_ = false;
};

// The full-screen run's player: the daemon's when the command line is a daemon's call
// for a window (GetDaemonWindow), else the one that owns the screen. Owned by the caller.
TScreenSaverSlideShowPlayer* NewFullScreenPlayer(uint64_t daemonWindow);
// A daemon's call whose window (GetDaemonWindow) does not exist or is none: the run does
// nothing, as a preview without its window.
bool DaemonWindowMissing(uint64_t window);
// A message box of the run; for a daemon's call the text goes to the debug output
// instead, since the daemon holds the keyboard and the mouse and nobody could answer the
// box: the run would wait behind it, and the box outlive the daemon's blanking.
void ShowSaverMessageBox(const AnsiString& text, TMsgDlgType type);
