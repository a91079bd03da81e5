#include "playback/PlayerWindow.h"

#include "graphics/PngWriter.h"
#include "platform/WindowSurface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A box of 30 x 20 at (16, 16) of a 60 x 50 client, its buffer filled with a pattern.
struct BoxOnSurface {
    TOffscreenWindowSurface Surface{60, 50};
    TWinPaintBox32 Box;

    BoxOnSurface() {
        Box.SetBounds(16, 16, 30, 20);
        Box.SetSurface(&Surface);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) Box.Buffer().SetPixel(x, y, Color32(uint8_t(x * 8), uint8_t(y * 12), 0x55));
    }

    // The client shows the buffer inside the flushed rectangles (client coordinates) and
    // black elsewhere.
    void ExpectShown(const std::vector<TRect>& flushed) const {
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x) {
                bool inside = false;
                for (const TRect& r : flushed) inside |= x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
                const uint32_t want = inside ? Box.Buffer().Pixel(x - 16, y - 16) : clBlack32;
                ASSERT_EQ(Surface.Image().Pixel(x, y), want) << x << "," << y;
            }
    }
};

}  // namespace

TEST(PaintBox, NewBufferIsOpaqueBlackAtTheBoxSize) {
    TWinPaintBox32 box;
    EXPECT_EQ(box.BoundsRect(), TRect{});
    EXPECT_TRUE(box.Buffer().Empty());
    EXPECT_EQ(box.DirtyRect(), TRect{});

    box.SetBounds(16, 16, 301, 189);
    EXPECT_EQ(box.BoundsRect(), Rect(16, 16, 317, 205));
    EXPECT_EQ(box.ClientRect(), Rect(0, 0, 301, 189));
    ASSERT_EQ(box.Buffer().Width(), 301);
    ASSERT_EQ(box.Buffer().Height(), 189);
    for (int i = 0; i < 301 * 189; ++i) ASSERT_EQ(box.Buffer().Bits()[i], clBlack32);
    EXPECT_FALSE(box.BufferValid());

    // A move keeps buffer and validity; a new size brings a new black buffer, not valid.
    box.Buffer().SetPixel(3, 4, clWhite32);
    box.ValidateBuffer();
    box.SetBounds(0, 32, 301, 189);
    EXPECT_EQ(box.Buffer().Pixel(3, 4), clWhite32);
    EXPECT_TRUE(box.BufferValid());
    box.SetBoundsRect(Rect(0, 32, 1280, 992));
    ASSERT_EQ(box.Buffer().Width(), 1280);
    ASSERT_EQ(box.Buffer().Height(), 960);
    EXPECT_EQ(box.Buffer().Pixel(3, 4), clBlack32);
    EXPECT_FALSE(box.BufferValid());

    box.SetBounds(5, 5, -4, 10);
    EXPECT_EQ(box.Width(), 0);
    EXPECT_TRUE(box.Buffer().Empty());
}

TEST(PaintBox, FlushCopiesTheRectangleCutToTheBox) {
    struct Case {
        TRect flushed;
        std::vector<TRect> shown;  // client coordinates
    } cases[] = {
        {{2, 3, 10, 7}, {{18, 19, 26, 23}}},
        {{0, 0, 30, 20}, {{16, 16, 46, 36}}},          // right and bottom lie outside
        {{20, 10, 100, 100}, {{36, 26, 46, 36}}},      // cut at Width and Height
        {{-5, -5, 3, 2}, {{16, 16, 19, 18}}},
        {{4, 4, 4, 9}, {}},                            // empty
        {{9, 9, 3, 12}, {}},                           // inverted
        {{2, 8, 6, 5}, {}},
        {{30, 0, 40, 20}, {}},                         // beside the box
        {{0, 20, 30, 21}, {}},
    };
    for (const Case& c : cases) {
        BoxOnSurface s;
        s.Box.Flush(c.flushed);
        EXPECT_EQ(s.Surface.Presented(), c.shown) << c.flushed.Left << "," << c.flushed.Top << "," << c.flushed.Right
                                                  << "," << c.flushed.Bottom;
        s.ExpectShown(c.shown);
    }
}

TEST(PaintBox, FlushOfTheWholeBufferAndOfNothing) {
    BoxOnSurface s;
    s.Box.Flush(Rect(20, 12, 40, 30));
    s.Box.Flush(Rect(2, 2, 8, 6));
    // To look at: the gradient in two patches, cut at the box's right and bottom edges.
    WritePngPicture(TBitmap32(s.Surface.Image()), (TestOutputFolder() / "paint-box-two-flushes.png").string());
    s.Surface.TakePresented();
    s.Box.Flush();
    EXPECT_EQ(s.Surface.Presented(), std::vector<TRect>{Rect(16, 16, 46, 36)});
    s.ExpectShown({Rect(16, 16, 46, 36)});

    // Without a surface, or with no pixels, a flush shows nothing and fails nowhere.
    TWinPaintBox32 alone;
    alone.SetBounds(0, 0, 10, 10);
    alone.Flush();
    alone.Flush(Rect(0, 0, 5, 5));
    TOffscreenWindowSurface surface(10, 10);
    TWinPaintBox32 empty;
    empty.SetSurface(&surface);
    empty.Flush();
    empty.Flush(Rect(0, 0, 5, 5));
    EXPECT_EQ(surface.PresentCount(), 0);
}

TEST(PaintBox, BufferInvalidationCollectsTheDirtyRectangle) {
    TWinPaintBox32 box;
    box.SetBounds(0, 0, 100, 80);
    struct Step {
        TRect invalidated;
        TRect dirty;
    } steps[] = {
        {{10, 10, 20, 20}, {10, 10, 20, 20}},  // an empty dirty rectangle takes it
        {{30, 5, 40, 15}, {10, 5, 40, 20}},    // then the union grows
        {{50, 50, 50, 60}, {10, 5, 40, 20}},   // no width: left alone
        {{0, 70, 5, 70}, {10, 5, 40, 20}},     // no height: adds nothing to the union
    };
    for (const Step& s : steps) {
        box.InvalidateBufferRect(s.invalidated);
        EXPECT_EQ(box.DirtyRect(), s.dirty);
        EXPECT_FALSE(box.BufferValid());
    }
    box.ValidateBuffer();
    EXPECT_TRUE(box.BufferValid());
    EXPECT_EQ(box.DirtyRect(), TRect{});
    box.InvalidateBuffer();
    EXPECT_EQ(box.DirtyRect(), Rect(0, 0, 100, 80));
    EXPECT_FALSE(box.BufferValid());
}

TEST(PaintBox, ScreenInvalidationIsCutToWidthAndHeight) {
    struct Case {
        TRect invalidated;
        TRect area;
    } cases[] = {
        {{0, 0, 100, 80}, {0, 0, 100, 80}},  // the last column and row are part of it
        {{-10, -10, 500, 500}, {0, 0, 100, 80}},
        {{99, 79, 100, 80}, {99, 79, 100, 80}},
        {{100, 0, 120, 80}, {}},
        {{5, 5, 5, 50}, {}},
        {{40, 40, 10, 60}, {}},
    };
    for (const Case& c : cases) {
        TWinPaintBox32 box;
        box.SetBounds(7, 7, 100, 80);
        box.InvalidateScreenRect(c.invalidated);
        EXPECT_EQ(box.InvalidScreenRect(), c.area) << c.invalidated.Left << "," << c.invalidated.Right;
    }

    TWinPaintBox32 box;
    box.SetBounds(0, 0, 100, 80);
    box.InvalidateScreenRect(Rect(1, 2, 3, 4));
    box.InvalidateScreenRect(Rect(50, 60, 70, 70));
    EXPECT_EQ(box.InvalidScreenRect(), Rect(1, 2, 70, 70));
    box.ValidateScreen();
    EXPECT_EQ(box.InvalidScreenRect(), TRect{});
    box.ValidateBuffer();
    box.InvalidateParts(true, false);
    EXPECT_EQ(box.InvalidScreenRect(), Rect(0, 0, 100, 80));
    EXPECT_TRUE(box.BufferValid());
    box.ValidateScreen();
    box.InvalidateParts(false, true);
    EXPECT_EQ(box.InvalidScreenRect(), TRect{});
    EXPECT_FALSE(box.BufferValid());
    EXPECT_EQ(box.DirtyRect(), Rect(0, 0, 100, 80));
}
