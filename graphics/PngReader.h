// PNG pictures through libpng.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Decodes a PNG file held in memory; real alpha is kept (straight), pictures without
// alpha are opaque; the orientation an eXIf chunk names is applied. Raises
// EInvalidGraphic.
TBitmap32 ReadPngPicture(const uint8_t* data, size_t size);
