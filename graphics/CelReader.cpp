#include "graphics/CelReader.h"

#include "graphics/PictureReader.h"

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kPaletteSize = 768;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

TBitmap32 ReadCelPicture(const uint8_t* data, size_t size) {
    if (size < kHeaderSize + kPaletteSize || U16(data) != 0x9119) throw EInvalidGraphic("not an Autodesk CEL file");
    const int w = U16(data + 2), h = U16(data + 4);
    if (data[10] != 8 || data[11] != 0) throw EInvalidGraphic("unsupported Autodesk CEL: not 8 bits a pixel");
    CheckPictureSize(w, h);
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    // The stored data size must match, and the pixels must all be there.
    if (U32(data + 12) != pixels || size - kHeaderSize - kPaletteSize < pixels)
        throw EInvalidGraphic("damaged Autodesk CEL: its pixels are missing");
    TColor32 palette[256];
    const uint8_t* pal = data + kHeaderSize;
    for (int i = 0; i < 256; ++i) {
        auto ch = [&](int k) { uint8_t v = uint8_t(pal[3 * i + k] & 63); return uint8_t((v << 2) | (v >> 4)); };
        palette[i] = Color32(ch(0), ch(1), ch(2));
    }
    TBitmap32 bitmap(w, h);
    const uint8_t* src = data + kHeaderSize + kPaletteSize;
    TColor32* dst = bitmap.Bits();
    for (uint64_t i = 0; i < pixels; ++i) dst[i] = palette[src[i]];
    return bitmap;
}
