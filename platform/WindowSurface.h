// Where a back buffer reaches the screen: a window's client area, updated rectangle by
// rectangle. The SDL window copies into its window surface; the off-screen form below
// keeps an image of the client area for tests and renders that need no display.
#pragma once

#include "platform/Image32.h"
#include "platform/Types.h"

#include <cstdint>
#include <vector>

class IWindowSurface {
public:
    virtual ~IWindowSurface() = default;

    // Copies rectangles of an image to the client area and shows exactly those. The image
    // is width x height pixels 0xAARRGGBB, row after row, stride pixels from one row to
    // the next; each rectangle is in the image's coordinates and lands at origin plus its
    // own place in the client. Parts outside the image or the client are cut; empty
    // rectangles show nothing. A screen has no alpha: every pixel shows opaque.
    virtual void Present(const uint32_t* pixels, int32_t stride, int32_t width, int32_t height, TPoint origin,
                         const TRect* rects, int32_t count) = 0;
};

// The part of a rectangle of a width x height image that a presentation at origin shows
// in a clientWidth x clientHeight client area, in client coordinates; empty when none.
// Both forms of the surface cut their copies with it.
TRect PresentedPart(const TRect& rect, int32_t width, int32_t height, TPoint origin, int32_t clientWidth,
                    int32_t clientHeight);

// Copy count pixels into a window's memory, each made opaque or as they are, at the
// speed of a plain copy or better (long rows are written past the caches).
void CopyOpaquePixels(uint32_t* to, const uint32_t* from, int32_t count);
void CopyPixelsToScreen(uint32_t* to, const uint32_t* from, int32_t count);

// A client area in memory: presenting copies into Image and records where.
class TOffscreenWindowSurface : public IWindowSurface {
public:
    // A client area of that size, black as a fresh window's.
    TOffscreenWindowSurface(int32_t clientWidth, int32_t clientHeight);

    void Present(const uint32_t* pixels, int32_t stride, int32_t width, int32_t height, TPoint origin,
                 const TRect* rects, int32_t count) override;

    // A new size makes the whole client black again, as a window's new surface starts;
    // the record stays.
    void SetClientSize(int32_t clientWidth, int32_t clientHeight);

    // What the client area shows.
    const TImage32& Image() const { return image_; }
    // Every rectangle that reached the client area since the last TakePresented, in client
    // coordinates and cut to it, in the order presented. Empty parts are not recorded.
    const std::vector<TRect>& Presented() const { return presented_; }
    std::vector<TRect> TakePresented();
    // How many Present calls came, also those that showed nothing.
    int32_t PresentCount() const { return presentCount_; }

private:
    TImage32 image_;
    std::vector<TRect> presented_;
    int32_t presentCount_ = 0;
};
