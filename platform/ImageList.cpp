#include "platform/ImageList.h"

#include <algorithm>

TImageList::TImageList(int32_t width, int32_t height)
    : width_(std::max<int32_t>(width, 0)), height_(std::max<int32_t>(height, 0)) {}

int TImageList::AddMasked(const TImage32& image, TColor maskColor) {
    const uint32_t maskRgb = ColorToPixel(maskColor) & 0x00FFFFFFu;
    TImage32 cell(width_, height_, 0);
    const int32_t w = std::min(width_, image.Width), h = std::min(height_, image.Height);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = image.Pixel(x, y);
            cell.SetPixel(x, y, (p & 0x00FFFFFFu) == maskRgb ? 0 : p);
        }
    images_.push_back(Entry{std::move(cell), maskColor});
    return Count() - 1;
}
