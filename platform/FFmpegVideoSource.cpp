// The decoder behind the media-player stand-in: libavformat reads the file, libavcodec
// decodes its best video stream, libswscale turns each picture into B, G, R, X rows.
// FFmpeg loads with the first video opened; a process that shows none never loads it.
#include "dynload/FFmpegLibrary.h"
#include "platform/DebugOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>

namespace {

// The largest picture we decode; the bitmaps it becomes have the same limit.
constexpr int64_t kMaxVideoPixels = int64_t(1) << 28;
// What the scaler may write behind a picture's last row.
constexpr size_t kScalerSlack = 64;

void QuietLibraries(const TFFmpegFunctions& av) {
    static std::once_flag once;
    // The libraries' own chatter goes to stderr; only a debug run wants it.
    std::call_once(once, [&av] { av.av_log_set_level(DebugOutputEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET); });
}

class TFFmpegVideoSource : public TVideoSource {
public:
    explicit TFFmpegVideoSource(const TFFmpegFunctions& av) : av_(av) {}
    ~TFFmpegVideoSource() override {
        av_.sws_freeContext(sws_);
        av_.av_frame_free(&frame_);
        av_.av_frame_free(&held_);
        av_.av_packet_free(&packet_);
        av_.avcodec_free_context(&decoder_);
        av_.avformat_close_input(&format_);
    }

    bool Open(const AnsiString& fileName, AnsiString& error) {
        QuietLibraries(av_);
        // "file:" keeps a colon in the name from being taken for a protocol.
        const std::string path = FFmpegLocalFileUrl(ResolvePath(fileName));
        AVDictionary* options = nullptr;
        SetFFmpegLocalFileOptions(av_, &options);
        int r = av_.avformat_open_input(&format_, path.c_str(), nullptr, &options);
        av_.av_dict_free(&options);
        if (r < 0) return Fail(error, "cannot open: " + AvError(r));
        r = av_.avformat_find_stream_info(format_, nullptr);
        if (r < 0) return Fail(error, "no streams found: " + AvError(r));
        const AVCodec* codec = nullptr;
        stream_ = av_.av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0) {
            // A file of sound alone opens; it has no picture.
            if (format_->nb_streams == 0) return Fail(error, "no streams");
            duration_ = format_->duration != AV_NOPTS_VALUE ? double(format_->duration) / AV_TIME_BASE : 0;
            return true;
        }
        if (!codec) return Fail(error, "no decoder for the video stream");
        AVStream* st = format_->streams[stream_];
        decoder_ = av_.avcodec_alloc_context3(codec);
        packet_ = av_.av_packet_alloc();
        frame_ = av_.av_frame_alloc();
        held_ = av_.av_frame_alloc();
        if (!decoder_ || !packet_ || !frame_ || !held_) return Fail(error, "out of memory");
        if ((r = av_.avcodec_parameters_to_context(decoder_, st->codecpar)) < 0 || (r = av_.avcodec_open2(decoder_, codec, nullptr)) < 0)
            return Fail(error, "cannot start the decoder: " + AvError(r));
        width_ = decoder_->width;
        height_ = decoder_->height;
        if (width_ <= 0 || height_ <= 0 || int64_t(width_) * height_ > kMaxVideoPixels)
            return Fail(error, "no usable picture size");
        timeBase_ = av_q2d(st->time_base);
        start_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        const AVRational rate = av_.av_guess_frame_rate(format_, st, nullptr);
        frameRate_ = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) duration_ = double(st->duration) * timeBase_;
        else if (format_->duration != AV_NOPTS_VALUE) duration_ = double(format_->duration) / AV_TIME_BASE;
        if (st->nb_frames > 0) frameCount_ = st->nb_frames;
        else if (frameRate_ > 0 && duration_ > 0) frameCount_ = std::llround(duration_ * frameRate_);
        name_ = AnsiString("FFmpeg Video Decoder (") + (codec->long_name ? codec->long_name : codec->name) + ")";
        hasVideo_ = true;
        return true;
    }

    bool HasVideo() const override { return hasVideo_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    double Duration() const override { return duration_; }
    double FrameRate() const override { return frameRate_; }
    int64_t FrameCount() const override { return frameCount_; }
    AnsiString DecoderName() const override { return name_; }

    bool Seek(double seconds) override {
        if (!hasVideo_) return false;
        pending_.clear();
        const int64_t ts = start_ + int64_t(std::llround(seconds / timeBase_));
        if (av_.av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_.avformat_seek_file(format_, stream_, INT64_MIN, ts, ts, 0) < 0)
            return false;
        av_.avcodec_flush_buffers(decoder_);
        ended_ = false;
        lastTime_ = -1;
        // Decode up to the frame shown at the time: the last one that starts by then. The
        // one after it was decoded too; both wait for ReadFrame.
        const double limit = seconds + 1e-4;
        bool held = false;
        while (DecodeNext()) {
            const double t = FrameTime(frame_);
            if (t <= limit || !held) {
                if (t > limit) break;  // the first frame found starts later: it is the one
                av_.av_frame_unref(held_);
                av_.av_frame_move_ref(held_, frame_);
                heldTime_ = t;
                held = true;
                continue;
            }
            pending_.push_back(Convert(held_, heldTime_));
            pending_.push_back(Convert(frame_, t));
            return true;
        }
        if (held) pending_.push_back(Convert(held_, heldTime_));
        else if (frame_->data[0]) pending_.push_back(Convert(frame_, FrameTime(frame_)));
        av_.av_frame_unref(frame_);
        return true;
    }

    bool ReadFrame(TVideoFrame& frame) override {
        if (!pending_.empty()) {
            frame = std::move(pending_.front());
            pending_.pop_front();
            return true;
        }
        if (!hasVideo_ || !DecodeNext()) return false;
        frame = Convert(frame_, FrameTime(frame_));
        return true;
    }

private:
    AnsiString AvError(int code) const {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_.av_strerror(code, text, sizeof text);
        return text;
    }

    static bool Fail(AnsiString& error, const AnsiString& reason) {
        error = reason;
        return false;
    }

    // The next decoded picture into frame_; false at the end or when nothing more decodes.
    bool DecodeNext() {
        av_.av_frame_unref(frame_);
        for (;;) {
            const int r = av_.avcodec_receive_frame(decoder_, frame_);
            if (r == 0) return true;
            if (r != AVERROR(EAGAIN) || ended_) return false;
            for (;;) {
                if (av_.av_read_frame(format_, packet_) < 0) {
                    // The demuxer is done: what the decoder still holds comes out now.
                    ended_ = true;
                    av_.avcodec_send_packet(decoder_, nullptr);
                    break;
                }
                const bool ours = packet_->stream_index == stream_;
                // A damaged packet is skipped; the next one may decode.
                const int sent = ours ? av_.avcodec_send_packet(decoder_, packet_) : -1;
                av_.av_packet_unref(packet_);
                if (sent >= 0) break;
            }
        }
    }

    double FrameTime(const AVFrame* f) {
        double t;
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) t = double(f->best_effort_timestamp - start_) * timeBase_;
        else t = lastTime_ < 0 ? 0 : lastTime_ + (frameRate_ > 0 ? 1 / frameRate_ : 0.04);
        lastTime_ = t;
        return t;
    }

    TVideoFrame Convert(const AVFrame* f, double time) {
        TVideoFrame out;
        out.Time = time;
        // swscale writes BGRA pixels in pairs (and wider in its vector code): a row of odd
        // width gets a pixel more than it holds, which on the last row lands behind the
        // buffer. Room for it, taken off again once the picture is in.
        const size_t bytes = size_t(width_) * size_t(height_) * 4;
        out.Pixels.resize(bytes + kScalerSlack);
        // A stream whose pictures change size is scaled to the size it began with.
        sws_ = av_.sws_getCachedContext(sws_, f->width, f->height, AVPixelFormat(f->format), width_, height_,
                                    AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws_) {
            out.Pixels.assign(bytes, 0);
            return out;
        }
        uint8_t* dst[4] = {out.Pixels.data(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {width_ * 4, 0, 0, 0};
        av_.sws_scale(sws_, f->data, f->linesize, 0, f->height, dst, dstStride);
        out.Pixels.resize(bytes);
        return out;
    }

    const TFFmpegFunctions& av_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* held_ = nullptr;
    SwsContext* sws_ = nullptr;
    int stream_ = -1;
    bool hasVideo_ = false;
    bool ended_ = false;
    int width_ = 0, height_ = 0;
    double timeBase_ = 0;
    int64_t start_ = 0;
    double frameRate_ = 0;
    double duration_ = 0;
    int64_t frameCount_ = 0;
    double lastTime_ = -1;
    double heldTime_ = 0;
    AnsiString name_;
    std::deque<TVideoFrame> pending_;
};

}  // namespace

std::unique_ptr<TVideoSource> OpenFFmpegVideoSource(const AnsiString& fileName, AnsiString& error) {
    std::string why;
    const TFFmpegFunctions* av = FFmpeg(why);
    if (!av) {
        error = why;
        return nullptr;
    }
    auto source = std::make_unique<TFFmpegVideoSource>(*av);
    if (!source->Open(fileName, error)) return nullptr;
    return source;
}
