// System colours: a TColor with the high byte 0x80 names an entry of the system's colour
// table (clWindow = 0x80000005). The table holds the default desktop colours.
#pragma once

#include "platform/Font.h"

enum : TColor {
    clSystemColor = 0x80000000u,
    clWindow = clSystemColor | 5,
    clWindowText = clSystemColor | 8,
    clBtnFace = clSystemColor | 15,
    clHighlight = clSystemColor | 13,
    clHighlightText = clSystemColor | 14,
};

// The colour of table entry Index (0..30); black for others.
TColor GetSysColor(int index);
// A system colour resolved to its RGB value; other colours unchanged.
TColor ColorToRGB(TColor color);
