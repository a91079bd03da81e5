// Autodesk Animator CEL and PIC pictures: a 32-byte header, a palette of 256 colours
// with 6 bits per channel and one byte per pixel. Read by us: no library knows them.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstddef>
#include <cstdint>

// Header, little-endian: u16 magic 0x9119, u16 width, u16 height, u16 x, u16 y,
// u8 bits per pixel (8), u8 compression (0), u32 size of the pixel data, 16 reserved
// bytes; then 768 palette bytes and width x height pixels, rows top to bottom.
// Raises EInvalidGraphic.
TBitmap32 ReadCelPicture(const uint8_t* data, size_t size);
