#include "graphics/Bitmap32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

uint8_t Ch(TColor32 c, int i) { return uint8_t(c >> (8 * i)); }

// The straight-alpha "over" in doubles; the effective source alpha is Fa * M / 255
// rounded to a whole step.
TColor32 ReferenceBlend(TColor32 F, TColor32 B, int M) {
    double a = std::lround(Ch(F, 3) * M / 255.0) / 255.0;
    double ba = Ch(B, 3) / 255.0;
    double ra = a + ba * (1 - a);
    if (ra <= 0) return B;
    TColor32 r = TColor32(std::lround(ra * 255)) << 24;
    for (int i = 0; i < 3; ++i) {
        double v = (Ch(F, i) * a + Ch(B, i) * ba * (1 - a)) / ra;
        r |= TColor32(std::lround(v)) << (8 * i);
    }
    return r;
}

void ExpectNear(TColor32 got, TColor32 want, int tol, const char* what) {
    for (int i = 0; i < 4; ++i)
        ASSERT_LE(std::abs(int(Ch(got, i)) - int(Ch(want, i))), tol)
            << what << std::hex << " got " << got << " want " << want << " channel " << i;
}

TBitmap32 RandomBitmap(int w, int h, std::mt19937& rng) {
    TBitmap32 b(w, h);
    for (int i = 0; i < w * h; ++i) b.Bits()[i] = rng();
    return b;
}

}  // namespace

TEST(Bitmap32, SizeAndLimits) {
    TBitmap32 b(3, 2);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(b.Pixel(2, 1), 0u);
    b.SetSize(-5, 4);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_THROW(b.SetSize(1 << 15, 1 << 14), EBitmapError);
    EXPECT_EQ(b.PixelS(0, 0), 0u);
    b.SetPixelS(0, 0, 1);  // ignored on an empty bitmap
}

TEST(Bitmap32, BlendEqualsFormulaOnGrid) {
    const int vals[] = {0, 1, 17, 64, 127, 128, 200, 254, 255};
    for (int fa : vals)
        for (int ba : {0, 1, 90, 128, 254, 255})
            for (int m : vals)
                for (int fc : {0, 33, 255})
                    for (int bc : {0, 200, 255}) {
                        TColor32 F = Color32(uint8_t(fc), uint8_t(255 - fc), uint8_t(fc / 2), uint8_t(fa));
                        TColor32 B = Color32(uint8_t(bc), uint8_t(bc / 3), uint8_t(255 - bc), uint8_t(ba));
                        TColor32 want = ReferenceBlend(F, B, m);
                        ExpectNear(BlendPixel(F, B, uint8_t(m)), want, 1, "BlendPixel");
                    }
}

TEST(Bitmap32, BlendRowsMatchPixelBlend) {
    // Rows long enough for the vector path plus a tail, over opaque and mixed backgrounds.
    std::mt19937 rng(7);
    for (int m : {255, 200, 1, 0}) {
        for (bool opaqueDst : {true, false}) {
            TBitmap32 src = RandomBitmap(23, 3, rng);
            src.Bits()[0] |= 0xFF000000;  // some fully opaque and fully transparent pixels
            src.Bits()[1] &= 0x00FFFFFF;
            for (int i = 4; i < 8; ++i) src.Bits()[i] |= 0xFF000000;
            TBitmap32 dst = RandomBitmap(23, 3, rng);
            if (opaqueDst) dst.ResetAlpha(255);
            TBitmap32 want = dst;
            for (int i = 0; i < 23 * 3; ++i) want.Bits()[i] = BlendPixel(src.Bits()[i], dst.Bits()[i], uint8_t(m));
            src.DrawMode = dmBlend;
            src.MasterAlpha = uint8_t(m);
            src.DrawTo(dst);
            for (int i = 0; i < 23 * 3; ++i) ASSERT_EQ(dst.Bits()[i], want.Bits()[i]) << i << " m=" << m;
        }
    }
}

TEST(Bitmap32, BlendOverTransparentTakesSource) {
    TBitmap32 dst(2, 1);
    dst.Clear(0x00FFFFFF);  // transparent white, as glyph caches start
    TBitmap32 src(2, 1);
    src.Clear(Color32(10, 20, 30, 128));
    src.DrawMode = dmBlend;
    src.DrawTo(dst);
    EXPECT_EQ(dst.Pixel(0, 0), Color32(10, 20, 30, 128));
    src.DrawTo(dst);  // twice: alpha grows, colour stays
    EXPECT_EQ(dst.Pixel(1, 0), Color32(10, 20, 30, 192));
}

TEST(Bitmap32, DrawMatchesClipThenCopy) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> coord(-30, 60);
    for (int round = 0; round < 300; ++round) {
        TBitmap32 src = RandomBitmap(17 + round % 5, 13, rng);
        TBitmap32 dst = RandomBitmap(29, 21 + round % 3, rng);
        const int dx = coord(rng), dy = coord(rng);
        int sx1 = coord(rng), sy1 = coord(rng), sx2 = coord(rng), sy2 = coord(rng);
        TBitmap32 want = dst;
        src.DrawMode = round % 3 == 0 ? dmOpaque : dmBlend;
        src.MasterAlpha = uint8_t(round * 37);
        for (int y = sy1; y < sy2; ++y)
            for (int x = sx1; x < sx2; ++x) {
                if (x < 0 || y < 0 || x >= src.Width() || y >= src.Height()) continue;
                int tx = dx + x - sx1, ty = dy + y - sy1;
                if (tx < 0 || ty < 0 || tx >= dst.Width() || ty >= dst.Height()) continue;
                TColor32 s = src.Pixel(x, y);
                want.SetPixel(tx, ty, src.DrawMode == dmOpaque ? s : BlendPixel(s, want.Pixel(tx, ty), src.MasterAlpha));
            }
        src.DrawTo(dst, dx, dy, sx1, sy1, sx2, sy2);
        for (int i = 0; i < dst.Width() * dst.Height(); ++i) ASSERT_EQ(dst.Bits()[i], want.Bits()[i]) << round;
    }
    // Offsets far outside do nothing and do not wrap.
    TBitmap32 a(4, 4), b(4, 4);
    a.Clear(clWhite32);
    a.DrawTo(b, INT32_MAX - 1, INT32_MIN + 1);
    a.DrawTo(b, 0, 0, INT32_MIN, INT32_MIN, INT32_MAX, -1);
    EXPECT_EQ(b.Pixel(0, 0), 0u);
}

TEST(Bitmap32, DrawOntoItselfUsesACopy) {
    TBitmap32 b(4, 1);
    for (int x = 0; x < 4; ++x) b.SetPixel(x, 0, TColor32(x + 1));
    b.DrawTo(b, 1, 0, 0, 0, 3, 1);
    EXPECT_EQ(b.Pixel(1, 0), 1u);
    EXPECT_EQ(b.Pixel(2, 0), 2u);
    EXPECT_EQ(b.Pixel(3, 0), 3u);
}

TEST(Bitmap32, CustomCombineGetsSourceDestinationAndMaster) {
    TBitmap32 src(2, 1), dst(2, 1);
    src.Clear(0x01020304);
    dst.Clear(0x10101010);
    src.DrawMode = dmCustom;
    src.MasterAlpha = 77;
    src.OnPixelCombine = [](TColor32 F, TColor32& B, TColor32 M) { B = F + B + M; };
    src.DrawTo(dst);
    EXPECT_EQ(dst.Pixel(1, 0), 0x01020304u + 0x10101010u + 77u);
}

TEST(Bitmap32, FillsAndFramesClip) {
    TBitmap32 b(5, 4);
    b.Clear(clBlack32);
    b.FillRectS(-3, -3, 2, 2, clWhite32);
    EXPECT_EQ(b.Pixel(1, 1), clWhite32);
    EXPECT_EQ(b.Pixel(2, 1), clBlack32);
    b.FillRectS(4, 3, 100, 100, 0xFF00FF00);
    EXPECT_EQ(b.Pixel(4, 3), 0xFF00FF00u);
    b.FillRectS(3, 3, 2, 2, clWhite32);  // inverted: nothing
    EXPECT_EQ(b.Pixel(2, 2), clBlack32);

    b.Clear(Color32(0, 0, 0));
    b.FillRectTS(0, 0, 5, 4, Color32(255, 255, 255, 128));
    EXPECT_EQ(b.Pixel(3, 2), Color32(128, 128, 128));

    b.Clear(clBlack32);
    b.FrameRectS(1, 1, 4, 4, clWhite32);
    EXPECT_EQ(b.Pixel(1, 1), clWhite32);
    EXPECT_EQ(b.Pixel(3, 3), clWhite32);
    EXPECT_EQ(b.Pixel(2, 2), clBlack32);
    EXPECT_EQ(b.Pixel(4, 3), clBlack32);
    // Blended frame: corners are blended once only.
    b.Clear(clBlack32);
    b.FrameRectTS(0, 0, 5, 4, Color32(255, 255, 255, 128));
    EXPECT_EQ(b.Pixel(0, 0), Color32(128, 128, 128));
    EXPECT_EQ(b.Pixel(4, 3), Color32(128, 128, 128));
}

TEST(Bitmap32, IntegerLines) {
    TBitmap32 b(10, 10);
    b.LineS(0, 0, 9, 9, clWhite32);
    EXPECT_EQ(b.Pixel(8, 8), clWhite32);
    EXPECT_EQ(b.Pixel(9, 9), 0u);  // last point left out
    b.LineS(0, 5, 9, 5, clWhite32, true);
    EXPECT_EQ(b.Pixel(9, 5), clWhite32);
    b.PenColor = 0xFF123456;
    b.MoveTo(100000, 7);  // far outside, no overflow
    b.LineToS(0, 7);
    EXPECT_EQ(b.Pixel(0, 7), 0u);  // last point left out
    EXPECT_EQ(b.Pixel(9, 7), 0xFF123456u);
    b.LineToS(0, 9);
    EXPECT_EQ(b.Pixel(0, 8), 0xFF123456u);
    // A line from far outside through the bitmap: same pixels as the visible part, and quick.
    TBitmap32 c(10, 10);
    c.LineS(-2000000000, 3, 2000000000, 3, clWhite32);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(c.Pixel(x, 3), clWhite32);
    TBitmap32 d(10, 10), e(10, 10);
    d.LineS(-10, -5, 20, 10, clWhite32);
    for (int i = 0; i < 30; ++i) {
        int y = -5 + (2 * i * 15 + 30) / 60;
        e.SetPixelS(-10 + i, y, clWhite32);
    }
    for (int i = 0; i < 100; ++i) EXPECT_EQ(d.Bits()[i], e.Bits()[i]) << i;
    // Blended and stippled.
    TBitmap32 s(4, 1);
    s.Clear(clBlack32);
    s.SetStipple({clWhite32, 0x00FFFFFF});
    s.LineTSP(-1, 0, 4, 0);
    EXPECT_EQ(s.Pixel(0, 0), clBlack32);  // the clipped pixel at -1 took the first colour
    EXPECT_EQ(s.Pixel(1, 0), clWhite32);
    EXPECT_EQ(s.Pixel(3, 0), clWhite32);
    EXPECT_FLOAT_EQ(s.StippleCounter, 1.0f);
    // Fractional steps mix neighbouring colours.
    TBitmap32 g(3, 1);
    g.SetStipple({0xFF000000, 0xFFC8C8C8});
    g.StippleStep = 0.25f;
    EXPECT_EQ(g.GetStippleColor(), 0xFF000000u);
    EXPECT_EQ(g.GetStippleColor(), 0xFF323232u);
    g.AdvanceStippleCounter(2);  // 0.5 + 0.5
    EXPECT_EQ(g.GetStippleColor(), 0xFFC8C8C8u);
    // A stippled frame visits every border pixel once, clockwise.
    TBitmap32 f(5, 4);
    f.Clear(clBlack32);
    f.SetStipple({clWhite32, 0x00FFFFFF});
    f.FrameRectTSP(1, 1, 4, 4);  // 3 x 3: eight pixels, alternating from the top-left
    EXPECT_EQ(f.Pixel(1, 1), clWhite32);
    EXPECT_EQ(f.Pixel(2, 1), clBlack32);
    EXPECT_EQ(f.Pixel(3, 1), clWhite32);
    EXPECT_EQ(f.Pixel(3, 2), clBlack32);
    EXPECT_EQ(f.Pixel(3, 3), clWhite32);
    EXPECT_EQ(f.Pixel(1, 2), clBlack32);
    EXPECT_EQ(f.Pixel(2, 2), clBlack32);
    EXPECT_FLOAT_EQ(f.StippleCounter, 0.0f);  // eight steps round a pattern of two
}

TEST(Bitmap32, AntialiasedFixedPointLines) {
    TBitmap32 b(10, 10);
    b.Clear(clBlack32);
    // Through pixel centres: full coverage on one row.
    b.LineXS(0, 5 * FixedOne + FixedOne / 2, 10 * FixedOne, 5 * FixedOne + FixedOne / 2, clWhite32);
    EXPECT_EQ(b.Pixel(3, 5), clWhite32);
    EXPECT_EQ(b.Pixel(3, 4), clBlack32);
    // Between two rows: half on each.
    b.Clear(clBlack32);
    b.LineXS(0, 5 * FixedOne, 10 * FixedOne, 5 * FixedOne, clWhite32);
    EXPECT_NEAR(RedComponent(b.Pixel(4, 4)), 128, 2);
    EXPECT_NEAR(RedComponent(b.Pixel(4, 5)), 128, 2);
    // Steep, with a pen; a transparent colour draws nothing.
    b.Clear(clBlack32);
    b.PenColor = 0x00FFFFFF;
    b.MoveToX(2 * FixedOne + FixedOne / 2, 0);
    b.LineToXS(2 * FixedOne + FixedOne / 2, 10 * FixedOne);
    EXPECT_EQ(b.Pixel(2, 4), clBlack32);
    b.PenColor = clWhite32;
    b.MoveToX(2 * FixedOne + FixedOne / 2, -40 * FixedOne);
    b.LineToXS(2 * FixedOne + FixedOne / 2, 40 * FixedOne);
    EXPECT_EQ(b.Pixel(2, 9), clWhite32);
    b.LineXS(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, clWhite32);  // clipped, bounded
}

TEST(Bitmap32, CopyRectClips) {
    TBitmap32 b(4, 3);
    for (int i = 0; i < 12; ++i) b.Bits()[i] = TColor32(i);
    TBitmap32 c = b.CopyRect(2, -1, 9, 2);
    ASSERT_EQ(c.Width(), 2);
    ASSERT_EQ(c.Height(), 2);
    EXPECT_EQ(c.Pixel(0, 0), 2u);
    EXPECT_EQ(c.Pixel(1, 1), 7u);
    EXPECT_TRUE(b.CopyRect(5, 5, 9, 9).Empty());
}

namespace {

// Straightforward two-dimensional resampler in doubles, for comparison.
TBitmap32 SlowStretch(const TBitmap32& src, TStretchFilter f, int dw, int dh, int sx1, int sy1, int sx2, int sy2) {
    TBitmap32 out(dw, dh);
    auto weights = [&](int i, int dLen, int s1, int sLen, int limit) {
        std::vector<std::pair<int, double>> w;
        double scale = double(sLen) / dLen, widen = std::max(1.0, scale);
        double c = s1 + (i + 0.5) * scale - 0.5, r = StretchKernelRadius(f) * widen;
        double sum = 0;
        for (int j = int(std::ceil(c - r)); j <= int(std::floor(c + r)); ++j) {
            double k = StretchKernel(f, (j - c) / widen);
            int m = j < 0 ? -j : (j >= limit ? 2 * (limit - 1) - j : j);  // mirrored edges
            w.push_back({std::clamp(m, 0, limit - 1), k});
            sum += k;
        }
        for (auto& p : w) p.second /= sum;
        return w;
    };
    for (int y = 0; y < dh; ++y) {
        auto wy = weights(y, dh, sy1, sy2 - sy1, src.Height());
        for (int x = 0; x < dw; ++x) {
            auto wx = weights(x, dw, sx1, sx2 - sx1, src.Width());
            TColor32 r = 0;
            for (int c = 0; c < 4; ++c) {
                double v = 0;
                for (auto& a : wy)
                    for (auto& b : wx) v += a.second * b.second * Ch(src.Pixel(b.first, a.first), c);
                r |= TColor32(std::clamp<long>(std::lround(v), 0, 255)) << (8 * c);
            }
            out.SetPixel(x, y, r);
        }
    }
    return out;
}

}  // namespace

TEST(Bitmap32, StretchFiltersKeepConstantsAndMatchReference) {
    std::mt19937 rng(3);
    TBitmap32 pic = RandomBitmap(23, 17, rng);
    for (TStretchFilter f : {sfLinear, sfSpline, sfLanczos, sfMitchell}) {
        for (auto [dw, dh] : {std::pair{50, 40}, std::pair{9, 6}, std::pair{23, 5}, std::pair{7, 31}}) {
            TBitmap32 flat(23, 17);
            flat.Clear(0x80C0FF10);
            flat.StretchFilter = f;
            TBitmap32 out(dw, dh);
            flat.StretchTo(out, 0, 0, dw, dh);
            for (int i = 0; i < dw * dh; ++i) ASSERT_EQ(out.Bits()[i], 0x80C0FF10u) << int(f);

            pic.StretchFilter = f;
            TBitmap32 got(dw, dh);
            pic.StretchTo(got, 0, 0, dw, dh, 2, 1, 21, 16);
            TBitmap32 want = SlowStretch(pic, f, dw, dh, 2, 1, 21, 16);
            for (int i = 0; i < dw * dh; ++i) ExpectNear(got.Bits()[i], want.Bits()[i], 1, "stretch");
        }
    }
}

TEST(Bitmap32, NearestIsExactAndClipsAgainstBoth) {
    std::mt19937 rng(9);
    TBitmap32 pic = RandomBitmap(13, 11, rng);
    pic.StretchFilter = sfNearest;
    // Each target pixel takes the source pixel under its centre.
    TBitmap32 want(30, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 30; ++x)
            want.SetPixel(x, y, pic.Pixel(int(std::floor((x + 0.5) * 13 / 30)), int(std::floor((y + 0.5) * 11 / 7))));
    TBitmap32 got(30, 7);
    pic.StretchTo(got, 0, 0, 30, 7);
    for (int i = 0; i < 30 * 7; ++i) ASSERT_EQ(got.Bits()[i], want.Bits()[i]);
    // The destination reaches outside: the visible part is the same as unclipped.
    TBitmap32 part(10, 5);
    pic.StretchTo(part, -8, -1, 22, 6);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(part.Pixel(x, y), want.Pixel(x + 8, y + 1));
    // The same for a smooth filter.
    pic.StretchFilter = sfLanczos;
    pic.StretchTo(got, 0, 0, 30, 7);
    pic.StretchTo(part, -8, -1, 22, 6);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(part.Pixel(x, y), got.Pixel(x + 8, y + 1));
    // A source part reaching outside the picture is cut, the destination in proportion.
    TBitmap32 d1(26, 22), d2(26, 22);
    pic.StretchFilter = sfNearest;
    pic.StretchTo(d1, 0, 0, 52, 44, -13, -11, 13, 11);
    pic.StretchTo(d2, 26, 22, 52, 44, 0, 0, 13, 11);
    for (int i = 0; i < 26 * 22; ++i) ASSERT_EQ(d1.Bits()[i], d2.Bits()[i]);
    // Empty and inverted rectangles draw nothing.
    TBitmap32 e(4, 4);
    pic.StretchTo(e, 4, 0, 0, 4);
    pic.StretchTo(e, 0, 0, 4, 4, 5, 5, 5, 9);
    pic.StretchTo(e, 0, 0, 4, 4, 20, 20, 30, 30);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(e.Bits()[i], 0u);
}

TEST(Bitmap32, LinearHalvingOfACheckerboardIsMidGrey) {
    TBitmap32 board(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) board.SetPixel(x, y, (x + y) % 2 ? clWhite32 : clBlack32);
    board.StretchFilter = sfLinear;
    TBitmap32 half(8, 8);
    board.StretchTo(half, 0, 0, 8, 8);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(RedComponent(half.Bits()[i]), 127.5, 1) << i;
        EXPECT_EQ(AlphaComponent(half.Bits()[i]), 255);
    }
}

TEST(Bitmap32, StretchBlendsWithMasterAlpha) {
    TBitmap32 pic(2, 2), dst(4, 4);
    pic.Clear(clWhite32);
    dst.Clear(clBlack32);
    pic.StretchFilter = sfLinear;
    pic.DrawMode = dmBlend;
    pic.MasterAlpha = 128;
    pic.StretchTo(dst, 0, 0, 4, 4);
    EXPECT_EQ(dst.Pixel(2, 2), Color32(128, 128, 128));
}

TEST(Bitmap32, PiecesDrawnTogetherEqualPiecesDrawnOneByOne) {
    // Slats squeezed from whole source slats (enough work for several threads), boxes
    // stretched or copied, pieces cut by either bitmap's edge; opaque, blended and custom.
    TBitmap32 pic(1100, 700);
    std::mt19937 rng(7);
    for (int y = 0; y < pic.Height(); ++y)
        for (int x = 0; x < pic.Width(); ++x) pic.SetPixel(x, y, TColor32(rng()) | (x % 5 ? 0xFF000000u : 0));
    std::vector<TBitmap32::TPiece> pieces;
    for (int i = 0; i < 10; ++i) pieces.push_back({{0, i * 70, 1100, i * 70 + 70}, {-20, i * 90, 1040, i * 90 + 9 + i * 7}});
    for (int i = 0; i < 6; ++i) pieces.push_back({{i * 150, 0, i * 150 + 150, 150}, {i * 170, 900, i * 170 + 40 + i * 30, 1010}});
    pieces.push_back({{500, 500, 700, 700}, {0, 1015, 200, 1215}});     // a copy past the bottom
    pieces.push_back({{1000, 600, 1200, 800}, {300, 1015, 450, 1135}});  // past the picture's edge
    // Only copies, as stripes are: cut by either bitmap's edge at every side.
    std::vector<TBitmap32::TPiece> stripes;
    for (int i = 0; i < 60; ++i) stripes.push_back({{i * 19, -30, i * 19 + 19, 730}, {i * 19 - 40, -10, i * 19 - 21, 750}});
    stripes.push_back({{1090, 650, 1130, 1000}, {1000, 700, 1040, 1050}});
    for (const auto* set : {&pieces, &stripes}) {
        for (TDrawMode mode : {dmOpaque, dmBlend, dmCustom}) {
            pic.DrawMode = mode;
            pic.MasterAlpha = 200;
            pic.StretchFilter = sfMitchell;
            pic.OnPixelCombine = [](TColor32 f, TColor32& b, TColor32) { b ^= f; };
            TBitmap32 together(1040, 1040), oneByOne(1040, 1040);
            together.Clear(0x80402010);
            oneByOne.Clear(0x80402010);
            pic.DrawPiecesTo(together, *set);
            for (const TBitmap32::TPiece& p : *set) pic.DrawTo(oneByOne, p.Dst, p.Src);
            EXPECT_EQ(together.ToImage32(), oneByOne.ToImage32()) << "mode " << int(mode) << (set == &stripes ? ", stripes" : "");
        }
    }
}

TEST(Bitmap32, Image32AndRectangleForms) {
    TImage32 img(3, 2, 0x11223344);
    img.SetPixel(2, 1, 0xFF00FF00);
    TBitmap32 b(img);
    ASSERT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Pixel(2, 1), 0xFF00FF00u);
    EXPECT_EQ(b.ToImage32(), img);
    TImage32 broken;
    broken.Width = 4;
    broken.Height = 4;  // no pixels: taken as transparent, never read past the end
    TBitmap32 c(broken);
    EXPECT_EQ(c.Pixel(3, 3), 0u);

    TBitmap32 d(6, 6), e(6, 6);
    d.FillRectS(Rect(1, 1, 3, 3), clWhite32);
    e.FillRectS(1, 1, 3, 3, clWhite32);
    for (int i = 0; i < 36; ++i) ASSERT_EQ(d.Bits()[i], e.Bits()[i]);
    TBitmap32 small(2, 2);
    small.Clear(clWhite32);
    TBitmap32 f(6, 6);
    small.DrawTo(f, Rect(0, 0, 4, 4));  // doubled
    EXPECT_EQ(f.Pixel(3, 3), clWhite32);
    EXPECT_EQ(f.Pixel(4, 4), 0u);
    EXPECT_EQ(small.BoundsRect(), Rect(0, 0, 2, 2));
}
