// Windows on the screen: a fixed-size decorated window that can go full screen, or a
// window given by its X11 id that we draw into (the preview). Each has a handle in the
// message queue from birth to death, so messages can be posted to it before it shows;
// the owner sets its procedure with MessageQueue().SetWindowProc. Its client area is an
// IWindowSurface. The window system also answers the work area, the cursor and the
// display's refresh rate. SDL does the work; TFakeWindowSystem stands in for tests.
#pragma once

#include "platform/Messages.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"
#include "platform/WindowSurface.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class TWindow {
public:
    // Takes a handle in the current message queue (no procedure yet).
    TWindow();
    // Gives the handle back: its queued messages and timers go.
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return handle_; }

    // Text in Windows-1252.
    virtual void SetCaption(const AnsiString& caption) = 0;
    // Borderless over the whole monitor, or back to the decorated window.
    virtual void SetFullScreen(bool fullScreen) = 0;
    virtual bool FullScreen() const = 0;
    // Sizes below 1 count as 1. A foreign window keeps its size and place; ClientSize
    // follows its owner's resizes within 100 ms.
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    // Where the window's top-left corner goes on the screen.
    virtual void SetPosition(int32_t left, int32_t top) = 0;
    // The outer rectangle in screen coordinates.
    virtual TRect GetWindowRect() const = 0;
    virtual TSize ClientSize() const = 0;
    // Where the client area's top-left corner lies on the screen.
    virtual TPoint ClientOrigin() const = 0;
    // A foreign window is not shown or hidden by us; these only keep the flag.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    // The client area. Presenting into a vanished window does nothing.
    virtual IWindowSurface& Surface() = 0;
    // A foreign window destroyed from outside. Within 100 ms of that the window's handle
    // gets WM_CLOSE (from its message loop; no wait of the queue lasts longer meanwhile).
    virtual bool Vanished() const = 0;

private:
    HWND handle_ = 0;
};

class TWindowSystem {
public:
    virtual ~TWindowSystem() = default;

    // A hidden, decorated window of a fixed size.
    virtual std::unique_ptr<TWindow> CreateWindow(int32_t clientWidth, int32_t clientHeight) = 0;
    // Draws into the window with this X11 id; null when there is no such window.
    virtual std::unique_ptr<TWindow> CreateForeignWindow(uint64_t id) = 0;
    // The outer rectangle of the window with this X11 id in screen coordinates; false
    // when there is no such window.
    virtual bool GetWindowRect(uint64_t id, TRect& rect) = 0;
    // The primary monitor's area without panels and docks, in screen coordinates.
    virtual TRect GetWorkArea() = 0;
    // The whole area of the monitor that holds the point (the primary one when none
    // does), in screen coordinates; empty when unknown.
    virtual TRect GetMonitorRect(const TPoint& at) = 0;
    virtual TPoint GetCursorPos() = 0;
    virtual void ShowCursor(bool show) = 0;
    virtual bool CursorShown() = 0;
    // Gives up a mouse capture, if any.
    virtual void ReleaseCapture() = 0;
    // Frames per second of the primary monitor; 60 when unknown.
    virtual int32_t DisplayRefreshRate() = 0;
    // Whether windows reach a screen someone looks at. A driver that draws into memory
    // only counts when SDL_VIDEODRIVER asked for it (tests do).
    virtual bool HasDisplay() = 0;
};

// What the process does when its X connection breaks under it (the server went away,
// the user logged out), where Xlib would print a line and exit at once: action (null:
// none) runs once, on the thread that met the loss, touching no display, and the process
// then ends with status 0. Other threads meeting the loss meanwhile wait for that end.
void SetDisplayLostAction(void (*action)());

// The window system in use: SDL's (video starts on first use: make that use on the GUI
// thread) unless a test installed another.
TWindowSystem& WindowSystem();
// Installs system (not owned) until it is called again with null.
void SetWindowSystem(TWindowSystem* system);

// Windows with off-screen surfaces and a screen whose numbers tests set.
class TFakeWindowSystem : public TWindowSystem {
public:
    class TFakeWindow : public TWindow {
    public:
        TFakeWindow(TFakeWindowSystem& system, int32_t width, int32_t height, uint64_t foreignId);
        ~TFakeWindow() override;

        void SetCaption(const AnsiString& caption) override { Caption = caption; }
        void SetFullScreen(bool fullScreen) override;
        bool FullScreen() const override { return fullScreen_; }
        void SetClientSize(int32_t width, int32_t height) override;
        void SetPosition(int32_t left, int32_t top) override;
        TRect GetWindowRect() const override;
        TSize ClientSize() const override;
        TPoint ClientOrigin() const override;
        void Show() override { visible_ = true; }
        void Hide() override { visible_ = false; }
        bool Visible() const override { return visible_; }
        IWindowSurface& Surface() override { return surface_; }
        bool Vanished() const override { return vanished_; }

        // What the client area shows.
        TOffscreenWindowSurface& OffscreenSurface() { return surface_; }
        uint64_t ForeignId() const { return foreignId_; }
        void Vanish();

        AnsiString Caption;

    private:
        void SyncSurface();

        TFakeWindowSystem& system_;
        uint64_t foreignId_;
        TOffscreenWindowSurface surface_;
        TRect windowed_;  // outer rectangle when not full screen
        bool fullScreen_ = false;
        bool visible_ = false;
        bool vanished_ = false;
    };

    std::unique_ptr<TWindow> CreateWindow(int32_t clientWidth, int32_t clientHeight) override;
    std::unique_ptr<TWindow> CreateForeignWindow(uint64_t id) override;
    bool GetWindowRect(uint64_t id, TRect& rect) override;
    TRect GetWorkArea() override { return WorkArea; }
    TRect GetMonitorRect(const TPoint&) override { return Screen; }
    TPoint GetCursorPos() override { return CursorPos; }
    void ShowCursor(bool show) override { CursorVisible = show; }
    bool CursorShown() override { return CursorVisible; }
    void ReleaseCapture() override { ++CaptureReleases; }
    int32_t DisplayRefreshRate() override { return RefreshRate; }
    bool HasDisplay() override { return Display; }

    // A window of another program, for CreateForeignWindow and GetWindowRect.
    void AddForeignWindow(uint64_t id, const TRect& rect);
    // Destroys it from outside: windows drawing into it vanish and get WM_CLOSE at once.
    void DestroyForeignWindow(uint64_t id);

    TRect Screen{0, 0, 1024, 768};
    TRect WorkArea{0, 0, 1024, 768};
    TPoint CursorPos;
    bool CursorVisible = true;
    int32_t CaptureReleases = 0;
    int32_t RefreshRate = 60;
    bool Display = true;
    // A decorated window's frame: what its outer rectangle adds to the client area.
    int32_t FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;
    // Every window made and still alive.
    std::vector<TFakeWindow*> Windows;

private:
    std::map<uint64_t, TRect> foreign_;
};
