#include "playback/PlayerWindow.h"

#include "platform/WindowSurface.h"

#include <algorithm>

namespace {

// The bounding box of both; an empty one adds nothing, two empty ones give (0, 0, 0, 0).
TRect UnionRect(const TRect& a, const TRect& b) {
    if (a.IsEmpty()) return b.IsEmpty() ? TRect{} : b;
    if (b.IsEmpty()) return a;
    return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                 std::max(a.Bottom, b.Bottom)};
}

}  // namespace

TWinPaintBox32::TWinPaintBox32() = default;

TWinPaintBox32::~TWinPaintBox32() = default;

void TWinPaintBox32::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    bounds_ = Bounds(left, top, std::max(width, 0), std::max(height, 0));
    ResizeBuffer();
}

void TWinPaintBox32::ResizeBuffer() {
    int32_t width = Width(), height = Height();
    // The bitmap keeps no strip of zero height or width: neither does a buffer of one.
    if (width == 0 || height == 0) width = height = 0;
    if (buffer_.Width() == width && buffer_.Height() == height) return;
    buffer_.SetSize(width, height);
    buffer_.Clear(clBlack32);
    bufferValid_ = false;
}

void TWinPaintBox32::Present(const TRect& r) {
    // The buffer has the box's size except while a resize is under way: cut to both.
    const TRect part = IntersectRect(IntersectRect(r, ClientRect()), buffer_.BoundsRect());
    if (!surface_ || part.IsEmpty()) return;
    surface_->Present(buffer_.Bits(), buffer_.Width(), buffer_.Width(), buffer_.Height(), bounds_.TopLeft(), &part,
                      1);
}

void TWinPaintBox32::Flush() { Present(ClientRect()); }

void TWinPaintBox32::Flush(const TRect& r) { Present(r); }

void TWinPaintBox32::InvalidateBufferRect(const TRect& r) {
    if (dirtyRect_.Left == dirtyRect_.Right)
        dirtyRect_ = r;
    else if (r.Left != r.Right)
        dirtyRect_ = UnionRect(dirtyRect_, r);
    bufferValid_ = false;
}

void TWinPaintBox32::InvalidateBuffer() {
    dirtyRect_ = ClientRect();
    bufferValid_ = false;
}

void TWinPaintBox32::InvalidateScreenRect(const TRect& r) {
    // Right and bottom lie outside the box, so they are cut at Width and Height.
    const TRect part = IntersectRect(r, ClientRect());
    if (part.IsEmpty()) return;
    invalidScreenRect_ = UnionRect(invalidScreenRect_, part);
}

void TWinPaintBox32::InvalidateScreen() { InvalidateScreenRect(ClientRect()); }

void TWinPaintBox32::InvalidateParts(bool screen, bool buffer) {
    if (buffer) InvalidateBuffer();
    if (screen) InvalidateScreen();
}

void TWinPaintBox32::ValidateBuffer() {
    bufferValid_ = true;
    dirtyRect_ = TRect{};
}
