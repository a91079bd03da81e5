// Sound mixing costs against yardsticks measured in the same run. The compressed files
// are written at start by FFmpeg's own encoders (MP3 through LAME, Ogg Vorbis):
// - MixThirtyTwoStreams/<format>: 32 streams playing on the real-time silent output; the
//   process's CPU time over the wall time it ran, as a share of one core (target: MP3 at
//   most 5 %);
// - WaveformOfTenMinutes: the waveform of a 10-minute MP3 against FFmpeg decoding the same
//   file alone, without the library (target: ratio at most 1.5).
#include "media/FMODBinding.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Paths.h"
#include "soundapi/FSoundTypes.h"
#include "tests/soundlib/SoundFixtures.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <chrono>
#include <cmath>
#include <ctime>
#include <map>
#include <filesystem>
#include <random>
#include <thread>

using namespace soundtest;

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Something like music for the encoder to work on: a slowly swelling chord over a little
// noise, different for every seed.
float MusicSample(int64_t i, int channel, int rate, int seed, std::minstd_rand& rng) {
    const double t = double(i) / rate;
    const double base = 110.0 * std::pow(2.0, (seed % 12) / 12.0);
    double v = 0;
    for (double ratio : {1.0, 1.25, 1.5, 2.0})
        v += std::sin(2 * M_PI * base * ratio * t + channel * 0.3) / 4;
    v *= 0.4 + 0.3 * std::sin(2 * M_PI * 0.25 * t + seed);
    v += (double(rng() % 2001) / 1000.0 - 1.0) * 0.03;
    return float(v * 0.6);
}

// Writes seconds of stereo audio at rate with the named encoder; false when FFmpeg lacks it.
bool EncodeAudio(const std::string& path, const char* encoderName, int rate, double seconds, int seed) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec)
        return false;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str()) < 0)
        return false;
    AVStream* st = avformat_new_stream(out, nullptr);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->sample_rate = rate;
    // The first sample format of the encoder's that we fill below.
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_S16P || *f == AV_SAMPLE_FMT_S16) {
            enc->sample_fmt = *f;
            break;
        }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&enc->ch_layout, &stereo);
    enc->bit_rate = 128000;
    enc->time_base = AVRational{1, rate};
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    bool ok = avcodec_open2(enc, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, enc) >= 0 &&
              avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    st->time_base = enc->time_base;
    ok = ok && avformat_write_header(out, nullptr) >= 0;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::minstd_rand rng(static_cast<unsigned>(seed + 1));
    const int64_t total = int64_t(seconds * rate);
    const int chunk = enc->frame_size > 0 ? enc->frame_size : 1024;
    auto drain = [&] {
        while (avcodec_receive_packet(enc, packet) == 0) {
            av_packet_rescale_ts(packet, enc->time_base, st->time_base);
            packet->stream_index = st->index;
            av_interleaved_write_frame(out, packet);
        }
    };
    for (int64_t pos = 0; ok && pos < total; pos += chunk) {
        frame->nb_samples = int(std::min<int64_t>(chunk, total - pos));
        frame->format = enc->sample_fmt;
        frame->sample_rate = rate;
        av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
        if (av_frame_get_buffer(frame, 0) < 0) {
            ok = false;
            break;
        }
        for (int i = 0; i < frame->nb_samples; ++i)
            for (int c = 0; c < 2; ++c) {
                const float v = MusicSample(pos + i, c, rate, seed, rng);
                switch (enc->sample_fmt) {
                case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(frame->data[c])[i] = v; break;
                case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(frame->data[0])[2 * i + c] = v; break;
                case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(frame->data[c])[i] = int16_t(v * 32767); break;
                case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(frame->data[0])[2 * i + c] = int16_t(v * 32767); break;
                default: ok = false;
                }
            }
        frame->pts = pos;
        ok = ok && avcodec_send_frame(enc, frame) >= 0;
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(enc, nullptr);
    drain();
    if (ok)
        av_write_trailer(out);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

struct Format {
    const char* Name;
    const char* Extension;
    const char* Encoder;
};
constexpr Format kFormats[] = {{"mp3", ".mp3", "libmp3lame"}, {"ogg", ".ogg", "libvorbis"}};

// Four 20-second files per format, half at 44.1 kHz and half at 22.05 kHz; each is opened
// by eight streams, which decode on their own.
const std::vector<std::string>& StreamFiles(const Format& format) {
    static SoundTempDir dir;
    static std::map<std::string, std::vector<std::string>> files;
    auto& list = files[format.Name];
    if (list.empty())
        for (int i = 0; i < 4; ++i) {
            std::string file = dir.File(std::string("s") + std::to_string(i) + format.Extension);
            if (!EncodeAudio(file, format.Encoder, i % 2 ? 22050 : 44100, 20.0, i)) {
                list.clear();
                break;
            }
            list.push_back(file);
        }
    return list;
}

void BM_MixThirtyTwoStreams(benchmark::State& state) {
    const Format& format = kFormats[state.range(0)];
    const std::vector<std::string>& files = StreamFiles(format);
    if (files.empty())
        return state.SkipWithError("FFmpeg lacks the encoder");
    TFMOD fmod;
    if (!fmod.Load(LibraryPath()) || !fmod.FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND) || !fmod.FSOUND_Init(44100, 32, 0))
        return state.SkipWithError("sound library not available");
    std::vector<FSoundStream> streams;
    for (int i = 0; i < 32; ++i)
        streams.push_back(fmod.FSOUND_Stream_Open(files[size_t(i % 4)].c_str(), kFSoundStreamOpenMode, 0, 0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        for (FSoundStream s : streams) {
            fmod.FSOUND_Stream_SetTime(s, 0);
            fmod.FSOUND_SetVolume(fmod.FSOUND_Stream_Play(kFSoundFreeChannel, s), 128);
        }
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        // The player's thread sleeps meanwhile; three seconds of real-time playback.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        cpu += ProcessCpuSeconds() - cpu0;
        if (fmod.FSOUND_GetChannelsPlaying() < 32)
            state.SkipWithError("a stream stopped early");
        fmod.FSOUND_StopSound(kFSoundAllChannels);
    }
    state.counters["core_share_percent"] = wall > 0 ? cpu / wall * 100.0 : 0.0;
    state.counters["target_percent"] = 5;
    fmod.FSOUND_Close();
}
BENCHMARK(BM_MixThirtyTwoStreams)->ArgName("format")->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

// The yardstick: FFmpeg reading and decoding every packet of the file, nothing else.
double FFmpegDecodeSeconds(const std::string& file) {
    const auto t0 = Clock::now();
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0)
        return -1;
    avformat_find_stream_info(in, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, in->streams[index]->codecpar);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t samples = 0;
    while (av_read_frame(in, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(dec, packet) >= 0)
            while (avcodec_receive_frame(dec, frame) == 0)
                samples += frame->nb_samples;
        av_packet_unref(packet);
    }
    avcodec_send_packet(dec, nullptr);
    while (avcodec_receive_frame(dec, frame) == 0)
        samples += frame->nb_samples;
    benchmark::DoNotOptimize(samples);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&in);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void BM_WaveformOfTenMinutes(benchmark::State& state) {
    SoundTempDir dir;
    std::filesystem::create_directories(dir.File("Data"));
    std::filesystem::copy_file(LibraryPath(), dir.File("Data/fmod.dll"));
    AnsiString saved = SoundProgramFolder();
    SetSoundProgramFolder(FromPosixPath(dir.Path()));
    std::string file = dir.File("ten-minutes.mp3");
    if (!EncodeAudio(file, "libmp3lame", 44100, 600.0, 5)) {
        SetSoundProgramFolder(saved);
        return state.SkipWithError("FFmpeg lacks the MP3 encoder");
    }
    double wave = 0, decode = 0;
    for (auto _ : state) {
        TSoundWaveData data;
        auto start = Clock::now();
        bool ok = data.Compute(FromPosixPath(file), -1);
        wave += std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("waveform failed");
            break;
        }
        state.PauseTiming();
        decode += FFmpegDecodeSeconds(file);
        state.ResumeTiming();
    }
    state.counters["ratio"] = decode > 0 ? wave / decode : 0.0;
    state.counters["ffmpeg_ms"] = decode * 1000 / double(std::max<int64_t>(1, state.iterations()));
    state.counters["target"] = 1.5;
    SetSoundProgramFolder(saved);
}
BENCHMARK(BM_WaveformOfTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
