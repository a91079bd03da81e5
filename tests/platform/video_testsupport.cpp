#include "video_testsupport.h"

#include "platform/Clock.h"
#include "platform/MessageQueue.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr uint32_t kBars[kTestBars] = {0xFFFFFFFF, 0xFFFFFF00, 0xFF00FFFF, 0xFF00FF00,
                                       0xFFFF00FF, 0xFFFF0000, 0xFF0000FF, 0xFF000000};

AVCodecID CodecFor(const std::string& path) {
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

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

int TestBarCenterX(int bar, int width) { return (2 * bar + 1) * width / (2 * kTestBars); }
int TestBarCenterY(int height) { return height / 3; }

uint32_t TestVideoColor(int frame, int x, int y, int width, int height) {
    if (y < height * 2 / 3) return kBars[std::min(x * kTestBars / width, kTestBars - 1)];
    const int bit = 7 - std::min(x * 8 / width, 7);
    return (frame >> bit) & 1 ? 0xFFFFFFFF : 0xFF000000;
}

bool TestBarsMatch(int frame, int width, int height, const std::function<uint32_t(int x, int y)>& pixel,
                   int tolerance, std::string* mismatch) {
    for (int bar = 0; bar < kTestBars; ++bar) {
        const int x = TestBarCenterX(bar, width), y = TestBarCenterY(height);
        const uint32_t got = pixel(x, y), want = TestVideoColor(frame, x, y, width, height);
        for (int shift : {0, 8, 16})
            if (std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) {
                if (mismatch) *mismatch = "bar " + std::to_string(bar);
                return false;
            }
    }
    return true;
}

bool RunMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint32_t start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        TMessage m;
        if (PeekMessage(m)) DispatchMessage(m);
        else WaitMessage(5);
    }
    return true;
}

void RunMessagesFor(uint32_t ms) {
    const uint32_t start = GetTickCount();
    RunMessagesUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

int ReadTestFrameNumber(int width, int height, const std::function<uint32_t(int x, int y)>& pixel) {
    int n = 0;
    const int y = height * 5 / 6;
    for (int i = 0; i < 8; ++i) {
        const uint32_t c = pixel((2 * i + 1) * width / 16, y);
        const int luma = (int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF)) / 3;
        if (luma > 170) n = n * 2 + 1;
        else if (luma < 85) n = n * 2;
        else return -1;
    }
    return n;
}

bool WriteTestVideo(const std::string& path, int width, int height, int frames, int fps, std::string* error) {
    // The encoders' remarks (clipped coefficients) are no concern of a test.
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
    // Fine quantisation, so colours and blocks survive the codec.
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
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int n = 0; n < frames; ++n) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t c = TestVideoColor(n, x, y, width, height);
                uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
            }
        if (av_frame_make_writable(w.Frame) < 0) return Fail(error, "frame not writable");
        const uint8_t* src[1] = {rgb.data()};
        const int srcStride[1] = {width * 3};
        sws_scale(w.Sws, src, srcStride, 0, height, w.Frame->data, w.Frame->linesize);
        w.Frame->pts = n;
        if (avcodec_send_frame(w.Codec, w.Frame) < 0 || !w.Drain()) return Fail(error, "encoding failed");
    }
    if (avcodec_send_frame(w.Codec, nullptr) < 0 || !w.Drain()) return Fail(error, "flushing failed");
    if (av_write_trailer(w.Format) < 0) return Fail(error, "cannot write the trailer");
    return true;
}
