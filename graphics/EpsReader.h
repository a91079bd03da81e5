// EPS files with a TIFF preview: we show the preview; PostScript is never run.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// The binary EPS header: u32 0xC6D3D0C5, then offset and length of the PostScript part,
// of a metafile preview and of a TIFF preview (each u32, little-endian), then a u16
// checksum. The TIFF part is decoded. Raises EInvalidGraphic, also for an EPS without
// a TIFF preview.
TBitmap32 ReadEpsPreview(const uint8_t* data, size_t size);
