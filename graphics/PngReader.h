// PNG pictures through libpng.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Decodes a PNG file held in memory; real alpha is kept (straight), pictures without
// alpha are opaque. Raises EInvalidGraphic.
TBitmap32 ReadPngPicture(const uint8_t* data, size_t size);
