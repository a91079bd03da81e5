// The other picture formats through ImageMagick.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Decodes a file held in memory with the ImageMagick coder named (for example "TGA");
// the coder is forced, never guessed from the content. The first frame of a
// multi-frame file is taken. Raises EInvalidGraphic.
TBitmap32 ReadMagickPicture(const uint8_t* data, size_t size, const char* coder);
