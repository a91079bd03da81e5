// Small value types every layer shares: integer points and rectangles, shift states.
#pragma once

#include <cstdint>

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;

    bool operator==(const TPoint&) const = default;
};

// An integer rectangle; Right and Bottom lie just outside it.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    // Widths are taken in 64 bits and cut back, so extreme corners cannot overflow.
    int32_t Width() const { return static_cast<int32_t>(int64_t(Right) - Left); }
    int32_t Height() const { return static_cast<int32_t>(int64_t(Bottom) - Top); }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    TPoint TopLeft() const { return {Left, Top}; }

    bool operator==(const TRect&) const = default;
};

// A width and height, as text extents come.
struct TSize {
    int32_t cx = 0;
    int32_t cy = 0;

    bool operator==(const TSize&) const = default;
};

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return TRect{left, top, right, bottom};
}
inline TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    return TRect{left, top, static_cast<int32_t>(int64_t(left) + width),
                 static_cast<int32_t>(int64_t(top) + height)};
}
// The common part of two rectangles; (0, 0, 0, 0) when they do not overlap.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
    const TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
                  a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
    return r.IsEmpty() ? TRect{} : r;
}
// The bounding box of both; an empty one adds nothing, two empty ones give (0, 0, 0, 0).
inline TRect UnionRect(const TRect& a, const TRect& b) {
    if (a.IsEmpty()) return b.IsEmpty() ? TRect{} : b;
    if (b.IsEmpty()) return a;
    return TRect{a.Left < b.Left ? a.Left : b.Left, a.Top < b.Top ? a.Top : b.Top,
                 a.Right > b.Right ? a.Right : b.Right, a.Bottom > b.Bottom ? a.Bottom : b.Bottom};
}

// Modifier keys and mouse buttons held during an input event.
using TShiftState = uint8_t;
enum : TShiftState {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64,
};

// Key flags of mouse messages (the wParam of button and move messages).
enum : uint32_t {
    MK_LBUTTON = 0x0001,
    MK_RBUTTON = 0x0002,
    MK_SHIFT = 0x0004,
    MK_CONTROL = 0x0008,
    MK_MBUTTON = 0x0010,
};

// Mouse cursor shapes, numbered as Windows' cursor constants are, since shows store them.
using TCursor = int16_t;
enum : TCursor {
    crDefault = 0,
    crSizeNESW = -6,
    crSizeNS = -7,
    crSizeNWSE = -8,
    crSizeWE = -9,
    crSizeAll = -22,
};
