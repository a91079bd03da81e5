// The screen-saver conventions: the screen saver's own name, the mode the command line
// asks for, the "screen saver running" flag and the 9x screen-saver password.
#pragma once

#include "platform/ScreenSaverServices.h"
#include "platform/SysUtils.h"

#include <cstdint>

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
// The mode of the process's command line.
uint8_t GetScreenSaverMode();

// Nothing on the NT family.
void SetScreenSaverRunning(bool running);
void ChangeScreenSaverPassword(HWND window);
// True on the NT family and whenever no password check is set up or possible.
bool VerifyScreenSaverPassword(HWND window);
