#include "document/SlideShow.h"

#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/ShowFixtures.h"
#include "document/SlideShowTestSupport.h"
#include "platform/Random.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sf = showfix;

namespace {

// The media layer's music group stands here as a small group of the same name.
class TMusicProperties : public TProperties, public IShowMusicProperties {
    GC_DECLARE_CLASS(TMusicProperties)
public:
    bool MusicOn = true;
    int32_t EndFadeTime = 2000;
    uint32_t ItemCount = 0;
    TSlideShow* Show = nullptr;

    void SetSlideShow(TSlideShow* show) override { Show = show; }
    bool HasMusic() const override { return MusicOn && ItemCount > 0; }
    int32_t GetEndFadeTime() const override { return EndFadeTime; }
    int32_t GetSoundFadeTime() const override { return 300; }
    int32_t GetVolumeDuringSound() const override { return 40; }
    bool GetLowerObjectSounds() const override { return false; }
    bool WriteProperties(TOKFStreamWinTypes& c) const override {
        c.WriteBoolean(MusicOn);
        c.WriteInteger(EndFadeTime);
        c.WriteCardinal(ItemCount);
        return true;
    }
    bool ReadProperties(TOKFStreamWinTypes& c) override {
        MusicOn = c.ReadBooleanValue();
        EndFadeTime = c.ReadIntegerValue();
        ItemCount = c.ReadCardinalValue();
        return true;
    }
};
GC_IMPLEMENT_PLUGIN(TMusicProperties, TProperties)

Bytes MusicFields(bool on, int32_t fade, uint32_t items) {
    Bytes b;
    b.u8(on ? 1 : 0).i32(fade).u32(items);
    return b;
}

// Writes part of its form, then gives up: a save that fails half-way.
class TBrokenGroup : public TProperties {
    GC_DECLARE_CLASS(TBrokenGroup)
public:
    bool WriteProperties(TOKFStreamWinTypes& c) const override {
        c.WriteInteger(42);
        return false;
    }
};
GC_IMPLEMENT_PLUGIN(TBrokenGroup, TProperties)

class SlideShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShowTestPlugins();
        RegisterClass(TMusicProperties::StaticClassInfo());
    }
    void TearDown() override { UnRegisterClass(TMusicProperties::StaticClassInfo()); }

    static int Load(TSlideShow& show, const Bytes& file) {
        TMemoryStream m(file.vec());
        return show.LoadFromStream(m);
    }
    static std::vector<uint8_t> Save(TSlideShow& show) {
        TMemoryStream m;
        EXPECT_TRUE(show.SaveToStream(m));
        return m.Bytes();
    }

    // The groups of a new show, as its writer lays them out.
    static sf::File DefaultGroups(uint32_t version = sf::kShowVersion) {
        sf::File f(sf::kShowType, version);
        sf::Main main;
        main.Excluded = {"TBoxHeartTransitionPlugin"};  // switched off: a new show leaves it out
        f.Add(sf::GroupChunk("TSlideShowProperties", sf::MainGroup(main)));
        f.Add(sf::GroupChunk("TMusicProperties", MusicFields(true, 2000, 0)));
        f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(sf::Info())));
        return f;
    }
};

TEST_F(SlideShowTest, NewShowHoldsItsGroups) {
    TSlideShow show;
    TPropertiesList& l = show.PropertiesList();
    ASSERT_EQ(l.GetCount(), 3);
    EXPECT_EQ(l.GetItem(0)->Instance->ClassName(), "TSlideShowProperties");
    EXPECT_EQ(l.GetItem(1)->Instance->ClassName(), "TMusicProperties");
    EXPECT_EQ(l.GetItem(2)->Instance->ClassName(), "TSlideShowInfoProperties");
    EXPECT_EQ(l.GetItem(0)->Name, "Lumivor");
    EXPECT_EQ(show.LogoProperties, nullptr);
    EXPECT_EQ(static_cast<TMusicProperties*>(show.MusicProperties)->Show, &show);
    EXPECT_EQ(show.GetDefaultDuration(), 5000);

    // An empty show is its groups and an empty root run.
    sf::File f = DefaultGroups();
    f.Add(sf::Run(0));
    EXPECT_EQ(Save(show), f.Build().vec());
}

TEST_F(SlideShowTest, LoadResults) {
    const Bytes body = sf::Cat({sf::Run(2), sf::Dummy(1000, "a"), sf::Dummy(2000, "b")});
    for (auto [type, version, expected] : {std::tuple{0x507u, 0x305u, 1}, {0x501u, 0x2FFu, 2}, {0x501u, 0x300u, 0},
                                           {0x501u, 0x305u, 0}, {0x501u, 0x400u, 0}}) {
        sf::File f(type, version);
        f.Add(body, 3);
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), expected) << std::hex << type << " " << version;
        EXPECT_EQ(show.RootList().Count(), expected == 0 ? 2 : 0);
    }

    // No container at all: the stream form raises, the file form answers 1.
    TSlideShow show;
    TMemoryStream junk(std::vector<uint8_t>(100, 'x'));
    EXPECT_THROW(show.LoadFromStream(junk), EOKFError);
    TempDir dir;
    WriteFileBytes(dir / "junk.kls", std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(show.LoadFromFile(dir / "junk.kls"), 1);
    EXPECT_EQ(show.LoadFromFile(dir / "missing.kls"), 1);
    EXPECT_EQ(show.FileName(), "");
}

TEST_F(SlideShowTest, DamagedFramingFails) {
    sf::File good = DefaultGroups();
    good.Add(sf::Cat({sf::Run(2), sf::Dummy(1000), sf::Dummy(2000)}), 3);
    const std::vector<uint8_t> whole = good.Build().vec();

    // Truncated in the middle of the last item.
    {
        std::vector<uint8_t> cut(whole.begin(), whole.end() - 10);
        Bytes b;
        b.raw(cut);
        TSlideShow show;
        EXPECT_EQ(Load(show, b), 1);
    }
    // A chunk whose size is below its own header.
    {
        sf::File f = DefaultGroups();
        f.Raw(Bytes().tag("CHNK").u32(0x410).u32(8).u32(0)).SetChunkCount(4);
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), 1);
    }
    // A chunk larger than the file.
    {
        sf::File f(sf::kShowType, sf::kShowVersion);
        f.Raw(Bytes().tag("CHNK").u32(0x403).u32(5000).u32(0)).SetChunkCount(1);
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), 1);
    }
    // A settings group that does not read (a name count far past its block).
    {
        Bytes b3;
        b3.u8(0).u32(0x10000000);
        Bytes group;
        group.raw(sf::Block(Bytes().i32(1).u8(1).u8(1).u8(0).u8(0).u8(1).i32(4).i32(3)).vec())
            .raw(sf::Block(Bytes().u8(0)).vec())
            .raw(sf::Block(b3).vec());
        sf::File f(sf::kShowType, sf::kShowVersion);
        f.Add(sf::GroupChunk("TSlideShowProperties", group));
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), 1);
        EXPECT_EQ(show.SlideShowProperties->DefaultDuration, 5000);
    }
    // A group's class name longer than its chunk: no huge allocation, result 1.
    {
        sf::File f(sf::kShowType, sf::kShowVersion);
        f.Add(sf::Chunk(0x410, Bytes().i32(0x7FFFFFF0).raw("TSlideShowProperties")));
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), 1);
    }
    // A list run interrupted by a chunk that belongs to no run is no framing fault: the
    // run ends there (result 0, what was read before stays, the rest counts as dropped).
    {
        sf::File f(sf::kShowType, sf::kShowVersion);
        f.Add(sf::Cat({sf::Run(3), sf::Dummy(1000), sf::ThumbnailChunk(0), sf::Dummy(2000), sf::Dummy(3000)}), 5);
        TSlideShow show;
        EXPECT_EQ(Load(show, f.Build()), 0);
        EXPECT_EQ(show.RootList().Count(), 1);
        EXPECT_EQ(show.DroppedItemCount(), 2);
    }
}

TEST_F(SlideShowTest, SampleShowWithForeignGroupsAndThumbnails) {
    sf::Main main;
    main.DefaultDuration = 4000;
    main.EndAction = 1;
    sf::Info info{"Autor", "Titel", "Beschreibung", "Rechte", {9, 8, 7}};
    sf::Player player;
    player.FullScreen = 0;
    sf::File f(sf::kShowType, sf::kShowVersion);
    f.Add(sf::GroupChunk("TSlideShowProperties", sf::MainGroup(main)));
    f.Add(sf::GroupChunk("TMusicProperties", MusicFields(true, 1500, 2)));
    f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(info)));
    f.Add(sf::GroupChunk("TThumbnailProperties", Bytes().u32(5).u32(6)));
    f.Add(sf::GroupChunk("TSlideShowLogoProperties", sf::LogoGroup(sf::Logo())));
    f.Add(sf::GroupChunk("TStandardSlideShowPlayerProperties", sf::StandardPlayerGroup(player)));
    f.Add(sf::Cat({sf::Run(6), sf::Dummy(1000, "1"), sf::Dummy(1000, "2"), sf::Chapter("K"), sf::Run(1),
                   sf::Dummy(500, "k"), sf::Dummy(1000, "4"), sf::Dummy(1000, "5"), sf::Dummy(1000, "6", false)}),
          9);
    for (uint32_t i = 0; i < 6; ++i) f.Add(sf::ThumbnailChunk(i));
    f.Add(sf::Chunk(0x777, Bytes().u32(1)));

    TSlideShow show;
    ASSERT_EQ(Load(show, f.Build()), 0);
    EXPECT_EQ(show.DroppedItemCount(), 0);
    EXPECT_EQ(show.RootList().Count(), 6);
    EXPECT_EQ(show.GetTotalObjectCount(), 7);
    EXPECT_EQ(show.SlideShowProperties->DefaultDuration, 4000);
    EXPECT_EQ(show.SlideShowProperties->EndAction, 1);
    EXPECT_EQ(show.InfoProperties->Title, "Titel");
    EXPECT_EQ(show.LogoProperties, nullptr);
    EXPECT_EQ(show.PropertiesList().GetCount(), 3);
    // Five enabled items: 1000 + 1000 + the chapter's 500 + 1000 + 1000, and the
    // music's closing fade.
    EXPECT_EQ(show.RootList().GetEnabledDuration(), 4500);
    EXPECT_EQ(show.GetDuration(), 6000);
    static_cast<TMusicProperties*>(show.MusicProperties)->MusicOn = false;
    EXPECT_EQ(show.GetDuration(), 4500);

    // Loading again appends.
    ASSERT_EQ(Load(show, f.Build()), 0);
    EXPECT_EQ(show.RootList().Count(), 12);
}

TEST_F(SlideShowTest, UnreadableItemsAreDroppedAndCounted) {
    sf::File f = DefaultGroups();
    // An unregistered kind, a kind registered nowhere in the show's kinds, and an item
    // whose data ends early, between readable ones.
    f.Add(sf::Cat({sf::Run(5), sf::Dummy(1000, "a"), sf::Item("TPicSlideShowObject", Bytes().u8(1).u32(7)),
                   sf::Dummy(2000, "b"), sf::Item("TDummySlideShowObject", Bytes().u8(1).u8(2)),
                   sf::Item("TSlideShowProperties", Bytes().u8(1)), }),
          6);
    f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(sf::Info{"", "Nach", "", "", {}})));
    TSlideShow show;
    ASSERT_EQ(Load(show, f.Build()), 0);
    EXPECT_EQ(show.DroppedItemCount(), 3);
    ASSERT_EQ(show.RootList().Count(), 2);
    EXPECT_EQ(show.RootList().GetItem(1)->GetDuration(), 2000);
    // The chunks after the run are still read.
    EXPECT_EQ(show.InfoProperties->Title, "Nach");
}

TEST_F(SlideShowTest, SaveLoadSaveIsByteIdentical) {
    sf::Main main;
    main.DefaultDuration = 3000;
    main.AspectX = 16;
    main.AspectY = 9;
    sf::File f(sf::kShowType, sf::kShowVersion);
    f.Add(sf::GroupChunk("TSlideShowProperties", sf::MainGroup(main)));
    f.Add(sf::GroupChunk("TMusicProperties", MusicFields(false, 900, 3)));
    f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(sf::Info{"A", "T", "D", "C", {1, 2}})));
    f.Add(sf::Cat({sf::Run(3), sf::Dummy(1000, "x"), sf::Chapter("Kapitel"), sf::Run(2), sf::Dummy(10, "c1"),
                   sf::Chapter("leer"), sf::Run(0), sf::Dummy(20, "y")}),
          8);
    const Bytes file = f.Build();

    TSlideShow show;
    ASSERT_EQ(Load(show, file), 0);
    const std::vector<uint8_t> first = Save(show);
    EXPECT_EQ(first, file.vec());  // our fixture is laid out as the writer lays it out
    TSlideShow again;
    ASSERT_EQ(Load(again, Bytes().raw(first)), 0);
    EXPECT_EQ(Save(again), first);

    // Through files too.
    TempDir dir;
    const AnsiString name = dir / "show.kls";
    ASSERT_TRUE(again.SaveToFile(name));
    EXPECT_EQ(ReadFileBytes(name), first);
    TSlideShow third;
    ASSERT_EQ(third.LoadFromFile(name), 0);
    EXPECT_EQ(third.FileName(), name);
    EXPECT_EQ(Save(third), first);
}

TEST_F(SlideShowTest, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    const AnsiString name = dir / "show.kls";
    TSlideShow show;
    Load(show, DefaultGroups().Add(sf::Cat({sf::Run(1), sf::Dummy(1000)}), 2).Build());
    ASSERT_TRUE(show.SaveToFile(name));
    const std::vector<uint8_t> before = ReadFileBytes(name);

    TSlideShow broken;
    broken.PropertiesList().Add(1, TBrokenGroup::StaticClassInfo(), "kaputt", true);
    Load(broken, DefaultGroups().Add(sf::Cat({sf::Run(2), sf::Dummy(5), sf::Dummy(6)}), 3).Build());
    EXPECT_FALSE(broken.SaveToFile(name));
    EXPECT_EQ(ReadFileBytes(name), before);
    // Nothing else was left in the folder.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    // A folder that does not exist: False, nothing made.
    EXPECT_FALSE(show.SaveToFile(dir / "no\\such\\show.kls"));
}

TEST_F(SlideShowTest, CopiesKeepGroupsTreeAndLogo) {
    TSlideShow show;
    Load(show, DefaultGroups().Add(sf::Cat({sf::Run(2), sf::Chapter("K"), sf::Run(1), sf::Dummy(3), sf::Dummy(4)}), 5)
                   .Build());
    show.SlideShowProperties->DefaultDuration = 7777;
    auto* logo = static_cast<TSlideShowLogoProperties*>(
        show.PropertiesList().Add(0, TSlideShowLogoProperties::StaticClassInfo(), "Logo", true));
    logo->FileName = "logo.png";
    show.LogoProperties = logo;
    show.SetFileName("C:\\Shows\\a.kls");

    std::unique_ptr<TSlideShow> copy = show.Clone();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->FileName(), "C:\\Shows\\a.kls");
    ASSERT_NE(copy->LogoProperties, nullptr);
    EXPECT_NE(copy->LogoProperties, show.LogoProperties);
    EXPECT_EQ(copy->LogoProperties->FileName, "logo.png");
    EXPECT_EQ(copy->LogoProperties->Owner, copy.get());
    EXPECT_EQ(copy->SlideShowProperties->DefaultDuration, 7777);
    EXPECT_EQ(static_cast<TMusicProperties*>(copy->MusicProperties)->Show, copy.get());
    EXPECT_EQ(Save(*copy), Save(show));
    EXPECT_EQ(copy->GetTotalObjectCount(), 3);
}

TEST_F(SlideShowTest, ChangesUpdatesAndModified) {
    TSlideShow show;
    int changes = 0, modifiedChanges = 0, beforeModify = 0;
    show.OnChange = [&](TSlideShow*) { ++changes; };
    show.OnModifiedChange = [&](TSlideShow*) { ++modifiedChanges; };
    show.OnBeforeModify = [&](TSlideShow*) { ++beforeModify; };
    Load(show, DefaultGroups().Add(sf::Cat({sf::Run(2), sf::Dummy(1), sf::Dummy(2)}), 3).Build());
    show.UpdateList().Clear();
    TSlideShowObject* second = show.RootList().GetItem(1);

    second->SetEnabled(false);
    EXPECT_TRUE(show.Modified());
    EXPECT_EQ(modifiedChanges, 1);
    ASSERT_EQ(show.UpdateList().Count(), 1);
    EXPECT_EQ(show.UpdateList().Get(0).Object, second);
    EXPECT_EQ(show.UpdateList().Get(0).Flags, ocEnabled);
    EXPECT_EQ(show.UpdateList().Get(0).Path.GetPathString(), "2");
    EXPECT_EQ(changes, 1);

    // While an update runs: Modified still, but no records and no OnChange.
    show.BeginUpdate();
    second->SetEnabled(true);
    EXPECT_EQ(show.UpdateList().Count(), 1);
    EXPECT_EQ(changes, 1);
    show.EndUpdate();
    show.EndUpdate();
    EXPECT_EQ(show.UpdateCount(), 0);
    EXPECT_EQ(beforeModify, 2);
    EXPECT_EQ(modifiedChanges, 1);

    // Saving to a file announces the change.
    TempDir dir;
    show.SaveToFile(dir / "x.kls");
    EXPECT_EQ(changes, 2);
}

TEST_F(SlideShowTest, ShuffleKeepsEveryItemAndShufflesChildren) {
    TSlideShow show;
    Bytes run = sf::Run(9);
    for (int i = 0; i < 8; ++i) run.raw(sf::Dummy(100 + i).vec());
    run.raw(sf::Chapter("K").vec()).raw(sf::Run(6).vec());
    for (int i = 0; i < 6; ++i) run.raw(sf::Dummy(200 + i).vec());
    Load(show, DefaultGroups().Add(run, 17).Build());
    RandSeed(12345);
    show.Shuffle();
    std::vector<int32_t> top, children;
    TSlideShowObjectList* childList = nullptr;
    for (int i = 0; i < show.RootList().Count(); ++i) {
        TSlideShowObject* item = show.RootList().GetItem(i);
        EXPECT_EQ(item->Index, i);
        if (auto* c = Supports<ICollection>(item)) childList = c->GetChildList();
        else top.push_back(item->GetDuration());
    }
    ASSERT_NE(childList, nullptr);
    for (int i = 0; i < childList->Count(); ++i) children.push_back(childList->GetItem(i)->GetDuration());
    std::vector<int32_t> sortedTop = top, sortedChildren = children;
    std::sort(sortedTop.begin(), sortedTop.end());
    std::sort(sortedChildren.begin(), sortedChildren.end());
    EXPECT_EQ(sortedTop, (std::vector<int32_t>{100, 101, 102, 103, 104, 105, 106, 107}));
    EXPECT_EQ(sortedChildren, (std::vector<int32_t>{200, 201, 202, 203, 204, 205}));
    // With this seed neither level stays in its old order.
    EXPECT_FALSE(std::is_sorted(top.begin(), top.end()));
    EXPECT_FALSE(std::is_sorted(children.begin(), children.end()));
}

TEST_F(SlideShowTest, LinksAndRenumber) {
    TSlideShow show;
    TSlideShowObjectLinkList& links = show.Links();
    for (int32_t key : {5, -3, 5, 2}) {
        auto l = std::make_unique<TSlideShowObjectLink>();
        l->Key = key;
        links.Add(std::move(l));
    }
    TSlideShowObjectLink* firstFive = links.Get(0);
    links.Sort();
    EXPECT_EQ(links.First()->Key, -3);
    EXPECT_EQ(links.Get(2), firstFive);  // equal keys keep their order
    EXPECT_EQ(links.Last()->Key, 5);
    EXPECT_EQ(links.Remove(firstFive), 2);
    EXPECT_EQ(links.Remove(nullptr), -1);
    EXPECT_EQ(links.Count(), 3);
    EXPECT_EQ(TSlideShowObjectLink().Key, -1);
}

}  // namespace
