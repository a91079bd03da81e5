// Small drawing helpers shared by the bitmap items, the paint box and the outline
// text: colour combiners, rectangle arithmetic, polygon scaling and lit edges.
#pragma once

#include "graphics/Bitmap32.h"
#include "graphics/Polygon32.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>

int32_t RectHeightAbs(const TRect& r);
// Moves all four edges; values that leave the 32-bit range wrap as the integers do.
void OffsetRectBy(TRect& r, int32_t dx, int32_t dy);

// Per channel R, G, B; the alpha is always that of C1.
TColor32 ColorAddKeepAlpha(TColor32 C1, TColor32 C2);       // sum, at most 255
TColor32 ColorSubKeepAlpha(TColor32 C1, TColor32 C2);       // C1 - C2, at least 0
TColor32 ColorModulateKeepAlpha(TColor32 C1, TColor32 C2);  // (C1 * C2) shr 8
TColor32 ColorMaxKeepAlpha(TColor32 C1, TColor32 C2);
TColor32 ColorMinKeepAlpha(TColor32 C1, TColor32 C2);

// A * B / 65536 with a 64-bit intermediate, rounded half away from zero; results beyond
// 32 bits are held at the limit.
TFixed FixedMul(TFixed a, TFixed b);

// A new bitmap holding a copy of the graphic.
std::unique_ptr<TBitmap32> Bitmap32FromGraphic(const TBitmap32& graphic);
std::unique_ptr<TBitmap32> Bitmap32FromGraphic(const TImage32& graphic);

void ScalePoints(TFixed sx, TFixed sy, TArrayOfFixedPoint& points);
void ScalePolyPolygon(TFixed sx, TFixed sy, TArrayOfArrayOfFixedPoint& contours);

// Draws the outline with every edge tinted by how much it faces a light from angle
// degrees: black where it faces along the light, white where it faces away.
void DrawShadedEdges(TBitmap32& bitmap, TPolygon32& polygon, int32_t intensity, int32_t angle);
