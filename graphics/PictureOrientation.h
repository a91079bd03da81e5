// The EXIF orientation of a picture: how the camera stored it against how it is seen.
// The readers that see EXIF data turn their pictures upright with it, so everything
// that reads a picture (sizes, fitting, collages, the saver) sees it the way viewers do.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// 1 (as stored) to 8, the values of the EXIF tag 0x0112: 2 mirrored, 3 turned half way,
// 4 upside down mirrored, 5 transposed, 6 to be turned a quarter clockwise, 7 transverse,
// 8 to be turned a quarter counter-clockwise.
// From a TIFF structure (the payload of a JPEG's Exif segment, a PNG's eXIf chunk); 1 when
// it names none or cannot be read.
int ExifOrientation(const uint8_t* tiff, size_t size);
// From a JPEG file's first Exif segment; 1 when there is none.
int JpegExifOrientation(const uint8_t* data, size_t size);
// From a PNG file's eXIf chunk, before or after the pixels; 1 when there is none.
int PngExifOrientation(const uint8_t* data, size_t size);

// Whether the upright picture has the stored one's width as its height.
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The stored picture turned upright; orientation 1 or an unknown value leaves it.
void OrientPicture(TBitmap32& picture, int orientation);
