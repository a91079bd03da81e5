#include "document/SlideShowProperties.h"

#include "document/ShowFixtures.h"

#include <gtest/gtest.h>

using namespace showfix;

namespace {

// Stand-ins for the playback layer's player and transition classes.
class TFakePlayerBase : public TPlugin {
    GC_DECLARE_CLASS(TFakePlayerBase)
};
class TFakePlayer : public TFakePlayerBase {
    GC_DECLARE_CLASS(TFakePlayer)
};
class TFakeOtherPlayer : public TFakePlayerBase {
    GC_DECLARE_CLASS(TFakeOtherPlayer)
};
class TFakeTransitionBase : public TPlugin {
    GC_DECLARE_CLASS(TFakeTransitionBase)
};
class TFakeFade : public TFakeTransitionBase {
    GC_DECLARE_CLASS(TFakeFade)
};
class TFakeWipe : public TFakeTransitionBase {
    GC_DECLARE_CLASS(TFakeWipe)
};

GC_IMPLEMENT_PLUGIN(TFakePlayerBase, TPlugin)
GC_IMPLEMENT_PLUGIN(TFakePlayer, TFakePlayerBase)
GC_IMPLEMENT_PLUGIN(TFakeOtherPlayer, TFakePlayerBase)
GC_IMPLEMENT_PLUGIN(TFakeTransitionBase, TPlugin)
GC_IMPLEMENT_PLUGIN(TFakeFade, TFakeTransitionBase)
GC_IMPLEMENT_PLUGIN(TFakeWipe, TFakeTransitionBase)

class ShowPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        SlideShowProperties::Initialize();
        for (const ClassInfo* c : Fakes()) RegisterClass(*c);
        SetSlideShowPlayerBaseClass(&TFakePlayerBase::StaticClassInfo());
        SetTransitionBaseClass(&TFakeTransitionBase::StaticClassInfo(), nullptr);
    }
    void TearDown() override {
        SetSlideShowPlayerBaseClass(nullptr);
        SetTransitionBaseClass(nullptr, nullptr);
        for (const ClassInfo* c : Fakes()) UnRegisterClass(*c);
        SlideShowProperties::Finalize();
    }
    static std::vector<const ClassInfo*> Fakes() {
        return {&TFakePlayer::StaticClassInfo(), &TFakeOtherPlayer::StaticClassInfo(),
                &TFakeFade::StaticClassInfo(), &TFakeWipe::StaticClassInfo()};
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
    EXPECT_EQ(p.PlayerClass, &TFakePlayer::StaticClassInfo());  // the first registered player
    EXPECT_EQ(p.DefaultDuration, 5000);
    EXPECT_EQ(p.AspectX, 4);
    EXPECT_EQ(p.AspectY, 3);
    Main m;
    m.Player = "TFakePlayer";
    EXPECT_EQ(Write(p), MainGroup(m).vec());

    p.ExcludedTransitions = {&TFakeWipe::StaticClassInfo(), &TFakeFade::StaticClassInfo()};
    p.DisableTransitions = true;
    p.PlayerClass = &TFakeOtherPlayer::StaticClassInfo();
    p.DefaultDuration = 7000;
    p.StretchQuality = 4;
    p.CustomStretchFilter = 3;
    p.FitOption = 2;
    p.EndAction = 2;
    p.EndActionOnUserStop = false;
    p.AspectX = 16;
    p.AspectY = 9;
    p.ReservedFlag = true;
    Main n{7000, 4, 3, 2, 2, 0, 16, 9, 1, 1, {"TFakeWipe", "TFakeFade"}, "TFakeOtherPlayer", {}};
    EXPECT_EQ(Write(p), MainGroup(n).vec());

    TSlideShowProperties q;
    ASSERT_TRUE(Read(q, MainGroup(n)));
    EXPECT_EQ(Write(q), MainGroup(n).vec());
    EXPECT_EQ(q.PlayerClass, &TFakeOtherPlayer::StaticClassInfo());
    ASSERT_EQ(q.ExcludedTransitions.size(), 2u);
    EXPECT_EQ(q.ExcludedTransitions[0], &TFakeWipe::StaticClassInfo());
}

TEST_F(ShowPropertiesTest, StoredClassNamesAreCheckedByKind) {
    // Unregistered, empty and wrong-kind player names give the default player; excluded
    // names that are no registered transition are dropped, the rest stay in order.
    for (const char* player : {"TNoSuchPlayer", "", "TFakeFade", "TSlideShowInfoProperties"}) {
        Main m;
        m.Player = player;
        m.Excluded = {"TFakeFade", "TGone", "TFakePlayer", "TSlideShowProperties", "tfakewipe"};
        TSlideShowProperties p;
        p.PlayerClass = nullptr;
        ASSERT_TRUE(Read(p, MainGroup(m))) << player;
        EXPECT_EQ(p.PlayerClass, &TFakePlayer::StaticClassInfo()) << player;
        ASSERT_EQ(p.ExcludedTransitions.size(), 2u);
        EXPECT_EQ(p.ExcludedTransitions[0], &TFakeFade::StaticClassInfo());
        EXPECT_EQ(p.ExcludedTransitions[1], &TFakeWipe::StaticClassInfo());
    }
    // Without any registered player the class stays empty and is written as "".
    UnRegisterClass(TFakePlayer::StaticClassInfo());
    UnRegisterClass(TFakeOtherPlayer::StaticClassInfo());
    TSlideShowProperties p;
    EXPECT_EQ(p.PlayerClass, nullptr);
    EXPECT_EQ(Write(p), MainGroup(Main()).vec());
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
    bad.Player = "TFakeOtherPlayer";
    ASSERT_TRUE(Read(p, MainGroup(bad)));
    EXPECT_EQ(p.CustomStretchFilter, kStretchLinear);
    EXPECT_EQ(p.FitOption, kStretchNearest);
    EXPECT_TRUE(p.ReservedFlag);
    EXPECT_EQ(p.PlayerClass, &TFakeOtherPlayer::StaticClassInfo());
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

    // Without an owner the stored name is the name, and replacing it works on it.
    EXPECT_EQ(l.GetFileName(), "Bilder\\Logo.png");
    EXPECT_EQ(l.GetResolvedFileList(), std::vector<AnsiString>{"Bilder\\Logo.png"});
    l.ReplaceFileName("Other.png", "New.png");
    EXPECT_EQ(l.FileName, "Bilder\\Logo.png");
    l.ReplaceFileName("Bilder\\Logo.png", "New.png");
    EXPECT_EQ(l.FileName, "New.png");
    l.FileName.clear();
    EXPECT_TRUE(l.GetResolvedFileList().empty());
    EXPECT_EQ(l.GetFileList(), std::vector<AnsiString>{""});
    EXPECT_EQ(l.GetFileReferenceCount(), 1);
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

TEST_F(ShowPropertiesTest, EditorFrameNames) {
    EXPECT_EQ(EditorFrameClassNames(TSlideShowProperties::StaticClassInfo()),
              "\r\nTSlideShowPropertiesMainEditorFrame\r\nTSlideShowPropertiesSlideShowPlayerEditorFrame"
              "\r\nTSlideShowPropertiesSlideShowEndFrame\r\nTSlideShowPropertiesTransitionFrame");
    EXPECT_EQ(EditorFrameClassNames(TSlideShowLogoProperties::StaticClassInfo()),
              "\r\nTSlideShowPropertiesSlideShowLogoFrame");
    EXPECT_EQ(EditorFrameClassNames(TSlideShowInfoProperties::StaticClassInfo()),
              "\r\nTSlideShowPropertiesSlideShowInfoFrame");
}

}  // namespace
