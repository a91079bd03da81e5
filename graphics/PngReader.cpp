#include "graphics/PngReader.h"

#include "graphics/PictureOrientation.h"
#include "graphics/PictureReader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

// libpng's own interface, not its simplified one: that one takes 16-bit samples as
// linear light and gamma-encodes them on the way to 8 bits (50 % grey came out at 73 %),
// and it corrects 8-bit files by their gAMA chunk. Pictures show their samples as
// stored, the way every other reader of ours and ImageMagick deliver them.

namespace {

struct TPngInput {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
    char Message[200];
};

void ReadInput(png_structp png, png_bytep out, png_size_t count) {
    auto* in = static_cast<TPngInput*>(png_get_io_ptr(png));
    if (count > in->Size - in->Pos) png_error(png, "Datei zu kurz");
    std::memcpy(out, in->Data + in->Pos, count);
    in->Pos += count;
}

void OnError(png_structp png, png_const_charp message) {
    auto* in = static_cast<TPngInput*>(png_get_error_ptr(png));
    std::snprintf(in->Message, sizeof in->Message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The steps that may jump back hold no C++ objects between setjmp and the jump.
bool ReadHeaderAndTransforms(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    // 16-bit samples scale to 8 bits with rounding (v * 255 / 65535), as ImageMagick does.
    if (bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (hasTrns) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTrns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    // B, G, R, A in memory is 0xAARRGGBB in a little-endian word.
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 4) png_error(png, "unerwartetes Pixelformat");
    return true;
}

bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    // What follows the pixels (text, IEND) is not needed: a file cut after them still shows.
    png_read_image(png, rows);
    return true;
}

// Frees libpng's state on every way out.
struct TPngReadState {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngReadState() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

}  // namespace

TBitmap32 ReadPngPicture(const uint8_t* data, size_t size) {
    if (size == 0) throw EInvalidGraphic("Leere PNG-Datei");
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) throw EInvalidGraphic("PNG-Datei nicht lesbar: keine PNG-Signatur");
    TPngInput input{data, size, 0, {}};
    TPngReadState state;
    state.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, OnError, OnWarning);
    if (!state.Png) throw EInvalidGraphic("PNG-Datei nicht lesbar: kein Speicher");
    state.Info = png_create_info_struct(state.Png);
    if (!state.Info) throw EInvalidGraphic("PNG-Datei nicht lesbar: kein Speicher");
    png_set_read_fn(state.Png, &input, ReadInput);
    png_uint_32 width = 0, height = 0;
    if (!ReadHeaderAndTransforms(state.Png, state.Info, width, height))
        throw EInvalidGraphic(AnsiString("PNG-Datei nicht lesbar: ") + input.Message);
    CheckPictureSize(width, height);
    TBitmap32 bitmap;
    bitmap.SetSizeForOverwrite(int(width), int(height));
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(bitmap.Bits() + size_t(y) * width);
    if (!ReadRows(state.Png, rows.data()))
        throw EInvalidGraphic(AnsiString("PNG-Datei nicht lesbar: ") + input.Message);
    OrientPicture(bitmap, PngExifOrientation(data, size));
    return bitmap;
}
