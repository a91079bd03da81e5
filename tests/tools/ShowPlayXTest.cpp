// The player on a real X server (under Xvfb, see tests/tools/xvfb_play.sh; skipped
// elsewhere): the show tool plays a show of solid-colour pictures full screen, and the
// screen in its still phases equals the tool's renders; Escape ends it. A show drawn into
// a window of "another program" appears in it, and that window's end ends the play.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Window.h"
#include "playback/PlaybackModules.h"
#include "playback/PlayerWindow.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <gtest/gtest.h>

// Last: Xlib's macros would spoil the headers above.
#include "XScreenSupport.h"

#include <SDL.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

bool UnderX() { return std::getenv("DISPLAY") && std::getenv("GC_TEST_UNDER_X"); }

TEST(ShowPlayX, FullScreenStillPhasesEqualTheRendersAndEscapeEndsIt) {
    if (!UnderX()) GTEST_SKIP() << "needs an X server (tests/tools/xvfb_play.sh)";
    TempDir dir;
    const std::string show = WriteColourShow(dir, 320, 240);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const int w = DisplayWidth(display, DefaultScreen(display)), h = DisplayHeight(display, DefaultScreen(display));
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::vector<TBitmap32> stills;
    for (int at : {2000, 5000, 8000}) {
        const std::string out = dir / ("still" + std::to_string(at) + ".png");
        ASSERT_EQ(RunTool(dir, "render " + Q(show) + " --at " + std::to_string(at) + " --size " + size + " " + Q(out)).status, 0);
        stills.push_back(ReadPngFile(out));
    }

    const std::string tool = ShowTool().string();
    std::vector<char*> argv = {const_cast<char*>(tool.c_str()), const_cast<char*>("play"),
                               const_cast<char*>(show.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Each still phase in turn, as the show reaches it.
    const auto start = std::chrono::steady_clock::now();
    size_t next = 0;
    TImage32 last;
    while (next < stills.size() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        last = Screenshot(display);
        if (Near(last, stills[next])) {
            WritePngPicture(TBitmap32(last), (TestOutputFolder() / ("play-still-" + std::to_string(next) + ".png")).string());
            ++next;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (next < stills.size() && !last.Empty())
        WritePngPicture(TBitmap32(last), (TestOutputFolder() / "play-last-screen.png").string());
    EXPECT_EQ(next, stills.size()) << "still phases seen on the screen";
    ASSERT_EQ(RunCommand("xdotool key Escape").status, 0);
    int status = -1;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!WIFEXITED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "Escape did not end the play";
    } else {
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    XCloseDisplay(display);
}

TEST(ShowPlayX, AShowDrawnIntoAForeignWindowEndsWithIt) {
    if (!UnderX()) GTEST_SKIP() << "needs an X server (tests/tools/xvfb_play.sh)";
    TempDir dir;
    WriteColourShow(dir, 320, 240);
    TSlideShow show;
    ASSERT_EQ(show.LoadFromFile(dir.Program() + "show.kls"), 0);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 50, 40, 160, 120, 0, 0, 0);
    XMapWindow(display, other);
    XSync(display, False);

    std::unique_ptr<TWindow> window = WindowSystem().CreateForeignWindow(other);
    ASSERT_NE(window, nullptr);
    TPlayerWindowForm form(std::move(window));
    TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(nullptr));
    player->BeginPlay(&form, &show, false, nullptr, 0);
    form.SetOnMessageLoop([&] { player->MessageLoopStep(); });
    form.SetMessageHook([&](TMessage& m) { return player->HandlePlayerMessage(m); });

    // Another program looks into its window at the still phase, then destroys it.
    std::atomic<uint32_t> destroyedAt{0};
    uint32_t seen = 0;
    std::thread other_program([&] {
        Display* own = XOpenDisplay(nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        if (XImage* x = XGetImage(own, other, 80, 60, 1, 1, AllPlanes, ZPixmap)) {
            seen = uint32_t(XGetPixel(x, 0, 0) & 0xFFFFFF);
            XDestroyImage(x);
        }
        destroyedAt = GetTickCount();
        XDestroyWindow(own, other);
        XSync(own, False);
        XCloseDisplay(own);
    });
    const int32_t result = form.RunModalLoop();
    const uint32_t ended = GetTickCount();
    other_program.join();
    player->EndPlay();
    EXPECT_EQ(result, mrCancel);
    EXPECT_LE(ended - destroyedAt.load(), 1000u);
    EXPECT_NEAR(int(seen >> 16 & 0xFF), 0xE0, 8);
    EXPECT_NEAR(int(seen >> 8 & 0xFF), 0x20, 8);
    XCloseDisplay(display);
}

}  // namespace
