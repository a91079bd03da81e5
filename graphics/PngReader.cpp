#include "graphics/PngReader.h"

#include "graphics/PictureReader.h"

#include <cstring>

#include <png.h>

TBitmap32 ReadPngPicture(const uint8_t* data, size_t size) {
    if (size == 0) throw EInvalidGraphic("Leere PNG-Datei");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        throw EInvalidGraphic(AnsiString("PNG-Datei nicht lesbar: ") + image.message);
    // 8-bit sRGB output of the simplified interface is not premultiplied: straight alpha,
    // and B, G, R, A in memory is 0xAARRGGBB in a little-endian word.
    image.format = PNG_FORMAT_BGRA;
    try {
        CheckPictureSize(image.width, image.height);
    } catch (...) {
        png_image_free(&image);
        throw;
    }
    TBitmap32 bitmap;
    try {
        bitmap.SetSizeForOverwrite(int(image.width), int(image.height));
    } catch (...) {
        png_image_free(&image);
        throw;
    }
    if (!png_image_finish_read(&image, nullptr, bitmap.Bits(), int32_t(image.width * 4), nullptr)) {
        AnsiString msg = image.message;
        png_image_free(&image);
        throw EInvalidGraphic("PNG-Datei nicht lesbar: " + msg);
    }
    return bitmap;
}
