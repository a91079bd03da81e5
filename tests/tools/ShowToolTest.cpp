#include "TestSupport.h"
#include "ToolRunSupport.h"
#include "document/ShowFixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
namespace sf = showfix;

namespace {

// The music group with a play list of two items. The media layer keeps the group's
// fields in one block of their own.
sf::Music TwoSongs() {
    sf::Music m;
    m.EndFadeTime = 1500;
    m.Volume = 200;
    m.Follow = 1;
    sf::MusicItem a;
    a.FileName = "Musik\\Lied.mp3";
    a.Volume = 128;
    a.Start = 1000;
    a.End = 61000;
    a.FadeIn = 500;
    a.Gap = 0;
    a.Length = 180000;
    a.Delay = 250;
    sf::MusicItem b;
    b.FileName = "http://radio.example/strom";
    m.Items = {a, b};
    return m;
}

// A show as its writer lays it out: the three groups and the player group of a show,
// a dummy with events, a chapter with a child, a dummy.
Bytes CanonicalShow() {
    sf::Main main;
    main.DefaultDuration = 4000;
    // A stored player name the tool knows survives the resave.
    main.Player = "TRealTimeSlideShowPlayer";
    sf::Player player;
    player.ClientWidth = 1024;
    sf::File f;
    f.Add(sf::GroupChunk("TSlideShowProperties", sf::MainGroup(main)));
    f.Add(sf::GroupChunk("TMusicProperties", sf::Block(sf::MusicGroup(TwoSongs()))));
    f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(sf::Info{"Anna", "Urlaub", "", "", {}})));
    f.Add(sf::GroupChunk("TStandardSlideShowPlayerProperties", sf::StandardPlayerGroup(player)));
    f.Add(sf::Cat({sf::Run(3), sf::Dummy(1000, "Hallo"), sf::Chapter("Kapitel"), sf::Run(1), sf::Dummy(500, "innen"),
                   sf::Dummy(2000, "", false)}),
          6);
    return f.Build();
}

TEST(ShowToolTest, DumpPrintsHeaderGroupsAndTree) {
    TempDir dir;
    const std::string file = dir / "show.kls";
    WriteFileBytes(file, CanonicalShow());
    const ToolRun r = RunTool(dir, "dump " + Q(file));
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line : {"load result: 0\n", "format id: 1281 (0x501)\n", "content version: 773 (0x305)\n",
                             "chunks: 10\n", "group TSlideShowProperties \"Lumivor\"\n", "  DefaultDuration = 4000\n",
                             "group TSlideShowInfoProperties \"Lumivor\"\n", "  Title = \"Urlaub\"\n",
                             "group TStandardSlideShowPlayerProperties \"Lumivor-Player\"\n",
                             "  ClientWidth = 1024\n", "  StdCharC = 63\n", "items: 3 top-level, 4 in all\n",
                             "  2 TContainerSlideShowObject enabled=1 start=-1 duration=500 text=\"Kapitel\"",
                             "    2.1 TDummySlideShowObject enabled=1 start=-1 duration=500 text=\"innen\"",
                             "  3 TDummySlideShowObject enabled=0", "dropped items: 0\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    for (const char* line : {"group TMusicProperties \"Lumivor\"\n", "  EndFadeTime = 1500\n", "  MusicVolume = 200\n",
                             "  FollowShowTime = 1\n", "  PlayList = 2 items\n",
                             "    \"Musik\\Lied.mp3\" volume=128 start=1000 end=61000 fadein=500 fadeout=0 gap=0 "
                             "delay=250 length=180000 curve=0\n",
                             "    \"http://radio.example/strom\" volume=255"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST(ShowToolTest, ResaveGivesTheSameBytes) {
    TempDir dir;
    const std::string in = dir / "in.kls", out = dir / "out.kls";
    WriteFileBytes(in, CanonicalShow());
    const ToolRun r = RunTool(dir, "resave " + Q(in) + " " + Q(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(out), CanonicalShow().vec());
}

// A show as the authoring program delivers it: groups this program keeps no entry for,
// and a thumbnail chunk per top-level item.
TEST(ShowToolTest, DeliveredShowLoadsWithForeignGroupsSkipped) {
    TempDir dir;
    sf::File f;
    f.Add(sf::GroupChunk("TSlideShowProperties", sf::MainGroup(sf::Main())));
    f.Add(sf::GroupChunk("TMusicProperties", sf::Block(sf::MusicGroup(TwoSongs()))));
    f.Add(sf::GroupChunk("TSlideShowInfoProperties", sf::InfoGroup(sf::Info())));
    f.Add(sf::GroupChunk("TThumbnailProperties", Bytes().u32(120).u32(90)));
    f.Add(sf::GroupChunk("TSlideShowLogoProperties", sf::LogoGroup(sf::Logo{1, "logo.bmp", 3000, 1, 0})));
    f.Add(sf::GroupChunk("TStandardSlideShowPlayerProperties", sf::StandardPlayerGroup(sf::Player())));
    Bytes run = sf::Run(6);
    for (int i = 0; i < 6; ++i) run.raw(sf::Dummy(1000 * (i + 1)).vec());
    f.Add(run, 7);
    for (uint32_t i = 0; i < 6; ++i) f.Add(sf::ThumbnailChunk(i));
    const std::string in = dir / "Slideshow.kls";
    WriteFileBytes(in, f.Build());
    const ToolRun r = RunTool(dir, "dump " + Q(in));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("chunks: 19\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("items: 6 top-level, 6 in all\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  PlayList = 2 items\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("TThumbnailProperties"), std::string::npos);
    EXPECT_EQ(r.out.find("TSlideShowLogoProperties"), std::string::npos);
    EXPECT_NE(r.out.find("group TStandardSlideShowPlayerProperties"), std::string::npos);
}

TEST(ShowToolTest, DroppedItemsAreCountedAndLeftOut) {
    TempDir dir;
    sf::File f;
    f.Add(sf::Cat({sf::Run(3), sf::Dummy(1000, "a"), sf::Item("TPicSlideShowObject", Bytes().u8(1)),
                   sf::Dummy(2000, "b")}),
          4);
    const std::string in = dir / "in.kls", out = dir / "out.kls";
    WriteFileBytes(in, f.Build());
    const ToolRun d = RunTool(dir, "dump " + Q(in));
    EXPECT_EQ(d.status, 0);
    EXPECT_NE(d.out.find("dropped items: 1\n"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("items: 2 top-level"), std::string::npos) << d.out;
    EXPECT_EQ(d.err.find("Item dropped"), std::string::npos) << d.err;  // quiet unless asked
    const ToolRun debug = RunTool(dir, "dump " + Q(in), "GC_DEBUG=1 ");
    EXPECT_NE(debug.err.find("Item dropped: unknown class \"TPicSlideShowObject\""), std::string::npos) << debug.err;
    const ToolRun r = RunTool(dir, "resave " + Q(in) + " " + Q(out));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("1 unreadable"), std::string::npos) << r.err;
}

TEST(ShowToolTest, FailuresExitWithTheReason) {
    TempDir dir;
    const std::string out = dir / "out.kls";
    struct Case {
        Bytes file;
        const char* reason;
        int result;
    };
    std::vector<Case> cases;
    cases.push_back({sf::File(0x507, 0x100).Build(), "not a show file (format id 1287)", 1});
    cases.push_back({sf::File(0x501, 0x2FF).Build(), "content version 0x2FF is older than 0x300", 2});
    Bytes junk;
    junk.raw("no container here, only text");
    cases.push_back({junk, "bad.kls: not a show file (no container)\n", 1});
    Bytes cut = CanonicalShow();
    std::vector<uint8_t> bytes = cut.vec();
    bytes.resize(bytes.size() - 7);
    cases.push_back({Bytes().raw(bytes), "damaged", 1});
    for (const Case& c : cases) {
        const std::string in = dir / "bad.kls";
        WriteFileBytes(in, c.file);
        const ToolRun d = RunTool(dir, "dump " + Q(in));
        EXPECT_EQ(d.status, 1) << c.reason;
        EXPECT_NE(d.err.find(c.reason), std::string::npos) << d.err;
        EXPECT_NE(d.out.find("load result: " + std::to_string(c.result) + "\n"), std::string::npos) << d.out;
        const ToolRun r = RunTool(dir, "resave " + Q(in) + " " + Q(out));
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_EQ(RunTool(dir, "dump " + Q(dir / "missing.kls")).status, 1);
    const ToolRun folder = RunTool(dir, "resave " + Q(dir.Path().string()) + " " + Q(out));
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find(dir.Path().string() + ": cannot open the file: is a folder"), std::string::npos) << folder.err;
}

TEST(ShowToolTest, HelpOnStdoutAndWrongCallsOnStderr) {
    TempDir dir;
    for (const char* help : {"--help", "-h"}) {
        const ToolRun r = RunTool(dir, help);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: glowcanvas-show", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    for (const char* wrong : {"", "frobnicate", "dump", "resave a", "options", "options o.dat --duration",
                              "options o.dat --duration 3600001", "options o.dat --loud"}) {
        const ToolRun r = RunTool(dir, wrong);
        EXPECT_EQ(r.status, 2) << wrong;
        EXPECT_EQ(r.out, "") << wrong;
        EXPECT_NE(r.err.find("usage: glowcanvas-show"), std::string::npos) << wrong;
    }
}

TEST(ShowToolTest, OptionsWritesTheStoredFormOfTheOptions) {
    TempDir dir;
    // One block: its size, the show's name (empty), sound, resume, shuffle, last
    // position, default duration.
    auto stored = [](uint8_t sound, uint8_t resume, uint8_t shuffle, int32_t duration) {
        return Bytes().i32(19).i32(0).u8(sound).u8(resume).u8(shuffle).i32(0).i32(duration).vec();
    };
    const struct {
        const char* args;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"", stored(1, 1, 0, 3000)},
        {" --duration 5000", stored(1, 1, 0, 5000)},
        {" --no-sound --no-resume --duration 0", stored(0, 0, 0, 0)},
        {" --shuffle --duration 3600000", stored(1, 0, 1, 3600000)},
    };
    for (const auto& c : cases) {
        const std::string out = dir / "settings.dat";
        const ToolRun r = RunTool(dir, "options " + Q(out) + c.args);
        ASSERT_EQ(r.status, 0) << c.args << r.err;
        EXPECT_EQ(ReadFileBytes(out), c.bytes) << c.args;
    }
}

// Paths on the command line are the file system's: a colon or a backslash is part of
// a name, and a name may be as long as the file system allows.
TEST(ShowToolTest, TypedPathsReachTheFileSystemAsTyped) {
    TempDir dir;
    const std::string in = dir / "in.kls";
    WriteFileBytes(in, CanonicalShow());
    for (const std::string& name : {std::string("q:out.kls"), std::string("a\\b.kls"), std::string(246, 'n') + ".kls"}) {
        const ToolRun r = RunTool(dir, "resave " + Q(in) + " " + Q(dir / name));
        ASSERT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(ReadFileBytes(dir / name), CanonicalShow().vec()) << name;
        const ToolRun d = RunTool(dir, "dump " + Q(dir / name));
        EXPECT_EQ(d.status, 0) << name << d.err;
    }
    // Nothing else appeared: no mapped names, no temporaries.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5);
}

TEST(ShowToolTest, ResaveRemovesTemporariesOfKilledWritersOnly) {
    TempDir dir;
    const std::string in = dir / "in.kls";
    WriteFileBytes(in, CanonicalShow());
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = "." + std::string("out.kls.~") + std::to_string(gone) + "-k3x9q2.tmp";
    const std::string live = "." + std::string("out.kls.~") + std::to_string(::getpid()) + "-a1b2c3.tmp";
    dir.Write(dead, "half");
    dir.Write(live, "busy");
    const ToolRun r = RunTool(dir, "resave " + Q(in) + " " + Q(dir / "out.kls"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.Exists(dead));
    EXPECT_TRUE(dir.Exists(live));
}

}  // namespace
