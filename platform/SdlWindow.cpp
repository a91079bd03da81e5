// The window system on SDL. Foreign windows are X11 windows of other programs: SDL
// draws into them, and an own X connection asks where they are and whether they still
// exist. X errors (a foreign window that vanished under a drawing call, input another
// program already selected) are logged and never end the process.
#include "platform/Window.h"

#include "dynload/SdlLibrary.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/MessageQueue.h"
#include "platform/Sdl.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// How often a foreign window is asked whether it still exists: twice within the 100 ms
// in which its loop must notice.
constexpr UINT ForeignCheckMs = 50;

int LogXError(Display* display, XErrorEvent* error) {
    char text[128] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    OutputDebugString(AnsiString("X error ignored: ") + text + " (request " +
                      std::to_string(int(error->request_code)) + ")");
    return 0;
}

std::atomic<void (*)()> gDisplayLostAction{nullptr};

// Xlib ends the process when this returns, and the display it was called for is dead:
// the run's own end happens here, and never returns into Xlib.
int DisplayLost(Display*) {
    static std::atomic<bool> ending{false};
    if (ending.exchange(true)) {
        for (;;) ::pause();
    }
    OutputDebugString("X connection lost: the run ends");
    if (void (*action)() = gDisplayLostAction.load()) action();
    ::_exit(0);
}

// Ours after SDL's video start too, since SDL's own handler ends the process.
void InstallXErrorHandler() {
    XSetErrorHandler(LogXError);
    XSetIOErrorHandler(DisplayLost);
}

class TX11Connection {
public:
    ~TX11Connection() {
        if (display_) XCloseDisplay(display_);
    }

    bool WindowRect(uint64_t id, TRect& rect) {
        Display* display = Open();
        if (!display || id == 0) return false;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, ::Window(id), &attributes)) return false;
        int x = 0, y = 0;
        ::Window child = 0;
        if (!XTranslateCoordinates(display, ::Window(id), attributes.root, 0, 0, &x, &y, &child)) return false;
        // Its border belongs to the outer rectangle, as a frame does on Windows.
        const int border = attributes.border_width;
        rect = TRect{x - border, y - border, x + attributes.width + border, y + attributes.height + border};
        return true;
    }

    // The pointer's position on the screen, as the server has it now.
    bool Pointer(TPoint& point) {
        Display* display = Open();
        if (!display) return false;
        ::Window root = 0, child = 0;
        int x = 0, y = 0, wx = 0, wy = 0;
        unsigned mask = 0;
        if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask)) return false;
        point = TPoint{x, y};
        return true;
    }

    // Whether a window manager runs: it names its own check window on the root window, and
    // that window names itself too.
    bool HasWindowManager() {
        Display* display = Open();
        if (!display) return false;
        const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
        if (check == None) return false;
        const auto checkWindow = [&](::Window of, ::Window& named) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            named = 0;
            if (XGetWindowProperty(display, of, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                                   &data) == Success &&
                data && type == XA_WINDOW && format == 32 && count == 1)
                named = ::Window(*reinterpret_cast<unsigned long*>(data));
            if (data) XFree(data);
            return named != 0;
        };
        ::Window wm = 0, self = 0;
        return checkWindow(DefaultRootWindow(display), wm) && checkWindow(wm, self) && self == wm;
    }

    // The window's own size, without its border; false when it does not exist.
    bool Size(uint64_t id, int& width, int& height) {
        Display* display = Open();
        XWindowAttributes attributes;
        if (!display || id == 0 || !XGetWindowAttributes(display, ::Window(id), &attributes)) return false;
        width = attributes.width;
        height = attributes.height;
        return true;
    }

    bool Exists(uint64_t id) {
        Display* display = Open();
        XWindowAttributes attributes;
        return display && id != 0 && XGetWindowAttributes(display, ::Window(id), &attributes) != 0;
    }

private:
    Display* Open() {
        if (!display_ && !tried_) {
            tried_ = true;
            InstallXErrorHandler();
            display_ = XOpenDisplay(nullptr);
        }
        return display_;
    }

    Display* display_ = nullptr;
    bool tried_ = false;
};

class TSdlWindowSystem;

class TSdlWindow : public TWindow, public IWindowSurface {
public:
    TSdlWindow(TSdlWindowSystem& system, SDL_Window* window, uint64_t foreignId);
    ~TSdlWindow() override;

    void SetCaption(const AnsiString& caption) override {
        if (!foreignId_) SdlFunctions().SDL_SetWindowTitle(window_, AnsiToUtf8(caption).c_str());
    }
    void SetFullScreen(bool fullScreen) override;
    bool FullScreen() const override { return fullScreen_; }
    void SetClientSize(int32_t width, int32_t height) override {
        if (!foreignId_) SdlFunctions().SDL_SetWindowSize(window_, std::max(width, 1), std::max(height, 1));
    }
    void SetPosition(int32_t left, int32_t top) override {
        if (foreignId_) return;
        const TRect frame = Frame();
        SdlFunctions().SDL_SetWindowPosition(window_, left + frame.Left, top + frame.Top);
    }
    TRect GetWindowRect() const override;
    TPoint ClientOrigin() const override {
        if (foreignId_) {
            // An X11 border is as wide on every side.
            const TRect outer = GetWindowRect();
            return TPoint{outer.Left + (outer.Width() - ClientSize().cx) / 2,
                          outer.Top + (outer.Height() - ClientSize().cy) / 2};
        }
        int x = 0, y = 0;
        SdlFunctions().SDL_GetWindowPosition(window_, &x, &y);
        return TPoint{x, y};
    }
    TSize ClientSize() const override {
        int w = 0, h = 0;
        SdlFunctions().SDL_GetWindowSize(window_, &w, &h);
        return TSize{w, h};
    }
    void Show() override {
        visible_ = true;
        if (foreignId_) return;
        SdlFunctions().SDL_ShowWindow(window_);
        SdlFunctions().SDL_RaiseWindow(window_);
    }
    void Hide() override {
        visible_ = false;
        if (!foreignId_) SdlFunctions().SDL_HideWindow(window_);
    }
    bool Visible() const override { return visible_; }
    IWindowSurface& Surface() override { return *this; }
    bool Vanished() const override { return vanished_; }

    void Present(const uint32_t* pixels, int32_t stride, int32_t width, int32_t height, TPoint origin,
                 const TRect* rects, int32_t count) override;

private:
    // What the window manager's frame adds on each side (Left, Top, Right, Bottom).
    TRect Frame() const {
        int top = 0, left = 0, bottom = 0, right = 0;
        if (foreignId_ || fullScreen_ ||
            SdlFunctions().SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0)
            return TRect{};
        return TRect{left, top, right, bottom};
    }
    void CheckForeign(TMessage& message);
    void FollowForeignSize(int width, int height);

    TSdlWindowSystem& system_;
    SDL_Window* window_;
    uint64_t foreignId_;
    HWND watcher_ = 0;
    bool fullScreen_ = false;
    // Full screen as a borderless window, for an X server without a window manager.
    bool bareX_ = false;
    bool visible_ = false;
    bool vanished_ = false;
    std::vector<SDL_Rect> shown_;
};

class TSdlWindowSystem : public TWindowSystem {
public:
    std::unique_ptr<TWindow> CreateWindow(int32_t clientWidth, int32_t clientHeight) override {
        StartVideo();
        const TSdlFunctions& sdl = SdlFunctions();
        SDL_Window* window = sdl.SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                                  std::max(clientWidth, 1), std::max(clientHeight, 1),
                                                  SDL_WINDOW_HIDDEN);
        if (!window) throw Exception(AnsiString("Fenster: ") + sdl.SDL_GetError());
        return std::make_unique<TSdlWindow>(*this, window, 0);
    }

    std::unique_ptr<TWindow> CreateForeignWindow(uint64_t id) override {
        if (!x11_.Exists(id)) return nullptr;
        StartVideo();
        SDL_Window* window = SdlFunctions().SDL_CreateWindowFrom(reinterpret_cast<const void*>(uintptr_t(id)));
        if (!window) {
            OutputDebugString(AnsiString("Fremdes Fenster: ") + SdlFunctions().SDL_GetError());
            return nullptr;
        }
        return std::make_unique<TSdlWindow>(*this, window, id);
    }

    bool GetWindowRect(uint64_t id, TRect& rect) override { return x11_.WindowRect(id, rect); }

    TRect GetMonitorRect(const TPoint& at) override {
        StartVideo();
        const TSdlFunctions& sdl = SdlFunctions();
        SDL_Rect r{};
        for (int i = 0, n = sdl.SDL_GetNumVideoDisplays(); i < n; ++i)
            if (sdl.SDL_GetDisplayBounds(i, &r) == 0 && at.X >= r.x && at.X < r.x + r.w && at.Y >= r.y &&
                at.Y < r.y + r.h)
                return Bounds(r.x, r.y, r.w, r.h);
        if (sdl.SDL_GetDisplayBounds(0, &r) != 0) return TRect{};
        return Bounds(r.x, r.y, r.w, r.h);
    }

    TRect GetWorkArea() override {
        StartVideo();
        SDL_Rect r{};
        if (SdlFunctions().SDL_GetDisplayUsableBounds(0, &r) != 0) return TRect{};
        return Bounds(r.x, r.y, r.w, r.h);
    }

    TPoint GetCursorPos() override {
        StartVideo();
        // SDL's global position on X11 follows raw motion only, which a warped pointer
        // never sends: ask the server.
        TPoint point;
        const char* driver = SdlFunctions().SDL_GetCurrentVideoDriver();
        if (driver && std::strcmp(driver, "x11") == 0 && x11_.Pointer(point)) return point;
        int x = 0, y = 0;
        SdlFunctions().SDL_GetGlobalMouseState(&x, &y);
        return TPoint{x, y};
    }

    void ShowCursor(bool show) override {
        StartVideo();
        SdlFunctions().SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }

    bool CursorShown() override {
        StartVideo();
        return SdlFunctions().SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
    }

    void ReleaseCapture() override {
        StartVideo();
        SdlFunctions().SDL_CaptureMouse(SDL_FALSE);
    }

    int32_t DisplayRefreshRate() override {
        StartVideo();
        SDL_DisplayMode mode{};
        if (SdlFunctions().SDL_GetCurrentDisplayMode(0, &mode) != 0 || mode.refresh_rate <= 0) return 60;
        return mode.refresh_rate;
    }

    bool HasWindowManager() { return x11_.HasWindowManager(); }
    bool ForeignSize(uint64_t id, int& width, int& height) { return x11_.Size(id, width, height); }
    bool HasDisplay() override {
        const char* asked = std::getenv("SDL_VIDEODRIVER");
        const bool chosen = asked && *asked;
        // Nothing to look for: probing would only have the drivers complain on stderr.
        if (!chosen && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
        try {
            StartVideo();
        } catch (const std::exception& e) {
            OutputDebugString(e.what());
            return false;
        }
        if (chosen) return true;
        // Without a display SDL falls back to drivers that draw into memory only.
        const char* driver = SdlFunctions().SDL_GetCurrentVideoDriver();
        return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
    }
    bool ForeignRect(uint64_t id, TRect& rect) { return x11_.WindowRect(id, rect); }

private:
    // Video stays up once started: windows come and go within one run.
    void StartVideo() {
        if (videoStarted_) return;
        // The queue's events first, so that its source sees every window's events.
        MessageQueue();
        const TSdlFunctions& sdl = SdlFunctions();
        // The window surface is plain memory the driver shows: no renderer behind it.
        sdl.SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // A window does not keep the system's screen saver away, as on Windows.
        sdl.SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        int started = -1;
        WithoutComposeTable([&] { started = sdl.SDL_InitSubSystem(SDL_INIT_VIDEO); });
        if (started != 0) throw Exception(AnsiString("SDL: ") + sdl.SDL_GetError());
        videoStarted_ = true;
        if (std::strcmp(sdl.SDL_GetCurrentVideoDriver(), "x11") == 0) InstallXErrorHandler();
    }

    TX11Connection x11_;
    bool videoStarted_ = false;
};

TSdlWindow::TSdlWindow(TSdlWindowSystem& system, SDL_Window* window, uint64_t foreignId)
    : system_(system), window_(window), foreignId_(foreignId) {
    MessageQueue().SetSystemWindowId(Handle(), SdlFunctions().SDL_GetWindowID(window_));
    if (foreignId_) {
        // A message-only window of our own watches the foreign one; its timer also keeps
        // every wait of the queue short while we draw into a window that may go away.
        TMessageQueue& queue = MessageQueue();
        watcher_ = queue.CreateWindowHandle([this](TMessage& message) { CheckForeign(message); });
        queue.SetTimer(watcher_, 1, ForeignCheckMs);
    }
}

TSdlWindow::~TSdlWindow() {
    if (watcher_) MessageQueue().DestroyWindowHandle(watcher_);
    SdlFunctions().SDL_DestroyWindow(window_);
}

void TSdlWindow::SetFullScreen(bool fullScreen) {
    if (foreignId_ || fullScreen == fullScreen_) return;
    fullScreen_ = fullScreen;
    const TSdlFunctions& sdl = SdlFunctions();
    if (fullScreen) {
        // Without a window manager nobody acts on the full-screen state: the window
        // covers the monitor by itself already.
        SDL_Rect display{};
        if (sdl.SDL_GetDisplayBounds(std::max(sdl.SDL_GetWindowDisplayIndex(window_), 0), &display) == 0) {
            sdl.SDL_SetWindowSize(window_, display.w, display.h);
            sdl.SDL_SetWindowPosition(window_, display.x, display.y);
        }
        // SDL waits up to 100 ms on showing a full-screen window for a window manager's
        // answer; with none there is nobody to answer: a borderless window of the
        // monitor's size is all that full screen means then.
        const char* driver = sdl.SDL_GetCurrentVideoDriver();
        bareX_ = driver && std::strcmp(driver, "x11") == 0 && !system_.HasWindowManager();
        if (bareX_) {
            sdl.SDL_SetWindowBordered(window_, SDL_FALSE);
            // The server's answer to the new size now, not after the window maps: SDL
            // makes the window surface anew on it, and the frame drawn before would be lost.
            sdl.SDL_PumpEvents();
            return;
        }
    } else if (bareX_) {
        bareX_ = false;
        sdl.SDL_SetWindowBordered(window_, SDL_TRUE);
        return;
    }
    sdl.SDL_SetWindowFullscreen(window_, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void TSdlWindow::CheckForeign(TMessage& message) {
    if (message.Msg != WM_TIMER || vanished_) return;
    int width = 0, height = 0;
    if (system_.ForeignSize(foreignId_, width, height)) {
        FollowForeignSize(width, height);
        return;
    }
    vanished_ = true;
    MessageQueue().KillTimer(watcher_, 1);
    MessageQueue().PostMessage(Handle(), WM_CLOSE, 0, 0);
}

void TSdlWindow::FollowForeignSize(int width, int height) {
    const TSdlFunctions& sdl = SdlFunctions();
    int w = 0, h = 0;
    sdl.SDL_GetWindowSize(window_, &w, &h);
    if (w == width && h == height) return;
    // SDL learns of another program's resize only when it could select that window's
    // structure events, which fails where the owner took the button presses (as a
    // screen-saver daemon does). Taken up anew, the window comes with its size and a
    // surface of that size; resizing it ourselves would write size hints on a window
    // that is not ours.
    SDL_Window* fresh = sdl.SDL_CreateWindowFrom(reinterpret_cast<const void*>(uintptr_t(foreignId_)));
    if (!fresh) {
        OutputDebugString(AnsiString("Fremdes Fenster: ") + sdl.SDL_GetError());
        return;
    }
    sdl.SDL_DestroyWindow(window_);
    window_ = fresh;
    MessageQueue().SetSystemWindowId(Handle(), sdl.SDL_GetWindowID(window_));
}

TRect TSdlWindow::GetWindowRect() const {
    TRect rect;
    if (foreignId_) return system_.ForeignRect(foreignId_, rect) ? rect : TRect{};
    int x = 0, y = 0, w = 0, h = 0;
    SdlFunctions().SDL_GetWindowPosition(window_, &x, &y);
    SdlFunctions().SDL_GetWindowSize(window_, &w, &h);
    const TRect frame = Frame();
    return TRect{x - frame.Left, y - frame.Top, x + w + frame.Right, y + h + frame.Bottom};
}

void TSdlWindow::Present(const uint32_t* pixels, int32_t stride, int32_t width, int32_t height, TPoint origin,
                         const TRect* rects, int32_t count) {
    if (!pixels || !rects || count <= 0 || vanished_) return;
    const TSdlFunctions& sdl = SdlFunctions();
    // Fetched every time: SDL makes a new surface after a size change.
    SDL_Surface* surface = sdl.SDL_GetWindowSurface(window_);
    if (!surface) return;
    shown_.clear();
    const uint32_t format = surface->format->format;
    // A screen has no alpha; 32-bit surfaces whose alpha may count get it opaque, those
    // without alpha (the usual X11 visual) take the rows as they are.
    const bool direct = format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888;
    const bool opaque = format == SDL_PIXELFORMAT_RGB888;
    if (SDL_MUSTLOCK(surface) && sdl.SDL_LockSurface(surface) != 0) return;
    for (int32_t i = 0; i < count; ++i) {
        const TRect part = PresentedPart(rects[i], width, height, origin, surface->w, surface->h);
        if (part.IsEmpty()) continue;
        const uint32_t* src = pixels + (int64_t(part.Top) - origin.Y) * stride + (int64_t(part.Left) - origin.X);
        uint8_t* dst = static_cast<uint8_t*>(surface->pixels) + int64_t(part.Top) * surface->pitch +
                       int64_t(part.Left) * surface->format->BytesPerPixel;
        if (opaque) {
            for (int32_t y = 0; y < part.Height(); ++y)
                CopyPixelsToScreen(reinterpret_cast<uint32_t*>(dst + int64_t(y) * surface->pitch),
                                   src + int64_t(y) * stride, part.Width());
        } else if (direct) {
            for (int32_t y = 0; y < part.Height(); ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(dst + int64_t(y) * surface->pitch);
                const uint32_t* from = src + int64_t(y) * stride;
                CopyOpaquePixels(row, from, part.Width());
            }
        } else {
            sdl.SDL_ConvertPixels(part.Width(), part.Height(), SDL_PIXELFORMAT_XRGB8888, src, stride * 4, format,
                                  dst, surface->pitch);
        }
        shown_.push_back(SDL_Rect{part.Left, part.Top, part.Width(), part.Height()});
    }
    if (SDL_MUSTLOCK(surface)) sdl.SDL_UnlockSurface(surface);
    if (!shown_.empty()) sdl.SDL_UpdateWindowSurfaceRects(window_, shown_.data(), int(shown_.size()));
}

// Read from any thread that makes or asks about windows.
std::atomic<TWindowSystem*> installed{nullptr};

}  // namespace

TWindowSystem& WindowSystem() {
    if (TWindowSystem* system = installed.load(std::memory_order_acquire)) return *system;
    // Made once and never freed, as SDL's video stays up.
    static TSdlWindowSystem* const system = new TSdlWindowSystem();
    return *system;
}

void SetWindowSystem(TWindowSystem* system) { installed.store(system, std::memory_order_release); }

void SetDisplayLostAction(void (*action)()) { gDisplayLostAction.store(action); }
