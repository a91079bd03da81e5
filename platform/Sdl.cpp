#include "platform/Sdl.h"

#include "dynload/SdlLibrary.h"
#include "platform/SysUtils.h"

#include <cstdlib>
#include <string>
#include <thread>

const TSdlFunctions& SdlFunctions() {
    std::string why;
    if (const TSdlFunctions* sdl = Sdl(why)) return *sdl;
    throw Exception(why);
}

bool KeepSdlLoaded() {
    std::string why;
    return Sdl(why) != nullptr;
}

void PreloadSdl() {
    try {
        // Detached: the loading touches only its own locals and the table, which is never
        // unloaded, so a process that ends meanwhile leaves it nothing to trip over.
        std::thread([] {
            try {
                std::string why;
                Sdl(why);
            } catch (...) {
                // Out of memory: the first use tries again and reports.
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the first use loads it.
    }
}

void WithoutComposeTable(const std::function<void()>& start) {
    if (std::getenv("XCOMPOSEFILE")) return start();
    // The start's display check starts the video before the run's threads come, so no
    // thread of ours reads the environment while it changes.
    ::setenv("XCOMPOSEFILE", "/dev/null", 1);
    struct TRestore {
        ~TRestore() { ::unsetenv("XCOMPOSEFILE"); }
    } restore;
    start();
}
