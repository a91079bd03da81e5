// The text items: stored forms against fixtures written byte by byte, placement and
// font scaling, preparation and the frame timing of the text with effects. The frames of
// an animated title, rendered by the show tool, are in the tool tests.
#include "PictureTestSupport.h"

#include "document/SlideShow.h"
#include "document/SlideShowProperties.h"
#include "objects/TextSlideShowObject.h"
#include "graphics/VectorTextEffect.h"

namespace {

constexpr TFixed kPx = FixedOne;

// ---- fixture pieces ----

Bytes FontRecord(const std::string& name, int32_t size, uint32_t color = 0, uint8_t style = 0) {
    const uint32_t n = uint32_t(17 + name.size());
    return Bytes().u32(n).u32(n).u32(color).str(name).i32(size).u8(style);
}

struct TTextFields {
    std::string Text;
    Bytes Font = FontRecord("Arial", 20);
    uint32_t Color = 0xFFFFFFFF, OutlineColor = 0xFF000000;
    uint8_t DrawMode = 3, Alignment = 0, Antialiased = 1, Layout = 3;
    double Left = 0.25, Top = 0.25, Right = 0.75, Bottom = 0.75;
};

Bytes TextData(const TTextFields& f, int32_t duration = -1) {
    Bytes b = PlayableData(duration);
    b.str(f.Text).raw(f.Font.vec()).u32(f.Color).u32(f.OutlineColor).u8(f.DrawMode).u8(f.Alignment)
        .u8(f.Antialiased).u8(f.Layout);
    Dbl(b, f.Left);
    Dbl(b, f.Top);
    Dbl(b, f.Right);
    return Dbl(b, f.Bottom);
}

Bytes Empty() { return Block(Bytes()); }

Bytes ZoomBlock(int32_t duration, int32_t overlap, int32_t zoom) {
    return Block(Bytes().str("TSimpleZoomVectorTextEffect").i32(duration).i32(overlap).i32(zoom).i32(zoom));
}

class TextItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program registers the text effects with the graphics modules.
        static const bool effects = [] {
            InitializeVectorTextEffects(PictureTestPlugins());
            return true;
        }();
        (void)effects;
    }
};

TEST_F(TextItemTest, StoredFormsWithDefaults) {
    TSimpleTextSlideShowObject simple;
    StoreRoundTrip(simple, TextData({}));
    TTextSlideShowObject text;
    auto back = StoreRoundTrip(text, Concat({TextData({}), Empty(), Empty(), Empty(), Empty(), Empty()}));
    EXPECT_EQ(back->Layout, tlRelativeRect);
    EXPECT_EQ(back->RelativeRect, (TDoubleRect{0.25, 0.25, 0.75, 0.75}));
    EXPECT_EQ(back->VectorText->Font.Name, "Arial");
    EXPECT_EQ(back->VectorText->Font.Size, 20);
    EXPECT_EQ(back->TextEffects, nullptr);
    EXPECT_EQ(back->GetDisplayName(), "Text: ");
}

TEST_F(TextItemTest, StoredFormWithEveryFieldSet) {
    TTextSlideShowObject item;
    item.SetText("Hallo %date%");
    TFont font;
    font.Name = "DejaVu Serif";
    font.Size = 32;
    font.Style = fsBold;
    font.Color = 0x0000FF;
    item.SetFont(font);
    item.SetColor(0x80102030);
    item.SetOutlineColor(0xFF405060);
    item.SetDrawMode(1);
    item.SetAlignment(2);
    item.SetAntialiased(false);
    item.SetLayout(tlBottom);
    item.SetRelativeRect({0.125, 0.5, 1, 0.875});
    auto key = std::make_unique<TTimeIntegerValue>();
    key->Time = 0;
    key->Value = 0;
    item.CreateOpacityCurve()->AddKey(std::move(key));
    item.TextEffects = std::make_unique<TComplexVectorTextEffect>();
    item.TextEffects->Name = "Zoom";
    item.TextEffects->FirstEffect.reset(new TSimpleZoomVectorTextEffect());

    TTextFields f;
    f.Text = "Hallo %date%";
    f.Font = FontRecord("DejaVu Serif", 32, 0x0000FF, fsBold);
    f.Color = 0x80102030;
    f.OutlineColor = 0xFF405060;
    f.DrawMode = 1;
    f.Alignment = 2;
    f.Antialiased = 0;
    f.Layout = 2;
    f.Left = 0.125, f.Top = 0.5, f.Right = 1, f.Bottom = 0.875;
    const Bytes opacity = Block(Bytes().i32(1).str("TTimeIntegerValue").i32(0).u8(0).i32(0));
    const Bytes effects = Block(Bytes().str("Zoom").raw(ZoomBlock(2000, 8, 5 * kPx).vec()).raw(Empty().vec()));
    auto back = StoreRoundTrip(item, Concat({TextData(f), opacity, Empty(), Empty(), Empty(), effects}));
    EXPECT_EQ(back->Text, "Hallo %date%");
    EXPECT_EQ(back->VectorText->Font, font);
    EXPECT_EQ(back->VectorText->DrawMode, 1);
    EXPECT_FALSE(back->VectorText->Antialiased);
    ASSERT_NE(back->TextEffects, nullptr);
    EXPECT_NE(dynamic_cast<TSimpleZoomVectorTextEffect*>(back->TextEffects->EntryEffect()), nullptr);
    EXPECT_EQ(back->TextEffects->ExitEffect(), nullptr);
}

TEST_F(TextItemTest, OnlyAMotionPathIsOneBlockAmongEmptyOnes) {
    TTextSlideShowObject item;
    item.CreateMotionPath();
    // The first key sits on the centre of the rectangle, in millionths.
    const Bytes path = Block(Bytes().i32(1).str("TTimeVector2DValue").i32(0).u8(0).i32(500000).i32(500000));
    auto back = StoreRoundTrip(item, Concat({TextData({}), Empty(), Empty(), Empty(), path, Empty()}));
    EXPECT_EQ(back->OpacityCurve, nullptr);
    EXPECT_EQ(back->RotationCurve, nullptr);
    EXPECT_EQ(back->ScaleCurve, nullptr);
    ASSERT_NE(back->MotionPath, nullptr);
    EXPECT_EQ(back->MotionPath->KeyCount(), 1);
    EXPECT_FALSE(back->MotionPath->Clamp);
}

TEST_F(TextItemTest, OddStoredValues) {
    TTextFields f;
    f.Font = Bytes().u32(0xFFFFFFFF);  // no font: the default stays
    f.DrawMode = 7;
    f.Alignment = 5;
    f.Layout = 9;
    TSimpleTextSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, TextData(f)));
    EXPECT_EQ(item.VectorText->Font.Name, "Arial");
    EXPECT_EQ(item.VectorText->Font.Size, 20);
    EXPECT_EQ(item.VectorText->DrawMode, 3);
    EXPECT_EQ(item.VectorText->Alignment, 0);
    EXPECT_EQ(item.Layout, 9);
    EXPECT_EQ(item.GetTextRect(300, 200), MakeFixedRect(0, 0, 300 * kPx, 200 * kPx));

    // A text effect block whose effect data is cut short drops the effect, not the text.
    TTextSlideShowObject text;
    const Bytes cut = Block(Bytes().str("").raw(Block(Bytes().str("TSimpleZoomVectorTextEffect").i32(5)).vec())
                                .raw(Empty().vec()));
    ASSERT_TRUE(ReadItemBytes(text, Concat({TextData({}), Empty(), Empty(), Empty(), Empty(), cut})));
    ASSERT_NE(text.TextEffects, nullptr);
    EXPECT_EQ(text.TextEffects->EntryEffect(), nullptr);
}

TEST_F(TextItemTest, FontHeightScalesWithTheLargerRatio) {
    TSimpleTextSlideShowObject item;  // Arial 20 points: 27 pixels at 96 dpi
    struct Case {
        int32_t W, H, Height;
    } cases[] = {{1024, 768, -27}, {512, 384, -14}, {800, 768, -27}, {1280, 768, -34}, {1024, 1536, -54}};
    for (const Case& c : cases) EXPECT_EQ(item.GetScaledFontHeight(c.W, c.H), c.Height) << c.W << "x" << c.H;
}

TEST_F(TextItemTest, TextRectByLayout) {
    TSimpleTextSlideShowObject item;
    struct Case {
        uint8_t Layout;
        bool Measured;
        TFixedRect Expected;
    } cases[] = {
        {tlWhole, true, MakeFixedRect(0, 0, 400 * kPx, 300 * kPx)},
        {tlMiddle, false, MakeFixedRect(0, 0, 400 * kPx, 300 * kPx)},
        {tlMiddle, true, MakeFixedRect(0, 130 * kPx, 400 * kPx, 300 * kPx)},
        {tlBottom, false, MakeFixedRect(0, 0, 400 * kPx, 300 * kPx)},
        {tlBottom, true, MakeFixedRect(0, 260 * kPx, 400 * kPx, 300 * kPx)},
        {tlRelativeRect, true, MakeFixedRect(100 * kPx, 75 * kPx, 300 * kPx, 225 * kPx)},
    };
    for (const Case& c : cases) {
        item.Layout = c.Layout;
        item.TextBounds = c.Measured ? MakeFixedRect(0, 0, 100 * kPx, 40 * kPx) : TFixedRect{};
        EXPECT_EQ(item.GetTextRect(400, 300), c.Expected) << int(c.Layout) << " " << c.Measured;
    }
    item.Layout = tlRelativeRect;
    item.RelativeRect = {0.5, 0.5, 0.5, 0.5};
    EXPECT_EQ(item.GetTextRect(400, 300), MakeFixedRect(0, 0, 400 * kPx, 300 * kPx));
}

TEST_F(TextItemTest, PreparationScalesExpandsAndCaches) {
    TSlideShow show;
    auto* item = new TSimpleTextSlideShowObject();
    show.RootList().Add(item);
    item->SetText("Ab %position%");
    TFont font = item->VectorText->Font;
    struct Case {
        int32_t FontSize;  // negative: pixels at the reference size
        uint8_t StretchQuality;
        bool DoubleFill, Cached;
    } cases[] = {{-9, 1, true, false}, {-10, 1, false, true}, {-10, 0, false, false}, {20, 1, false, true}};
    for (const Case& c : cases) {
        font.Size = c.FontSize;
        item->SetFont(font);
        show.SlideShowProperties->StretchQuality = c.StretchQuality;
        TBitmap32 target(1024, 768);
        ASSERT_TRUE(item->PrepareText(target));
        EXPECT_EQ(item->VectorText->Font.Size, c.FontSize) << "the height is put back";
        EXPECT_EQ(item->VectorText->DoubleFill, c.DoubleFill) << c.FontSize;
        EXPECT_EQ(item->VectorText->GlyphCache['A'].Bitmap != nullptr, c.Cached) << c.FontSize;
        EXPECT_EQ(item->VectorText->Text, "Ab 1");
        EXPECT_EQ(item->TextBounds.Left, 0);
        EXPECT_EQ(item->TextBounds.Top, 0);
        EXPECT_GT(item->TextBounds.Bottom, 0);
    }
    // The same text for a smaller target is built again at the smaller height.
    TBitmap32 big(1024, 768), small(512, 384);
    item->PrepareText(big);
    const TFixed bigHeight = item->VectorText->LineHeight;
    item->PrepareText(small);
    EXPECT_LT(item->VectorText->LineHeight, bigHeight * 3 / 4);
    EXPECT_EQ(item->VectorText->GlyphCache['A'].Bitmap->Height() < TruncToInt32(bigHeight / 65536.0L), true);
}

TEST_F(TextItemTest, FrameTimingOfTheTextWithEffects) {
    TFakeDrawingPlayer player;
    player.MakeBackBuffer(320, 240);
    auto zoom = [](int32_t ms) {
        auto* z = new TSimpleZoomVectorTextEffect();
        z->Duration = ms;
        return z;
    };
    struct Case {
        const char* Name;
        bool Entry, Exit, Opacity, Path;
        int32_t Time, Result;
    } cases[] = {
        {"in the entry", true, false, false, false, 0, -1},
        {"end of the entry", true, false, false, false, 1000, -1},
        {"after the entry", true, false, false, false, 1001, 3999},
        {"before the exit", false, true, false, false, 2000, 2000},
        {"in the exit", false, true, false, false, 4001, -1},
        {"opacity only", false, false, true, false, 2000, -1},
        {"path only", false, false, false, true, 2000, -1},
        {"nothing", false, false, false, false, 1500, 3500},
    };
    for (const Case& c : cases) {
        TTextSlideShowObject item;
        item.Duration = 5000;
        item.StartTime = 0;
        item.SetText("Ab");
        if (c.Entry || c.Exit) item.TextEffects = std::make_unique<TComplexVectorTextEffect>();
        if (c.Entry) item.TextEffects->FirstEffect.reset(zoom(1000));
        if (c.Exit) item.TextEffects->SecondEffect.reset(zoom(1000));
        if (c.Opacity) item.CreateOpacityCurve();
        if (c.Path) item.CreateMotionPath();
        ASSERT_TRUE(item.ExecuteInitializationStep(&player, 1));
        ASSERT_TRUE(item.ExecuteInitializationStep(&player, 2));
        player.PlayTime = c.Time;
        EXPECT_EQ(item.Play(&player, false), c.Result) << c.Name;
        EXPECT_EQ(item.State, psPlaying) << c.Name;
    }
}

TEST_F(TextItemTest, StepsAndRegistration) {
    TFakeDrawingPlayer player;
    player.MakeBackBuffer(64, 48);
    TTextSlideShowObject item;
    item.BeginInitializationStep(&player, -3);
    ASSERT_NE(item.GetInitializationList(), nullptr);
    ASSERT_EQ(item.GetInitializationList()->Count(), 2);
    EXPECT_EQ(item.GetInitializationList()->GetItem(0)->Step, 1);
    EXPECT_EQ(item.GetInitializationList()->GetItem(0)->EstimatedTime, 200);
    EXPECT_EQ(item.GetInitializationList()->GetItem(1)->Step, 2);
    EXPECT_EQ(item.GetInitializationList()->GetItem(1)->EstimatedTime, 100);
    EXPECT_EQ(item.GetLastInitializationStep(), 2);
    EXPECT_EQ(TSimpleTextSlideShowObject().GetLastInitializationStep(), 1);
    ASSERT_TRUE(item.ExecuteInitializationStep(&player, 1));
    ASSERT_TRUE(item.ExecuteInitializationStep(&player, 2));
    EXPECT_NE(player.Bench.FindList("itxt"), nullptr);
    EXPECT_NE(player.Bench.FindList("etxt"), nullptr);

    // The entry effect appears and the exit effect vanishes, whatever they were set to.
    item.TextEffects = std::make_unique<TComplexVectorTextEffect>();
    auto* entry = new TSimpleZoomVectorTextEffect();
    auto* exit = new TSimpleZoomVectorTextEffect();
    entry->Appear = false;
    item.TextEffects->FirstEffect.reset(entry);
    item.TextEffects->SecondEffect.reset(exit);
    ASSERT_TRUE(item.ExecuteInitializationStep(&player, 2));
    EXPECT_TRUE(entry->Appear);
    EXPECT_FALSE(exit->Appear);
    EXPECT_EQ(entry->VectorText, item.VectorText.get());
    EXPECT_EQ(exit->Rect, (TRect{0, 0, 64, 48}));

    // Only the kind with effects is a plug-in.
    EXPECT_TRUE(Plugins->IsRegistered(TTextSlideShowObject::StaticClassInfo()));
    EXPECT_FALSE(Plugins->IsRegistered(TSimpleTextSlideShowObject::StaticClassInfo()));
    EXPECT_EQ(PluginDescription(TTextSlideShowObject::StaticClassInfo()).substr(0, 20), "Ein Text mit Animati");
}

TEST_F(TextItemTest, CopiesTakeTextCurvesPathAndEffects) {
    TTextSlideShowObject source;
    source.SetText("Titel");
    source.SetLayout(tlMiddle);
    source.SetColor(0xFF00FF00);
    source.CreateScaleCurve();
    source.CreateMotionPath()->VecKey(0)->Value = {100, 200};
    source.TextEffects = std::make_unique<TComplexVectorTextEffect>();
    source.TextEffects->SecondEffect.reset(new TSimpleZoomVectorTextEffect());
    TTextSlideShowObject copy;
    copy.CreateOpacityCurve();
    copy.AssignObject(source);
    EXPECT_EQ(ItemDataBytes(copy), ItemDataBytes(source));
    EXPECT_EQ(copy.OpacityCurve, nullptr);
    EXPECT_NE(copy.TextEffects.get(), source.TextEffects.get());
}

// ---- editor ----

TPreviewEditorMouseInfo At(TBitmap32& editor, TBitmap32& overlay, int x, int y, TShiftState shift = ssLeft) {
    TPreviewEditorMouseInfo info;
    info.X = x;
    info.Y = y;
    info.Shift = shift;
    info.Bitmap = &editor;
    info.Target = &overlay;
    info.AreaRect = editor.BoundsRect();
    return info;
}

TEST_F(TextItemTest, DraggingMovesTheTextOnlyInItsOwnRectangle) {
    TFakeShow show;
    auto* item = new TTextSlideShowObject();
    show.Root.Add(item);
    TBitmap32 editor(200, 100), overlay(200, 100);
    item->CreateMotionPath();
    auto key = std::make_unique<TTimeVector2DValue>();
    key->Time = 1000;
    key->Value = {100000, 200000};
    item->MotionPath->AddKey(std::move(key));

    // The whole target: the mouse does nothing.
    item->Layout = tlWhole;
    EXPECT_FALSE(item->EditorMouseDown(At(editor, overlay, 100, 50)));
    EXPECT_EQ(item->GetEditorRect(At(editor, overlay, 0, 0)), (TRect{0, 0, 200, 100}));

    item->Layout = tlRelativeRect;  // (50, 25, 150, 75)
    EXPECT_EQ(item->GetEditorRect(At(editor, overlay, 0, 0)), (TRect{50, 25, 150, 75}));
    ASSERT_TRUE(item->EditorMouseDown(At(editor, overlay, 100, 50)));
    item->EditorMouseMove(At(editor, overlay, 100, 50));
    item->EditorMouseMove(At(editor, overlay, 110, 60));
    item->EditorMouseUp(At(editor, overlay, 110, 60));
    EXPECT_EQ(item->RelativeRect, (TDoubleRect{0.3, 0.35, 0.8, 0.85}));
    EXPECT_EQ(item->GetEditorCursor(At(editor, overlay, 100, 60)), crSizeAll);
    // The first key follows the centre; the others stay.
    EXPECT_EQ(item->MotionPath->VecKey(0)->Value, (TVector2D{550000, 600000}));
    EXPECT_EQ(item->MotionPath->VecKey(1)->Value, (TVector2D{100000, 200000}));

    overlay.Clear(0xFF404040);
    item->SetText("Titel");
    TFont font = item->GetFont();
    font.Size = 72;
    item->SetFont(font);
    item->Prepare(editor);
    item->DrawTo(overlay, false);
    item->PaintEditor(At(editor, overlay, 0, 0));
    SavePng(overlay, "text-editor.png");
    EXPECT_NE(overlay.Pixel(60, 35), 0xFF404040u);  // the frame

    // Deleting the keys one by one removes the path.
    auto* helper = dynamic_cast<TMoveableRectPreviewEditorHelper*>(item->EditorHelper.get());
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->GetPath(), item->MotionPath.get());
    for (int i = 0; i < 2 && item->MotionPath; ++i) {
        helper->SelectedKey = 0;
        item->DeleteSelectedPathKey();
    }
    EXPECT_EQ(item->MotionPath, nullptr);
    EXPECT_EQ(helper->GetPath(), nullptr);
    EXPECT_EQ(item->GetSelectedPathKey(), -1);
}

}  // namespace
