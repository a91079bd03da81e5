// Outlines in 16.16 fixed point: a list of contours, each a list of points, with one
// edge normal per point once BuildNormals has run.
#pragma once

#include "graphics/Bitmap32.h"

#include <vector>

struct TFixedPoint {
    TFixed X = 0;
    TFixed Y = 0;
    bool operator==(const TFixedPoint&) const = default;
};

using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

enum TPolyFillMode : uint8_t { pfAlternate = 0, pfWinding = 1 };

class TPolygon32 {
public:
    TArrayOfArrayOfFixedPoint Points;
    TArrayOfArrayOfFixedPoint Normals;
    bool Closed = true;
    bool Antialiased = false;
    TPolyFillMode FillMode = pfAlternate;

    void Clear() { Points.assign(1, {}); Normals.clear(); }
    void NewLine() { Points.emplace_back(); Normals.clear(); }
    void Add(TFixedPoint p) {
        if (Points.empty()) Points.emplace_back();
        Points.back().push_back(p);
        Normals.clear();
    }
    void Offset(TFixed dx, TFixed dy);
    // One unit normal (16.16) per point: that of the edge to the next point, the last
    // point's edge going back to the first when Closed and repeating the edge before
    // it otherwise. A zero-length edge takes the normal of the edge before it.
    void BuildNormals();

    // Fills the contours with FillMode (pfWinding: nonzero, pfAlternate: even-odd): when
    // Antialiased each pixel is blended "over" with the colour's alpha times its coverage,
    // otherwise pixels covered at least half take the colour blended. A polygon of more
    // points than the rasterizer takes in one pass (32767) draws nothing.
    void DrawFill(TBitmap32& target, TColor32 color) const;
    // The contours as lines (back to the first point when Closed): anti-aliased (LineXS)
    // or plain (LineTS, points rounded to whole pixels).
    void DrawEdge(TBitmap32& target, TColor32 color) const;
};
