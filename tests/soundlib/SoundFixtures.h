// Audio fixtures written by the tests themselves, and the way to our sound library.
#pragma once

#include "TestSupport.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace soundtest {

// The sound library of the build: <build>/soundlib/fmod.dll, found from the test program.
inline std::string LibraryPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "fmod.dll";
    buf[n] = 0;
    std::filesystem::path exe(buf);
    return (exe.parent_path().parent_path() / "soundlib" / "fmod.dll").string();
}

inline void Put16(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(tag[i]));
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// 16-bit PCM WAV; sample(frame, channel) gives each value.
inline void WriteWav(const std::string& path, int rate, int channels, int frames,
                     const std::function<int16_t(int, int)>& sample) {
    std::vector<uint8_t> b;
    uint32_t data = static_cast<uint32_t>(frames * channels * 2);
    PutTag(b, "RIFF");
    Put32(b, 36 + data);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, static_cast<unsigned>(channels));
    Put32(b, static_cast<uint32_t>(rate));
    Put32(b, static_cast<uint32_t>(rate * channels * 2));
    Put16(b, static_cast<unsigned>(channels * 2));
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, data);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            Put16(b, static_cast<uint16_t>(sample(i, c)));
    WriteFile(path, b);
}

// An 8-bit mono PCM WAV that claims rate, of frames samples rising and falling. FFmpeg
// reads a block at a time, 4 KB or blockAlign bytes if that is more: one decoded frame.
inline std::vector<uint8_t> WavClaimingRate(uint32_t rate, int frames, uint16_t blockAlign = 1) {
    std::vector<uint8_t> b;
    b.reserve(44 + static_cast<size_t>(frames));
    PutTag(b, "RIFF");
    Put32(b, 36 + static_cast<uint32_t>(frames));
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, 1);
    Put32(b, rate);
    Put32(b, rate);
    Put16(b, blockAlign);
    Put16(b, 8);
    PutTag(b, "data");
    Put32(b, static_cast<uint32_t>(frames));
    for (int i = 0; i < frames; ++i)
        b.push_back(static_cast<uint8_t>(128 + (i % 64 < 32 ? i % 32 : 32 - i % 32) * 3));
    return b;
}

// A 16-bit mono WAV of 2,000 samples at 44.1 kHz, then a LIST chunk whose INFO sub-chunk
// (a title) claims 2 GB in 4 KB.
inline std::vector<uint8_t> WavWithInfoClaiming2GB() {
    std::vector<uint8_t> b;
    b.reserve(4096);
    const int frames = 2000;
    PutTag(b, "RIFF");
    Put32(b, 0x7FFFFFF0u);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, 1);
    Put32(b, 44100);
    Put32(b, 44100 * 2);
    Put16(b, 2);
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, frames * 2);
    for (int i = 0; i < frames; ++i)
        Put16(b, static_cast<uint16_t>(std::lround(8000 * std::sin(2 * M_PI * 441.0 * i / 44100))));
    PutTag(b, "LIST");
    Put32(b, 0x7FFFFF00u);
    PutTag(b, "INFO");
    PutTag(b, "INAM");
    Put32(b, 0x7FFFF000u);
    while (b.size() < 4096)
        b.push_back('a');
    return b;
}

inline void WriteSine(const std::string& path, int rate, double seconds, double freq, int amplitude) {
    WriteWav(path, rate, 2, static_cast<int>(rate * seconds), [&](int i, int) {
        return static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freq * i / rate)));
    });
}

inline void WriteConstant(const std::string& path, int rate, double seconds, int16_t value) {
    WriteWav(path, rate, 2, static_cast<int>(rate * seconds), [&](int, int) { return value; });
}

// A four-channel tracker module: one looped square-wave sample, one note, and a pattern
// break after two rows so that the song ends after a fraction of a second.
inline void WriteModule(const std::string& path) {
    std::vector<uint8_t> b;
    const char title[20] = "gc test";
    b.insert(b.end(), title, title + 20);
    for (int s = 0; s < 31; ++s) {
        std::vector<uint8_t> header(30, 0);
        if (s == 0) {
            header[22] = 0;   // length in words, big-endian: 32 words
            header[23] = 32;
            header[24] = 0;   // finetune
            header[25] = 64;  // volume
            header[26] = 0;   // loop start
            header[27] = 0;
            header[28] = 0;   // loop length: 32 words
            header[29] = 32;
        }
        b.insert(b.end(), header.begin(), header.end());
    }
    b.push_back(1);    // song length: one order
    b.push_back(127);  // restart byte
    std::vector<uint8_t> orders(128, 0);
    b.insert(b.end(), orders.begin(), orders.end());
    PutTag(b, "M.K.");
    std::vector<uint8_t> pattern(64 * 4 * 4, 0);
    // Row 0, channel 0: sample 1, period 428.
    pattern[0] = 0x01;
    pattern[1] = 0xAC;
    pattern[2] = 0x10;
    pattern[3] = 0x00;
    // Row 1, channel 1: pattern break (D00) ends the song.
    pattern[16 + 4 + 2] = 0x0D;
    b.insert(b.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 64; ++i)
        b.push_back(i < 32 ? 0x60 : 0xA0);
    WriteFile(path, b);
}

// A one-track MIDI file: one note of one beat at 120 beats per minute.
inline void WriteMidi(const std::string& path) {
    std::vector<uint8_t> b;
    PutTag(b, "MThd");
    b.insert(b.end(), {0, 0, 0, 6, 0, 0, 0, 1, 0, 96});
    std::vector<uint8_t> track = {0x00, 0xC0, 0x00,              // program 0
                                  0x00, 0x90, 0x3C, 0x64,        // note on
                                  0x60, 0x80, 0x3C, 0x00,        // note off after one beat
                                  0x00, 0xFF, 0x2F, 0x00};       // end of track
    PutTag(b, "MTrk");
    b.insert(b.end(), {0, 0, 0, static_cast<uint8_t>(track.size())});
    b.insert(b.end(), track.begin(), track.end());
    WriteFile(path, b);
}

// The shared temporary folder, with file names as plain strings.
class SoundTempDir : public ::TempDir {
public:
    std::string File(const std::string& name) const { return *this / name; }
};

}  // namespace soundtest
