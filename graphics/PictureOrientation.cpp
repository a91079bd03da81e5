#include "graphics/PictureOrientation.h"

#include <cstring>
#include <utility>

namespace {

constexpr uint16_t kOrientationTag = 0x0112;

struct TTiffBytes {
    const uint8_t* Data;
    size_t Size;
    bool BigEndian;

    bool Has(size_t at, size_t n) const { return at <= Size && n <= Size - at; }
    uint32_t U16(size_t at) const {
        const uint8_t* p = Data + at;
        return BigEndian ? uint32_t(p[0]) << 8 | p[1] : uint32_t(p[1]) << 8 | p[0];
    }
    uint32_t U32(size_t at) const {
        const uint8_t* p = Data + at;
        return BigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                         : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
};

uint32_t BigU32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

int ExifOrientation(const uint8_t* tiff, size_t size) {
    if (!tiff || size < 8) return 1;
    TTiffBytes t{tiff, size, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') t.BigEndian = true;
    else if (tiff[0] != 'I' || tiff[1] != 'I') return 1;
    if (t.U16(2) != 42) return 1;
    const size_t ifd = t.U32(4);
    if (!t.Has(ifd, 2)) return 1;
    const uint32_t count = t.U16(ifd);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + size_t(i) * 12;
        if (!t.Has(entry, 12)) return 1;
        if (t.U16(entry) != kOrientationTag) continue;
        // A SHORT as the tag's type says; some writers store a LONG.
        const uint32_t type = t.U16(entry + 2);
        const uint32_t value = type == 3 ? t.U16(entry + 8) : type == 4 ? t.U32(entry + 8) : 0;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

int JpegExifOrientation(const uint8_t* data, size_t size) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 1;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return 1;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        // The segments that carry EXIF come before the pixels.
        if (marker == 0xDA || marker == 0xD9) return 1;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || length > size - at - 2) return 1;
        const uint8_t* payload = data + at + 4;
        const size_t n = length - 2;
        if (marker == 0xE1 && n >= 6 && std::memcmp(payload, "Exif\0\0", 6) == 0)
            return ExifOrientation(payload + 6, n - 6);
        at += 2 + length;
    }
    return 1;
}

int PngExifOrientation(const uint8_t* data, size_t size) {
    if (!data || size < 8) return 1;
    size_t at = 8;
    while (at + 12 <= size) {
        const size_t length = BigU32(data + at);
        const uint8_t* type = data + at + 4;
        if (length > size - at - 12) return 1;
        if (std::memcmp(type, "eXIf", 4) == 0) return ExifOrientation(data + at + 8, length);
        if (std::memcmp(type, "IEND", 4) == 0) return 1;
        at += 12 + length;
    }
    return 1;
}

void OrientPicture(TBitmap32& picture, int orientation) {
    if (orientation < 2 || orientation > 8 || picture.Empty()) return;
    const int w = picture.Width(), h = picture.Height();
    const bool swap = OrientationSwapsSides(orientation);
    TBitmap32 upright;
    upright.SetSizeForOverwrite(swap ? h : w, swap ? w : h);
    const int ow = upright.Width(), oh = upright.Height();
    // Each upright pixel (x, y) from the stored one that the orientation names.
    for (int y = 0; y < oh; ++y) {
        TColor32* out = upright.ScanLine(y);
        switch (orientation) {
            case 2: {
                const TColor32* in = picture.ScanLine(y);
                for (int x = 0; x < ow; ++x) out[x] = in[w - 1 - x];
                break;
            }
            case 3: {
                const TColor32* in = picture.ScanLine(h - 1 - y);
                for (int x = 0; x < ow; ++x) out[x] = in[w - 1 - x];
                break;
            }
            case 4:
                std::memcpy(out, picture.ScanLine(h - 1 - y), size_t(ow) * sizeof(TColor32));
                break;
            case 5:
                for (int x = 0; x < ow; ++x) out[x] = picture.Pixel(y, x);
                break;
            case 6:
                for (int x = 0; x < ow; ++x) out[x] = picture.Pixel(y, h - 1 - x);
                break;
            case 7:
                for (int x = 0; x < ow; ++x) out[x] = picture.Pixel(w - 1 - y, h - 1 - x);
                break;
            default:  // 8
                for (int x = 0; x < ow; ++x) out[x] = picture.Pixel(w - 1 - y, x);
                break;
        }
    }
    upright.DrawMode = picture.DrawMode;
    upright.MasterAlpha = picture.MasterAlpha;
    upright.StretchFilter = picture.StretchFilter;
    picture = std::move(upright);
}
