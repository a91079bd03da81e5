// A file of the fuzz target's own for libraries that open inputs by name: each input is
// written to the same one, which goes at exit.
#pragma once

#include <cstdlib>
#include <cstring>

#include <unistd.h>

// name: a mkstemps pattern ("/tmp/gc-fuzz-x-XXXXXX.avi"), kept by the caller for the
// whole run (static characters, not a string: the file goes at exit, after strings are
// gone); suffix: the length of what follows the Xs.
inline const char* FuzzInputFile(char* name, int suffix) {
    static char* made = nullptr;
    if (!made) {
        const int fd = mkstemps(name, suffix);
        if (fd < 0) std::abort();
        close(fd);
        made = name;
        std::atexit([] { unlink(made); });
    }
    return made;
}
