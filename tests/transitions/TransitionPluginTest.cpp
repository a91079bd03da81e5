// The transition classes as a family: registration, stored forms, copies, lists, frames
// and the random choice.
#include "TransitionTestSupport.h"

#include <algorithm>

namespace {

struct TClassRow {
    const char* Name;
    const char* Caption;
};

// Registration order and captions (Windows-1252).
const TClassRow kClasses[] = {
    {"TRandomTransitionPlugin", "Zuf\xE4llige \xDC" "berblendung"},
    {"TAlphablendingTransitionPlugin", "Alphablending"},
    {"TBoxTopLeftToBottomRightTransitionPlugin", "Rechtecke (von links oben)"},
    {"TBoxTopRightToBottomLeftTransitionPlugin", "Rechtecke (von rechts oben)"},
    {"TBoxBottomLeftToTopRightTransitionPlugin", "Rechtecke (von links unten)"},
    {"TBoxBottomRightToTopLeftTransitionPlugin", "Rechtecke (von rechts unten)"},
    {"TBoxRandomTransitionPlugin", "Rechtecke (zuf\xE4llig)"},
    {"TBoxAllSimultaneousTransitionPlugin", "Rechtecke (gleichzeitig)"},
    {"TBoxCircleGrowTransitionPlugin", "Kreis (gr\xF6\xDF" "er werdend)"},
    {"TBoxCircleShrinkTransitionPlugin", "Kreis (kleiner werdend)"},
    {"TBoxCircleRingTransitionPlugin", "Kreisringe"},
    {"TBoxSmallCirclesTransitionPlugin", "kleine Kreise"},
    {"TBoxMODEffectTransitionPlugin", "MOD-Effekt"},
    {"TBoxRadarTransitionPlugin", "Radar"},
    {"TBoxSpiralRadarTransitionPlugin", "Spiral-Radar"},
    {"TBoxQuarterRadarTransitionPlugin", "Viertel-Radar"},
    {"TBoxQuarterSpiralRadarTransitionPlugin", "Viertel-Spiral-Radar"},
    {"TMovePictureTransitionPlugin", "Schieben"},
    {"TBlindTransitionPlugin", "Jalousie"},
    {"TStripeTransitionPlugin", "Streifen"},
    {"TBoxDropsTransitionPlugin", "Tropfen"},
    {"TBoxDropsFadeTransitionPlugin", "Tropfenverlauf"},
    {"TBoxDownEffect1TransitionPlugin", "Verlauf nach unten 1"},
    {"TBoxDownEffect2TransitionPlugin", "Verlauf nach unten 2"},
    {"TBoxDownEffect3TransitionPlugin", "Verlauf nach unten 3"},
    {"TBoxDownEffect4TransitionPlugin", "Verlauf nach unten 4"},
    {"TBoxDownEffect5TransitionPlugin", "Verlauf nach unten 5"},
    {"TBoxDownEffect6TransitionPlugin", "Verlauf nach unten 6"},
    {"TBoxDownEffect7TransitionPlugin", "Verlauf nach unten 7"},
    {"TBoxDownEffectKorbTransitionPlugin", "Korb"},
    {"TBoxDownHairWavyTransitionPlugin", "Haar (Geschwungen)"},
    {"TBoxDownHairSmoothTransitionPlugin", "Haar (Glatt)"},
    {"TBoxHeartTransitionPlugin", "Herz"},
    {"TBoxMarbleTransitionPlugin", "Marmor"},
    {"TBoxDropRadarTransitionPlugin", "Radar (Tropfen)"},
    {"TBoxSmallCirclesWildTransitionPlugin", "kleine Kreise (wild)"},
    {"TBoxSpiderNetTransitionPlugin", "Spinnennetz"},
    {"TBoxStar4EdgesTransitionPlugin", "Stern (4 Ecken)"},
    {"TBoxStar8EdgesTransitionPlugin", "Stern (8 Ecken)"},
    {"TBoxStar14EdgesTransitionPlugin", "Stern (14 Ecken)"},
    {"TBoxStar8EdgesWildTransitionPlugin", "Stern (8 Ecken, Wild)"},
    {"TBoxSwirlSharpTransitionPlugin", "Abfluss (Scharf)"},
    {"TBoxSwirlSmoothTransitionPlugin", "Abfluss (Weich)"},
    {"TBoxWoodTransitionPlugin", "Holz"},
};

TEST(TransitionRegistry, RegistersAllClassesInOrderAndUnregistersThem) {
    TPlugins& plugins = TransitionPlugins();
    ASSERT_EQ(plugins.GetCount(), 44);
    for (int i = 0; i < 44; ++i) {
        const ClassInfo& cls = plugins.GetItem(i)->PluginClass();
        EXPECT_STREQ(cls.Name, kClasses[i].Name);
        EXPECT_EQ(PluginCaption(cls), kClasses[i].Caption) << cls.Name;
        AnsiString version, extra;
        PluginVersionInfo(cls, version, extra);
        EXPECT_EQ(version, "1.0");
        auto t = CreateTransition(cls.Name);
        ASSERT_TRUE(t) << cls.Name;
        // Only the heart stays out of random choice.
        EXPECT_EQ(t->Enabled, AnsiString(cls.Name) != "TBoxHeartTransitionPlugin") << cls.Name;
    }
    FinalizeTransitionModules(plugins);
    EXPECT_EQ(plugins.GetCount(), 0);
    EXPECT_FALSE(CreateTransition("TBoxWoodTransitionPlugin"));
    InitializeTransitionModules(plugins);
    EXPECT_EQ(plugins.GetCount(), 44);
}

TEST(TransitionRegistry, CreatesOnlyTransitionsByName) {
    TransitionPlugins();
    EXPECT_EQ(MakeTransition("tstripetransitionplugin")->ClassName(), "TStripeTransitionPlugin");
    EXPECT_FALSE(MakeTransition("TNoSuchTransitionPlugin"));
    EXPECT_FALSE(MakeTransition("TPlugins"));  // known, but no transition
}

// ---- stored forms ----

struct TStreamCase {
    const char* Name;
    void (*Configure)(TTransitionPlugin&);
    Bytes Defaults, Configured;
};

Bytes Base(bool enabled, int32_t duration) { return std::move(Bytes().u8(enabled).i32(duration)); }

template <class T>
T& As(TTransitionPlugin& t) { return dynamic_cast<T&>(t); }

std::vector<TStreamCase> StreamCases() {
    return {
        {"TAlphablendingTransitionPlugin", [](TTransitionPlugin& t) { t.Enabled = false, t.Duration = -7; },
         Base(true, 2000), Base(false, -7)},
        {"TBoxRadarTransitionPlugin",
         [](TTransitionPlugin& t) {
             auto& b = As<TBoxTransitionPlugin>(t);
             b.Duration = 4321, b.BoxDuration = 250, b.BoxCount = 1000000, b.BoxMode = 7, b.BoxFade = false,
             b.BoxStretch = true, b.BoxReverse = true;
         },
         std::move(Base(true, 3000).i32(500).i32(130).u8(0).u8(1).u8(0).u8(0)),
         std::move(Base(true, 4321).i32(250).i32(1000000).u8(7).u8(0).u8(1).u8(1))},
        {"TBoxTopLeftToBottomRightTransitionPlugin", [](TTransitionPlugin& t) { As<TBoxTransitionPlugin>(t).BoxMode = 200; },
         std::move(Base(true, 2000).i32(1000).i32(20).u8(1).u8(0).u8(0).u8(0)),
         std::move(Base(true, 2000).i32(1000).i32(20).u8(200).u8(0).u8(0).u8(0))},
        {"TMovePictureTransitionPlugin",
         [](TTransitionPlugin& t) { As<TMovePictureTransitionPlugin>(t).Direction = 2, As<TMovePictureTransitionPlugin>(t).Stretch = true; },
         std::move(Base(true, 750).u8(4).u8(0).u8(0)), std::move(Base(true, 750).u8(2).u8(0).u8(1))},
        {"TBlindTransitionPlugin",
         [](TTransitionPlugin& t) { As<TBlindTransitionPlugin>(t).StripeCount = -2, As<TBlindTransitionPlugin>(t).Fade = true; },
         std::move(Base(true, 1000).u8(4).i32(10).u8(0).u8(0)), std::move(Base(true, 1000).u8(4).i32(-2).u8(1).u8(0))},
        {"TStripeTransitionPlugin",
         [](TTransitionPlugin& t) { As<TStripeTransitionPlugin>(t).Direction = 5, As<TStripeTransitionPlugin>(t).StripeCount = 0x01020304; },
         std::move(Base(true, 1000).u8(6).i32(80).u8(0)), std::move(Base(true, 1000).u8(5).i32(0x01020304).u8(0))},
    };
}

TEST(TransitionStream, WritesDefaultsAndSettingsAsFixturesAndReadsThemBack) {
    for (const TStreamCase& c : StreamCases()) {
        SCOPED_TRACE(c.Name);
        auto t = MakeTransition(c.Name), read = MakeTransition(c.Name);
        EXPECT_EQ(DataBytes(*t), c.Defaults.vec());
        c.Configure(*t);
        EXPECT_EQ(DataBytes(*t), c.Configured.vec());
        ReadDataBytes(*read, c.Configured);
        EXPECT_EQ(DataBytes(*read), c.Configured.vec());
    }
}

TEST(TransitionStream, ClonesAndAssignsExactlyTheFamilysFields) {
    TAlphablendingTransitionPlugin base;
    base.Duration = 9, base.Enabled = false;
    for (const TStreamCase& c : StreamCases()) {
        SCOPED_TRACE(c.Name);
        auto t = MakeTransition(c.Name), other = MakeTransition(c.Name);
        c.Configure(*t);
        auto copy = t->Clone();
        EXPECT_EQ(&copy->ClassType(), &t->ClassType());
        EXPECT_EQ(DataBytes(*copy), c.Configured.vec());
        other->Assign(base);  // from another family only the base fields come over
        std::vector<uint8_t> want = c.Defaults.vec();
        std::copy_n(Base(false, 9).vec().begin(), 5, want.begin());
        EXPECT_EQ(DataBytes(*other), want);
    }
}

Bytes Entry(const char* name, const Bytes& data) { return Block(std::move(Bytes().str(name).raw(data.vec()))); }

TEST(TransitionStream, ListStreamSkipsUnknownClasses) {
    TTransitionPluginList list(nullptr);
    list.Add(std::make_unique<TStripeTransitionPlugin>());
    list.Add(std::make_unique<TAlphablendingTransitionPlugin>());
    TMemoryStream m;
    TOKFStream s(&m, okfRaw);
    EXPECT_TRUE(list.WriteData(s));
    EXPECT_EQ(m.Bytes(), Block(std::move(Bytes()
                                             .i32(2)
                                             .raw(Entry("TStripeTransitionPlugin", Base(true, 1000).u8(6).i32(80).u8(0)).vec())
                                             .raw(Entry("TAlphablendingTransitionPlugin", Base(true, 2000)).vec())))
                             .vec());
    // An unknown class with data of its own, then the two the list knows.
    const Bytes stored = std::move(Block(std::move(Bytes()
                                                       .i32(3)
                                                       .raw(Entry("TNoSuchTransitionPlugin", Bytes().u32(0xDEADBEEF)).vec())
                                                       .raw(Entry("TAlphablendingTransitionPlugin", Base(false, 444)).vec())
                                                       .raw(Entry("TStripeTransitionPlugin", Base(true, 55).u8(2).i32(33).u8(1)).vec())))
                                       .u8(0x77));
    TMemoryStream in(stored.vec());
    TOKFStream r(&in, okfRaw);
    EXPECT_TRUE(list.ReadData(r));
    EXPECT_EQ(in.GetPosition(), int64_t(stored.size() - 1));
    EXPECT_EQ(DataBytes(*list.Items(0)), Base(true, 55).u8(2).i32(33).u8(1).vec());
    EXPECT_EQ(DataBytes(*list.Items(1)), Base(false, 444).vec());
}

class TBoxTransitionPropertyFrame : public TPropertyEditorFrame {
    GC_DECLARE_CLASS(TBoxTransitionPropertyFrame)
};
class TStripeTransitionProperyFrame : public TPlugin {
    GC_DECLARE_CLASS(TStripeTransitionProperyFrame)
};
GC_IMPLEMENT_PLUGIN(TBoxTransitionPropertyFrame, TPropertyEditorFrame)
GC_IMPLEMENT_PLUGIN(TStripeTransitionProperyFrame, TPlugin)

TEST(TransitionFrames, FindsRegisteredFrameClassesOnly) {
    EXPECT_EQ(TAlphablendingTransitionPlugin().GetPropertyFrameClass(), &TTransitionPropertyFrame::StaticClassInfo());
    EXPECT_STREQ(TTransitionPropertyFrame::Layout().at(0).Caption, "Dauer der \xDC" "berblendung: ");
    TBoxRadarTransitionPlugin box;
    EXPECT_EQ(box.GetPropertyFrameClass(), nullptr);
    RegisterClass(TBoxTransitionPropertyFrame::StaticClassInfo());
    RegisterClass(TStripeTransitionProperyFrame::StaticClassInfo());
    EXPECT_EQ(box.GetPropertyFrameClass(), &TBoxTransitionPropertyFrame::StaticClassInfo());
    EXPECT_EQ(TStripeTransitionPlugin().GetPropertyFrameClass(), nullptr);  // that name, but no frame
    EXPECT_EQ(TRandomTransitionPlugin().GetPropertyFrameClass(), nullptr);
    UnRegisterClass(TBoxTransitionPropertyFrame::StaticClassInfo());
    UnRegisterClass(TStripeTransitionProperyFrame::StaticClassInfo());
}

// ---- random choice ----

TEST(RandomTransition, PickFollowsTheDrawsAndRejections) {
    TTransitionPluginList list(nullptr);
    EXPECT_EQ(PickRandomTransition(list, nullptr, nullptr), nullptr);
    list.Add(std::make_unique<TStripeTransitionPlugin>());
    list.Add(std::make_unique<TBoxHeartTransitionPlugin>());      // disabled
    list.Add(std::make_unique<TRandomTransitionPlugin>());        // the caller's own class
    list.Add(std::make_unique<TBlindTransitionPlugin>());         // excluded
    list.Add(std::make_unique<TAlphablendingTransitionPlugin>());
    const TClassList excluded{&TBlindTransitionPlugin::StaticClassInfo()};
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        // The steps replayed: draw among the candidates left, drop a rejected one.
        RandSeed(seed);
        std::vector<int> candidates{0, 1, 2, 3, 4};
        int want = -1;
        while (!candidates.empty()) {
            const int k = Random(int32_t(candidates.size()));
            const int index = candidates[size_t(k)];
            if (index == 0 || index == 4) {
                want = index;
                break;
            }
            candidates.erase(candidates.begin() + k);
        }
        RandSeed(seed);
        EXPECT_EQ(PickRandomTransition(list, &TRandomTransitionPlugin::StaticClassInfo(), &excluded), list.Items(want));
    }
    const TClassList all{&TStripeTransitionPlugin::StaticClassInfo(), &TAlphablendingTransitionPlugin::StaticClassInfo(),
                         &TBlindTransitionPlugin::StaticClassInfo()};
    EXPECT_EQ(PickRandomTransition(list, &TRandomTransitionPlugin::StaticClassInfo(), &all), nullptr);
}

TEST(RandomTransition, NeverPicksItselfOrTheHeartAndHandsOverItsDuration) {
    TransitionPlugins();
    TRandomTransitionPlugin random;
    random.Duration = 1234;
    TBitmap32 picture = TestPicture(16, 12);
    std::vector<const ClassInfo*> seen;
    RandSeed(7);
    for (int run = 0; run < 300; ++run) {
        ASSERT_TRUE(random.Init(TRect{0, 0, 16, 12}, &picture));
        ASSERT_TRUE(random.Chosen);
        EXPECT_EQ(random.Chosen->Duration, 1234);
        EXPECT_EQ(random.Chosen->Picture, &picture);
        seen.push_back(&random.Chosen->ClassType());
    }
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_GE(seen.size(), 30u);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), &TBoxHeartTransitionPlugin::StaticClassInfo()), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), &TRandomTransitionPlugin::StaticClassInfo()), 0);
    random.SetRect(TRect{1, 2, 3, 4});
    EXPECT_EQ(random.Chosen->Rect, (TRect{1, 2, 3, 4}));
}

TEST(RandomTransition, WithEverythingExcludedDrawsNothingUntilItsDurationEnds) {
    TPlugins& plugins = TransitionPlugins();
    TClassList all;
    for (int i = 0; i < plugins.GetCount(); ++i) all.push_back(&plugins.GetItem(i)->PluginClass());
    TRandomTransitionPlugin random;
    random.ExcludedClasses = &all;
    TBitmap32 picture = TestPicture(8, 8), target(8, 8);
    EXPECT_TRUE(random.Init(TRect{0, 0, 8, 8}, &picture));
    EXPECT_FALSE(random.Chosen);
    EXPECT_TRUE(DrawFrame(random, target, 500));
    EXPECT_EQ(DrawnCount(target), 0);
    EXPECT_FALSE(random.IsFinished(2000));
    EXPECT_TRUE(random.IsFinished(2001));
}

}  // namespace
