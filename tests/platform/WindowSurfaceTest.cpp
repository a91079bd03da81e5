#include "platform/WindowSurface.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// A width x height image with a row stride of stride pixels; each pixel names its place.
// Alpha varies too, so a copy that keeps it shows.
std::vector<uint32_t> Pattern(int32_t width, int32_t height, int32_t stride) {
    std::vector<uint32_t> p(size_t(stride) * size_t(height), 0xDEADBEEF);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) p[size_t(y) * stride + x] = uint32_t(x * 0x10000 + y * 0x100 + (x + y) % 7) | 0x40000000u;
    return p;
}

}  // namespace

TEST(WindowSurface, PresentedPartIsCutToImageAndClient) {
    struct Case {
        TRect rect;
        TPoint origin;
        TRect part;
    } cases[] = {
        {{0, 0, 10, 10}, {0, 0}, {0, 0, 10, 10}},
        {{2, 3, 5, 7}, {16, 16}, {18, 19, 21, 23}},
        {{-5, -5, 50, 50}, {0, 0}, {0, 0, 20, 10}},       // cut to the 20 x 10 image
        {{0, 0, 20, 10}, {90, 45}, {90, 45, 100, 50}},     // cut to the 100 x 50 client
        {{0, 0, 20, 10}, {-15, -8}, {0, 0, 5, 2}},
        {{5, 5, 5, 9}, {0, 0}, {}},                        // empty
        {{8, 2, 3, 6}, {0, 0}, {}},                        // inverted
        {{0, 0, 20, 10}, {100, 0}, {}},                    // right of the client
        {{0, 0, 20, 10}, {INT_MIN, INT_MIN}, {}},          // no wrap-around far out
        {{0, 0, 20, 10}, {INT_MAX, 0}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PresentedPart(c.rect, 20, 10, c.origin, 100, 50), c.part)
            << c.rect.Left << "," << c.rect.Top << "," << c.rect.Right << "," << c.rect.Bottom << " at "
            << c.origin.X << "," << c.origin.Y;
}

TEST(WindowSurface, OffscreenCopiesExactlyThePresentedRectanglesOpaque) {
    TOffscreenWindowSurface surface(40, 30);
    ASSERT_EQ(surface.Image().Width, 40);
    ASSERT_EQ(surface.Image().Height, 30);
    for (uint32_t p : surface.Image().Pixels) ASSERT_EQ(p, 0xFF000000u);

    const int32_t width = 12, height = 8, stride = 15;
    const std::vector<uint32_t> pixels = Pattern(width, height, stride);
    const TPoint origin{5, 4};
    const TRect rects[] = {{1, 1, 4, 3}, {6, 2, 6, 8}, {10, 5, 20, 20}, {0, 7, 2, 8}};
    surface.Present(pixels.data(), stride, width, height, origin, rects, 4);

    const std::vector<TRect> expected = {{6, 5, 9, 7}, {15, 9, 17, 12}, {5, 11, 7, 12}};
    EXPECT_EQ(surface.Presented(), expected);
    EXPECT_EQ(surface.PresentCount(), 1);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            bool inside = false;
            for (const TRect& r : expected) inside |= x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
            const uint32_t want = inside ? pixels[size_t(y - origin.Y) * stride + (x - origin.X)] | 0xFF000000u : 0xFF000000u;
            ASSERT_EQ(surface.Image().Pixel(x, y), want) << x << "," << y;
        }

    EXPECT_EQ(surface.TakePresented(), expected);
    EXPECT_TRUE(surface.Presented().empty());
    // Nothing to show is still a presentation, and records nothing.
    surface.Present(pixels.data(), stride, width, height, origin, nullptr, 0);
    EXPECT_EQ(surface.PresentCount(), 2);
    EXPECT_TRUE(surface.Presented().empty());

    surface.SetClientSize(8, 6);
    EXPECT_EQ(surface.Image(), TImage32(8, 6, 0xFF000000u));
}
