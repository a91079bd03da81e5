#include "objects/PreviewEditorHelpers.h"
#include "document/TimeToValue.h"
#include "foundation/Raster.h"
#include "graphics/Bitmap32.h"

#include <gtest/gtest.h>

namespace {

TPreviewEditorMouseInfo At(int32_t x, int32_t y, TShiftState shift = ssLeft) {
    TPreviewEditorMouseInfo info;
    info.X = x;
    info.Y = y;
    info.Shift = shift;
    return info;
}

// Guide lines at every quarter, snapping within half the spacing.
TRaster Quarters() {
    TRaster r;
    r.Enabled = true;
    r.Tolerance = 0.5L;
    r.MinX = r.MinY = 0;
    r.MaxX = r.MaxY = 1;
    for (long double v : {0.0L, 0.25L, 0.5L, 0.75L, 1.0L}) {
        r.VerticalLines.push_back(v);
        r.HorizontalLines.push_back(v);
    }
    return r;
}

// A path in millionths of the area with keys at the given times and positions.
std::unique_ptr<TTimeToVector2DValue> PathOf(std::initializer_list<std::tuple<int32_t, int32_t, int32_t>> keys) {
    auto path = std::make_unique<TTimeToVector2DValue>();
    for (auto [t, x, y] : keys) {
        auto k = std::make_unique<TTimeVector2DValue>();
        k->Time = t;
        k->Value = Vector2D(x, y);
        path->AddKey(std::move(k));
    }
    return path;
}

}  // namespace

TEST(EditorHelper, HitTestOnTheHandlesAndInside) {
    TMoveRectPreviewEditorHelper h;
    const TRect r{100, 100, 200, 200};
    struct Case {
        int32_t x, y;
        uint8_t code;
    } cases[] = {
        {102, 150, hcLeft},  {104, 150, hcMove},  {103, 150, hcMove},  {96, 150, hcNone},   {97, 150, hcLeft},
        {198, 150, hcRight}, {202, 150, hcRight}, {203, 150, hcNone},  {150, 99, hcTop},    {150, 201, hcBottom},
        {99, 99, hcTopLeft}, {201, 99, hcTopRight}, {99, 201, hcBottomLeft}, {201, 201, hcBottomRight},
        {150, 150, hcMove},  {150, 94, hcNone},   {150, 206, hcNone},
    };
    for (const Case& c : cases) EXPECT_EQ(h.HitTest(At(c.x, c.y), r), c.code) << c.x << "," << c.y;

    // A rectangle at most a handle high: its top band is also its bottom band, and the
    // bottom wins, also over the corners.
    const TRect flat{100, 100, 200, 104};
    EXPECT_EQ(h.HitTest(At(150, 101), flat), hcBottom);
    EXPECT_EQ(h.HitTest(At(99, 101), flat), hcBottom);
    EXPECT_EQ(h.HitTest(At(201, 103), flat), hcBottom);
}

TEST(EditorHelper, CursorsFollowTheHitCodes) {
    TMoveRectPreviewEditorHelper h;
    h.Rect = {100, 100, 200, 200};
    const std::pair<TPoint, TCursor> table[] = {
        {{150, 150}, crSizeAll},  {{101, 150}, crSizeWE},   {{150, 199}, crSizeNS},
        {{99, 99}, crSizeNWSE},   {{99, 201}, crSizeNESW},  {{0, 0}, crDefault},
    };
    for (auto [p, cursor] : table) EXPECT_EQ(h.GetCursor(At(p.X, p.Y)), cursor) << p.X << "," << p.Y;
}

TEST(EditorHelper, DragsMoveAndSizeTheRectangle) {
    struct Case {
        const char* name;
        TPoint press;
        TPoint to;
        TRect expected;
    } cases[] = {
        {"move", {150, 150}, {170, 140}, {120, 90, 220, 190}},
        {"left edge", {101, 150}, {80, 170}, {80, 100, 200, 200}},
        {"left edge over the right one", {101, 150}, {260, 150}, {200, 100, 260, 200}},
        {"right edge", {199, 150}, {230, 10}, {100, 100, 230, 200}},
        {"top edge over the bottom one", {150, 101}, {150, 250}, {100, 200, 200, 250}},
        {"bottom-right corner", {200, 200}, {240, 260}, {100, 100, 240, 260}},
        {"top-left corner", {99, 99}, {50, 60}, {50, 60, 200, 200}},
        {"top-right corner", {201, 99}, {90, 230}, {90, 200, 100, 230}},
        {"bottom-left corner", {99, 201}, {120, 120}, {120, 100, 200, 120}},
    };
    for (const Case& c : cases) {
        TMoveRectPreviewEditorHelper h;
        h.Rect = {100, 100, 200, 200};
        EXPECT_FALSE(h.MouseDown(At(c.press.X, c.press.Y)));
        EXPECT_TRUE(h.Dragging) << c.name;
        // The first move at the press position only says that a drag began.
        EXPECT_TRUE(h.MouseMove(At(c.press.X, c.press.Y)));
        EXPECT_EQ(h.Rect, (TRect{100, 100, 200, 200})) << c.name;
        EXPECT_TRUE(h.MouseMove(At(c.to.X, c.to.Y)));
        EXPECT_EQ(h.Rect, c.expected) << c.name;
        EXPECT_FALSE(h.MouseUp(At(c.to.X, c.to.Y)));
        EXPECT_FALSE(h.Dragging);
        EXPECT_FALSE(h.MouseMove(At(0, 0)));
        EXPECT_EQ(h.Rect, c.expected) << c.name;
    }
}

TEST(EditorHelper, PressesOutsideOrDuringADragStartNothing) {
    TMoveRectPreviewEditorHelper h;
    h.Rect = {100, 100, 200, 200};
    h.MouseDown(At(10, 10));
    EXPECT_FALSE(h.Dragging);
    EXPECT_FALSE(h.MouseMove(At(20, 20)));
    EXPECT_EQ(h.Rect, (TRect{100, 100, 200, 200}));

    h.MouseDown(At(150, 150));
    h.MouseMove(At(160, 150));
    h.MouseDown(At(101, 150));  // a second press while dragging is ignored
    EXPECT_EQ(h.HitCode, hcMove);
    h.MouseMove(At(170, 150));
    EXPECT_EQ(h.Rect, (TRect{120, 100, 220, 200}));

    // Extreme positions saturate instead of wrapping.
    h.MouseMove(At(INT32_MAX, INT32_MIN));
    EXPECT_EQ(h.Rect.Right, INT32_MAX);
    EXPECT_EQ(h.Rect.Top, INT32_MIN);
}

TEST(EditorHelper, RasterSnapsUnlessCtrlIsHeld) {
    const TRaster raster = Quarters();
    struct Case {
        const char* name;
        TPoint press, to;
        TShiftState shift;
        TRect expected;
    } cases[] = {
        // The right edge at 245 of 1000 lies near the line at 250.
        {"edge", {199, 150}, {245, 150}, ssLeft, {100, 100, 250, 200}},
        {"edge with Ctrl", {199, 150}, {245, 150}, ssLeft | ssCtrl, {100, 100, 245, 200}},
        // A move snaps the corner and keeps the size; Top 100 is near no line.
        {"move", {150, 150}, {290, 150}, ssLeft, {250, 100, 350, 200}},
        {"move with Ctrl", {150, 150}, {290, 150}, ssLeft | ssCtrl, {240, 100, 340, 200}},
    };
    for (const Case& c : cases) {
        TMoveRectPreviewEditorHelper h;
        h.Rect = {100, 100, 200, 200};
        TPreviewEditorMouseInfo i = At(c.press.X, c.press.Y, c.shift);
        i.Raster = &raster;
        i.AreaRect = {0, 0, 1000, 1000};
        h.MouseDown(i);
        i.X = c.to.X;
        i.Y = c.to.Y;
        EXPECT_TRUE(h.MouseMove(i));
        EXPECT_EQ(h.Rect, c.expected) << c.name;
    }
}

TEST(PathEditorHelper, KeysArePickedTopmostFirst) {
    auto path = PathOf({{0, 500000, 500000}, {1000, 100000, 100000}, {2000, 110000, 110000}});
    TBitmap32 area(400, 300);
    TMoveableRectPreviewEditorHelper h;
    h.SetPath(path.get());
    struct Case {
        int32_t x, y;
        int key;
    } cases[] = {
        {200, 150, 0}, {194, 144, 0}, {205, 155, 0}, {206, 150, -1},  // the box is 12 pixels wide
        {40, 30, 2},   // keys 1 (40, 30) and 2 (44, 33) overlap: the later one wins
        {35, 25, 1},   {50, 39, -1},  {100, 100, -1},
    };
    for (const Case& c : cases) {
        TPreviewEditorMouseInfo info = At(c.x, c.y);
        info.Bitmap = &area;
        EXPECT_EQ(h.FindPathKey(info), c.key) << c.x << "," << c.y;
        EXPECT_EQ(h.GetCursor(info), c.key >= 0 ? crSizeAll : crDefault);
    }
    EXPECT_EQ(h.FindPathKey(At(200, 150)), -1);  // no editor area
}

TEST(PathEditorHelper, KeysAreSelectedAndDragged) {
    auto path = PathOf({{0, 500000, 500000}, {1000, 100000, 100000}, {3000, 900000, 900000}});
    TBitmap32 area(400, 300);
    TMoveableRectPreviewEditorHelper h;
    h.SetPath(path.get());
    h.Rect = {150, 120, 250, 180};
    auto info = [&](int32_t x, int32_t y, TShiftState s = ssLeft) {
        TPreviewEditorMouseInfo i = At(x, y, s);
        i.Bitmap = &area;
        return i;
    };

    // Key 0 is selected but not dragged: the press reaches the rectangle instead.
    EXPECT_TRUE(h.MouseDown(info(200, 150)));
    EXPECT_EQ(h.SelectedKey, 0);
    EXPECT_EQ(h.HotKey, -1);
    EXPECT_TRUE(h.Dragging);
    h.MouseUp(info(200, 150));
    // Pressing it again changes nothing in the selection; the rectangle's answer counts.
    EXPECT_FALSE(h.MouseDown(info(200, 150)));
    h.MouseUp(info(200, 150));

    // Key 2 is dragged with the left button: position in path units, cut toward zero.
    EXPECT_TRUE(h.MouseDown(info(360, 270)));
    EXPECT_EQ(h.SelectedKey, 2);
    EXPECT_EQ(h.HotKey, 2);
    EXPECT_TRUE(h.MouseMove(info(360, 270)));  // first move at the press
    EXPECT_EQ(path->VecKey(2)->Value, Vector2D(900000, 900000));
    EXPECT_TRUE(h.MouseMove(info(300, 100)));
    EXPECT_EQ(path->VecKey(2)->Value, Vector2D(750000, 333333));
    // Without the left button the key stays and the rectangle is asked.
    EXPECT_FALSE(h.MouseMove(info(10, 10, 0)));
    EXPECT_EQ(h.HotKey, -1);
    EXPECT_EQ(path->VecKey(2)->Value, Vector2D(750000, 333333));

    // The right button selects without dragging the rectangle away; outside any key the
    // selection is dropped.
    EXPECT_TRUE(h.MouseDown(info(40, 30, ssRight)));
    EXPECT_EQ(h.SelectedKey, 1);
    h.MouseUp(info(40, 30));
    EXPECT_EQ(h.HotKey, -1);
    EXPECT_TRUE(h.MouseDown(info(5, 5)));
    EXPECT_EQ(h.SelectedKey, -1);
}

TEST(PathEditorHelper, DraggedKeysSnapAndNeedAnArea) {
    const TRaster raster = Quarters();
    auto path = PathOf({{0, 500000, 500000}, {1000, 100000, 100000}});
    TBitmap32 area(512, 512);
    TMoveableRectPreviewEditorHelper h;
    h.SetPath(path.get());
    TPreviewEditorMouseInfo i = At(51, 51);
    i.Bitmap = &area;
    i.Raster = &raster;
    ASSERT_TRUE(h.MouseDown(i));
    // 120 and 272 of 512 are 0.234375 and 0.53125: near the lines at 0.25 and 0.5.
    i.X = 120;
    i.Y = 272;
    EXPECT_TRUE(h.MouseMove(i));
    EXPECT_EQ(path->VecKey(1)->Value, Vector2D(250000, 500000));
    i.Shift = ssLeft | ssCtrl;
    EXPECT_TRUE(h.MouseMove(i));
    EXPECT_EQ(path->VecKey(1)->Value, Vector2D(234375, 531250));

    // An editor area without width moves no key.
    TBitmap32 none(0, 400);
    i.Bitmap = &none;
    i.X = 1;
    EXPECT_FALSE(h.MouseMove(i));
    i.Bitmap = nullptr;
    EXPECT_FALSE(h.MouseMove(i));
    EXPECT_EQ(path->VecKey(1)->Value, Vector2D(234375, 531250));
}

TEST(PathEditorHelper, SelectedKeyEdits) {
    auto path = PathOf({{0, 1, 1}, {1000, 2, 2}, {2000, 3, 3}, {3000, 4, 4}});
    TMoveableRectPreviewEditorHelper h;
    h.SetPath(path.get());

    // A time another key has is refused silently.
    h.SelectedKey = 1;
    h.SetSelectedKeyTime(3000);
    EXPECT_EQ(path->Key(1)->Time, 1000);
    EXPECT_EQ(h.SelectedKey, 1);
    // Otherwise the key moves in time and the selection follows it.
    h.SetSelectedKeyTime(2500);
    EXPECT_EQ(h.SelectedKey, 2);
    EXPECT_EQ(path->Key(2)->Time, 2500);
    EXPECT_EQ(path->VecKey(2)->Value, Vector2D(2, 2));

    h.DeleteSelectedKey();
    EXPECT_EQ(path->KeyCount(), 3);
    EXPECT_EQ(h.SelectedKey, -1);
    // Deleting the second-to-last key leaves no path at all.
    h.SelectedKey = 0;
    h.DeleteSelectedKey();
    EXPECT_EQ(path->KeyCount(), 2);
    h.SelectedKey = 1;
    h.DeleteSelectedKey();
    EXPECT_EQ(path->KeyCount(), 0);
}

TEST(PathEditorHelper, StaleOrMissingKeysAreNeverTouched) {
    auto path = PathOf({{0, 1, 1}, {1000, 2, 2}});
    TMoveableRectPreviewEditorHelper h;
    // Without a path, and with indexes the path does not have, nothing happens.
    for (int32_t index : {-1, 2, 7, INT32_MAX}) {
        h.SetPath(index == -1 ? nullptr : path.get());
        h.SelectedKey = index;
        h.SetSelectedKeyTime(500);
        h.SetSelectedKeyLinear(true);
        h.DeleteSelectedKey();
        EXPECT_EQ(path->KeyCount(), 2);
        EXPECT_EQ(path->Key(0)->Time, 0);
        EXPECT_EQ(path->Key(1)->Time, 1000);
        EXPECT_FALSE(path->Key(1)->Linear);
    }
    // A dragged key that is gone hands the move to the rectangle.
    TBitmap32 area(100, 100);
    h.SetPath(path.get());
    h.HotKey = 5;
    TPreviewEditorMouseInfo i = At(50, 50);
    i.Bitmap = &area;
    EXPECT_FALSE(h.MouseMove(i));
    EXPECT_EQ(h.HotKey, -1);

    // Re-pointing the helper drops the selection and the dragged key.
    h.SelectedKey = 1;
    h.HotKey = 1;
    auto other = PathOf({{0, 5, 5}});
    h.SetPath(other.get());
    EXPECT_EQ(h.GetPath(), other.get());
    EXPECT_EQ(h.SelectedKey, -1);
    EXPECT_EQ(h.HotKey, -1);
}

TEST(MultiEditorHelper, TheTopmostRectangleTakesTheMouse) {
    TMultiMoveRectPreviewEditorHelper m(3);
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.Item(3), nullptr);
    EXPECT_EQ(m.Item(-1), nullptr);
    m.Item(0)->Rect = {0, 0, 100, 100};
    m.Item(1)->Rect = {50, 50, 150, 150};
    m.Item(2)->Rect = {300, 300, 310, 310};

    // Overlap: the later item is on top and alone starts dragging.
    EXPECT_TRUE(m.MouseDown(At(75, 75)));
    EXPECT_TRUE(m.Item(1)->Dragging);
    EXPECT_FALSE(m.Item(0)->Dragging);
    EXPECT_TRUE(m.MouseMove(At(85, 75)));
    EXPECT_EQ(m.Item(1)->Rect, (TRect{60, 50, 160, 150}));
    EXPECT_EQ(m.Item(0)->Rect, (TRect{0, 0, 100, 100}));
    EXPECT_FALSE(m.MouseUp(At(85, 75)));
    EXPECT_FALSE(m.Item(1)->Dragging);

    EXPECT_FALSE(m.MouseDown(At(200, 200)));
    EXPECT_EQ(m.GetCursor(At(200, 200)), crDefault);
    EXPECT_EQ(m.GetCursor(At(305, 299)), crSizeNS);

    int calls = 0;
    m.SetOnChange([&](IPreviewEditable*) { ++calls; });
    ASSERT_TRUE(m.GetOnChange());
    for (int i = 0; i < m.Count(); ++i) {
        ASSERT_TRUE(m.Item(i)->GetOnChange());
        m.Item(i)->GetOnChange()(nullptr);
    }
    EXPECT_EQ(calls, 3);
}
