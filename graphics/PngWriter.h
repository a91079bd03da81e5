// PNG files of a bitmap through libpng: 8-bit RGBA, straight alpha as the bitmap holds it.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <vector>

class EPngWriteError : public Exception {
public:
    using Exception::Exception;
};

// The PNG file's bytes. Raises EPngWriteError for an empty bitmap or when libpng fails.
std::vector<uint8_t> EncodePngPicture(const TBitmap32& bitmap);

// Writes the PNG file beside fileName and renames it into place, so a failure leaves
// neither a torn file nor a temporary behind. Raises EPngWriteError, or the stream
// errors of a file that cannot be created or written.
void WritePngPicture(const TBitmap32& bitmap, const AnsiString& fileName);
