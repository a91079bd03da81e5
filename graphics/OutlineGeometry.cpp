#include "graphics/OutlineGeometry.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstdlib>

namespace {

int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

bool SameRegion(TFixedPoint a, TFixedPoint b, const TFixedRect& r) { return PointRegion(a, r) == PointRegion(b, r); }

}  // namespace

TFixedRect FixedRectFromRect(const TRect& r) {
    return {TFixed(uint32_t(r.Left) << 16), TFixed(uint32_t(r.Top) << 16), TFixed(uint32_t(r.Right) << 16),
            TFixed(uint32_t(r.Bottom) << 16)};
}

TFixedRect MakeFixedRect(TFixed l, TFixed t, TFixed r, TFixed b) { return {l, t, r, b}; }

namespace {
int32_t ToPixel(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
int32_t FloorPixel(int64_t v) { return ToPixel(v >= 0 ? v / FixedOne : -((-v + FixedOne - 1) / FixedOne)); }
int32_t CeilPixel(int64_t v) { return ToPixel(v >= 0 ? (v + FixedOne - 1) / FixedOne : -(-v / FixedOne)); }
}  // namespace

TRect OuterPixelRect(const TFixedRect& r) {
    return {FloorPixel(r.Left), FloorPixel(r.Top), CeilPixel(r.Right), CeilPixel(r.Bottom)};
}

TFixed SaturatedFixed(int64_t pixels) {
    return TFixed(std::clamp<int64_t>(pixels * FixedOne, INT32_MIN, INT32_MAX));
}

bool IsFixedRectEmpty(const TFixedRect& r) { return r.Left == 0 && r.Top == 0 && r.Right == 0 && r.Bottom == 0; }

TFixed ManhattanDistance(TFixedPoint a, TFixedPoint b) {
    // Held at the largest value rather than wrapping, so far-apart points never look close.
    const int64_t d = Abs64(int64_t(b.X) - a.X) + Abs64(int64_t(b.Y) - a.Y);
    return d > INT32_MAX ? INT32_MAX : TFixed(d);
}

TFixedPoint MidPoint(TFixedPoint a, TFixedPoint b) {
    // In 64 bits, so far-apart points cannot overflow; division truncates toward zero, so
    // negative midpoints match the stored outlines' integer halving.
    return {TFixed((int64_t(a.X) + b.X) / 2), TFixed((int64_t(a.Y) + b.Y) / 2)};
}

bool SamePoint(TFixedPoint a, TFixedPoint b) { return a.X == b.X && a.Y == b.Y; }

int32_t PointRegion(TFixedPoint p, const TFixedRect& r) {
    if (p.X > r.Right) return 1;
    if (p.Y > r.Bottom) return 3;
    if (p.X < r.Left) return 0;
    if (p.Y < r.Top) return 2;
    return 4;
}

bool CurveOutsideOneSide(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, const TFixedRect& r) {
    if (PointRegion(p0, r) == 4) return false;
    return SameRegion(p0, p1, r) && SameRegion(p0, p2, r);
}

TFixed PointFromFX(int32_t value, TFixed origin) { return TFixed(uint32_t(value) + uint32_t(origin)); }

TFixed PolylineLength3(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2) {
    const int64_t sum = int64_t(ManhattanDistance(p0, p1)) + ManhattanDistance(p1, p2);
    return sum > INT32_MAX ? INT32_MAX : TFixed(sum);
}

void FlattenQuadratic(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, TFlattenContext& context, int32_t depth) {
    TPolygon32& polygon = *context.Polygon;
    if (SamePoint(p0, p1) || SamePoint(p1, p2) || CurveOutsideOneSide(p0, p1, p2, context.ClipRect) ||
        depth >= kMaxFlattenDepth) {
        polygon.Add(p1);
        polygon.Add(p2);
        return;
    }
    const TFixedPoint m01 = MidPoint(p1, p0), m12 = MidPoint(p2, p1), m = MidPoint(m01, m12);
    if (PolylineLength3(p0, m01, m) <= context.Tolerance) {
        polygon.Add(m01);
        polygon.Add(m);
    } else {
        FlattenQuadratic(p0, m01, m, context, depth + 1);
    }
    if (PolylineLength3(m, m12, p2) <= context.Tolerance) {
        polygon.Add(m12);
        polygon.Add(p2);
    } else {
        FlattenQuadratic(m, m12, p2, context, depth + 1);
    }
}

void FlattenCubic(TFixedPoint p0, TFixedPoint p1, TFixedPoint p2, TFixedPoint p3, TFlattenContext& context,
                  int32_t depth) {
    TPolygon32& polygon = *context.Polygon;
    const TFixedRect& r = context.ClipRect;
    const bool outside = PointRegion(p0, r) != 4 && SameRegion(p0, p1, r) && SameRegion(p0, p2, r) &&
                         SameRegion(p0, p3, r);
    const bool flat = SamePoint(p0, p1) && SamePoint(p2, p3);
    if (flat || outside || depth >= kMaxFlattenDepth) {
        polygon.Add(p1);
        polygon.Add(p2);
        polygon.Add(p3);
        return;
    }
    // Halved at t = 1/2 (de Casteljau); a half whose control polygon is short enough
    // stands for itself, as the quadratic halves do.
    const TFixedPoint m01 = MidPoint(p0, p1), m12 = MidPoint(p1, p2), m23 = MidPoint(p2, p3);
    const TFixedPoint a = MidPoint(m01, m12), b = MidPoint(m12, m23), m = MidPoint(a, b);
    auto half = [&](TFixedPoint q0, TFixedPoint q1, TFixedPoint q2, TFixedPoint q3) {
        const int64_t length = int64_t(ManhattanDistance(q0, q1)) + ManhattanDistance(q1, q2) + ManhattanDistance(q2, q3);
        if (length <= context.Tolerance) {
            polygon.Add(q1);
            polygon.Add(q2);
            polygon.Add(q3);
        } else {
            FlattenCubic(q0, q1, q2, q3, context, depth + 1);
        }
    };
    half(p0, m01, a, m);
    half(m, b, m23, p3);
}

void OutlineToPolygon(TPolygon32& polygon, const uint8_t* buffer, uint32_t bufferSize, const TFixedRect& clipRect,
                      TFixed originX, TFixed originY, TFixed tolerance) {
    polygon.Clear();
    if (!buffer) return;
    TFlattenContext context{clipRect, &polygon, originX, originY, tolerance};
    auto point = [&](const uint8_t* p) {
        return TFixedPoint{PointFromFX(int32_t(GetLE32(p)), originX), PointFromFX(int32_t(GetLE32(p + 4)), originY)};
    };
    const size_t size = bufferSize;
    size_t offset = 0;
    bool first = true;
    bool stop = false;
    // A contour header with nothing after it (the last 16 bytes) adds no contour.
    while (!stop && offset + 16 < size) {
        const size_t cb = GetLE32(buffer + offset);
        // A contour shorter than its header or reaching past the buffer ends the walk.
        if (cb < 16 || cb > size - offset) break;
        const TFixedPoint start = point(buffer + offset + 8);
        if (!first) polygon.NewLine();
        first = false;
        polygon.Add(start);
        TFixedPoint current = start;
        const size_t end = offset + cb;
        size_t pos = offset + 16;
        while (pos + 4 <= end) {
            const uint16_t type = GetLE16(buffer + pos);
            const size_t count = GetLE16(buffer + pos + 2);
            const uint8_t* pts = buffer + pos + 4;
            if (count * 8 > end - pos - 4) {
                stop = true;
                break;
            }
            if (type == 1) {
                for (size_t u = 0; u < count; ++u) {
                    const TFixedPoint previous = current;
                    current = point(pts + u * 8);
                    if (!SamePoint(previous, current)) polygon.Add(current);
                }
            } else if (type == 2) {
                if (count < 2) {
                    stop = true;
                    break;
                }
                TFixedPoint a = current, c = current;
                for (size_t u = 0; u + 1 < count; ++u) {
                    const TFixedPoint b = point(pts + u * 8), next = point(pts + (u + 1) * 8);
                    c = u + 2 == count ? next : MidPoint(b, next);
                    FlattenQuadratic(a, b, c, context);
                    a = c;
                }
                current = c;
            } else if (type == 3) {
                if (count < 3 || count % 3 != 0) {
                    stop = true;
                    break;
                }
                for (size_t u = 0; u < count; u += 3) {
                    const TFixedPoint c1 = point(pts + u * 8), c2 = point(pts + (u + 1) * 8), to = point(pts + (u + 2) * 8);
                    FlattenCubic(current, c1, c2, to, context);
                    current = to;
                }
            }
            pos += 4 + count * 8;
        }
        if (!SamePoint(current, start)) polygon.Add(start);
        offset += cb;
    }
}
