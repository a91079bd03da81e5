// The screen saver: started with the screen-saver switches (/c or none: settings,
// /a: password, /p <window>: preview, /s: full screen) or a screen-saver daemon's
// (-root, -window-id <window>).
#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"
#include "platform/ProcessInfo.h"
#include "platform/Sdl.h"
#include "shell/ScreenSaverMain.h"
#include "tools/SaverMark.h"

#include <cstring>
#include <exception>
#include <iostream>

#if defined(__SANITIZE_ADDRESS__)
// Built with AddressSanitizer, the screen saver carries its leak suppressions itself, so
// a sanitized run anywhere (not only under the test scripts, which pass
// tests/lsan-system.supp) reports our leaks and only ours. On X11, SDL's video subsystem
// opens a D-Bus connection, and libdbus keeps a 1,032-byte block of it for the whole
// process, even past SDL_Quit. The memcheck suppressions are in tests/memcheck/system.supp.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif

// The pack tool appends a package only to a program that carries this section.
[[gnu::used, gnu::section(GC_SAVER_MARK_SECTION)]] static const char kSaverMark[] = "glowcanvas screen saver";

int main(int argc, char** argv) {
    // "--help", "-h" and "/?" match none of the switches (the letter after the switch
    // character is none of c, a, p, s), which would do nothing: they print how the saver
    // is started instead. Every other unknown switch still ends the program silently.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "/?") == 0)) {
        std::cout << "usage: glowcanvas [/c | /a | /p WINDOW | /s | -root | -window-id ID]\n"
                     "  /c or none      the settings dialog\n"
                     "  /a              change the password (does nothing on this system)\n"
                     "  /p WINDOW       the preview inside the X11 window WINDOW\n"
                     "  /s              the screen saver, full screen\n"
                     "  -root           the screen saver in a screen-saver daemon's window (the one\n"
                     "                  XSCREENSAVER_WINDOW names, else the root window)\n"
                     "  -window-id ID   the screen saver in the X11 window ID (decimal or 0x hex)\n"
                     "  --help, -h, /?  this text\n"
                     "A switch may begin with - instead of /; -root and -window-id may have two dashes.\n"
                     "The show is the package appended to the program by glowcanvas-pack.\n";
        return 0;
    }
    TraceMoment("start");
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
    TraceMoment("exit");
    return installed ? 0 : 1;
}
