// The yardstick for decoding a JPEG for a screen: libjpeg-turbo at the DCT scale our
// reader picks, into a buffer kept between runs, then swscale's bicubic fit with
// Mitchell's B = C = 1/3 (our default filter), all on one thread.
#pragma once

#include "graphics/JpegReader.h"

#include <jpeglib.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

// libjpeg-turbo alone: the JPEG decoded at scale/8 into buffer as BGRA rows, one thread,
// the buffer kept between calls.
inline void PlainJpegDecode(const std::vector<uint8_t>& jpeg, unsigned scale, std::vector<uint8_t>& buffer, int& width,
                            int& height) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGRA;
    d.scale_num = scale;
    d.scale_denom = 8;
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
        Decode();
        fitted_.resize(size_t(fitWidth) * size_t(fitHeight) * 4);
        sws_ = sws_alloc_context();
        av_opt_set_int(sws_, "srcw", width_, 0);
        av_opt_set_int(sws_, "srch", height_, 0);
        av_opt_set_int(sws_, "src_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(sws_, "dstw", fitWidth, 0);
        av_opt_set_int(sws_, "dsth", fitHeight, 0);
        av_opt_set_int(sws_, "dst_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(sws_, "sws_flags", SWS_BICUBIC, 0);
        av_opt_set_double(sws_, "param0", 1.0 / 3, 0);
        av_opt_set_double(sws_, "param1", 1.0 / 3, 0);
        av_opt_set_int(sws_, "threads", 1, 0);
        if (sws_init_context(sws_, nullptr, nullptr) < 0) {
            sws_freeContext(sws_);
            sws_ = nullptr;
        }
    }
    ~TJpegFitYardstick() {
        if (sws_) sws_freeContext(sws_);
    }
    TJpegFitYardstick(const TJpegFitYardstick&) = delete;
    TJpegFitYardstick& operator=(const TJpegFitYardstick&) = delete;

    bool Ready() const { return sws_ != nullptr; }

    void Run() {
        Decode();
        const uint8_t* src[4] = {buffer_.data(), nullptr, nullptr, nullptr};
        const int srcStrides[4] = {width_ * 4, 0, 0, 0};
        uint8_t* dst[4] = {fitted_.data(), nullptr, nullptr, nullptr};
        const int dstStrides[4] = {fitWidth_ * 4, 0, 0, 0};
        sws_scale(sws_, src, srcStrides, 0, height_, dst, dstStrides);
    }
    const uint8_t* Fitted() const { return fitted_.data(); }

private:
    void Decode() { PlainJpegDecode(jpeg_, scale_, buffer_, width_, height_); }

    const std::vector<uint8_t>& jpeg_;
    int fitWidth_, fitHeight_;
    unsigned scale_ = 8;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> buffer_, fitted_;
    SwsContext* sws_ = nullptr;
};
