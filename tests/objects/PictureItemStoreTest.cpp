// Stored forms of the picture items, against fixtures written byte by byte.
#include "PictureTestSupport.h"

#include "transitions/PicBoxTransitions.h"
#include "transitions/PicTransitions.h"

namespace {

class PictureStoreTest : public ::testing::Test {
protected:
    void SetUp() override { PictureTestPlugins(); }
};

TEST_F(PictureStoreTest, StillPictureWithDefaults) {
    TPicSlideShowObject item;
    auto back = StoreRoundTrip(item, StillPictureData({}, PictureFields("", 0)));
    EXPECT_TRUE(back->KeepAspectRatio);
    EXPECT_TRUE(back->Stretch);
    EXPECT_TRUE(back->FillBackground);
    EXPECT_EQ(back->BackgroundColor, 0xFF000000u);
    EXPECT_EQ(back->RelativeRect, (TDoubleRect{0, 0, 1, 1}));
    EXPECT_EQ(back->GetDisplayName(), "");
}

TEST_F(PictureStoreTest, StillPictureWithEveryFieldSet) {
    TPicSlideShowObject item;
    item.KeepAspectRatio = false;
    item.Alignment = baBottomRight;
    item.RelativeRect = {0.125, 0.25, 0.75, 0.875};
    item.Stretch = false;
    item.FillBackground = false;
    item.BackgroundColor = 0x80112233;
    item.BlendMode = bmMultiply;
    item.FileName = "C:\\Bilder\\bild.jpg";
    item.ExifState = 2;
    const TBitmapFields f{false, baBottomRight, 0.125, 0.25, 0.75, 0.875, false, false, 0x80112233, bmMultiply};
    auto back = StoreRoundTrip(item, StillPictureData(f, PictureFields("C:\\Bilder\\bild.jpg", 2)));
    EXPECT_EQ(back->Alignment, baBottomRight);
    EXPECT_EQ(back->RelativeRect, (TDoubleRect{0.125, 0.25, 0.75, 0.875}));
    EXPECT_EQ(back->BlendMode, bmMultiply);
    EXPECT_EQ(back->FileName, "C:\\Bilder\\bild.jpg");
    EXPECT_EQ(back->ExifState, 2);
    EXPECT_EQ(back->GetDisplayName(), "bild.jpg");
}

TEST_F(PictureStoreTest, ValuesOutsideTheirRangesStayAsStored) {
    // An unknown alignment and blend mode, an inverted rectangle: read and written as
    // they are, whatever drawing makes of them.
    const TBitmapFields f{true, 200, 0.9, 0.8, 0.1, 0.2, true, true, 0xFF000000, 99};
    const Bytes fixture = StillPictureData(f, PictureFields("a.png", 0));
    TPicSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, fixture));
    EXPECT_EQ(item.Alignment, 200);
    EXPECT_EQ(item.BlendMode, 99);
    EXPECT_EQ(item.RelativeRect, (TDoubleRect{0.9, 0.8, 0.1, 0.2}));
    EXPECT_EQ(ItemDataBytes(item), fixture.vec());
}

TEST_F(PictureStoreTest, EffectsPictureWithDefaultsHasARandomTransition) {
    TExtPicSlideShowObject item;
    ASSERT_NE(item.Transition, nullptr);
    EXPECT_EQ(item.Transition->ClassName(), "TRandomTransitionPlugin");
    auto back = StoreRoundTrip(item, EffectsData({}, NoEffects(), PictureFields("", 0)));
    ASSERT_NE(back->Transition, nullptr);
    EXPECT_EQ(back->OpacityCurve, nullptr);
    EXPECT_EQ(back->MotionPath, nullptr);
}

TEST_F(PictureStoreTest, EachCurveAndThePathPresentAndAbsent) {
    const Bytes opacity = IntCurve({{0, false, 0}, {1000, true, 255}});
    const Bytes rotation = IntCurve({{500, false, 9000}});
    const Bytes scale = IntCurve({{0, false, 100}, {250, false, 5000}, {900, true, 10000}});
    const Bytes path = PathCurve({{0, false, 500000, 500000}, {3000, true, -20000, 1200000}});
    const Bytes none = NoCurve();
    struct Case {
        const char* Name;
        Bytes Blocks;
        bool Opacity, Rotation, Scale, Path;
    };
    const Case cases[] = {
        {"none", Concat({none, none, none, none}), false, false, false, false},
        {"opacity", Concat({opacity, none, none, none}), true, false, false, false},
        {"rotation", Concat({none, rotation, none, none}), false, true, false, false},
        {"scale", Concat({none, none, scale, none}), false, false, true, false},
        {"path", Concat({none, none, none, path}), false, false, false, true},
        {"all", Concat({opacity, rotation, scale, path}), true, true, true, true},
        // A curve stored with no keys is there, empty.
        {"empty opacity", Concat({Block(Bytes().i32(1).i32(0)), none, none, none}), true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes fixture = EffectsData({}, Concat({c.Blocks, RandomTransition()}), PictureFields("x.jpg", 0));
        TExtPicSlideShowObject item;
        ASSERT_TRUE(ReadItemBytes(item, fixture));
        EXPECT_EQ(item.OpacityCurve != nullptr, c.Opacity);
        EXPECT_EQ(item.RotationCurve != nullptr, c.Rotation);
        EXPECT_EQ(item.ScaleCurve != nullptr, c.Scale);
        EXPECT_EQ(item.MotionPath != nullptr, c.Path);
        EXPECT_EQ(ItemDataBytes(item), fixture.vec());
        // Curves get their owner's range, the path stays unclamped.
        if (item.OpacityCurve) {
            EXPECT_EQ(item.OpacityCurve->MaxValue, 255);
        }
        if (item.RotationCurve) {
            EXPECT_EQ(item.RotationCurve->MaxValue, 35999);
        }
        if (item.ScaleCurve) {
            EXPECT_EQ(item.ScaleCurve->MaxValue, 10000);
        }
        if (item.MotionPath) {
            EXPECT_FALSE(item.MotionPath->Clamp);
            TVector2D p;
            item.MotionPath->GetValue(3000, p);
            EXPECT_EQ(p, (TVector2D{-20000, 1200000}));
        }
    }
}

TEST_F(PictureStoreTest, ATransitionOfEachFamily) {
    const Bytes box = Concat({TransitionBase(true, 1500), Bytes().i32(300).i32(12).u8(2).u8(1).u8(0).u8(1)});
    struct Case {
        const char* ClassName;
        Bytes Data;
    };
    const Case cases[] = {
        {"TRandomTransitionPlugin", TransitionBase(false, 4000)},
        {"TAlphablendingTransitionPlugin", TransitionBase(true, 750)},
        {"TBoxRadarTransitionPlugin", box},
        {"TMovePictureTransitionPlugin", Concat({TransitionBase(), Bytes().u8(3).u8(1).u8(0)})},
        {"TBlindTransitionPlugin", Concat({TransitionBase(), Bytes().u8(1).i32(9).u8(0).u8(1)})},
        {"TStripeTransitionPlugin", Concat({TransitionBase(), Bytes().u8(2).i32(17).u8(1)})},
        {"TBoxWoodTransitionPlugin", box},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ClassName);
        const Bytes fixture =
            EffectsData({}, NoEffects(TransitionBlock(c.ClassName, c.Data)), PictureFields("x.jpg", 0));
        TExtPicSlideShowObject item;
        ASSERT_TRUE(ReadItemBytes(item, fixture));
        ASSERT_NE(item.Transition, nullptr);
        EXPECT_EQ(item.Transition->ClassName(), c.ClassName);
        EXPECT_EQ(ItemDataBytes(item), fixture.vec());
    }
    // Flag 0: no transition, and none is written back.
    const Bytes none = EffectsData({}, NoEffects(NoTransition()), PictureFields("x.jpg", 0));
    TExtPicSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, none));
    EXPECT_EQ(item.Transition, nullptr);
    EXPECT_EQ(ItemDataBytes(item), none.vec());
}

TEST_F(PictureStoreTest, AnUnknownTransitionIsSkippedAndTheRestRead) {
    // A class that no module registers, and one that is registered but no transition.
    for (const char* name : {"TFancyTransitionPlugin", "TExtPicSlideShowObject"}) {
        SCOPED_TRACE(name);
        const Bytes fixture = EffectsData(
            {}, NoEffects(TransitionBlock(name, Bytes().u8(1).i32(5).raw("more settings"))),
            PictureFields("C:\\Bilder\\weiter.jpg", 2));
        TExtPicSlideShowObject item;
        ASSERT_TRUE(ReadItemBytes(item, fixture));
        EXPECT_EQ(item.Transition, nullptr);
        EXPECT_EQ(item.FileName, "C:\\Bilder\\weiter.jpg");
        EXPECT_EQ(item.ExifState, 2);
    }
}

TEST_F(PictureStoreTest, DamagedEffectsFailTheItem) {
    // A curve whose key class is not a key of its kind; a block whose length runs past
    // the data.
    const Bytes wrongKeys = Block(Bytes().i32(1).i32(1).str("TTimeVector2DValue").i32(0).u8(0).i32(1).i32(2));
    TExtPicSlideShowObject item;
    EXPECT_FALSE(ReadItemBytes(item, EffectsData({}, Concat({wrongKeys, NoCurve(), NoCurve(), NoCurve(),
                                                               RandomTransition()}),
                                                 PictureFields("", 0))));
    Bytes cut = EffectsData({}, NoEffects(), PictureFields("", 0));
    std::vector<uint8_t> shortened(cut.vec().begin(), cut.vec().end() - 20);
    TExtPicSlideShowObject other;
    EXPECT_FALSE(ReadItemBytes(other, shortened));
}

TEST_F(PictureStoreTest, ExifStates) {
    const Bytes view = ExifView("raw exif bytes", "", "Urlaub");
    struct Case {
        uint8_t State;
        Bytes Picture;
        bool HasView;
    };
    const Case cases[] = {
        {0, PictureFields("a.jpg", 0), false},
        {1, PictureFields("a.jpg", 1, view), true},
        {2, PictureFields("a.jpg", 2), false},
        // A view stored without metadata is a view with no container.
        {1, PictureFields("a.jpg", 1, Block(Bytes())), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.State));
        for (bool effects : {false, true}) {
            const Bytes fixture = effects ? EffectsData({}, NoEffects(), c.Picture) : StillPictureData({}, c.Picture);
            std::unique_ptr<TBaseBitmapSlideShowObject> item;
            if (effects) item = std::make_unique<TExtPicSlideShowObject>();
            else item = std::make_unique<TPicSlideShowObject>();
            ASSERT_TRUE(ReadItemBytes(*item, fixture));
            EXPECT_EQ(ItemDataBytes(*item), fixture.vec());
            // (The still kind looks for a view of state 0 when asked: the file is missing.)
            auto* exif = dynamic_cast<IExifProvider*>(item.get());
            ASSERT_NE(exif, nullptr);
            EXPECT_EQ(exif->GetExif() != nullptr, c.HasView);
        }
    }
    // The view is read from the document, not from the file (which does not exist).
    TPicSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, StillPictureData({}, PictureFields("a.jpg", 1, view))));
    EXPECT_TRUE(item.HasExif());
    EXPECT_EQ(GetComment(item.GetExif()), "Urlaub");
    // State 2 is not looked for again.
    TPicSlideShowObject none;
    ASSERT_TRUE(ReadItemBytes(none, StillPictureData({}, PictureFields("a.jpg", 2))));
    EXPECT_FALSE(none.HasExif());
    EXPECT_EQ(none.ExifState, 2);
}

TEST_F(PictureStoreTest, ExifStateOneWithoutAViewCannotBeSaved) {
    TPicSlideShowObject item;
    item.ExifState = 1;
    EXPECT_FALSE(item.SaveToStream(*std::make_unique<TMemoryStream>()));
}

TEST_F(PictureStoreTest, OnlyThePictureWithEffectsIsAPlugin) {
    EXPECT_NE(FindSlideShowObjectClass("TExtPicSlideShowObject"), nullptr);
    EXPECT_EQ(FindSlideShowObjectClass("TPicSlideShowObject"), nullptr);
    EXPECT_EQ(PluginCaption(TExtPicSlideShowObject::StaticClassInfo()), "Bild mit Effekten");
    EXPECT_EQ(PluginCaption(TPicSlideShowObject::StaticClassInfo()), "Bild");
    EXPECT_FALSE(Plugins->IsRegistered(TPicSlideShowObject::StaticClassInfo()));
}

TEST_F(PictureStoreTest, ItemsInAShowFileResaveIdentically) {
    const Bytes effects = EffectsData({true, 3, 0.1, 0.2, 0.6, 0.9, true, false, 0xFF204060, bmAlpha},
                                      Concat({IntCurve({{0, false, 0}, {1000, false, 255}}), NoCurve(), NoCurve(),
                                              PathCurve({{0, false, 350000, 550000}}),
                                              TransitionBlock("TAlphablendingTransitionPlugin", TransitionBase())}),
                                      PictureFields("Bilder\\b.png", 0));
    const Bytes plain = EffectsData({}, NoEffects(NoTransition()), PictureFields("a.jpg", 1, ExifView("", "", "Kommentar")));
    const Bytes run = Concat({ListRun(2), ItemChunk("TExtPicSlideShowObject", effects),
                              ItemChunk("TExtPicSlideShowObject", plain)});
    TSlideShowObjectList list;
    TReadOutcome r = ReadRunBytes(list, run.vec());
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Dropped, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(WriteRunBytes(list), run.vec());
}

}  // namespace
