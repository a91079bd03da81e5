// The screen saver as the desktop runs it, on an X server (under Xvfb, see
// tests/shell/xvfb_saver.sh; skipped elsewhere): a saver built from solid-colour
// pictures with long still phases plays full screen as the show tool renders it, ends on
// the user's first real input, resumes where it stopped, previews inside another
// program's window, and leaves no temporary folder behind. Started by a screen-saver
// daemon (our stand-in), it draws into the daemon's window, leaves the input to it and
// ends on its SIGTERM or with its window.
#include "RunShowSupport.h"
#include "document/SlideShowPlayerProperties.h"
#include "ShellTestSupport.h"
#include "graphics/PngReader.h"
#include "platform/Registry.h"
#include "shell/ScreenSaverOptions.h"
#include "tools/ToolRunSupport.h"
#include "document/SlideShow.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <fstream>
#include <cmath>
#include <memory>
#include <set>
#include <thread>

#include "DeadServer.h"
#include "XScreenSupport.h"
#include "document/SoundSlideShowObject.h"
#include "soundlib/SoundFixtures.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool UnderX() { return std::getenv("DISPLAY") && std::getenv("GC_TEST_UNDER_X"); }

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// How long a saver told to end may take to be gone: it ends at once, but its exit takes
// its time on a loaded machine (under the sanitizers the leak scan alone takes 0.6-0.8 s
// there).
constexpr int kEndsWithin = 3000;

// The saver programs and the renders of their show, made once for all tests.
struct TKit {
    TempDir Dir;
    std::string Saver;        // with the sound library
    std::string SilentSaver;  // without it
    std::string BrokenSaver;  // its package does not extract
    std::string MusicSaver;   // the same pictures, with a tone as background music
    std::string Show;         // the show as packed
    std::vector<TBitmap32> Stills;  // the full screen at 3000, 7000 and 11000 ms
    int Width = 0, Height = 0;
};

TKit* g_kit = nullptr;
// Its folder, with the savers and their shows, goes when the program ends.
std::unique_ptr<TKit> g_kitOwner;

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }
Display* g_display = nullptr;

// A copy of the program with the folder appended as its package.
std::string PackSaver(const TKit& kit, const std::string& name, const fs::path& folder) {
    const std::string saver = kit.Dir / name;
    if (!PackProgram(saver, folder.string())) ADD_FAILURE() << "glowcanvas-pack append failed";
    return saver;
}

// A second of a 440 Hz tone at half the full level: 16-bit mono PCM at 44100 Hz.
void WriteTone(const fs::path& file) {
    constexpr int kRate = 44100;
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> 8 * i));
    };
    auto u16 = [&](uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    tag("RIFF");
    u32(36 + kRate * 2);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    tag("data");
    u32(kRate * 2);
    for (int i = 0; i < kRate; ++i) u16(uint16_t(int16_t(16000 * std::sin(2 * M_PI * 440 * i / kRate))));
    WriteFileBytes(file.string(), b);
}

// Builds the show of package's "Lumivor" folder with pictures of 4 s that cross-fade and
// a second of a tone as its song; returns the show's file.
fs::path BuildToneShow(const fs::path& package) {
    WriteTone(package / "Lumivor" / "ton.wav");
    const fs::path show = package / "Lumivor" / "Slideshow.kls";
    const int status = RunCommand(Q(ShowTool().string()) + " build " + Q((package / "Lumivor").string()) + " " +
                                  Q(show.string()) + " --duration 4000 --transition TAlphablendingTransitionPlugin --music " +
                                  Q((package / "Lumivor" / "ton.wav").string()))
                           .status;
    EXPECT_EQ(status, 0) << "the show was not built";
    return show;
}

TKit* MakeKit(Display* display) {
    auto kit = std::make_unique<TKit>();
    kit->Width = DisplayWidth(display, DefaultScreen(display));
    kit->Height = DisplayHeight(display, DefaultScreen(display));
    // Pictures of 4 s each, faded in over the first two, built as the demo builds its
    // show; the options keep the show's own durations.
    const fs::path package = kit->Dir.Path() / "package";
    // Large enough to fill the stage: the builder grows smaller pictures only so far.
    WriteRunPictures(package / "Lumivor", 3, 960, 720);
    kit->Show = (package / "Lumivor" / "Slideshow.kls").string();
    if (RunCommand(Q(ShowTool().string()) + " build " + Q((package / "Lumivor").string()) + " " + Q(kit->Show) +
                   " --duration 4000 --transition TAlphablendingTransitionPlugin")
            .status != 0) {
        ADD_FAILURE() << "glowcanvas-show build failed";
        return nullptr;
    }
    if (RunCommand(Q(ShowTool().string()) + " options " + Q((package / "settings.dat").string()) + " --duration 0")
            .status != 0) {
        ADD_FAILURE() << "glowcanvas-show options failed";
        return nullptr;
    }
    kit->SilentSaver = PackSaver(*kit, "stumm", package);
    fs::copy_file(BuildDir() / "soundlib" / "fmod.dll", package / "fmod.dll");
    kit->Saver = PackSaver(*kit, "sonne", package);
    // A package that does not extract: an item's name would leave the folder.
    MakeHostWithPackage(kit->Dir / "kaputt",
                        {{"settings.dat", OptionsBytes("", true, true, false, 0, 0)}, {"..\\boese.txt", {1, 2}}},
                        ReadFileBytes((BuildDir() / "tools" / "glowcanvas").string()));
    fs::permissions(kit->Dir / "kaputt", fs::perms::owner_all);
    kit->BrokenSaver = kit->Dir / "kaputt";
    // The same show with a second of a 440 Hz tone as its music, packed beside it.
    const fs::path musical = kit->Dir.Path() / "musikpaket";
    fs::copy(package, musical, fs::copy_options::recursive);
    WriteTone(musical / "Lumivor" / "ton.wav");
    if (RunCommand(Q(ShowTool().string()) + " build " + Q((musical / "Lumivor").string()) + " " +
                   Q((musical / "Lumivor" / "Slideshow.kls").string()) +
                   " --duration 4000 --transition TAlphablendingTransitionPlugin --music " +
                   Q((musical / "Lumivor" / "ton.wav").string()))
            .status != 0) {
        ADD_FAILURE() << "glowcanvas-show build --music failed";
        return nullptr;
    }
    kit->MusicSaver = PackSaver(*kit, "musik", musical);
    const std::string size = std::to_string(kit->Width) + "x" + std::to_string(kit->Height);
    for (int at : {3000, 7000, 11000}) {
        const std::string out = kit->Dir / ("still" + std::to_string(at) + ".png");
        const ToolRun r = RunCommand(Q(ShowTool().string()) + " render " + Q(kit->Show) + " --at " +
                                     std::to_string(at) + " --size " + size + " " + Q(out) + " 2>&1");
        if (r.status != 0) {
            ADD_FAILURE() << "glowcanvas-show render failed: " << r.out;
            return nullptr;
        }
        const std::vector<uint8_t> bytes = ReadFileBytes(out);
        kit->Stills.push_back(ReadPngPicture(bytes.data(), bytes.size()));
    }
    return kit.release();
}

// One run of a saver program.
class TRun {
public:
    // With env first in the environment; stdout to a file when one is named.
    TRun(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env = {},
         const std::string& out = "") {
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> vars(env);
        for (char** e = environ; *e; ++e) vars.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TRun() {
        if (pid_ && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ != 0; }
    pid_t Pid() const { return pid_; }
    // Whether it has ended within ms; its exit status then.
    bool Ended(int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            }
            Sleep(20);
        } while (Clock::now() < until);
        return false;
    }
    int ExitStatus() const { return exitStatus_; }

private:
    pid_t pid_ = 0;
    bool exited_ = false;
    int exitStatus_ = -1;
};

// The colour of a still phase at the screen's centre: 0..3 for the show's pictures, -1
// for anything else (black, a fade).
int StillAt(const TImage32& screen, int x, int y) {
    if (screen.Empty()) return -1;
    for (int i = 0; i < 4; ++i)
        if (NearPixel(screen.Pixel(x, y), kRunColors[i])) return i;
    return -1;
}

class SaverX : public ::testing::Test {
protected:
    // One connection for the whole suite: a server that loses its last client resets,
    // and refuses connections meanwhile.
    static void SetUpTestSuite() {
        if (!UnderX()) return;
        // A daemon's window may go while we look at it.
        XSetErrorHandler(IgnoreXErrors);
        if (!g_display) g_display = XOpenDisplay(nullptr);
        if (!g_display || g_kit) return;
        g_kit = MakeKit(g_display);
        g_kitOwner.reset(g_kit);
    }
    static void TearDownTestSuite() {
        if (g_display) XCloseDisplay(g_display);
        g_display = nullptr;
    }

    void SetUp() override {
        if (!UnderX()) GTEST_SKIP() << "needs an X server (tests/shell/xvfb_saver.sh)";
        ASSERT_NE(g_display, nullptr);
        ASSERT_NE(g_kit, nullptr) << "the saver could not be built";
        display_ = g_display;
        xdo("mousemove 100 100");
    }

    static void xdo(const std::string& args) { RunCommand("xdotool " + args); }

    TImage32 Screen() { return Screenshot(display_); }
    // Waits until the screen shows a picture still; its number, -1 when none came.
    int WaitForStill(int ms = 6000) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            const int still = StillAt(Screen(), g_kit->Width / 2, g_kit->Height / 2);
            if (still >= 0) return still;
            Sleep(50);
        }
        return -1;
    }
    // Waits until the screen's centre is no longer black; the picture still it shows
    // then (-1: none, a fade).
    int FirstPicture(int ms = 6000) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            const TImage32 screen = Screen();
            if (!screen.Empty() && (screen.Pixel(g_kit->Width / 2, g_kit->Height / 2) & 0xFFFFFF) != 0)
                return StillAt(screen, g_kit->Width / 2, g_kit->Height / 2);
            Sleep(20);
        }
        return -1;
    }
    // How many of the show's still phases the window shows, each as the show tool renders
    // it, looking until two were seen (15 s at most); each kept as name-still-N.
    size_t StillsSeenIn(unsigned long window, const std::string& name) {
        std::set<size_t> seen;
        TImage32 last;
        const auto start = Clock::now();
        while (seen.size() < 2 && Clock::now() - start < std::chrono::seconds(15)) {
            last = Screenshot(display_, window);
            for (size_t i = 0; i < g_kit->Stills.size(); ++i)
                if (!seen.count(i) && Near(last, g_kit->Stills[i])) {
                    seen.insert(i);
                    Keep(last, name + "-still-" + std::to_string(i));
                }
            Sleep(100);
        }
        if (seen.size() < 2) Keep(last, name + "-last");
        return seen.size();
    }
    // Whether the screen's centre shows anything but black within ms.
    bool PictureShown(int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            const TImage32 screen = Screen();
            if (!screen.Empty() && (screen.Pixel(g_kit->Width / 2, g_kit->Height / 2) & 0xFFFFFF) != 0) return true;
            Sleep(10);
        }
        return false;
    }
    void Keep(const TImage32& image, const std::string& name) {
        if (!image.Empty()) WritePngPicture(TBitmap32(image), (TestOutputFolder() / (name + ".png")).string());
    }
    TPluginPtr<TScreenSaverProperties> Stored(const std::string& name = "sonne") {
        TPluginPtr<TScreenSaverProperties> options;
        LoadOptionsFromRegistry(AnsiString(name), options);
        return options;
    }

    TestRegistry registry;
    TestTempFolder temp;
    Display* display_ = nullptr;
};

TEST_F(SaverX, PlaysTheShowAsItRendersAndResumesWhereItStopped) {
    TRun run(g_kit->Saver, {"/s"});
    ASSERT_TRUE(run.Started());
    // Each still phase in turn, as the show reaches it.
    size_t next = 0;
    TImage32 last;
    const auto start = Clock::now();
    while (next < g_kit->Stills.size() && Clock::now() - start < std::chrono::seconds(25)) {
        last = Screen();
        if (Near(last, g_kit->Stills[next])) Keep(last, "saver-still-" + std::to_string(next++));
        Sleep(100);
    }
    if (next < g_kit->Stills.size()) Keep(last, "saver-last-screen");
    EXPECT_EQ(next, g_kit->Stills.size()) << "still phases seen on the screen";
    EXPECT_EQ(temp.EntryCount(), 1u);  // the package's folder while it plays

    // Ended in the next picture's still phase, the next run starts there.
    const auto second = Clock::now();
    while (StillAt(Screen(), g_kit->Width / 2, g_kit->Height / 2) != 0 && Clock::now() - second < std::chrono::seconds(15))
        Sleep(50);
    Sleep(300);
    xdo("key a");
    ASSERT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(run.ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    const int32_t stopped = Stored()->LastPosition;
    EXPECT_GE(stopped % 12000, 2000) << stopped;
    EXPECT_LT(stopped % 12000, 4000) << stopped;

    TRun resumed(g_kit->Saver, {"/s"});
    EXPECT_EQ(FirstPicture(), 0);  // red at once: no fade from black first
    Keep(Screen(), "saver-resumed");
    xdo("key a");
    ASSERT_TRUE(resumed.Ended(kEndsWithin));

    // Without resuming: from the start, the first picture fading in from black.
    TPluginPtr<TScreenSaverProperties> options = Stored();
    options->ResumeAtLastPos = false;
    options->LastPosition = 4500;
    ASSERT_TRUE(SaveOptionsToRegistry("sonne", *options));
    TRun fresh(g_kit->Saver, {"/s"});
    bool fading = false;
    const auto third = Clock::now();
    while (!fading && Clock::now() - third < std::chrono::seconds(6)) {
        const uint32_t p = Screen().Pixel(g_kit->Width / 2, g_kit->Height / 2);
        const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF;
        fading = r > 0x30 && r < 0xD0 && g < 0x30;
        Sleep(30);
    }
    EXPECT_TRUE(fading) << "the first picture fading in";
    EXPECT_EQ(WaitForStill(), 0);
    xdo("key a");
    ASSERT_TRUE(fresh.Ended(kEndsWithin));
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(SaverX, TheFirstRealInputEndsItWithinASecond) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Input;  // xdotool calls, 200 ms apart
        bool Ends;
    };
    const TCase cases[] = {
        {"a key", {"key a"}, true},
        {"an Alt combination", {"key alt+x"}, true},
        {"a click", {"click 1"}, true},
        {"a move of 6 after a first move", {"mousemove 103 100", "mousemove 109 100"}, true},
        {"a move of 6 upwards", {"mousemove 100 103", "mousemove 100 97"}, true},
        {"moves of 5", {"mousemove 105 100", "mousemove 110 100", "mousemove 110 105"}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        xdo("mousemove 100 100");
        TRun run(g_kit->Saver, {"/s"});
        ASSERT_NE(WaitForStill(), -1);
        for (const std::string& input : c.Input) {
            Sleep(200);
            xdo(input);
        }
        EXPECT_EQ(run.Ended(c.Ends ? kEndsWithin : 1500), c.Ends);
        if (!c.Ends) {
            xdo("key Escape");
            EXPECT_TRUE(run.Ended(kEndsWithin));
        }
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
}

TEST_F(SaverX, AQuitOrAFailedExtractionLeavesNoFolder) {
    TRun run(g_kit->Saver, {"/s"});
    ASSERT_NE(WaitForStill(), -1);
    Sleep(500);
    kill(run.Pid(), SIGTERM);
    ASSERT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(run.ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    // The normal end: the position is stored.
    EXPECT_GT(Stored()->LastPosition, 1000);

    TRun broken(g_kit->BrokenSaver, {"/s"});
    ASSERT_TRUE(broken.Ended(5000));
    EXPECT_EQ(broken.ExitStatus(), 1);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(SaverX, WithoutTheSoundLibraryItWarnsAndPlaysSilently) {
    TRun run(g_kit->SilentSaver, {"/s"}, {"ASAN_OPTIONS=detect_leaks=0"});
    // The warning box, closed with Return.
    const ToolRun box = RunCommand(
        "for i in $(seq 100); do w=$(xdotool search --onlyvisible --name '^Warnung$' 2>/dev/null | head -n 1); "
        "[ -n \"$w\" ] && { echo $w; exit 0; }; sleep 0.1; done; exit 1");
    ASSERT_EQ(box.status, 0) << "no warning box";
    Sleep(300);
    Keep(Screen(), "saver-sound-warning");
    const std::string window = box.out.substr(0, box.out.find('\n'));
    xdo("windowfocus --sync " + window);
    xdo("key Return");
    EXPECT_NE(WaitForStill(8000), -1) << "the show plays after the warning";
    xdo("key a");
    EXPECT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(SaverX, ASigtermClosesTheWarningBoxAndEndsTheRunWithinASecond) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TRun run(g_kit->SilentSaver, {"/s"}, {"ASAN_OPTIONS=detect_leaks=0"});
        const ToolRun box = RunCommand(
            "for i in $(seq 100); do w=$(xdotool search --onlyvisible --name '^Warnung$' 2>/dev/null | head -n 1); "
            "[ -n \"$w\" ] && { echo $w; exit 0; }; sleep 0.1; done; exit 1");
        ASSERT_EQ(box.status, 0) << "no warning box";
        kill(run.Pid(), signal);
        ASSERT_TRUE(run.Ended(kEndsWithin));
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
}

TEST_F(SaverX, TheNextStartRemovesTheFolderOfAKilledRun) {
    std::string left;
    {
        TRun killed(g_kit->Saver, {"/s"});
        ASSERT_NE(WaitForStill(), -1);
        ASSERT_TRUE(killed.Started());
        // Its destructor kills it with SIGKILL: nothing of its own runs any more.
    }
    for (const auto& e : fs::directory_iterator(temp.Dir().Path())) left = e.path().string();
    ASSERT_FALSE(left.empty()) << "the killed run left nothing";
    TRun next(g_kit->Saver, {"/s"});
    ASSERT_NE(WaitForStill(), -1);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(temp.EntryCount(), 1u);  // its own, while it runs
    xdo("key a");
    ASSERT_TRUE(next.Ended(kEndsWithin));
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(SaverX, APreviewDrawsIntoTheHostsWindowUntilItCloses) {
    // The desktop's settings panel: the host's window of 152 x 112, its id on stdout.
    const std::string said = temp.Dir() / "host.txt";
    TRun host((BuildDir() / "tools" / "glowcanvas-preview-host").string(), {"--size", "152x112", g_kit->Saver}, {},
              said);
    ASSERT_TRUE(host.Started());
    unsigned long window = 0;
    for (int i = 0; i < 100 && !window; ++i) {
        std::ifstream f(said);
        std::string word;
        if (!(f >> word >> window) || word != "window") window = 0;
        Sleep(50);
    }
    ASSERT_NE(window, 0u) << "the host names its window";
    int still = -1;
    TImage32 seen;
    const auto start = Clock::now();
    while (still < 0 && Clock::now() - start < std::chrono::seconds(8)) {
        seen = Screenshot(display_, window);
        still = StillAt(seen, 76, 56);
        Sleep(50);
    }
    Keep(seen, "preview-152x112");
    ASSERT_GE(still, 0) << "the preview shows a picture";
    ASSERT_EQ(seen.Width, 152);
    ASSERT_EQ(seen.Height, 112);
    // The 4:3 picture fills the window but for a column on each side (and the blended
    // edge of the scaled picture).
    int covered = 0;
    for (int y = 0; y < seen.Height; ++y)
        for (int x = 0; x < seen.Width; ++x) covered += NearPixel(seen.Pixel(x, y), kRunColors[still]);
    EXPECT_GE(covered, 147 * 110);
    EXPECT_EQ(temp.EntryCount(), 1u);

    // The panel closes: the saver and with it the host end.
    AskToClose(display_, window);
    ASSERT_TRUE(host.Ended(kEndsWithin));
    EXPECT_EQ(host.ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    TPluginPtr<TScreenSaverProperties> options;
    EXPECT_FALSE(LoadOptionsFromRegistry("sonne", options)) << "a preview saves nothing";

    // A number that names no window: nothing plays, and the status says so at once.
    TRun nowhere(g_kit->Saver, {"/p", "123456789"});
    ASSERT_TRUE(nowhere.Ended(3000));
    EXPECT_EQ(nowhere.ExitStatus(), 1);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

// The installation's sound library in install, named in the machine's store (the user's
// store in registryDir becomes it): a run without a package takes it from there.
void InstallSoundLibrary(const fs::path& install, const fs::path& registryDir) {
    fs::create_directories(install);
    fs::copy_file(BuildDir() / "soundlib" / "fmod.dll", install / "fmod.dll");
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra\\Glowcanvas\\2.x", true));
        reg.WriteString("InstallDir", FromPosixPath(install.string()));
    }
    fs::rename(registryDir / "user.reg", registryDir / "machine.reg");
}

TEST_F(SaverX, WithoutAPackageItPlaysTheShowOfItsOptions) {
    ASSERT_NO_FATAL_FAILURE(InstallSoundLibrary(temp.Dir().Path() / "install", registry.Dir().Path()));
    TScreenSaverProperties options;
    options.FileName = FromPosixPath(g_kit->Show);
    options.ResumeAtLastPos = false;
    ASSERT_TRUE(SaveOptionsToRegistry("mond", options));
    const std::string plain = temp.Dir() / "mond";
    fs::copy_file(BuildDir() / "tools" / "glowcanvas", plain);

    TRun run(plain, {"/s"});
    EXPECT_EQ(WaitForStill(), 0);
    Keep(Screen(), "saver-without-package");
    xdo("key a");
    ASSERT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(run.ExitStatus(), 0);
    EXPECT_GT(Stored("mond")->LastPosition, 0);
}

// A show stored for a small window in the middle still fills the screen as a screen
// saver: the picture reaches the screen's corners.
TEST_F(SaverX, AShowStoredForAWindowFillsTheScreen) {
    ASSERT_NO_FATAL_FAILURE(InstallSoundLibrary(temp.Dir().Path() / "install", registry.Dir().Path()));
    const std::string show = WriteRunShow(temp.Dir().Path() / "bilder", "fenster.kls", 2, 4000, 320, 240);
    {
        TSlideShow stored;
        ASSERT_EQ(stored.LoadFromFile(FromPosixPath(show)), 0);
        auto* player = stored.PropertiesList().Get<TStandardSlideShowPlayerProperties>();
        ASSERT_NE(player, nullptr);
        player->FullScreen = false;
        player->ClientWidth = 200;
        player->ClientHeight = 150;
        ASSERT_TRUE(stored.SaveToFile(FromPosixPath(show)));
    }
    TScreenSaverProperties options;
    options.FileName = FromPosixPath(show);
    options.ResumeAtLastPos = false;
    ASSERT_TRUE(SaveOptionsToRegistry("fenster", options));
    const std::string plain = temp.Dir() / "fenster";
    fs::copy_file(BuildDir() / "tools" / "glowcanvas", plain);

    TRun run(plain, {"/s"});
    ASSERT_EQ(WaitForStill(), 0);
    const TImage32 screen = Screen();
    Keep(screen, "saver-windowed-show");
    EXPECT_EQ(StillAt(screen, 4, 4), 0);
    EXPECT_EQ(StillAt(screen, g_kit->Width - 5, g_kit->Height - 5), 0);
    xdo("key a");
    ASSERT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(run.ExitStatus(), 0);
}

// ---- started by a screen-saver daemon ----

bool Alive(pid_t pid) { return kill(pid, 0) == 0; }

// The loudest sample of a recording of 16-bit samples.
int Loudest(const std::string& recording) {
    const std::vector<uint8_t> bytes = ReadFileBytes(recording);
    int loudest = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        loudest = std::max(loudest, std::abs(int(int16_t(bytes[i] | bytes[i + 1] << 8))));
    return loudest;
}

// The stand-in daemon running a saver: its window and the saver's process, as it names
// them on its stdout.
class TDaemonRun {
public:
    TDaemonRun(const TestTempFolder& temp, const std::vector<std::string>& args, const std::vector<std::string>& env)
        : said_(temp.Dir() / "daemon.txt"),
          run_((BuildDir() / "tools" / "glowcanvas-saver-daemon").string(), args, env, said_) {
        for (int i = 0; i < 100 && (!Window || !Saver); ++i) {
            std::ifstream f(said_);
            std::string word;
            unsigned long value = 0;
            while (f >> word >> value) {
                if (word == "window") Window = value;
                if (word == "saver") Saver = pid_t(value);
            }
            if (!Window || !Saver) Sleep(50);
        }
    }
    TRun& Run() { return run_; }

    unsigned long Window = 0;
    pid_t Saver = 0;

private:
    std::string said_;
    TRun run_;
};

TEST_F(SaverX, ADaemonsWindowGetsTheShowAndTheSoundItsInputStaysTheDaemonsAndSigtermEndsIt) {
    for (bool windowId : {false, true}) {
        SCOPED_TRACE(windowId ? "-window-id" : "-root");
        const std::string tag = windowId ? "window-id" : "root";
        const std::string recording = temp.Dir() / ("sound-" + tag + ".raw");
        std::vector<std::string> args{g_kit->MusicSaver};
        if (windowId) args.insert(args.begin(), "--window-id");
        TDaemonRun daemon(temp, args, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + recording});
        ASSERT_NE(daemon.Window, 0u) << "the daemon names its window";
        ASSERT_NE(daemon.Saver, 0) << "the daemon names its saver";

        // Two still phases of the show, each as the show tool renders it, in the daemon's
        // window over the whole screen.
        EXPECT_GE(StillsSeenIn(daemon.Window, "daemon-" + tag), 2u) << "still phases seen in the daemon's window";
        EXPECT_EQ(temp.EntryCount(), 1u);

        // What ends a run of our own is the daemon's here.
        for (const char* input : {"mousemove 300 300", "mousemove 400 400", "click 1", "key a", "key Escape"}) {
            xdo(input);
            Sleep(200);
        }
        EXPECT_FALSE(daemon.Run().Ended(1000)) << "input ended the saver";
        EXPECT_TRUE(Alive(daemon.Saver));
        EXPECT_NE(WaitForStill(5000), -1) << "the show plays on";

        // The daemon's SIGTERM: the position is stored, the package's folder goes, and the
        // stand-in ends with the saver's status.
        kill(daemon.Saver, SIGTERM);
        ASSERT_TRUE(daemon.Run().Ended(kEndsWithin));
        EXPECT_EQ(daemon.Run().ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u);
        EXPECT_GT(Stored("musik")->LastPosition, 3000);
        EXPECT_GT(Loudest(recording), 4000) << "the tone in the recording";
    }
}

TEST_F(SaverX, ADaemonsWindowIsFollowedThroughItsResizesAndItsEnd) {
    TDaemonRun daemon(temp, {g_kit->Saver}, {});
    ASSERT_NE(daemon.Window, 0u);
    ASSERT_NE(WaitForStill(), -1);
    // Wider than the pictures: the show is drawn anew at the window's size, the 4:3
    // picture between black columns.
    XResizeWindow(display_, daemon.Window, 600, 300);
    XSync(display_, False);
    TImage32 seen;
    bool followed = false;
    const auto start = Clock::now();
    while (!followed && Clock::now() - start < std::chrono::seconds(3)) {
        seen = Screenshot(display_, daemon.Window);
        followed = seen.Width == 600 && seen.Height == 300 && (seen.Pixel(40, 150) & 0xFFFFFF) == 0 &&
                   StillAt(seen, 300, 150) >= 0 && StillAt(seen, 110, 150) >= 0;
        Sleep(50);
    }
    Keep(seen, "daemon-resized-600x300");
    EXPECT_TRUE(followed);

    // The daemon destroys its window: the saver ends as a preview does, and cleans up.
    XDestroyWindow(display_, daemon.Window);
    XSync(display_, False);
    ASSERT_TRUE(daemon.Run().Ended(kEndsWithin));
    EXPECT_EQ(daemon.Run().ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    EXPECT_GT(Stored()->LastPosition, 1000);
}

TEST_F(SaverX, RootWithoutADaemonsWindowDrawsOnTheRootWindowAndKeepsThePointer) {
    TRun run(g_kit->Saver, {"-root"});
    ASSERT_NE(WaitForStill(), -1);
    Keep(Screen(), "daemon-root-window");
    xdo("click 1");
    xdo("mousemove 300 300");
    EXPECT_FALSE(run.Ended(1000)) << "input ended the saver";
    kill(run.Pid(), SIGTERM);
    ASSERT_TRUE(run.Ended(kEndsWithin));
    EXPECT_EQ(run.ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    // The root window keeps what was drawn on it until it is cleared.
    XClearWindow(display_, DefaultRootWindow(display_));
    XSync(display_, False);
}


// ---- a settings panel's preview pane, a daemon that passes no switch ----

TEST_F(SaverX, ASettingsPanelsPreviewPaneIsSilentAndLeavesThePositionAlone) {
    // As xscreensaver's settings panel runs a hack: a small window, "--root --window-id 0x…".
    TPluginPtr<TScreenSaverProperties> before(new TScreenSaverProperties());
    before->LastPosition = 4500;
    ASSERT_TRUE(SaveOptionsToRegistry("musik", *before));
    const std::string recording = temp.Dir() / "sound-preview.raw";
    TDaemonRun daemon(temp, {"--preview", g_kit->MusicSaver},
                      {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + recording});
    ASSERT_NE(daemon.Window, 0u);
    ASSERT_NE(daemon.Saver, 0);
    const auto start = Clock::now();
    int still = -1;
    TImage32 seen;
    while (still < 0 && Clock::now() - start < std::chrono::seconds(8)) {
        seen = Screenshot(display_, daemon.Window);
        still = StillAt(seen, 160, 120);
        Sleep(50);
    }
    Keep(seen, "daemon-preview-pane");
    EXPECT_GE(still, 0) << "the show plays in the pane";
    EXPECT_EQ(seen.Width, 320);
    // Ten seconds of looking at the panel.
    std::this_thread::sleep_until(start + std::chrono::seconds(10));
    EXPECT_TRUE(Alive(daemon.Saver));
    kill(daemon.Saver, SIGTERM);
    ASSERT_TRUE(daemon.Run().Ended(1000));
    EXPECT_EQ(temp.EntryCount(), 0u);
    EXPECT_EQ(Stored("musik")->LastPosition, 4500);
    EXPECT_TRUE(!fs::exists(recording) || Loudest(recording) == 0) << "the preview played sound";
    // The full-screen run under the same daemon still plays and stores: see
    // ADaemonsWindowGetsTheShowAndTheSoundItsInputStaysTheDaemonsAndSigtermEndsIt.
}

TEST_F(SaverX, ADaemonThatPassesNoSwitchGetsTheShowInItsWindow) {
    TDaemonRun daemon(temp, {"--no-switch", g_kit->Saver}, {});
    ASSERT_NE(daemon.Window, 0u);
    EXPECT_GE(StillsSeenIn(daemon.Window, "daemon-no-switch"), 2u) << "still phases seen in the daemon's window";
    kill(daemon.Saver, SIGTERM);
    ASSERT_TRUE(daemon.Run().Ended(1000));
    EXPECT_EQ(daemon.Run().ExitStatus(), 0);
    EXPECT_EQ(temp.EntryCount(), 0u);
    EXPECT_GT(Stored()->LastPosition, 1000);

    // Without the daemon's window named, no switch is still the settings dialog.
    TRun bare(g_kit->Saver, {}, {"ASAN_OPTIONS=detect_leaks=0"});
    const ToolRun dialog = RunCommand(
        "for i in $(seq 100); do w=$(xdotool search --onlyvisible --name 'Glowcanvas' 2>/dev/null | head -n 1); "
        "[ -n \"$w\" ] && { echo $w; exit 0; }; sleep 0.1; done; exit 1");
    EXPECT_EQ(dialog.status, 0) << "no settings dialog";
    Keep(Screen(), "no-switch-settings-dialog");
    EXPECT_EQ(temp.EntryCount(), 0u);
}

// ---- ends timed (the real-time tier: tests/CMakeLists.txt) ----

class SaverXTimed : public SaverX {};

// ---- the X server going away ----

// An X server of the test's own (Xvfb), to be killed under a running saver.
class TPrivateX {
public:
    TPrivateX() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args{"Xvfb", "-displayfd", fd, "-screen", "0", "640x480x24", "-noreset", "-nolisten",
                                      "tcp"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        std::string number;
        char c = 0;
        while (pid_ && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) Display = ":" + number;
    }
    ~TPrivateX() { Kill(); }
    void Kill() {
        if (!pid_) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    // Whether its screen's centre shows something other than black within ms.
    bool ShowsAPicture(int ms) {
        ::Display* d = XOpenDisplay(Display.c_str());
        if (!d) return false;
        bool shown = false;
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (!shown && Clock::now() < until) {
            const TImage32 screen = Screenshot(d);
            shown = !screen.Empty() && (screen.Pixel(320, 240) & 0xFFFFFF) != 0;
            Sleep(50);
        }
        // Closed before the server goes: the test's own connection must not be lost.
        XCloseDisplay(d);
        return shown;
    }

    std::string Display;

private:
    pid_t pid_ = 0;
};

TEST_F(SaverXTimed, LosingTheXServerEndsTheRunAsSigtermDoes) {
    for (const char* call : {"/s", "-root"}) {
        SCOPED_TRACE(call);
        const int32_t before = Stored()->LastPosition;
        TPrivateX x;
        ASSERT_FALSE(x.Display.empty()) << "no Xvfb of our own";
        TRun run(g_kit->Saver, {call}, {"DISPLAY=" + x.Display});
        ASSERT_TRUE(x.ShowsAPicture(8000));
        Sleep(1500);
        EXPECT_EQ(temp.EntryCount(), 1u);
        const auto killed = Clock::now();
        x.Kill();
        // A run that misses the loss of its server plays on: the bound is only against that.
        ASSERT_TRUE(run.Ended(5000)) << "the run outlived its X server";
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count();
        std::cout << call << ": ended " << took << " ms after the X server\n";
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u) << "the run's folder was left";
        EXPECT_GT(Stored()->LastPosition, before + 1000) << "the position was not stored";
    }
}

// ---- SIGTERM in the middle of a large item ----

// Judges a copy stopped on the run's own trace: the stop is taken between pieces, so one
// piece at most follows it. (Its time to end is the machine's: on a busy one it says
// nothing about the stop.) Returns the bytes copied when it stopped.
int64_t ExpectCopyStoppedWithinAPiece(const std::vector<TTraceLine>& lines, int64_t itemSize) {
    size_t asked = lines.size(), after = 0;
    int64_t stoppedAt = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].Event == "copy-stop-asked" && asked == lines.size()) asked = i;
        if (lines[i].Event == "copy-piece" && i > asked) ++after;
        if (lines[i].Event == "copy-stopped") stoppedAt = std::stoll(lines[i].Detail);
    }
    EXPECT_LT(asked, lines.size()) << "no stop was asked for";
    EXPECT_LE(after, 1u) << "pieces copied after the stop";
    EXPECT_GT(stoppedAt, 0) << "the copy ran to its end";
    EXPECT_LT(stoppedAt, itemSize);
    return stoppedAt;
}

// Milliseconds on the run's own trace from the first `from` to the first `to` after it;
// -1 when either is missing.
double TracedMs(const std::vector<TTraceLine>& lines, const std::string& from, const std::string& to) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].Event != from) continue;
        for (size_t j = i + 1; j < lines.size(); ++j)
            if (lines[j].Event == to) return lines[j].Ms - lines[i].Ms;
        break;
    }
    return -1;
}

TEST_F(SaverXTimed, ASigtermInTheMiddleOfALargeItemEndsTheRunAtOnce) {
    // The kit's package with an item of 1.5 GB last, copied while the show plays: a
    // sparse file, so that only the copies cost time.
    const fs::path package = temp.Dir().Path() / "grosspaket";
    fs::create_directories(package);
    fs::copy(fs::path(g_kit->Show).parent_path().parent_path(), package, fs::copy_options::recursive);
    {
        std::ofstream big(package / "Lumivor" / "zz-gross.bin", std::ios::binary);
        big.seekp((int64_t(3) << 29) - 1);
        big.put(0);
    }
    const std::string saver = temp.Dir() / "gross";
    ASSERT_TRUE(PackProgram(saver, package.string()));
    fs::remove_all(package);
    // Judged by what it copied after the stop, on the run's own trace.
    TempDir traces;
    for (int attempt = 0; attempt < 5; ++attempt) {
        SCOPED_TRACE(attempt);
        const std::string trace = traces / ("trace-" + std::to_string(attempt) + ".txt");
        TRun run(saver, {"/s"}, {"GC_TRACE=" + trace});
        ASSERT_TRUE(PictureShown(8000));
        // Mid-copy: the big item's partial file grows in the run's folder.
        bool copying = false;
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (!copying && Clock::now() < until) {
            std::error_code ec;
            for (const auto& run : fs::directory_iterator(temp.Dir().Path(), ec)) {
                if (run.path().filename().string().rfind("ScreenSaver", 0) != 0) continue;
                for (auto it = fs::recursive_directory_iterator(run.path(), ec);
                     !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                    if (it->is_regular_file(ec) && it->file_size(ec) > (uintmax_t(100) << 20)) copying = true;
            }
            if (!copying) Sleep(5);
        }
        ASSERT_TRUE(copying) << "the large item was not being copied";
        kill(run.Pid(), SIGTERM);
        // Only against a hang: the copy without its stop ends too, after the whole item.
        ASSERT_TRUE(run.Ended(30000));
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u) << "the partial file or the folder was left";
        const int64_t stoppedAt = ExpectCopyStoppedWithinAPiece(ReadTrace(trace), int64_t(3) << 29);
        std::cout << "stopped after " << stoppedAt / (1 << 20) << " MB\n";
    }
}

// ---- a web address that never answers, first in the play list ----

TEST_F(SaverXTimed, AWebAddressThatNeverAnswersHoldsNeitherTheShowNorTheInputNorTheNextSong) {
    TDeadServer server;
    ASSERT_NE(server.Port, 0);
    // Pictures of 4 s; the play list: the dead address, then a second of a tone (a pass
    // of 2 s).
    const fs::path package = temp.Dir().Path() / "totpaket";
    WriteRunPictures(package / "Lumivor", 3, 960, 720);
    const fs::path show = BuildToneShow(package);
    {
        TSlideShow stored;
        ASSERT_EQ(stored.LoadFromFile(FromPosixPath(show.string())), 0);
        auto* music = dynamic_cast<TMusicProperties*>(stored.MusicProperties);
        ASSERT_NE(music, nullptr);
        auto dead = std::make_unique<TMusicPlayListItem>();
        dead->FileName = server.Address("stille.mp3");
        music->PlayList->Items.insert(music->PlayList->Items.begin(), std::move(dead));
        ASSERT_TRUE(stored.SaveToFile(FromPosixPath(show.string())));
    }
    ASSERT_EQ(RunCommand(Q(ShowTool().string()) + " options " + Q((package / "settings.dat").string()) +
                         " --duration 0")
                  .status,
              0);
    fs::copy_file(BuildDir() / "soundlib" / "fmod.dll", package / "fmod.dll");
    const std::string saver = PackSaver(*g_kit, "tot", package);

    // The show's first picture at once, its pictures on time over several passes of the
    // play list (2 s each), and the tone after the dead address.
    {
        const std::string recording = temp.Dir() / "sound-dead.raw";
        TempDir traces;
        const std::string trace = traces / "trace.txt";
        TRun run(saver, {"/s"}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + recording, "GC_TRACE=" + trace});
        ASSERT_TRUE(PictureShown(5000));
        const auto first = Clock::now();
        // The show's start on the run's own clock: 30-100 ms; a show held by the address
        // would wait for the open's deadline of 5 s.
        const std::vector<TTraceLine> lines = ReadTrace(trace);
        const std::vector<TTraceLine> starts = TraceOf(lines, "start");
        ASSERT_FALSE(starts.empty());
        const double shown = ShowMoment(lines, 0);
        ASSERT_GE(shown, 0) << "the show's clock never started";
        std::cout << "the show started " << shown - starts[0].Ms << " ms after the program\n";
        EXPECT_LT(shown - starts[0].Ms, 1000);
        // Each still phase in turn, 4 s after the one before, over several passes of the
        // play list.
        int last = -1;
        std::vector<long> onsets;
        while (Clock::now() - first < std::chrono::seconds(14)) {
            const int still = StillAt(Screen(), g_kit->Width / 2, g_kit->Height / 2);
            if (still >= 0 && still != last) {
                onsets.push_back(
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - first).count()));
                last = still;
            }
            Sleep(20);
        }
        std::cout << "still phases from (ms after the first picture):";
        for (long t : onsets) std::cout << " " << t;
        std::cout << "\n";
        ASSERT_GE(onsets.size(), 3u);
        for (size_t i = 1; i < onsets.size(); ++i) EXPECT_NEAR(onsets[i] - onsets[i - 1], 4000, 400) << i;
        xdo("key a");
        ASSERT_TRUE(run.Ended(1000));
        EXPECT_GT(Loudest(recording), 4000) << "the song after the dead address did not play";
        EXPECT_GE(server.Accepted.load(), 1);
        EXPECT_EQ(temp.EntryCount(), 0u);
    }

    // A mouse move while the dead address is being opened ends the run at once: timed on
    // the run's own record, from the move it took as input to its exit.
    {
        xdo("mousemove 100 100");
        TempDir traces;
        const std::string trace = traces / "trace.txt";
        TRun run(saver, {"/s"}, {"SDL_AUDIODRIVER=dummy", "GC_TRACE=" + trace});
        ASSERT_TRUE(PictureShown(5000));
        Sleep(700);
        xdo("mousemove 103 100");
        Sleep(100);
        xdo("mousemove 112 100");
        // Only against a hang: a run that misses the move, or waits for the open, goes on.
        ASSERT_TRUE(run.Ended(10000));
        const std::vector<TTraceLine> lines = ReadTrace(trace);
        const std::vector<TTraceLine> input = TraceOf(lines, "input-ends-run"), exit = TraceOf(lines, "exit");
        ASSERT_FALSE(input.empty()) << "the move was not taken as input";
        ASSERT_FALSE(exit.empty());
        EXPECT_EQ(input[0].Detail, std::to_string(WM_MOUSEMOVE));
        const double took = exit[0].Ms - input[0].Ms;
        std::cout << "a mouse move ended the run in " << took << " ms\n";
        // The end waits for no open: its own work takes 100-150 ms; waiting for the open
        // would cost up to its deadline of 5 s.
        EXPECT_LT(took, 1000);
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
}

// ---- sound files that claim far more than they hold ----

// The most the process has held in memory, in MB (0 when it cannot be read).
long PeakRssMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    return 0;
}

// Each WAV of about 4 KB both as the show's first item, a sound, and as its song: the run
// plays on without it, stays small, and a key or SIGTERM ends it within a second.
TEST_F(SaverXTimed, ASoundClaimingFarMoreThanItHoldsCostsLittleAndHoldsNoInput) {
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
    } cases[] = {
        {"1 Hz, 4,096 samples", soundtest::WavClaimingRate(1, 4096)},
        {"a rate of 2^31-1", soundtest::WavClaimingRate(0x7FFFFFFFu, 4096)},
        {"a LIST chunk whose INFO claims 2 GB", soundtest::WavWithInfoClaiming2GB()},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // The kit's show with a tone as its song and a sound first; then both files become
        // the claiming one (the builder would refuse it as music).
        const fs::path package = temp.Dir().Path() / ("klangpaket" + std::to_string(n));
        fs::copy(fs::path(g_kit->Show).parent_path().parent_path(), package, fs::copy_options::recursive);
        const fs::path show = BuildToneShow(package);
        {
            TSlideShow stored;
            ASSERT_EQ(stored.LoadFromFile(FromPosixPath(show.string())), 0);
            auto* sound = new TSoundSlideShowObject();
            sound->ChangeFileName("klang.wav");
            stored.RootList().Insert(0, sound);
            ASSERT_TRUE(stored.SaveToFile(FromPosixPath(show.string())));
        }
        WriteFileBytes((package / "Lumivor" / "ton.wav").string(), c.Bytes);
        WriteFileBytes((package / "Lumivor" / "klang.wav").string(), c.Bytes);
        fs::copy_file(BuildDir() / "soundlib" / "fmod.dll", package / "fmod.dll", fs::copy_options::overwrite_existing);
        const std::string saver = PackSaver(*g_kit, "klang" + std::to_string(n++), package);
        fs::remove_all(package);
        for (const bool key : {true, false}) {
            SCOPED_TRACE(key ? "key" : "SIGTERM");
            xdo("mousemove 100 100");
            TempDir traces;
            const std::string trace = traces / "trace.txt";
            TRun run(saver, {"/s"}, {"GC_TRACE=" + trace});
            EXPECT_TRUE(PictureShown(8000)) << "the show did not play on";
            Sleep(2500);
            const long peak = PeakRssMb(run.Pid());
            if (key) xdo("key a");
            else kill(run.Pid(), SIGTERM);
            // Only against a hang: a held run answered its key after 13.7 s, or never.
            ASSERT_TRUE(run.Ended(10000));
            // Timed on the run's own record, from the end it took to its exit.
            const double took = TracedMs(ReadTrace(trace), key ? "input-ends-run" : "signal-ends-run", "exit");
            std::cout << c.Name << (key ? ", key: " : ", SIGTERM: ") << peak << " MB at most, ended in " << took
                      << " ms\n";
            EXPECT_GT(peak, 0);
            EXPECT_LT(peak, 300);
            EXPECT_GE(took, 0) << "the end was not taken";
            EXPECT_LT(took, 1000);
            EXPECT_EQ(temp.EntryCount(), 0u);
        }
    }
}

}  // namespace

// ==== Before the first frame: a video first, and SIGTERM while the first picture waits ====

#include "platform/video_testsupport.h"

namespace {

// The largest partial or whole file in the runs' folders below dir whose name holds part;
// -1 when there is none.
int64_t LargestRunFile(const fs::path& dir, const std::string& part) {
    int64_t largest = -1;
    std::error_code ec;
    for (const auto& run : fs::directory_iterator(dir, ec)) {
        if (run.path().filename().string().rfind("ScreenSaver", 0) != 0) continue;
        for (auto it = fs::recursive_directory_iterator(run.path(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->path().filename().string().find(part) != std::string::npos && it->is_regular_file(ec))
                largest = std::max(largest, int64_t(it->file_size(ec)));
    }
    return largest;
}

TEST_F(SaverXTimed, AVideoFirstAndARunResumedAtItShowTheirFirstFrameAndEndOnSigterm) {
    // A 3-s MPEG-4 clip, sorted before the show's picture.
    const fs::path package = temp.Dir().Path() / "videopaket";
    WriteRunPictures(package / "Lumivor", 1, 960, 720);
    std::string error;
    ASSERT_TRUE(WriteTestVideo((package / "Lumivor" / "01-clip.avi").string(), 640, 480, 75, 25, &error)) << error;
    ASSERT_EQ(RunCommand(Q(ShowTool().string()) + " build " + Q((package / "Lumivor").string()) + " " +
                         Q((package / "Lumivor" / "Slideshow.kls").string()) + " --duration 4000")
                  .status,
              0);
    ASSERT_EQ(RunCommand(Q(ShowTool().string()) + " options " + Q((package / "settings.dat").string()) +
                         " --duration 0")
                  .status,
              0);
    fs::copy_file(BuildDir() / "soundlib" / "fmod.dll", package / "fmod.dll");
    const std::string saver = PackSaver(*g_kit, "video", package);
    struct TCase {
        const char* Name;
        int PlayMs;  // before the SIGTERM
        bool EndsInTheClip;
    };
    // The first run ends inside the clip and stores that position; the second resumes there.
    const TCase cases[] = {{"the video first", 500, true}, {"resumed at the video", 1000, false}};
    int32_t stored = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        xdo("mousemove 100 100");
        TempDir traces;
        const std::string trace = traces / "trace.txt";
        TRun run(saver, {"/s"}, {"GC_TRACE=" + trace});
        // Only against a hang: a run held by its video never drew.
        ASSERT_TRUE(PictureShown(10000)) << "no first frame";
        Sleep(c.PlayMs);
        kill(run.Pid(), SIGTERM);
        ASSERT_TRUE(run.Ended(10000)) << "SIGTERM not answered";
        // Timed on the run's own record: its start to its first frame, the signal to its exit.
        const std::vector<TTraceLine> lines = ReadTrace(trace);
        const double first = TracedMs(lines, "start", "first-frame"), end = TracedMs(lines, "signal-ends-run", "exit");
        std::cout << c.Name << ": first frame " << first << " ms after the start, ended " << end
                  << " ms after SIGTERM\n";
        EXPECT_GE(first, 0);
        EXPECT_LT(first, 2000);
        EXPECT_GE(end, 0);
        EXPECT_LT(end, 1000);
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u);
        const int32_t now = Stored("video")->LastPosition;
        EXPECT_GT(now, stored) << "the run did not play on from where it started";
        // Inside the clip, so that the next start resumes on the video.
        if (c.EndsInTheClip) {
            EXPECT_LT(now, 3000);
        }
        stored = now;
    }
}

TEST_F(SaverXTimed, ASigtermWhileALargeItemAheadOfTheFirstPictureIsCopiedEndsTheRunAtOnce) {
    // The kit's package with a sparse item of 1.5 GB sorted before the show's pictures:
    // the first picture waits for its copy.
    const fs::path package = temp.Dir().Path() / "vorpaket";
    fs::create_directories(package);
    fs::copy(fs::path(g_kit->Show).parent_path().parent_path(), package, fs::copy_options::recursive);
    std::ofstream(package / "Lumivor" / "00-gross.bin").close();
    fs::resize_file(package / "Lumivor" / "00-gross.bin", uintmax_t(3) << 29);
    const std::string saver = temp.Dir() / "vorgross";
    ASSERT_TRUE(PackProgram(saver, package.string()));
    fs::remove_all(package);
    TempDir traces;
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        const std::string trace = traces / ("trace-" + std::to_string(attempt) + ".txt");
        TRun run(saver, {"/s"}, {"GC_TRACE=" + trace});
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (LargestRunFile(temp.Dir().Path(), "gross") < 0 && Clock::now() < until) Sleep(2);
        ASSERT_GE(LargestRunFile(temp.Dir().Path(), "gross"), 0) << "the large item was not being copied";
        Sleep(300);
        const TImage32 screen = Screen();
        ASSERT_TRUE(screen.Empty() || (screen.Pixel(g_kit->Width / 2, g_kit->Height / 2) & 0xFFFFFF) == 0)
            << "the first picture came before the large item";
        kill(run.Pid(), SIGTERM);
        // Only against a hang: the copy without its stop ends too, after the whole item.
        ASSERT_TRUE(run.Ended(30000));
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(temp.EntryCount(), 0u) << "the partial file or the folder was left";
        const std::vector<TTraceLine> lines = ReadTrace(trace);
        const int64_t stoppedAt = ExpectCopyStoppedWithinAPiece(lines, int64_t(3) << 29);
        // The rest of the item costs 4 s or more; the end's own work, a few tens of ms.
        const double end = TracedMs(lines, "signal-ends-run", "exit");
        std::cout << "stopped after " << stoppedAt / (1 << 20) << " MB, ended " << end << " ms after SIGTERM\n";
        EXPECT_GE(end, 0);
        EXPECT_LT(end, 1000);
    }
}

}  // namespace

// ---- starts that cannot play ----

// A saver whose package holds nothing to play (an empty folder appended) shows no box
// that nobody could answer, neither on its own nor under a daemon's grab: it says why on
// stderr and ends with 1, which the daemon passes on.
TEST_F(SaverX, ASaverWithNothingToPlaySaysWhyAndEndsWithOne) {
    const std::string saver = temp.Dir() / "leer";
    MakeHostWithPackage(saver, {}, ReadFileBytes((BuildDir() / "tools" / "glowcanvas").string()));
    fs::permissions(saver, fs::perms::owner_all);
    const std::string daemon = (BuildDir() / "tools" / "glowcanvas-saver-daemon").string();
    const std::string said = temp.Dir() / "stderr.txt";
    for (const std::string& call : {Q(saver) + " /s", Q(daemon) + " " + Q(saver), Q(daemon) + " --window-id " + Q(saver)}) {
        SCOPED_TRACE(call);
        // A box would hold the run until the time limit.
        const ToolRun r = RunCommand("timeout 20 " + call + " 2>" + Q(said));
        EXPECT_EQ(r.status, 1);
        std::ifstream err(said);
        const std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("leer: nothing to play: " + saver + ": the package holds no settings.dat"), std::string::npos)
            << text;
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
}
