// The header of a device-independent bitmap and the rules its rows follow. Packed
// bitmaps (header, masks, colour table, rows) come out of the video renderer and go
// into BMP files; the record is read and written field by field, little-endian.
#pragma once

#include "platform/LittleEndian.h"

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
