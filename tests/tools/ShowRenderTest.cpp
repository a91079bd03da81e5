// The show tool's render: a show of solid-colour pictures with cross-fades, rendered at
// a still phase and in the middle of a fade; renders repeat byte for byte and equal what
// the off-screen host shows; a damaged show fails with its reason.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "graphics/PngReader.h"
#include "graphics/PngWriter.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/PlaybackModules.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <gtest/gtest.h>

namespace {

TBitmap32 ReadPng(const std::string& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return ReadPngPicture(bytes.data(), bytes.size());
}

std::string Render(const TempDir& dir, const std::string& show, int at, const std::string& out,
                   const std::string& extra = "") {
    const ToolRun r = RunTool(dir, "render " + Q(show) + " --at " + std::to_string(at) + " --size 160x120 " + extra +
                                       " " + Q(dir / out));
    EXPECT_EQ(r.status, 0) << r.err;
    return dir / out;
}

TEST(ShowRender, RepeatsByteForByteAndEqualsTheHostsImage) {
    TempDir dir;
    const std::string show = WriteColourShow(dir, 160, 120);
    // In the middle of the second picture's fade, and in its still phase.
    for (int at : {3500, 5000}) {
        const std::vector<uint8_t> a = ReadFileBytes(Render(dir, show, at, "a.png"));
        const std::vector<uint8_t> b = ReadFileBytes(Render(dir, show, at, "b.png", "--seed 1"));
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a, b) << at;
        std::filesystem::copy_file(dir / "a.png", TestOutputFolder() / ("render-" + std::to_string(at) + ".png"),
                                   std::filesystem::copy_options::overwrite_existing);

        TSlideShow loaded;
        ASSERT_EQ(loaded.LoadFromFile(dir.Program() + "show.kls"), 0);
        RandSeed(1);
        TManualTickCount clock;
        TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(nullptr));
        TOffscreenPlayerHost host(*player, 160, 120, &clock);
        host.Play(&loaded);
        host.RunFor(at);
        EXPECT_EQ(EncodePngPicture(TBitmap32(host.ClientImage())), a) << at;
        host.Finish();
    }
    // The still phase shows the second picture whole; the fade lies between both.
    const TBitmap32 still = ReadPng(Render(dir, show, 5000, "still.png"));
    const TBitmap32 fade = ReadPng(Render(dir, show, 3500, "fade.png"));
    const TColor32 s = still.Pixel(80, 60), f = fade.Pixel(80, 60);
    EXPECT_NEAR(int(s >> 8 & 0xFF), 0xC0, 6);
    EXPECT_NEAR(int(s >> 16 & 0xFF), 0x20, 6);
    EXPECT_GT(int(f >> 16 & 0xFF), 0x50);
    EXPECT_LT(int(f >> 16 & 0xFF), 0xB0);
}

TEST(ShowRender, ADamagedShowOrAWrongCallFails) {
    TempDir dir;
    WriteFileBytes(dir / "kaputt.kls", {'O', 'K', 'F', 0, 1, 2, 3});
    ToolRun r = RunTool(dir, "render " + Q(dir / "kaputt.kls") + " --at 0 --size 10x10 " + Q(dir / "x.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("kaputt.kls: "), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    r = RunTool(dir, "play " + Q(dir / "kaputt.kls"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("kaputt.kls: "), std::string::npos) << r.err;
    for (const char* args : {"render a.kls --at -1 --size 10x10 o.png", "render a.kls --at 0 --size 10 o.png",
                             "render a.kls --at 0 o.png", "render a.kls --size 1x1 o.png", "play a.kls --window 0x5",
                             "play", "render a.kls --at 0 --size 1x1 --seed x o.png",
                             "render a.kls --at 100 --every 0 --size 1x1 frames"})
        EXPECT_EQ(RunTool(dir, args).status, 2) << args;
}

}  // namespace
