// Our sound library, reached the way the program reaches it: loaded by path through the binding.
#include "dynload/FFmpegLibrary.h"
#include "media/FMODBinding.h"
#include "platform/MessageQueue.h"
#include "soundlib/SoundFixtures.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace soundtest;

// Read by ThreadSanitizer when this program is built with it (and unused otherwise):
// FluidSynth's OpenMP runtime is not instrumented, so its thread pool's own allocations
// look like races.
extern "C" const char* __tsan_default_suppressions() { return "race:libgomp.so\n"; }

namespace {

// Collects every mixed frame that reaches the unit.
struct Capture {
    std::vector<int16_t> samples;
    std::vector<int> order;
    int id = 0;
    std::vector<int>* sharedOrder = nullptr;
};

void* CaptureCallback(void*, void* newBuffer, int length, void* user) {
    auto* c = static_cast<Capture*>(user);
    auto* p = static_cast<int16_t*>(newBuffer);
    c->samples.insert(c->samples.end(), p, p + length * 2);
    if (c->sharedOrder)
        c->sharedOrder->push_back(c->id);
    return newBuffer;
}

class SoundLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fmod.Load(LibraryPath())) << LibraryPath();
    }
    void TearDown() override {
        if (fmod.FSOUND_Close)
            fmod.FSOUND_Close();
    }
    // Non-real-time output: each Update mixes one buffer.
    void StartNonRealtime(int rate) {
        ASSERT_TRUE(fmod.FSOUND_SetOutput(12));
        ASSERT_TRUE(fmod.FSOUND_Init(rate, 32, 0x80));
        unit = fmod.FSOUND_DSP_Create(&CaptureCallback, 300, &capture);
        ASSERT_NE(unit, nullptr);
        fmod.FSOUND_DSP_SetActive(unit, -1);
    }
    void Mix(int buffers) {
        for (int i = 0; i < buffers; ++i)
            fmod.FSOUND_Update();
    }
    // Buffers needed to mix ms milliseconds.
    int BuffersFor(int ms, int rate) {
        int frames = fmod.FSOUND_DSP_GetBufferLength();
        return static_cast<int>((static_cast<int64_t>(ms) * rate / 1000 + frames - 1) / frames);
    }
    int16_t PeakOf(size_t from, size_t to) const {
        int peak = 0;
        for (size_t i = from; i < std::min(to, capture.samples.size()); ++i)
            peak = std::max(peak, std::abs(static_cast<int>(capture.samples[i])));
        return static_cast<int16_t>(peak);
    }

    TFMOD fmod;
    SoundTempDir dir;
    Capture capture;
    FSoundDSPUnit unit = nullptr;
};

TEST_F(SoundLibTest, EveryEntryPointTheSoundSystemCallsIsFound) {
    EXPECT_NE(fmod.FSOUND_SetOutput, nullptr);
    EXPECT_NE(fmod.FSOUND_GetNumDrivers, nullptr);
    EXPECT_NE(fmod.FSOUND_SetDriver, nullptr);
    EXPECT_NE(fmod.FSOUND_SetBufferSize, nullptr);
    EXPECT_NE(fmod.FSOUND_SetMixer, nullptr);
    EXPECT_NE(fmod.FSOUND_SetHWND, nullptr);
    EXPECT_NE(fmod.FSOUND_Init, nullptr);
    EXPECT_NE(fmod.FSOUND_DSP_GetBufferLength, nullptr);
    EXPECT_NE(fmod.FSOUND_Close, nullptr);
    EXPECT_NE(fmod.FSOUND_Update, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_Open, nullptr);
    EXPECT_NE(fmod.FSOUND_Sample_SetMode, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_Close, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_Play, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_Stop, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_GetTime, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_SetTime, nullptr);
    EXPECT_NE(fmod.FSOUND_Stream_GetLengthMs, nullptr);
    EXPECT_NE(fmod.FSOUND_SetVolume, nullptr);
    EXPECT_NE(fmod.FSOUND_SetPaused, nullptr);
    EXPECT_NE(fmod.FSOUND_GetPaused, nullptr);
    EXPECT_NE(fmod.FSOUND_IsPlaying, nullptr);
    EXPECT_NE(fmod.FSOUND_StopSound, nullptr);
    EXPECT_NE(fmod.FMUSIC_LoadSong, nullptr);
    EXPECT_NE(fmod.FMUSIC_FreeSong, nullptr);
    EXPECT_NE(fmod.FMUSIC_PlaySong, nullptr);
    EXPECT_NE(fmod.FMUSIC_StopSong, nullptr);
    EXPECT_NE(fmod.FMUSIC_StopAllSongs, nullptr);
    EXPECT_NE(fmod.FMUSIC_SetMasterVolume, nullptr);
    EXPECT_NE(fmod.FMUSIC_SetPaused, nullptr);
    EXPECT_NE(fmod.FMUSIC_GetPaused, nullptr);
    EXPECT_NE(fmod.FMUSIC_IsPlaying, nullptr);
    EXPECT_NE(fmod.FMUSIC_GetTime, nullptr);
    EXPECT_NE(fmod.FSOUND_DSP_Create, nullptr);
    EXPECT_NE(fmod.FSOUND_DSP_SetActive, nullptr);
    EXPECT_NE(fmod.FSOUND_DSP_Free, nullptr);
    // Entry points the library does not offer stay null, and are counted in the list.
    EXPECT_EQ(fmod.EntryPoints[static_cast<size_t>(TFMOD::IndexOf("_FSOUND_CD_Eject@4"))], nullptr);
    EXPECT_EQ(TFMOD::IndexOf("_FSOUND_SetOutput@4"), 0);
    EXPECT_EQ(TFMOD::IndexOf("_FMUSIC_GetUserData@4"), 197);
}

TEST_F(SoundLibTest, StreamVolumeScalesTheMixedAmplitude) {
    StartNonRealtime(44100);
    std::string constant = dir.File("dc.wav");
    std::string sine = dir.File("sine.wav");
    WriteConstant(constant, 44100, 1.0, 10000);
    WriteSine(sine, 44100, 1.0, 441.0, 20000);

    FSoundStream s = fmod.FSOUND_Stream_Open(constant.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fmod.FSOUND_Stream_GetLengthMs(s), 1000);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    ASSERT_GE(ch, 0);
    fmod.FSOUND_SetVolume(ch, 128);
    capture.samples.clear();
    Mix(2);
    ASSERT_FALSE(capture.samples.empty());
    EXPECT_EQ(capture.samples[0], 10000 * 128 / 255);
    EXPECT_EQ(capture.samples[1], 10000 * 128 / 255);
    fmod.FSOUND_Stream_Close(s);

    s = fmod.FSOUND_Stream_Open(sine.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    ch = fmod.FSOUND_Stream_Play(-1, s);
    fmod.FSOUND_SetVolume(ch, 64);
    capture.samples.clear();
    Mix(4);
    EXPECT_NEAR(PeakOf(0, capture.samples.size()), 20000 * 64 / 255, 3);
    fmod.FSOUND_SetVolume(ch, 255);
    capture.samples.clear();
    Mix(4);
    EXPECT_NEAR(PeakOf(0, capture.samples.size()), 20000, 3);
    fmod.FSOUND_Stream_Close(s);
}

TEST_F(SoundLibTest, TwoStreamsMixAndAStreamEnds) {
    StartNonRealtime(22050);
    std::string a = dir.File("a.wav");
    std::string b = dir.File("b.WAV");
    WriteConstant(a, 22050, 0.5, 1000);
    WriteConstant(b, 11025, 2.0, 2000);  // resampled to the mix rate
    FSoundStream sa = fmod.FSOUND_Stream_Open(a.c_str(), 0x131, 0, 0);
    FSoundStream sb = fmod.FSOUND_Stream_Open(b.c_str(), 0x131, 0, 0);
    ASSERT_NE(sa, nullptr);
    ASSERT_NE(sb, nullptr);
    int ca = fmod.FSOUND_Stream_Play(-1, sa);
    int cb = fmod.FSOUND_Stream_Play(-1, sb);
    ASSERT_NE(ca, cb);
    Mix(2);
    size_t mid = capture.samples.size() / 2;
    EXPECT_NEAR(capture.samples[mid], 3000, 2);
    // The short stream ends: its channel stops, its position stays at its end.
    Mix(BuffersFor(700, 22050));
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(ca));
    EXPECT_TRUE(fmod.FSOUND_IsPlaying(cb));
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(sa), 500);
    EXPECT_NEAR(capture.samples.back(), 2000, 2);
    EXPECT_EQ(fmod.FSOUND_GetChannelsPlaying(), 1);
    // A finished sound's channel handle no longer reaches the channel's next sound.
    int again = fmod.FSOUND_Stream_Play(-1, sa);
    EXPECT_NE(again, ca);
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(ca));
    EXPECT_FALSE(fmod.FSOUND_SetVolume(ca, 0));
    EXPECT_EQ(fmod.FSOUND_GetVolume(again), 255);
    // Playing a finished stream again starts it from the beginning.
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(sa), 0);
    // -3 stops every channel.
    fmod.FSOUND_StopSound(-3);
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(again));
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(cb));
    EXPECT_EQ(fmod.FSOUND_GetChannelsPlaying(), 0);
}

TEST_F(SoundLibTest, PauseHoldsThePositionAndSeekLandsWithinOneBuffer) {
    const int rate = 8000;
    StartNonRealtime(rate);
    std::string ramp = dir.File("ramp.wav");
    // Each frame holds its own number, so the mixed data tells where the stream stands.
    WriteWav(ramp, rate, 2, 3 * rate, [](int i, int) { return static_cast<int16_t>(i); });
    FSoundStream s = fmod.FSOUND_Stream_Open(ramp.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    Mix(4);
    int before = fmod.FSOUND_Stream_GetTime(s);
    EXPECT_GT(before, 0);
    fmod.FSOUND_SetPaused(ch, -1);
    EXPECT_TRUE(fmod.FSOUND_GetPaused(ch));
    EXPECT_TRUE(fmod.FSOUND_IsPlaying(ch));
    Mix(4);
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(s), before);
    fmod.FSOUND_SetPaused(ch, 0);
    Mix(1);
    EXPECT_GT(fmod.FSOUND_Stream_GetTime(s), before);

    const int buffer = fmod.FSOUND_DSP_GetBufferLength();
    fmod.FSOUND_Stream_SetTime(s, 1500);
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(s), 1500);
    capture.samples.clear();
    Mix(1);
    ASSERT_FALSE(capture.samples.empty());
    EXPECT_NEAR(capture.samples[0], 1500 * rate / 1000, buffer);
    // Seeking back also lands there.
    fmod.FSOUND_Stream_SetTime(s, 250);
    capture.samples.clear();
    Mix(1);
    EXPECT_NEAR(capture.samples[0], 250 * rate / 1000, buffer);
    // Stop rewinds the stream and leaves it open.
    fmod.FSOUND_Stream_Stop(s);
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(ch));
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(s), 0);
    EXPECT_GT(fmod.FSOUND_Stream_Play(-1, s), 0);
}

TEST_F(SoundLibTest, TrackerModuleAndMidiFilePlayAsSongs) {
    StartNonRealtime(22050);
    std::string mod = dir.File("tune.mod");
    std::string mid = dir.File("tune.mid");
    WriteModule(mod);
    WriteMidi(mid);

    for (const std::string& file : {mod, mid}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0), nullptr);
        FMusicModule song = fmod.FMUSIC_LoadSong(file.c_str());
        ASSERT_NE(song, nullptr);
        EXPECT_FALSE(fmod.FMUSIC_IsPlaying(song));
        ASSERT_TRUE(fmod.FMUSIC_PlaySong(song));
        fmod.FMUSIC_SetMasterVolume(song, 255);
        capture.samples.clear();
        Mix(BuffersFor(200, 22050));
        EXPECT_TRUE(fmod.FMUSIC_IsPlaying(song));
        EXPECT_GE(fmod.FMUSIC_GetTime(song), 150);
        EXPECT_GT(PeakOf(0, capture.samples.size()), 100);

        fmod.FMUSIC_SetPaused(song, -1);
        EXPECT_TRUE(fmod.FMUSIC_GetPaused(song));
        int t = fmod.FMUSIC_GetTime(song);
        Mix(4);
        EXPECT_EQ(fmod.FMUSIC_GetTime(song), t);
        fmod.FMUSIC_SetPaused(song, 0);

        // Both songs end within a few seconds.
        for (int i = 0; i < 200 && fmod.FMUSIC_IsPlaying(song); ++i)
            Mix(BuffersFor(100, 22050));
        EXPECT_FALSE(fmod.FMUSIC_IsPlaying(song));
        fmod.FMUSIC_FreeSong(song);
        EXPECT_FALSE(fmod.FMUSIC_IsPlaying(song));
    }
}

TEST_F(SoundLibTest, AFileThatIsNeitherStreamNorSongGivesZero) {
    StartNonRealtime(44100);
    std::string text = dir.File("notes.txt");
    WriteFile(text, std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_EQ(fmod.FSOUND_Stream_Open(text.c_str(), 0x131, 0, 0), nullptr);
    EXPECT_EQ(fmod.FMUSIC_LoadSong(text.c_str()), nullptr);
    std::string missing = dir.File("missing.wav");
    EXPECT_EQ(fmod.FSOUND_Stream_Open(missing.c_str(), 0x131, 0, 0), nullptr);
    EXPECT_EQ(fmod.FMUSIC_LoadSong(missing.c_str()), nullptr);
    // Stale or foreign handles are ignored.
    EXPECT_EQ(fmod.FSOUND_Stream_GetLengthMs(reinterpret_cast<FSoundStream>(12345)), 0);
    EXPECT_FALSE(fmod.FMUSIC_PlaySong(reinterpret_cast<FMusicModule>(12345)));
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(-1));
}

// The file decoded with FFmpeg alone, each decoded frame converted whole, as stereo 16-bit
// frames at rate: what the library must mix, piece by piece, sample for sample.
std::vector<int16_t> ConvertedWhole(const std::string& path, int rate) {
    // The process's own loading, kept to its end: unloaded, FFmpeg's libraries would take
    // OpenMP's and ZeroMQ's start-up allocations with them, which the leak check reports.
    std::string why;
    const TFFmpegFunctions* loaded = FFmpeg(why);
    if (!loaded) {
        ADD_FAILURE() << why;
        return {};
    }
    const TFFmpegFunctions& av = *loaded;
    AVFormatContext* format = nullptr;
    const AVCodec* decoder = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVFrame* frame = av.av_frame_alloc();
    AVPacket* packet = av.av_packet_alloc();
    std::vector<int16_t> out;
    auto append = [&](const uint8_t** in, int frames) {
        const int most = av.swr_get_out_samples(swr, frames);
        if (most <= 0) return;
        const size_t old = out.size();
        out.resize(old + size_t(most) * 2);
        uint8_t* dst = reinterpret_cast<uint8_t*>(out.data() + old);
        out.resize(old + size_t(std::max(0, av.swr_convert(swr, &dst, most, in, frames))) * 2);
    };
    int index = -1;
    if (av.avformat_open_input(&format, path.c_str(), nullptr, nullptr) >= 0 &&
        av.avformat_find_stream_info(format, nullptr) >= 0 &&
        (index = av.av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0)) >= 0 &&
        (codec = av.avcodec_alloc_context3(decoder)) &&
        av.avcodec_parameters_to_context(codec, format->streams[index]->codecpar) >= 0 &&
        av.avcodec_open2(codec, decoder, nullptr) >= 0) {
        AVChannelLayout in{};
        av.av_channel_layout_default(&in, codec->ch_layout.nb_channels);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        av.swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, rate, &in, codec->sample_fmt, codec->sample_rate, 0,
                               nullptr);
        const double both[2] = {1.0, 1.0};
        if (codec->ch_layout.nb_channels == 1) av.swr_set_matrix(swr, both, 1);
        if (int64_t(rate) * 4 <= codec->sample_rate) av.av_opt_set_int(swr, "filter_size", 8, 0);
        av.swr_init(swr);
        bool draining = false;
        for (;;) {
            const int rc = av.avcodec_receive_frame(codec, frame);
            if (rc == 0) {
                append(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
                continue;
            }
            if (rc != AVERROR(EAGAIN) || draining) break;
            if (av.av_read_frame(format, packet) < 0) {
                draining = true;
                av.avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == index) av.avcodec_send_packet(codec, packet);
            av.av_packet_unref(packet);
        }
        append(nullptr, 0);
    } else {
        ADD_FAILURE() << "FFmpeg does not decode " << path;
    }
    av.swr_free(&swr);
    av.av_packet_free(&packet);
    av.av_frame_free(&frame);
    av.avcodec_free_context(&codec);
    av.avformat_close_input(&format);
    return out;
}

// A local server that takes connections and never answers.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/lied.mp3";
    }
    ~SilentServer() {
        if (fd_ >= 0)
            close(fd_);
    }
    const std::string& Url() const { return url_; }

private:
    int fd_ = -1;
    std::string url_;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every open has a deadline of a few seconds; these bounds only tell a deadline from a hang.
// A rate no sound card plays is a broken file: the stream does not open.
TEST_F(SoundLibTest, StreamRatesOutsideWhatSoundCardsPlayDoNotOpen) {
    StartNonRealtime(44100);
    const struct {
        uint32_t Rate;
        bool Opens;
    } cases[] = {{1, false}, {999, false}, {1000, true}, {768000, true}, {768001, false}, {0x7FFFFFFFu, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rate);
        const std::string path = dir.File("rate.wav");
        WriteFile(path, WavClaimingRate(c.Rate, 4096));
        FSoundStream s = fmod.FSOUND_Stream_Open(path.c_str(), 0x131, 0, 0);
        EXPECT_EQ(s != nullptr, c.Opens);
        if (s) fmod.FSOUND_Stream_Close(s);
    }
}

// An MP3 whose last frame turns mono plays to its end: the resampler follows the frames.
TEST_F(SoundLibTest, AStreamWhoseFramesChangeTheirChannelsPlaysOn) {
    StartNonRealtime(44100);
    const std::string path = std::string(GC_FUZZ_CORPUS) + "/../regressions/sound_file/mp3-stereo-frames-then-a-mono-one";
    FSoundStream s = fmod.FSOUND_Stream_Open(path.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    const int ch = fmod.FSOUND_Stream_Play(-1, s);
    for (int i = 0; i < 100 && fmod.FSOUND_IsPlaying(ch); ++i) Mix(1);
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(ch));
    EXPECT_TRUE(std::any_of(capture.samples.begin(), capture.samples.end(), [](int16_t v) { return v != 0; }));
    fmod.FSOUND_Stream_Close(s);
}

// However a decoded frame resamples (to more frames than one conversion adds, as 4,096
// samples at 8000 Hz do, or to fewer), every sample is mixed once, in order.
TEST_F(SoundLibTest, AStreamMixesEverySampleOnceWhateverItsRate) {
    StartNonRealtime(44100);
    std::string corpus = std::string(GC_FUZZ_CORPUS) + "/sound_file/";
    struct TCase {
        const char* Name;
        std::function<std::string()> Path;
    };
    const TCase cases[] = {
        {"WAV at 44.1 kHz", [&] { std::string p = dir.File("44k.wav"); WriteSine(p, 44100, 1.0, 441, 12000); return p; }},
        {"WAV at 96 kHz", [&] { std::string p = dir.File("96k.wav"); WriteSine(p, 96000, 0.5, 1000, 12000); return p; }},
        {"8-bit mono WAV at 8000 Hz", [&] {
             std::string p = dir.File("8k.wav");
             WriteFile(p, WavClaimingRate(8000, 20000));
             return p;
         }},
        {"MP3", [&] { return corpus + "sine-44k.mp3"; }},
        {"Ogg Vorbis at 22.05 kHz", [&] { return corpus + "sine-22k.ogg"; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = c.Path();
        const std::vector<int16_t> whole = ConvertedWhole(path, 44100);
        ASSERT_GT(whole.size(), 2000u);
        FSoundStream s = fmod.FSOUND_Stream_Open(path.c_str(), 0x131, 0, 0);
        ASSERT_NE(s, nullptr);
        capture.samples.clear();
        const int ch = fmod.FSOUND_Stream_Play(-1, s);
        for (int i = 0; i < 200 && fmod.FSOUND_IsPlaying(ch); ++i) Mix(1);
        Mix(1);
        fmod.FSOUND_Stream_Close(s);
        ASSERT_GE(capture.samples.size(), whole.size());
        // Everything after the stream's end is silence.
        std::vector<int16_t> mixed = capture.samples;
        const auto tail = std::find_if(mixed.rbegin(), mixed.rend(), [](int16_t v) { return v != 0; });
        mixed.resize(std::max<size_t>(size_t(mixed.rend() - tail), whole.size()));
        EXPECT_EQ(mixed.size(), whole.size());
        EXPECT_TRUE(mixed == whole) << "the mixed samples differ from the decoded ones";
    }
}

TEST_F(SoundLibTest, AnOpenThatTakesTooLongGivesUpAndTheNextOneWorks) {
    StartNonRealtime(44100);
    SilentServer server;
    ASSERT_FALSE(server.Url().empty());
    // Zeros look like no audio at all: a bounded head of the file says so, however big.
    const std::string zeros = dir.File("stille.mp3");
    {
        std::ofstream f(zeros, std::ios::binary);
    }
    std::filesystem::resize_file(zeros, uint64_t(4) << 30);
    struct Case {
        const char* name;
        std::string path;
    };
    for (const Case& c : {Case{"a server that never answers", server.Url()}, Case{"4 GB of zeros", zeros}}) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fmod.FSOUND_Stream_Open(c.path.c_str(), 0x131, 0, 0), nullptr);
        EXPECT_LT(SecondsSince(start), 15.0);
    }
    // The library goes on: a readable file opens as before.
    const std::string wav = dir.File("ton.wav");
    WriteSine(wav, 44100, 0.5, 440, 8000);
    FSoundStream stream = fmod.FSOUND_Stream_Open(wav.c_str(), 0x131, 0, 0);
    EXPECT_NE(stream, nullptr);
    if (stream)
        fmod.FSOUND_Stream_Close(stream);
}

TEST_F(SoundLibTest, AQuitDuringASlowOpenEndsItAtOnce) {
    StartNonRealtime(44100);
    SilentServer server;
    ASSERT_FALSE(server.Url().empty());
    struct Case {
        const char* name;
        UINT msg;
        bool ends;
    };
    // A quit, a key, a click or a mouse move (all end a screen saver) ends the wait; a key
    // going up does not.
    const Case cases[] = {{"a quit", WM_QUIT, true},
                          {"a key", WM_KEYDOWN, true},
                          {"a click", WM_LBUTTONDOWN, true},
                          {"a move", WM_MOUSEMOVE, true},
                          {"a key going up", WM_KEYUP, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeMessageQueue queue;
        SetMessageQueue(&queue);
        std::thread poster([&queue, &c] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            queue.PostMessage(0, c.msg, 0, 0);
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fmod.FSOUND_Stream_Open(server.Url().c_str(), 0x131, 0, 0), nullptr);
        const double took = SecondsSince(start);
        poster.join();
        SetMessageQueue(nullptr);
        // Well before the open's own deadline, or not.
        if (c.ends)
            EXPECT_LT(took, 1.5);
        else
            EXPECT_GT(took, 2.0);
        // The message stays for the loop that ends the run.
        TMessage msg;
        EXPECT_TRUE(queue.PeekMessage(msg, PM_NOREMOVE));
        EXPECT_EQ(msg.Msg, c.msg);
    }
}

TEST_F(SoundLibTest, UnitsRunInPriorityOrderWhileActive) {
    StartNonRealtime(44100);
    std::vector<int> order;
    Capture late, early;
    late.id = 2;
    late.sharedOrder = &order;
    early.id = 1;
    early.sharedOrder = &order;
    FSoundDSPUnit u2 = fmod.FSOUND_DSP_Create(&CaptureCallback, 400, &late);
    FSoundDSPUnit u1 = fmod.FSOUND_DSP_Create(&CaptureCallback, 100, &early);
    fmod.FSOUND_DSP_SetActive(u2, -1);
    fmod.FSOUND_DSP_SetActive(u1, -1);
    Mix(1);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    fmod.FSOUND_DSP_SetActive(u1, 0);
    order.clear();
    Mix(1);
    EXPECT_EQ(order, (std::vector<int>{2}));
    fmod.FSOUND_DSP_Free(u2);
    order.clear();
    Mix(1);
    EXPECT_TRUE(order.empty());
    fmod.FSOUND_DSP_Free(u1);
    EXPECT_EQ(static_cast<int>(capture.samples.size()), 3 * 2 * fmod.FSOUND_DSP_GetBufferLength());
}

TEST_F(SoundLibTest, SilentOutputRunsInRealTime) {
    ASSERT_TRUE(fmod.FSOUND_SetOutput(0));
    EXPECT_EQ(fmod.FSOUND_GetNumDrivers(), 1);
    ASSERT_TRUE(fmod.FSOUND_SetDriver(0));
    ASSERT_TRUE(fmod.FSOUND_Init(44100, 32, 0));
    std::string a = dir.File("short.wav");
    WriteConstant(a, 44100, 0.2, 1000);
    FSoundStream s = fmod.FSOUND_Stream_Open(a.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    EXPECT_TRUE(fmod.FSOUND_IsPlaying(ch));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fmod.FSOUND_IsPlaying(ch) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fmod.FSOUND_IsPlaying(ch));
    EXPECT_EQ(fmod.FSOUND_Stream_GetTime(s), 200);
}

// SDL's dummy and disk drivers stand in for a sound card.
void PlayThroughSdl(TFMOD& fmod, const std::string& file) {
    ASSERT_TRUE(fmod.FSOUND_SetOutput(-1));
    ASSERT_GT(fmod.FSOUND_GetNumDrivers(), 0);
    ASSERT_TRUE(fmod.FSOUND_SetDriver(0));
    ASSERT_TRUE(fmod.FSOUND_Init(44100, 32, 2));
    FSoundStream s = fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fmod.FSOUND_Stream_GetTime(s) < 100 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(fmod.FSOUND_Stream_GetTime(s), 100);
    EXPECT_TRUE(fmod.FSOUND_IsPlaying(ch));
    fmod.FSOUND_Close();
}

TEST_F(SoundLibTest, SdlOutputsPlayOnTheDummyAndDiskDrivers) {
    std::string a = dir.File("long.wav");
    WriteConstant(a, 44100, 3.0, 1000);
    const char* old = std::getenv("SDL_AUDIODRIVER");
    std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    PlayThroughSdl(fmod, a);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    std::string raw = dir.File("out.raw");
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    PlayThroughSdl(fmod, a);
    EXPECT_GT(std::filesystem::file_size(raw), 0u);
    // Without any device the outputs offer no driver.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(fmod.FSOUND_SetOutput(2));
    EXPECT_EQ(fmod.FSOUND_GetNumDrivers(), 0);
    EXPECT_FALSE(fmod.FSOUND_SetDriver(0));
    EXPECT_FALSE(fmod.FSOUND_SetDriver(-1));
    EXPECT_TRUE(fmod.FSOUND_SetOutput(0));
    EXPECT_TRUE(fmod.FSOUND_SetDriver(0));
    if (old)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

TEST(SoundLibCopies, TwoCopiesFromTwoPathsKeepSeparateState) {
    SoundTempDir dir;
    std::string copy = dir.File("fmod.dll");
    std::filesystem::copy_file(LibraryPath(), copy);
    TFMOD first, second;
    ASSERT_TRUE(first.Load(LibraryPath()));
    ASSERT_TRUE(second.Load(copy));
    ASSERT_NE(first.FSOUND_Init, second.FSOUND_Init);
    ASSERT_TRUE(first.FSOUND_SetOutput(12));
    ASSERT_TRUE(first.FSOUND_Init(44100, 32, 0x80));
    ASSERT_TRUE(second.FSOUND_SetOutput(12));
    ASSERT_TRUE(second.FSOUND_SetBufferSize(1));
    ASSERT_TRUE(second.FSOUND_Init(4000, 32, 0x80));
    EXPECT_EQ(first.FSOUND_GetOutputRate(), 44100);
    EXPECT_EQ(second.FSOUND_GetOutputRate(), 4000);
    EXPECT_EQ(second.FSOUND_DSP_GetBufferLength(), 100);
    second.FSOUND_Close();
    EXPECT_EQ(first.FSOUND_GetOutputRate(), 44100);
    EXPECT_EQ(second.FSOUND_GetOutputRate(), 0);
    first.FSOUND_Close();
}

TEST(SoundLibBinding, AMissingLibraryDoesNotLoad) {
    TFMOD fmod;
    EXPECT_FALSE(fmod.Load("/nonexistent/fmod.dll"));
    EXPECT_FALSE(fmod.IsLoaded());
    EXPECT_EQ(fmod.FSOUND_Init, nullptr);
    EXPECT_EQ(UndecoratedName("_FSOUND_Init@12"), "FSOUND_Init");
    EXPECT_EQ(UndecoratedName("_FSOUND_Close@0"), "FSOUND_Close");
    EXPECT_EQ(UndecoratedName("plain"), "plain");
    EXPECT_EQ(UndecoratedName("_odd@x1"), "_odd@x1");
    EXPECT_EQ(UndecoratedName("_@4"), "_@4");
}

}  // namespace

namespace {

// The GUI thread calls while the silent output mixes on its own thread.
TEST_F(SoundLibTest, CallsAreSafeWhileTheMixerRuns) {
    ASSERT_TRUE(fmod.FSOUND_SetOutput(0));
    ASSERT_TRUE(fmod.FSOUND_SetBufferSize(25));
    ASSERT_TRUE(fmod.FSOUND_Init(22050, 8, 0));
    std::string a = dir.File("a.wav");
    WriteSine(a, 22050, 2.0, 300, 3000);
    std::vector<FSoundStream> streams;
    for (int i = 0; i < 4; ++i)
        streams.push_back(fmod.FSOUND_Stream_Open(a.c_str(), 0x131, 0, 0));
    for (int round = 0; round < 200; ++round) {
        FSoundStream s = streams[static_cast<size_t>(round % 4)];
        int ch = fmod.FSOUND_Stream_Play(-1, s);
        fmod.FSOUND_SetVolume(ch, round % 256);
        fmod.FSOUND_SetPaused(ch, round % 3 == 0 ? -1 : 0);
        fmod.FSOUND_Stream_SetTime(s, (round * 37) % 1900);
        EXPECT_GE(fmod.FSOUND_Stream_GetTime(s), 0);
        if (round % 5 == 0)
            fmod.FSOUND_Stream_Stop(s);
        if (round % 50 == 49) {
            fmod.FSOUND_Stream_Close(s);
            streams[static_cast<size_t>(round % 4)] = fmod.FSOUND_Stream_Open(a.c_str(), 0x131, 0, 0);
        }
        if (round % 20 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    fmod.FSOUND_StopSound(-3);
    EXPECT_EQ(fmod.FSOUND_GetChannelsPlaying(), 0);
}

}  // namespace

namespace {

// On the real-time outputs every stream decodes ahead on its own worker: volume calls go
// on while the mixer mixes 32 decoding streams, and the mixer itself never decodes, so
// such a call waits at most for a copy, never for a decode. On the on-demand output the
// mix routine decodes itself, which the same count shows.
TEST_F(SoundLibTest, VolumeCallsWhileThirtyTwoStreamsMixNeverWaitForADecode) {
    auto mixerDecodes = reinterpret_cast<long long (*)()>(GetProcAddress(fmod.Module, "gcsound_MixerDecodes"));
    ASSERT_NE(mixerDecodes, nullptr);
    ASSERT_TRUE(fmod.FSOUND_SetOutput(0));
    ASSERT_TRUE(fmod.FSOUND_SetBufferSize(25));
    ASSERT_TRUE(fmod.FSOUND_Init(44100, 32, 0));
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(dir.File("s" + std::to_string(i) + ".wav"));
        WriteSine(files.back(), i % 2 ? 22050 : 44100, 3.0, 200.0 + 50 * i, 3000);
    }
    std::vector<FSoundStream> streams;
    std::vector<int> channels;
    for (int i = 0; i < 32; ++i) {
        streams.push_back(fmod.FSOUND_Stream_Open(files[size_t(i % 4)].c_str(), 0x131, 0, 0));
        ASSERT_NE(streams.back(), nullptr);
        channels.push_back(fmod.FSOUND_Stream_Play(-1, streams.back()));
        ASSERT_GE(channels.back(), 0);
    }
    const long long before = mixerDecodes();
    auto allPlayedFor = [&](int ms) {
        return std::all_of(streams.begin(), streams.end(), [&](FSoundStream s) { return fmod.FSOUND_Stream_GetTime(s) >= ms; });
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int calls = 0;
    while (!allPlayedFor(400) && std::chrono::steady_clock::now() < until)
        for (int ch : channels) {
            ASSERT_TRUE(fmod.FSOUND_SetVolume(ch, calls % 256));
            ASSERT_TRUE(fmod.FSOUND_SetPaused(ch, 0));
            ++calls;
        }
    EXPECT_TRUE(allPlayedFor(400));
    EXPECT_EQ(fmod.FSOUND_GetChannelsPlaying(), 32);
    EXPECT_EQ(mixerDecodes(), before);
    fmod.FSOUND_Close();

    StartNonRealtime(44100);
    FSoundStream s = fmod.FSOUND_Stream_Open(files[0].c_str(), 0x131, 0, 0);
    fmod.FSOUND_Stream_Play(-1, s);
    Mix(2);
    EXPECT_GT(mixerDecodes(), before);
}

}  // namespace

namespace {

// Blocks the mixer produced, and how many of them were silent (the mixer's thread counts).
struct BlockCount {
    std::atomic<int> all{0};
    std::atomic<int> silent{0};
};

void* CountBlocks(void*, void* newBuffer, int length, void* user) {
    auto* c = static_cast<BlockCount*>(user);
    const auto* p = static_cast<const int16_t*>(newBuffer);
    c->all.fetch_add(1);
    if (std::all_of(p, p + length * 2, [](int16_t v) { return v == 0; }))
        c->silent.fetch_add(1);
    return newBuffer;
}

// Reads what the library writes to stderr meanwhile.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& file) : file_(file) {
        std::fflush(stderr);
        saved_ = dup(2);
        FILE* f = std::fopen(file.c_str(), "w");
        dup2(fileno(f), 2);
        std::fclose(f);
    }
    std::string Finish() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        std::ifstream in(file_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string file_;
    int saved_;
};

template <class Pred>
bool WaitFor(Pred pred) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A stream whose ring runs dry keeps its channel and its position, plays silence for the
// gap and says so on the debug output; once decoding goes on, so does the stream.
TEST_F(SoundLibTest, ADryRingPlaysSilenceAndSaysSo) {
    auto hold = reinterpret_cast<void (*)(int)>(GetProcAddress(fmod.Module, "gcsound_HoldDecoding"));
    ASSERT_NE(hold, nullptr);
    ASSERT_TRUE(fmod.FSOUND_SetOutput(0));
    ASSERT_TRUE(fmod.FSOUND_SetBufferSize(25));
    ASSERT_TRUE(fmod.FSOUND_Init(22050, 8, 0));
    BlockCount blocks;
    FSoundDSPUnit counter = fmod.FSOUND_DSP_Create(&CountBlocks, 300, &blocks);
    fmod.FSOUND_DSP_SetActive(counter, -1);
    std::string file = dir.File("long.wav");
    WriteConstant(file, 22050, 5.0, 1000);
    FSoundStream s = fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0);
    ASSERT_NE(s, nullptr);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    ASSERT_TRUE(WaitFor([&] { return fmod.FSOUND_Stream_GetTime(s) >= 100; }));

    setenv("GC_DEBUG", "1", 1);
    StderrCapture capture(dir.File("stderr.txt"));
    const int atHold = fmod.FSOUND_Stream_GetTime(s);
    // Blocks mixed before the stream started (while it opened) were silent too.
    const int silentBefore = blocks.silent.load();
    hold(1);
    // What the ring holds (a quarter to half a second) plays on, then silence while the
    // position stands still.
    const bool ranDry = WaitFor([&] { return blocks.silent.load() >= silentBefore + 4; });
    const int stalled = fmod.FSOUND_Stream_GetTime(s);
    const int before = blocks.all.load();
    WaitFor([&] { return blocks.all.load() >= before + 4; });
    const int stillStalled = fmod.FSOUND_Stream_GetTime(s);
    const bool playing = fmod.FSOUND_IsPlaying(ch) != 0;
    hold(0);
    const bool resumed = WaitFor([&] { return fmod.FSOUND_Stream_GetTime(s) >= stalled + 200; });
    const std::string said = capture.Finish();
    unsetenv("GC_DEBUG");

    EXPECT_TRUE(ranDry);
    EXPECT_EQ(stillStalled, stalled);
    EXPECT_GE(stalled, atHold + 200);
    EXPECT_TRUE(playing);
    EXPECT_TRUE(resumed);
    EXPECT_NE(said.find("long.wav\": buffer ran dry"), std::string::npos) << said;
    fmod.FSOUND_DSP_Free(counter);
}

// Counts the mixed frames that carry sound, from the output's own thread.
struct SoundedFrames {
    std::atomic<int> frames{0};
};

void* CountSounded(void*, void* newBuffer, int length, void* user) {
    auto* p = static_cast<const int16_t*>(newBuffer);
    int sounded = 0;
    for (int i = 0; i < length; ++i)
        sounded += p[2 * i] != 0 || p[2 * i + 1] != 0;
    static_cast<SoundedFrames*>(user)->frames += sounded;
    return newBuffer;
}

// With nothing to play the output rests (no SDL device, no silent mixing); the first sound
// after that plays whole, from its first frame, and the output rests again after it.
TEST_F(SoundLibTest, TheOutputRestsWhileNothingSoundsAndWakesWithTheNextSound) {
    auto resting = reinterpret_cast<int (*)()>(GetProcAddress(fmod.Module, "gcsound_OutputResting"));
    ASSERT_NE(resting, nullptr);
    std::string file = dir.File("short.wav");
    WriteConstant(file, 44100, 0.2, 1000);
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (int output : {-1, 0}) {
        SCOPED_TRACE(output);
        ASSERT_TRUE(fmod.FSOUND_SetOutput(output));
        ASSERT_TRUE(fmod.FSOUND_SetDriver(0));
        ASSERT_TRUE(fmod.FSOUND_Init(44100, 8, 0));
        SoundedFrames sounded;
        FSoundDSPUnit counter = fmod.FSOUND_DSP_Create(&CountSounded, 300, &sounded);
        fmod.FSOUND_DSP_SetActive(counter, -1);
        EXPECT_TRUE(WaitFor([&] { return resting() == 1; }));
        for (int round = 0; round < 2; ++round) {
            FSoundStream s = fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0);
            ASSERT_NE(s, nullptr);
            const int ch = fmod.FSOUND_Stream_Play(-1, s);
            EXPECT_EQ(resting(), 0);
            EXPECT_TRUE(WaitFor([&] { return !fmod.FSOUND_IsPlaying(ch); }));
            EXPECT_EQ(sounded.frames.load(), (round + 1) * 8820);
            EXPECT_TRUE(WaitFor([&] { return resting() == 1; }));
            fmod.FSOUND_Stream_Close(s);
        }
        fmod.FSOUND_DSP_Free(counter);
        fmod.FSOUND_Close();
    }
    if (old)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

}  // namespace

