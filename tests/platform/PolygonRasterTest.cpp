#include "platform/PolygonRaster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <vector>

namespace {

using TContour = std::vector<std::pair<double, double>>;  // pixels

// Coverage per pixel, as the spans give it.
std::map<std::pair<int, int>, int> Render(const std::vector<TContour>& contours, TRasterFillRule rule,
                                          TRasterClip clip = {0, 0, 400, 400}) {
    TPolygonRaster raster;
    for (const TContour& c : contours) {
        raster.BeginContour();
        for (auto [x, y] : c) raster.AddPoint(int32_t(std::lround(x * 65536)), int32_t(std::lround(y * 65536)));
    }
    std::map<std::pair<int, int>, int> cover;
    EXPECT_TRUE(raster.Render(rule, clip, [&](int32_t y, const TRasterSpan* spans, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_GE(spans[i].X, clip.Left);
            EXPECT_LE(spans[i].X + spans[i].Length, clip.Right);
            EXPECT_GE(y, clip.Top);
            EXPECT_LT(y, clip.Bottom);
            for (int32_t x = spans[i].X; x < spans[i].X + spans[i].Length; ++x) cover[{x, y}] += spans[i].Coverage;
        }
    }));
    return cover;
}

double Area(const std::map<std::pair<int, int>, int>& cover) {
    double sum = 0;
    for (const auto& [at, c] : cover) sum += c / 255.0;
    return sum;
}

TContour Circle(double cx, double cy, double r, int n, bool reverse = false) {
    TContour c;
    for (int i = 0; i < n; ++i) {
        const double a = (reverse ? -1 : 1) * 2 * std::numbers::pi * i / n;
        c.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    return c;
}

}  // namespace

TEST(PolygonRaster, CoverageSumsToTheArea) {
    struct Case {
        const char* name;
        std::vector<TContour> contours;
        double area;
    } cases[] = {
        {"square on pixels", {{{10, 10}, {60, 10}, {60, 60}, {10, 60}}}, 2500},
        {"square off pixels", {{{10.3, 10.7}, {40.3, 10.7}, {40.3, 40.7}, {10.3, 40.7}}}, 900},
        {"small square", {{{5.25, 5.25}, {7.75, 5.25}, {7.75, 7.75}, {5.25, 7.75}}}, 6.25},
        {"triangle", {{{20, 20}, {220, 40}, {90, 190}}}, 0.5 * std::abs(200.0 * 170 - 20.0 * 70)},
        {"counter-clockwise triangle", {{{20, 20}, {90, 190}, {220, 40}}}, 0.5 * std::abs(200.0 * 170 - 20.0 * 70)},
        {"circle", {Circle(200, 200, 120, 720)}, 720 / 2.0 * 120 * 120 * std::sin(2 * std::numbers::pi / 720)},
    };
    for (const Case& c : cases)
        for (TRasterFillRule rule : {TRasterFillRule::NonZero, TRasterFillRule::EvenOdd})
            EXPECT_NEAR(Area(Render(c.contours, rule)), c.area, c.area * 0.005) << c.name;
}

// Two squares drawn the same way round overlap: nonzero fills the overlap, even-odd leaves
// it open; everywhere else the rules agree. A hole drawn against its outline is open in both.
TEST(PolygonRaster, FillRulesDifferOnlyWhereContoursOverlap) {
    const std::vector<TContour> overlap = {{{10, 10}, {110, 10}, {110, 110}, {10, 110}},
                                           {{60, 60}, {160, 60}, {160, 160}, {60, 160}}};
    const auto nonzero = Render(overlap, TRasterFillRule::NonZero), evenodd = Render(overlap, TRasterFillRule::EvenOdd);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            const auto at = std::make_pair(x, y);
            const int a = nonzero.count(at) ? nonzero.at(at) : 0, b = evenodd.count(at) ? evenodd.at(at) : 0;
            const bool inside = x >= 60 && x < 110 && y >= 60 && y < 110;
            if (inside) {
                EXPECT_EQ(a, 255);
                EXPECT_EQ(b, 0);
            } else {
                ASSERT_EQ(a, b) << x << "," << y;
            }
        }
    const std::vector<TContour> ring = {Circle(100, 100, 80, 360), Circle(100, 100, 40, 360, true)};
    EXPECT_EQ(Render(ring, TRasterFillRule::NonZero), Render(ring, TRasterFillRule::EvenOdd));
    EXPECT_EQ(Render(ring, TRasterFillRule::NonZero).count({100, 100}), 0u);
}

TEST(PolygonRaster, ClipBoxAndShapesOutsideIt) {
    const TContour square = {{-50, -50}, {50, -50}, {50, 50}, {-50, 50}};
    EXPECT_NEAR(Area(Render({square}, TRasterFillRule::NonZero, {0, 0, 20, 10})), 200, 0.5);
    for (double dx : {30000.0, -30000.0, 500.0})
        for (double dy : {0.0, 30000.0, -30000.0}) {
            TContour far;
            for (auto [x, y] : square) far.emplace_back(x + dx, y + dy);
            EXPECT_TRUE(Render({far}, TRasterFillRule::NonZero).empty()) << dx << "," << dy;
        }
    // Contours of one or two points enclose nothing; an empty clip renders nothing.
    EXPECT_TRUE(Render({{{5, 5}}, {{1, 1}, {9, 9}}}, TRasterFillRule::NonZero).empty());
    EXPECT_TRUE(Render({square}, TRasterFillRule::NonZero, {10, 10, 10, 20}).empty());
}

TEST(PolygonRaster, TooManyPointsAreRefused) {
    TPolygonRaster raster;
    raster.BeginContour();
    for (int i = 0; i <= TPolygonRaster::kMaxPoints; ++i) raster.AddPoint(i % 100 * 65536, i / 100 * 65536);
    EXPECT_FALSE(raster.Render(TRasterFillRule::NonZero, {0, 0, 10, 10}, [](int32_t, const TRasterSpan*, int32_t) {}));
}
