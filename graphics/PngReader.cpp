#include "graphics/PngReader.h"

#include "graphics/PictureOrientation.h"
#include "graphics/PictureReader.h"
#include "platform/RunEnd.h"

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
    if (count > in->Size - in->Pos) png_error(png, "file cut short");
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
bool ReadHeader(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height, bool& interlaced) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    interlaced = interlace != PNG_INTERLACE_NONE;
    return true;
}

// Rows as B, G, R, A bytes. Whole: an interlaced file's passes are merged into whole rows
// by libpng; otherwise each pass comes as its own smaller rows.
bool SetTransforms(png_structp png, png_infop info, bool whole) {
    if (setjmp(png_jmpbuf(png))) return false;
    const png_uint_32 width = png_get_image_width(png, info);
    const int bitDepth = png_get_bit_depth(png, info), colorType = png_get_color_type(png, info);
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
    if (whole) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 4) png_error(png, "unexpected pixel format");
    return true;
}

// Whether the run is ending: a large picture's read then stops between its rows, as a
// damaged one's would, instead of holding up the run's end for the rest of its decode.
bool Stopped(TPngInput& in) {
    if (!RunEndRequested()) return false;
    std::snprintf(in.Message, sizeof in.Message, "%s", "read stopped, the run is ending");
    return true;
}

bool ReadRows(png_structp png, png_bytepp rows, png_uint_32 height, TPngInput& in) {
    if (setjmp(png_jmpbuf(png))) return false;
    // What follows the pixels (text, IEND) is not needed: a file cut after them still shows.
    // Row by row as libpng's whole-image read goes, each pass over every row.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            if (Stopped(in)) return false;
            png_read_row(png, rows[y], nullptr);
        }
    return true;
}

// A picture reduced while it is read: every pixel adds into the box of Factor x Factor
// pixels it falls in, and a box done becomes one pixel of Out, each channel the mean of
// its box as a picture stretched by a box filter has it. Plain data: it lives through
// libpng's jumps.
struct TReduction {
    int Factor;
    png_uint_32 Width, Height;
    int OutWidth, OutHeight;
    // Four sums per box of the output rows held (Factor <= 16 keeps them in 16 bits):
    // one row of boxes for a file of whole rows, all of them for an interlaced one, whose
    // passes each bring pixels of every box.
    uint16_t* Sums;
    bool AllRows;
    png_bytep Row;
    TBitmap32* Out;
};

// Row `by` of the reduced picture, from the sums of held row `held`.
void EmitBoxRow(const TReduction& r, int by, int held) {
    const int bh = std::min<int64_t>(r.Factor, int64_t(r.Height) - int64_t(by) * r.Factor);
    TColor32* out = r.Out->ScanLine(by);
    const uint16_t* sum = r.Sums + size_t(held) * size_t(r.OutWidth) * 4;
    for (int bx = 0; bx < r.OutWidth; ++bx, sum += 4) {
        const int bw = std::min<int64_t>(r.Factor, int64_t(r.Width) - int64_t(bx) * r.Factor);
        const unsigned n = unsigned(bw * bh);
        // Alpha rounds down: a box with any pixel less than opaque stays less than opaque.
        out[bx] = TColor32((sum[0] + n / 2) / n) | TColor32((sum[1] + n / 2) / n) << 8 |
                  TColor32((sum[2] + n / 2) / n) << 16 | TColor32(sum[3] / n) << 24;
    }
}

// The pixels of a decoded row (count of them, the first at column x0, then every step-th)
// added into the held row of boxes `held`.
void AddRow(const TReduction& r, int held, png_uint_32 x0, png_uint_32 step, png_uint_32 count) {
    uint16_t* sums = r.Sums + size_t(held) * size_t(r.OutWidth) * 4;
    const png_bytep px = r.Row;
    png_uint_32 bx = x0 / png_uint_32(r.Factor), into = x0 % png_uint_32(r.Factor);
    for (png_uint_32 i = 0; i < count; ++i) {
        uint16_t* s = sums + size_t(bx) * 4;
        const uint8_t* p = px + size_t(i) * 4;
        s[0] = uint16_t(s[0] + p[0]);
        s[1] = uint16_t(s[1] + p[1]);
        s[2] = uint16_t(s[2] + p[2]);
        s[3] = uint16_t(s[3] + p[3]);
        for (into += step; into >= png_uint_32(r.Factor); into -= png_uint_32(r.Factor)) ++bx;
    }
}

bool ReadReduced(png_structp png, const TReduction& r, TPngInput& in) {
    if (setjmp(png_jmpbuf(png))) return false;
    const size_t rowSums = size_t(r.OutWidth) * 4;
    if (!r.AllRows) {
        for (png_uint_32 y = 0; y < r.Height; ++y) {
            if (Stopped(in)) return false;
            png_read_row(png, r.Row, nullptr);
            AddRow(r, 0, 0, 1, r.Width);
            if ((y + 1) % png_uint_32(r.Factor) != 0 && y + 1 != r.Height) continue;
            EmitBoxRow(r, int(y / png_uint_32(r.Factor)), 0);
            std::fill(r.Sums, r.Sums + rowSums, uint16_t(0));
        }
        return true;
    }
    // Adam7's seven passes, each a smaller picture of every so many pixels; libpng skips
    // the empty ones.
    for (int pass = 0; pass < 7; ++pass) {
        const png_uint_32 cols = PNG_PASS_COLS(r.Width, pass), rows = PNG_PASS_ROWS(r.Height, pass);
        if (cols == 0 || rows == 0) continue;
        for (png_uint_32 i = 0; i < rows; ++i) {
            if (Stopped(in)) return false;
            png_read_row(png, r.Row, nullptr);
            const png_uint_32 y = PNG_ROW_FROM_PASS_ROW(i, pass);
            AddRow(r, int(y / png_uint_32(r.Factor)), PNG_PASS_START_COL(pass), png_uint_32(1) << PNG_PASS_COL_SHIFT(pass),
                   cols);
        }
    }
    for (int by = 0; by < r.OutHeight; ++by) EmitBoxRow(r, by, by);
    return true;
}

// Frees libpng's state on every way out.
struct TPngReadState {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngReadState() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

// The reduction stops at a sixteenth (JPEG's at an eighth): its sums stay in 16 bits, and
// the picture left is a small one.
constexpr int kPngMaxReduction = 16;

AnsiString Damaged(const TPngInput& input) { return AnsiString("damaged PNG: ") + input.Message; }

}  // namespace

int PngReduction(int width, int height, int targetWidth, int targetHeight) {
    if (targetWidth <= 0 || targetHeight <= 0 || width <= 0 || height <= 0) return 1;
    // ceil(side / f) >= target exactly when f <= (side - 1) / (target - 1).
    int64_t f = kPngMaxReduction;
    if (targetWidth > 1) f = std::min<int64_t>(f, (int64_t(width) - 1) / (targetWidth - 1));
    if (targetHeight > 1) f = std::min<int64_t>(f, (int64_t(height) - 1) / (targetHeight - 1));
    return int(std::max<int64_t>(f, 1));
}

bool ReadPngPictureSize(const uint8_t* data, size_t size, int& width, int& height) {
    width = height = 0;
    // The header chunk comes first: signature, length, "IHDR", width, height.
    if (!data || size < 24 || png_sig_cmp(data, 0, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
    const auto be32 = [data](size_t at) {
        return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
    };
    const uint32_t w = be32(16), h = be32(20);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    const bool swap = OrientationSwapsSides(PngExifOrientation(data, size));
    width = int(swap ? h : w);
    height = int(swap ? w : h);
    return true;
}

TBitmap32 ReadPngPicture(const uint8_t* data, size_t size, int targetWidth, int targetHeight) {
    if (size == 0) throw EInvalidGraphic("empty file");
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) throw EInvalidGraphic("not a PNG file");
    TPngInput input{data, size, 0, {}, kPngFixedBudget + size, 0};
    TPngReadState state;
    state.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &input, OnError, OnWarning, &input, BoundedMalloc,
                                         BoundedFree);
    if (!state.Png) throw EInvalidGraphic("not enough memory for the PNG reader");
    const png_uint_32 maxSide = png_uint_32(std::min<int64_t>(MaxPicturePixels(), kPngMaxSide));
    png_set_user_limits(state.Png, maxSide, maxSide);
    png_set_chunk_cache_max(state.Png, kPngMaxChunksKept);
    png_set_chunk_malloc_max(state.Png, kPngFixedBudget + size);
    png_set_keep_unknown_chunks(state.Png, PNG_HANDLE_CHUNK_NEVER, kPngSkippedChunks,
                                int(sizeof kPngSkippedChunks / 5));
    state.Info = png_create_info_struct(state.Png);
    if (!state.Info) throw EInvalidGraphic("not enough memory for the PNG reader");
    png_set_read_fn(state.Png, &input, ReadInput);
    png_uint_32 width = 0, height = 0;
    bool interlaced = false;
    if (!ReadHeader(state.Png, state.Info, width, height, interlaced)) throw EInvalidGraphic(Damaged(input));
    CheckPictureSize(width, height);
    // The target is the upright picture's; the rows are the stored one's.
    const int orientation = PngExifOrientation(data, size);
    if (OrientationSwapsSides(orientation)) std::swap(targetWidth, targetHeight);
    const int factor = PngReduction(int(width), int(height), targetWidth, targetHeight);
    if (!SetTransforms(state.Png, state.Info, factor == 1)) throw EInvalidGraphic(Damaged(input));
    TBitmap32 bitmap;
    if (factor == 1) {
        bitmap.SetSizeForOverwrite(int(width), int(height));
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = reinterpret_cast<png_bytep>(bitmap.Bits() + size_t(y) * width);
        if (!ReadRows(state.Png, rows.data(), height, input)) throw EInvalidGraphic(Damaged(input));
    } else {
        const int outWidth = int((width + unsigned(factor) - 1) / unsigned(factor));
        const int outHeight = int((height + unsigned(factor) - 1) / unsigned(factor));
        bitmap.SetSizeForOverwrite(outWidth, outHeight);
        std::vector<uint16_t> sums(size_t(outWidth) * 4 * size_t(interlaced ? outHeight : 1));
        std::vector<png_byte> row(size_t(width) * 4);
        const TReduction r{factor, width, height, outWidth, outHeight, sums.data(), interlaced, row.data(), &bitmap};
        if (!ReadReduced(state.Png, r, input)) throw EInvalidGraphic(Damaged(input));
    }
    OrientPicture(bitmap, orientation);
    return bitmap;
}

TBitmap32 ReadPngPicture(const uint8_t* data, size_t size) { return ReadPngPicture(data, size, 0, 0); }
