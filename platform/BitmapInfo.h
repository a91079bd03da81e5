// The header of a device-independent bitmap and the rules its rows follow. Packed
// bitmaps (header, masks, colour table, rows) come out of the video renderer and go
// into BMP files; the record is read and written field by field, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;

// The plain 40-byte header; longer headers (108, 124 bytes) begin with the same fields.
constexpr size_t kBitmapInfoHeaderSize = 40;

struct TBitmapInfoHeader {
    uint32_t biSize = kBitmapInfoHeaderSize;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // negative: rows top to bottom
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = BI_RGB;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    bool operator==(const TBitmapInfoHeader&) const = default;
};

// False when fewer than 40 bytes are there.
bool ReadBitmapInfoHeader(const uint8_t* data, size_t size, TBitmapInfoHeader& header);
// Writes the 40 bytes of the plain header (whatever biSize says).
void WriteBitmapInfoHeader(const TBitmapInfoHeader& header, uint8_t* out);

// Bytes per row: width x bits rounded up to whole 32-bit words; 0 for a negative width.
// 64-bit, so absurd headers cannot overflow.
int64_t DIBRowStride(int64_t width, int bitCount);

// Little-endian fields of stored records.
inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
