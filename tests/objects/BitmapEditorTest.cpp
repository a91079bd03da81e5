// Bitmap items in the preview editor: pressing, moving and sizing with the mouse, the
// first path key following the rectangle, path keys edited and deleted, the overlay
// with its frame, path and labels, and the helper kept right across reads and copies.
#include "PictureTestSupport.h"

#include <cstdlib>
#include <optional>

namespace {

// An item that counts the editor's size notifications.
class TProbePicture : public TExtPicSlideShowObject {
public:
    void EditorSizeChanged(const TRect&) override { ++SizeChanges; }
    int SizeChanges = 0;
};

class BitmapEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        item = new TProbePicture();
        item->RelativeRect = {0.25, 0.25, 0.75, 0.75};  // (50, 25, 150, 75) in the 200 x 100 editor
        show.Root.Add(item);
        show.Changes.clear();
    }
    TPreviewEditorMouseInfo At(int x, int y, TShiftState shift = ssLeft) {
        TPreviewEditorMouseInfo info;
        info.X = x;
        info.Y = y;
        info.Shift = shift;
        info.Bitmap = &editor;
        info.Target = &overlay;
        info.AreaRect = TRect{0, 0, 200, 100};
        return info;
    }
    std::vector<uint16_t> Flags() const {
        std::vector<uint16_t> f;
        for (const auto& c : show.Changes) f.push_back(c.Flags);
        return f;
    }
    TMoveableRectPreviewEditorHelper* Helper() {
        return dynamic_cast<TMoveableRectPreviewEditorHelper*>(item->EditorHelper.get());
    }
    void AddKey(int32_t time, int32_t x, int32_t y) {
        auto k = std::make_unique<TTimeVector2DValue>();
        k->Time = time;
        k->Value = {x, y};
        item->CreateMotionPath()->AddKey(std::move(k));
    }

    TFakeShow show;
    TProbePicture* item = nullptr;
    TBitmap32 editor{200, 100};
    TBitmap32 overlay{200, 100};
};

TEST_F(BitmapEditorTest, PressesOutsideAndInside) {
    EXPECT_EQ(item->GetEditorCursor(At(100, 50)), crDefault);  // no helper rectangle yet
    EXPECT_FALSE(item->EditorMouseDown(At(10, 10)));
    EXPECT_EQ(Helper()->Rect, (TRect{50, 25, 150, 75}));
    EXPECT_TRUE(item->EditorMouseDown(At(100, 50)));
    EXPECT_TRUE(show.Changes.empty());
    EXPECT_EQ(item->RelativeRect, (TDoubleRect{0.25, 0.25, 0.75, 0.75}));
    EXPECT_EQ(item->GetEditorCursor(At(100, 50)), crSizeAll);
    EXPECT_EQ(item->GetEditorRect(At(0, 0)), (TRect{50, 25, 150, 75}));
}

TEST_F(BitmapEditorTest, MovingReportsTheRectangleOnlySizingBoth) {
    ASSERT_TRUE(item->EditorMouseDown(At(100, 50)));
    EXPECT_TRUE(item->EditorMouseMove(At(100, 50)));  // the press point itself: nothing moved
    EXPECT_TRUE(show.Changes.empty());
    EXPECT_TRUE(item->EditorMouseMove(At(110, 60)));
    EXPECT_EQ(Flags(), (std::vector<uint16_t>{0x800}));
    EXPECT_EQ(item->RelativeRect, (TDoubleRect{0.3, 0.35, 0.8, 0.85}));
    EXPECT_EQ(item->SizeChanges, 0);
    item->EditorMouseUp(At(110, 60));
    show.Changes.clear();
    // The right edge.
    ASSERT_TRUE(item->EditorMouseDown(At(159, 60)));
    item->EditorMouseMove(At(159, 60));
    item->EditorMouseMove(At(180, 60));
    EXPECT_EQ(Flags(), (std::vector<uint16_t>{0xC00}));
    EXPECT_EQ(item->SizeChanges, 1);
    EXPECT_EQ(Helper()->Rect, (TRect{60, 35, 180, 85}));
}

TEST_F(BitmapEditorTest, TheFirstPathKeyFollowsTheRectangle) {
    item->CreateMotionPath();
    AddKey(1000, 100000, 200000);
    EXPECT_EQ(item->MotionPath->VecKey(0)->Value, (TVector2D{500000, 500000}));
    ASSERT_TRUE(item->EditorMouseDown(At(100, 50)));
    item->EditorMouseMove(At(100, 50));
    item->EditorMouseMove(At(110, 60));
    // The centre (0.55, 0.6) of the moved rectangle, cut to whole path units.
    EXPECT_NEAR(item->MotionPath->VecKey(0)->Value.X, 550000, 1);
    EXPECT_NEAR(item->MotionPath->VecKey(0)->Value.Y, 600000, 1);
    EXPECT_EQ(item->MotionPath->VecKey(1)->Value, (TVector2D{100000, 200000}));
    // Without the left button held the key stays.
    item->MotionPath->VecKey(0)->Value = {1, 1};
    item->EditorMouseMove(At(120, 60, 0));
    EXPECT_EQ(item->MotionPath->VecKey(0)->Value, (TVector2D{1, 1}));
    // Setting the rectangle moves it too.
    item->SetRelativeRect({0, 0, 0.5, 0.5});
    EXPECT_EQ(item->MotionPath->VecKey(0)->Value, (TVector2D{250000, 250000}));
}

TEST_F(BitmapEditorTest, EditingAndDeletingPathKeys) {
    EXPECT_EQ(item->GetSelectedPathKey(), -1);  // no helper
    item->CreateMotionPath();
    AddKey(1000, 100000, 200000);
    AddKey(2000, 900000, 200000);
    item->CreateEditorHelper();
    EXPECT_EQ(Helper()->GetPath(), item->MotionPath.get());
    // Key 1 is picked by a press on its box: (20, 20) in the editor.
    item->EditorMouseDown(At(20, 20));
    EXPECT_EQ(item->GetSelectedPathKey(), 1);
    // Refused: another key's time.
    item->SetSelectedPathKeyTime(2000);
    EXPECT_EQ(item->MotionPath->Key(1)->Time, 1000);
    item->SetSelectedPathKeyTime(3000);
    EXPECT_EQ(item->MotionPath->Key(2)->Time, 3000);
    EXPECT_EQ(item->GetSelectedPathKey(), 2);
    item->SetSelectedPathKeyLinear(true);
    EXPECT_TRUE(item->MotionPath->Key(2)->Linear);
    item->DeleteSelectedPathKey();
    EXPECT_EQ(item->MotionPath->KeyCount(), 2);
    EXPECT_EQ(item->GetSelectedPathKey(), -1);
    // Deleting the second-to-last key leaves no path at all.
    Helper()->SelectedKey = 1;
    item->DeleteSelectedPathKey();
    EXPECT_EQ(item->MotionPath, nullptr);
    EXPECT_EQ(Helper()->GetPath(), nullptr);
    const std::vector<uint8_t> bytes = ItemDataBytes(*item);
    const Bytes tail = Concat({NoCurve(), RandomTransition(), PictureFields("", 0)});
    EXPECT_TRUE(std::equal(tail.vec().begin(), tail.vec().end(), bytes.end() - std::ptrdiff_t(tail.size())));
    // With no path, the key operations do nothing.
    item->DeleteSelectedPathKey();
    item->SetSelectedPathKeyTime(5);
}

TEST_F(BitmapEditorTest, ReadingAndCopyingRepointTheHelper) {
    item->CreateMotionPath();
    AddKey(1000, 100000, 200000);
    item->CreateEditorHelper();
    Helper()->SelectedKey = 1;
    Helper()->HotKey = 1;
    // A document without a path: the helper lets go of the freed one.
    TExtPicSlideShowObject plain;
    plain.Transition.reset();
    ASSERT_TRUE(ReadItemBytes(*item, ItemDataBytes(plain)));
    EXPECT_EQ(item->MotionPath, nullptr);
    EXPECT_EQ(Helper()->GetPath(), nullptr);
    EXPECT_EQ(Helper()->SelectedKey, -1);
    EXPECT_EQ(Helper()->HotKey, -1);
    item->EditorMouseMove(At(20, 20));
    item->EditorMouseDown(At(20, 20));
    // With a path: the helper follows to the new one.
    TExtPicSlideShowObject withPath;
    withPath.CreateMotionPath();
    ASSERT_TRUE(ReadItemBytes(*item, ItemDataBytes(withPath)));
    ASSERT_NE(item->MotionPath, nullptr);
    EXPECT_EQ(Helper()->GetPath(), item->MotionPath.get());
    Helper()->SelectedKey = 0;
    item->AssignObject(plain);
    EXPECT_EQ(Helper()->GetPath(), nullptr);
    EXPECT_EQ(Helper()->SelectedKey, -1);
    item->AssignObject(withPath);
    EXPECT_EQ(Helper()->GetPath(), item->MotionPath.get());
    EXPECT_NE(item->MotionPath.get(), withPath.MotionPath.get());
    item->EditorMouseDown(At(100, 50));
    item->EditorMouseMove(At(101, 51));
    TBitmap32 target(200, 100);
    item->PaintEditor(At(0, 0));
}

TEST_F(BitmapEditorTest, TheSelectionFrameAndItsHandles) {
    const TColor32 ground = Color32(0, 0, 128);
    overlay.Clear(ground);
    item->Transition.reset();
    item->PaintEditor(At(0, 0));
    // Handles: 6 x 6 white squares (alpha 200) centred on the corners and midpoints.
    const TColor32 handle = BlendPixel(SetAlpha(clWhite32, 200), ground);
    for (TPoint p : {TPoint{50, 25}, TPoint{100, 25}, TPoint{150, 25}, TPoint{50, 75}, TPoint{100, 75},
                     TPoint{150, 75}, TPoint{50, 50}, TPoint{150, 50}}) {
        SCOPED_TRACE(std::to_string(p.X) + "," + std::to_string(p.Y));
        EXPECT_EQ(overlay.Pixel(p.X - 3, p.Y - 3), handle);
        EXPECT_EQ(overlay.Pixel(p.X + 2, p.Y + 2), handle);
        EXPECT_EQ(overlay.Pixel(p.X + 3, p.Y + 3), ground);
    }
    // The dotted frame in between.
    int marked = 0;
    for (int x = 60; x < 90; ++x) marked += overlay.Pixel(x, 25) != ground;
    EXPECT_EQ(marked, 30);
    EXPECT_EQ(overlay.Pixel(100, 50), ground);
    // Offset by the area's corner.
    TBitmap32 shifted(260, 160);
    TPreviewEditorMouseInfo info = At(0, 0);
    info.Target = &shifted;
    info.AreaRect = TRect{30, 40, 230, 140};
    item->PaintEditor(info);
    EXPECT_NE(shifted.Pixel(80 - 3, 65 - 3), 0u);
    EXPECT_EQ(shifted.Pixel(50 - 3, 25 - 3), 0u);
}

// The decimal separator comes from the user's locale; this one builds its own German one.
class GermanLocale {
public:
    GermanLocale() {
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir_ / "de_DE.UTF-8") + "' >/dev/null 2>&1";
        Ok = std::system(cmd.c_str()) == 0 || std::filesystem::exists(dir_.Path() / "de_DE.UTF-8" / "LC_NUMERIC");
        if (!Ok) return;
        Save("LOCPATH");
        Save("LC_ALL");
        ::setenv("LOCPATH", dir_.Path().c_str(), 1);
        ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    }
    ~GermanLocale() {
        for (auto& [name, value] : saved_)
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
    }
    bool Ok = false;

private:
    void Save(const std::string& name) {
        const char* v = std::getenv(name.c_str());
        saved_.push_back({name, v ? std::optional<std::string>(v) : std::nullopt});
    }
    TempDir dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(BitmapEditorTest, ThePathOverlayWithItsLabels) {
    item->Transition.reset();
    item->Duration = 2000;
    item->CreateMotionPath()->VecKey(0)->Value = {100000, 200000};  // (20, 20)
    AddKey(2000, 900000, 200000);                                    // (180, 20), at the item's end
    item->CreateEditorHelper();
    Helper()->SelectedKey = 1;
    GermanLocale german;
    if (!german.Ok) GTEST_SKIP() << "no locale sources to build de_DE from";
    overlay.Clear(Color32(0, 0, 128));
    item->PaintEditor(At(0, 0));
    SavePng(overlay, "editor-path.png");
    // The dotted line between the keys.
    int marked = 0;
    for (int x = 40; x < 160; ++x) marked += overlay.Pixel(x, 20) != Color32(0, 0, 128);
    EXPECT_EQ(marked, 120);
    // The boxes: the selected one orange, the other white; black rims.
    const TColor32 orange = BlendPixel(SetAlpha(Color32(255, 143, 0), 120), Color32(0, 0, 128));
    EXPECT_EQ(overlay.Pixel(178, 22), orange);
    EXPECT_EQ(overlay.Pixel(18, 22), BlendPixel(SetAlpha(clWhite32, 120), Color32(0, 0, 128)));
    EXPECT_EQ(overlay.Pixel(13, 20), BlendPixel(SetAlpha(clBlack32, 200), Color32(0, 0, 128)));
    // The label of the key at 2000 ms: "2,0 s", white at (B.Right + 1, B.Top - 1).
    TBitmap32 label(200, 100);
    label.Clear(clBlack32);
    label.Font.Name = "Arial";
    label.Font.Size = 8;
    label.Font.Color = 0xFFFFFF;
    label.Textout(186 + 1 - 100, 14 - 1, "2,0 s");
    int checked = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            if (label.Pixel(x, y) == clWhite32 && x + 100 < 200) {
                EXPECT_EQ(overlay.Pixel(x + 100, y), clWhite32) << x + 100 << "," << y;
                ++checked;
            }
    EXPECT_GT(checked, 10);
}

}  // namespace

// glibc's newlocale keeps the LOCPATH list it builds when a locale comes from there;
// that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }
