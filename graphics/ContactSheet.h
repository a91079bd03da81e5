// Pictures side by side in a grid, for people to look through many frames at once.
#pragma once

#include "graphics/Bitmap32.h"

#include <vector>

struct TContactSheetLayout {
    int Columns = 6;
    int CellWidth = 320, CellHeight = 240;
    int Gap = 8;                         // between the cells and around them
    TColor32 Ground = 0xFF182448;        // a dark blue that pictures rarely use
};

// One cell per picture, row by row: a picture that fits its cell is copied pixel for
// pixel, a larger one is shrunk with the linear filter keeping its aspect; either sits
// at the cell's top-left. Raises when the sheet would be too large for a bitmap.
TBitmap32 MakeContactSheet(const std::vector<const TBitmap32*>& pictures, const TContactSheetLayout& layout);
