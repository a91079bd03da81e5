// The collage: its stored form against fixture bytes, composing its children through a
// fake player (order, transparency, nested collages, composing again after a reset, a
// paint box of no size), and what it passes on to its children.
#include "PictureTestSupport.h"

#include "objects/MergeSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowObjectEvents.h"

namespace {

constexpr TColor32 kRed = 0xFFE02020, kBlue = 0xFF2040E0, kGreen = 0xFF20C040;

TColor32 Lighten(TColor32 c, int by) {
    auto up = [by](uint8_t v) { return uint8_t(std::min(255, v + by)); };
    return Color32(up(RedComponent(c)), up(GreenComponent(c)), up(BlueComponent(c)));
}

Bytes CollageData(const Bytes& title, const TBitmapFields& f = {}) {
    return Concat({PlayableData(-1), BitmapFields(f), NoEffects(), title});
}
Bytes Collage(const std::string& title) {
    return ItemChunk("TMergeSlideShowObject", CollageData(Block(Bytes().str(title))));
}
Bytes Picture(const std::string& file) {
    TBitmapFields f;
    f.FillBackground = false;
    return ItemChunk("TExtPicSlideShowObject", EffectsData(f, NoEffects(), PictureFields(file, 2)));
}

class CollageTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        player.MakeBackBuffer(160, 120);
    }

    // A picture child of one colour, placed at Rel without background.
    TExtPicSlideShowObject* AddPicture(TSlideShowObjectList& list, TColor32 color, const TDoubleRect& rel) {
        const std::string path = dir / ("p" + std::to_string(list.Count()) + std::to_string(color) + ".png");
        WriteFileBytes(path, EncodePng(8, 8, [&](int, int) { return color; }));
        auto* p = new TExtPicSlideShowObject();
        p->FileName = path;
        p->FillBackground = false;
        p->KeepAspectRatio = false;
        p->RelativeRect = rel;
        p->Transition.reset();
        list.Add(p);
        return p;
    }
    // Red on the left two thirds, blue over the right two thirds.
    void AddTwoPictures(TMergeSlideShowObject& c) {
        AddPicture(*c.CreateChildList(), kRed, {0, 0, 0.66, 1});
        AddPicture(*c.GetChildList(), kBlue, {0.33, 0, 1, 1});
    }
    TColor32 Shown(TMergeSlideShowObject& c, int x, int y) {
        TBitmap32 target;
        target.SetSize(160, 120);
        target.Clear(0xFF808080);
        c.DrawTo(target, true);
        return target.Pixel(x, y);
    }

    TempDir dir;
    TFakeDrawingPlayer player;
};

TEST_F(CollageTest, StoredFormWithTitleFromVersion0x305AndChildren) {
    const Bytes at305 = Concat({ListRun(1), Collage("Vier Bilder"), ListRun(2), Picture("a.png"), Picture("b.png")});
    TSlideShowObjectList list;
    TReadOutcome r = ReadRunBytes(list, at305.vec());
    EXPECT_FALSE(r.Failed);
    auto* c = dynamic_cast<TMergeSlideShowObject*>(list.GetItem(0));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Title, "Vier Bilder");
    EXPECT_EQ(c->GetDisplayName(), "Collage: Vier Bilder");
    ASSERT_NE(c->GetChildList(), nullptr);
    EXPECT_EQ(c->GetChildList()->Count(), 2);
    EXPECT_NE(::Supports<IMerge>(static_cast<TSlideShowObject*>(c)), nullptr);
    EXPECT_EQ(WriteRunBytes(list), at305.vec());

    // Before 0x305 there is no title block.
    const Bytes at304 = Concat({ListRun(1), ItemChunk("TMergeSlideShowObject", CollageData(Bytes())), ListRun(1),
                                Picture("a.png")});
    TSlideShowObjectList old;
    r = ReadRunBytes(old, at304.vec(), 0x304);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.EndPosition, int64_t(at304.size()));
    c = dynamic_cast<TMergeSlideShowObject*>(old.GetItem(0));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Title, "");
    EXPECT_EQ(c->GetChildList()->Count(), 1);

    // A copy takes the title and the children.
    TSlideShowObjectPtr copy(list.GetItem(0)->CloneWithChildren());
    auto* cc = dynamic_cast<TMergeSlideShowObject*>(copy.get());
    ASSERT_NE(cc, nullptr);
    EXPECT_EQ(cc->Title, "Vier Bilder");
    EXPECT_EQ(cc->GetChildList()->Count(), 2);
}

TEST_F(CollageTest, PlayingWithoutTransitionsKeepsTheStoredForm) {
    // Started at 0 ms, as the player will start it.
    const Bytes data = Concat({PlayableData(-1, NoEvents(), true, 0), BitmapFields({}), NoEffects(),
                               Block(Bytes().str("Sommer"))});
    TSlideShow show;
    show.SlideShowProperties->DisableTransitions = true;
    auto* c = new TMergeSlideShowObject();
    ASSERT_TRUE(ReadItemBytes(*c, data.vec()));
    show.RootList().Add(c);
    AddTwoPictures(*c);
    c->InitializeAll(&player);
    c->Start();
    player.PlayTime = 10;
    c->Play(&player, false);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(20, 60), kRed);
    TMemoryStream m;
    TOKFStreamWinTypes s(&m, okfRaw);
    s.Header.ContentVersion = kSlideShowContentVersion;
    ASSERT_TRUE(c->WriteData(s));
    EXPECT_EQ(m.Bytes(), data.vec());
}

TEST_F(CollageTest, LaterChildrenLieOnTop) {
    TMergeSlideShowObject c;
    AddTwoPictures(c);
    c.InitializeAll(&player);
    ASSERT_TRUE(c.IsInitialized());
    EXPECT_EQ(Shown(c, 20, 60), kRed);
    EXPECT_EQ(Shown(c, 80, 60), kBlue);
    EXPECT_EQ(Shown(c, 140, 60), kBlue);
}

TEST_F(CollageTest, AlphaModeLeavesTheUncoveredPartTransparent) {
    struct Case {
        uint8_t BlendMode;
        uint8_t UncoveredAlpha;
    } cases[] = {{bmAlpha, 0}, {bmOpaque, 255}};
    for (const Case& k : cases) {
        SCOPED_TRACE(int(k.BlendMode));
        TMergeSlideShowObject c;
        c.BlendMode = k.BlendMode;
        c.FillBackground = false;
        c.BackgroundColor = 0xFF102030;
        AddPicture(*c.CreateChildList(), kRed, {0, 0, 0.5, 1});
        c.InitializeAll(&player);
        ASSERT_NE(c.Bitmap, nullptr);
        EXPECT_EQ(c.Bitmap->Pixel(20, 60), kRed);
        EXPECT_EQ(AlphaComponent(c.Bitmap->Pixel(120, 60)), k.UncoveredAlpha);
        // Drawn over grey: the transparent part lets it through.
        EXPECT_EQ(Shown(c, 120, 60), k.BlendMode == bmAlpha ? 0xFF808080 : 0xFF102030);
    }
}

TEST_F(CollageTest, TheEditorPreviewComposesWithTheChildrensOwnPreparation) {
    TMergeSlideShowObject c;
    AddTwoPictures(c);
    TBitmap32 editor;
    editor.SetSize(160, 120);
    EXPECT_TRUE(c.Prepare(editor));
    ASSERT_NE(c.Bitmap, nullptr);
    EXPECT_EQ(c.Bitmap->Width(), 160);
    EXPECT_EQ(Shown(c, 20, 60), kRed);
    EXPECT_EQ(Shown(c, 140, 60), kBlue);
    // Prepared once: a second call keeps the picture.
    TBitmap32* kept = c.Bitmap.get();
    c.Prepare(editor);
    EXPECT_EQ(c.Bitmap.get(), kept);
}

TEST_F(CollageTest, ANestedCollageIsDrawnAsOnePicture) {
    TMergeSlideShowObject outer;
    auto* inner = new TMergeSlideShowObject();
    inner->FillBackground = false;
    inner->KeepAspectRatio = false;
    inner->BackgroundColor = kGreen;
    inner->RelativeRect = {0, 0, 0.5, 1};
    inner->Transition.reset();
    AddPicture(*inner->CreateChildList(), kRed, {0.5, 0, 1, 1});
    outer.CreateChildList()->Add(inner);
    outer.InitializeAll(&player);
    // The inner picture squeezed into the left half: green, then red.
    EXPECT_EQ(Shown(outer, 20, 60), kGreen);
    EXPECT_EQ(Shown(outer, 60, 60), kRed);
    // Its child is not drawn again on its own in the outer picture.
    EXPECT_EQ(Shown(outer, 120, 60), 0xFF000000);
}

TEST_F(CollageTest, ComposedAgainAfterResetShowsTheChildren) {
    TMergeSlideShowObject c;
    AddTwoPictures(c);
    c.InitializeAll(&player);
    c.Reset();
    EXPECT_FALSE(c.IsPrepared());
    // The children stay prepared; the new picture must still show them.
    ASSERT_TRUE(::Supports<IPlayable>(c.GetChildList()->GetItem(0))->IsInitialized());
    c.InitializeAll(&player);
    EXPECT_EQ(Shown(c, 20, 60), kRed);
    EXPECT_EQ(Shown(c, 140, 60), kBlue);
}

TEST_F(CollageTest, APaintBoxOfNoSizeShowsThePlaceholder) {
    player.MakeBackBuffer(0, 0);
    TMergeSlideShowObject c;
    AddTwoPictures(c);
    c.InitializeAll(&player);
    EXPECT_EQ(c.Bitmap, nullptr);
    EXPECT_TRUE(c.IsPrepared());
    // The placeholder's white frame.
    EXPECT_EQ(Shown(c, 0, 0), clWhite32);
}

TEST_F(CollageTest, DurationAndStartReachTheChildren) {
    TMergeSlideShowObject c;
    AddTwoPictures(c);
    c.SetDuration(8000);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(c.GetChildList()->GetItem(i)->GetDuration(), 8000);
    c.StartTime = 3000;
    c.Start();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(::Supports<IPlayable>(c.GetChildList()->GetItem(i))->GetStartTime(), 3000);
}

TEST_F(CollageTest, WithoutChildrenNothingIsPreparedAndTheStartedEventFiresOnce) {
    TMergeSlideShowObject c;
    c.BeginInitializationStep(&player, -3);
    EXPECT_EQ(c.GetInitializationList()->Count(), 0);
    c.SetDuration(5000);
    c.StartTime = 0;
    c.Start();
    int fired = 0;
    int32_t result = 0;
    for (int32_t t : {0, 40, 1000}) {
        player.PlayTime = t;
        // The frame routine fires the started event while an item is in state 1.
        if (c.GetState() == psStarted) ++fired;
        result = c.Play(&player, false);
    }
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(c.GetState(), psPlaying);
    EXPECT_EQ(result, 4000);
}

TEST_F(CollageTest, FramesOfACollageOfFourPictures) {
    TBitmap32& back = player.MakeBackBuffer(320, 240, 0xFF000000);
    TMergeSlideShowObject c;
    c.BackgroundColor = 0xFF303030;
    c.RelativeRect = {0.05, 0.05, 0.95, 0.95};
    c.KeepAspectRatio = false;
    TSlideShowObjectList& kids = *c.CreateChildList();
    const TColor32 colors[] = {kRed, kGreen, kBlue, 0xFFE0C020};
    const TDoubleRect places[] = {{0.05, 0.05, 0.5, 0.5}, {0.5, 0.1, 0.95, 0.55}, {0.1, 0.5, 0.55, 0.95},
                                  {0.4, 0.35, 0.8, 0.8}};
    for (int i = 0; i < 4; ++i) {
        const std::string path = dir / ("k" + std::to_string(i) + ".png");
        WriteFileBytes(path, EncodePng(64, 48, [&](int x, int y) {
                           return (x / 8 + y / 8) % 2 ? colors[i] : Lighten(colors[i], 60);
                       }));
        auto* p = new TExtPicSlideShowObject();
        p->FileName = path;
        p->FillBackground = false;
        p->RelativeRect = places[i];
        kids.Add(p);
    }
    c.Transition = CreateTransition("TAlphablendingTransitionPlugin");
    c.SetDuration(5000);
    c.StartTime = 0;
    c.InitializeAll(&player);
    ASSERT_TRUE(c.IsInitialized());
    c.Start();
    for (int32_t t : {500, 2500}) {
        player.PlayTime = t;
        back.Clear(0xFF000000);
        c.Play(&player, false);
        SavePng(back, "collage_" + std::to_string(t) + ".png");
    }
    // The last child (yellow) over the third (blue), inside the collage's own place.
    const TColor32 p = back.Pixel(16 + int(0.5 * 288), 12 + int(0.7 * 216));
    EXPECT_GT(RedComponent(p), 150);
    EXPECT_LT(BlueComponent(p), 140);
    EXPECT_EQ(back.Pixel(5, 5), 0xFF303030);
}

}  // namespace
