// Device-independent bitmaps into TBitmap32 and out into 24-bit BMP files.
//
// A packed DIB is a BITMAPINFOHEADER (40 bytes or one of the longer forms), the three
// colour masks of BI_BITFIELDS (after a 40-byte header; inside the longer ones), the
// colour table, then the rows, each padded to whole 32-bit words, bottom-up unless
// the height is negative. The decoder checks every offset against the buffer and
// refuses what it cannot read; the result is opaque.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/BitmapInfo.h"
#include "platform/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// 1, 4, 8, 16, 24 and 32 bits; BI_RGB, and BI_BITFIELDS at 16 and 32 bits. False, with
// bitmap untouched, for a malformed or truncated buffer or more than kMaxBitmapPixels.
bool PackedDIBToBitmap32(const uint8_t* dib, size_t size, TBitmap32& bitmap);

// Rows whose header is kept apart from them (a video frame described by its media
// type): BI_RGB at 16, 24 or 32 bits. Only whole rows are read; fewer bytes than the
// rows need fail.
bool DIBBitsToBitmap32(const TBitmapInfoHeader& header, const uint8_t* bits, size_t size, TBitmap32& bitmap);

class EBmpWriteError : public Exception {
public:
    using Exception::Exception;
};

// A BMP file of 24 bits per pixel, bottom-up; raises EBmpWriteError for an empty bitmap.
std::vector<uint8_t> EncodeBmp24(const TBitmap32& bitmap);
// Written beside fileName and renamed into place; raises EBmpWriteError or the stream
// errors of a file that cannot be written.
void WriteBmpPicture(const TBitmap32& bitmap, const AnsiString& fileName);
