// The screen saver: started with the screen-saver switches (/c or none: settings,
// /a: password, /p <window>: preview, /s: full screen).
#include "platform/MessageBox.h"
#include "platform/ProcessInfo.h"
#include "platform/Sdl.h"
#include "shell/ScreenSaverMain.h"

#include <exception>

int main(int argc, char** argv) {
    // SDL's libraries take longer to map than the start takes to need them: begin now.
    PreloadSdl();
    SetProcessArguments(argc, argv);
    bool installed = false;
    try {
        InitializeScreenSaverModules();
        installed = StartScreenSaver();
    } catch (const std::exception& e) {
        ShowMessageBox(e.what(), TMsgDlgType::mtError);
    }
    FinalizeScreenSaverModules();
    return installed ? 0 : 1;
}
