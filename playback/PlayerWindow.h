// The player's window. TWinPaintBox32 is its drawing area: a back buffer exactly the
// box's size that items draw into and the frame routine copies to the window surface,
// rectangle by rectangle.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/Types.h"

class IWindowSurface;

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
    TRect dirtyRect_;
    TRect invalidScreenRect_;
    IWindowSurface* surface_ = nullptr;
};
