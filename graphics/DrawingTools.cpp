#include "graphics/DrawingTools.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int32_t RectHeightAbs(const TRect& r) {
    const int64_t h = int64_t(r.Bottom) - int64_t(r.Top);
    return int32_t(uint32_t(h < 0 ? -h : h));
}

void OffsetRectBy(TRect& r, int32_t dx, int32_t dy) {
    auto add = [](int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); };
    r.Left = add(r.Left, dx);
    r.Right = add(r.Right, dx);
    r.Top = add(r.Top, dy);
    r.Bottom = add(r.Bottom, dy);
}

// The combiners are the bitmap's draw-mode kernels, one pixel at a time.
TColor32 ColorAddKeepAlpha(TColor32 C1, TColor32 C2) { return CombinePixel(ckAdd, C1, C2); }
TColor32 ColorSubKeepAlpha(TColor32 C1, TColor32 C2) { return CombinePixel(ckSub, C1, C2); }
TColor32 ColorModulateKeepAlpha(TColor32 C1, TColor32 C2) { return CombinePixel(ckModulate, C1, C2); }
TColor32 ColorMaxKeepAlpha(TColor32 C1, TColor32 C2) { return CombinePixel(ckMax, C1, C2); }
TColor32 ColorMinKeepAlpha(TColor32 C1, TColor32 C2) { return CombinePixel(ckMin, C1, C2); }

TFixed FixedMul(TFixed a, TFixed b) {
    const int64_t p = int64_t(a) * int64_t(b);
    const int64_t q = p >= 0 ? (p + 0x8000) / 0x10000 : -((-p + 0x8000) / 0x10000);
    return TFixed(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

std::unique_ptr<TBitmap32> Bitmap32FromGraphic(const TBitmap32& graphic) {
    return std::make_unique<TBitmap32>(graphic);
}

std::unique_ptr<TBitmap32> Bitmap32FromGraphic(const TImage32& graphic) {
    return std::make_unique<TBitmap32>(graphic);
}

void ScalePoints(TFixed sx, TFixed sy, TArrayOfFixedPoint& points) {
    for (auto& p : points) {
        p.X = FixedMul(p.X, sx);
        p.Y = FixedMul(p.Y, sy);
    }
}

void ScalePolyPolygon(TFixed sx, TFixed sy, TArrayOfArrayOfFixedPoint& contours) {
    for (auto& c : contours) ScalePoints(sx, sy, c);
}

void DrawShadedEdges(TBitmap32& bitmap, TPolygon32& polygon, int32_t intensity, int32_t angle) {
    polygon.Normals.clear();
    polygon.BuildNormals();
    const double rad = angle * std::numbers::pi / 180;
    // The light direction in 8.8 fixed point.
    const int64_t c = int64_t(std::nearbyint(std::cos(rad) * 256));
    const int64_t s = int64_t(std::nearbyint(-std::sin(rad) * 256));
    auto tint = [&](const TFixedPoint& n) {
        int64_t b = ((n.X * c) / 256 + (n.Y * s) / 256) / 256;
        b = b * intensity / 100;
        if (b >= 0) return Color32(0, 0, 0, uint8_t(std::min<int64_t>(b, 255)));
        return Color32(255, 255, 255, uint8_t(std::min<int64_t>(-b, 255)));
    };
    for (size_t k = 0; k < polygon.Points.size(); ++k) {
        const auto& pts = polygon.Points[k];
        const auto& nrm = polygon.Normals[k];
        if (nrm.size() <= 2) continue;
        bitmap.MoveToX(pts[0].X, pts[0].Y);
        for (size_t j = 0; j + 1 < pts.size(); ++j) {
            bitmap.PenColor = tint(nrm[j]);
            bitmap.LineToXS(pts[j + 1].X, pts[j + 1].Y);
        }
        if (polygon.Closed) {
            bitmap.PenColor = tint(nrm.back());
            bitmap.LineToXS(pts[0].X, pts[0].Y);
        }
    }
}
