// Text on bitmaps: glyphs of the platform's fonts, drawn without anti-aliasing.
#include "graphics/Bitmap32.h"
#include "platform/FontFace.h"
#include "platform/SysColors.h"

#include <algorithm>

void TBitmap32::Textout(int x, int y, const AnsiString& text) {
    if (text.empty() || Empty()) return;
    const std::shared_ptr<TFontFace> face = GetFontFace(Font);
    if (!face) return;
    const TColor32 color = WinColorToColor32(ColorToRGB(Font.Color));
    face->DrawGlyphs(text, TGlyphMode::Mono, [&](const TGlyphCoverage& g) {
        // Clip the glyph box to the bitmap in 64 bits: x and y may lie anywhere.
        const int64_t gx = int64_t(x) + g.X;
        const int64_t gy = int64_t(y) + g.Y;
        const int64_t x1 = std::max<int64_t>(gx, 0), x2 = std::min<int64_t>(gx + g.Width, width_);
        const int64_t y1 = std::max<int64_t>(gy, 0), y2 = std::min<int64_t>(gy + g.Height, height_);
        for (int64_t py = y1; py < y2; ++py) {
            const uint8_t* src = g.Alpha + size_t(py - gy) * size_t(g.Width);
            TColor32* dst = ScanLine(int(py));
            for (int64_t px = x1; px < x2; ++px)
                if (src[px - gx] >= 128) dst[px] = color;
        }
    });
}

TSize TBitmap32::TextExtent(const AnsiString& text) const {
    const std::shared_ptr<TFontFace> face = GetFontFace(Font);
    if (!face) return TSize{};
    return TSize{face->TextWidth(text), face->CellHeight()};
}
