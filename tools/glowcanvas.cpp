// The screen saver: started with the screen-saver switches (/c or none: settings,
// /a: password, /p <window>: preview, /s: full screen).
#include "platform/ProcessInfo.h"
#include "shell/ScreenSaverMain.h"

int main(int argc, char** argv) {
    SetProcessArguments(argc, argv);
    InitializeScreenSaverModules();
    const bool installed = StartScreenSaver();
    FinalizeScreenSaverModules();
    return installed ? 0 : 1;
}
