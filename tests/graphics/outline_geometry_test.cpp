#include "graphics/OutlineGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr TFixed kPx = 65536;

TFixedPoint P(double x, double y) { return {TFixed(std::lround(x * kPx)), TFixed(std::lround(y * kPx))}; }

// Native outline buffers written byte by byte.
class TBuffer {
public:
    std::vector<uint8_t> Bytes;

    void U16(uint16_t v) {
        Bytes.push_back(uint8_t(v));
        Bytes.push_back(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    // FIXED: fraction first, then the integer part.
    void Fixed(double v) {
        const int32_t f = int32_t(std::lround(v * kPx));
        U16(uint16_t(f & 0xFFFF));
        U16(uint16_t(uint32_t(f) >> 16));
    }
    size_t Contour(double x, double y) {
        const size_t at = Bytes.size();
        U32(0);
        U32(24);
        Fixed(x);
        Fixed(y);
        return at;
    }
    void Record(uint16_t type, std::vector<std::pair<double, double>> points, int count = -1) {
        U16(type);
        U16(uint16_t(count < 0 ? int(points.size()) : count));
        for (auto [x, y] : points) {
            Fixed(x);
            Fixed(y);
        }
    }
    void EndContour(size_t at, int64_t adjust = 0) {
        const uint32_t cb = uint32_t(int64_t(Bytes.size() - at) + adjust);
        for (int i = 0; i < 4; ++i) Bytes[at + size_t(i)] = uint8_t(cb >> (8 * i));
    }
};

TPolygon32 Convert(const TBuffer& b, TFixed tolerance = 8 * kPx, TFixed originX = 0, TFixed originY = 0) {
    TPolygon32 polygon;
    // An exact-size copy, so a read past the end shows under the address sanitizer.
    std::vector<uint8_t> exact(b.Bytes);
    OutlineToPolygon(polygon, exact.empty() ? nullptr : exact.data(), uint32_t(exact.size()),
                     MakeFixedRect(0, 0, 10000 * kPx, 10000 * kPx), originX, originY, tolerance);
    return polygon;
}

}  // namespace

TEST(OutlineGeometry, SmallOperations) {
    EXPECT_EQ(FixedRectFromRect(TRect{1, -2, 3, 4}), MakeFixedRect(kPx, -2 * kPx, 3 * kPx, 4 * kPx));
    EXPECT_TRUE(IsFixedRectEmpty(TFixedRect{}));
    EXPECT_FALSE(IsFixedRectEmpty(MakeFixedRect(0, 0, 0, 1)));
    EXPECT_EQ(ManhattanDistance({1, 2}, {-3, 7}), 9);
    EXPECT_EQ(ManhattanDistance({INT32_MIN, 0}, {INT32_MAX, 0}), INT32_MAX);
    // Halves truncate toward zero.
    EXPECT_EQ(MidPoint({-3, 3}, {0, 0}), (TFixedPoint{-1, 1}));
    EXPECT_EQ(MidPoint({INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MIN}), (TFixedPoint{INT32_MAX, INT32_MIN}));
    EXPECT_EQ(PolylineLength3({0, 0}, {3, 4}, {3, 0}), 11);
    EXPECT_EQ(PointFromFX(0x00028000, kPx), 3 * kPx + kPx / 2);

    const TFixedRect r = MakeFixedRect(0, 0, 10, 10);
    struct Case {
        TFixedPoint p;
        int32_t region;
    } cases[] = {{{11, -5}, 1}, {{5, 11}, 3}, {{-1, 11}, 3}, {{-1, 5}, 0}, {{-1, -1}, 0}, {{5, -1}, 2}, {{5, 5}, 4},
                 {{10, 10}, 4}, {{0, 0}, 4}};
    for (const Case& c : cases) EXPECT_EQ(PointRegion(c.p, r), c.region) << c.p.X << "," << c.p.Y;
    EXPECT_FALSE(CurveOutsideOneSide({5, 5}, {20, 5}, {30, 5}, r));
    EXPECT_TRUE(CurveOutsideOneSide({20, 5}, {30, 5}, {25, 1}, r));
    EXPECT_FALSE(CurveOutsideOneSide({20, 5}, {5, 20}, {25, 1}, r));
}

TEST(OutlineGeometry, QuadraticFlattening) {
    TPolygon32 polygon;
    polygon.Clear();
    TFlattenContext context{MakeFixedRect(0, 0, 1000 * kPx, 1000 * kPx), &polygon, 0, 0, 8 * kPx};
    // A degenerate curve and one lying outside on one side are their control polygons.
    FlattenQuadratic(P(10, 10), P(10, 10), P(20, 30), context);
    EXPECT_EQ(polygon.Points[0], (TArrayOfFixedPoint{P(10, 10), P(20, 30)}));
    polygon.Clear();
    FlattenQuadratic(P(-10, 10), P(-300, 500), P(-20, 900), context);
    EXPECT_EQ(polygon.Points[0], (TArrayOfFixedPoint{P(-300, 500), P(-20, 900)}));
    // A long curve is halved until each piece is short; it ends on its end point and every
    // point stays close to the curve.
    polygon.Clear();
    const TFixedPoint p0 = P(0, 0), p1 = P(400, 0), p2 = P(400, 400);
    FlattenQuadratic(p0, p1, p2, context);
    const auto& pts = polygon.Points[0];
    ASSERT_GT(pts.size(), 40u);
    EXPECT_EQ(pts.back(), p2);
    for (const TFixedPoint& q : pts) {
        double best = 1e9;
        for (int i = 0; i <= 2000; ++i) {
            const double t = i / 2000.0, u = 1 - t;
            const double x = (2 * u * t * 400 + t * t * 400), y = t * t * 400;
            best = std::min(best, std::hypot(x - q.X / double(kPx), y - q.Y / double(kPx)));
        }
        EXPECT_LT(best, 1.0);
    }
    // A tolerance of 0 stops at the depth limit.
    polygon.Clear();
    context.Tolerance = 0;
    FlattenQuadratic(p0, p1, p2, context);
    EXPECT_EQ(polygon.Points[0].size(), size_t(2) << kMaxFlattenDepth);
}

TEST(OutlineGeometry, CubicFlattening) {
    TPolygon32 polygon;
    polygon.Clear();
    TFlattenContext context{MakeFixedRect(0, 0, 1000 * kPx, 1000 * kPx), &polygon, 0, 0, 8 * kPx};
    // A quarter circle of radius 300.
    const double k = 0.5523 * 300;
    FlattenCubic(P(300, 0), P(300, k), P(k, 300), P(0, 300), context);
    const auto& pts = polygon.Points[0];
    ASSERT_GT(pts.size(), 30u);
    EXPECT_EQ(pts.back(), P(0, 300));
    for (const TFixedPoint& q : pts) EXPECT_NEAR(std::hypot(q.X / double(kPx), q.Y / double(kPx)), 300, 1.0);
    polygon.Clear();
    FlattenCubic(P(-10, 0), P(-50, 80), P(-90, 80), P(-100, 0), context);
    EXPECT_EQ(polygon.Points[0].size(), 3u);  // outside on one side
    polygon.Clear();
    context.Tolerance = 0;
    FlattenCubic(P(300, 0), P(300, k), P(k, 300), P(0, 300), context);
    EXPECT_EQ(polygon.Points[0].size(), size_t(3) << kMaxFlattenDepth);
}

TEST(OutlineGeometry, BufferWalk) {
    // Two contours: lines with a repeated point ending on the start, then a two-point spline.
    TBuffer b;
    size_t c = b.Contour(1, 1);
    b.Record(1, {{5, 1}, {5, 1}, {5, 5}, {1, 5}, {1, 1}});
    b.EndContour(c);
    c = b.Contour(10, 10);
    b.Record(2, {{20, 10}, {20, 20}});
    b.Record(9, {{99, 99}});  // unknown: skipped
    b.Record(1, {{12, 20}});
    b.EndContour(c);
    const TPolygon32 polygon = Convert(b, 100 * kPx);
    ASSERT_EQ(polygon.Points.size(), 2u);
    // One vertex for the repeated point; the line back to the start is not closed again.
    EXPECT_EQ(polygon.Points[0], (TArrayOfFixedPoint{P(1, 1), P(5, 1), P(5, 5), P(1, 5), P(1, 1)}));
    const auto& second = polygon.Points[1];
    // Start, control point, end (the curve is short), the line, and the start again.
    EXPECT_EQ(second, (TArrayOfFixedPoint{P(10, 10), P(15, 10), P(17.5, 12.5), P(20, 15), P(20, 20), P(12, 20),
                                          P(10, 10)}));
    // Origins move every point.
    const TPolygon32 moved = Convert(b, 8 * kPx, 2 * kPx, -kPx);
    EXPECT_EQ(moved.Points[0][0], P(3, 0));

    // Several off-curve points: the implied points lie halfway between them.
    TBuffer q;
    c = q.Contour(0, 0);
    q.Record(2, {{0, 4}, {4, 4}, {4, 0}});
    q.EndContour(c);
    const TPolygon32 spline = Convert(q, 100 * kPx);
    EXPECT_EQ(spline.Points[0], (TArrayOfFixedPoint{P(0, 0), P(0, 2), P(0.5, 3), P(1, 4), P(2, 4), P(3, 4), P(3.5, 3), P(4, 2),
                                                      P(4, 0), P(0, 0)}));

    TBuffer cubic;
    c = cubic.Contour(0, 0);
    cubic.Record(3, {{0, 3}, {3, 3}, {3, 0}, {3, -1}, {1, -1}, {0, 0}});
    cubic.EndContour(c);
    const TPolygon32 cp = Convert(cubic, 100 * kPx);
    ASSERT_EQ(cp.Points.size(), 1u);
    EXPECT_EQ(cp.Points[0].size(), 1u + 6u + 6u) << "two halved pieces ending on the start";
}

// Damaged buffers end the walk: nothing outside the buffer is read, no endless loop.
TEST(OutlineGeometry, DamagedBuffersEndTheWalk) {
    struct Case {
        const char* name;
        TBuffer buffer;
        size_t contours;
        size_t firstContourPoints;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto build, size_t contours, size_t points) {
        Case c{name, {}, contours, points};
        build(c.buffer);
        cases.push_back(std::move(c));
    };
    add("empty", [](TBuffer&) {}, 1, 0);
    add("short header", [](TBuffer& b) { b.U32(16); b.U32(24); }, 1, 0);
    add("cb 0", [](TBuffer& b) { b.Contour(1, 1); b.Record(1, {{2, 2}}); }, 1, 0);
    add("cb below the header", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{2, 2}}); b.EndContour(c, -(int64_t(b.Bytes.size()) - 8)); }, 1, 0);
    add("cb past the end", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{2, 2}}); b.EndContour(c, 64); }, 1, 0);
    add("cpfx past the end", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{2, 2}}, 50); b.EndContour(c); }, 1, 1);
    add("spline cpfx 0", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{5, 1}}); b.Record(2, {}); b.Record(1, {{5, 5}}); b.EndContour(c); c = b.Contour(9, 9); b.Record(1, {{9, 12}}); b.EndContour(c); }, 1, 3);
    add("spline cpfx 1", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{5, 1}}); b.Record(2, {{7, 7}}); b.EndContour(c); }, 1, 3);
    add("cubic of two points", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(3, {{7, 7}, {8, 8}}); b.EndContour(c); }, 1, 1);
    add("record header cut", [](TBuffer& b) { size_t c = b.Contour(1, 1); b.Record(1, {{5, 1}}); b.U16(1); b.EndContour(c); }, 1, 3);
    for (const Case& c : cases) {
        const TPolygon32 polygon = Convert(c.buffer);
        EXPECT_EQ(polygon.Points.size(), c.contours) << c.name;
        EXPECT_EQ(polygon.Points[0].size(), c.firstContourPoints) << c.name;
    }
}
