#include "objects/ObjectTestSupport.h"
#include "document/SlideShow.h"
#include "document/SlideShowProperties.h"
#include "objects/VisibleSlideShowObject.h"

#include <gtest/gtest.h>

namespace {

// A back buffer whose every pixel is different.
TBitmap32 Pattern(int w, int h) {
    TBitmap32 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(uint8_t(x * 5), uint8_t(y * 7), uint8_t(x ^ y), 255));
    return b;
}

}  // namespace

TEST(VisibleObject, UpdateRectangleGrowsOnlyWithRealRectangles) {
    struct Case {
        const char* name;
        std::vector<TRect> added;
        TRect expected;
    } cases[] = {
        {"one", {{100, 50, 200, 80}}, {100, 50, 200, 80}},
        {"union", {{100, 50, 200, 80}, {10, 60, 120, 300}}, {10, 50, 200, 300}},
        {"inside", {{0, 0, 50, 50}, {10, 10, 20, 20}}, {0, 0, 50, 50}},
        // Empty rectangles change nothing, wherever their corners lie.
        {"empty after", {{100, 50, 200, 80}, {0, 0, 0, 0}, {900, 900, 900, 950}}, {100, 50, 200, 80}},
        {"empty first", {{-500, -500, -500, -500}, {100, 50, 200, 80}}, {100, 50, 200, 80}},
        {"inverted", {{100, 50, 200, 80}, {300, 300, 250, 350}}, {100, 50, 200, 80}},
        {"only empty", {{5, 5, 5, 9}}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TVisibleSlideShowObject item;
        item.AddUpdateRect({1, 2, 3, 4});
        item.ClearUpdateRect();
        for (const TRect& r : c.added) item.AddUpdateRect(r);
        EXPECT_EQ(item.GetUpdateRect(), c.expected) << c.name;
    }
}

TEST(VisibleObject, SavedBackgroundRestoresTheSamePixels) {
    struct Case {
        const char* name;
        TRect saved;
        TRect background;  // where the pixels were taken: widened by one, clipped
    } cases[] = {
        {"inside", {10, 8, 30, 20}, {9, 7, 31, 21}},
        {"touching the edges", {0, 0, 64, 48}, {0, 0, 64, 48}},
        {"partly outside", {-20, 40, 10, 90}, {0, 39, 11, 48}},
        {"right and bottom", {50, 30, 200, 100}, {49, 29, 64, 48}},
        {"completely outside", {100, 100, 120, 130}, {64, 48, 64, 48}},
        {"left of it", {-50, -50, -10, -10}, {0, 0, 0, 0}},
        {"extreme corners", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 64, 48}},
    };
    for (const Case& c : cases) {
        const TBitmap32 original = Pattern(64, 48);
        TBitmap32 buffer = original;
        TFakeDrawingPlayer player;
        player.BackBuffer = &buffer;
        TVisibleSlideShowObject item;
        item.SaveBackground(c.saved, &player);
        ASSERT_TRUE(item.Background) << c.name;
        EXPECT_EQ(item.BackgroundPos, c.background.TopLeft()) << c.name;
        EXPECT_EQ(item.Background->Width(), c.background.Width()) << c.name;
        EXPECT_EQ(item.Background->Height(), c.background.Height()) << c.name;

        buffer.Clear(Color32(255, 0, 255));  // the item draws over everything
        item.AddUpdateRect({0, 0, 5, 5});
        item.RestoreBackground(&player);
        EXPECT_EQ(item.GetUpdateRect(), c.background.IsEmpty() ? TRect{} : c.background) << c.name;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= c.background.Left && x < c.background.Right && y >= c.background.Top &&
                                    y < c.background.Bottom;
                ASSERT_EQ(buffer.Pixel(x, y), inside ? original.Pixel(x, y) : Color32(255, 0, 255))
                    << c.name << " at " << x << "," << y;
            }
    }
}

TEST(VisibleObject, BackgroundRestoresOpaquelyAndOnlyWithABuffer) {
    TBitmap32 buffer(8, 8);
    buffer.Clear(Color32(10, 20, 30, 0));  // transparent pixels still come back as they were
    TFakeDrawingPlayer player;
    player.BackBuffer = &buffer;
    TVisibleSlideShowObject item;
    item.SaveBackgroundBounds(2, 2, 3, 3, &player);
    EXPECT_EQ(item.BackgroundPos, (TPoint{1, 1}));
    buffer.Clear(clWhite32);
    item.RestoreBackground(&player);
    EXPECT_EQ(buffer.Pixel(1, 1), Color32(10, 20, 30, 0));
    EXPECT_EQ(buffer.Pixel(5, 5), Color32(10, 20, 30, 0));
    EXPECT_EQ(buffer.Pixel(6, 6), clWhite32);

    // Without a back buffer nothing is taken and nothing drawn.
    TFakeDrawingPlayer none;
    TVisibleSlideShowObject other;
    other.SaveBackground({1, 1, 4, 4}, &none);
    ASSERT_TRUE(other.Background);
    EXPECT_TRUE(other.Background->Empty());
    other.RestoreBackground(&none);
    EXPECT_TRUE(other.GetUpdateRect().IsEmpty());
    other.SaveBackground({1, 1, 4, 4}, nullptr);
    other.RestoreBackground(nullptr);
    EXPECT_TRUE(other.GetUpdateRect().IsEmpty());

    // No saved background: restoring only clears the update rectangle.
    TVisibleSlideShowObject fresh;
    fresh.AddUpdateRect({0, 0, 3, 3});
    fresh.RestoreBackground(&player);
    EXPECT_TRUE(fresh.GetUpdateRect().IsEmpty());
}

TEST(VisibleObject, CropKeepsThePixelsInsideTheRectangle) {
    const TBitmap32 original = Pattern(64, 48);
    TBitmap32 buffer = original;
    TFakeDrawingPlayer player;
    player.BackBuffer = &buffer;
    TVisibleSlideShowObject item;
    item.SaveBackground({11, 11, 41, 31}, &player);  // taken from (10, 10, 42, 32)
    item.CropBackground({20, 0, 100, 15});
    ASSERT_TRUE(item.Background);
    EXPECT_EQ(item.BackgroundPos, (TPoint{20, 10}));
    ASSERT_EQ(item.Background->Width(), 22);
    ASSERT_EQ(item.Background->Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 22; ++x) ASSERT_EQ(item.Background->Pixel(x, y), original.Pixel(20 + x, 10 + y));

    item.CropBackground({0, 0, 20, 10});  // touches only at the corner
    EXPECT_FALSE(item.Background);
    item.CropBackground({0, 0, 10, 10});  // nothing left to crop
    EXPECT_FALSE(item.Background);
}

TEST(VisibleObject, ResetAndUnprepareDropTheBackground) {
    TBitmap32 buffer = Pattern(16, 16);
    TFakeDrawingPlayer player;
    player.BackBuffer = &buffer;
    TVisibleSlideShowObject item;
    using Drop = void (*)(TVisibleSlideShowObject&);
    for (Drop drop : {Drop([](TVisibleSlideShowObject& i) { i.Reset(); }),
                      Drop([](TVisibleSlideShowObject& i) { i.Unprepare(); })}) {
        item.Start();
        item.SaveBackground({2, 2, 6, 6}, &player);
        drop(item);
        EXPECT_FALSE(item.Background);
        EXPECT_EQ(item.GetState(), psIdle);
    }
}

TEST(PreviewEditorObject, HelperAndChangeHandlerLiveUntilUnprepare) {
    TPreviewEditorSlideShowObject item;
    EXPECT_FALSE(item.EditorHelper);
    TPreviewEditorMouseInfo info;
    EXPECT_FALSE(item.EditorMouseDown(info));
    EXPECT_TRUE(item.EditorHelper);

    std::vector<IPreviewEditable*> senders;
    item.SetOnEditorChange([&](IPreviewEditable* sender) { senders.push_back(sender); });
    item.DoEditorChange();
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], static_cast<IPreviewEditable*>(&item));

    // Unprepare frees the helper with its handler; the next call starts afresh.
    item.Unprepare();
    EXPECT_FALSE(item.EditorHelper);
    item.DoEditorChange();
    EXPECT_EQ(senders.size(), 1u);
    EXPECT_FALSE(item.GetOnEditorChange());
}

TEST(ShowSettings, ItemsReadTheirShowsGroupOrTheDefault) {
    const TSlideShowProperties& defaults = ShowPropertiesOf(nullptr);
    EXPECT_EQ(defaults.DefaultDuration, 5000);
    EXPECT_EQ(&ShowPropertiesOf(nullptr), &defaults);

    // A host that keeps no group sends its items to the default.
    TFakeShow fake;
    EXPECT_EQ(&ShowPropertiesOf(&fake), &defaults);

    TSlideShow show;
    ASSERT_TRUE(show.SlideShowProperties);
    show.SlideShowProperties->DefaultDuration = 1234;
    EXPECT_EQ(&ShowPropertiesOf(&show), show.SlideShowProperties);
    EXPECT_EQ(ShowPropertiesOf(&show).DefaultDuration, 1234);
    EXPECT_EQ(defaults.DefaultDuration, 5000);
}
