#include "dynload/SdlLibrary.h"

std::vector<std::string> SdlSonames() {
    return {"libSDL" + std::to_string(SDL_MAJOR_VERSION) + "-2.0.so.0"};
}

const TSdlFunctions* Sdl(std::string& error) { return LoadOnce<TSdlFunctions>(SdlSonames, error); }

#if defined(__SANITIZE_ADDRESS__)
// Built with AddressSanitizer, every program that loads SDL carries its leak suppressions
// itself, so a sanitized saver run anywhere (not only under the test scripts, which also
// pass tests/lsan-system.supp) reports our leaks and only ours. On X11, SDL's video
// subsystem opens a D-Bus connection (screen-saver inhibition, input methods); libdbus
// keeps a 1,032-byte block of that connection for the whole process and never frees it,
// not even at SDL_Quit. The valgrind suppressions, which are separate, are explained in
// tests/memcheck/system.supp.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif
