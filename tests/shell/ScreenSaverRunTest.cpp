// The screen saver's runs on the fake window system and queue, the loop driven through
// the queue's waits on a driven clock: the input that ends a full-screen run, the
// password that keeps it, the preview's own settings and window, the options a run
// gives its show, and what a run leaves behind.
#include "RunShowSupport.h"
#include "ShellTestSupport.h"

#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "foundation/FileResolver.h"
#include "foundation/Packager.h"
#include "foundation/SlideShowGlobals.h"
#include "document/SoundSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShowObjectEvents.h"
#include "platform/Shell.h"
#include "media/MusicPlayList.h"
#include "objects/ParticleSlideShowObject.h"
#include "document/SlideShowProperties.h"
#include "media/SlideShowSoundSystem.h"
#include "media/SoundSystemProperties.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/MessageQueue.h"
#include "platform/ProcessInfo.h"
#include "platform/Random.h"
#include "platform/Registry.h"
#include "platform/ScreenSaverServices.h"
#include "platform/Window.h"
#include "shell/RunContext.h"
#include "shell/ScreenSaverMain.h"
#include "shell/ScreenSaverOptions.h"
#include "shell/ScreenSaverPlayerWindow.h"
#include "shell/ScreenSaverPreviewPlayer.h"
#include "shell/ScreenSaverProperties.h"
#include "shell/ScreenSaverPreviewWindow.h"
#include "shell/ScreenSaverSlideShowPlayer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <iostream>
#include <set>
#include <thread>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

int32_t g_verifyAnswer = 1;
int g_verifies = 0;
int32_t FakeVerify(HWND) {
    ++g_verifies;
    return g_verifyAnswer;
}

// Windows 9x with a screen-saver password whose check answers g_verifyAnswer.
class PasswordSystem {
public:
    PasswordSystem() {
        g_verifyAnswer = 1;
        g_verifies = 0;
        fake.NT = false;
        fake.Libraries["C:\\WINDOWS\\SYSTEM\\PASSWORD.CPL"]["VerifyScreenSavePwd"] = reinterpret_cast<void*>(&FakeVerify);
        TRegistry reg;
        if (!reg.OpenKey("Control Panel\\desktop", true)) std::abort();
        reg.WriteInteger("ScreenSaveUsePassword", 1);
        SetScreenSaverSystem(&fake);
    }
    ~PasswordSystem() { SetScreenSaverSystem(nullptr); }

    TFakeScreenSaverSystem fake;
};

void SetArgs(std::vector<std::string> args) {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    SetProcessArguments(static_cast<int>(argv.size()), argv.data());
}

// The full-screen form, windowed at (100, 50) under a frame of 4 and 22: its client
// area starts at (104, 72) on the screen.
struct InputRig {
    TManualTickCount Clock{1000};
    TInstalled<SetTickSource> InstalledClock{Clock};
    TFakeMessageQueue Queue;
    TInstalled<SetMessageQueue> InstalledQueue{Queue};
    TFakeWindowSystem Screen;
    TInstalled<SetWindowSystem> InstalledScreen{Screen};
    TPluginPtr<TScreenSaverSlideShowPlayer> Player{new TScreenSaverSlideShowPlayer(nullptr)};
    std::unique_ptr<TScreenSaverPlayerWindowForm> Form;
    int Closes = 0;

    InputRig() {
        Screen.FrameLeft = Screen.FrameRight = Screen.FrameBottom = 4;
        Screen.FrameTop = 22;
        Form = std::make_unique<TScreenSaverPlayerWindowForm>();
        Form->Window().SetPosition(100, 50);
        Form->Player = Player.get();
        Form->OnClose = [this](TCloseAction&) { ++Closes; };
    }
    // The message, to the form or to its paint box, with the cursor at the client point.
    TMessage Send(UINT msg, bool toPaintBox, TPoint at = {}, WPARAM w = 0, LPARAM l = 0) {
        Screen.CursorPos = TPoint{at.X + 104, at.Y + 72};
        TMessage m{toPaintBox ? Form->PaintBox.Handle() : Form->Handle(), msg, w, l};
        if (toPaintBox)
            Form->PaintBoxWndProc(m);
        else
            Form->WndProc(m);
        return m;
    }
};

}  // namespace

TEST(ScreenSaverInput, KeysButtonsAndRealMovesEndTheShow) {
    struct TStep {
        UINT Msg;
        TPoint At;
        int ClosesAfter;
    };
    struct TCase {
        const char* Name;
        std::vector<TStep> Steps;
    };
    const TCase cases[] = {
        {"key", {{WM_KEYDOWN, {}, 1}}},
        {"system key (an Alt combination)", {{WM_SYSKEYDOWN, {}, 1}}},
        {"left button", {{WM_LBUTTONDOWN, {}, 1}}},
        {"right button", {{WM_RBUTTONDOWN, {}, 1}}},
        {"middle button", {{WM_MBUTTONDOWN, {}, 1}}},
        {"key up, close of nothing", {{WM_KEYUP, {}, 0}, {WM_SIZE, {}, 0}}},
        {"first move only records", {{WM_MOUSEMOVE, {300, 300}, 0}}},
        {"5 then 6 in x",
         {{WM_MOUSEMOVE, {100, 100}, 0}, {WM_MOUSEMOVE, {105, 100}, 0}, {WM_MOUSEMOVE, {111, 100}, 1}}},
        {"5 then 6 in y, upwards",
         {{WM_MOUSEMOVE, {100, 100}, 0}, {WM_MOUSEMOVE, {100, 95}, 0}, {WM_MOUSEMOVE, {100, 89}, 1}}},
        {"x = 0 counts as not recorded",
         {{WM_MOUSEMOVE, {0, 100}, 0}, {WM_MOUSEMOVE, {20, 100}, 0}, {WM_MOUSEMOVE, {26, 100}, 1}}},
        {"y = 0 counts as not recorded",
         {{WM_MOUSEMOVE, {100, 0}, 0}, {WM_MOUSEMOVE, {100, 30}, 0}, {WM_MOUSEMOVE, {100, 36}, 1}}},
        {"left of the client area", {{WM_MOUSEMOVE, {-50, 10}, 0}, {WM_MOUSEMOVE, {-40, 10}, 0}}},
    };
    for (bool toPaintBox : {false, true})
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + (toPaintBox ? " (paint box)" : " (form)"));
            InputRig rig;
            for (const TStep& s : c.Steps) {
                rig.Send(s.Msg, toPaintBox, s.At);
                EXPECT_EQ(rig.Closes, s.ClosesAfter);
            }
        }
}

TEST(ScreenSaverInput, AKeyReachesOthersCleared) {
    for (bool toPaintBox : {false, true}) {
        InputRig rig;
        const TMessage m = rig.Send(WM_KEYDOWN, toPaintBox, {}, 'A', 0x1E0001);
        EXPECT_EQ(m.WParam, 0u);
        EXPECT_EQ(m.LParam, 0);
        EXPECT_EQ(rig.Closes, 1);
        // The last cursor position is the message's, in client coordinates.
        rig.Send(WM_MOUSEMOVE, toPaintBox, {7, 9});
        EXPECT_EQ(rig.Form->LastMousePos, (TPoint{7, 9}));
    }
}

TEST(ScreenSaverInput, ARefusedPasswordKeepsTheShowAndDropsStopsUntilOneIsAccepted) {
    TestRegistry registry;
    PasswordSystem system;
    InputRig rig;
    g_verifyAnswer = 0;
    rig.Send(WM_LBUTTONDOWN, true);
    EXPECT_EQ(g_verifies, 1);
    EXPECT_EQ(rig.Closes, 0);
    EXPECT_FALSE(rig.Player->MayStop);
    // The player's own stop (an item's, Escape's) is dropped, and so is the close that
    // Escape posted before the password was asked for.
    rig.Player->Stop();
    EXPECT_FALSE(rig.Player->Stopping);
    rig.Send(WM_CLOSE, false);
    EXPECT_EQ(rig.Closes, 0);
    // The next input asks again.
    g_verifyAnswer = 1;
    rig.Send(WM_KEYDOWN, false);
    EXPECT_EQ(g_verifies, 2);
    EXPECT_EQ(rig.Closes, 1);
    EXPECT_TRUE(rig.Player->MayStop);
    rig.Player->Stop();
    EXPECT_TRUE(rig.Player->Stopping);
}

TEST(ScreenSaverInput, ARefusedEscapeTakesBackThePlayersStop) {
    TestRegistry registry;
    PasswordSystem system;
    InputRig rig;
    g_verifyAnswer = 0;
    // The player's loop meets Escape first and stops, then the form asks the password;
    // refused, that stop is taken back, or the show would not start again at its end.
    rig.Player->Stop();
    rig.Send(WM_KEYDOWN, false, {}, VK_ESCAPE, 0);
    EXPECT_EQ(g_verifies, 1);
    EXPECT_FALSE(rig.Player->MayStop);
    EXPECT_FALSE(rig.Player->Stopping);
}

// ---- the preview ----

struct PreviewRig {
    TFakeMessageQueue Queue;
    TInstalled<SetMessageQueue> InstalledQueue{Queue};
    TFakeWindowSystem Screen;
    TInstalled<SetWindowSystem> InstalledScreen{Screen};
    static constexpr uint64_t kParent = 0x2a00007;

    PreviewRig() { Screen.AddForeignWindow(kParent, Bounds(300, 200, 152, 112)); }
};

TEST(ScreenSaverPreview, ThePreviewsSettingsOutliveTheShowsOwn) {
    PreviewRig rig;
    TPluginPtr<TScreenSaverPreviewPlayer> player(new TScreenSaverPreviewPlayer(PreviewRig::kParent));
    EXPECT_TRUE(player->FirstTick);
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        const TSlideShowPlayerProperties& s = *player->GetSettings();
        EXPECT_FALSE(s.FullScreen);
        EXPECT_TRUE(s.OnlyDueAtStart);
        EXPECT_EQ(s.ClientWidth, 152);
        EXPECT_EQ(s.ClientHeight, 112);
    };
    check("made");
    // A show stored full screen, at 800 x 600, queueing ahead.
    TStandardSlideShowPlayerProperties stored;
    stored.FullScreen = true;
    stored.OnlyDueAtStart = false;
    stored.PreloadTime = 4321;
    player->SetProperties(&stored);
    check("after the show's settings");
    EXPECT_EQ(player->GetSettings()->PreloadTime, 4321);
}

TEST(ScreenSaverPreview, TheWindowIsTheParentsAtItsSizeAndHidesOnMinimise) {
    PreviewRig rig;
    TSlideShow show;
    TPluginPtr<TScreenSaverPreviewPlayer> player(new TScreenSaverPreviewPlayer(PreviewRig::kParent));
    std::unique_ptr<IPlayerWindow> made = player->CreateWindowForm();
    auto* form = dynamic_cast<TScreenSaverPreviewWindowForm*>(made.get());
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(rig.Screen.Windows.size(), 1u);
    EXPECT_EQ(rig.Screen.Windows[0]->ForeignId(), PreviewRig::kParent);
    form->Setup(player.get(), &show, player->GetSettings());
    EXPECT_EQ(form->ClientRect(), (TRect{0, 0, 152, 112}));
    // The default 4:3 show fits the box into it.
    EXPECT_EQ(form->PaintBox.Height(), 112);
    TSlideShowPlayerProperties large;
    large.ClientWidth = 800;
    form->ApplyWindowedSize(&large);
    EXPECT_EQ(form->ClientRect(), (TRect{0, 0, 152, 112}));

    form->Window().Show();
    TMessage other{form->Handle(), WM_SYSCOMMAND, 0xF060, 0};  // close: not ours
    form->WndProc(other);
    EXPECT_TRUE(form->Visible());
    TMessage minimise{form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE | 2, 0};
    form->WndProc(minimise);
    EXPECT_FALSE(form->Visible());
}

TEST(ScreenSaverPreview, WithoutAParentOrWithOneGone) {
    PreviewRig rig;
    TPluginPtr<TScreenSaverPreviewPlayer> player(new TScreenSaverPreviewPlayer(PreviewRig::kParent));
    rig.Screen.DestroyForeignWindow(PreviewRig::kParent);
    EXPECT_EQ(player->CreateWindowForm(), nullptr);
    player->ParentWindow = 0;
    std::unique_ptr<IPlayerWindow> plain = player->CreateWindowForm();
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(rig.Screen.Windows.back()->ForeignId(), 0u);
}

TEST(ScreenSaverPreview, TheWindowIdFollowsPOrL) {
    struct TCase {
        std::vector<std::string> Args;
        int32_t Id;
    };
    const TCase cases[] = {
        {{"saver", "/p", "1234"}, 1234},
        {{"saver", "/L", "1234"}, 1234},
        {{"saver", "/l", "44040199"}, 44040199},
        {{"saver", "/x", "/P", "17"}, 17},
        {{"saver", "/p"}, 0},
        {{"saver", "/p", "Fenster"}, 0},
        {{"saver", "/p", "12a"}, 0},
        {{"saver", "/p", ""}, 0},
        {{"saver", "/p", "99999999999"}, 0},
        {{"saver", "/p:123"}, 0},
        {{"saver", "-p", "123"}, 0},
        {{"saver", "/p", "-5"}, -5},
        {{"saver", "/s"}, 0},
    };
    for (const TCase& c : cases) {
        SetArgs(c.Args);
        EXPECT_EQ(GetPreviewParentWindow(), c.Id) << c.Args.back();
    }
    SetArgs({"saver"});
}

// ---- the runs ----

// A recording player: it plays nothing, it notes what it was given.
class TRecordingPlayer : public TScreenSaverSlideShowPlayer {
public:
    TRecordingPlayer() : TScreenSaverSlideShowPlayer(nullptr) {}
    void PlayInWindow(TSlideShow* show, bool) override { Record(show, -1); }
    void PlayInWindowFromTime(TSlideShow* show, int32_t time, bool) override { Record(show, time); }
    void SetSlideShow(TSlideShow* show, bool makeCopy) override {
        if (!show) ++LetGo;
        TScreenSaverSlideShowPlayer::SetSlideShow(show, makeCopy);
    }

    bool Played = false;
    int32_t From = -2;
    int32_t Duration = 0;
    uint8_t EndAction = 99;
    std::vector<AnsiString> Order;
    int LetGo = 0;

private:
    void Record(TSlideShow* show, int32_t from) {
        Played = true;
        From = from;
        Duration = show->SlideShowProperties->DefaultDuration;
        EndAction = show->SlideShowProperties->EndAction;
        for (int i = 0; i < show->RootList().Count(); ++i)
            Order.push_back(static_cast<TExtPicSlideShowObject*>(show->RootList()[i])->FileName);
    }
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetDebugOutput(&debug);
        ScreenSaverName = "sonne";
        Options = TPluginPtr<TScreenSaverProperties>(new TScreenSaverProperties());
        Options->FileName = FromPosixPath(WriteRunShow(work.Path() / "show", "a.kls", 3, 3000));
        queue.OnWait = [this](int timeout) {
            ++waits;
            // Short steps, so that the show time at an input is known to 50 ms.
            clock.Advance(uint32_t(timeout > 0 ? std::min(timeout, 50) : 10));
            if (OnWait) OnWait();
            if (waits > 20000) PostQuitMessage(0);
        };
    }
    void TearDown() override {
        SetDebugOutput(nullptr);
        Options.reset();
        ScreenSaverName.clear();
        SetArgs({"saver"});
    }
    HWND SaverWindow() const { return screen.Windows.empty() ? 0 : screen.Windows.front()->Handle(); }
    // The show time since the first wait of the loop.
    uint32_t Elapsed() {
        if (!started) started = clock.Get();
        return clock.Get() - started;
    }
    // A preview stores nothing; the sound output it switched off comes back for the next
    // test.
    void ExpectAPreviewsEnd() {
        TPluginPtr<TScreenSaverProperties> saved;
        EXPECT_FALSE(LoadOptionsFromRegistry("sonne", saved));
        SoundSystemPropertiesUnit::SoundProperties()->AutomaticOutput = true;
        SoundSystemPropertiesUnit::SoundProperties()->OutputKind = 2;
    }
    bool Logged(const std::string& part) const {
        for (const AnsiString& line : debug.Lines)
            if (line.find(part) != AnsiString::npos) return true;
        return false;
    }

    TestRegistry registry;
    RecordedBoxes boxes;
    TFakeDebugOutput debug;
    TestTempFolder temp;
    TempDir work;
    TManualTickCount clock{1000};
    TInstalled<SetTickSource> installedClock{clock};
    TFakeMessageQueue queue;
    TInstalled<SetMessageQueue> installedQueue{queue};
    TFakeWindowSystem screen;
    TInstalled<SetWindowSystem> installedScreen{screen};
    std::function<void()> OnWait;
    int waits = 0;
    uint32_t started = 0;
};

TEST_F(RunTest, PlaySlideShowGivesTheShowTheOptions) {
    // The show as stored: 4000 ms per picture, stop at the end, windowed at 640 x 360.
    {
        TSlideShow show;
        ASSERT_EQ(show.LoadFromFile(Options->FileName), 0);
        show.SlideShowProperties->DefaultDuration = 4000;
        show.SlideShowProperties->EndAction = 1;
        auto* stored = show.PropertiesList().Get<TStandardSlideShowPlayerProperties>();
        ASSERT_NE(stored, nullptr);
        stored->FullScreen = false;
        stored->ClientWidth = 640;
        stored->ClientHeight = 360;
        ASSERT_TRUE(show.SaveToFile(Options->FileName));
    }
    struct TCase {
        int32_t DefaultDuration;
        bool Resume;
        int32_t LastPosition;
        int32_t Duration, From;
    };
    const TCase cases[] = {
        {0, true, 6000, 4000, 6000},   // 0 keeps the show's own duration
        {7000, false, 6000, 7000, -1},  // without resuming: from the start
        {1, true, 0, 1, 0},
    };
    for (const TCase& c : cases) {
        Options->DefaultDuration = c.DefaultDuration;
        Options->ResumeAtLastPos = c.Resume;
        Options->LastPosition = c.LastPosition;
        TPluginPtr<TRecordingPlayer> player(new TRecordingPlayer());
        PlaySlideShow(*player, DefaultFileResolver());
        ASSERT_TRUE(player->Played);
        EXPECT_EQ(player->From, c.From);
        EXPECT_EQ(player->Duration, c.Duration);
        EXPECT_EQ(player->EndAction, 0);
        EXPECT_EQ(player->LetGo, 1);
        EXPECT_EQ(player->SlideShow, nullptr);
        const TSlideShowPlayerProperties& s = *player->GetSettings();
        EXPECT_EQ(s.PreloadTime, 0);
        EXPECT_TRUE(s.FullScreen);  // a screen saver covers the screen whatever the show says
        EXPECT_EQ(s.ClientWidth, 640);
        EXPECT_EQ(s.ClientHeight, 360);
        EXPECT_EQ(player->Order, (std::vector<AnsiString>{"bild0.png", "bild1.png", "bild2.png"}));
    }

    // A show that does not load plays nothing and shows no box; the debug output names it.
    Options->FileName = FromPosixPath(work / "kaputt.kls");
    WriteFileBytes(work / "kaputt.kls", {1, 2, 3});
    TPluginPtr<TRecordingPlayer> player(new TRecordingPlayer());
    PlaySlideShow(*player, DefaultFileResolver());
    EXPECT_FALSE(player->Played);
    EXPECT_EQ(player->LetGo, 1);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(Logged("Show not loaded (1): " + work / "kaputt.kls"));
}

TEST_F(RunTest, TheLogoGoesOnlyWithALogoGroupAndShuffleShuffles) {
    TSlideShow show;
    ASSERT_EQ(show.LoadFromFile(FromPosixPath(WriteRunShow(work.Path() / "many", "m.kls", 12, 1000))), 0);
    TPluginPtr<TRecordingPlayer> player(new TRecordingPlayer());
    Options->Shuffle = false;
    ApplyScreenSaverOptions(show, *player);  // no logo group: nothing to switch off
    EXPECT_EQ(show.LogoProperties, nullptr);
    EXPECT_EQ(static_cast<TExtPicSlideShowObject*>(show.RootList()[0])->FileName, "bild0.png");

    auto* logo = static_cast<TSlideShowLogoProperties*>(
        show.PropertiesList().Add(0, TSlideShowLogoProperties::StaticClassInfo(), "Logo", true));
    show.LogoProperties = logo;
    ASSERT_TRUE(logo->ShowLogo);
    Options->Shuffle = true;
    RandSeed(7);
    ApplyScreenSaverOptions(show, *player);
    EXPECT_FALSE(logo->ShowLogo);
    std::vector<AnsiString> order;
    for (int i = 0; i < show.RootList().Count(); ++i)
        order.push_back(static_cast<TExtPicSlideShowObject*>(show.RootList()[i])->FileName);
    EXPECT_EQ(order.size(), 12u);
    std::vector<AnsiString> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NE(order, sorted);
}

TEST_F(RunTest, AShowStoredForAWindowFillsTheScreenButNotThePreview) {
    TSlideShow show;
    ASSERT_EQ(show.LoadFromFile(FromPosixPath(WriteRunShow(work.Path() / "window", "w.kls", 2, 1000))), 0);
    auto* stored = show.PropertiesList().Get<TStandardSlideShowPlayerProperties>();
    ASSERT_NE(stored, nullptr);
    stored->FullScreen = false;
    stored->ClientWidth = 640;
    stored->ClientHeight = 480;
    stored->PreloadTime = 4321;
    Options->Shuffle = false;

    TPluginPtr<TRecordingPlayer> saver(new TRecordingPlayer());
    ApplyScreenSaverOptions(show, *saver);
    EXPECT_TRUE(saver->GetSettings()->FullScreen);
    EXPECT_EQ(saver->GetSettings()->ClientWidth, 640);  // the rest is the show's
    EXPECT_EQ(saver->GetSettings()->PreloadTime, 0);
    EXPECT_FALSE(stored->FullScreen);  // the show itself is left as stored

    PreviewRig rig;
    TPluginPtr<TScreenSaverPreviewPlayer> preview(new TScreenSaverPreviewPlayer(PreviewRig::kParent));
    ApplyScreenSaverOptions(show, *preview);
    EXPECT_FALSE(preview->GetSettings()->FullScreen);
    EXPECT_EQ(preview->GetSettings()->ClientWidth, 152);
    EXPECT_EQ(preview->GetSettings()->ClientHeight, 112);
}

TEST_F(RunTest, ARunStoresThePositionReachedAndPutsTheScreenBack) {
    PasswordSystem system;  // 9x: the running flag is set and cleared
    for (bool useSound : {false, true}) {
        SCOPED_TRACE(useSound ? "with sound" : "without sound");
        system.fake.ParameterCalls.clear();
        boxes.Boxes.clear();
        started = 0;
        Options->UseSound = useSound;
        Options->LastPosition = 0;
        bool checked = false;
        OnWait = [&] {
            if (!checked) {
                checked = true;
                ASSERT_NE(SoundSystem(), nullptr);
                EXPECT_EQ(SoundSystem()->ObjectSounds().GetMuted(), !useSound);
                EXPECT_EQ(SoundSystem()->MusicSounds().GetMuted(), !useSound);
                EXPECT_FALSE(screen.CursorVisible);
                EXPECT_EQ(system.fake.ParameterCalls.size(), 1u);
            }
            if (Elapsed() >= 4000) PostMessage(SaverWindow(), WM_KEYDOWN, 'A', 0);
        };
        const AnsiString library = FromPosixPath(work / "fehlt/fmod.dll");
        TRunContext context;
        RunPlayer(context, library);
        EXPECT_TRUE(checked);
        EXPECT_GE(Options->LastPosition, 4000);
        EXPECT_LE(Options->LastPosition, 4100);
        EXPECT_TRUE(screen.CursorVisible);
        EXPECT_EQ(SoundSystemRefCount(), 0);
        ASSERT_EQ(system.fake.ParameterCalls.size(), 2u);
        EXPECT_EQ(system.fake.ParameterCalls[0].Param, 1u);
        EXPECT_EQ(system.fake.ParameterCalls[1].Param, 0u);
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].first,
                  "Die Datei \"" + (work / "fehlt/fmod.dll") +
                      "\" ist nicht vorhanden. Hintergrundmusik und Soundobjekte k\xF6nnen nicht abgespielt werden. "
                      "Bitte \xFC" "berpr\xFC" "fen Sie, ob Velmorra Glowcanvas korrekt installiert ist!");
        EXPECT_EQ(boxes.Boxes[0].second, TMsgDlgType::mtWarning);
    }
}

TEST_F(RunTest, AnInstalledRunSavesItsOptionsAlsoAfterAnException) {
    // The installation folder, in the machine's store, holds the sound library.
    fs::create_directories(work.Path() / "install");
    WriteFileBytes(work / "install/fmod.dll", {0});
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra\\Glowcanvas\\2.x", true));
        reg.WriteString("InstallDir", FromPosixPath(work.Path().string() + "/install"));
    }
    fs::rename(registry.Dir() / "user.reg", registry.Dir() / "machine.reg");
    Options->LastPosition = 1234;
    OnWait = [] { throw std::runtime_error("kaputt"); };
    TRunContext context;
    RunInstalledShow(context);
    EXPECT_TRUE(boxes.Boxes.empty());  // the library is there; the exception says nothing
    EXPECT_TRUE(Logged("kaputt"));
    EXPECT_TRUE(screen.CursorVisible);
    EXPECT_EQ(SoundSystemRefCount(), 0);
    TPluginPtr<TScreenSaverProperties> saved;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", saved));
    EXPECT_EQ(saved->FileName, Options->FileName);
    EXPECT_EQ(saved->LastPosition, 1234);  // not reached: kept
}

// The run context holds the sound system only while its player plays: a reference
// someone else holds (here the test's) outlives the run, on the same system, whether
// the run ends normally or by an exception.
TEST_F(RunTest, TheContextHoldsTheSoundOnlyWhileItsPlayerPlays) {
    TSoundSystemHold before({.Silent = true});
    TSoundSystem* const system = SoundSystem();
    ASSERT_NE(system, nullptr);
    for (bool throws : {false, true}) {
        SCOPED_TRACE(throws);
        TRunContext context = MakeRunContext();
        EXPECT_EQ(context.Sound, nullptr);
        bool held = false;
        started = 0;
        OnWait = [&] {
            held = context.Sound != nullptr && SoundSystemRefCount() == 2 && SoundSystem() == system;
            if (throws) throw std::runtime_error("kaputt");
            if (Elapsed() >= 500) PostMessage(SaverWindow(), WM_KEYDOWN, 'A', 0);
        };
        RunPlayer(context, FromPosixPath(work / "fehlt/fmod.dll"));
        EXPECT_TRUE(held);
        EXPECT_EQ(context.Sound, nullptr);
        EXPECT_EQ(SoundSystemRefCount(), 1);
        EXPECT_EQ(SoundSystem(), system);
    }
}

// The context reads the preview window from the command line once, when it is made:
// the preview goes by the context, whatever the command line says later.
TEST_F(RunTest, TheContextReadsThePreviewWindowOnce) {
    SetArgs({"saver", "/p", "999"});
    TRunContext context = MakeRunContext();
    EXPECT_EQ(context.PreviewHandle, 999);
    EXPECT_EQ(context.PreviewParentWindow, 0u);
    EXPECT_EQ(context.TempProperties, GetTempProperties());
    SetArgs({"saver", "/p", "1"});
    EXPECT_EQ(PreviewInWindow(context), 999);
    EXPECT_EQ(context.PreviewParentWindow, 0u);  // no such window: nothing recorded
    EXPECT_TRUE(screen.Windows.empty());
}

// Each run's context makes its own resolver and its show finds its files with it: what
// one run sets (its confinement, the files it still extracts, the package its options
// came from) leaves another run in the same process, and shows of no run, as they were.
TEST_F(RunTest, TwoRunsContextsShareNoResolverState) {
    struct TCountingWaiter : IPendingFileWaiter {
        int Asked = 0;
        void WaitForFile(const AnsiString&) override { ++Asked; }
    };
    fs::create_directories(work.Path() / "outside");
    fs::create_directories(work.Path() / "pkg");
    WriteFileBytes(work / "outside/bild.png", {1});
    WriteFileBytes(work / "pkg/bild.png", {2});
    const AnsiString outside = FromPosixPath(work / "outside/bild.png");
    const AnsiString inside = FromPosixPath(work / "pkg/bild.png");
    TRunContext packaged = MakeRunContext();
    TRunContext other = MakeRunContext();
    packaged.Files->Confine(FromPosixPath(work / "pkg/"));
    auto waiter = std::make_shared<TCountingWaiter>();
    packaged.Files->SetPendingFileWaiter(waiter);
    packaged.OpenedPackage.Keep(std::make_unique<TPackager>(), "saver");

    TSlideShow inPackaged, inOther, ofNoRun;
    inPackaged.SetFileResolver(packaged.Files.get());
    inOther.SetFileResolver(other.Files.get());
    EXPECT_EQ(inOther.ResolveFileName(outside), outside);
    EXPECT_EQ(ofNoRun.ResolveFileName(outside), outside);
    EXPECT_EQ(inOther.FileToOpen("fehlt.mp3"), "fehlt.mp3");
    EXPECT_EQ(inOther.ResolveFileName(inside), inside);
    EXPECT_EQ(waiter->Asked, 0);
    EXPECT_FALSE(other.OpenedPackage.Take("saver"));

    EXPECT_EQ(inPackaged.ResolveFileName(outside), "");
    EXPECT_EQ(inPackaged.FileToOpen("fehlt.mp3"), "");
    EXPECT_EQ(inPackaged.ResolveFileName(inside), inside);
    EXPECT_GT(waiter->Asked, 0);
    EXPECT_TRUE(packaged.OpenedPackage.Take("saver"));
}

// A run's resolver keeps the program folder the run began with: a later change of the
// process's folder moves no run's look-ups.
TEST_F(RunTest, ARunsResolverKeepsTheProgramFolderItWasMadeWith) {
    fs::create_directories(work.Path() / "erst");
    fs::create_directories(work.Path() / "dann");
    WriteFileBytes(work / "erst/bild.png", {1});
    WriteFileBytes(work / "dann/bild.png", {2});
    const AnsiString before = AppDir;
    AppDir = FromPosixPath(work / "erst") + "\\";
    const struct {
        const char* what;
        TRunContext context;
    } cases[] = {{"made by hand", TRunContext()}, {"made for the process", MakeRunContext()}};
    AppDir = FromPosixPath(work / "dann") + "\\";
    for (const auto& c : cases)
        EXPECT_EQ(c.context.Files->Resolve("bild.png", ""), FromPosixPath(work / "erst/bild.png")) << c.what;
    AppDir = before;
}

TEST_F(RunTest, AMissingShowIsNamedAndNothingIsSaved) {
    Options->FileName = FromPosixPath(work / "weg/show.kls");
    TRunContext context;
    RunInstalledShow(context);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].first, "Die Lumivor \"" + (work / "weg/show.kls") + "\" ist nicht vorhanden.");
    EXPECT_EQ(boxes.Boxes[0].second, TMsgDlgType::mtError);
    EXPECT_TRUE(screen.Windows.empty());
    TPluginPtr<TScreenSaverProperties> saved;
    EXPECT_FALSE(LoadOptionsFromRegistry("sonne", saved));
}

TEST_F(RunTest, APreviewPlaysSilentlyInItsWindowUntilThatGoesAndSavesNothing) {
    constexpr uint64_t kParent = 0x3c00002;
    screen.AddForeignWindow(kParent, Bounds(10, 10, 152, 112));
    Options->LastPosition = 2500;
    // A number naming no window previews nothing.
    SetArgs({"saver", "/p", "999"});
    TRunContext unknown = MakeRunContext();
    EXPECT_EQ(PreviewInWindow(unknown), 999);
    EXPECT_TRUE(screen.Windows.empty());
    EXPECT_EQ(SoundSystemRefCount(), 0);

    SetArgs({"saver", "/p", std::to_string(kParent)});
    bool checked = false;
    OnWait = [&] {
        if (!checked) {
            checked = true;
            ASSERT_NE(SoundSystem(), nullptr);
            EXPECT_TRUE(SoundSystem()->Silent);
            EXPECT_FALSE(SoundSystemPropertiesUnit::SoundProperties()->AutomaticOutput);
            EXPECT_EQ(SoundSystemPropertiesUnit::SoundProperties()->OutputKind, 0);
        }
        if (Elapsed() >= 2000 && !screen.Windows.empty() && !screen.Windows[0]->Vanished())
            screen.DestroyForeignWindow(kParent);
    };
    TRunContext context = MakeRunContext();
    EXPECT_EQ(PreviewInWindow(context), int32_t(kParent));
    EXPECT_TRUE(checked);
    EXPECT_EQ(context.PreviewParentWindow, kParent);
    EXPECT_EQ(SoundSystemRefCount(), 0);
    EXPECT_EQ(Options->LastPosition, 2500);
    ExpectAPreviewsEnd();
}

TEST_F(RunTest, ADaemonsRunDrawsIntoItsWindowLeavesItTheInputAndEndsWithIt) {
    constexpr uint64_t kDaemon = 0x400008;
    // The daemon's window covers the screen.
    screen.Screen = Bounds(0, 0, 640, 480);
    screen.AddForeignWindow(kDaemon, Bounds(0, 0, 640, 480));
    // Each run with the context its command line makes.
    const auto runFullScreen = [] {
        TRunContext context = MakeRunContext();
        RunFullScreen(context);
    };
    // Its window named by a number that names none: nothing runs, nothing is saved.
    SetArgs({"saver", "-window-id", "0x400009"});
    runFullScreen();
    EXPECT_TRUE(screen.Windows.empty());
    TPluginPtr<TScreenSaverProperties> saved;
    EXPECT_FALSE(LoadOptionsFromRegistry("sonne", saved));

    for (const char* id : {"0x400008", "4194312"}) {
        SCOPED_TRACE(id);
        SetArgs({"saver", "-window-id", id});
        Options->LastPosition = 0;
        started = 0;
        bool checked = false, typed = false;
        OnWait = [&] {
            if (screen.Windows.empty()) return;
            if (!checked) {
                checked = true;
                EXPECT_EQ(screen.Windows[0]->ForeignId(), kDaemon);
                EXPECT_EQ(screen.Windows[0]->ClientSize(), (TSize{640, 480}));
                EXPECT_TRUE(screen.CursorVisible);
                ASSERT_NE(SoundSystem(), nullptr);
                EXPECT_FALSE(SoundSystem()->MusicSounds().GetMuted());
            }
            // Everything that ends a run of our own, a second in.
            if (!typed && Elapsed() >= 1000) {
                typed = true;
                for (UINT msg : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
                    PostMessage(SaverWindow(), msg, VK_ESCAPE, 0);
                PostMessage(SaverWindow(), WM_KEYDOWN, VK_F4, LPARAM(1) << 29);
                for (int x : {100, 200, 300}) {
                    screen.CursorPos = TPoint{x, x};
                    PostMessage(SaverWindow(), WM_MOUSEMOVE, 0, 0);
                }
            }
            if (Elapsed() >= 3000 && !screen.Windows[0]->Vanished()) screen.DestroyForeignWindow(kDaemon);
        };
        runFullScreen();
        EXPECT_TRUE(checked);
        EXPECT_TRUE(typed);
        EXPECT_GE(Options->LastPosition, 3000);
        EXPECT_LE(Options->LastPosition, 3100);
        EXPECT_TRUE(screen.CursorVisible);
        EXPECT_EQ(SoundSystemRefCount(), 0);
        ASSERT_TRUE(LoadOptionsFromRegistry("sonne", saved));
        EXPECT_EQ(saved->LastPosition, Options->LastPosition);
        screen.AddForeignWindow(kDaemon, Bounds(0, 0, 640, 480));
    }
    // Nobody could answer a box under the daemon's grab: what it would say is logged.
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(Logged("Die Datei \""));
    Options->FileName = FromPosixPath(work / "weg/show.kls");
    runFullScreen();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_TRUE(Logged("Die Lumivor \"" + (work / "weg/show.kls") + "\" ist nicht vorhanden."));
}

// A settings panel's preview pane (a daemon's window smaller than the screen): the show
// plays there silently, and the position stays as it was stored.
TEST_F(RunTest, ADaemonsPreviewPanePlaysSilentlyAndStoresNothing) {
    constexpr uint64_t kPane = 0x400010;
    screen.AddForeignWindow(kPane, Bounds(20, 40, 320, 240));
    Options->LastPosition = 1500;
    SetArgs({"saver", "--root", "--window-id", "0x400010"});
    TRunContext context = MakeRunContext();
    bool checked = false;
    started = 0;
    OnWait = [&] {
        if (screen.Windows.empty()) return;
        if (!checked) {
            checked = true;
            EXPECT_EQ(screen.Windows[0]->ForeignId(), kPane);
            ASSERT_NE(SoundSystem(), nullptr);
            EXPECT_TRUE(SoundSystem()->Silent);
        }
        if (Elapsed() >= 2000) PostQuitMessage(0);
    };
    RunFullScreen(context);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(context.DaemonPreview);
    EXPECT_EQ(Options->LastPosition, 1500);
    ExpectAPreviewsEnd();
}

// A show whose items run a program as they start does so on every loop; in a daemon's
// run, where the screen may be locked, nobody could see or close it, so nothing starts
// there and the debug output says so once. A run of our own still starts it.
TEST_F(RunTest, ADaemonsRunStartsNoProgramsTheShowAsksFor) {
    TSlideShow show;
    auto* item = new TDummySlideShowObject();
    item->Duration = 500;
    auto* onStart = new TSlideShowObjectEventObjectStarted();
    item->CreateEventList()->Add(onStart);
    for (uint8_t kind : {0, 2}) {
        auto* run = new TExecuteProgramAction();
        run->Settings()->Kind = kind;
        run->Settings()->Target = kind == 0 ? "programm" : "https://example.org/";
        onStart->CreateActionList()->Add(run);
    }
    show.RootList().Add(item);
    Options->FileName = FromPosixPath(work / "aktion.kls");
    ASSERT_TRUE(show.SaveToFile(Options->FileName));
    constexpr uint64_t kDaemon = 0x400008;
    TFakeShellSystem shell;
    TInstalled<SetShellSystem> installedShell(shell);
    // The daemon's window covers the screen.
    screen.Screen = Bounds(0, 0, 640, 480);
    screen.AddForeignWindow(kDaemon, Bounds(0, 0, 640, 480));
    for (const bool daemon : {false, true}) {
        SCOPED_TRACE(daemon ? "a daemon's run" : "a run of our own");
        SetArgs(daemon ? std::vector<std::string>{"saver", "-window-id", "0x400008"} : std::vector<std::string>{"saver", "/s"});
        shell.Calls.clear();
        debug.Lines.clear();
        started = 0;
        // Several loops of the half-second show.
        OnWait = [&] {
            if (Elapsed() < 3000) return;
            // The daemon's SIGTERM; our own run ends at a key.
            if (daemon) PostQuitMessage(0);
            else PostMessage(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
        };
        TRunContext context = MakeRunContext();
        RunFullScreen(context);
        size_t told = 0;
        for (const AnsiString& line : debug.Lines) told += line.find("start no programs") != AnsiString::npos;
        EXPECT_EQ(shell.Calls.empty(), daemon) << shell.Calls.size();
        EXPECT_EQ(told, daemon ? 1u : 0u);
        if (!daemon) {
            EXPECT_GE(shell.Calls.size(), 6u);
        }
    }
}

TEST_F(RunTest, AnOptionsSaveThatFailsAtTheEndIsNamedOnTheDebugOutput) {
    const fs::path folder = registry.Dir().Path();
    OnWait = [&] {
        if (Elapsed() < 500) return;
        // A plain file where the store's folder was: nothing can be written into it, also
        // not by root (a store that is no plain file would only be kept aside).
        std::error_code ec;
        fs::remove_all(folder, ec);
        std::ofstream(folder) << "x";
        PostMessage(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
    };
    TRunContext context;
    RunInstalledShow(context);
    ASSERT_TRUE(fs::is_regular_file(folder));
    bool named = false;
    for (const AnsiString& line : debug.Lines)
        named = named || (line.find("Options of \"sonne\" not saved: ") != AnsiString::npos &&
                          line.find(AnsiString(folder.string())) != AnsiString::npos);
    EXPECT_TRUE(named);
}

TEST_F(RunTest, APackagedShowReadsNoPictureOutsideItsFolder) {
    // A picture the user can read, outside any package.
    WriteRunPictures(work.Path() / "outside", 1, 64, 48);
    const std::string secret = work / "outside/bild0.png";
    // The names a downloaded package could guess it by.
    const AnsiString names[] = {"C:" + FromPosixPath(secret), FromPosixPath(secret),
                                "\\\\server\\share" + FromPosixPath(secret),
                                "..\\..\\..\\..\\..\\..\\..\\..\\..\\.." + FromPosixPath(secret)};
    for (const AnsiString& name : names) {
        SCOPED_TRACE(name);
        TSlideShow show;
        auto* item = new TExtPicSlideShowObject();
        item->FileName = name;
        item->Duration = 4000;
        show.RootList().Add(item);
        const std::string made = work / "made.kls";
        ASSERT_TRUE(show.SaveToFile(FromPosixPath(made)));
        const std::string host = work / "sonne";
        MakeHostWithPackage(host, {{"settings.dat", OptionsBytes("", true, true, false, 0, 4000)},
                                   {"Lumivor\\Slideshow.kls", ReadFileBytes(made)}});
        // The centre of the screen at 2 s, packaged and as a show given by its path.
        auto centre = [&](const std::string& png, const std::function<void()>& run) {
            TColor32 seen = 0;
            started = 0;
            OnWait = [&] {
                if (Elapsed() < 2000 || seen) return;
                const TImage32& shown = screen.Windows.front()->OffscreenSurface().Image();
                seen = shown.Pixel(shown.Width / 2, shown.Height / 2) | 0xFF000000;
                WritePngPicture(TBitmap32(shown), FromPosixPath((TestOutputFolder() / png).string()));
                PostMessage(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
            };
            run();
            return seen;
        };
        ASSERT_TRUE(LoadScreenSaverOptions("sonne", Options, FromPosixPath(host)));
        EXPECT_NE(centre("outside-picture-packaged.png", [&] {
            TRunContext context;
            RunPackagedShow(context, FromPosixPath(host));
        }), kRunColors[0]);
        Options->FileName = FromPosixPath(made);
        EXPECT_EQ(centre("outside-picture-by-path.png", [&] {
            TRunContext context;
            RunPlayer(context, "fmod.dll");
        }), kRunColors[0]);
    }
}

namespace {

// Every open of a file in a folder, by anyone (the sound library, FFmpeg, the picture
// readers): the names of the files opened.
class TOpenedFiles {
public:
    explicit TOpenedFiles(const std::string& folder)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), watch_(::inotify_add_watch(fd_, folder.c_str(), IN_OPEN)) {}
    ~TOpenedFiles() { ::close(fd_); }
    bool Watching() const { return fd_ >= 0 && watch_ >= 0; }
    std::set<std::string> Names() {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0 && !(event->mask & IN_ISDIR)) names_.insert(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        return names_;
    }

private:
    int fd_;
    int watch_;
    std::set<std::string> names_;
};

// A web server that takes connections and answers none: how many came.
class TSilentServer {
public:
    TSilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            std::abort();
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 20) == 1) {
                    const int client = ::accept(fd_, nullptr, nullptr);
                    if (client >= 0) ++connections_, ::close(client);
                }
            }
        });
    }
    ~TSilentServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::string Address(const std::string& file) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + file; }
    int Connections() const { return connections_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

std::string SoundLibraryOfThisBuild() {
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "soundlib" / "fmod.dll").string();
}

}  // namespace

// A packaged show reads nothing but itself: whatever names its music, its sounds and its
// particles give, however they are written, no file outside the package is opened, not
// even through a play list inside it that names one; a web address still reaches the
// network.
TEST_F(RunTest, APackagedRunOpensNoFileOutsideItsFolder) {
    const fs::path outside = work.Path() / "outside";
    WriteRunPictures(outside, 1, 16, 16);
    const std::string picture = (outside / "bild0.png").string();
    fs::copy_file(picture, outside / "particle.png");
    struct TCase {
        const char* What;
        // "music", "sound", "particle", "list" (music through a list in the package) or
        // "video" (a video picture in the package that is a list)
        const char* Kind;
        std::string Name;     // as the show stores it
        std::string Outside;  // the file outside that it names
    };
    auto absolute = [&](const std::string& file) {
        WriteFileBytes((outside / file).string(), ReadFileBytes(picture));
        return (outside / file).string();
    };
    const std::vector<TCase> cases = {
        {"a music item by its path", "music", absolute("music.mp3"), "music.mp3"},
        {"a music item by parent steps", "music", "..\\..\\..\\..\\..\\..\\..\\.." + absolute("steps.mp3"), "steps.mp3"},
        {"a music item as a file address", "music", "file://" + absolute("file-music.mp3"), "file-music.mp3"},
        {"a sound item by its path", "sound", absolute("sound.mp3"), "sound.mp3"},
        {"a sound item as a file address", "sound", "file://" + absolute("file-sound.mp3"), "file-sound.mp3"},
        {"a particle picture by its path", "particle", (outside / "particle.png").string(), "particle.png"},
        {"an HLS list in the package naming a file outside", "list", "list.m3u8", "segment.ts"},
        {"a video picture that is an HLS list naming a file outside", "video", "clip.mpg", "video.ts"},
    };
    auto hlsList = [&](const std::string& segment) {
        const std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXTINF:10.0,\n" +
                                 absolute(segment) + "\n#EXT-X-ENDLIST\n";
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    TSilentServer web;

    TSlideShow show;
    auto* music = dynamic_cast<TMusicProperties*>(show.MusicProperties);
    ASSERT_NE(music, nullptr);
    auto addMusic = [&](const AnsiString& name) {
        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = name;
        item->EndPoint = 500;  // placed without its length, so every item is opened to measure
        music->PlayList->Add(std::move(item));
    };
    for (const TCase& c : cases) {
        const AnsiString name = std::string(c.Kind) == "sound" || std::string(c.Kind) == "particle"
                                    ? FromPosixPath(c.Name) : AnsiString(c.Name);
        if (std::string(c.Kind) == "music" || std::string(c.Kind) == "list") addMusic(c.Name);
        if (std::string(c.Kind) == "sound") {
            auto* sound = new TSoundSlideShowObject();
            sound->FileName = c.Name.rfind("file:", 0) == 0 ? AnsiString(c.Name) : name;
            sound->Duration = 300;
            show.RootList().Add(sound);
        }
        if (std::string(c.Kind) == "video") {
            auto* video = new TExtPicSlideShowObject();
            video->FileName = name;
            video->Duration = 300;
            show.RootList().Add(video);
        }
        if (std::string(c.Kind) == "particle") {
            auto* snow = new TParticleSlideShowObject();
            snow->FileNames = name;
            snow->Duration = 300;
            show.RootList().Add(snow);
        }
    }
    addMusic(web.Address("radio.mp3"));
    const std::string made = work / "made.kls";
    ASSERT_TRUE(show.SaveToFile(FromPosixPath(made)));
    const std::string host = work / "sonne";
    MakeHostWithPackage(host, {{"settings.dat", OptionsBytes("", true, true, false, 0, 300)},
                               {"Lumivor\\Slideshow.kls", ReadFileBytes(made)},
                               {"Lumivor\\list.m3u8", hlsList("segment.ts")},
                               {"Lumivor\\clip.mpg", hlsList("video.ts")},
                               {"fmod.dll", ReadFileBytes(SoundLibraryOfThisBuild())}});

    TOpenedFiles opened(outside.string());
    ASSERT_TRUE(opened.Watching());
    OnWait = [&] {
        if (Elapsed() >= 3000) PostMessage(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
    };
    ASSERT_TRUE(LoadScreenSaverOptions("sonne", Options, FromPosixPath(host)));
    TRunContext context = MakeRunContext();
    RunPackagedShow(context, FromPosixPath(host));
    const std::set<std::string> names = opened.Names();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(names.count(c.Outside), 0u);
    }
    EXPECT_GT(web.Connections(), 0);
}

// A temporary folder that takes no run folder ends a packaged run before its window, as
// nothing could be shown; nobody is told but a debug run, which learns which folder and
// why. A folder whose name holds a backslash is taken as it is named: the run makes
// nothing there (no program path reaches it) and nothing anywhere else.
TEST_F(RunTest, ATemporaryFolderThatTakesNoRunFolderIsNamedWithItsReason) {
    const std::string host = work / "sonne";
    MakeHostWithPackage(host, {{"settings.dat", OptionsBytes("", true, true, false, 0, 300)}});
    WriteFileBytes(work / "datei", {1});
    fs::create_directories(work.Path() / "nur-lesen");
    fs::permissions(work.Path() / "nur-lesen", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_directories(work.Path() / "a\\b");
    struct TCase {
        const char* What;
        std::string Folder;
        const char* Reason;
        bool NeedsNoRoot;
    };
    const TCase cases[] = {
        {"a file", work / "datei", "Not a directory", false},
        {"a read-only folder", work / "nur-lesen", "Permission denied", true},
        {"a backslash in the name", work / "a\\b", "a backslash", false},
        {"a folder that does not exist", work / "nope/deeper", "No such file or directory", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.NeedsNoRoot && ::geteuid() == 0) {
            std::cout << c.What << ": not tried, root writes into any folder\n";
            continue;
        }
        ::setenv("TMPDIR", c.Folder.c_str(), 1);
        debug.Lines.clear();
        ASSERT_TRUE(LoadScreenSaverOptions("sonne", Options, FromPosixPath(host)));
        TRunContext context = MakeRunContext();
        RunPackagedShow(context, FromPosixPath(host));
        EXPECT_TRUE(screen.Windows.empty());
        const std::string why = "cannot make the show's folder in " + c.Folder + ": " + c.Reason;
        EXPECT_TRUE(Logged("No folder for the package: " + why));
        EXPECT_EQ(context.Failure.rfind(why, 0), 0u) << context.Failure;
    }
    ::setenv("TMPDIR", temp.Dir().Path().c_str(), 1);
    // Named, not made.
    EXPECT_FALSE(fs::exists(work / "nope"));
    // Nothing was made beside the folder with the backslash, nor in it.
    EXPECT_FALSE(fs::exists(work / "a"));
    EXPECT_TRUE(fs::is_empty(work / "a\\b"));
}

TEST_F(RunTest, AFirstPackagedRunKeepsThePackagesOptionsInTheRegistry) {
    // The package: its options (5000 ms), the show and its pictures; no sound library.
    const fs::path made = work.Path() / "made";
    WriteRunShow(made, "Slideshow.kls", 2, 3000);
    std::vector<std::pair<AnsiString, std::vector<uint8_t>>> items{
        {"settings.dat", OptionsBytes("", true, true, false, 0, 5000)}};
    for (const char* name : {"Slideshow.kls", "bild0.png", "bild1.png"})
        items.push_back({AnsiString("Lumivor\\") + name, ReadFileBytes((made / name).string())});
    const std::string host = work / "sonne";
    MakeHostWithPackage(host, items);
    ASSERT_TRUE(LoadScreenSaverOptions("sonne", Options, FromPosixPath(host)));
    EXPECT_EQ(Options->DefaultDuration, 5000);

    AnsiString during;
    OnWait = [&] {
        if (during.empty()) during = Options->FileName;
        if (Elapsed() >= 1500) PostMessage(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
    };
    TRunContext context = MakeRunContext();
    RunPackagedShow(context, FromPosixPath(host));
    // It played the extracted show, from the temporary folder, which is gone again.
    EXPECT_EQ(during.rfind(FromPosixPath(temp.Dir() / "ScreenSaver"), 0), 0u) << during;
    EXPECT_NE(during.find("\\Lumivor\\Slideshow.kls"), AnsiString::npos) << during;
    EXPECT_EQ(temp.EntryCount(), 0u);
    ASSERT_EQ(boxes.Boxes.size(), 1u);  // no sound library in the package
    // The options went to the registry with the run's show path and position, so the
    // next start reads them there.
    TPluginPtr<TScreenSaverProperties> saved;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", saved));
    EXPECT_EQ(saved->DefaultDuration, 5000);
    EXPECT_EQ(saved->FileName, during);
    EXPECT_GE(saved->LastPosition, 1500);
    EXPECT_LE(saved->LastPosition, 1600);
}
