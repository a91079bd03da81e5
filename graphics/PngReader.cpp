#include "graphics/PngReader.h"

#include "graphics/PictureOrientation.h"
#include "graphics/PictureReader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
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
    // What libpng may hold at once: a chunk header may claim 2 GB in a file of 300 bytes,
    // and libpng allocates what it claims before reading it.
    size_t Budget;
    size_t Held;
};

// Memory for libpng, within the input's budget: beyond it libpng gets nothing, and then
// skips an ancillary chunk or fails the picture.
struct alignas(std::max_align_t) TPngBlock {
    size_t Size;
};

png_voidp BoundedMalloc(png_structp png, png_alloc_size_t size) {
    auto* in = static_cast<TPngInput*>(png_get_mem_ptr(png));
    if (size > in->Budget - in->Held) return nullptr;
    auto* block = static_cast<TPngBlock*>(std::malloc(sizeof(TPngBlock) + size));
    if (!block) return nullptr;
    block->Size = size;
    in->Held += size;
    return block + 1;
}

void BoundedFree(png_structp png, png_voidp p) {
    if (!p) return;
    auto* block = static_cast<TPngBlock*>(p) - 1;
    static_cast<TPngInput*>(png_get_mem_ptr(png))->Held -= block->Size;
    std::free(block);
}

// libpng's own state, the inflater and what the chunks before the pixels hold: a chunk
// holds no more than the file, a compressed one unpacks to a few MB at most.
constexpr size_t kPngFixedBudget = size_t(8) << 20;
// The rows libpng keeps besides ours (the row read, the one before, the filtered one),
// for the widest sample: 16-bit RGBA.
constexpr size_t kPngRowBuffers = 4;
constexpr size_t kPngMaxBytesPerPixel = 8;
// libpng's own default for a side; the pixel budget is checked apart.
constexpr png_uint_32 kPngMaxSide = 1000000;
// Ancillary chunks kept at once (text, palettes of suggestions, unknown ones).
constexpr png_uint_32 kPngMaxChunksKept = 64;
// Chunks of text, colour profiles and suggested palettes are not used here: skipped
// unread, they cost neither memory nor the inflating.
constexpr png_byte kPngSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0";

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
    // The rows come next: the budget grows by what the width needs, never by the height.
    auto* in = static_cast<TPngInput*>(png_get_mem_ptr(png));
    in->Budget += kPngRowBuffers * (size_t(width) * kPngMaxBytesPerPixel + 64);
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
    TPngInput input{data, size, 0, {}, kPngFixedBudget + size, 0};
    TPngReadState state;
    state.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &input, OnError, OnWarning, &input, BoundedMalloc,
                                         BoundedFree);
    if (!state.Png) throw EInvalidGraphic("PNG-Datei nicht lesbar: kein Speicher");
    const png_uint_32 maxSide = png_uint_32(std::min<int64_t>(MaxPicturePixels(), kPngMaxSide));
    png_set_user_limits(state.Png, maxSide, maxSide);
    png_set_chunk_cache_max(state.Png, kPngMaxChunksKept);
    png_set_chunk_malloc_max(state.Png, kPngFixedBudget + size);
    png_set_keep_unknown_chunks(state.Png, PNG_HANDLE_CHUNK_NEVER, kPngSkippedChunks,
                                int(sizeof kPngSkippedChunks / 5));
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
