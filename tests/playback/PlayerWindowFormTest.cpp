// The player window form on the fake window system and the fake queue, the loop driven
// through the queue's waits on a driven clock: setup and placement, the loop's ends,
// the private messages and keys, its waits, and what reaches the window surface.
#include "PlayerTestSupport.h"

#include "graphics/PngWriter.h"
#include "platform/MessageQueue.h"
#include "platform/RunEnd.h"
#include "platform/Window.h"
#include "playback/PaintBoxPlacement.h"
#include "playback/PlayerWindow.h"

#include "TestSupport.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace {

// A form that records what its own handling gets.
class TRecordingForm : public TPlayerWindowForm {
public:
    std::vector<TMessage> Default;

protected:
    void DefaultWndProc(TMessage& message) override {
        Default.push_back(message);
        TPlayerWindowForm::DefaultWndProc(message);
    }
};

// A player that plays in a recording form.
class TFormPlayer : public TTestPlayer {
public:
    using TTestPlayer::TTestPlayer;
    std::unique_ptr<IPlayerWindow> CreateWindowForm() override {
        auto form = std::make_unique<TRecordingForm>();
        Form = form.get();
        return form;
    }
    TRecordingForm* Form = nullptr;
};

struct FormRig {
    TManualTickCount Clock{5000};
    TInstalled<SetTickSource> InstalledClock{Clock};
    TFakeMessageQueue Queue;
    TInstalled<SetMessageQueue> InstalledQueue{Queue};
    TFakeWindowSystem Screen;
    TInstalled<SetWindowSystem> InstalledScreen{Screen};
    TPlugins& Plugins = PlayerTestPlugins();
    TSlideShow Show;
    TPluginPtr<TFormPlayer> Player{new TFormPlayer(nullptr)};
    // Called at every wait of the loop with its number (from 1) and timeout; by default
    // the driven clock moves on by the timeout.
    std::function<void(int n, int timeout)> OnWait;
    int WaitCount = 0;

    FormRig() {
        Queue.OnWait = [this](int timeout) {
            ++WaitCount;
            if (OnWait) OnWait(WaitCount, timeout);
            else if (timeout > 0) Clock.Advance(uint32_t(timeout));
            // A loop that waits this long without an end has gone wrong.
            if (WaitCount > 5000) PostQuitMessage(0);
        };
    }
    TScriptedItem* Add(int32_t duration, TColor32 color = kRed32) {
        auto* item = new TScriptedItem();
        item->SetDuration(duration);
        item->Color = color;
        Show.RootList().Add(item);
        return item;
    }
    TSlideShowPlayerProperties& Settings() { return *Player->GetSettings(); }
    TFakeWindowSystem::TFakeWindow& Window() { return *Screen.Windows.at(0); }
    // Plays in a form of our own, as PlayInWindow does; answers the modal result.
    int32_t Play(TPlayerWindowForm& form, int32_t from = 0) {
        Player->BeginPlay(&form, &Show, false, nullptr, from);
        form.SetOnMessageLoop([this] { Player->MessageLoopStep(); });
        form.SetMessageHook([this](TMessage& m) { return Player->HandlePlayerMessage(m); });
        struct TEnd {
            TFormPlayer* P;
            ~TEnd() { P->EndPlay(); }
        } end{Player.get()};
        return form.RunModalLoop();
    }
};

TEST(PlayerWindowForm, IsMadeAsItsResourceSays) {
    FormRig rig;
    TPlayerWindowForm form;
    EXPECT_EQ(rig.Window().Caption, "Lumivor-Player");
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.PaintBox.BoundsRect(), (TRect{16, 16, 317, 205}));
    EXPECT_EQ(form.Font, (TFont{"MS Sans Serif", -11, 0, 0}));
    EXPECT_EQ(rig.Queue.GetParent(form.PaintBox.Handle()), form.Handle());
    EXPECT_TRUE(form.SavedPaintBoxWindowProc != nullptr);
    EXPECT_EQ(form.ModalResult, mrNone);
}

TEST(PlayerWindowForm, SetupSizesAndPlacesTheWindowAndItsPaintBox) {
    struct TCase {
        bool FullScreen;
        int32_t ClientWidth, ClientHeight, AspectX, AspectY;
        TRect Work, Window;
        TSize Client;
    };
    // The frame adds 4 on three sides and 22 above.
    const TCase cases[] = {
        // A window larger than the work area is cut to it, at the screen's origin.
        {false, 2000, 2000, 4, 3, {0, 0, 1024, 738}, {0, 0, 1024, 738}, {1016, 712}},
        {false, 800, 600, 4, 3, {0, 0, 1024, 768}, {108, 71, 916, 697}, {800, 600}},
        // Stored sizes below 1 count as 1.
        {false, 0, -5, 4, 3, {0, 0, 1024, 768}, {507, 370, 516, 397}, {1, 1}},
        // Full screen: no aspect fills the client.
        {true, 800, 600, 4, 3, {0, 0, 1280, 1000}, {0, 0, 1280, 1024}, {1280, 1024}},
        {true, 800, 600, 0, 3, {0, 0, 1280, 1000}, {0, 0, 1280, 1024}, {1280, 1024}},
        {true, 800, 600, 16, 0, {0, 0, 1280, 1000}, {0, 0, 1280, 1024}, {1280, 1024}},
    };
    for (const TCase& c : cases) {
        FormRig rig;
        rig.Screen.Screen = TRect{0, 0, 1280, 1024};
        rig.Screen.WorkArea = c.Work;
        rig.Screen.FrameLeft = rig.Screen.FrameRight = rig.Screen.FrameBottom = 4;
        rig.Screen.FrameTop = 22;
        rig.Settings().FullScreen = c.FullScreen;
        rig.Settings().ClientWidth = c.ClientWidth;
        rig.Settings().ClientHeight = c.ClientHeight;
        rig.Show.SlideShowProperties->AspectX = c.AspectX;
        rig.Show.SlideShowProperties->AspectY = c.AspectY;
        TPlayerWindowForm form;
        form.Setup(rig.Player.get(), &rig.Show, &rig.Settings());
        const std::string what = std::to_string(c.ClientWidth) + " " + std::to_string(c.AspectX);
        EXPECT_EQ(rig.Window().GetWindowRect(), c.Window) << what;
        EXPECT_EQ(rig.Window().ClientSize(), c.Client) << what;
        const TRect box = PaintBoxPlacement(c.AspectX, c.AspectY, TRect{0, 0, c.Client.cx, c.Client.cy});
        EXPECT_EQ(form.PaintBox.BoundsRect(), box) << what;
        EXPECT_EQ(form.PaintBox.Buffer().Width(), box.Width()) << what;
        EXPECT_EQ(form.PaintBox.Buffer().Height(), box.Height()) << what;
        if (c.FullScreen) {
            EXPECT_EQ(box, (c.AspectX == 4 ? TRect{0, 32, 1280, 992} : TRect{0, 0, 1280, 1024}));
        }
        EXPECT_EQ(form.Player, rig.Player.get());
        EXPECT_EQ(form.SlideShow, &rig.Show);
        EXPECT_EQ(form.Settings, &rig.Settings());
    }
}

TEST(PlayerWindowForm, RunModalLoopRefusesAVisibleFormAndAMissingTick) {
    FormRig rig;
    TPlayerWindowForm form;
    form.Window().Show();
    try {
        form.RunModalLoop();
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Aus einem sichtbaren Fenster kann kein modales gemacht werden");
    }
    form.Window().Hide();
    rig.Add(1000);
    form.Setup(rig.Player.get(), &rig.Show, &rig.Settings());
    rig.Player->BeginPlay(&form, &rig.Show, false, nullptr, 0);
    try {
        form.RunModalLoop();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "OnMessageLoop = nil!");
    }
    // It was shown and the clocks run; now it is hidden again and may be made modal anew.
    rig.Clock.Advance(250);
    EXPECT_EQ(rig.Player->GetCurrentPlayTime(), 250);
    EXPECT_FALSE(form.Visible());
    rig.Player->EndPlay();
}

// A window whose showing waits (a while at most) until the preparation has begun.
class TWaitingWindow : public TFakeWindowSystem::TFakeWindow {
public:
    TWaitingWindow(TFakeWindowSystem& system, std::atomic<bool>& begun, std::atomic<bool>& shown)
        : TFakeWindow(system, 320, 240, 0), begun_(begun), shown_(shown) {}
    void Show() override {
        for (int i = 0; i < 500 && !begun_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        TFakeWindow::Show();
        shown_ = true;
    }

private:
    std::atomic<bool>& begun_;
    std::atomic<bool>& shown_;
};

TEST(PlayerWindowForm, AHiddenFormMapsWhileThePreparationRuns) {
    FormRig rig;
    std::atomic<bool> begun{false}, shown{false};
    TPlayerWindowForm form(std::make_unique<TWaitingWindow>(rig.Screen, begun, shown));
    // Each side waits for the other: done one after the other, neither would see it.
    bool sawShown = false;
    std::thread::id preparedOn;
    form.RevealWhile([&] {
        preparedOn = std::this_thread::get_id();
        begun = true;
        for (int i = 0; i < 500 && !shown; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sawShown = shown;
    });
    EXPECT_TRUE(sawShown);
    EXPECT_NE(preparedOn, std::this_thread::get_id());
    EXPECT_TRUE(form.Visible());
    // What the preparation throws reaches the caller; a form on screen prepares on the
    // caller's thread and maps nothing.
    TPlayerWindowForm shownForm;
    shownForm.Window().Show();
    EXPECT_THROW(shownForm.RevealWhile([&] {
        preparedOn = std::this_thread::get_id();
        throw Exception("kaputt");
    }),
                 Exception);
    EXPECT_EQ(preparedOn, std::this_thread::get_id());
}

TEST(PlayerWindowForm, WhileItRevealsItAnswersThePreparationsSendsAndAnEndStopsIt) {
    // Each preparation gives up after 10 s: one that waited that long was left alone.
    // Only against a hang: without the answers the preparation would wait for ever, so the
    // bound is far beyond what a starved machine takes.
    const auto eventually = [](const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    };
    struct TCase {
        const char* Name;
        // The preparation; true when it got what it waited for.
        // pending outlives the queue, whose end answers a send nobody took.
        std::function<bool(HWND guiWindow, std::future<LRESULT>& pending)> Prepare;
    };
    const TCase cases[] = {
        // A control made on the GUI thread sends itself its size, as a video's does.
        {"a send to the GUI thread",
         [&](HWND guiWindow, std::future<LRESULT>& sent) {
             // Sent from a thread of its own, so that an answer that never comes ends the
             // case rather than the test program.
             sent = std::async(std::launch::async, [guiWindow] { return SendMessage(guiWindow, WM_USER, 0, 0); });
             return eventually([&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }) &&
                    sent.get() == 42;
         }},
        // A quit that waits for the loop ends the run, and so the preparation.
        {"a quit posted meanwhile",
         [&](HWND, std::future<LRESULT>&) {
             PostQuitMessage(0);
             return eventually([] { return RunEndRequested(); });
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::future<LRESULT> pending;
        FormRig rig;
        std::thread::id answeredOn;
        const HWND control = AllocateHWnd([&](TMessage& m) {
            answeredOn = std::this_thread::get_id();
            m.Result = 42;
        });
        TPlayerWindowForm form;
        bool got = false;
        form.RevealWhile([&] { got = c.Prepare(control, pending); });
        EXPECT_TRUE(got);
        EXPECT_TRUE(answeredOn == std::thread::id() || answeredOn == std::this_thread::get_id());
        DeallocateHWnd(control);
        ResetRunEnd();
    }
}

TEST(PlayerWindowForm, AnEndBeforeTheFirstFrameLeavesThePreparationAndTheFrameUndone) {
    struct TCase {
        const char* Name;
        bool RunEnded;
        bool QuitPosted;
    };
    const TCase cases[] = {
        {"a quit waiting for the loop", false, true},
        {"the run's end with a quit, as SIGTERM ends it", true, true},
        {"the run's end alone, as input before the loop ends it", true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FormRig rig;
        TScriptedItem* item = rig.Add(1000);
        item->Steps.resize(3);
        TPlayerWindowForm form;
        if (c.RunEnded) RequestRunEnd();
        if (c.QuitPosted) PostQuitMessage(0);
        rig.Player->BeginPlay(&form, &rig.Show, false, nullptr, 0);
        int frames = 0;
        form.SetOnMessageLoop([&] { ++frames; });
        EXPECT_EQ(form.RunModalLoop(), mrCancel);
        EXPECT_EQ(frames, 0);
        // Nothing is prepared for a frame that never comes.
        if (c.RunEnded) {
            EXPECT_TRUE(item->StepLog.empty());
        }
        rig.Player->EndPlay();
        ResetRunEnd();
    }
}

TEST(PlayerWindowForm, ThePlayMapsItsWindowBeforeTheLoopAndTheLoopTakesIt) {
    FormRig rig;
    rig.Add(100);
    TPlayerWindowForm form;
    bool visibleAtFirstFrame = false;
    rig.Player->BeginPlay(&form, &rig.Show, false, nullptr, 0);
    EXPECT_TRUE(form.Visible());
    form.SetOnMessageLoop([&] {
        visibleAtFirstFrame = form.Visible();
        PostQuitMessage(0);
    });
    EXPECT_EQ(form.RunModalLoop(), mrCancel);
    EXPECT_TRUE(visibleAtFirstFrame);
    EXPECT_FALSE(form.Visible());
    rig.Player->EndPlay();
}

TEST(PlayerWindowForm, CloseQuitStopAndAVanishedWindowEndTheLoopWithCancel) {
    enum TEnd { Close, Quit, Stop, Escape, AltF4, Vanish };
    for (TEnd end : {Close, Quit, Stop, Escape, AltF4, Vanish}) {
        FormRig rig;
        rig.Screen.AddForeignWindow(77, TRect{0, 0, 160, 120});
        rig.Add(60000)->Animates = true;
        std::unique_ptr<TPlayerWindowForm> form =
            end == Vanish ? std::make_unique<TPlayerWindowForm>(WindowSystem().CreateForeignWindow(77))
                          : std::make_unique<TPlayerWindowForm>();
        rig.OnWait = [&](int n, int timeout) {
            rig.Clock.Advance(uint32_t(std::max(timeout, 0)));
            if (n != 3) return;
            const HWND h = form->Handle();
            switch (end) {
            case Close: PostMessage(h, WM_CLOSE, 0, 0); break;
            case Quit: PostQuitMessage(0); break;
            case Stop: PostMessage(h, WM_PLAYER_STOP, 0, 0); break;
            case Escape: PostMessage(h, WM_KEYDOWN, VK_ESCAPE, MakeKeyData(1, 1, false, false)); break;
            case AltF4: PostMessage(h, WM_KEYDOWN, VK_F4, MakeKeyData(1, 0x3E, true, false)); break;
            case Vanish: rig.Screen.DestroyForeignWindow(77); break;
            }
        };
        EXPECT_EQ(rig.Play(*form), mrCancel) << end;
        EXPECT_LE(rig.WaitCount, 4) << end;
        EXPECT_EQ(rig.Queue.Terminated(), end == Quit) << end;
        EXPECT_FALSE(form->Visible());
    }
}

TEST(PlayerWindowForm, PrivateMessagesAndKeysActAsTheHookSays) {
    FormRig rig;
    rig.Add(40000, kRed32);
    rig.Add(40000, kGreen32);
    TRecordingForm form;
    std::vector<std::function<void()>> script = {
        [&] { PostMessage(form.Handle(), WM_PLAYER_PAUSE, 0, 0); },
        [&] { EXPECT_TRUE(rig.Player->Paused); },
        [&] { PostMessage(form.Handle(), WM_PLAYER_RESUME, 0, 0); },
        [&] { EXPECT_FALSE(rig.Player->Paused); },
        [&] {
            for (UINT m : {WM_USER + 3, WM_USER + 4, WM_USER + 6, WM_USER + 9, WM_USER + 10})
                PostMessage(form.Handle(), m, 0, 0);
            PostMessage(form.Handle(), WM_KEYDOWN, 'X', MakeKeyData(1, 0x2D, false, false));
            PostMessage(form.Handle(), WM_SYSKEYDOWN, 'X', MakeKeyData(1, 0x2D, true, false));
            PostMessage(form.PaintBox.Handle(), WM_LBUTTONDOWN, 0, MakeMouseLParam(3, 4));
        },
        [] {}, [] {}, [] {}, [] {}, [] {}, [] {}, [] {}, [] {},
        [&] {
            ASSERT_EQ(form.Default.size(), 2u);
            EXPECT_EQ(form.Default[0].Msg, WM_USER + 10);
            EXPECT_EQ(form.Default[1].Msg, WM_SYSKEYDOWN);
            EXPECT_EQ(rig.Player->GetCurrentPlayTime() < 40000, true);
            PostMessage(form.Handle(), WM_PLAYER_JUMPTOTIME, 50000, 1);
        },
        [&] {
            EXPECT_GE(rig.Player->GetCurrentPlayTime(), 50000);
            ASSERT_EQ(rig.Player->PlayingObjects.size(), 1u);
            EXPECT_EQ(rig.Player->PlayingObjects[0], rig.Show.RootList().GetItem(1));
            PostMessage(form.Handle(), WM_KEYDOWN, VK_ESCAPE, MakeKeyData(1, 1, false, false));
        },
    };
    rig.OnWait = [&](int n, int timeout) {
        rig.Clock.Advance(uint32_t(std::clamp(timeout, 0, 100)));
        if (n <= int(script.size())) script[size_t(n - 1)]();
    };
    EXPECT_EQ(rig.Play(form), mrCancel);
    EXPECT_EQ(rig.WaitCount, int(script.size()));
}

TEST(PlayerWindowForm, AJumpPostedBeforeTheLoopIsNotUndoneByTheClockStart) {
    FormRig rig;
    rig.Add(20000, kRed32);
    rig.Add(20000, kGreen32);
    TPlayerWindowForm form;
    rig.Player->BeginPlay(&form, &rig.Show, false, nullptr, 0);
    PostMessage(form.Handle(), WM_PLAYER_JUMPTOTIME, 30000, 1);
    rig.Player->EndPlay();
    rig.OnWait = [&](int, int) { PostMessage(form.Handle(), WM_CLOSE, 0, 0); };
    form.SetOnMessageLoop([&] { rig.Player->MessageLoopStep(); });
    form.SetMessageHook([&](TMessage& m) { return rig.Player->HandlePlayerMessage(m); });
    rig.Player->Window = &form;
    EXPECT_EQ(form.RunModalLoop(), mrCancel);
    EXPECT_GE(rig.Player->GetCurrentPlayTime(), 30000);
    rig.Player->EndPlay();
}

TEST(PlayerWindowForm, TheLoopWaitsForTheNextTickOrTheDisplay) {
    FormRig rig;
    rig.Screen.RefreshRate = 50;
    rig.Settings().PreloadTime = 0;
    TScriptedItem* still = rig.Add(5000, kRed32);
    TScriptedItem* moving = rig.Add(1000, kGreen32);
    moving->Animates = true;
    std::vector<std::pair<int32_t, int>> waits;  // show time, timeout
    rig.OnWait = [&](int, int timeout) {
        waits.push_back({rig.Player->GetCurrentPlayTime(), timeout});
        rig.Clock.Advance(uint32_t(timeout < 0 ? 100 : timeout));
    };
    rig.Settings().FullScreen = false;
    rig.Show.SlideShowProperties->EndAction = 1;
    TPlayerWindowForm form;
    EXPECT_EQ(rig.Play(form), mrCancel);
    (void)still;
    // While the still picture shows, the loop sleeps until its end; while the moving one
    // plays, once per display refresh (20 ms at 50 Hz), never less than a frame.
    // While the still picture shows, the loop sleeps once, until its end; while the
    // moving one plays, once per display refresh (20 ms at 50 Hz).
    bool sawStill = false, sawFrames = false;
    for (auto [time, timeout] : waits) {
        if (time < 5000 && timeout > 1000) {
            sawStill = true;
            EXPECT_EQ(time + timeout, 5000);
        }
        if (time >= 5000 && time < 6000) {
            sawFrames = true;
            EXPECT_EQ(timeout, 20) << time;
        }
    }
    EXPECT_LE(waits.size(), 60u);
    EXPECT_TRUE(sawStill);
    EXPECT_TRUE(sawFrames);
    int32_t busy = 0;
    for (auto [time, timeout] : waits) busy += timeout == 0;
    EXPECT_EQ(busy, 0);
}

TEST(PlayerWindowForm, AfterEveryTickTheSurfaceEqualsTheBufferInsideTheFlushedRectangles) {
    FormRig rig;
    rig.Screen.Screen = TRect{0, 0, 200, 160};
    rig.Settings().PreloadTime = 0;
    rig.Add(1000, kRed32);
    TScriptedItem* patch = rig.Add(1000, kBlue32);
    patch->Area = TRect{10, 20, 50, 40};
    patch->Animates = true;
    rig.Add(1000, kGreen32)->Area = TRect{100, 60, 140, 100};
    rig.Show.SlideShowProperties->EndAction = 1;
    TPlayerWindowForm form;
    auto& surface = rig.Window().OffscreenSurface();
    int checked = 0;
    form.SetOnMessageLoop([&] {
        const TImage32 before = surface.Image();
        surface.TakePresented();
        rig.Player->MessageLoopStep();
        const std::vector<TRect> shown = surface.Presented();
        const TImage32& after = surface.Image();
        const TRect box = form.PaintBox.BoundsRect();
        for (int y = 0; y < after.Height; ++y)
            for (int x = 0; x < after.Width; ++x) {
                bool inside = false;
                for (const TRect& r : shown) inside |= x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
                const uint32_t want = inside ? form.PaintBox.Buffer().Pixel(x - box.Left, y - box.Top) | 0xFF000000u
                                             : before.Pixel(x, y);
                ASSERT_EQ(after.Pixel(x, y), want) << x << "," << y << " at " << rig.Player->GetCurrentPlayTime();
            }
        ++checked;
    });
    rig.Player->BeginPlay(&form, &rig.Show, false, nullptr, 0);
    form.SetMessageHook([&](TMessage& m) { return rig.Player->HandlePlayerMessage(m); });
    EXPECT_EQ(form.RunModalLoop(), mrCancel);
    rig.Player->EndPlay();
    EXPECT_GT(checked, 10);
    // Outside the 4:3 box the client stays black.
    EXPECT_EQ(form.PaintBox.BoundsRect(), (TRect{0, 5, 200, 155}));
    EXPECT_EQ(surface.Image().Pixel(100, 2), 0xFF000000u);
    EXPECT_EQ(surface.Image().Pixel(100, 157), 0xFF000000u);
}

TEST(PlayerWindowForm, PlayInWindowFromTimeDrawsTheObjectDueThereInItsFirstFrame) {
    FormRig rig;
    rig.Add(20000, kRed32);
    TScriptedItem* due = rig.Add(20000, kGreen32);
    rig.OnWait = [&](int, int) { PostMessage(rig.Player->Form->Handle(), WM_CLOSE, 0, 0); };
    rig.Player->PlayInWindowFromTime(&rig.Show, 30000, false);
    ASSERT_FALSE(due->Plays.empty());
    EXPECT_EQ(due->Plays[0].Time, 30000);
    EXPECT_TRUE(rig.Show.RootList().GetItem(0) != nullptr);
    EXPECT_TRUE(static_cast<TScriptedItem*>(rig.Show.RootList().GetItem(0))->Plays.empty());
}

TEST(PlayerWindowForm, TheCursorStaysHiddenAndTheCaptureIsReleased) {
    FormRig rig;
    rig.Screen.CursorVisible = false;
    rig.Add(60000, kRed32);
    TPlayerWindowForm form;
    rig.OnWait = [&](int, int) { PostMessage(form.Handle(), WM_CLOSE, 0, 0); };
    EXPECT_EQ(rig.Play(form), mrCancel);
    EXPECT_FALSE(rig.Screen.CursorVisible);
    EXPECT_EQ(rig.Screen.CaptureReleases, 1);
}

TEST(PlayerWindowForm, PaintsCopyTheInvalidatedPartOfTheBoxAndBlackenTheRest) {
    FormRig rig;
    rig.Settings().FullScreen = false;
    rig.Settings().ClientWidth = 200;
    rig.Settings().ClientHeight = 100;
    TPlayerWindowForm form;
    form.Setup(rig.Player.get(), &rig.Show, &rig.Settings());
    auto& surface = rig.Window().OffscreenSurface();
    const TRect box = form.PaintBox.BoundsRect();
    ASSERT_EQ(box, (TRect{33, 0, 166, 100}));
    auto pump = [] {
        TMessage m;
        while (PeekMessage(m)) DispatchMessage(m);
    };
    form.PaintBox.Buffer().FillRectS(form.PaintBox.ClientRect(), kBlue32);
    surface.TakePresented();
    form.PaintBox.InvalidateScreenRect(TRect{5, 6, 25, 16});
    pump();
    EXPECT_EQ(surface.Presented(), (std::vector<TRect>{TRect{38, 6, 58, 16}}));
    EXPECT_EQ(surface.Image().Pixel(38, 6), kBlue32);
    EXPECT_EQ(surface.Image().Pixel(58, 6), 0xFF000000u);
    // The system asks for all of it: the box copies its buffer, the form the black beside.
    surface.TakePresented();
    MessageQueue().Expose(form.Handle());
    pump();
    EXPECT_EQ(surface.Presented().size(), 3u);
    EXPECT_EQ(surface.Image().Pixel(100, 50), kBlue32);
    EXPECT_EQ(surface.Image().Pixel(10, 50), 0xFF000000u);
    EXPECT_EQ(surface.Image().Pixel(190, 50), 0xFF000000u);
}

TEST(PlayerWindowForm, TheFrameRateIsWrittenOnTheWindowBlackOnWhite) {
    FormRig rig;
    rig.Settings().FullScreen = false;
    rig.Settings().ClientWidth = 320;
    rig.Settings().ClientHeight = 240;
    rig.Add(3000, kGreen32)->Animates = true;
    rig.Show.SlideShowProperties->EndAction = 1;
    rig.Player->ShowFps = true;
    TPlayerWindowForm form;
    TImage32 shown;
    rig.OnWait = [&](int, int timeout) {
        rig.Clock.Advance(uint32_t(std::max(timeout, 1)));
        if (rig.Player->GetCurrentPlayTime() < 2000) shown = rig.Window().OffscreenSurface().Image();
    };
    EXPECT_EQ(rig.Play(form), mrCancel);
    ASSERT_FALSE(rig.Player->FpsText.empty());
    WritePngPicture(TBitmap32(shown), (TestOutputFolder() / "player-window-fps.png").string());
    // A white cell at the corner with black writing in it; green beyond it.
    int white = 0, black = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x) {
            white += shown.Pixel(x, y) == 0xFFFFFFFFu;
            black += shown.Pixel(x, y) == 0xFF000000u;
        }
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 20);
    EXPECT_EQ(shown.Pixel(200, 100), kGreen32);
}

}  // namespace

namespace {

// On SDL's own queue and windows (the offscreen driver): a window's close and then a
// quit of the application each end the loop with mrCancel. The quit stays: this is the
// only test of this program on SDL's queue.
TEST(PlayerWindowFormOnSdl, AWindowCloseAndAQuitEndTheLoopWithCancel) {
    PlayerTestPlugins();
    TSlideShow show;
    auto* item = new TScriptedItem();
    item->SetDuration(60000);
    item->Animates = true;
    show.RootList().Add(item);
    for (bool quit : {false, true}) {
        TPluginPtr<TTestPlayer> player(new TTestPlayer(nullptr));
        player->GetSettings()->FullScreen = false;
        player->GetSettings()->ClientWidth = 400;
        player->GetSettings()->ClientHeight = 240;
        TPlayerWindowForm form;
        player->BeginPlay(&form, &show, false, nullptr, 0);
        int ticks = 0;
        form.SetOnMessageLoop([&] {
            player->MessageLoopStep();
            if (++ticks != 5) return;
            SDL_Event event{};
            if (quit) {
                event.type = SDL_QUIT;
            } else {
                event.type = SDL_WINDOWEVENT;
                event.window.event = SDL_WINDOWEVENT_CLOSE;
                event.window.windowID = MessageQueue().GetSystemWindowId(form.Handle());
            }
            ASSERT_EQ(SDL_PushEvent(&event), 1);
        });
        form.SetMessageHook([&](TMessage& m) { return player->HandlePlayerMessage(m); });
        EXPECT_EQ(form.RunModalLoop(), mrCancel) << quit;
        player->EndPlay();
        // Taken in the pass that pushed it, and that pass is the last.
        EXPECT_EQ(ticks, 5) << quit;
        EXPECT_EQ(MessageQueue().Terminated(), quit);
        EXPECT_EQ(form.PaintBox.Buffer().Pixel(5, 5), kRed32);
        // What the window shows: the red box in the middle, black bands beside it.
        SDL_Surface* surface = SDL_GetWindowSurface(SDL_GetWindowFromID(MessageQueue().GetSystemWindowId(form.Handle())));
        ASSERT_NE(surface, nullptr);
        ASSERT_EQ(surface->w, 400);
        TBitmap32 shown(surface->w, surface->h);
        for (int y = 0; y < surface->h; ++y)
            for (int x = 0; x < surface->w; ++x) {
                uint32_t p = 0;
                SDL_GetRGB(static_cast<const uint32_t*>(surface->pixels)[y * surface->pitch / 4 + x], surface->format,
                           reinterpret_cast<uint8_t*>(&p) + 2, reinterpret_cast<uint8_t*>(&p) + 1,
                           reinterpret_cast<uint8_t*>(&p));
                shown.SetPixel(x, y, p | 0xFF000000u);
            }
        WritePngPicture(shown, (TestOutputFolder() / "player-window-on-sdl.png").string());
        EXPECT_EQ(shown.Pixel(200, 120), kRed32);
        EXPECT_EQ(shown.Pixel(20, 120), clBlack32);
        EXPECT_EQ(shown.Pixel(380, 120), clBlack32);
    }
}

}  // namespace
