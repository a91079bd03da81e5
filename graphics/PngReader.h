// PNG pictures through libpng.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Decodes a PNG file held in memory; real alpha is kept (straight), pictures without
// alpha are opaque; the orientation an eXIf chunk names is applied. With a target size
// (the upright picture's) at most half the picture's, the rows are reduced while they are
// read by a whole factor (see PngReduction), each pixel the mean of its box: a large
// picture for a small screen then costs its reduced size and a few rows. Raises
// EInvalidGraphic.
TBitmap32 ReadPngPicture(const uint8_t* data, size_t size, int targetWidth, int targetHeight);
TBitmap32 ReadPngPicture(const uint8_t* data, size_t size);

// The upright picture's size from the header chunk; False when the data is no PNG.
bool ReadPngPictureSize(const uint8_t* data, size_t size, int& width, int& height);

// The factor ReadPngPicture reduces by: the largest up to 16 whose reduced picture, its
// sides rounded up, still covers the target in both directions; 1 without a target.
int PngReduction(int width, int height, int targetWidth, int targetHeight);
