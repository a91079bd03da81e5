// The player's window. TWinPaintBox32 is its drawing area: a back buffer exactly the
// box's size that items draw into and the frame routine copies to the window surface,
// rectangle by rectangle. TPlayerWindowForm is the window around it, with the loop that
// plays: one tick of the player, at most one message, then sleep until the player or a
// message needs us.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"
#include "playback/SlideShowPlayer.h"

#include <functional>
#include <memory>

class IWindowSurface;
class TWindow;

class TWinPaintBox32 {
public:
    // An empty box at (0, 0) on no surface.
    TWinPaintBox32();
    virtual ~TWinPaintBox32();
    TWinPaintBox32(const TWinPaintBox32&) = delete;
    TWinPaintBox32& operator=(const TWinPaintBox32&) = delete;

    // Place and size in the window's client area.
    int32_t Left() const { return bounds_.Left; }
    int32_t Top() const { return bounds_.Top; }
    int32_t Width() const { return bounds_.Width(); }
    int32_t Height() const { return bounds_.Height(); }
    TRect BoundsRect() const { return bounds_; }
    // (0, 0, Width, Height).
    TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }
    // Negative sizes count as 0. A new size resizes the back buffer (new contents opaque
    // black) and marks it not valid; a move alone keeps it.
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }

    // The back buffer: Width x Height, opaque black when new.
    TBitmap32& Buffer() { return buffer_; }
    const TBitmap32& Buffer() const { return buffer_; }
    // Brings the back buffer to the box's size when it differs (new contents opaque black,
    // marked not valid); a buffer of the right size is kept as it is.
    void ResizeBuffer();
    bool BufferValid() const { return bufferValid_; }
    // Counts the times the buffer was made anew (its pixels then are no frame's).
    uint32_t BufferSerial() const { return bufferSerial_; }

    // Where flushes go: the client area of the window the box lies in, not owned. Without
    // one a flush copies nothing, as a box without a window shows nothing.
    void SetSurface(IWindowSurface* surface) { surface_ = surface; }
    IWindowSurface* Surface() const { return surface_; }

    // Copies the whole back buffer to the box's place in the window.
    void Flush();
    // Copies one rectangle of the back buffer (box coordinates) to the same place in the
    // window, cut to the box and the buffer; empty or inverted rectangles copy nothing.
    void Flush(const TRect& r);

    // The area of the buffer that needs drawing again; (0, 0, 0, 0) when none.
    TRect DirtyRect() const { return dirtyRect_; }
    // The area of the window that a paint has to copy again: the bounding box of what was
    // invalidated since the last ValidateScreen; (0, 0, 0, 0) when none.
    TRect InvalidScreenRect() const { return invalidScreenRect_; }
    void ValidateScreen() { invalidScreenRect_ = TRect{}; }

    // A window of its own in the message queue, a child of parent at the box's place, so
    // that the mouse over it and its paint requests reach it. Without one the box draws
    // only through Flush.
    void CreateHandle(HWND parent);
    HWND Handle() const { return handle_; }
    // The procedure its window's messages go to; its own WndProc until replaced.
    TWndMethod GetWindowProc() const;
    void SetWindowProc(TWndMethod proc);
    // Its own handling: a paint request paints.
    virtual void WndProc(TMessage& message);
    // Copies the invalidated part of the window (all of it when none) from the buffer.
    virtual void Paint();

    virtual void InvalidateBufferRect(const TRect& r);
    virtual void InvalidateBuffer();
    virtual void InvalidateScreenRect(const TRect& r);
    virtual void InvalidateScreen();
    virtual void InvalidateParts(bool screen, bool buffer);
    virtual void ValidateBuffer();

private:
    void Present(const TRect& r);

    TRect bounds_;
    TBitmap32 buffer_;
    bool bufferValid_ = false;
    uint32_t bufferSerial_ = 0;
    TRect dirtyRect_;
    TRect invalidScreenRect_;
    IWindowSurface* surface_ = nullptr;
    HWND handle_ = 0;
};

// What a form asked to become modal in the wrong state raises.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// mrNone and mrCancel: the modal results the dialogs answer too.

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TPlayerWindowForm : public IPlayerWindow {
public:
    // The form as its resource has it, in a hidden decorated window of the window system.
    TPlayerWindowForm();
    // The same in a given window (one drawn into another program's window, say).
    explicit TPlayerWindowForm(std::unique_ptr<TWindow> window);
    ~TPlayerWindowForm() override;
    TPlayerWindowForm(const TPlayerWindowForm&) = delete;
    TPlayerWindowForm& operator=(const TPlayerWindowForm&) = delete;

private:
    // First, since the paint box's window lies in it.
    std::unique_ptr<TWindow> window_;
    // Shown by RevealWhile ahead of the modal loop.
    bool revealed_ = false;

public:
    TWinPaintBox32 PaintBox;
    std::function<void()> OnMessageLoop;
    TSlideShowPlayer* Player = nullptr;
    TWndMethod SavedPaintBoxWindowProc;
    std::function<bool(TMessage&)> MessageHook;
    TSlideShowPlayerProperties* Settings = nullptr;
    TSlideShow* SlideShow = nullptr;

    virtual void WndProc(TMessage& message);
    virtual void PaintBoxWndProc(TMessage& message);
    virtual void AlignPaintBox();
    virtual void ApplyWindowedSize(TSlideShowPlayerProperties* settings);
    void Setup(TSlideShowPlayer* player, TSlideShow* show, TSlideShowPlayerProperties* settings) override;
    void SetMessageHook(std::function<bool(TMessage&)> hook) override;
    // Shows the form and plays until it closes; answers the modal result.
    int32_t RunModalLoop() override;
    // A hidden form maps while prepare runs on a thread of its own: mapping a full-screen
    // window (and a window manager's answer to it) overlaps decoding the first pictures.
    // Meanwhile this thread answers what the preparation sends it, and an end of the play
    // that waits (PlayEndsAtOnce) requests the run's end, which stops the preparation at
    // its next step.
    void RevealWhile(const std::function<void()>& prepare) override;
    // Whether what waits ends the play as soon as the loop runs: a quit, or the window
    // destroyed from outside. GUI thread.
    virtual bool PlayEndsAtOnce();
    virtual void InstallWindowProcs();
    void SetOnMessageLoop(std::function<void()> method) override;
    // Takes one message and handles it; False when none was waiting.
    bool PumpMessage(TMessage& msg);
    void CloseModal();

    // The rest of the player's view of its window.
    TWinPaintBox32* GetPaintBox() override { return &PaintBox; }
    // To the form, unless the message names another window.
    void PostMessage(const TMessage& message) override;
    void SendMessage(TMessage& message) override;
    void DrawFrameRate(const AnsiString& text) override;

    // What the form is as a window.
    HWND Handle() const;
    TWindow& Window() { return *window_; }
    TRect ClientRect() const;
    bool Visible() const;
    // The close a modal form answers with mrCancel; a form that is not modal hides.
    void Close();
    void FormActivate() {}

    int32_t ModalResult = mrNone;
    // May change the close action (caHide to start with).
    std::function<void(TCloseAction& action)> OnClose;
    // The form's font, which the frame-rate text is written in.
    TFont Font;

protected:
    // The form's own handling of what the hook leaves: a close closes, a paint request
    // paints the client outside the paint box black.
    virtual void DefaultWndProc(TMessage& message);

private:
    void Construct();
    // Blackens the client area outside the paint box.
    void PaintBackground();
    // A client area of a new size (a full screen taking effect) gets its box placed again.
    void CheckClientSize();
    // The wait after a pass that took no message; FrameStart is when the pass began.
    void WaitForNextTick(uint32_t frameStart, int32_t refreshInterval);

    bool modal_ = false;
    bool aligned_ = false;
    TSize clientSize_;
};
