// SDL windows under the offscreen driver (the X11 ones when run under Xvfb): input
// injected with SDL_PushEvent arrives as our window messages, the window surface shows
// what was presented, the windowed and full-screen geometry; the fake window system.
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Window.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct TRecorder {
    std::vector<TMessage> Got;
    TWndMethod Proc() {
        return [this](TMessage& m) { Got.push_back(m); };
    }
};

// Everything waiting, dispatched.
void Pump() {
    TMessage m;
    while (MessageQueue().PeekMessage(m)) MessageQueue().DispatchMessage(m);
}

SDL_Window* SdlWindowOf(const TWindow& window) {
    return SDL_GetWindowFromID(MessageQueue().GetSystemWindowId(window.Handle()));
}

bool UnderX11() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "x11") == 0;
}

// A 320 x 240 form with a paint box at (16, 16, 216, 166), as the player window has.
class SdlWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Pump();
        Window = WindowSystem().CreateWindow(320, 240);
        MessageQueue().SetWindowProc(Window->Handle(), Form.Proc());
        Box = MessageQueue().CreateWindowHandle(PaintBox.Proc(), Window->Handle(), TRect{16, 16, 216, 166});
        Id = MessageQueue().GetSystemWindowId(Window->Handle());
        Pump();
        Form.Got.clear();
    }
    void TearDown() override {
        Window.reset();
        Pump();
    }

    void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1); }

    std::unique_ptr<TWindow> Window;
    HWND Box = 0;
    uint32_t Id = 0;
    TRecorder Form, PaintBox;
};

struct TKeyCase {
    const char* Name;
    SDL_Keycode Sym;
    SDL_Scancode Scan;
    uint16_t Mod;
    uint8_t Repeat;
    UINT Msg;
    WPARAM Vk;
    uint8_t ScanCode;
};

TEST_F(SdlWindowTest, KeysArriveWithVirtualKeyCodesAndKeyData) {
    const TKeyCase cases[] = {
        {"a", SDLK_a, SDL_SCANCODE_A, 0, 0, WM_KEYDOWN, 'A', 0x1E},
        {"z", SDLK_z, SDL_SCANCODE_Z, 0, 0, WM_KEYDOWN, 'Z', 0x2C},
        {"0", SDLK_0, SDL_SCANCODE_0, 0, 0, WM_KEYDOWN, '0', 0x0B},
        {"7", SDLK_7, SDL_SCANCODE_7, 0, 0, WM_KEYDOWN, '7', 0x08},
        {"F1", SDLK_F1, SDL_SCANCODE_F1, 0, 0, WM_KEYDOWN, 112, 0x3B},
        {"F12", SDLK_F12, SDL_SCANCODE_F12, 0, 0, WM_KEYDOWN, 123, 0x58},
        {"F13", SDLK_F13, SDL_SCANCODE_F13, 0, 0, WM_KEYDOWN, 124, 0x64},
        {"F24", SDLK_F24, SDL_SCANCODE_F24, 0, 0, WM_KEYDOWN, 135, 0x76},
        {"Escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, 0, WM_KEYDOWN, 27, 0x01},
        {"Return", SDLK_RETURN, SDL_SCANCODE_RETURN, 0, 0, WM_KEYDOWN, 13, 0x1C},
        {"Space", SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 0, WM_KEYDOWN, 32, 0x39},
        {"Tab", SDLK_TAB, SDL_SCANCODE_TAB, 0, 0, WM_KEYDOWN, 9, 0x0F},
        {"Backspace", SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, 0, WM_KEYDOWN, 8, 0x0E},
        {"Left", SDLK_LEFT, SDL_SCANCODE_LEFT, 0, 0, WM_KEYDOWN, 37, 0x4B},
        {"Up", SDLK_UP, SDL_SCANCODE_UP, 0, 0, WM_KEYDOWN, 38, 0x48},
        {"Right", SDLK_RIGHT, SDL_SCANCODE_RIGHT, 0, 0, WM_KEYDOWN, 39, 0x4D},
        {"Down", SDLK_DOWN, SDL_SCANCODE_DOWN, 0, 0, WM_KEYDOWN, 40, 0x50},
        {"RShift", SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, KMOD_RSHIFT, 0, WM_KEYDOWN, 16, 0x36},
        {"LCtrl", SDLK_LCTRL, SDL_SCANCODE_LCTRL, KMOD_LCTRL, 0, WM_KEYDOWN, 17, 0x1D},
        {"Shift+a", SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT, 0, WM_KEYDOWN, 'A', 0x1E},
        {"Home has no code", SDLK_HOME, SDL_SCANCODE_HOME, 0, 0, WM_KEYDOWN, 255, 0},
        {"repeat", SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 1, WM_KEYDOWN, 32, 0x39},
        // Alt itself and keys typed with it are system keys, as Windows sends them ...
        {"Alt", SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT, 0, WM_SYSKEYDOWN, 18, 0x38},
        {"Alt+X", SDLK_x, SDL_SCANCODE_X, KMOD_LALT, 0, WM_SYSKEYDOWN, 'X', 0x2D},
        {"AltGr+X", SDLK_x, SDL_SCANCODE_X, KMOD_RALT, 0, WM_SYSKEYDOWN, 'X', 0x2D},
        {"Alt+Escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, KMOD_LALT, 0, WM_SYSKEYDOWN, 27, 0x01},
        // ... but not with Ctrl held, and Alt+F4 comes as a key down for the player's hook.
        {"Ctrl+Alt+X", SDLK_x, SDL_SCANCODE_X, KMOD_LALT | KMOD_LCTRL, 0, WM_KEYDOWN, 'X', 0x2D},
        {"Alt+F4", SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT, 0, WM_KEYDOWN, 115, 0x3E},
        {"F4", SDLK_F4, SDL_SCANCODE_F4, 0, 0, WM_KEYDOWN, 115, 0x3E},
    };
    for (const TKeyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = Id;
        event.key.state = SDL_PRESSED;
        event.key.repeat = c.Repeat;
        event.key.keysym.sym = c.Sym;
        event.key.keysym.scancode = c.Scan;
        event.key.keysym.mod = c.Mod;
        Push(event);
        Pump();
        ASSERT_EQ(Form.Got.size(), 1u);
        const TMessage m = Form.Got[0];
        Form.Got.clear();
        EXPECT_EQ(m.Msg, c.Msg);
        EXPECT_EQ(m.WParam, c.Vk);
        const bool alt = (c.Mod & KMOD_ALT) != 0;
        EXPECT_EQ(m.LParam, LPARAM(1) | (LPARAM(c.ScanCode) << 16) | (alt ? LPARAM(1) << 29 : 0) |
                                (c.Repeat ? LPARAM(1) << 30 : 0));
        EXPECT_EQ(KeyDataToShiftState(m.LParam), alt ? ssAlt : 0);
    }
    EXPECT_TRUE(PaintBox.Got.empty());

    SDL_Event keyUp{};  // key ups and keys of other windows bring nothing
    keyUp.type = SDL_KEYUP;
    keyUp.key.windowID = Id;
    keyUp.key.keysym.sym = SDLK_a;
    Push(keyUp);
    SDL_Event elsewhere{};
    elsewhere.type = SDL_KEYDOWN;
    elsewhere.key.windowID = Id + 1000;
    elsewhere.key.keysym.sym = SDLK_a;
    Push(elsewhere);
    Pump();
    EXPECT_TRUE(Form.Got.empty());
}

TEST_F(SdlWindowTest, ButtonsAndMovesGoToThePaintBoxOrTheFormInTheirClientCoordinates) {
    struct TCase {
        const char* Name;
        uint32_t Type;
        uint8_t Button;
        uint32_t State;  // motion: buttons held
        int X, Y;
        bool ToBox;
        UINT Msg;
        WPARAM Keys;
        int ClientX, ClientY;
    };
    const TCase cases[] = {
        {"left in box", SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 0, 20, 30, true, WM_LBUTTONDOWN, MK_LBUTTON, 4, 14},
        {"right in box", SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 0, 215, 165, true, WM_RBUTTONDOWN, MK_RBUTTON, 199, 149},
        {"middle on form", SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 0, 5, 200, false, WM_MBUTTONDOWN, MK_MBUTTON, 5, 200},
        {"left right of box", SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 0, 216, 100, false, WM_LBUTTONDOWN, MK_LBUTTON, 216, 100},
        {"move in box", SDL_MOUSEMOTION, 0, 0, 16, 16, true, WM_MOUSEMOVE, 0, 0, 0},
        {"drag in box", SDL_MOUSEMOTION, 0, SDL_BUTTON_LMASK, 100, 50, true, WM_MOUSEMOVE, MK_LBUTTON, 84, 34},
        {"move on form", SDL_MOUSEMOTION, 0, SDL_BUTTON_RMASK, 300, 10, false, WM_MOUSEMOVE, MK_RBUTTON, 300, 10},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SDL_Event event{};
        event.type = c.Type;
        if (c.Type == SDL_MOUSEMOTION) {
            event.motion.windowID = Id;
            event.motion.state = c.State;
            event.motion.x = c.X;
            event.motion.y = c.Y;
        } else {
            event.button.windowID = Id;
            event.button.button = c.Button;
            event.button.state = SDL_PRESSED;
            event.button.clicks = 1;
            event.button.x = c.X;
            event.button.y = c.Y;
        }
        Push(event);
        Pump();
        TRecorder& to = c.ToBox ? PaintBox : Form;
        const TRecorder& notTo = c.ToBox ? Form : PaintBox;
        ASSERT_EQ(to.Got.size(), 1u);
        EXPECT_TRUE(notTo.Got.empty());
        const TMessage m = to.Got[0];
        to.Got.clear();
        EXPECT_EQ(m.Window, c.ToBox ? Box : Window->Handle());
        EXPECT_EQ(m.Msg, c.Msg);
        EXPECT_EQ(m.WParam, c.Keys);
        EXPECT_EQ(GetXLParam(m.LParam), c.ClientX);
        EXPECT_EQ(GetYLParam(m.LParam), c.ClientY);
    }
}

TEST_F(SdlWindowTest, WindowEventsBecomeCloseMinimisePaintAndQuit) {
    const auto windowEvent = [&](uint8_t what) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = Id;
        event.window.event = what;
        return event;
    };
    Push(windowEvent(SDL_WINDOWEVENT_CLOSE));
    Push(windowEvent(SDL_WINDOWEVENT_MINIMIZED));
    Push(windowEvent(SDL_WINDOWEVENT_EXPOSED));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    Push(quit);

    std::vector<TMessage> got;
    TMessage m;
    while (PeekMessage(m)) got.push_back(m);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].Window, Window->Handle());
    EXPECT_EQ(got[0].Msg, WM_CLOSE);
    EXPECT_EQ(got[1].Msg, WM_SYSCOMMAND);
    EXPECT_EQ(got[1].WParam, SC_MINIMIZE);
    EXPECT_EQ(got[2].Window, 0u);
    EXPECT_EQ(got[2].Msg, WM_QUIT);
    // The expose asks the form and its paint box to paint their whole client areas.
    EXPECT_EQ(got[3].Window, Window->Handle());
    EXPECT_EQ(got[3].Msg, WM_PAINT);
    EXPECT_EQ(MessageQueue().BeginPaint(Window->Handle()), (TRect{0, 0, 320, 240}));
    EXPECT_EQ(got[4].Window, Box);
    EXPECT_EQ(got[4].Msg, WM_PAINT);
    EXPECT_EQ(MessageQueue().BeginPaint(Box), (TRect{0, 0, 200, 150}));
}

TEST_F(SdlWindowTest, SigtermAndSigintArriveAsQuit) {
    for (int signal : {SIGTERM, SIGINT}) {
        struct sigaction current {};
        sigaction(signal, nullptr, &current);
        if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN)
            GTEST_SKIP() << "SDL did not take the signal";
        std::raise(signal);
        TMessage m;
        ASSERT_TRUE(PeekMessage(m));
        EXPECT_EQ(m.Msg, WM_QUIT);
        EXPECT_FALSE(PeekMessage(m));
    }
}

// The surface's pixel as 0xRRGGBB, whatever its format.
uint32_t SurfaceRgb(SDL_Surface* surface, int x, int y) {
    const uint8_t* p = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch +
                       x * surface->format->BytesPerPixel;
    uint32_t raw = 0;
    std::memcpy(&raw, p, surface->format->BytesPerPixel);
    uint8_t r = 0, g = 0, b = 0;
    SDL_GetRGB(raw, surface->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

// What the surface's format makes of 0xAARRGGBB.
uint32_t AsShown(SDL_Surface* surface, uint32_t argb) {
    const uint32_t raw = SDL_MapRGB(surface->format, uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb));
    uint8_t r = 0, g = 0, b = 0;
    SDL_GetRGB(raw, surface->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

TEST_F(SdlWindowTest, TheSurfaceShowsExactlyThePresentedRectangles) {
    Window->Show();
    Pump();
    const TSize client = Window->ClientSize();
    // Everything grey first, then a 200 x 150 picture at (16, 16) in three rectangles:
    // one inside, one cut by the picture's edge, one outside it; alpha does not count.
    std::vector<uint32_t> grey(size_t(client.cx) * client.cy, 0xFF808080u);
    const TRect whole{0, 0, client.cx, client.cy};
    Window->Surface().Present(grey.data(), client.cx, client.cx, client.cy, TPoint{0, 0}, &whole, 1);

    const int w = 200, h = 150, stride = 208;
    std::vector<uint32_t> picture(size_t(stride) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x) picture[size_t(y) * stride + x] = uint32_t(x * 7 + y * 131) * 0x01030507u;
    const TRect rects[] = {{10, 10, 60, 40}, {150, 100, 260, 200}, {-30, -30, -1, -1}};
    const TPoint origin{16, 16};
    Window->Surface().Present(picture.data(), stride, w, h, origin, rects, 3);

    SDL_Surface* surface = SDL_GetWindowSurface(SdlWindowOf(*Window));
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(surface->w, client.cx);
    const auto inside = [&](int x, int y) {
        const int px = x - origin.X, py = y - origin.Y;
        if (px < 0 || py < 0 || px >= w || py >= h) return false;
        for (int i = 0; i < 2; ++i)
            if (px >= rects[i].Left && px < rects[i].Right && py >= rects[i].Top && py < rects[i].Bottom)
                return true;
        return false;
    };
    int mismatches = 0;
    for (int y = 0; y < client.cy; ++y)
        for (int x = 0; x < client.cx; ++x) {
            const uint32_t expected = inside(x, y)
                                          ? AsShown(surface, picture[size_t(y - origin.Y) * stride + (x - origin.X)])
                                          : AsShown(surface, 0x808080u);
            mismatches += SurfaceRgb(surface, x, y) != expected;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(SdlWindowTest, ANewSizeGetsANewSurface) {
    Window->Show();
    Window->SetClientSize(100, 60);
    Pump();
    EXPECT_EQ(Window->ClientSize(), (TSize{100, 60}));
    std::vector<uint32_t> red(100 * 60, 0xFFFF0000u);
    const TRect whole{0, 0, 100, 60};
    Window->Surface().Present(red.data(), 100, 100, 60, TPoint{0, 0}, &whole, 1);
    SDL_Surface* surface = SDL_GetWindowSurface(SdlWindowOf(*Window));
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->w, 100);
    EXPECT_EQ(surface->h, 60);
    EXPECT_EQ(SurfaceRgb(surface, 99, 59), AsShown(surface, 0xFF0000u));
}

TEST_F(SdlWindowTest, FullScreenCoversTheMonitorAndWindowedKeepsItsPlace) {
    if (UnderX11()) GTEST_SKIP() << "a window manager decides the places under X11";
    Window->SetClientSize(300, 200);
    Window->SetPosition(10, 20);
    Window->SetCaption("Lumivor-Player \xDC");
    EXPECT_EQ(Window->GetWindowRect(), (TRect{10, 20, 310, 220}));
    EXPECT_EQ(Window->ClientSize(), (TSize{300, 200}));
    EXPECT_STREQ(SDL_GetWindowTitle(SdlWindowOf(*Window)), "Lumivor-Player \u00DC");

    Window->SetFullScreen(true);
    Window->Show();
    Pump();
    SDL_Rect display{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    EXPECT_TRUE(Window->FullScreen());
    EXPECT_TRUE(Window->Visible());
    EXPECT_EQ(Window->ClientSize(), (TSize{display.w, display.h}));
    EXPECT_NE(SDL_GetWindowFlags(SdlWindowOf(*Window)) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);

    const TRect work = WindowSystem().GetWorkArea();
    EXPECT_FALSE(work.IsEmpty());
    EXPECT_GT(WindowSystem().DisplayRefreshRate(), 0);
    WindowSystem().ShowCursor(false);
    EXPECT_FALSE(WindowSystem().CursorShown());
    WindowSystem().ShowCursor(true);
    EXPECT_TRUE(WindowSystem().CursorShown());
}

// Xvfb runs without a window manager: nobody would answer SDL's full-screen request, which
// it waits for on showing the window. Full screen is a borderless window of the monitor's
// size there, and windowed gets its frame back.
TEST_F(SdlWindowTest, FullScreenWithoutAWindowManagerIsABorderlessWindowOfTheMonitor) {
    if (!UnderX11()) GTEST_SKIP() << "only an X server may run without a window manager";
    Window->SetClientSize(300, 200);
    Window->SetFullScreen(true);
    Window->Show();
    Pump();
    SDL_Rect display{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    const uint32_t flags = SDL_GetWindowFlags(SdlWindowOf(*Window));
    EXPECT_TRUE(Window->FullScreen());
    EXPECT_NE(flags & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    EXPECT_EQ(Window->ClientSize(), (TSize{display.w, display.h}));
    EXPECT_EQ(Window->ClientOrigin(), (TPoint{display.x, display.y}));
    Window->SetFullScreen(false);
    Pump();
    EXPECT_FALSE(Window->FullScreen());
    EXPECT_EQ(SDL_GetWindowFlags(SdlWindowOf(*Window)) & SDL_WINDOW_BORDERLESS, 0u);
}

TEST(FakeWindowSystem, KeepsItsGeometryAndADestroyedForeignWindowGetsAClose) {
    TFakeMessageQueue queue;
    TInstalled<SetMessageQueue> installedQueue(queue);
    TFakeWindowSystem system;
    TInstalled<SetWindowSystem> installedSystem(system);
    system.FrameLeft = system.FrameRight = 3;
    system.FrameTop = 22;
    system.FrameBottom = 3;
    auto window = WindowSystem().CreateWindow(0, -5);  // below 1 counts as 1
    EXPECT_EQ(window->ClientSize(), (TSize{1, 1}));
    window->SetClientSize(2000, 2000);
    window->SetPosition(-3, -22);
    EXPECT_EQ(window->GetWindowRect(), (TRect{-3, -22, 2003, 2003}));
    window->SetFullScreen(true);
    EXPECT_EQ(window->ClientSize(), (TSize{1024, 768}));
    EXPECT_EQ(system.Windows[0]->OffscreenSurface().Image().Width, 1024);

    TRect rect;
    EXPECT_FALSE(WindowSystem().GetWindowRect(77, rect));
    EXPECT_EQ(WindowSystem().CreateForeignWindow(77), nullptr);
    system.AddForeignWindow(77, TRect{5, 6, 157, 118});
    ASSERT_TRUE(WindowSystem().GetWindowRect(77, rect));
    EXPECT_EQ(rect, (TRect{5, 6, 157, 118}));
    auto preview = WindowSystem().CreateForeignWindow(77);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->ClientSize(), (TSize{152, 112}));
    TRecorder form;
    MessageQueue().SetWindowProc(preview->Handle(), form.Proc());
    system.DestroyForeignWindow(77);
    EXPECT_TRUE(preview->Vanished());
    Pump();
    ASSERT_EQ(form.Got.size(), 1u);
    EXPECT_EQ(form.Got[0].Msg, WM_CLOSE);
    preview.reset();
    window.reset();
    EXPECT_TRUE(system.Windows.empty());
}

// Under Xvfb (tests/platform/xvfb_windows.sh): a window of "another program" is drawn
// into, found by its id, and its destruction is noticed within the 100 ms the loop has.
TEST(ForeignWindow, IsDrawnIntoAndItsDestructionEndsTheLoopWithoutAnXErrorEndingUs) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    WindowSystem().DisplayRefreshRate();  // starts the video
    if (!UnderX11()) GTEST_SKIP() << "needs SDL's x11 video driver";
    Pump();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, 160, 120, 0, 0, 0);
    XSelectInput(display, other, ButtonPressMask);  // as a program would that wants clicks itself
    XMapWindow(display, other);
    XSync(display, False);

    TRect rect;
    ASSERT_TRUE(WindowSystem().GetWindowRect(other, rect));
    EXPECT_EQ(rect.Width(), 160);
    EXPECT_EQ(rect.Height(), 120);
    std::unique_ptr<TWindow> preview = WindowSystem().CreateForeignWindow(other);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->ClientSize(), (TSize{160, 120}));
    TRecorder form;
    MessageQueue().SetWindowProc(preview->Handle(), form.Proc());

    std::vector<uint32_t> green(160 * 120, 0xFF00C000u);
    const TRect whole{0, 0, 160, 120};
    preview->Surface().Present(green.data(), 160, 160, 120, TPoint{0, 0}, &whole, 1);
    Pump();
    XImage* image = XGetImage(display, other, 80, 60, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    XColor color{};
    color.pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    XQueryColor(display, DefaultColormap(display, DefaultScreen(display)), &color);
    EXPECT_EQ(color.red >> 8, 0);
    EXPECT_GE(color.green >> 8, 0xB8);
    EXPECT_EQ(color.blue >> 8, 0);

    XDestroyWindow(display, other);
    XSync(display, False);
    const uint32_t start = GetTickCount();
    // Drawing into the vanished window meanwhile raises X errors that must not end us.
    preview->Surface().Present(green.data(), 160, 160, 120, TPoint{0, 0}, &whole, 1);
    while (form.Got.empty() && GetTickCount() - start < 5000) {
        TMessage m;
        if (PeekMessage(m))
            DispatchMessage(m);
        else
            EXPECT_TRUE(MessageQueue().WaitMessage(1000)) << "a wait outlasted the foreign window's checks";
    }
    const uint32_t noticed = GetTickCount() - start;
    ASSERT_EQ(form.Got.size(), 1u);
    EXPECT_EQ(form.Got[0].Msg, WM_CLOSE);
    EXPECT_LE(noticed, 1000u);
    std::printf("foreign window's end noticed after %u ms\n", unsigned(noticed));
    EXPECT_TRUE(preview->Vanished());
    preview->Surface().Present(green.data(), 160, 160, 120, TPoint{0, 0}, &whole, 1);
    preview.reset();
    Pump();
    XCloseDisplay(display);
}

// Under Xvfb: the owner resizes its window, whose button presses it took (so SDL could
// select none of its events): the client size and the surface follow within the 100 ms
// the foreign window's checks take.
TEST(ForeignWindow, FollowsItsOwnersResize) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    WindowSystem().DisplayRefreshRate();
    if (!UnderX11()) GTEST_SKIP() << "needs SDL's x11 video driver";
    Pump();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, 160, 120, 0, 0, 0);
    XSelectInput(display, other, ButtonPressMask);
    XMapWindow(display, other);
    XSync(display, False);
    std::unique_ptr<TWindow> foreign = WindowSystem().CreateForeignWindow(other);
    ASSERT_NE(foreign, nullptr);
    TRecorder form;
    MessageQueue().SetWindowProc(foreign->Handle(), form.Proc());

    XResizeWindow(display, other, 240, 100);
    XSync(display, False);
    const uint32_t start = GetTickCount();
    while (foreign->ClientSize() != TSize{240, 100} && GetTickCount() - start < 2000) {
        TMessage m;
        if (PeekMessage(m))
            DispatchMessage(m);
        else
            MessageQueue().WaitMessage(100);
    }
    ASSERT_EQ(foreign->ClientSize(), (TSize{240, 100}));
    EXPECT_LE(GetTickCount() - start, 1000u);
    EXPECT_TRUE(form.Got.empty());
    // The new part is drawn into too.
    std::vector<uint32_t> green(240 * 100, 0xFF00C000u);
    const TRect whole{0, 0, 240, 100};
    foreign->Surface().Present(green.data(), 240, 240, 100, TPoint{0, 0}, &whole, 1);
    Pump();
    XImage* image = XGetImage(display, other, 230, 90, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image, 0, 0) & 0xFFFFFF, 0x00C000u);
    XDestroyImage(image);
    foreign.reset();
    XDestroyWindow(display, other);
    XCloseDisplay(display);
    Pump();
}

}  // namespace
