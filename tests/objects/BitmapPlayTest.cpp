// Bitmap items drawing into a fake player's back buffer and into other bitmaps: saved
// and restored backgrounds, curves, the motion path, transitions, blend modes, results,
// and the placeholder of a missing picture.
#include "PictureTestSupport.h"

#include "transitions/PicTransitions.h"

namespace {

constexpr TColor32 kPattern1 = Color32(10, 200, 30);

TColor32 Pattern(int x, int y) { return Color32(uint8_t(x * 3), uint8_t(y * 5), uint8_t((x + y) & 0xFF)); }

class BitmapPlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        TBitmap32& b = player.MakeBackBuffer(80, 60);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) b.SetPixel(x, y, Pattern(x, y));
        original = b;
    }

    // An item whose prepared bitmap is w x h of one colour, placed by its rectangle.
    template <class T>
    static void GiveBitmap(T& item, int w, int h, TColor32 c) {
        item.Bitmap = std::make_unique<TBitmap32>(w, h);
        item.Bitmap->Clear(c);
        item.StartTime = 0;
        item.Duration = 5000;
    }

    TFakeDrawingPlayer player;
    TBitmap32 original;
};

TEST_F(BitmapPlayTest, RestoringPutsBackEveryPixelAlsoAtTheEdges) {
    const TDoubleRect places[] = {{0.5, 0.5, 1.25, 1.25}, {-0.2, -0.1, 0.3, 0.4}, {1.5, 1.5, 2, 2}, {0, 0, 1, 1}};
    for (const TDoubleRect& rel : places) {
        SCOPED_TRACE(rel.Left);
        for (bool fill : {false, true}) {
            TPicSlideShowObject item;
            item.FillBackground = fill;
            item.KeepAspectRatio = false;
            item.RelativeRect = rel;
            GiveBitmap(item, 10, 10, clWhite32);
            item.Play(&player, false);
            item.RestoreBackground(&player);
            ASSERT_EQ(player.OwnBackBuffer.Bits()[0], original.Bits()[0]);
            EXPECT_TRUE(std::equal(original.Bits(), original.Bits() + 80 * 60, player.OwnBackBuffer.Bits()));
        }
    }
}

TEST_F(BitmapPlayTest, AStillPictureDrawsOnceAndWaitsForItsEnd) {
    TPicSlideShowObject item;
    item.FillBackground = false;
    item.KeepAspectRatio = false;
    item.RelativeRect = {0.25, 0.5, 0.75, 1};
    GiveBitmap(item, 40, 30, kPattern1);
    player.PlayTime = 1200;
    EXPECT_EQ(item.Play(&player, false), 3800);
    EXPECT_EQ(item.GetState(), psPlaying);
    EXPECT_EQ(item.UpdateRect, (TRect{20, 30, 60, 60}));
    EXPECT_EQ(player.OwnBackBuffer.Pixel(20, 30), kPattern1);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(19, 30), Pattern(19, 30));
    // With the fill the whole paint box changes.
    item.FillBackground = true;
    item.Play(&player, false);
    EXPECT_EQ(item.UpdateRect, (TRect{0, 0, 80, 60}));
}

TEST_F(BitmapPlayTest, WithoutABitmapPlayDrawsNothing) {
    TExtPicSlideShowObject effects;
    TPicSlideShowObject still;
    for (TBaseBitmapSlideShowObject* item : {static_cast<TBaseBitmapSlideShowObject*>(&effects),
                                             static_cast<TBaseBitmapSlideShowObject*>(&still)}) {
        item->StartTime = 0;
        item->Duration = 1000;
        player.PlayTime = 400;
        EXPECT_EQ(item->Play(&player, false), 600);
        EXPECT_TRUE(item->UpdateRect.IsEmpty());
        EXPECT_EQ(item->Background, nullptr);
        EXPECT_TRUE(std::equal(original.Bits(), original.Bits() + 80 * 60, player.OwnBackBuffer.Bits()));
    }
}

TEST_F(BitmapPlayTest, AnOpaquePictureWithTransparentPixelsDrawsOpaque) {
    TPicSlideShowObject item;
    item.FillBackground = false;
    auto picture = std::make_unique<TBitmap32>(80, 60);
    picture->Clear(Color32(255, 0, 0, 0));
    ASSERT_TRUE(item.PictureToBitmap(picture, true, item.Bitmap));
    item.StartTime = 0;
    item.Play(&player, false);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(5, 5), Color32(255, 0, 0));
}

TEST_F(BitmapPlayTest, OpacityCurveGivesTheMasterAlpha) {
    TExtPicSlideShowObject item;
    item.Transition.reset();
    item.FillBackground = false;
    GiveBitmap(item, 80, 60, clWhite32);
    TTimeToIntegerValue* curve = item.CreateOpacityCurve();
    for (auto [t, v] : {std::pair{0, 0}, std::pair{1000, 255}}) {
        auto key = std::make_unique<TTimeIntegerValue>();
        key->Time = t;
        key->Value = v;
        curve->AddKey(std::move(key));
    }
    player.OwnBackBuffer.Clear(clBlack32);
    player.PlayTime = 500;
    EXPECT_EQ(item.Play(&player, false), -1);  // the curve animates: every frame
    EXPECT_EQ(item.Bitmap->MasterAlpha, 128);
    EXPECT_EQ(item.Bitmap->DrawMode, dmBlend);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(40, 30), Color32(128, 128, 128));
}

TEST_F(BitmapPlayTest, AOneKeyPathKeepsThePictureCentredOnIt) {
    TExtPicSlideShowObject item;
    item.Transition.reset();
    item.FillBackground = false;
    item.KeepAspectRatio = false;
    item.RelativeRect = {0, 0, 0.25, 0.5};  // 20 x 30
    GiveBitmap(item, 20, 30, kPattern1);
    TTimeToVector2DValue* path = item.CreateMotionPath();
    path->VecKey(0)->Value = {250000, 750000};  // (20, 45) in the paint box
    for (int32_t t : {0, 1000, 4999}) {
        player.PlayTime = t;
        EXPECT_EQ(item.Play(&player, false), -1);
        EXPECT_EQ(item.UpdateRect, (TRect{10, 30, 30, 60}));
    }
}

TEST_F(BitmapPlayTest, PlayResults) {
    struct Case {
        const char* Name;
        bool Opacity, Rotation, Scale, Path;
        int32_t Result;
    } cases[] = {
        {"static", false, false, false, false, 3000},  {"opacity", true, false, false, false, -1},
        {"rotation", false, true, false, false, -1},   {"scale alone", false, false, true, false, 3000},
        {"path", false, false, false, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TExtPicSlideShowObject item;
        item.Transition.reset();
        GiveBitmap(item, 80, 60, kPattern1);
        if (c.Opacity) item.CreateOpacityCurve();
        if (c.Rotation) item.CreateRotationCurve();
        if (c.Scale) item.CreateScaleCurve();
        if (c.Path) item.CreateMotionPath();
        player.PlayTime = 2000;
        EXPECT_EQ(item.Play(&player, false), c.Result);
    }
}

TEST_F(BitmapPlayTest, ATransitionDrawsUntilFinishedThenTheItem) {
    TExtPicSlideShowObject item;
    auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
    fade->Duration = 1000;
    item.Transition = std::move(fade);
    item.FillBackground = false;
    GiveBitmap(item, 80, 60, clWhite32);
    item.CreatePlayHelper();
    ASSERT_TRUE(item.PrepareTransition(&player));
    player.OwnBackBuffer.Clear(clBlack32);
    player.PlayTime = 500;
    EXPECT_EQ(item.Play(&player, false), -1);
    EXPECT_FALSE(item.UpdateRect.IsEmpty());
    const uint8_t mid = RedComponent(player.OwnBackBuffer.Pixel(40, 30));
    EXPECT_GT(mid, 60);
    EXPECT_LT(mid, 200);
    item.RestoreBackground(&player);
    // After the transition the item draws itself, and waits for its end.
    player.PlayTime = 1001;
    EXPECT_EQ(item.Play(&player, false), 3999);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(40, 30), clWhite32);
    // The last frame draws the item itself and saves nothing.
    TExtPicSlideShowObject last;
    last.Transition = std::make_unique<TAlphablendingTransitionPlugin>();
    last.FillBackground = false;
    GiveBitmap(last, 80, 60, kPattern1);
    ASSERT_TRUE(last.PrepareTransition(&player));
    player.PlayTime = 10;
    last.Play(&player, true);
    EXPECT_EQ(last.Background, nullptr);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(40, 30), kPattern1);
}

TEST_F(BitmapPlayTest, ARandomTransitionLeavesOutTheShowsExclusions) {
    TSlideShow show;
    // Everything but the cross-fade is excluded.
    TTransitionPluginList all(Plugins);
    show.SlideShowProperties->ExcludedTransitions.clear();
    for (int i = 0; i < all.Count(); ++i)
        if (&all.Items(i)->ClassType() != &TAlphablendingTransitionPlugin::StaticClassInfo())
            show.SlideShowProperties->ExcludedTransitions.push_back(&all.Items(i)->ClassType());
    auto* item = new TExtPicSlideShowObject();
    show.RootList().Add(item);
    GiveBitmap(*item, 80, 60, clWhite32);
    ASSERT_TRUE(item->PrepareTransition(&player));
    auto* random = dynamic_cast<TRandomTransitionPlugin*>(item->Transition.get());
    ASSERT_NE(random, nullptr);
    ASSERT_NE(random->Chosen, nullptr);
    EXPECT_EQ(random->Chosen->ClassName(), "TAlphablendingTransitionPlugin");
}

TEST_F(BitmapPlayTest, DisabledTransitionsAreSkippedButKept) {
    TSlideShow show;
    show.SlideShowProperties->DisableTransitions = true;
    auto* item = new TExtPicSlideShowObject();
    show.RootList().Add(item);
    GiveBitmap(*item, 80, 60, kPattern1);
    item->BeginInitializationStep(&player, -3);
    std::vector<int> steps;
    for (int i = 0; i < item->GetInitializationList()->Count(); ++i)
        steps.push_back(item->GetInitializationList()->GetItem(i)->Step);
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 10}));
    player.PlayTime = 10;
    item->Play(&player, false);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(40, 30), kPattern1);
    // Saved afterwards, the item still has its transition.
    ASSERT_NE(item->Transition, nullptr);
    const std::vector<uint8_t> bytes = ItemDataBytes(*item);
    const Bytes tail = Concat({RandomTransition(), PictureFields("", 0)});
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.vec().begin(), tail.vec().end(), bytes.end() - std::ptrdiff_t(tail.size())));
}

TEST_F(BitmapPlayTest, BlendModesCombineWithWhatLiesBelow) {
    const TColor32 picture = Color32(200, 100, 50), below = Color32(100, 150, 200);
    const struct {
        uint8_t Mode;
        TColor32 Expected;
    } cases[] = {
        {bmAdd, Color32(255, 250, 250)},  {bmSubtract, Color32(100, 0, 0)}, {bmMultiply, Color32(78, 58, 39)},
        {bmDarken, Color32(100, 100, 50)}, {bmLighten, Color32(200, 150, 200)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Mode));
        for (bool effects : {false, true}) {
            std::unique_ptr<TBaseBitmapSlideShowObject> item;
            if (effects) {
                auto e = std::make_unique<TExtPicSlideShowObject>();
                e->Transition.reset();
                item = std::move(e);
            } else {
                item = std::make_unique<TPicSlideShowObject>();
            }
            item->BlendMode = c.Mode;
            item->FillBackground = false;
            GiveBitmap(*item, 80, 60, picture);
            player.OwnBackBuffer.Clear(below);
            item->Play(&player, false);
            EXPECT_EQ(player.OwnBackBuffer.Pixel(10, 10), c.Expected);
            TBitmap32 target(80, 60);
            target.Clear(below);
            item->DrawTo(target, true);
            EXPECT_EQ(target.Pixel(10, 10), c.Expected);
        }
    }
    // Under half the master alpha the combination goes half way.
    TExtPicSlideShowObject item;
    item.Transition.reset();
    item.BlendMode = bmAdd;
    item.FillBackground = false;
    GiveBitmap(item, 80, 60, picture);
    TTimeIntegerValue* k = static_cast<TTimeIntegerValue*>(
        item.CreateOpacityCurve()->AddKeyIndex(std::make_unique<TTimeIntegerValue>(), *std::make_unique<int>()));
    k->Time = 0;
    k->Value = 128;
    player.OwnBackBuffer.Clear(below);
    item.Play(&player, false);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(10, 10), Color32(178, 200, 225));
}

TEST_F(BitmapPlayTest, DrawToFillsAndPlacesForTheTargetsSize) {
    TPicSlideShowObject item;
    item.BackgroundColor = Color32(0, 0, 255);
    item.RelativeRect = {0.5, 0, 1, 0.5};
    item.KeepAspectRatio = false;
    GiveBitmap(item, 20, 10, kPattern1);
    TBitmap32 target(40, 20);
    target.Clear(clWhite32);
    EXPECT_TRUE(item.DrawTo(target, false));
    EXPECT_EQ(target.Pixel(0, 0), Color32(0, 0, 255));
    EXPECT_EQ(target.Pixel(20, 0), kPattern1);
    EXPECT_EQ(target.Pixel(39, 9), kPattern1);
    EXPECT_EQ(target.Pixel(39, 10), Color32(0, 0, 255));
}

// The pixels Textout gives a text alone, white at (x, y) on black.
std::vector<TPoint> TextPixels(const AnsiString& text, int x, int y, int w, int h) {
    TBitmap32 b(w, h);
    b.Clear(clBlack32);
    b.Font.Name = "MS Sans Serif";
    b.Font.Size = -11;
    b.Font.Color = 0xFFFFFF;
    b.Textout(x, y, text);
    std::vector<TPoint> points;
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            if (b.Pixel(xx, yy) == clWhite32) points.push_back({xx, yy});
    return points;
}

TEST_F(BitmapPlayTest, ThePlaceholderOfAMissingPicture) {
    struct Case {
        const char* FileName;
        const char* Text;
    } cases[] = {
        {"", "? Keine Datei zugeordnet"},
        {"C:\\Bilder\\bild.jpg", "? Datei nicht gefunden (bild.jpg)"},
    };
    std::vector<std::vector<TPoint>> shapes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TExtPicSlideShowObject item;
        item.FileName = c.FileName;
        item.FillBackground = false;
        item.RelativeRect = {0.1, 0.1, 0.9, 0.9};  // (30, 20, 270, 180)
        TBitmap32 target(300, 200);
        target.Clear(Color32(0, 128, 0));
        EXPECT_TRUE(item.Prepare(target));
        EXPECT_EQ(item.LoadFailed, 1);
        EXPECT_TRUE(item.DrawTo(target, false));
        SavePng(target, std::string("placeholder-") + (c.FileName[0] ? "missing" : "none") + ".png");
        // Frame white, inside black, the cross white with black beside it.
        EXPECT_EQ(target.Pixel(30, 100), clWhite32);
        EXPECT_EQ(target.Pixel(269, 100), clWhite32);
        EXPECT_EQ(target.Pixel(150, 20), clWhite32);
        EXPECT_EQ(target.Pixel(150, 179), clWhite32);
        EXPECT_EQ(target.Pixel(29, 100), Color32(0, 128, 0));
        EXPECT_EQ(target.Pixel(200, 60), clBlack32);
        EXPECT_EQ(target.Pixel(150, 100), clWhite32);  // the crossing
        EXPECT_EQ(target.Pixel(30 + 120, 20 + 80), clWhite32);
        // Along the main diagonal (slope 160/240) the white line has black on both sides.
        const int dx = 180, dy = 20 + (dx - 30) * 159 / 239;
        int whiteAt = -1;
        for (int x = dx - 2; x <= dx + 2; ++x)
            if (target.Pixel(x, dy) == clWhite32) whiteAt = x;
        ASSERT_GE(whiteAt, 0);
        EXPECT_EQ(target.Pixel(whiteAt - 1, dy), clBlack32);
        EXPECT_EQ(target.Pixel(whiteAt + 1, dy), clBlack32);
        // The text: white at (Left + 2, Top + 2), its black copy one pixel lower right.
        const std::vector<TPoint> text = TextPixels(c.Text, 32, 22, 300, 200);
        ASSERT_FALSE(text.empty());
        for (const TPoint& p : text) {
            ASSERT_EQ(target.Pixel(p.X, p.Y), clWhite32) << p.X << "," << p.Y;
            const bool coveredByText = std::find(text.begin(), text.end(), TPoint{p.X + 1, p.Y + 1}) != text.end();
            if (!coveredByText) {
                EXPECT_EQ(target.Pixel(p.X + 1, p.Y + 1), clBlack32) << p.X << "," << p.Y;
            }
        }
        shapes.push_back(text);
    }
    EXPECT_NE(shapes[0], shapes[1]);
    // A file that exists but cannot be read shows its bare name.
    TempDir dir;
    WriteFileBytes(dir / "kaputt.jpg", {1, 2, 3});
    TExtPicSlideShowObject broken;
    broken.FileName = dir.Program() + "kaputt.jpg";
    TBitmap32 target(300, 200);
    ASSERT_TRUE(broken.Prepare(target));
    broken.DrawTo(target, false);
    for (const TPoint& p : TextPixels("? kaputt.jpg", 2, 2, 300, 200)) ASSERT_EQ(target.Pixel(p.X, p.Y), clWhite32);
}

}  // namespace
