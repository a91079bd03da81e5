#include "graphics/JpegReader.h"

#include "graphics/JpegError.h"
#include "graphics/PictureOrientation.h"
#include "graphics/PictureReader.h"
#include "platform/DebugOutput.h"
#include "platform/ProcessInfo.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

void OnJpegError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    longjmp(err->Jump, 1);
}

namespace {

void OnMessage(j_common_ptr cinfo, int level) {
    // A file that ends early would decode as grey: refuse it. Other warnings
    // (stray bytes between markers) are common in camera files and harmless.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnJpegError(cinfo);
}

struct TJpegJob {
    const uint8_t* Data;
    size_t Size;
    int TargetWidth, TargetHeight;
    TBitmap32* Out;
    char Message[JMSG_LENGTH_MAX];
    bool TooLarge;
    // The header claims more than a file of several scans of this size holds.
    bool Overclaimed = false;
    int MessageCode = 0;
    // Only the header: the picture's size goes into Width and Height, Out stays untouched.
    bool HeaderOnly = false;
    int Width = 0, Height = 0;
    // In: the most bands the rows may be decoded in (0: by the picture's size). Out: the
    // bands chosen; above 1, Out has its size and DecodeInBands fills it.
    int Bands = 0;
    unsigned ScaleNum = 8;
};

constexpr int kMaxBands = 4;
// What a picture wanted at once may take by itself. Every band but the first must
// entropy-decode the rows before its own to skip them: on a grainy photo a third band
// saves little wall time for a lot of CPU, and the other cores are busy with the show.
constexpr int kMaxAutoBands = 2;

// Bands for a sequential picture: one per three megapixels of the file, as far as the
// process has cores. A band pays only where the rest of the decoding is large.
int AutoBands(JDIMENSION width, JDIMENSION height) {
    const int64_t byPixels = int64_t(width) * int64_t(height) / 3000000;
    return int(std::clamp<int64_t>(byPixels, 1, std::min(ProcessCores(), kMaxAutoBands)));
}

inline uint8_t Mul255(unsigned a, unsigned b) { return uint8_t((a * b + 127) / 255); }

// A cleared decompressor reporting to err (before the caller's setjmp).
void PrepareDecompressor(jpeg_decompress_struct& cinfo, TJpegError& err) {
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = OnJpegError;
    err.Pub.emit_message = OnMessage;
    err.Message[0] = 0;
}

// What a file of several scans holds until its last scan: every coefficient of every
// component, 64 of 2 bytes per 8 x 8 block, as libjpeg pads the blocks to whole MCUs.
uint64_t CoefficientBytes(const jpeg_decompress_struct& cinfo) {
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const uint64_t h = std::max(comp.h_samp_factor, 1), v = std::max(comp.v_samp_factor, 1);
        blocks += (comp.width_in_blocks + h - 1) / h * h * ((comp.height_in_blocks + v - 1) / v * v);
    }
    return blocks * DCTSIZE2 * sizeof(JCOEF);
}

// Whether a file of several scans can hold the picture its header claims. Every block of
// every component has its DC value coded in some scan, in at least one bit where the
// codes are Huffman's: n bytes carry at most 8 n blocks. A header claiming more is
// damaged (a few hundred bytes claiming 8000 x 8000), and is refused before its
// coefficients are allocated. Arithmetic codes spend less than a bit on a block, so
// their files' size bounds nothing: theirs may take 64 times the file and 64 MB.
bool ScansCanHold(const jpeg_decompress_struct& cinfo, size_t fileSize) {
    if (cinfo.arith_code) return CoefficientBytes(cinfo) <= (uint64_t(64) << 20) + 64 * uint64_t(fileSize);
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += uint64_t(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
    return blocks <= 8 * uint64_t(fileSize);
}

// Creates the decompressor on the job's bytes and reads the header (after the setjmp).
void OpenJob(jpeg_decompress_struct& cinfo, const TJpegJob& job) {
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job.Data, static_cast<unsigned long>(job.Size));
    jpeg_read_header(&cinfo, TRUE);
    // Room for the coefficients of a file of several scans (ScansCanHold bounds them by
    // the file) besides the tables and rows; beyond it libjpeg would want a disk.
    cinfo.mem->max_memory_to_use = long((uint64_t(64) << 20) + CoefficientBytes(cinfo));
}

// Plain C-style decoding: nothing with a destructor lives between setjmp and longjmp.
bool DecodeJpeg(TJpegJob& job) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    PrepareDecompressor(cinfo, err);
    job.TooLarge = false;
    if (setjmp(err.Jump)) {
        std::memcpy(job.Message, err.Message, sizeof job.Message);
        job.MessageCode = err.Pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    OpenJob(cinfo, job);
    job.Width = int(cinfo.image_width);
    job.Height = int(cinfo.image_height);
    if (job.HeaderOnly) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    if (int64_t(cinfo.image_width) * int64_t(cinfo.image_height) > MaxPicturePixels() ||
        cinfo.image_width == 0 || cinfo.image_height == 0) {
        job.TooLarge = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (jpeg_has_multiple_scans(&cinfo) && !ScansCanHold(cinfo, job.Size)) {
        job.Overclaimed = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    cinfo.scale_num = unsigned(JpegScaleEighths(int(cinfo.image_width), int(cinfo.image_height), job.TargetWidth,
                                                job.TargetHeight));
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&cinfo);
    try {
        job.Out->SetSizeForOverwrite(int(cinfo.output_width), int(cinfo.output_height));
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    // Bands only for one sequential scan: a picture of several scans is decoded whole
    // before its first row comes out, by every band again.
    int bands = job.Bands > 0 ? std::min(job.Bands, kMaxBands) : AutoBands(cinfo.image_width, cinfo.image_height);
    if (cmyk || jpeg_has_multiple_scans(&cinfo) || cinfo.output_height < JDIMENSION(bands) * 16) bands = 1;
    job.Bands = bands;
    job.ScaleNum = cinfo.scale_num;
    if (bands > 1) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    jpeg_start_decompress(&cinfo);
    const bool inverted = cinfo.saw_Adobe_marker;
    JSAMPARRAY row = nullptr;
    if (cmyk) row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        TColor32* line = job.Out->ScanLine(int(cinfo.output_scanline));
        if (!cmyk) {
            JSAMPROW target = reinterpret_cast<JSAMPROW>(line);
            jpeg_read_scanlines(&cinfo, &target, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, row, 1);
        const JSAMPLE* p = row[0];
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, p += 4) {
            // Adobe writes CMYK inverted; then the samples are already 255 - ink.
            unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            if (!inverted) {
                c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
            }
            line[x] = Color32(Mul255(c, k), Mul255(m, k), Mul255(y, k));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Rows [from, to) of the job's picture into Out, by a decompressor of its own: the rows
// before are skipped (which still entropy-decodes them), the last band reads the file to
// its end as a whole decode does. False with the library's message on a failure.
bool DecodeBand(const TJpegJob& job, JDIMENSION from, JDIMENSION to, char* message) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    PrepareDecompressor(cinfo, err);
    if (setjmp(err.Jump)) {
        std::memcpy(message, err.Message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    OpenJob(cinfo, job);
    cinfo.out_color_space = JCS_EXT_BGRA;
    cinfo.scale_num = job.ScaleNum;
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    if (int(cinfo.output_width) != job.Out->Width() || int(cinfo.output_height) != job.Out->Height()) {
        std::snprintf(message, JMSG_LENGTH_MAX, "band of another size");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (from > 0) jpeg_skip_scanlines(&cinfo, from);
    while (cinfo.output_scanline < to) {
        JSAMPROW target = reinterpret_cast<JSAMPROW>(job.Out->ScanLine(int(cinfo.output_scanline)));
        jpeg_read_scanlines(&cinfo, &target, 1);
    }
    if (to == cinfo.output_height) jpeg_finish_decompress(&cinfo);
    else jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The rows of a job that DecodeJpeg left to bands, each band on a thread of its own (the
// first on this one); every band gives the same bytes a whole decode gives. False with
// the first failed band's message.
bool DecodeInBands(TJpegJob& job) {
    const int bands = job.Bands;
    // Where each band starts. A band skips the rows before its own at about two thirds
    // of the cost of decoding them (measured on a noisy 12-megapixel photo at the half
    // scale a 1080p screen takes; a smooth picture skips at 0.4), so the later bands get
    // fewer rows and all end together (two bands of such a photo: 0.75 of a whole decode).
    constexpr double kSkipCost = 0.66;
    std::array<double, kMaxBands + 1> weight{};
    for (int band = 1; band <= bands; ++band) weight[size_t(band)] = 1 + weight[size_t(band - 1)] * (1 - kSkipCost);
    const auto rowOf = [&](int band) {
        return band >= bands ? JDIMENSION(job.Out->Height())
                             : JDIMENSION(double(job.Out->Height()) * weight[size_t(band)] / weight[size_t(bands)]);
    };
    std::array<bool, kMaxBands> ok{};
    std::array<std::array<char, JMSG_LENGTH_MAX>, kMaxBands> messages{};
    const auto run = [&](int band) {
        ok[size_t(band)] = DecodeBand(job, rowOf(band), rowOf(band + 1), messages[size_t(band)].data());
    };
    RunOnThreads(bands, run);
    for (int band = 0; band < bands; ++band) {
        if (ok[size_t(band)]) continue;
        std::memcpy(job.Message, messages[size_t(band)].data(), sizeof job.Message);
        return false;
    }
    return true;
}

}  // namespace

bool ReadJpegPictureSize(const uint8_t* data, size_t size, int& width, int& height) {
    width = height = 0;
    if (!data || size == 0) return false;
    TJpegJob job{data, size, 0, 0, nullptr, {}, false};
    job.HeaderOnly = true;
    if (!DecodeJpeg(job) || job.Width <= 0 || job.Height <= 0) return false;
    const bool swap = OrientationSwapsSides(JpegExifOrientation(data, size));
    width = swap ? job.Height : job.Width;
    height = swap ? job.Width : job.Height;
    return true;
}

int JpegScaleEighths(int width, int height, int targetWidth, int targetHeight) {
    if (targetWidth <= 0 || targetHeight <= 0) return 8;
    // Only the scales that decode faster than the whole picture: libjpeg-turbo's 5/8 to
    // 7/8 (no SIMD in their transforms) take 1.3 to 2 times as long as 8/8, and 3/8
    // takes 1.1 to 1.3 times as long as 4/8 (measured on photos from smooth to grainy).
    int eighths = 8;
    for (int m : {4, 2, 1}) {
        // libjpeg rounds scaled sizes up.
        const int64_t w = (int64_t(width) * m + 7) / 8, h = (int64_t(height) * m + 7) / 8;
        if (w < targetWidth || h < targetHeight) break;
        eighths = m;
    }
    return eighths;
}

TBitmap32 ReadJpegPicture(const uint8_t* data, size_t size, int targetWidth, int targetHeight, int bands) {
    if (size == 0) throw EInvalidGraphic("empty file");
    TBitmap32 bitmap;
    // The target is the upright picture's; the decoder scales the stored one.
    const int orientation = JpegExifOrientation(data, size);
    if (OrientationSwapsSides(orientation)) std::swap(targetWidth, targetHeight);
    TJpegJob job{data, size, targetWidth, targetHeight, &bitmap, {}, false};
    job.Bands = bands;
    bool ok = DecodeJpeg(job);
    if (ok && job.Bands > 1 && !DecodeInBands(job)) {
        // Bands never refuse what a whole decode takes: the whole decode has the last word.
        OutputDebugString(AnsiString("JPEG in bands: ") + job.Message + "; decoding it whole");
        job.Bands = 1;
        ok = DecodeJpeg(job);
    }
    if (!ok) {
        if (job.TooLarge && job.Width > 0 && job.Height > 0) throw EPictureTooLarge(job.Width, job.Height);
        if (job.TooLarge) throw EInvalidGraphic("damaged JPEG: a side of 0 pixels");
        if (job.Overclaimed)
            throw EInvalidGraphic("damaged JPEG: its header claims " + std::to_string(job.Width) + " x " +
                                  std::to_string(job.Height) + " pixels, more than its " + std::to_string(size) +
                                  " bytes hold");
        if (job.MessageCode == JERR_NO_SOI) throw EInvalidGraphic("not a JPEG file");
        throw EInvalidGraphic(AnsiString("damaged JPEG: ") + job.Message);
    }
    OrientPicture(bitmap, orientation);
    return bitmap;
}
