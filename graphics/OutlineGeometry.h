// Glyph outlines in the system's native buffer layout (platform/GlyphOutline.h) turned
// into polygons of straight segments, curves flattened by halving. Everything is 16.16.
#pragma once

#include "graphics/Polygon32.h"
#include "platform/Types.h"

#include <cstdint>

struct TFixedRect {
    TFixed Left = 0;
    TFixed Top = 0;
    TFixed Right = 0;
    TFixed Bottom = 0;
    bool operator==(const TFixedRect&) const = default;
};

TFixedRect FixedRectFromRect(const TRect& r);
TFixedRect MakeFixedRect(TFixed l, TFixed t, TFixed r, TFixed b);
bool IsFixedRectEmpty(const TFixedRect& r);
// A 16.16 rectangle rounded outward to whole pixels.
TRect OuterPixelRect(const TFixedRect& r);
// Whole pixels in 16.16, held at the ends of the range.
TFixed SaturatedFixed(int64_t pixels);
TFixed ManhattanDistance(TFixedPoint a, TFixedPoint b);
TFixedPoint MidPoint(TFixedPoint a, TFixedPoint b);
bool SamePoint(TFixedPoint a, TFixedPoint b);
// 1 right of R, else 3 below, else 0 left, else 2 above, else 4 inside.
int32_t PointRegion(TFixedPoint p, const TFixedRect& r);
bool CurveOutsideOneSide(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, const TFixedRect& r);
// A FIXED value (u16 fraction, i16 integer part, as read from the buffer) plus an origin.
TFixed PointFromFX(int32_t value, TFixed origin);
TFixed PolylineLength3(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2);

// Deeper halving never changes a glyph visibly; the limit keeps damaged outlines from
// recursing without end.
constexpr int32_t kMaxFlattenDepth = 16;

struct TFlattenContext {
    TFixedRect ClipRect;
    TPolygon32* Polygon = nullptr;
    TFixed OriginX = 0;
    TFixed OriginY = 0;
    TFixed Tolerance = 0;
};

// Appends the flattened curve without its start point.
void FlattenQuadratic(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, TFlattenContext& context, int32_t depth = 0);
void FlattenCubic(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, TFixedPoint p3, TFlattenContext& context,
                  int32_t depth = 0);

// Clears the polygon and fills it with one closed contour per outline contour. A record
// or contour that does not fit the buffer, or is too short to mean anything, ends the
// walk; nothing outside the buffer is read.
void OutlineToPolygon(TPolygon32& polygon, const uint8_t* buffer, uint32_t bufferSize, const TFixedRect& clipRect,
                      TFixed originX, TFixed originY, TFixed tolerance);
