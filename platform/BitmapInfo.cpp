#include "platform/BitmapInfo.h"

bool ReadBitmapInfoHeader(const uint8_t* data, size_t size, TBitmapInfoHeader& header) {
    if (!data || size < kBitmapInfoHeaderSize) return false;
    header.biSize = GetLE32(data);
    header.biWidth = int32_t(GetLE32(data + 4));
    header.biHeight = int32_t(GetLE32(data + 8));
    header.biPlanes = GetLE16(data + 12);
    header.biBitCount = GetLE16(data + 14);
    header.biCompression = GetLE32(data + 16);
    header.biSizeImage = GetLE32(data + 20);
    header.biXPelsPerMeter = int32_t(GetLE32(data + 24));
    header.biYPelsPerMeter = int32_t(GetLE32(data + 28));
    header.biClrUsed = GetLE32(data + 32);
    header.biClrImportant = GetLE32(data + 36);
    return true;
}

void WriteBitmapInfoHeader(const TBitmapInfoHeader& header, uint8_t* out) {
    PutLE32(out, header.biSize);
    PutLE32(out + 4, uint32_t(header.biWidth));
    PutLE32(out + 8, uint32_t(header.biHeight));
    PutLE16(out + 12, header.biPlanes);
    PutLE16(out + 14, header.biBitCount);
    PutLE32(out + 16, header.biCompression);
    PutLE32(out + 20, header.biSizeImage);
    PutLE32(out + 24, uint32_t(header.biXPelsPerMeter));
    PutLE32(out + 28, uint32_t(header.biYPelsPerMeter));
    PutLE32(out + 32, header.biClrUsed);
    PutLE32(out + 36, header.biClrImportant);
}

int64_t DIBRowStride(int64_t width, int bitCount) {
    if (width <= 0 || bitCount <= 0) return 0;
    return (width * bitCount + 31) / 32 * 4;
}
