// JPEG files of a bitmap through libjpeg-turbo: baseline or progressive, 8-bit RGB;
// alpha is dropped.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <vector>

class EJpegWriteError : public Exception {
public:
    using Exception::Exception;
};

struct TJpegWriteOptions {
    int Quality = 90;  // 1..100; values outside are clamped
    bool Progressive = false;
};

// The JPEG file's bytes. Raises EJpegWriteError for an empty bitmap or when libjpeg fails.
std::vector<uint8_t> EncodeJpegPicture(const TBitmap32& bitmap, const TJpegWriteOptions& options = {});
// Written beside fileName and renamed into place; raises EJpegWriteError or the stream
// errors of a file that cannot be written.
void WriteJpegPicture(const TBitmap32& bitmap, const AnsiString& fileName, const TJpegWriteOptions& options = {});
