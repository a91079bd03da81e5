// The show tool's render: a show of solid-colour pictures with cross-fades, rendered at
// a still phase and in the middle of a fade; renders repeat byte for byte and equal what
// the off-screen host shows; picture items naming videos show their first frames; a
// damaged show fails with its reason.
#include "ColourShow.h"
#include "TestSupport.h"
#include "ToolRunSupport.h"
#include "graphics/PngWriter.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/video_testsupport.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/PlaybackModules.h"
#include "playback/RealTimeSlideShowPlayer.h"
#include "document/SlideShowProperties.h"
#include "foundation/FileResolver.h"
#include "shell/ScreenSaverMain.h"

#include <gtest/gtest.h>

namespace {

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
        TInstalled<SetTickSource> installedClock(clock);
        TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(nullptr));
        TOffscreenPlayerHost host(*player, 160, 120, &clock);
        host.Play(&loaded);
        host.RunFor(at);
        EXPECT_EQ(EncodePngPicture(TBitmap32(host.ClientImage())), a) << at;
        host.Finish();
    }
    // The still phase shows the second picture whole; the fade lies between both.
    const TBitmap32 still = ReadPngFile(Render(dir, show, 5000, "still.png"));
    const TBitmap32 fade = ReadPngFile(Render(dir, show, 3500, "fade.png"));
    const TColor32 s = still.Pixel(80, 60), f = fade.Pixel(80, 60);
    EXPECT_NEAR(int(s >> 8 & 0xFF), 0xC0, 6);
    EXPECT_NEAR(int(s >> 16 & 0xFF), 0x20, 6);
    EXPECT_GT(int(f >> 16 & 0xFF), 0x50);
    EXPECT_LT(int(f >> 16 & 0xFF), 0xB0);
}

// One picture item a second, each naming a video written by the test in one of the
// five formats; each second's render shows that video's frame 0.
TEST(ShowRender, PictureItemsNamingVideosShowTheirFirstFrames) {
    ToolShowPlugins();
    TempDir dir;
    const char* const videos[] = {"bars.avi", "bars.mov", "bars.mpg", "bars.mpeg", "bars.wmv"};
    TSlideShow show;
    for (const char* name : videos) {
        std::string error;
        ASSERT_TRUE(WriteTestVideo(dir / name, 160, 120, 10, 25, &error)) << name << ": " << error;
        auto* item = new TExtPicSlideShowObject();
        item->FileName = name;
        item->Duration = 1000;
        item->FreeTransition();
        show.RootList().Add(item);
    }
    ASSERT_TRUE(show.SaveToFile(dir.Program() + "videos.kls"));
    for (int i = 0; i < int(std::size(videos)); ++i) {
        SCOPED_TRACE(videos[i]);
        const TBitmap32 b = ReadPngFile(Render(dir, dir / "videos.kls", 500 + 1000 * i, videos[i] + std::string(".png")));
        ASSERT_EQ(b.Width(), 160);
        auto pixel = [&](int x, int y) { return b.Pixel(x, y); };
        EXPECT_EQ(ReadTestFrameNumber(160, 120, pixel), 0);
        std::string bar;
        EXPECT_TRUE(TestBarsMatch(0, 160, 120, pixel, 24, &bar)) << bar;
        std::filesystem::copy_file(dir / (videos[i] + std::string(".png")),
                                   TestOutputFolder() / ("render-" + std::string(videos[i]) + ".png"),
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

// The screen saver's player, drawing off-screen: the frame at At of the show its run hands it.
class TOffscreenSaverPlayer : public TRealTimeSlideShowPlayer {
public:
    TOffscreenSaverPlayer(TManualTickCount& clock, int32_t at) : TRealTimeSlideShowPlayer(nullptr), clock_(clock), at_(at) {}
    void PlayInWindow(TSlideShow* show, bool makeCopy) override {
        TOffscreenPlayerHost host(*this, 160, 120, &clock_);
        host.Play(show, makeCopy);
        host.RunFor(at_);
        Frame = EncodePngPicture(TBitmap32(host.ClientImage()));
        host.Finish();
    }
    std::vector<uint8_t> Frame;

private:
    TManualTickCount& clock_;
    int32_t at_;
};

// The tool plays what the screen saver plays: a show stored to stop at its end renders,
// in a fade and past its end, as the saver's own run draws it (which starts it again).
TEST(ShowRender, EqualsTheFrameOfTheScreenSaversRun) {
    TempDir dir;
    WriteColourShow(dir, 160, 120);
    {
        TSlideShow show;
        ASSERT_EQ(show.LoadFromFile(dir.Program() + "show.kls"), 0);
        ASSERT_NE(show.SlideShowProperties, nullptr);
        show.SlideShowProperties->EndAction = 1;
        ASSERT_TRUE(show.SaveToFile(dir.Program() + "stopping.kls"));
    }
    struct TOptionsInstalled {
        TOptionsInstalled() { Options.reset(new TScreenSaverProperties()); }
        ~TOptionsInstalled() { Options.reset(); }
    } installedOptions;
    Options->FileName = dir.Program() + "stopping.kls";
    Options->ResumeAtLastPos = false;
    for (int at : {3500, 10500}) {
        const std::vector<uint8_t> tool = ReadFileBytes(Render(dir, dir / "stopping.kls", at, "tool.png"));
        ASSERT_FALSE(tool.empty()) << at;
        RandSeed(1);
        TManualTickCount clock;
        TInstalled<SetTickSource> installedClock(clock);
        TPluginPtr<TOffscreenSaverPlayer> saver(new TOffscreenSaverPlayer(clock, at));
        PlaySlideShow(*saver, DefaultFileResolver());
        EXPECT_EQ(saver->Frame, tool) << at;
    }
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
