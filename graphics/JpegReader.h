// JPEG pictures through libjpeg-turbo.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Decodes a JPEG file held in memory into an opaque bitmap. With a target size, the
// decoder scales (see JpegScaleEighths) while decoding as far as the result stays at
// least that large in both directions: a large photo for a screen then costs a fraction
// of its memory and of the later fitting. A large picture of one sequential scan is
// decoded in up to `bands` horizontal bands at once (0: as many as its size is worth),
// with the same result. A picture whose EXIF data names an orientation comes out
// upright, and the target is the upright picture's. Raises EInvalidGraphic, also for a
// truncated file.
TBitmap32 ReadJpegPicture(const uint8_t* data, size_t size, int targetWidth = 0, int targetHeight = 0,
                          int bands = 0);

// The upright picture's full size from the file's header, without decoding; False when the data
// is no JPEG or its header cannot be read.
bool ReadJpegPictureSize(const uint8_t* data, size_t size, int& width, int& height);

// The scale that ReadJpegPicture uses, in eighths: the smallest of 1, 2 and 4 that still
// covers the target, otherwise 8.
int JpegScaleEighths(int width, int height, int targetWidth, int targetHeight);
