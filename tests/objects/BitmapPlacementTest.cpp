// Where bitmap items put their picture: the placement rule, the fitting of the prepared
// bitmap, and whether the player must keep what lies below.
#include "PictureTestSupport.h"

namespace {

TRect Place(int w, int h, const TDoubleRect& rel, bool keep, bool stretch, uint8_t align, const TRect& area) {
    TRect r;
    CalcTargetRect(w, h, rel, r, keep, stretch, align, area);
    return r;
}

constexpr TDoubleRect kWhole{0, 0, 1, 1};
const TRect kArea{0, 0, 1000, 1000};

TEST(BitmapPlacement, TheSizeRules) {
    // Stretched with its proportions, centred.
    EXPECT_EQ(Place(400, 300, kWhole, true, true, baCenter, kArea), (TRect{0, 125, 1000, 875}));
    // Natural size, bottom right.
    EXPECT_EQ(Place(400, 300, kWhole, true, false, baBottomRight, kArea), (TRect{600, 700, 1000, 1000}));
    // Stretched without its proportions: exactly the target.
    EXPECT_EQ(Place(400, 300, {0.1, 0.2, 0.7, 0.5}, false, true, baCenter, kArea), (TRect{100, 200, 700, 500}));
    // An inverted rectangle is taken in its normal form.
    EXPECT_EQ(Place(400, 300, {0.7, 0.5, 0.1, 0.2}, false, true, baCenter, kArea), (TRect{100, 200, 700, 500}));
    // The area's offset carries over.
    EXPECT_EQ(Place(400, 300, kWhole, true, true, baTopLeft, TRect{10, 20, 1010, 1020}),
              (TRect{10, 20, 1010, 770}));
}

TEST(BitmapPlacement, EveryAlignment) {
    // A 400 x 300 picture at its natural size in the target (100, 200, 900, 800).
    const TDoubleRect rel{0.1, 0.2, 0.9, 0.8};
    const struct {
        uint8_t Align;
        int Left, Top;
    } cases[] = {
        {baCenter, 300, 350},   {baTopLeft, 100, 200}, {baTopRight, 500, 200}, {baBottomLeft, 100, 500},
        {baBottomRight, 500, 500}, {baTop, 300, 200},  {baBottom, 300, 500},   {baLeft, 100, 350},
        {baRight, 500, 350},
        // Anything else stays where the size rule put it: the origin for the natural size.
        {9, 0, 0},              {255, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Align));
        EXPECT_EQ(Place(400, 300, rel, true, false, c.Align, kArea), (TRect{c.Left, c.Top, c.Left + 400, c.Top + 300}));
    }
    // A fitted picture with an unknown alignment stays at the target's corner.
    EXPECT_EQ(Place(400, 300, rel, true, true, 9, kArea), (TRect{100, 200, 900, 800}));
    // Halves of negative differences are cut toward zero: a picture 101 wider than
    // its target starts 50 to the left, not 51.
    EXPECT_EQ(Place(301, 101, {0, 0, 0.2, 0}, true, false, baCenter, kArea).Left, -50);
}

TEST(BitmapPlacement, TinyTargetsKeepAtLeastOnePixel) {
    EXPECT_EQ(Place(4000, 10, kWhole, true, true, baTopLeft, TRect{0, 0, 100, 100}), (TRect{0, 0, 100, 1}));
}

class BitmapFitTest : public ::testing::Test {
protected:
    void SetUp() override { PictureTestPlugins(); }
    static std::unique_ptr<TBitmap32> Picture(int w, int h, TColor32 c) {
        auto b = std::make_unique<TBitmap32>(w, h);
        b->Clear(c);
        return b;
    }
    TPicSlideShowObject item;
};

TEST_F(BitmapFitTest, FillBackgroundCoversTheAreaWithBands) {
    const TColor32 red = Color32(255, 0, 0), bg = Color32(0, 0, 200);
    item.BackgroundColor = bg;
    item.RelativeRect = {0.2, 0.2, 0.8, 0.6};  // target (20, 20, 80, 60): the picture is 60 x 30 at (20, 25)
    item.CreatePlayHelper();
    auto bitmap = Picture(40, 20, red);
    ASSERT_TRUE(item.FitBitmapToRect(TRect{0, 0, 100, 100}, sfNearest, false, bitmap));
    ASSERT_EQ(bitmap->Width(), 100);
    ASSERT_EQ(bitmap->Height(), 100);
    // The bitmap now stands for the whole area.
    EXPECT_EQ(item.PlayHelper->Rect, (TDoubleRect{0, 0, 1, 1}));
    EXPECT_EQ(item.GetCurrentRect(), (TDoubleRect{0, 0, 1, 1}));
    const struct {
        int X, Y;
        TColor32 Colour;
    } probes[] = {
        {50, 0, bg},  {50, 24, bg}, {50, 25, red}, {50, 54, red}, {50, 55, bg}, {50, 99, bg},
        {19, 30, bg}, {20, 30, red}, {79, 30, red}, {80, 30, bg}, {0, 40, bg},  {99, 40, bg},
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(std::to_string(p.X) + "," + std::to_string(p.Y));
        EXPECT_EQ(bitmap->Pixel(p.X, p.Y), p.Colour);
    }
}

TEST_F(BitmapFitTest, WithoutFillOrWithForceTheBitmapTakesThePlacedSize) {
    auto bitmap = Picture(40, 20, clWhite32);
    item.FillBackground = false;
    ASSERT_TRUE(item.FitBitmapToRect(TRect{0, 0, 100, 100}, sfLinear, false, bitmap));
    EXPECT_EQ(bitmap->Width(), 100);
    EXPECT_EQ(bitmap->Height(), 50);
    // Already the placed size and nothing to fill: left as it is.
    TBitmap32* same = bitmap.get();
    ASSERT_TRUE(item.FitBitmapToRect(TRect{0, 0, 100, 100}, sfLinear, false, bitmap));
    EXPECT_EQ(bitmap.get(), same);
    // Force keeps the placed size even with the fill on; the play helper is untouched.
    item.FillBackground = true;
    auto forced = Picture(40, 20, clWhite32);
    ASSERT_TRUE(item.FitBitmapToRect(TRect{0, 0, 100, 100}, sfMitchell, true, forced));
    EXPECT_EQ(forced->Width(), 100);
    EXPECT_EQ(forced->Height(), 50);
    EXPECT_EQ(forced->StretchFilter, sfMitchell);
    EXPECT_EQ(item.PlayHelper, nullptr);
}

TEST_F(BitmapFitTest, DrawModeFollowsTheBlendMode) {
    const struct {
        uint8_t Blend;
        TDrawMode Mode;
    } cases[] = {{bmOpaque, dmOpaque}, {bmAlpha, dmBlend}, {bmAdd, dmCustom},    {bmSubtract, dmCustom},
                 {bmMultiply, dmCustom}, {bmDarken, dmCustom}, {bmLighten, dmCustom}, {7, dmOpaque}, {200, dmOpaque}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Blend));
        item.BlendMode = c.Blend;
        item.FillBackground = false;
        auto bitmap = Picture(10, 10, clWhite32);
        ASSERT_TRUE(item.FitBitmapToRect(TRect{0, 0, 10, 10}, sfNearest, false, bitmap));
        EXPECT_EQ(bitmap->DrawMode, c.Mode);
    }
}

TEST_F(BitmapFitTest, NoBitmapIsALoadFailure) {
    std::unique_ptr<TBitmap32> none;
    EXPECT_FALSE(item.FitBitmapToRect(TRect{0, 0, 10, 10}, sfNearest, false, none));
    EXPECT_EQ(item.LoadFailed, 1);
    item.LoadFailed = 0;
    auto empty = std::make_unique<TBitmap32>();
    EXPECT_FALSE(item.FitBitmapToRect(TRect{0, 0, 10, 10}, sfNearest, false, empty));
    EXPECT_EQ(item.LoadFailed, 1);
    item.LoadFailed = 0;
    std::unique_ptr<TBitmap32> source, target;
    EXPECT_FALSE(item.PictureToBitmap(source, true, target));
    EXPECT_EQ(item.LoadFailed, 1);
}

TEST_F(BitmapFitTest, ConversionMakesOpaquePicturesOpaque) {
    for (int blend : {int(bmOpaque), int(bmAlpha), int(bmAdd), 9}) {
        SCOPED_TRACE(blend);
        item.BlendMode = uint8_t(blend);
        auto source = Picture(4, 4, Color32(10, 20, 30, 0));
        std::unique_ptr<TBitmap32> bitmap;
        ASSERT_TRUE(item.PictureToBitmap(source, false, bitmap));
        ASSERT_NE(source, nullptr);  // kept without FreeSource
        const bool opaque = blend == bmOpaque || blend > bmLighten;
        EXPECT_EQ(AlphaComponent(bitmap->Pixel(1, 1)), opaque ? 255 : 0);
        ASSERT_TRUE(item.PictureToBitmap(source, true, bitmap));
        EXPECT_EQ(source, nullptr);
    }
}

TEST_F(BitmapFitTest, NeedsBackground) {
    const struct {
        const char* Name;
        bool Fill, Keep, Stretch;
        uint8_t Blend;
        TDoubleRect Rel;
        bool Needs;
    } cases[] = {
        {"fill covers all", true, true, true, bmAlpha, {0.2, 0.2, 0.5, 0.5}, false},
        {"whole, stretched, exact", false, false, true, bmOpaque, kWhole, false},
        {"keeps proportions", false, true, true, bmOpaque, kWhole, true},
        {"natural size", false, false, false, bmOpaque, kWhole, true},
        {"alpha", false, false, true, bmAlpha, kWhole, true},
        {"add", false, false, true, bmAdd, kWhole, true},
        {"unknown blend draws opaque", false, false, true, 42, kWhole, false},
        {"left inset", false, false, true, bmOpaque, {0.01, 0, 1, 1}, true},
        {"bottom inset", false, false, true, bmOpaque, {0, 0, 1, 0.99}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        item.FillBackground = c.Fill;
        item.KeepAspectRatio = c.Keep;
        item.Stretch = c.Stretch;
        item.BlendMode = c.Blend;
        item.RelativeRect = c.Rel;
        EXPECT_EQ(item.NeedsBackground(), c.Needs);
    }
}

TEST_F(BitmapFitTest, SetRelativeRectReportsOnlyChanges) {
    TFakeShow show;
    show.Root.Add(&item);
    show.Changes.clear();
    item.SetRelativeRect(kWhole);
    EXPECT_TRUE(show.Changes.empty());
    item.SetRelativeRect({0, 0, 0.5, 1});
    ASSERT_EQ(show.Changes.size(), 1u);
    EXPECT_EQ(show.Changes[0].Flags, ocVisual);
    show.Root.RemoveObject(&item, false);
}

}  // namespace
