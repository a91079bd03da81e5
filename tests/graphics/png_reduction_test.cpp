// A PNG drawn much smaller than it is comes out reduced while it is read, and looks on
// the screen as the whole picture does.
#include "graphics/PictureRegistry.h"
#include "graphics/PngReader.h"
#include "picture_testsupport.h"
#include "platform/RunEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Fitted to w x h as a picture item fits its picture.
TBitmap32 Fitted(const TBitmap32& picture, int w, int h) {
    TBitmap32 out(w, h), source = picture;
    source.StretchFilter = sfMitchell;
    source.DrawMode = dmOpaque;
    source.StretchTo(out, 0, 0, w, h);
    return out;
}

}  // namespace

TEST(PngReduction, AReducedPictureLooksOnTheScreenAsTheWholeOne) {
    const struct {
        const char* Name;
        int W, H, TargetW, TargetH;
        bool Interlaced;
        int Factor;
    } cases[] = {
        {"whole rows", 1000, 608, 120, 70, false, 8},
        {"interlaced", 1000, 608, 120, 70, true, 8},
        {"interlaced, by half", 300, 202, 150, 100, true, 2},
        {"edge boxes of one pixel", 641, 321, 40, 20, false, 16},
        {"a sixteenth at most", 641, 321, 1, 1, false, 16},
        {"not even half", 300, 202, 151, 100, true, 1},
    };
    InitializePictureFormats();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // Bands, rings and an alpha ramp: a box out of place, a channel mixed up or a lost
        // pass shows.
        const auto png = EncodePngRows(c.W, c.H, [&](int y, uint8_t* p) {
            for (int x = 0; x < c.W; ++x, p += 4) {
                const int d = (x - c.W / 3) * (x - c.W / 3) + (y - 40) * (y - 40);
                p[0] = uint8_t(x * 255 / c.W);
                p[1] = uint8_t((x / 40 + y / 60) % 2 ? 230 : 20);
                p[2] = uint8_t(d / 300);
                p[3] = uint8_t(x < 40 ? 255 : 120 + y % 100);
            }
        }, c.Interlaced);
        const TBitmap32 whole = ReadPngPicture(png.data(), png.size());
        TPictureLoadOptions options;
        options.TargetForSize = [&](int w, int h, int& tw, int& th) {
            EXPECT_EQ(w, c.W);
            EXPECT_EQ(h, c.H);
            tw = c.TargetW;
            th = c.TargetH;
        };
        const TBitmap32 reduced = LoadPictureFromMemory(png.data(), png.size(), "gross.png", options);
        ASSERT_EQ(PngReduction(c.W, c.H, c.TargetW, c.TargetH), c.Factor);
        ASSERT_EQ(reduced.Width(), (c.W + c.Factor - 1) / c.Factor);
        ASSERT_EQ(reduced.Height(), (c.H + c.Factor - 1) / c.Factor);
        // Whole boxes: on the screen within a step of 3 in 255. (Partial last boxes reach
        // a few source pixels further, as a JPEG scaled while decoding does.)
        if (c.W % c.Factor == 0 && c.H % c.Factor == 0) {
            const TBitmap32 a = Fitted(reduced, c.TargetW, c.TargetH), b = Fitted(whole, c.TargetW, c.TargetH);
            double sum = 0;
            for (int y = 0; y < a.Height(); ++y)
                for (int x = 0; x < a.Width(); ++x)
                    for (int s = 0; s < 32; s += 8) sum += std::abs(int((a.Pixel(x, y) >> s) & 0xFF) - int((b.Pixel(x, y) >> s) & 0xFF));
            EXPECT_LE(sum / (4.0 * a.Width() * a.Height()), 3.0);
        } else if (c.W % c.Factor == 1 && c.H % c.Factor == 1) {
            EXPECT_EQ(reduced.Pixel(reduced.Width() - 1, reduced.Height() - 1), whole.Pixel(c.W - 1, c.H - 1));
        }
        // A box with a pixel less than opaque stays less than opaque.
        EXPECT_LT(AlphaComponent(reduced.Pixel(reduced.Width() / 2, 0)), 255);
    }
    FinalizePictureFormats();
}

// The run's end stops a read between its rows, whole, interlaced or reduced, and fails
// the picture as a damaged one: the end does not wait for the rest of a large decode.
TEST(PngReduction, TheRunsEndStopsARead) {
    const struct {
        const char* Name;
        bool Interlaced;
        int Target;
    } cases[] = {{"whole rows", false, 0}, {"interlaced", true, 0}, {"reduced", false, 100}, {"reduced, interlaced", true, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto png = EncodePngRows(800, 800, [](int y, uint8_t* p) { std::fill(p, p + 800 * 4, uint8_t(y)); }, c.Interlaced);
        EXPECT_EQ(ReadPngPicture(png.data(), png.size(), c.Target, c.Target).Height(), c.Target ? 100 : 800);
        RequestRunEnd();
        EXPECT_THROW(ReadPngPicture(png.data(), png.size(), c.Target, c.Target), EInvalidGraphic);
        ResetRunEnd();
    }
}
