// The yardstick for decoding a JPEG for a screen, the fastest way these libraries offer,
// of two, all of it on one thread into buffers kept between runs:
// - planes: libjpeg-turbo at the DCT scale our reader picks, stopping at the YCbCr planes
//   as they are stored (no upsampling, no colour conversion); then swscale fits the
//   planes with its bicubic filter at Mitchell's B = C = 1/3 (our default filter) and
//   converts to BGRA in the same pass, as a video player shows a frame;
// - BGRA: libjpeg-turbo decoding straight to BGRA at the same scale (its own SIMD
//   upsampling and colour conversion), then swscale fitting that with the same filter
//   into planar GBRAP, its fastest RGB scaling path.
// Which is faster depends on the picture and the machine (a camera's 4:2:0 photo decodes
// to BGRA with fused upsampling): the yardstick times both when it is made and runs the
// faster one.
#pragma once

#include "graphics/JpegReader.h"

#include <jpeglib.h>
// The decompressor's transform table, to decode every plane at one scale.
#include <jpegint.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

// A decompressor on the JPEG's bytes, its header read, set to decode at scale/8 (the
// benchmarks' own pictures: libjpeg's errors end the program).
inline void OpenJpeg(jpeg_decompress_struct& d, jpeg_error_mgr& err, const std::vector<uint8_t>& jpeg, unsigned scale) {
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.scale_num = scale;
    d.scale_denom = 8;
}

// libjpeg-turbo alone: the JPEG decoded at scale/8 into buffer as BGRA rows, one thread,
// the buffer kept between calls.
inline void PlainJpegDecode(const std::vector<uint8_t>& jpeg, unsigned scale, std::vector<uint8_t>& buffer, int& width,
                            int& height) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    OpenJpeg(d, err, jpeg, scale);
    d.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&d);
    width = int(d.output_width);
    height = int(d.output_height);
    const size_t stride = size_t(d.output_width) * 4;
    buffer.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = buffer.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

// The three YCbCr planes of a JPEG at scale/8, as the file stores them (4:2:0 keeps its
// chroma at half size both ways), one thread, the planes kept between calls. False for a
// picture that is not three-component YCbCr or whose sampling no planar format names.
class TJpegPlanes {
public:
    bool Decode(const std::vector<uint8_t>& jpeg, unsigned scale) {
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        OpenJpeg(d, err, jpeg, scale);
        d.raw_data_out = TRUE;
        d.dct_method = JDCT_ISLOW;  // as our reader
        if (d.num_components != 3 || d.jpeg_color_space != JCS_YCbCr || d.progressive_mode) {
            jpeg_destroy_decompress(&d);
            return false;
        }
        jpeg_start_decompress(&d);
        // libjpeg-turbo picks a larger DCT scale for the chroma than for the luma where
        // that spares upsampling later (4:2:0 at half scale would come out as 4:4:4, with
        // four times the chroma work); planes as stored take every component at the
        // luma's scale, with the luma's transform, as libjpeg-turbo's own YUV decoding
        // does. The islow transform uses the same table at every scale.
        for (int c = 1; c < 3; ++c)
            if (Scaled(d.comp_info[c]) != MinScaled(d)) {
                SetScaled(d.comp_info[c], MinScaled(d));
                d.comp_info[c].MCU_sample_width = d.comp_info[c].MCU_width * MinScaled(d);
                d.idct->inverse_DCT[c] = d.idct->inverse_DCT[0];
            }
        if (!Format(d)) {
            jpeg_abort_decompress(&d);
            jpeg_destroy_decompress(&d);
            return false;
        }
        Width = int(d.output_width);
        Height = int(d.output_height);
        const int rowsPerCall = d.max_v_samp_factor * MinScaled(d);
        std::vector<JSAMPROW> rows[3];
        for (int c = 0; c < 3; ++c) {
            const jpeg_component_info& comp = d.comp_info[c];
            const int compRows = comp.v_samp_factor * Scaled(comp);
            // Whole blocks: the decoder writes the padding at the right and bottom too.
            Strides[c] = int(comp.width_in_blocks) * Scaled(comp);
            const int allocated = int((d.output_height + JDIMENSION(rowsPerCall) - 1) / JDIMENSION(rowsPerCall)) * compRows;
            Planes[c].resize(size_t(Strides[c]) * size_t(allocated) + 64);
            rows[c].resize(size_t(compRows));
        }
        while (d.output_scanline < d.output_height) {
            JSAMPARRAY data[3];
            const JDIMENSION at = d.output_scanline / JDIMENSION(rowsPerCall);
            for (int c = 0; c < 3; ++c) {
                const size_t compRows = rows[c].size();
                for (size_t r = 0; r < compRows; ++r)
                    rows[c][r] = Planes[c].data() + (size_t(at) * compRows + r) * size_t(Strides[c]);
                data[c] = rows[c].data();
            }
            if (jpeg_read_raw_data(&d, data, JDIMENSION(rowsPerCall)) == 0) break;
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        return true;
    }

    int Width = 0, Height = 0;
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
    std::vector<uint8_t> Planes[3];
    int Strides[3] = {0, 0, 0};

private:
#if JPEG_LIB_VERSION >= 70
    static int Scaled(const jpeg_component_info& c) { return c.DCT_v_scaled_size; }
    static void SetScaled(jpeg_component_info& c, int size) { c.DCT_h_scaled_size = c.DCT_v_scaled_size = size; }
    static int MinScaled(const jpeg_decompress_struct& d) { return d.min_DCT_v_scaled_size; }
#else
    static int Scaled(const jpeg_component_info& c) { return c.DCT_scaled_size; }
    static void SetScaled(jpeg_component_info& c, int size) { c.DCT_scaled_size = size; }
    static int MinScaled(const jpeg_decompress_struct& d) { return d.min_DCT_scaled_size; }
#endif
    // The planes' layout after the decoder chose each component's scale.
    bool Format(const jpeg_decompress_struct& d) {
        const jpeg_component_info* c = d.comp_info;
        auto size = [&](int i, bool across) { return (across ? c[i].h_samp_factor : c[i].v_samp_factor) * Scaled(c[i]); };
        if (size(1, true) != size(2, true) || size(1, false) != size(2, false)) return false;
        const int h = size(0, true) / size(1, true), v = size(0, false) / size(1, false);
        if (size(0, true) % size(1, true) != 0 || size(0, false) % size(1, false) != 0) return false;
        PixelFormat = h == 2 && v == 2   ? AV_PIX_FMT_YUV420P
                      : h == 2 && v == 1 ? AV_PIX_FMT_YUV422P
                      : h == 1 && v == 1 ? AV_PIX_FMT_YUV444P
                                         : AV_PIX_FMT_NONE;
        return PixelFormat != AV_PIX_FMT_NONE;
    }
};

class TJpegFitYardstick {
public:
    // The picture fitted into fitWidth x fitHeight, decoded for a target of
    // targetWidth x targetHeight as our reader is asked.
    TJpegFitYardstick(const std::vector<uint8_t>& jpeg, int targetWidth, int targetHeight, int fitWidth,
                      int fitHeight)
        : jpeg_(jpeg), fitWidth_(fitWidth), fitHeight_(fitHeight) {
        int w = 0, h = 0;
        ReadJpegPictureSize(jpeg.data(), jpeg.size(), w, h);
        scale_ = unsigned(JpegScaleEighths(w, h, targetWidth, targetHeight));
        if (!planes_.Decode(jpeg_, scale_)) return;
        fitted_.resize(size_t(fitWidth) * size_t(fitHeight) * 4);
        // JFIF's YCbCr spans the full 0..255 range. Chroma worked out for every pixel, as
        // our fit has it (swscale's default shares it between two pixels across).
        sws_ = OpenFit(planes_.Width, planes_.Height, planes_.PixelFormat, AV_PIX_FMT_BGRA,
                       SWS_BICUBIC | SWS_FULL_CHR_H_INT, true);
        OpenBgraPath();
        if (sws_ && bgraSws_) ChooseFaster();
    }
    ~TJpegFitYardstick() {
        if (sws_) sws_freeContext(sws_);
        if (bgraSws_) sws_freeContext(bgraSws_);
    }
    TJpegFitYardstick(const TJpegFitYardstick&) = delete;
    TJpegFitYardstick& operator=(const TJpegFitYardstick&) = delete;

    bool Ready() const { return sws_ != nullptr; }

    void Run() {
        if (bgraFaster_) return RunBgra();
        RunPlanes();
    }
    // 1 when the BGRA path is the faster one and runs, 0 for the planes.
    int Path() const { return bgraFaster_ ? 1 : 0; }
    const uint8_t* Fitted() const { return bgraFaster_ ? planar_[0].data() : fitted_.data(); }
    int FitWidth() const { return fitWidth_; }
    int FitHeight() const { return fitHeight_; }

private:
    // A one-thread swscale job fitting srcW x srcH into the fit's size with the bicubic
    // filter at Mitchell's B = C = 1/3 and swscale's own rounding; null when refused.
    SwsContext* OpenFit(int srcW, int srcH, AVPixelFormat src, AVPixelFormat dst, int flags, bool fullRange) const {
        SwsContext* sws = sws_alloc_context();
        av_opt_set_int(sws, "srcw", srcW, 0);
        av_opt_set_int(sws, "srch", srcH, 0);
        av_opt_set_int(sws, "src_format", src, 0);
        av_opt_set_int(sws, "dstw", fitWidth_, 0);
        av_opt_set_int(sws, "dsth", fitHeight_, 0);
        av_opt_set_int(sws, "dst_format", dst, 0);
        if (fullRange) {
            av_opt_set_int(sws, "src_range", 1, 0);
            av_opt_set_int(sws, "dst_range", 1, 0);
        }
        av_opt_set_int(sws, "sws_flags", flags, 0);
        av_opt_set_double(sws, "param0", 1.0 / 3, 0);
        av_opt_set_double(sws, "param1", 1.0 / 3, 0);
        av_opt_set_int(sws, "threads", 1, 0);
        if (sws_init_context(sws, nullptr, nullptr) < 0) {
            sws_freeContext(sws);
            return nullptr;
        }
        return sws;
    }
    void OpenBgraPath() {
        int w = 0, h = 0;
        PlainJpegDecode(jpeg_, scale_, bgra_, w, h);
        if (w <= 0 || h <= 0) return;
        bgraWidth_ = w;
        bgraHeight_ = h;
        for (auto& plane : planar_) plane.resize(size_t(fitWidth_) * size_t(fitHeight_));
        bgraSws_ = OpenFit(w, h, AV_PIX_FMT_BGRA, AV_PIX_FMT_GBRAP, SWS_BICUBIC, false);
    }
    // The best of three runs of each path, both warmed up by the first.
    void ChooseFaster() {
        const auto best = [](auto&& run) {
            double fastest = 1e9;
            for (int i = 0; i < 3; ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                run();
                fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            }
            return fastest;
        };
        const double planes = best([this] { RunPlanes(); });
        const double bgra = best([this] { RunBgra(); });
        bgraFaster_ = bgra < planes;
    }
    void RunBgra() {
        int w = 0, h = 0;
        PlainJpegDecode(jpeg_, scale_, bgra_, w, h);
        const uint8_t* src[4] = {bgra_.data(), nullptr, nullptr, nullptr};
        const int srcStrides[4] = {bgraWidth_ * 4, 0, 0, 0};
        uint8_t* dst[4] = {planar_[0].data(), planar_[1].data(), planar_[2].data(), planar_[3].data()};
        const int dstStrides[4] = {fitWidth_, fitWidth_, fitWidth_, fitWidth_};
        sws_scale(bgraSws_, src, srcStrides, 0, bgraHeight_, dst, dstStrides);
    }
    void RunPlanes() {
        planes_.Decode(jpeg_, scale_);
        const uint8_t* src[4] = {planes_.Planes[0].data(), planes_.Planes[1].data(), planes_.Planes[2].data(), nullptr};
        const int srcStrides[4] = {planes_.Strides[0], planes_.Strides[1], planes_.Strides[2], 0};
        uint8_t* dst[4] = {fitted_.data(), nullptr, nullptr, nullptr};
        const int dstStrides[4] = {fitWidth_ * 4, 0, 0, 0};
        sws_scale(sws_, src, srcStrides, 0, planes_.Height, dst, dstStrides);
    }

    const std::vector<uint8_t>& jpeg_;
    int fitWidth_, fitHeight_;
    unsigned scale_ = 8;
    TJpegPlanes planes_;
    std::vector<uint8_t> fitted_;
    SwsContext* sws_ = nullptr;
    // The BGRA path.
    std::vector<uint8_t> bgra_;
    int bgraWidth_ = 0, bgraHeight_ = 0;
    std::vector<uint8_t> planar_[4];
    SwsContext* bgraSws_ = nullptr;
    bool bgraFaster_ = false;
};
