#include "foundation/Raster.h"
#include "foundation/RectTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(RectTools, FitRectContains) {
    const TRect target = Rect(0, 0, 100, 100);
    EXPECT_EQ(FitRect(Rect(0, 0, 400, 300), target, true), Rect(0, 12, 100, 87));
    EXPECT_EQ(FitRect(Rect(0, 0, 300, 400), target, true), Rect(12, 0, 87, 100));
    EXPECT_EQ(FitRect(Rect(0, 0, 400, 300), Rect(10, 20, 110, 120), false), Rect(10, 20, 110, 95));
    EXPECT_EQ(FitRect(Rect(5, 5, 5, 10), target, true), target);  // empty source
    EXPECT_EQ(FitRect(Rect(0, 0, 400, 300), Rect(7, 8, 7, 50), false), Rect(7, 8, 8, 9));
    EXPECT_EQ(FitRect(Rect(0, 0, 10000, 1), target, false), Rect(0, 0, 100, 1));  // 0 height -> 1
}

TEST(RectTools, FillRectAspectCovers) {
    EXPECT_EQ(FillRectAspect(Rect(0, 0, 400, 300), Rect(0, 0, 100, 100), true), Rect(-17, 0, 116, 100));
    EXPECT_EQ(FillRectAspect(Rect(0, 0, 400, 300), Rect(0, 0, 100, 100), false), Rect(0, 0, 133, 100));
    EXPECT_EQ(FillRectAspect(Rect(0, 0, 300, 400), Rect(0, 0, 100, 100), true), Rect(0, -17, 100, 116));
    EXPECT_EQ(FillRectAspect(Rect(0, 0, 100, 100), Rect(0, 0, 200, 100), false), Rect(0, 0, 200, 200));
    EXPECT_EQ(FillRectAspect(Rect(0, 0, 0, 0), Rect(1, 2, 3, 4), true), Rect(1, 2, 3, 4));
}

TEST(RectTools, RelativeRoundTripAndRounding) {
    const TRect ref = Rect(13, 7, 1037, 775);
    for (const TRect& r : {Rect(13, 7, 1037, 775), Rect(100, 200, 300, 400), Rect(-50, -3, 2000, 999),
                           Rect(14, 8, 15, 9)}) {
        EXPECT_EQ(RelToAbsRect(AbsToRelRect(r, ref), ref), r);
    }
    const TDoubleRect d = AbsToRelRect(Rect(0, 0, 50, 25), Rect(0, 0, 100, 100));
    EXPECT_EQ(d, DoubleRect(0, 0, 0.5, 0.25));
    // 0.5 and 1.5 pixels round to the even neighbour.
    EXPECT_EQ(RelToAbsRect(DoubleRect(0.5, 1.5, 2.5, 3.5), Rect(0, 0, 1, 1)), Rect(0, 2, 2, 4));
}

TEST(RectTools, RelativeEdgeValues) {
    // An empty reference gives relative 0 on that axis, no division by zero.
    EXPECT_EQ(AbsToRelRect(Rect(5, 5, 10, 10), Rect(3, 0, 3, 10)), DoubleRect(0, 0.5, 0, 1));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(RelToAbsRect(DoubleRect(nan, inf, -inf, 0.5), Rect(10, 20, 110, 220)), Rect(10, 20, 10, 120));
    const TRect huge = RelToAbsRect(DoubleRect(1e300, -1e300, 3e9, -3e9), Rect(0, 0, 1000, 1000));
    EXPECT_EQ(huge.Left, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(huge.Top, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(huge.Right, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(huge.Bottom, std::numeric_limits<int32_t>::min());
}

TEST(RectTools, SmallHelpers) {
    EXPECT_EQ(NormalizeRect(Rect(10, 20, 0, 5)), Rect(0, 5, 10, 20));
    EXPECT_EQ(NormalizeDoubleRect(DoubleRect(0.75, 0.5, 0.25, -0.125)), DoubleRect(0.25, -0.125, 0.75, 0.5));
    TRect r = Rect(1, 2, 11, 22);
    MoveRectTo(-5, 7, r);
    EXPECT_EQ(r, Rect(-5, 7, 5, 27));
    EXPECT_EQ(DoubleRectWidth(DoubleRect(0.75, 0, 0.25, 0)), 0.5);
    EXPECT_EQ(DoubleRectHeight(DoubleRect(0, -1, 0, 1)), 2.0);
    EXPECT_TRUE(IsDoubleRectEmpty(DoubleRect(0.3, 0.4, 0.3, 0.4)));
    EXPECT_FALSE(IsDoubleRectEmpty(DoubleRect(0.3, 0.4, 0.3, 0.5)));
    TRectList l;
    EXPECT_EQ(l.Add(Rect(1, 1, 2, 2)), 0);
    EXPECT_EQ(l.Add(Rect(3, 3, 4, 4)), 1);
    l.Put(0, Rect(9, 9, 9, 9));
    EXPECT_EQ(l.Get(0), Rect(9, 9, 9, 9));
    EXPECT_THROW(l.Get(2), Exception);
}

namespace {
TRaster ThreeLines() {
    TRaster r;
    r.Enabled = true;
    r.Tolerance = 0.2L;
    r.MinX = r.MinY = 0;
    r.MaxX = r.MaxY = 1;
    r.VerticalLines = {0.25L, 0.5L, 0.75L};
    r.HorizontalLines = {0.25L, 0.5L, 0.75L};
    return r;
}
}  // namespace

TEST(Raster, SnapsNearLinesOnly) {
    const TRaster r = ThreeLines();
    EXPECT_EQ(r.SnapX(0.52L), 0.5L);
    EXPECT_EQ(r.SnapX(0.6L), 0.6L);
    EXPECT_EQ(r.SnapX(0.48L), 0.5L);
    EXPECT_EQ(r.SnapY(0.74L), 0.75L);
    EXPECT_EQ(r.SnapX(0.77L), 0.75L);   // beyond the last line the spacing repeats
    EXPECT_EQ(r.SnapX(0.23L), 0.25L);   // before the first line too
    EXPECT_EQ(r.SnapX(0.1L), 0.1L);
    // Near an assumed neighbour beyond the outer lines nothing jumps to the outer line.
    EXPECT_EQ(r.SnapX(0.99L), 0.99L);
    EXPECT_EQ(r.SnapX(0.01L), 0.01L);
    TRaster off = r;
    off.Enabled = false;
    EXPECT_EQ(off.SnapX(0.52L), 0.52L);
    TRaster narrow = r;
    narrow.MaxX = 0.5;
    EXPECT_EQ(narrow.SnapX(0.52L), 0.52L);  // outside the range
}

TEST(Raster, OneLineAndNoLines) {
    TRaster r = ThreeLines();
    r.VerticalLines = {0.5L};
    EXPECT_EQ(r.SnapX(0.505L), 0.5L);  // upper neighbour at +0.1
    EXPECT_EQ(r.SnapX(0.49L), 0.5L);   // lower neighbour at 0
    EXPECT_EQ(r.SnapX(0.3L), 0.3L);
    EXPECT_EQ(r.SnapX(0.02L), 0.02L);  // close to 0, far from the line
    r.VerticalLines.clear();
    EXPECT_EQ(r.SnapX(0.5L), 0.5L);
    EXPECT_EQ(r.SnapXInt(400, 800), 400);
}

TEST(Raster, PixelSnapping) {
    const TRaster r = ThreeLines();
    EXPECT_EQ(r.SnapXInt(410, 800), 400);
    EXPECT_EQ(r.SnapXInt(480, 800), 480);
    EXPECT_EQ(r.SnapXInt(410, 0), 410);  // no extent: unchanged
    EXPECT_EQ(r.SnapYInt(301, 600), 300);
    EXPECT_EQ(r.SnapYInt(301, 0), 301);
    EXPECT_EQ(r.SnapRect(Rect(410, 301, 510, 351), Rect(0, 0, 800, 600)), Rect(400, 300, 500, 350));
    TRaster off = r;
    off.Enabled = false;
    EXPECT_EQ(off.SnapRect(Rect(410, 301, 510, 351), Rect(0, 0, 800, 600)), Rect(410, 301, 510, 351));
    EXPECT_EQ(off.SnapXInt(410, 800), 410);
}

TEST(Raster, NonFiniteAndHugeValuesStay) {
    TRaster r = ThreeLines();
    EXPECT_TRUE(std::isnan(r.SnapX(std::numeric_limits<long double>::quiet_NaN())));
    EXPECT_EQ(r.SnapY(std::numeric_limits<long double>::infinity()), std::numeric_limits<long double>::infinity());
    EXPECT_EQ(r.SnapX(1e300L), 1e300L);
    r.MaxX = std::numeric_limits<double>::infinity();
    EXPECT_EQ(r.SnapX(1e300L), 1e300L);  // far from every line
    EXPECT_EQ(r.SnapXInt(std::numeric_limits<int32_t>::max(), 1), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(r.SnapXInt(std::numeric_limits<int32_t>::min(), -1), std::numeric_limits<int32_t>::min());
}
