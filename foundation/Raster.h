// The raster of the preview editor: guide lines in relative units that positions snap
// to when they come near enough.
#pragma once

#include "foundation/FileTools.h"
#include "platform/Types.h"

struct TRaster {
    long double Tolerance = 0;  // fraction of half the spacing around a line
    bool Enabled = false;
    // Snapping applies only inside this range (relative units).
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
    TExtendedList VerticalLines;    // X positions, ascending
    TExtendedList HorizontalLines;  // Y positions, ascending

    // Relative positions: the nearest line when close enough, else the value itself.
    long double SnapX(long double x) const;
    long double SnapY(long double y) const;
    // Pixel positions against a width or height; unchanged when off or the extent is 0.
    int32_t SnapXInt(int32_t x, int32_t width) const;
    int32_t SnapYInt(int32_t y, int32_t height) const;
    // R moved so that its corner snaps, its size kept; unchanged when off.
    TRect SnapRect(const TRect& r, const TRect& ref) const;
};
