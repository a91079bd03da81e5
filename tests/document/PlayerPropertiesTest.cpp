#include "document/SlideShowPlayerProperties.h"

#include "document/ShowFixtures.h"
#include "document/SlideShow.h"
#include "foundation/SlideShowGlobals.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace showfix;

namespace {

std::vector<uint8_t> Write(const TProperties& p) {
    TMemoryStream m;
    EXPECT_TRUE(p.SaveToStream(m, kShowType, kShowVersion));
    return m.Bytes();
}

bool Read(TProperties& p, const Bytes& b) {
    TMemoryStream m(b.vec());
    return p.LoadFromStream(m, kShowType, kShowVersion);
}

TEST(PlayerPropertiesTest, DefaultBytesAndRoundTrip) {
    TStandardSlideShowPlayerProperties p;
    EXPECT_EQ(Write(p), StandardPlayerGroup(Player()).vec());
    TSlideShowPlayerProperties base;
    EXPECT_EQ(Write(base), PlayerBaseBlock(Player()).vec());

    Player x;
    x.PreloadTime = 0;
    x.StoredWidth = 1024;
    x.StoredHeight = 768;
    x.ClientWidth = 640;
    x.ClientHeight = 480;
    x.FullScreen = 0;
    x.Extra1 = 1;
    x.Extra2 = 0;
    x.A = 9;
    x.F = 0;
    x.B = 1;
    x.C = 'x';
    x.D = 1;
    x.E = 1;
    x.OnlyDueAtStart = 1;
    x.OnlyDueAtStart2 = 1;
    TStandardSlideShowPlayerProperties q;
    ASSERT_TRUE(Read(q, StandardPlayerGroup(x)));
    EXPECT_EQ(q.ClientWidth, 640);
    EXPECT_FALSE(q.FullScreen);
    EXPECT_EQ(q.StdValueA, 9);
    EXPECT_FALSE(q.StdFlagF);
    EXPECT_TRUE(q.StdFlagB);
    EXPECT_EQ(q.StdCharC, 'x');
    EXPECT_EQ(Write(q), StandardPlayerGroup(x).vec());

    // The player's own copy takes the base fields only.
    TSlideShowPlayerProperties own;
    own.Assign(q);
    EXPECT_EQ(own.ClientHeight, 480);
    EXPECT_EQ(own.PreloadTime, 0);
    EXPECT_TRUE(own.OnlyDueAtStart);
}

TEST(PlayerPropertiesTest, SecondCopyOfOnlyDueAtStartWins) {
    Player x;
    x.OnlyDueAtStart = 0;
    x.OnlyDueAtStart2 = 1;
    TStandardSlideShowPlayerProperties p;
    ASSERT_TRUE(Read(p, StandardPlayerGroup(x)));
    EXPECT_TRUE(p.OnlyDueAtStart);
    x.OnlyDueAtStart = 1;
    x.OnlyDueAtStart2 = 0;
    ASSERT_TRUE(Read(p, StandardPlayerGroup(x)));
    EXPECT_FALSE(p.OnlyDueAtStart);
}

TEST(PlayerPropertiesTest, ExtraBytesSkippedAndShortStreamsRefused) {
    Player x;
    x.BaseExtra.u32(77).u8(1);
    x.ClientWidth = 1280;
    x.A = 5;
    TStandardSlideShowPlayerProperties p;
    ASSERT_TRUE(Read(p, StandardPlayerGroup(x)));
    EXPECT_EQ(p.ClientWidth, 1280);
    EXPECT_EQ(p.StdValueA, 5);

    // Only the base block: the standard set's own block is missing.
    TStandardSlideShowPlayerProperties q;
    q.ClientWidth = 321;
    EXPECT_FALSE(Read(q, PlayerBaseBlock(x)));
    EXPECT_EQ(q.ClientWidth, 321);
}

}  // namespace

namespace {

// Every show gets the standard player settings as a group of its own, through the plug-in.
TEST(PlayerPropertiesTest, EveryShowHoldsThePlayerGroup) {
    if (!Plugins) Plugins = new TPlugins();
    SlideShowPlayerProperties::Initialize();
    {
        TSlideShow show;
        TPropertiesListItem* item = show.PropertiesList().FindItemByClassName("TStandardSlideShowPlayerProperties");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->Name, "Lumivor-Player");
        EXPECT_TRUE(item->OwnsInstance);

        // Its stored group in a show file is read into it and written back unchanged.
        Player x;
        x.ClientWidth = 640;
        x.OnlyDueAtStart2 = 1;
        File f;
        f.Add(GroupChunk("TStandardSlideShowPlayerProperties", StandardPlayerGroup(x)));
        TMemoryStream in(f.Build().vec());
        ASSERT_EQ(show.LoadFromStream(in), slLoaded);
        auto* p = dynamic_cast<TStandardSlideShowPlayerProperties*>(item->Instance);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->ClientWidth, 640);
        EXPECT_TRUE(p->OnlyDueAtStart);
        TMemoryStream out;
        ASSERT_TRUE(show.SaveToStream(out));
        x.OnlyDueAtStart = 1;  // both copies carry the value that was kept
        const std::vector<uint8_t> chunk = GroupChunk("TStandardSlideShowPlayerProperties", StandardPlayerGroup(x)).vec();
        EXPECT_NE(std::search(out.Bytes().begin(), out.Bytes().end(), chunk.begin(), chunk.end()), out.Bytes().end());
    }
    SlideShowPlayerProperties::Finalize();
    TSlideShow without;
    EXPECT_EQ(without.PropertiesList().FindItemByClassName("TStandardSlideShowPlayerProperties"), nullptr);
}

}  // namespace
