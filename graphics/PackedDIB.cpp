#include "graphics/PackedDIB.h"

#include "platform/Stream.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// One colour channel of a BI_BITFIELDS mask, scaled to 8 bits by rounding.
struct TChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0;

    uint8_t Of(uint32_t pixel) const {
        if (Max == 0) return 0;
        const uint32_t v = (pixel & Mask) >> Shift;
        return uint8_t((uint64_t(v) * 255 + Max / 2) / Max);
    }
};

// Masks must be one run of bits, as the DIB rules demand.
bool MakeChannel(uint32_t mask, TChannel& c) {
    c = TChannel{};
    if (mask == 0) return true;
    c.Shift = std::countr_zero(mask);
    const uint32_t run = mask >> c.Shift;
    if ((run & (run + 1)) != 0) return false;
    c.Mask = mask;
    c.Max = run;
    return true;
}

struct TDIBLayout {
    TBitmapInfoHeader Header;
    TChannel Red, Green, Blue;
    std::vector<TColor32> Palette;
    const uint8_t* Bits = nullptr;
    size_t BitsSize = 0;
};

bool CheckFormat(const TBitmapInfoHeader& h) {
    if (h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0) return false;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 24:
        if (h.biCompression != BI_RGB) return false;
        break;
    case 16: case 32:
        if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return false;
        break;
    default:
        return false;
    }
    const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    return int64_t(h.biWidth) <= kMaxBitmapPixels / height;
}

// B, G, R, X bytes are the pixel's little-endian word with the alpha byte to set. A
// video frame is millions of them: four at a time, as the compiler leaves a loop of
// unknown length scalar at -O2.
void OpaqueRow32(const uint8_t* src, TColor32* dst, int w) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (; x + 4 <= w; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * size_t(x))), opaque));
#endif
    for (; x < w; ++x) dst[x] = GetLE32(src + 4 * size_t(x)) | 0xFF000000u;
}

bool SetMasks(TDIBLayout& l, uint32_t red, uint32_t green, uint32_t blue) {
    return MakeChannel(red, l.Red) && MakeChannel(green, l.Green) && MakeChannel(blue, l.Blue);
}

template <typename Row>
void DecodeRows(const TDIBLayout& l, TBitmap32& out, Row row) {
    const int64_t stride = DIBRowStride(l.Header.biWidth, l.Header.biBitCount);
    const bool topDown = l.Header.biHeight < 0;
    const int h = out.Height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = l.Bits + stride * (topDown ? y : h - 1 - y);
        row(src, out.ScanLine(y), out.Width());
    }
}

bool Decode(const TDIBLayout& l, TBitmap32& bitmap) {
    const TBitmapInfoHeader& h = l.Header;
    const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    if (DIBRowStride(h.biWidth, h.biBitCount) * height > int64_t(l.BitsSize)) return false;
    TBitmap32 out;
    try {
        // Every pixel is written below.
        out.SetSizeForOverwrite(h.biWidth, int(height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int bits = h.biBitCount;
    if (bits <= 8) {
        const TColor32* pal = l.Palette.data();
        const size_t count = l.Palette.size();
        const unsigned mask = (1u << bits) - 1;
        DecodeRows(l, out, [&](const uint8_t* src, TColor32* dst, int w) {
            for (int x = 0; x < w; ++x) {
                const int bit = x * bits;
                const unsigned index = (src[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
                // An index past the table has no colour of its own.
                dst[x] = index < count ? pal[index] : clBlack32;
            }
        });
    } else if (bits == 24) {
        DecodeRows(l, out, [](const uint8_t* src, TColor32* dst, int w) {
            for (int x = 0; x < w; ++x, src += 3) dst[x] = Color32(src[2], src[1], src[0]);
        });
    } else if (bits == 32 && h.biCompression == BI_RGB) {
        DecodeRows(l, out, OpaqueRow32);
    } else if (bits == 32) {
        DecodeRows(l, out, [&](const uint8_t* src, TColor32* dst, int w) {
            for (int x = 0; x < w; ++x, src += 4) {
                const uint32_t p = GetLE32(src);
                dst[x] = Color32(l.Red.Of(p), l.Green.Of(p), l.Blue.Of(p));
            }
        });
    } else {
        DecodeRows(l, out, [&](const uint8_t* src, TColor32* dst, int w) {
            for (int x = 0; x < w; ++x, src += 2) {
                const uint32_t p = GetLE16(src);
                dst[x] = Color32(l.Red.Of(p), l.Green.Of(p), l.Blue.Of(p));
            }
        });
    }
    bitmap = std::move(out);
    return true;
}

}  // namespace

bool PackedDIBToBitmap32(const uint8_t* dib, size_t size, TBitmap32& bitmap) {
    TDIBLayout l;
    if (!ReadBitmapInfoHeader(dib, size, l.Header)) return false;
    const TBitmapInfoHeader& h = l.Header;
    if (h.biSize < kBitmapInfoHeaderSize || h.biSize > size || !CheckFormat(h)) return false;
    uint64_t at = h.biSize;
    if (h.biCompression == BI_BITFIELDS) {
        // After a plain header the masks follow it; the longer headers hold them at
        // the same place, inside.
        if (h.biSize == kBitmapInfoHeaderSize) at += 12;
        else if (h.biSize < kBitmapInfoHeaderSize + 12) return false;
        if (at > size) return false;
        if (!SetMasks(l, GetLE32(dib + 40), GetLE32(dib + 44), GetLE32(dib + 48))) return false;
    } else if (h.biBitCount == 16) {
        SetMasks(l, 0x7C00, 0x03E0, 0x001F);
    }
    // The table holds biClrUsed entries; 0 means all 2^bits at 8 bits or fewer.
    uint64_t entries = h.biClrUsed;
    if (entries == 0 && h.biBitCount <= 8) entries = uint64_t(1) << h.biBitCount;
    if (entries * 4 > size - at) return false;
    if (h.biBitCount <= 8) {
        const uint64_t used = std::min<uint64_t>(entries, uint64_t(1) << h.biBitCount);
        l.Palette.reserve(size_t(used));
        for (uint64_t i = 0; i < used; ++i) {
            const uint8_t* e = dib + at + 4 * i;
            l.Palette.push_back(Color32(e[2], e[1], e[0]));
        }
    }
    at += entries * 4;
    l.Bits = dib + at;
    l.BitsSize = size_t(size - at);
    return Decode(l, bitmap);
}

bool DIBBitsToBitmap32(const TBitmapInfoHeader& header, const uint8_t* bits, size_t size, TBitmap32& bitmap) {
    TDIBLayout l;
    l.Header = header;
    if (!bits || header.biCompression != BI_RGB || header.biBitCount < 16 || !CheckFormat(header)) return false;
    if (header.biBitCount == 16) SetMasks(l, 0x7C00, 0x03E0, 0x001F);
    l.Bits = bits;
    l.BitsSize = size;
    return Decode(l, bitmap);
}

std::vector<uint8_t> EncodeBmp24(const TBitmap32& bitmap) {
    if (bitmap.Empty()) throw EBmpWriteError("BMP-Datei nicht schreibbar: leeres Bild");
    constexpr size_t kFileHeader = 14;
    const int w = bitmap.Width(), h = bitmap.Height();
    const size_t stride = size_t(DIBRowStride(w, 24));
    const size_t offset = kFileHeader + kBitmapInfoHeaderSize;
    std::vector<uint8_t> bytes(offset + stride * size_t(h));
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLE32(&bytes[2], uint32_t(bytes.size()));
    PutLE32(&bytes[10], uint32_t(offset));
    TBitmapInfoHeader info;
    info.biWidth = w;
    info.biHeight = h;
    info.biBitCount = 24;
    info.biSizeImage = uint32_t(stride * size_t(h));
    WriteBitmapInfoHeader(info, &bytes[kFileHeader]);
    for (int y = 0; y < h; ++y) {
        uint8_t* dst = &bytes[offset + stride * size_t(h - 1 - y)];
        const TColor32* src = bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, dst += 3) {
            dst[0] = BlueComponent(src[x]);
            dst[1] = GreenComponent(src[x]);
            dst[2] = RedComponent(src[x]);
        }
    }
    return bytes;
}

void WriteBmpPicture(const TBitmap32& bitmap, const AnsiString& fileName) {
    TMemoryStream stream(EncodeBmp24(bitmap));
    stream.SaveToFile(fileName);
}
