#include "graphics/JpegWriter.h"

#include "graphics/JpegError.h"
#include "platform/Stream.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

// 0xAARRGGBB words are B, G, R, A in memory on little-endian machines, X, R, G, B on
// the others; libjpeg-turbo reads either straight from the bitmap's rows.
constexpr J_COLOR_SPACE kRowSpace = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Plain C-style encoding: nothing with a destructor lives between setjmp and longjmp.
bool Encode(const TBitmap32& bitmap, const TJpegWriteOptions& options, unsigned char*& out, unsigned long& outSize,
            char* message) {
    jpeg_compress_struct cinfo;
    TJpegError err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = OnJpegError;
    err.Message[0] = 0;
    if (setjmp(err.Jump)) {
        std::memcpy(message, err.Message, JMSG_LENGTH_MAX);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(bitmap.Width());
    cinfo.image_height = JDIMENSION(bitmap.Height());
    cinfo.input_components = 4;
    cinfo.in_color_space = kRowSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(options.Quality, 1, 100), TRUE);
    if (options.Progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row[1] = {
            const_cast<JSAMPLE*>(reinterpret_cast<const JSAMPLE*>(bitmap.ScanLine(int(cinfo.next_scanline))))};
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJpegPicture(const TBitmap32& bitmap, const TJpegWriteOptions& options) {
    if (bitmap.Empty()) throw EJpegWriteError("JPEG-Datei nicht schreibbar: leeres Bild");
    unsigned char* out = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX];
    const bool ok = Encode(bitmap, options, out, size, message);
    std::vector<uint8_t> bytes;
    if (ok) bytes.assign(out, out + size);
    std::free(out);
    if (!ok) throw EJpegWriteError(AnsiString("JPEG-Datei nicht schreibbar: ") + message);
    return bytes;
}

void WriteJpegPicture(const TBitmap32& bitmap, const AnsiString& fileName, const TJpegWriteOptions& options) {
    TMemoryStream stream(EncodeJpegPicture(bitmap, options));
    stream.SaveToFile(fileName);
}
