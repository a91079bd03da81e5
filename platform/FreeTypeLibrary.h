// One FreeType instance, closed with its owner. Modules keep instances of their own, so
// that none of them shares FreeType state, or a lock, with another.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

struct TFreeTypeLibrary {
    FT_Library Handle = nullptr;  // null when FreeType could not start
    TFreeTypeLibrary() {
        if (FT_Init_FreeType(&Handle) != 0) Handle = nullptr;
    }
    ~TFreeTypeLibrary() {
        if (Handle) FT_Done_FreeType(Handle);
    }
    TFreeTypeLibrary(const TFreeTypeLibrary&) = delete;
    TFreeTypeLibrary& operator=(const TFreeTypeLibrary&) = delete;
};
