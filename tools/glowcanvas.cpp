// The screen saver: started with the screen-saver switches (/c or none: settings,
// /a: password, /p <window>: preview, /s: full screen).
#include "platform/MessageBox.h"
#include "platform/ProcessInfo.h"
#include "platform/Sdl.h"
#include "shell/ScreenSaverMain.h"

#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    // "--help" matches none of the switches (the letter after the switch character is
    // "-"), which would do nothing: it prints how the saver is started instead. Every
    // other unknown switch still ends the program silently.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << "usage: glowcanvas [/c | /a | /p WINDOW | /s]\n"
                     "  /c or none   the settings dialog\n"
                     "  /a           change the password (does nothing on this system)\n"
                     "  /p WINDOW    the preview inside the X11 window WINDOW\n"
                     "  /s           the screen saver, full screen\n"
                     "The show is the package appended to the program by glowcanvas-pack.\n";
        return 0;
    }
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
