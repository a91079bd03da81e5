#include "graphics/PngWriter.h"

#include "platform/Stream.h"

#include <cstring>

#include <png.h>

std::vector<uint8_t> EncodePngPicture(const TBitmap32& bitmap) {
    if (bitmap.Empty()) throw EPngWriteError("PNG-Datei nicht schreibbar: leeres Bild");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(bitmap.Width());
    image.height = png_uint_32(bitmap.Height());
    // 0xAARRGGBB in a little-endian word is B, G, R, A in memory; the simplified
    // interface takes 8-bit data as straight alpha, which is what the bitmap holds.
    image.format = PNG_FORMAT_BGRA;
    const png_int_32 stride = png_int_32(bitmap.Width()) * 4;
    png_alloc_size_t size = 0;
    // The first call only measures.
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, bitmap.Bits(), stride, nullptr)) {
        const AnsiString msg = image.message;
        png_image_free(&image);
        throw EPngWriteError("PNG-Datei nicht schreibbar: " + msg);
    }
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, bitmap.Bits(), stride, nullptr)) {
        const AnsiString msg = image.message;
        png_image_free(&image);
        throw EPngWriteError("PNG-Datei nicht schreibbar: " + msg);
    }
    bytes.resize(size);
    return bytes;
}

void WritePngPicture(const TBitmap32& bitmap, const AnsiString& fileName) {
    // Encoded first, so nothing touches the disk for a picture that cannot be written.
    TMemoryStream stream(EncodePngPicture(bitmap));
    stream.SaveToFile(fileName);
}
