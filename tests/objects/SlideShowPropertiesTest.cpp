#include "document/SlideShowProperties.h"

#include "document/ShowFixtures.h"
#include "document/SlideShowTestSupport.h"
#include "transitions/PicBoxTransitions.h"
#include "transitions/PicTransitions.h"

#include <gtest/gtest.h>

using namespace showfix;

namespace {

// Stand-ins for the playback layer's player and transition classes.
class TTestPlayerBase : public TPlugin {
    GC_DECLARE_CLASS(TTestPlayerBase)
};
class TTestPlayer : public TTestPlayerBase {
    GC_DECLARE_CLASS(TTestPlayer)
};
class TTestOtherPlayer : public TTestPlayerBase {
    GC_DECLARE_CLASS(TTestOtherPlayer)
};

GC_IMPLEMENT_PLUGIN(TTestPlayerBase, TPlugin)
GC_IMPLEMENT_PLUGIN(TTestPlayer, TTestPlayerBase)
GC_IMPLEMENT_PLUGIN(TTestOtherPlayer, TTestPlayerBase)

// Two real transitions stand for any: stored names are checked against the base itself.
using TTestFade = TAlphablendingTransitionPlugin;
using TTestWipe = TBlindTransitionPlugin;
constexpr const char* kFade = "TAlphablendingTransitionPlugin";
constexpr const char* kWipe = "TBlindTransitionPlugin";
constexpr const char* kHeart = "TBoxHeartTransitionPlugin";

class ShowPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShowTestPlugins();
        for (const ClassInfo* c : Fakes()) Plugins->Register(*c);
        SetSlideShowPlayerBaseClass(&TTestPlayerBase::StaticClassInfo());
    }
    void TearDown() override {
        SetSlideShowPlayerBaseClass(nullptr);
        for (const ClassInfo* c : Fakes()) Plugins->Unregister(*c);
    }
    static std::vector<const ClassInfo*> Fakes() {
        return {&TTestPlayer::StaticClassInfo(), &TTestOtherPlayer::StaticClassInfo()};
    }

    static std::vector<uint8_t> Write(const TProperties& p) {
        TMemoryStream m;
        EXPECT_TRUE(p.SaveToStream(m, kShowType, kShowVersion));
        return m.Bytes();
    }
    static bool Read(TProperties& p, const Bytes& b) {
        TMemoryStream m(b.vec());
        return p.LoadFromStream(m, kShowType, kShowVersion);
    }
};

TEST_F(ShowPropertiesTest, MainSettingsDefaultsAndStoredForm) {
    TSlideShowProperties p;
    EXPECT_EQ(p.PlayerClass, &TTestPlayer::StaticClassInfo());  // the first registered player
    EXPECT_EQ(p.DefaultDuration, 5000);
    EXPECT_EQ(p.AspectX, 4);
    EXPECT_EQ(p.AspectY, 3);
    // A new show excludes the transitions whose shared instance is switched off: the heart.
    Main m;
    m.Player = "TTestPlayer";
    m.Excluded = {kHeart};
    EXPECT_EQ(Write(p), MainGroup(m).vec());

    p.ExcludedTransitions = {&TTestWipe::StaticClassInfo(), &TTestFade::StaticClassInfo()};
    p.DisableTransitions = true;
    p.PlayerClass = &TTestOtherPlayer::StaticClassInfo();
    p.DefaultDuration = 7000;
    p.StretchQuality = 4;
    p.CustomStretchFilter = 3;
    p.FitOption = 2;
    p.EndAction = 2;
    p.EndActionOnUserStop = false;
    p.AspectX = 16;
    p.AspectY = 9;
    p.ReservedFlag = true;
    Main n{7000, 4, 3, 2, 2, 0, 16, 9, 1, 1, {kWipe, kFade}, "TTestOtherPlayer", {}};
    EXPECT_EQ(Write(p), MainGroup(n).vec());

    TSlideShowProperties q;
    ASSERT_TRUE(Read(q, MainGroup(n)));
    EXPECT_EQ(Write(q), MainGroup(n).vec());
    EXPECT_EQ(q.PlayerClass, &TTestOtherPlayer::StaticClassInfo());
    ASSERT_EQ(q.ExcludedTransitions.size(), 2u);
    EXPECT_EQ(q.ExcludedTransitions[0], &TTestWipe::StaticClassInfo());
}

TEST_F(ShowPropertiesTest, StoredClassNamesAreCheckedByKind) {
    // Unregistered, empty and wrong-kind player names give the default player; excluded
    // names that are no registered transition are dropped, the rest stay in order.
    for (const char* player : {"TNoSuchPlayer", "", kFade, "TSlideShowInfoProperties"}) {
        Main m;
        m.Player = player;
        m.Excluded = {kFade, "TGone", "TTestPlayer", "TSlideShowProperties", "tblindtransitionplugin"};
        TSlideShowProperties p;
        p.PlayerClass = nullptr;
        ASSERT_TRUE(Read(p, MainGroup(m))) << player;
        EXPECT_EQ(p.PlayerClass, &TTestPlayer::StaticClassInfo()) << player;
        ASSERT_EQ(p.ExcludedTransitions.size(), 2u);
        EXPECT_EQ(p.ExcludedTransitions[0], &TTestFade::StaticClassInfo());
        EXPECT_EQ(p.ExcludedTransitions[1], &TTestWipe::StaticClassInfo());
    }
    // Without any registered player the class stays empty and is written as "".
    Plugins->Unregister(TTestPlayer::StaticClassInfo());
    Plugins->Unregister(TTestOtherPlayer::StaticClassInfo());
    TSlideShowProperties p;
    EXPECT_EQ(p.PlayerClass, nullptr);
    Main none;
    none.Excluded = {kHeart};
    EXPECT_EQ(Write(p), MainGroup(none).vec());
}

TEST_F(ShowPropertiesTest, TransitionsSwitchedOffStartExcluded) {
    // Only the heart's shared instance is switched off.
    TSlideShowProperties p;
    ASSERT_EQ(p.ExcludedTransitions.size(), 1u);
    EXPECT_EQ(p.ExcludedTransitions[0], &TBoxHeartTransitionPlugin::StaticClassInfo());
    // Reading replaces the list with the stored one, also with none at all.
    Main m;
    m.Excluded = {kFade};
    ASSERT_TRUE(Read(p, MainGroup(m)));
    ASSERT_EQ(p.ExcludedTransitions.size(), 1u);
    EXPECT_EQ(p.ExcludedTransitions[0], &TTestFade::StaticClassInfo());
    ASSERT_TRUE(Read(p, MainGroup(Main())));
    EXPECT_TRUE(p.ExcludedTransitions.empty());
}

TEST_F(ShowPropertiesTest, FiltersAndLongerBlocks) {
    Main m;
    m.StretchQuality = 7;
    m.CustomStretchFilter = 2;
    TSlideShowProperties p;
    ASSERT_TRUE(Read(p, MainGroup(m)));
    EXPECT_EQ(p.GetStretchFilter(), kStretchSpline);
    EXPECT_EQ(p.GetPlayStretchFilter(), kStretchNearest);
    const std::pair<uint8_t, uint8_t> table[] = {{0, kStretchMitchell}, {1, kStretchMitchell},
                                                 {2, kStretchLinear}, {3, kStretchNearest}};
    for (auto [q, f] : table) {
        p.StretchQuality = q;
        EXPECT_EQ(p.GetStretchFilter(), f);
        EXPECT_EQ(p.GetPlayStretchFilter(), q == 0 ? kStretchMitchell : kStretchNearest);
    }

    // Filter numbers past the known filters fall back to the defaults; a longer first
    // block (a newer writer) still reads, and the later blocks land where they belong.
    Main bad;
    bad.CustomStretchFilter = 9;
    bad.FitOption = 200;
    bad.Block1Extra.u32(0xDEADBEEF).u8(7);
    bad.ReservedFlag = 1;
    bad.Player = "TTestOtherPlayer";
    ASSERT_TRUE(Read(p, MainGroup(bad)));
    EXPECT_EQ(p.CustomStretchFilter, kStretchLinear);
    EXPECT_EQ(p.FitOption, kStretchNearest);
    EXPECT_TRUE(p.ReservedFlag);
    EXPECT_EQ(p.PlayerClass, &TTestOtherPlayer::StaticClassInfo());
}

TEST_F(ShowPropertiesTest, DamagedMainSettingsLeaveTheGroupUnchanged) {
    TSlideShowProperties p;
    p.DefaultDuration = 1234;
    // A name count far beyond the block.
    Bytes b3;
    b3.u8(0).u32(0x40000000);
    Bytes b1;
    b1.i32(9999).u8(1).u8(1).u8(0).u8(0).u8(1).i32(4).i32(3);
    Bytes damaged;
    damaged.raw(Block(b1).vec()).raw(Block(Bytes().u8(0)).vec()).raw(Block(b3).vec());
    EXPECT_FALSE(Read(p, damaged));
    EXPECT_EQ(p.DefaultDuration, 1234);
    // A block length past the end.
    Bytes past;
    past.u32(1000).i32(1);
    EXPECT_FALSE(Read(p, past));
    // Truncated after the second block.
    const Bytes whole = MainGroup(Main());
    Bytes cut;
    cut.raw(std::vector<uint8_t>(whole.vec().begin(), whole.vec().begin() + 30));
    EXPECT_FALSE(Read(p, cut));
    EXPECT_EQ(p.DefaultDuration, 1234);
}

TEST_F(ShowPropertiesTest, LogoGroup) {
    TSlideShowLogoProperties l;
    EXPECT_EQ(Write(l), LogoGroup(Logo()).vec());
    Logo x{0, "Bilder\\Logo.png", 8000, 0, 1};
    ASSERT_TRUE(Read(l, LogoGroup(x)));
    EXPECT_FALSE(l.ShowLogo);
    EXPECT_EQ(l.FileName, "Bilder\\Logo.png");
    EXPECT_EQ(l.LogoTime, 8000);
    EXPECT_EQ(Write(l), LogoGroup(x).vec());

    // Without an owner the stored name is the name, and replacing it works on it. The
    // group answers through the file-reference interface, slot by slot.
    IFileReferences* refs = Supports<IFileReferences>(static_cast<TProperties*>(&l));
    ASSERT_NE(refs, nullptr);
    EXPECT_TRUE(l.Supports(IID_IFileReferences));
    EXPECT_EQ(refs->GetResolvedFileName(), "Bilder\\Logo.png");
    EXPECT_EQ(refs->GetResolvedFileNames(), std::vector<AnsiString>{"Bilder\\Logo.png"});
    EXPECT_EQ(refs->GetFileName(), "");
    refs->ReplaceFileName("Other.png", "New.png");
    EXPECT_EQ(l.FileName, "Bilder\\Logo.png");
    refs->ReplaceFileName("Bilder\\Logo.png", "New.png");
    EXPECT_EQ(l.FileName, "New.png");
    refs->SetFileName("Set.png");
    EXPECT_EQ(l.FileName, "Set.png");
    refs->AssignFileName("Assigned.png");
    EXPECT_EQ(l.FileName, "Assigned.png");
    l.FileName.clear();
    EXPECT_TRUE(refs->GetResolvedFileNames().empty());
    EXPECT_EQ(refs->GetFileNames(), std::vector<AnsiString>{""});
    EXPECT_EQ(refs->GetFileCount(), 1);
}

TEST_F(ShowPropertiesTest, InfoGroupAndItsData) {
    TSlideShowInfoProperties i;
    EXPECT_EQ(Write(i), InfoGroup(Info()).vec());
    Info x{"Anna", "Urlaub", "Sommer \xE4 2003", "(c) Anna", {1, 2, 3}};
    ASSERT_TRUE(Read(i, InfoGroup(x)));
    EXPECT_EQ(i.Author, "Anna");
    EXPECT_EQ(i.Title, "Urlaub");
    EXPECT_EQ(i.ShowDescription, "Sommer \xE4 2003");
    EXPECT_EQ(i.Copyright, "(c) Anna");
    ASSERT_TRUE(i.InfoData);
    EXPECT_EQ(i.InfoData->Bytes(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(i.InfoData->GetPosition(), 0);
    EXPECT_EQ(Write(i), InfoGroup(x).vec());

    // A copy of a group without data, and a reset, drop the old bytes.
    TSlideShowInfoProperties empty;
    TSlideShowInfoProperties copy;
    ASSERT_TRUE(Read(copy, InfoGroup(x)));
    copy.Assign(empty);
    EXPECT_FALSE(copy.InfoData);
    EXPECT_TRUE(copy.Title.empty());
    ASSERT_TRUE(Read(copy, InfoGroup(x)));
    copy.Reset();
    EXPECT_FALSE(copy.InfoData);
    // A data block longer than the stream fails and changes nothing.
    Bytes bad;
    bad.str("A").str("T").str("D").str("C").u32(0x7FFFFFF0);
    EXPECT_FALSE(Read(i, bad));
    EXPECT_EQ(i.Author, "Anna");
}

}  // namespace
