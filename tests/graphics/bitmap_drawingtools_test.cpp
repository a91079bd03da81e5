#include "graphics/DrawingTools.h"

#include <gtest/gtest.h>

namespace {

TFixed Px(double v) { return TFixed(v * FixedOne); }

TPolygon32 Square(double a, double b) {
    TPolygon32 p;
    p.Add({Px(a), Px(a)});
    p.Add({Px(b), Px(a)});
    p.Add({Px(b), Px(b)});
    p.Add({Px(a), Px(b)});
    return p;
}

}  // namespace

TEST(DrawingTools, Combiners) {
    EXPECT_EQ(ColorAddKeepAlpha(Color32(255, 128, 0, 128), Color32(16, 32, 48, 255)), Color32(255, 160, 48, 128));
    EXPECT_EQ(ColorSubKeepAlpha(Color32(16, 32, 48, 255), Color32(32, 64, 16, 255)), Color32(0, 0, 32, 255));
    EXPECT_EQ(ColorModulateKeepAlpha(Color32(255, 255, 255, 255), Color32(128, 128, 128, 0)),
              Color32(127, 127, 127, 255));
    EXPECT_EQ(ColorMaxKeepAlpha(Color32(10, 200, 30, 7), Color32(20, 100, 30, 255)), Color32(20, 200, 30, 7));
    EXPECT_EQ(ColorMinKeepAlpha(Color32(10, 200, 30, 7), Color32(20, 100, 30, 255)), Color32(10, 100, 30, 7));
}

TEST(DrawingTools, CombinerAsPixelCombine) {
    TBitmap32 pic(1, 1), back(1, 1);
    pic.Clear(Color32(100, 100, 100));
    back.Clear(Color32(200, 50, 0));
    pic.DrawMode = dmCustom;
    pic.OnPixelCombine = [](TColor32 F, TColor32& B, TColor32) { B = ColorAddKeepAlpha(F, B); };
    pic.DrawTo(back);
    EXPECT_EQ(back.Pixel(0, 0), Color32(255, 150, 100));
}

TEST(DrawingTools, Rectangles) {
    TRect r{1, 10, 5, 3};
    EXPECT_EQ(RectHeightAbs(r), 7);
    OffsetRectBy(r, -2, 4);
    EXPECT_EQ(r.Left, -1);
    EXPECT_EQ(r.Right, 3);
    EXPECT_EQ(r.Top, 14);
    EXPECT_EQ(r.Bottom, 7);
    TRect wide{INT32_MIN, INT32_MAX, 0, INT32_MIN};
    EXPECT_EQ(RectHeightAbs(wide), int32_t(uint32_t(0xFFFFFFFFu)));  // as the 32-bit result has it
    OffsetRectBy(wide, -1, 1);  // wraps, never undefined
    EXPECT_EQ(wide.Left, INT32_MAX);
}

TEST(DrawingTools, ScalingPointsInFixedPoint) {
    TArrayOfArrayOfFixedPoint c{{{Px(3), Px(-2)}, {Px(1.5), 1}}, {{Px(100), Px(0.25)}}};
    ScalePolyPolygon(Px(2), Px(0.5), c);
    EXPECT_EQ(c[0][0], (TFixedPoint{Px(6), Px(-1)}));
    EXPECT_EQ(c[0][1].X, Px(3));
    EXPECT_EQ(c[0][1].Y, 1);  // 0.5 rounds away from zero
    EXPECT_EQ(c[1][0], (TFixedPoint{Px(200), Px(0.125)}));
    EXPECT_EQ(FixedMul(INT32_MAX, INT32_MAX), INT32_MAX);  // held, not wrapped
    EXPECT_EQ(FixedMul(-3, FixedOne / 2), -2);
}

TEST(DrawingTools, BitmapFromGraphicIsACopy) {
    TBitmap32 g(2, 3);
    g.Clear(0x12345678);
    auto b = Bitmap32FromGraphic(g);
    ASSERT_EQ(b->Width(), 2);
    EXPECT_EQ(b->Pixel(1, 2), 0x12345678u);
}

TEST(DrawingTools, ShadedEdgesFaceTheLight) {
    TBitmap32 b(40, 40);
    b.Clear(Color32(128, 128, 128));
    TPolygon32 p = Square(10.5, 30.5);
    DrawShadedEdges(b, p, 100, 90);
    EXPECT_EQ(b.Pixel(20, 10), clBlack32);                  // top edge, normal (0, -1)
    EXPECT_EQ(b.Pixel(20, 30), clWhite32);                  // bottom edge, normal (0, 1)
    EXPECT_EQ(b.Pixel(30, 20), Color32(128, 128, 128));     // across the light
    EXPECT_EQ(b.Pixel(20, 20), Color32(128, 128, 128));
    ASSERT_EQ(p.Normals.size(), 1u);
    EXPECT_EQ(p.Normals[0][0], (TFixedPoint{0, -FixedOne}));
}

TEST(DrawingTools, ShadedEdgesDrawNothingWhenInvisibleOrTooShort) {
    TBitmap32 b(40, 40), before;
    b.Clear(Color32(1, 2, 3));
    before = b;
    TPolygon32 p = Square(10.5, 30.5);
    DrawShadedEdges(b, p, 0, 90);
    TPolygon32 two;
    two.Add({Px(1.5), Px(1.5)});
    two.Add({Px(30.5), Px(1.5)});
    DrawShadedEdges(b, two, 100, 90);
    TPolygon32 empty;
    DrawShadedEdges(b, empty, 100, 90);
    for (int i = 0; i < 40 * 40; ++i) ASSERT_EQ(b.Bits()[i], before.Bits()[i]);
}
