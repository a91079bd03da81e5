// A font description as stored in show files: face name, size in points, colour, style.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>

// 32-bit colour in the Windows layout: 0x00BBGGRR.
using TColor = uint32_t;

enum TFontStyle : uint8_t {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};

struct TFont {
    AnsiString Name = "Arial";
    int32_t Size = 10;       // points
    TColor Color = 0;        // black
    uint8_t Style = 0;       // TFontStyle bits

    bool operator==(const TFont&) const = default;
};
