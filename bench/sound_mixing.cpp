// Sound mixing costs: 32 streams mixed at once (share of one core, target under 5 %),
// and the waveform of 10 minutes of audio against decoding the same file alone
// (target: at most 1.5 times).
#include "media/FMODBinding.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Paths.h"
#include "../tests/soundlib/SoundFixtures.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

using namespace soundtest;

namespace {

using Clock = std::chrono::steady_clock;

void BM_MixThirtyTwoStreams(benchmark::State& state) {
    SoundTempDir dir;
    TFMOD fmod;
    if (!fmod.Load(LibraryPath()) || !fmod.FSOUND_SetOutput(12) || !fmod.FSOUND_Init(44100, 32, 0x80)) {
        state.SkipWithError("sound library not available");
        return;
    }
    std::vector<FSoundStream> streams;
    for (int i = 0; i < 32; ++i) {
        std::string file = dir.File("s" + std::to_string(i) + ".wav");
        WriteSine(file, i % 2 ? 44100 : 22050, 20.0, 200.0 + 10 * i, 2000);
        streams.push_back(fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0));
        int ch = fmod.FSOUND_Stream_Play(-1, streams.back());
        fmod.FSOUND_SetVolume(ch, 128);
    }
    const double bufferSeconds = fmod.FSOUND_DSP_GetBufferLength() / 44100.0;
    double audio = 0;
    auto start = Clock::now();
    for (auto _ : state) {
        fmod.FSOUND_Update();
        audio += bufferSeconds;
        // Streams end after 20 s of audio: start them over.
        if (fmod.FSOUND_GetChannelsPlaying() < 32) {
            state.PauseTiming();
            for (FSoundStream s : streams)
                if (fmod.FSOUND_Stream_GetTime(s) == 0 || fmod.FSOUND_GetChannelsPlaying() < 32)
                    fmod.FSOUND_Stream_Play(-1, s);
            state.ResumeTiming();
        }
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["core_share_percent"] = audio > 0 ? elapsed / audio * 100.0 : 0.0;
    fmod.FSOUND_Close();
}
BENCHMARK(BM_MixThirtyTwoStreams)->Unit(benchmark::kMicrosecond);

// Decoding alone: the same file streamed through the library at the waveform's mix rate.
double DecodeSeconds(const std::string& file) {
    TFMOD fmod;
    if (!fmod.Load(LibraryPath()) || !fmod.FSOUND_SetOutput(12))
        return -1;
    fmod.FSOUND_SetBufferSize(1);
    if (!fmod.FSOUND_Init(4000, 32, 0x80))
        return -1;
    auto start = Clock::now();
    FSoundStream s = fmod.FSOUND_Stream_Open(file.c_str(), 0x131, 0, 0);
    int ch = fmod.FSOUND_Stream_Play(-1, s);
    while (fmod.FSOUND_IsPlaying(ch))
        fmod.FSOUND_Update();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fmod.FSOUND_Close();
    return seconds;
}

void BM_WaveformOfTenMinutes(benchmark::State& state) {
    SoundTempDir dir;
    std::filesystem::create_directories(dir.File("Data"));
    std::filesystem::copy_file(LibraryPath(), dir.File("Data/fmod.dll"));
    AnsiString saved = SoundProgramFolder();
    SetSoundProgramFolder(FromPosixPath(dir.Path()));
    std::string file = dir.File("ten-minutes.wav");
    WriteWav(file, 22050, 1, 22050 * 600, [](int i, int) { return static_cast<int16_t>((i * 37) % 20000 - 10000); });
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
        decode += DecodeSeconds(file);
        state.ResumeTiming();
    }
    state.counters["ratio_to_decoding"] = decode > 0 ? wave / decode : 0.0;
    SetSoundProgramFolder(saved);
}
BENCHMARK(BM_WaveformOfTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
