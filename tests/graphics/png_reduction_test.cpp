// A PNG drawn much smaller than it is comes out reduced while it is read, and looks as
// the whole picture scaled down does.
#include "graphics/PictureRegistry.h"
#include "graphics/PngReader.h"
#include "picture_testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Stripes, rings and an alpha ramp, coarse enough to survive the reduction: a box out of
// place, a channel mixed up or a lost pass shows.
void Pattern(int w, int y, uint8_t* rgba) {
    for (int x = 0; x < w; ++x, rgba += 4) {
        const int d = (x - w / 3) * (x - w / 3) + (y - 40) * (y - 40);
        rgba[0] = uint8_t(x * 255 / w);
        rgba[1] = uint8_t((x / 40 + y / 60) % 2 ? 230 : 20);
        rgba[2] = uint8_t(d / 300);
        rgba[3] = uint8_t(x < 40 ? 255 : 120 + y % 100);
    }
}

// The mean absolute difference of two same-sized pictures' samples, alpha too, 0 to 255.
double MeanDifference(const TBitmap32& a, const TBitmap32& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int s = 0; s < 32; s += 8) sum += std::abs(int((a.Pixel(x, y) >> s) & 0xFF) - int((b.Pixel(x, y) >> s) & 0xFF));
    return sum / (4.0 * a.Width() * a.Height());
}

TBitmap32 StretchedTo(const TBitmap32& picture, int w, int h) {
    TBitmap32 out(w, h), source = picture;
    source.StretchFilter = sfMitchell;
    source.DrawMode = dmOpaque;
    source.StretchTo(out, 0, 0, w, h);
    return out;
}

}  // namespace

TEST(PngReduction, TheFactorKeepsThePictureAtLeastAsLargeAsItsTarget) {
    const struct {
        int W, H, TW, TH, Factor;
    } cases[] = {
        {16000, 16000, 1280, 1024, 12},  // 1334 x 1334
        {4001, 3001, 1000, 750, 4},      // 1001 x 751
        {4000, 3000, 1000, 750, 4},
        {4000, 3000, 1001, 750, 3},
        {4000, 3000, 2001, 1500, 1},     // not even half: whole
        {4000, 3000, 0, 0, 1},
        {4000, 3000, 1, 1, 16},          // a sixteenth at most
        {100, 100, 200, 200, 1},
    };
    for (const auto& c : cases) {
        const int f = PngReduction(c.W, c.H, c.TW, c.TH);
        EXPECT_EQ(f, c.Factor) << c.W << " x " << c.H << " for " << c.TW << " x " << c.TH;
        if (f == 1) continue;
        EXPECT_GE((c.W + f - 1) / f, c.TW);
        EXPECT_GE((c.H + f - 1) / f, c.TH);
    }
}

TEST(PngReduction, AReducedPictureLooksAsTheWholeOneScaledDown) {
    struct TCase {
        const char* Name;
        int W, H, TargetW, TargetH;
        bool Interlaced;
    };
    const TCase cases[] = {
        {"whole rows", 1000, 608, 120, 70, false},
        {"interlaced", 1000, 608, 120, 70, true},
        {"interlaced, half", 300, 202, 150, 100, true},
        {"edge boxes of one pixel", 641, 321, 40, 20, false},
    };
    InitializePictureFormats();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto png = EncodePngRows(c.W, c.H, [&](int y, uint8_t* row) { Pattern(c.W, y, row); }, c.Interlaced);
        const TBitmap32 whole = ReadPngPicture(png.data(), png.size());
        TPictureLoadOptions options;
        options.TargetForSize = [&](int w, int h, int& tw, int& th) {
            EXPECT_EQ(w, c.W);
            EXPECT_EQ(h, c.H);
            tw = c.TargetW;
            th = c.TargetH;
        };
        const TBitmap32 reduced = LoadPictureFromMemory(png.data(), png.size(), "gross.png", options);
        const int f = PngReduction(c.W, c.H, c.TargetW, c.TargetH);
        ASSERT_GT(f, 1);
        ASSERT_EQ(reduced.Width(), (c.W + f - 1) / f);
        ASSERT_EQ(reduced.Height(), (c.H + f - 1) / f);
        // On the screen: both fitted to the target as a picture item fits them. (Where the
        // last boxes are partial, the reduced picture reaches a few source pixels further,
        // as a JPEG scaled while decoding does: a shift below a screen pixel.)
        if (c.W % f == 0 && c.H % f == 0) {
            EXPECT_LE(MeanDifference(StretchedTo(reduced, c.TargetW, c.TargetH), StretchedTo(whole, c.TargetW, c.TargetH)),
                  3.0);
        }
        // The last box, however narrow, is the mean of its own pixels.
        const TColor32 corner = whole.Pixel(c.W - 1, c.H - 1), got = reduced.Pixel(reduced.Width() - 1, reduced.Height() - 1);
        if (c.W % f == 1 && c.H % f == 1) {
            EXPECT_EQ(got, corner);
        }
        // A box with a pixel less than opaque stays less than opaque.
        EXPECT_LT(AlphaComponent(reduced.Pixel(reduced.Width() / 2, 0)), 255);
    }
    FinalizePictureFormats();
}
