// The picture, caption and sound composite: its stored form against fixture bytes, the
// caption's place for every layout, the fitted bitmap with the caption inside and outside
// the picture, the transition frames, its durations and the sound item it hands the
// player, and its sound interface, on a fake player and a fake sound system.
#include "PictureTestSupport.h"
#include "document/SoundTestSupport.h"

#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SoundSlideShowObject.h"
#include "foundation/RectTools.h"
#include "platform/Random.h"

#include <cmath>
#include <limits>

namespace {

using TComposite = TPicTextSoundCompositeSlideShowObject;

constexpr TColor32 kRed = 0xFFE02020, kYellow = 0xFFFFE000, kGrey = 0xFF808080;

Bytes FontRecord(const std::string& name, int32_t size) {
    const uint32_t n = uint32_t(17 + name.size());
    return Bytes().u32(n).u32(n).u32(0).str(name).i32(size).u8(0);
}

struct TCaptionFields {
    std::string Text;
    uint8_t DrawMode = 3, Alignment = 0, Layout = 2;
    double Rect[4] = {0, 0, 0, 0};
    bool Show = true;
};
Bytes CaptionBlock(const TCaptionFields& f = {}) {
    Bytes b;
    b.str(f.Text).raw(FontRecord("Arial", 20).vec()).u32(0xFFFFFFFF).u32(0xFF000000).u8(f.DrawMode).u8(f.Alignment)
        .u8(1).u8(f.Layout);
    for (double d : f.Rect) Dbl(b, d);
    return Block(b.u8(f.Show));
}

struct TSoundFields {
    std::string File;
    int32_t Length = -1;
    bool FromSound = true, FadeMusic = true;
    int32_t Volume = 255;
    uint8_t FadeOut = 1;
    bool WithFadeOutTime = true;
    int32_t FadeOutTime = 1000;
};
Bytes SoundBlock(const TSoundFields& f = {}) {
    Bytes b;
    b.str(f.File).i32(f.Length).u8(f.FromSound).u8(f.FadeMusic).i32(f.Volume).u8(f.FadeOut);
    if (f.WithFadeOutTime) b.i32(f.FadeOutTime);
    return Block(b);
}

Bytes CompositeData(const Bytes& playable, const Bytes& transition, const Bytes& caption, const Bytes& sound,
                    const std::string& file = "") {
    return Concat({playable, BitmapFields({}), PictureFields(file, 0), transition, caption, sound});
}

struct TMusicFade : IShowMusicProperties {
    void SetSlideShow(TSlideShow*) override {}
    bool HasMusic() const override { return true; }
    int32_t GetEndFadeTime() const override { return 2000; }
    int32_t GetSoundFadeTime() const override { return 300; }
    int32_t GetVolumeDuringSound() const override { return 40; }
    bool GetLowerObjectSounds() const override { return false; }
};

class CompositeTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        player.MakeBackBuffer(200, 150, kGrey);
        WriteFileBytes(picture, EncodePng(40, 30, [](int, int) { return kRed; }));
    }

    // A composite on the red picture with a large plain yellow caption, no transition.
    TComposite* Make(TSlideShowObjectList& list, const std::string& caption, uint8_t layout) {
        auto* c = new TComposite();
        list.Add(c);
        c->FileName = picture;
        c->Transition.reset();
        c->KeepAspectRatio = false;
        c->CaptionText = caption;
        c->CaptionLayout = layout;
        c->CaptionVectorText->Font.Size = -120;
        c->CaptionVectorText->DrawMode = vdmPlain;
        c->CaptionVectorText->Color = kYellow;
        return c;
    }

    TempDir dir;
    std::string picture = dir / "red.png";
    TFakeDrawingPlayer player;
    TFakeSoundSystem sounds;
    TInstalled<SetSoundSystem> installedSounds{sounds};
};

TEST_F(CompositeTest, ANewCompositeStoresItsDefaults) {
    TComposite item;
    const Bytes fixture = CompositeData(PlayableData(-1), RandomTransition(), CaptionBlock(), SoundBlock());
    std::unique_ptr<TComposite> back = StoreRoundTrip(item, fixture);
    ASSERT_NE(dynamic_cast<TRandomTransitionPlugin*>(back->Transition.get()), nullptr);
    EXPECT_EQ(back->CaptionLayout, capBottom);
    EXPECT_TRUE(back->ShowCaption);
    EXPECT_EQ(back->GetFont().Name, "Arial");
    EXPECT_EQ(back->SoundLength, -1);
    EXPECT_EQ(back->SoundFadeOutTime, 1000);
    auto* object = static_cast<TSlideShowObject*>(back.get());
    EXPECT_NE(::Supports<IComposite>(object), nullptr);
    EXPECT_NE(::Supports<ITextEffectHost>(object), nullptr);
    EXPECT_NE(::Supports<IText>(object), nullptr);
    EXPECT_TRUE(object->Supports(IID_ISound));
    EXPECT_EQ(back->GetLastInitializationStep(), 11);

    // Read by class name from a list run, and a copy keeps every field and the transition.
    TCaptionFields caption;
    caption.Text = "Am Meer";
    caption.Layout = 3;
    caption.Rect[2] = 0.5;
    TSoundFields sound;
    sound.File = "Musik\\welle.wav";
    sound.Length = 7000;
    const Bytes run = Concat({ListRun(1), ItemChunk("TPicTextSoundCompositeSlideShowObject",
                                                    CompositeData(PlayableData(4000), RandomTransition(),
                                                                  CaptionBlock(caption), SoundBlock(sound), "a.jpg"))});
    TSlideShowObjectList list;
    ASSERT_FALSE(ReadRunBytes(list, run.vec()).Failed);
    EXPECT_EQ(WriteRunBytes(list), run.vec());
    TSlideShowObjectPtr copy(list.GetItem(0)->Clone());
    TSlideShowObjectList other;
    other.Add(copy.release());
    EXPECT_EQ(WriteRunBytes(other), run.vec());
}

TEST_F(CompositeTest, Version0x301HasNoFadeOutTimeAndKeeps1000) {
    TSoundFields old;
    old.File = "a.wav";
    old.WithFadeOutTime = false;
    TComposite item;
    ASSERT_TRUE(ReadItemBytes(item, CompositeData(PlayableData(-1), NoTransition(), CaptionBlock(), SoundBlock(old)).vec(),
                              0x301));
    EXPECT_EQ(item.SoundFadeOutTime, 1000);
    EXPECT_EQ(item.Transition, nullptr);
    old.WithFadeOutTime = true;
    EXPECT_EQ(ItemDataBytes(item), CompositeData(PlayableData(-1), NoTransition(), CaptionBlock(), SoundBlock(old)).vec());
}

TEST_F(CompositeTest, DamagedValuesAreTakenIntoTheirRanges) {
    TCaptionFields caption;
    caption.Layout = 9;
    caption.DrawMode = 77;
    caption.Alignment = 5;
    caption.Rect[1] = std::numeric_limits<double>::quiet_NaN();
    caption.Rect[2] = std::numeric_limits<double>::infinity();
    struct TCase {
        int32_t Length, Volume;
        uint8_t FadeOut;
        int32_t WantLength, WantVolume;
        uint8_t WantFadeOut;
    } cases[] = {{-9, 300, 7, -1, 255, 1}, {5000, -5, 2, 5000, 0, 2}};
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.Volume);
        TSoundFields sound;
        sound.Length = k.Length;
        sound.Volume = k.Volume;
        sound.FadeOut = k.FadeOut;
        // A registered class that is no transition makes none.
        const Bytes wrongKind = TransitionBlock("TExtPicSlideShowObject", TransitionBase());
        TComposite item;
        ASSERT_TRUE(ReadItemBytes(item, CompositeData(PlayableData(-1), wrongKind, CaptionBlock(caption),
                                                      SoundBlock(sound)).vec()));
        EXPECT_EQ(item.Transition, nullptr);
        EXPECT_EQ(item.SoundLength, k.WantLength);
        EXPECT_EQ(item.SoundVolume, k.WantVolume);
        EXPECT_EQ(item.SoundFadeOut, k.WantFadeOut);
        EXPECT_EQ(item.CaptionRect, (TDoubleRect{0, 0, 0, 0}));
        EXPECT_EQ(item.CaptionVectorText->DrawMode, vdmDropShadow);
        EXPECT_EQ(item.CaptionVectorText->Alignment, 0);
        // A layout beyond the known ones keeps its value and takes the whole target.
        EXPECT_EQ(item.CaptionLayout, 9);
        item.CaptionBounds = MakeFixedRect(0, 0, 50 * FixedOne, 30 * FixedOne);
        EXPECT_EQ(item.GetCaptionRect(TRect{10, 10, 20, 20}, TRect{5, 6, 300, 200}),
                  FixedRectFromRect(TRect{5, 6, 300, 200}));
    }
}

TEST_F(CompositeTest, CaptionAreaForEveryLayoutOnTargetsAwayFromTheOrigin) {
    const TRect t{100, 50, 500, 350}, p{150, 60, 450, 340};
    struct TCase {
        uint8_t Layout;
        int32_t Height;  // of the measured caption; 0 unmeasured
        TRect Want;
    } cases[] = {
        {capWhole, 30, t},
        {capMiddle, 0, t},
        {capMiddle, 30, {100, 185, 500, 350}},
        {capBottom, 0, {100, 350, 500, 350}},
        {capBottom, 30, {100, 320, 500, 350}},
        {capRect, 30, {140, 110, 300, 230}},
        {capBelowPicture, 0, {150, 340, 450, 350}},
        // The picture ends 10 pixels above the target's bottom, the caption is 30 high:
        // moved up by the 20 pixels it passes the bottom.
        {capBelowPicture, 30, {150, 320, 450, 350}},
        {capBelowPicture, 5, {150, 340, 450, 345}},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(std::to_string(k.Layout) + " " + std::to_string(k.Height));
        TComposite item;
        item.CaptionLayout = k.Layout;
        item.CaptionRect = {0.1, 0.2, 0.5, 0.6};
        item.CaptionBounds = MakeFixedRect(3 * FixedOne, 7 * FixedOne, 90 * FixedOne, (7 + k.Height) * FixedOne);
        if (k.Height == 0) item.CaptionBounds = TFixedRect{};
        EXPECT_EQ(item.GetCaptionRect(p, t), FixedRectFromRect(k.Want));
    }
    // CaptionRect of no size is the whole target.
    TComposite item;
    item.CaptionLayout = capRect;
    EXPECT_EQ(item.GetCaptionRect(p, t), FixedRectFromRect(t));
}

TEST_F(CompositeTest, ACaptionOutsideThePictureMakesABlendedUnionBitmap) {
    TSlideShow show;
    TComposite* c = Make(show.RootList(), "Hallo", capBottom);
    c->FillBackground = false;
    c->RelativeRect = {0.1, 0.1, 0.9, 0.6};  // the picture at (20, 15)-(180, 90)
    c->InitializeAll(&player);
    ASSERT_TRUE(c->IsInitialized());
    ASSERT_NE(c->Bitmap, nullptr);
    EXPECT_TRUE(c->NeedsBlend);
    const TRect caption = OuterPixelRect(c->GetCaptionRect(TRect{20, 15, 180, 90}, TRect{0, 0, 200, 150}));
    EXPECT_EQ(caption.Bottom, 150);
    EXPECT_GT(caption.Top, 90);
    // The union of picture and caption, the caption reaching the target's left edge.
    EXPECT_EQ(c->Bitmap->Width(), 200);
    EXPECT_EQ(c->Bitmap->Height(), 150 - 15);
    EXPECT_EQ(c->Bitmap->Pixel(100, 30), kRed);
    EXPECT_EQ(AlphaComponent(c->Bitmap->Pixel(5, 5)), 0);
    // Edge pixels of the glyphs: the caption's colour, their coverage as alpha.
    int edges = 0, solid = 0;
    for (int y = caption.Top - 15; y < c->Bitmap->Height(); ++y)
        for (int x = 0; x < 200; ++x) {
            const TColor32 px = c->Bitmap->Pixel(x, y);
            const uint8_t a = AlphaComponent(px);
            if (a == 255) ++solid;
            if (a == 0 || a == 255) continue;
            ++edges;
            EXPECT_EQ(px & 0x00FFFFFF, kYellow & 0x00FFFFFF) << x << "," << y;
        }
    EXPECT_GT(edges, 20);
    EXPECT_GT(solid, 20);
    // Played over grey: what is neither picture nor caption lets the grey through.
    c->Start();
    c->StartTime = 0;
    player.PlayTime = 10;
    c->Play(&player, false);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(5, 20), kGrey);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(100, 40), kRed);
    SavePng(player.OwnBackBuffer, "composite-caption-outside.png");
    // Drawn into a collage's picture the same way.
    TBitmap32 target;
    target.SetSize(200, 150);
    target.Clear(kGrey);
    c->DrawTo(target, true);
    EXPECT_EQ(target.Pixel(5, 20), kGrey);
    EXPECT_EQ(target.Pixel(100, 40), kRed);
    EXPECT_TRUE(c->NeedsBackground());
}

TEST_F(CompositeTest, ACaptionInsideThePictureKeepsItOpaque) {
    struct TCase {
        bool FillBackground;
        TDoubleRect Rel;
        int W, H;
    } cases[] = {{false, {0, 0, 1, 1}, 200, 150}, {true, {0.1, 0.1, 0.9, 0.6}, 200, 150}};
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.FillBackground);
        TSlideShow show;
        TComposite* c = Make(show.RootList(), "Hallo", capBottom);
        c->FillBackground = k.FillBackground;
        c->RelativeRect = k.Rel;
        c->InitializeAll(&player);
        ASSERT_NE(c->Bitmap, nullptr);
        EXPECT_FALSE(c->NeedsBlend);
        EXPECT_EQ(c->Bitmap->Width(), k.W);
        EXPECT_EQ(c->Bitmap->Height(), k.H);
        int transparent = 0, yellow = 0;
        for (int y = 0; y < c->Bitmap->Height(); ++y)
            for (int x = 0; x < c->Bitmap->Width(); ++x) {
                transparent += AlphaComponent(c->Bitmap->Pixel(x, y)) != 255;
                yellow += c->Bitmap->Pixel(x, y) == kYellow;
            }
        EXPECT_EQ(transparent, 0);
        EXPECT_GT(yellow, 20);
    }
}

// Transition frames first, then the fitted bitmap with its caption; written for review.
TEST_F(CompositeTest, TransitionFramesThenTheCaptionedPicture) {
    for (uint8_t layout : {capBottom, capBelowPicture}) {
        SCOPED_TRACE(int(layout));
        RandSeed(19);
        TSlideShow show;
        TComposite* c = Make(show.RootList(), "Sommer am See", layout);
        c->Transition = std::make_unique<TRandomTransitionPlugin>();
        c->Transition->Duration = 1000;
        c->FillBackground = layout == capBottom;
        c->BackgroundColor = 0xFF102040;
        c->RelativeRect = {0.15, 0.05, 0.85, 0.7};
        c->CaptionVectorText->DrawMode = vdmDropShadow;
        c->CaptionVectorText->Font.Size = -90;
        c->CaptionVectorText->Alignment = 2;
        c->SetDuration(4000);
        c->InitializeAll(&player);
        ASSERT_TRUE(c->IsInitialized());
        c->Start();
        c->StartTime = 0;
        player.OwnBackBuffer.Clear(kGrey);
        // As the player does: what a frame covered is put back before the next one.
        for (int32_t t : {100, 250, 500, 750}) {
            c->RestoreBackground(&player);
            player.PlayTime = t;
            EXPECT_EQ(c->Play(&player, false), -1) << t;
            SavePng(player.OwnBackBuffer, "composite-layout" + std::to_string(layout) + "-" + std::to_string(t) + ".png");
        }
        c->RestoreBackground(&player);
        player.PlayTime = 1500;
        EXPECT_EQ(c->Play(&player, false), 2500);
        SavePng(player.OwnBackBuffer, "composite-layout" + std::to_string(layout) + "-1500.png");
        const TRect p = RelToAbsRect(c->RelativeRect, TRect{0, 0, 200, 150});
        EXPECT_EQ(player.OwnBackBuffer.Pixel(p.Left + 5, p.Top + 5), kRed);
        int yellow = 0;
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x) yellow += player.OwnBackBuffer.Pixel(x, y) == kYellow;
        EXPECT_GT(yellow, 20);
    }
}

TEST_F(CompositeTest, PlayingWithoutTransitionsKeepsTheStoredTransition) {
    const Bytes data = CompositeData(PlayableData(-1, NoEvents(), true, 0), RandomTransition(), CaptionBlock(),
                                     SoundBlock(), picture);
    TSlideShow show;
    show.SlideShowProperties->DisableTransitions = true;
    auto* c = new TComposite();
    ASSERT_TRUE(ReadItemBytes(*c, data.vec()));
    show.RootList().Add(c);
    c->InitializeAll(&player);
    ASSERT_TRUE(c->IsInitialized());
    c->Start();
    player.PlayTime = 10;
    // No transition frame: the picture at once.
    EXPECT_GT(c->Play(&player, false), 0);
    EXPECT_EQ(player.OwnBackBuffer.Pixel(100, 75), kRed);
    EXPECT_EQ(ItemDataBytes(*c), data.vec());
}

TEST_F(CompositeTest, AMissingPictureShowsThePlaceholderAndFailsItsStep) {
    TSlideShow show;
    TComposite* c = Make(show.RootList(), "Hallo", capBottom);
    c->FileName = dir / "fehlt.png";
    EXPECT_FALSE(c->ExecuteInitializationStep(&player, 1));
    EXPECT_TRUE(c->LoadFailed);
    TBitmap32 target;
    target.SetSize(200, 150);
    target.Clear(kGrey);
    c->DrawTo(target, true);
    EXPECT_EQ(target.Pixel(0, 0), clWhite32);
    EXPECT_EQ(target.Pixel(100, 140), clBlack32);
}

TEST_F(CompositeTest, DurationsAndTheSoundItemEndingWithIt) {
    static TMusicFade fade;
    struct TCase {
        const char* File;
        int32_t Length, Own;
        bool FromSound, FadeMusic;
        int32_t Want;
        bool SoundFromSound;
    } cases[] = {
        {"a.wav", 7000, -1, true, true, 7600, true},
        {"", 7000, -1, true, true, 5000, false},
        {"a.wav", 2000, 5000, false, true, 5600, true},
        {"a.wav", 9000, 5000, false, true, 5600, false},
        {"a.wav", 9000, 5000, false, false, 5000, false},
        {"a.wav", -1, -1, true, true, 5600, true},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(std::to_string(k.Length) + " " + std::to_string(k.Own) + " " + k.File);
        TFakeShow show;
        show.Music = &fade;
        auto* c = new TComposite();
        show.Root.Add(c);
        c->SoundFileName = k.File;
        c->SoundLength = k.Length;
        c->SetDuration(k.Own);
        c->DurationFromSound = k.FromSound;
        c->FadeMusic = k.FadeMusic;
        c->SoundVolume = 180;
        c->StartTime = 1234;
        EXPECT_EQ(c->GetDuration(), k.Want);
        TSlideShowObjectList* list = c->GetSoundObjects();
        ASSERT_NE(list, nullptr);
        if (!*k.File) {
            EXPECT_EQ(list->Count(), 0);
            continue;
        }
        ASSERT_EQ(list->Count(), 1);
        auto* s = dynamic_cast<TSoundSlideShowObject*>(list->GetItem(0));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->DurationFromSound, k.SoundFromSound);
        EXPECT_EQ(s->FileName, "a.wav");
        EXPECT_EQ(s->GetStartTime(), 1234);
        EXPECT_EQ(s->Volume, 180);
        EXPECT_EQ(s->FadeMusic, k.FadeMusic);
        EXPECT_EQ(s->GetSlideShow(), &show);
        // Ends with the composite, or earlier with a shorter sound of its own length.
        if (k.SoundFromSound && k.Length >= 0 && k.Length < k.Own)
            EXPECT_EQ(s->GetDuration(), k.Length + 600);
        else
            EXPECT_EQ(s->GetDuration(), c->GetDuration());
        // Asked again, the same item is set up afresh.
        EXPECT_EQ(c->GetSoundObjects()->GetItem(0), s);
    }
}

TEST_F(CompositeTest, TheSoundInterfaceAnswersForTheSound) {
    TFakeShow show;
    auto* c = new TComposite();
    show.Root.Add(c);
    c->FileName = "bild.jpg";
    ISound* sound = c;
    sounds.Length = 4321;
    show.Changes.clear();
    sound->ChangeFileName("ton.wav");
    EXPECT_EQ(c->SoundFileName, "ton.wav");
    EXPECT_EQ(c->SoundLength, 4321);
    ASSERT_EQ(show.Changes.size(), 1u);
    EXPECT_EQ(show.Changes[0].Flags, ocVisual);
    // A file that does not open keeps the length.
    sounds.FilesOpen = false;
    sound->ChangeFileName("kaputt.wav");
    EXPECT_EQ(c->SoundLength, 4321);
    EXPECT_EQ(sound->CreateSound(), nullptr);
    sounds.FilesOpen = true;
    const std::unique_ptr<ISlideShowSound> created = sound->CreateSound();
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(static_cast<TFakeSound*>(created.get())->OpenedName, "/show/kaputt.wav");
    EXPECT_TRUE(sound->HasFile());
    EXPECT_EQ(sound->GetResolvedFileName(), "/show/kaputt.wav");
    // The file references speak of the picture, with the sound beside it.
    IFileReferences* files = c;
    EXPECT_EQ(files->GetResolvedFileName(), "/show/bild.jpg");
    EXPECT_EQ(files->GetFileNames(), (std::vector<AnsiString>{"bild.jpg", "kaputt.wav"}));
    EXPECT_EQ(files->GetResolvedFileNames(), (std::vector<AnsiString>{"/show/bild.jpg", "/show/kaputt.wav"}));
    EXPECT_EQ(files->GetFileCount(), 1);
    files->ReplaceFileName("/show/kaputt.wav", "neu.wav");
    EXPECT_EQ(c->SoundFileName, "neu.wav");
    EXPECT_EQ(c->FileName, "bild.jpg");

    // Sound and fade come from the sound item once it is open.
    EXPECT_EQ(sound->GetSound(), nullptr);
    sound->Fade(&player, 10, 100);
    EXPECT_TRUE(player.Queue.empty());
    auto* item = dynamic_cast<TSoundSlideShowObject*>(c->GetSoundObjects()->GetItem(0));
    ASSERT_NE(item, nullptr);
    item->ExecuteInitializationStep(&player, 0);
    ASSERT_NE(item->GetSound(), nullptr);
    EXPECT_EQ(sound->GetSound(), item->GetSound());
    sound->Fade(&player, 10, 100);
    ASSERT_EQ(player.Queue.size(), 1u);
    EXPECT_EQ(item->FadeEvent.get(), player.Queue[0].get());

    // Releasing the composite silences its sound item, which the player may still hold.
    c->ReleaseResources();
    EXPECT_EQ(item->GetSound(), nullptr);
    EXPECT_EQ(item->GetDuration(), 0);
    EXPECT_EQ(c->GetSoundObjects()->GetItem(0), item);
    EXPECT_EQ(item->FileName, "neu.wav");
}

// In the editor the picture's rectangle and, with the caption in its own rectangle, that
// one are moved with the mouse; each sets its own relative rectangle.
TEST_F(CompositeTest, TheEditorMovesThePictureAndTheCaptionRectangle) {
    TBitmap32 editor{200, 100}, overlay{200, 100};
    auto at = [&](int x, int y) {
        TPreviewEditorMouseInfo info;
        info.X = x;
        info.Y = y;
        info.Shift = ssLeft;
        info.Bitmap = &editor;
        info.Target = &overlay;
        info.AreaRect = TRect{0, 0, 200, 100};
        return info;
    };
    struct TCase {
        uint8_t Layout;
        int Rectangles;
    } cases[] = {{capBottom, 1}, {capRect, 2}};
    for (const TCase& k : cases) {
        SCOPED_TRACE(int(k.Layout));
        TFakeShow show;
        auto* c = new TComposite();
        show.Root.Add(c);
        c->RelativeRect = {0.25, 0.0, 0.75, 0.5};    // (50, 0, 150, 50)
        c->CaptionRect = {0.25, 0.6, 0.75, 0.9};     // (50, 60, 150, 90)
        c->CaptionText = "Hallo";
        c->CaptionLayout = k.Layout;
        EXPECT_EQ(c->GetEditorCursor(at(100, 75)), k.Rectangles == 2 ? crSizeAll : crDefault);
        auto* h = dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(c->EditorHelper.get());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->Count(), k.Rectangles);
        // The caption's rectangle moves by (10, -10) where there is one.
        EXPECT_EQ(c->EditorMouseDown(at(100, 75)), k.Rectangles == 2);
        c->EditorMouseMove(at(110, 65));
        c->EditorMouseUp(at(110, 65));
        EXPECT_EQ(c->CaptionRect, k.Rectangles == 2 ? (TDoubleRect{0.3, 0.5, 0.8, 0.8}) : (TDoubleRect{0.25, 0.6, 0.75, 0.9}));
        // The picture's rectangle moves by (-20, 10).
        ASSERT_TRUE(c->EditorMouseDown(at(100, 25)));
        c->EditorMouseMove(at(80, 35));
        c->EditorMouseUp(at(80, 35));
        EXPECT_EQ(c->RelativeRect, (TDoubleRect{0.15, 0.1, 0.65, 0.6}));
        c->PaintEditor(at(0, 0));
    }
}

}  // namespace
