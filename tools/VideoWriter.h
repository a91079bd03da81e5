// Writes videos through FFmpeg's own encoders, frame by frame from RGB pictures: for
// the demo's video and the tests' videos. Header only: tools/ builds one program per
// source file.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace videowriter {

// The encoder follows the extension: MPEG-4 in .avi, MJPEG in .mov, MPEG-1 in .mpg and
// .mpeg, WMV2 in .wmv.
inline AVCodecID CodecFor(const std::string& path) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    if (ext == "avi") return AV_CODEC_ID_MPEG4;
    if (ext == "mov") return AV_CODEC_ID_MJPEG;
    if (ext == "mpg" || ext == "mpeg") return AV_CODEC_ID_MPEG1VIDEO;
    if (ext == "wmv") return AV_CODEC_ID_WMV2;
    return AV_CODEC_ID_NONE;
}

struct TWriter {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    SwsContext* Sws = nullptr;
    AVStream* Stream = nullptr;
    bool Opened = false;

    ~TWriter() {
        sws_freeContext(Sws);
        av_packet_free(&Packet);
        av_frame_free(&Frame);
        avcodec_free_context(&Codec);
        if (Format && Opened) avio_closep(&Format->pb);
        avformat_free_context(Format);
    }

    bool Drain() {
        for (;;) {
            const int r = avcodec_receive_packet(Codec, Packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            av_packet_rescale_ts(Packet, Codec->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            if (av_interleaved_write_frame(Format, Packet) < 0) return false;
        }
    }
};

inline bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Paints frame n into rgb (width * height * 3 bytes, rows top down).
using TFramePainter = std::function<void(int n, std::vector<uint8_t>& rgb)>;

// Fine quantisation, so colours and edges survive the codec. False (with the reason)
// when writing fails.
inline bool WriteVideo(const std::string& path, int width, int height, int frames, int fps,
                       const TFramePainter& paint, std::string* error = nullptr) {
    // The encoders' remarks (clipped coefficients) are no concern here.
    av_log_set_level(AV_LOG_ERROR);
    const AVCodecID id = CodecFor(path);
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) return Fail(error, "no encoder for " + path);
    TWriter w;
    if (avformat_alloc_output_context2(&w.Format, nullptr, nullptr, path.c_str()) < 0 || !w.Format)
        return Fail(error, "no muxer for " + path);
    w.Stream = avformat_new_stream(w.Format, nullptr);
    w.Codec = avcodec_alloc_context3(codec);
    w.Frame = av_frame_alloc();
    w.Packet = av_packet_alloc();
    if (!w.Stream || !w.Codec || !w.Frame || !w.Packet) return Fail(error, "out of memory");
    w.Codec->width = width;
    w.Codec->height = height;
    w.Codec->time_base = AVRational{1, fps};
    w.Codec->framerate = AVRational{fps, 1};
    w.Codec->gop_size = 12;
    w.Codec->max_b_frames = 0;
    w.Codec->pix_fmt = id == AV_CODEC_ID_MJPEG ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    w.Codec->flags |= AV_CODEC_FLAG_QSCALE;
    w.Codec->global_quality = FF_QP2LAMBDA * 2;
    if (w.Format->oformat->flags & AVFMT_GLOBALHEADER) w.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(w.Codec, codec, nullptr) < 0) return Fail(error, "cannot open the encoder");
    if (avcodec_parameters_from_context(w.Stream->codecpar, w.Codec) < 0) return Fail(error, "no parameters");
    w.Stream->time_base = w.Codec->time_base;
    if (avio_open(&w.Format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(error, "cannot create " + path);
    w.Opened = true;
    if (avformat_write_header(w.Format, nullptr) < 0) return Fail(error, "cannot write the header");
    w.Frame->format = w.Codec->pix_fmt;
    w.Frame->width = width;
    w.Frame->height = height;
    if (av_frame_get_buffer(w.Frame, 0) < 0) return Fail(error, "no frame buffer");
    w.Sws = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, w.Codec->pix_fmt, SWS_BILINEAR, nullptr,
                           nullptr, nullptr);
    if (!w.Sws) return Fail(error, "no converter");
    const size_t size = size_t(width) * size_t(height) * 3;
    std::vector<uint8_t> rgb(size);
    // The converter reads its input in 16-byte loads, past the last pixel: it gets a
    // padded copy (memcheck saw it read beyond the picture's bytes).
    std::vector<uint8_t> padded(size + 64);
    for (int n = 0; n < frames; ++n) {
        paint(n, rgb);
        std::copy_n(rgb.begin(), std::min(rgb.size(), size), padded.begin());
        if (av_frame_make_writable(w.Frame) < 0) return Fail(error, "frame not writable");
        const uint8_t* src[1] = {padded.data()};
        const int srcStride[1] = {width * 3};
        sws_scale(w.Sws, src, srcStride, 0, height, w.Frame->data, w.Frame->linesize);
        w.Frame->pts = n;
        if (avcodec_send_frame(w.Codec, w.Frame) < 0 || !w.Drain()) return Fail(error, "encoding failed");
    }
    if (avcodec_send_frame(w.Codec, nullptr) < 0 || !w.Drain()) return Fail(error, "flushing failed");
    if (av_write_trailer(w.Format) < 0) return Fail(error, "cannot write the trailer");
    return true;
}

}  // namespace videowriter
