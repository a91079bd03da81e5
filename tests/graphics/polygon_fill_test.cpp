#include "graphics/Polygon32.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr TFixed kPx = 65536;
constexpr TColor32 kGround = Color32(10, 20, 30);

TPolygon32 Box(double l, double t, double r, double b, bool antialiased = true) {
    TPolygon32 p;
    p.Clear();
    for (auto [x, y] : {std::pair{l, t}, {r, t}, {r, b}, {l, b}}) p.Add({TFixed(std::lround(x * kPx)), TFixed(std::lround(y * kPx))});
    p.Antialiased = antialiased;
    return p;
}

int Changed(const TBitmap32& b, TColor32 ground) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) n += b.Pixel(x, y) != ground;
    return n;
}

}  // namespace

TEST(PolygonFill, AntialiasedFillBlendsColourAlphaTimesCoverage) {
    struct Case {
        TColor32 color;
        TColor32 ground;
    } cases[] = {
        {Color32(200, 100, 50), kGround},
        {Color32(200, 100, 50, 128), kGround},
        {Color32(200, 100, 50), 0x00FFFFFF},  // transparent white: edges keep the colour
        {Color32(200, 100, 50, 77), 0x00FFFFFF},
    };
    for (const Case& c : cases) {
        TBitmap32 b(20, 20);
        b.Clear(c.ground);
        // Left and top edges cut pixel column 2 and row 2 in half.
        Box(2.5, 2.5, 10, 10).DrawFill(b, c.color);
        EXPECT_EQ(b.Pixel(5, 5), BlendPixel(c.color, c.ground));
        EXPECT_EQ(b.Pixel(2, 5), BlendPixel(c.color, c.ground, 128));
        EXPECT_EQ(b.Pixel(2, 2), BlendPixel(c.color, c.ground, 64));
        EXPECT_EQ(b.Pixel(10, 5), c.ground);
        EXPECT_EQ(b.Pixel(1, 5), c.ground);
        if (AlphaComponent(c.ground) == 0) {
            // Straight alpha: the edge is the colour itself, only less opaque.
            EXPECT_EQ(b.Pixel(2, 5) & 0xFFFFFF, c.color & 0xFFFFFF);
            EXPECT_NEAR(AlphaComponent(b.Pixel(2, 5)), AlphaComponent(c.color) / 2.0, 1.0);
        }
    }
}

TEST(PolygonFill, PlainFillTakesPixelsCoveredAtLeastHalf) {
    TBitmap32 b(20, 20);
    b.Clear(kGround);
    const TColor32 color = Color32(200, 100, 50);
    Box(2.5, 3.6, 10.4, 10, false).DrawFill(b, color);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 2 && x < 10 && y >= 4 && y < 10;
            EXPECT_EQ(b.Pixel(x, y), in ? color : kGround) << x << "," << y;
        }
}

TEST(PolygonFill, FillModeDecidesOverlaps) {
    for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
        TPolygon32 p = Box(0, 0, 10, 10);
        const TPolygon32 second = Box(5, 5, 15, 15);
        p.NewLine();
        for (const TFixedPoint& q : second.Points[0]) p.Add(q);
        p.FillMode = mode;
        TBitmap32 b(20, 20);
        b.Clear(kGround);
        p.DrawFill(b, clWhite32);
        EXPECT_EQ(b.Pixel(7, 7), mode == pfWinding ? clWhite32 : kGround);
        EXPECT_EQ(b.Pixel(2, 2), clWhite32);
        EXPECT_EQ(b.Pixel(12, 12), clWhite32);
    }
}

TEST(PolygonFill, ShapesOutsideTheBitmapDrawNothing) {
    for (double d : {-30000.0, -25.0, 40.0, 30000.0})
        for (bool aa : {true, false}) {
            TBitmap32 b(20, 20);
            b.Clear(kGround);
            TPolygon32 p = Box(d, 2, d + 15, 12, aa);
            p.DrawFill(b, clWhite32);
            p.DrawEdge(b, clWhite32);
            TPolygon32 q = Box(2, d, 12, d + 15, aa);
            q.DrawFill(b, clWhite32);
            q.DrawEdge(b, clWhite32);
            EXPECT_EQ(Changed(b, kGround), 0) << d;
        }
    TBitmap32 empty;
    Box(0, 0, 5, 5).DrawFill(empty, clWhite32);
}

TEST(PolygonFill, PolylinesClosedOrOpen) {
    for (bool aa : {true, false}) {
        TBitmap32 closed(20, 20), open(20, 20);
        closed.Clear(kGround);
        open.Clear(kGround);
        TPolygon32 p = Box(2, 2, 12, 12, aa);
        p.DrawEdge(closed, clWhite32);
        p.Closed = false;
        p.DrawEdge(open, clWhite32);
        // The left edge is the closing one.
        EXPECT_NE(closed.Pixel(2, 7), kGround) << aa;
        EXPECT_EQ(open.Pixel(2, 7), kGround) << aa;
        EXPECT_NE(open.Pixel(7, 2), kGround) << aa;
        EXPECT_NE(open.Pixel(12, 7), kGround) << aa;
        EXPECT_EQ(closed.Pixel(7, 7), kGround) << aa;
    }
}
