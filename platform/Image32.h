// A minimal 32-bit image: rows top to bottom, pixels 0xAARRGGBB with straight alpha.
// The bitmap class of the drawing layer converts to and from it.
#pragma once

#include "platform/Font.h"

#include <cstdint>
#include <vector>

struct TImage32 {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;  // Width * Height, row after row

    TImage32() = default;
    TImage32(int32_t width, int32_t height, uint32_t fill = 0) { SetSize(width, height, fill); }

    // Negative sizes count as 0.
    void SetSize(int32_t width, int32_t height, uint32_t fill = 0) {
        Width = width > 0 ? width : 0;
        Height = height > 0 ? height : 0;
        Pixels.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), fill);
    }
    bool Empty() const { return Width <= 0 || Height <= 0; }
    uint32_t Pixel(int32_t x, int32_t y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
    void SetPixel(int32_t x, int32_t y, uint32_t argb) { Pixels[static_cast<size_t>(y) * Width + x] = argb; }

    bool operator==(const TImage32&) const = default;
};

// Windows colour 0x00BBGGRR <-> opaque pixel 0xFFRRGGBB.
inline uint32_t ColorToPixel(TColor c) {
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline TColor PixelToColor(uint32_t p) {
    return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}
