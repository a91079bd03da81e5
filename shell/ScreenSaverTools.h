// The screen-saver conventions: the screen saver's own name, the mode the command line
// asks for, the "screen saver running" flag and the 9x screen-saver password.
#pragma once

#include "platform/ScreenSaverServices.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

enum : uint8_t {
    ssmOther = 0,
    ssmConfigure = 1,
    ssmChangePassword = 2,
    ssmPreview = 3,
    ssmRun = 4,
};

// The running program's file name without folder and extension, as it was started
// (a link's own name counts); empty when it cannot be found.
AnsiString GetExeTitle();
// The mode of the process's command line. After the screen-saver switches, an X11
// screen-saver daemon's call ("-root" or "-window-id ID", also with two dashes, or no
// parameter at all with XSCREENSAVER_WINDOW set) asks for the run too.
uint8_t GetScreenSaverMode();

// Whether the command line is a screen-saver daemon's: "-root" or "-window-id" (or
// "--root", "--window-id"), or none at all with a window id in XSCREENSAVER_WINDOW.
bool IsDaemonCall();
// The window a daemon's call draws into: the id after "-window-id" (decimal or 0x hex),
// else the one in XSCREENSAVER_WINDOW, else, for "-root", the root window; 0 when the
// command line is no daemon's or names no usable id.
// A daemon's window smaller than its screen is a settings panel's preview pane, which the
// run plays as the preview plays (silent, storing nothing); false when either size is
// unknown.
bool IsDaemonPreviewPane(uint64_t window);
uint64_t GetDaemonWindow();
// A window id as daemons write it: decimal or 0x hex, above 0, at most 32 bits.
bool ParseDaemonWindowId(const std::string& text, uint64_t& id);

// Nothing on the NT family.
void SetScreenSaverRunning(bool running);
void ChangeScreenSaverPassword(HWND window);
// True on the NT family and whenever no password check is set up or possible.
bool VerifyScreenSaverPassword(HWND window);
