// Streams: any audio file FFmpeg reads, resampled to 16-bit stereo at the mix rate.
#include "soundlib/FormatSniff.h"
#include "soundlib/Sources.h"

#include "dynload/FFmpegLibrary.h"
#include "soundapi/FSoundTypes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#pragma GCC visibility push(hidden)

namespace gcsound {

std::atomic<TAbortCheck> gAbortCheck{nullptr};

namespace {

// However slow the file or the server, an open gives up after this long: the item then
// counts as unreadable and the show goes on without it.
constexpr auto kOpenDeadline = std::chrono::seconds(5);
// A stalled network read fails after this long (in microseconds) instead of holding a
// decoder for good.
constexpr const char* kNetworkTimeoutUs = "5000000";
// Nor does it read more than this: a file of no audio (gigabytes of zeros named .mp3)
// would otherwise be read, and held by the parser, until the deadline.
constexpr int64_t kOpenReadLimit = int64_t(32) << 20;
// The host's check is asked at most this often: it may look at the system's input.
constexpr auto kAbortCheckInterval = std::chrono::milliseconds(20);
// The most frames one conversion adds to the fifo (a third of a second at 44.1 kHz): a
// decoded frame that resamples to more leaves the rest in the resampler for the next
// read, so no frame, however long or however low its rate, grows the fifo beyond this.
constexpr int kConvertPieceFrames = 16384;

// Watches one open: FFmpeg calls Interrupt during each read and each wait of it.
class TOpenWatch {
public:
    // format: where the stream keeps its context, whose reads are counted.
    explicit TOpenWatch(AVFormatContext* const* format) : format_(format) {}

    void Arm() {
        deadline_ = std::chrono::steady_clock::now() + kOpenDeadline;
        nextCheck_ = std::chrono::steady_clock::time_point{};
        armed_ = true;
    }
    // Once open, reads are the decoder's and end only through the network timeout.
    void Disarm() { armed_ = false; }
    bool GaveUp() const { return gaveUp_; }

    static int Interrupt(void* opaque) { return static_cast<TOpenWatch*>(opaque)->Due() ? 1 : 0; }

private:
    bool Due() {
        if (!armed_)
            return false;
        const AVFormatContext* format = *format_;
        if (format && format->pb && format->pb->bytes_read > kOpenReadLimit)
            return gaveUp_ = true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline_)
            return gaveUp_ = true;
        if (now < nextCheck_)
            return false;
        nextCheck_ = now + kAbortCheckInterval;
        if (TAbortCheck check = gAbortCheck.load(std::memory_order_acquire); check && check() != 0)
            return gaveUp_ = true;
        return false;
    }

    AVFormatContext* const* format_;
    std::chrono::steady_clock::time_point deadline_{};
    std::chrono::steady_clock::time_point nextCheck_{};
    bool armed_ = false;
    bool gaveUp_ = false;
};

class TFFmpegStream final : public TStreamSource {
public:
    explicit TFFmpegStream(const TFFmpegFunctions& av) : av_(av) {}
    ~TFFmpegStream() override {
        av_.av_frame_free(&frame_);
        av_.av_packet_free(&packet_);
        av_.swr_free(&swr_);
        av_.avcodec_free_context(&codec_);
        av_.avformat_close_input(&format_);
    }

    bool Open(const std::string& path, int mixRate) {
        rate_ = mixRate;
        format_ = av_.avformat_alloc_context();
        if (!format_)
            return false;
        format_->interrupt_callback.callback = &TOpenWatch::Interrupt;
        format_->interrupt_callback.opaque = &watch_;
        // Probing looks at a bounded head of the file, so that a huge file of no audio
        // fails as fast as a small one.
        format_->probesize = 2 << 20;
        format_->max_analyze_duration = 3 * AV_TIME_BASE;
        AVDictionary* options = nullptr;
        // Play lists may name web addresses: those reach the network and nothing else;
        // any other name is one local file.
        const bool web = IsFFmpegWebAddress(path);
        if (web) {
            av_.av_dict_set(&options, "protocol_whitelist", "http,https,tcp,tls,crypto", 0);
            av_.av_dict_set(&options, "rw_timeout", kNetworkTimeoutUs, 0);
            av_.av_dict_set(&options, "timeout", kNetworkTimeoutUs, 0);
        } else {
            SetFFmpegLocalFileOptions(av_, &options);
        }
        const std::string url = web ? path : FFmpegLocalFileUrl(path);
        watch_.Arm();
        // On failure FFmpeg frees the context it was given and nulls the pointer.
        int rc = av_.avformat_open_input(&format_, url.c_str(), nullptr, &options);
        av_.av_dict_free(&options);
        if (rc < 0)
            return false;
        // Songs are the song loader's; FFmpeg would otherwise take modules as streams.
        const char* demuxer = format_->iformat ? format_->iformat->name : "";
        if (std::strstr(demuxer, "openmpt"))
            return false;
        rc = av_.avformat_find_stream_info(format_, nullptr);
        watch_.Disarm();
        if (rc < 0 || watch_.GaveUp())
            return false;
        const AVCodec* decoder = nullptr;
        index_ = av_.av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (index_ < 0 || !decoder)
            return false;
        stream_ = format_->streams[index_];
        codec_ = av_.avcodec_alloc_context3(decoder);
        if (!codec_ || av_.avcodec_parameters_to_context(codec_, stream_->codecpar) < 0)
            return false;
        if (av_.avcodec_open2(codec_, decoder, nullptr) < 0)
            return false;
        frame_ = av_.av_frame_alloc();
        packet_ = av_.av_packet_alloc();
        // A rate no sound card plays is a broken file, however small: 4,096 samples at 1 Hz
        // would become 180 million at the mix rate, a rate of 2^31 a filter bank for that
        // ratio. The resampler refuses both.
        if (!frame_ || !packet_ || !InitResampler(codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate))
            return false;

        if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
            length_ = (format_->duration * 1000 + AV_TIME_BASE / 2) / AV_TIME_BASE;
        else if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0)
            length_ = av_.av_rescale_q(stream_->duration, stream_->time_base, AVRational{1, 1000});
        return true;
    }

    int Read(int16_t* out, int frames) override {
        int done = 0;
        while (done < frames) {
            size_t available = fifo_.size() / 2 - fifoPos_;
            if (available == 0) {
                if (ended_ || !DecodeMore())
                    break;
                continue;
            }
            size_t take = std::min<size_t>(available, static_cast<size_t>(frames - done));
            std::memcpy(out + done * 2, fifo_.data() + fifoPos_ * 2, take * 4);
            fifoPos_ += take;
            done += static_cast<int>(take);
        }
        return done;
    }

    void SeekMs(int64_t ms) override {
        ms = std::max<int64_t>(0, ms);
        int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
        int64_t ts = start + av_.av_rescale_q(ms, AVRational{1, 1000}, stream_->time_base);
        av_.av_seek_frame(format_, index_, ts, AVSEEK_FLAG_BACKWARD);
        av_.avcodec_flush_buffers(codec_);
        av_.swr_free(&swr_);
        InitResampler(codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate);
        fifo_.clear();
        fifoPos_ = 0;
        ended_ = false;
        draining_ = false;
        flushing_ = false;
        // Decoders land on a frame boundary before the target; the rest is dropped.
        alignTarget_ = av_.av_rescale(ms, rate_, 1000);
        aligning_ = true;
        dropFrames_ = 0;
    }

    int64_t LengthMs() const override { return length_; }

private:
    // For frames of the given layout, format and rate; false (and no resampler) for a
    // rate we do not play or a resampler that does not start.
    bool InitResampler(const AVChannelLayout& layout, AVSampleFormat format, int rate) {
        inChannels_ = layout.nb_channels;
        inFormat_ = format;
        inRate_ = rate;
        if (rate < kFSoundMinStreamRate || rate > kFSoundMaxStreamRate || layout.nb_channels <= 0)
            return false;
        if (SetUpResampler(layout, format, rate))
            return true;
        av_.swr_free(&swr_);
        return false;
    }

    bool SetUpResampler(const AVChannelLayout& layout, AVSampleFormat format, int rate) {
        // Zeroed: the copy first uninitialises its destination, which must hold nothing.
        AVChannelLayout in{};
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_.av_channel_layout_default(&in, layout.nb_channels);
        else if (av_.av_channel_layout_copy(&in, &layout) < 0)
            return false;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        int rc = av_.swr_alloc_set_opts2(&swr_, &stereo, AV_SAMPLE_FMT_S16, rate_, &in, format, rate, 0, nullptr);
        av_.av_channel_layout_uninit(&in);
        if (rc < 0)
            return false;
        // A mono file plays at full level on both sides, not 3 dB down.
        if (layout.nb_channels == 1) {
            const double matrix[2] = {1.0, 1.0};
            if (av_.swr_set_matrix(swr_, matrix, 1) < 0)
                return false;
        }
        // Mixed far below the file's rate (a waveform's few thousand points a second),
        // the default filter's length grows with the ratio and costs more than the
        // decode; a short one still keeps the peaks.
        if (int64_t(rate_) * 4 <= rate && av_.av_opt_set_int(swr_, "filter_size", 8, 0) < 0)
            return false;
        return av_.swr_init(swr_) >= 0;
    }

    // Appends converted frames to the fifo; false when nothing more will come.
    bool DecodeMore() {
        if (fifoPos_ > 0) {
            fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(fifoPos_ * 2));
            fifoPos_ = 0;
        }
        if (flushing_)
            return Flush();
        // What the resampler holds from the last frame comes before the next frame.
        if (Drain())
            return true;
        for (int guard = 0; guard < 64; ++guard) {
            int rc = av_.avcodec_receive_frame(codec_, frame_);
            if (rc == 0) {
                Convert(frame_);
                av_.av_frame_unref(frame_);
                return true;
            }
            if (rc != AVERROR(EAGAIN) || draining_)
                return Flush();
            rc = av_.av_read_frame(format_, packet_);
            if (rc < 0) {
                draining_ = true;
                av_.avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (packet_->stream_index == index_)
                av_.avcodec_send_packet(codec_, packet_);
            av_.av_packet_unref(packet_);
        }
        return true;  // packets of other streams only; the caller asks again
    }

    // At the end everything the resampler holds comes out, its filter's delay too, a piece
    // at a time; false once nothing more does.
    bool Flush() {
        flushing_ = true;
        if (Append(nullptr, 0) > 0)
            return true;
        ended_ = true;
        return false;
    }

    void Convert(AVFrame* f) {
        if (aligning_) {
            aligning_ = false;
            int64_t ts = f->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE) {
                int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
                int64_t at = av_.av_rescale_q(ts - start, stream_->time_base, AVRational{1, rate_});
                dropFrames_ = std::max<int64_t>(0, alignTarget_ - at);
            }
        }
        // A decoder may change the channels, format or rate within a file (an MP3's frames
        // turning mono): the resampler, set up for others, would read planes the frame
        // lacks. What it held beyond its filter's delay has come out already.
        if (f->ch_layout.nb_channels != inChannels_ || f->format != inFormat_ || f->sample_rate != inRate_) {
            av_.swr_free(&swr_);
            InitResampler(f->ch_layout, static_cast<AVSampleFormat>(f->format), f->sample_rate);
        }
        Append(const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    }

    // One piece of what the resampler still holds from earlier frames; false when that is
    // nothing (it keeps only its filter's delay until the next frame or the end).
    bool Drain() {
        // An input of no frames, not a null one, which would flush as at the end. The
        // resampler looks at one pointer per plane.
        static const uint8_t nothing[1] = {0};
        noInput_.assign(static_cast<size_t>(std::max(1, inChannels_)), nothing);
        return Append(noInput_.data(), 0) > 0;
    }

    // Converts inFrames frames (none: what the resampler holds; a null input: the flush)
    // into at most one piece at the end of the fifo; the frames it made.
    int Append(const uint8_t** in, int inFrames) {
        // Frames of a kind we do not play (none until the kind changes again) are dropped.
        if (!swr_)
            return 0;
        const int outMax = std::min(av_.swr_get_out_samples(swr_, inFrames), kConvertPieceFrames);
        if (outMax <= 0)
            return 0;
        size_t old = fifo_.size();
        fifo_.resize(old + static_cast<size_t>(outMax) * 2);
        uint8_t* dst = reinterpret_cast<uint8_t*>(fifo_.data() + old);
        int got = av_.swr_convert(swr_, &dst, outMax, in, inFrames);
        if (got < 0)
            got = 0;
        fifo_.resize(old + static_cast<size_t>(got) * 2);
        if (dropFrames_ > 0) {
            int64_t drop = std::min<int64_t>(dropFrames_, got);
            fifo_.erase(fifo_.begin() + static_cast<std::ptrdiff_t>(old),
                        fifo_.begin() + static_cast<std::ptrdiff_t>(old + drop * 2));
            dropFrames_ -= drop;
        }
        return got;
    }

    const TFFmpegFunctions& av_;
    int rate_ = 44100;
    AVFormatContext* format_ = nullptr;
    TOpenWatch watch_{&format_};
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int index_ = -1;
    int64_t length_ = -1;
    std::vector<int16_t> fifo_;
    std::vector<const uint8_t*> noInput_;
    // What the resampler takes: the channels, sample format and rate of its frames.
    int inChannels_ = 0;
    int inFormat_ = AV_SAMPLE_FMT_NONE;
    int inRate_ = 0;
    size_t fifoPos_ = 0;  // in frames
    bool ended_ = false;
    bool draining_ = false;
    bool flushing_ = false;
    bool aligning_ = false;
    int64_t alignTarget_ = 0;
    int64_t dropFrames_ = 0;
};

}  // namespace

std::unique_ptr<TStreamSource> OpenStream(const std::string& path, int mixRate) {
    std::vector<uint8_t> head;
    uint64_t fileSize = 0;
    // Songs are opened by the song loader; a local file that is one is no stream.
    if (ReadFileHead(path, 4096, head, fileSize)) {
        if (LooksLikeMidi(head.data(), head.size()) || LooksLikeModule(head.data(), head.size(), fileSize))
            return nullptr;
    }
    // FFmpeg loads with the first stream opened; without it no stream opens, as for a
    // file nothing reads.
    std::string why;
    const TFFmpegFunctions* av = FFmpeg(why);
    if (!av)
        return nullptr;
    static std::once_flag quiet;
    std::call_once(quiet, [av] { av->av_log_set_level(AV_LOG_QUIET); });
    auto stream = std::make_unique<TFFmpegStream>(*av);
    if (!stream->Open(path, mixRate))
        return nullptr;
    return stream;
}

}  // namespace gcsound

#pragma GCC visibility pop
