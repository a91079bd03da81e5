// MIDI playing times: the tempo map, the tracks' last events, SMPTE timing, the RIFF
// wrapper, and damaged files. Files are written byte by byte here.
#include "media/MidiFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Be(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes Track(const Bytes& events) {
    Bytes b = {'M', 'T', 'r', 'k'};
    Be(b, static_cast<uint32_t>(events.size()), 4);
    b.insert(b.end(), events.begin(), events.end());
    return b;
}

Bytes Smf(uint16_t division, const std::vector<Bytes>& tracks, uint16_t format = 1) {
    Bytes b = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    Be(b, format, 2);
    Be(b, static_cast<uint32_t>(tracks.size()), 2);
    Be(b, division, 2);
    for (const Bytes& t : tracks) b.insert(b.end(), t.begin(), t.end());
    return b;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// Tempo 500000 us (120 bpm), 480 ticks per quarter note: a beat is 500 ms.
const Bytes kTempo120 = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
// A note held for 960 ticks (two beats).
const Bytes kTwoBeatNote = {0x00, 0x90, 0x3C, 0x64, 0x87, 0x40, 0x80, 0x3C, 0x00};

int32_t Time(const Bytes& b) { return MidiPlayingTime(b.data(), b.size()); }

struct Case {
    const char* Name;
    Bytes File;
    int32_t Ms;
};

TEST(MidiFile, PlayingTimes) {
    const Case cases[] = {
        {"no tempo event: 120 bpm", Smf(480, {Track(Cat({kTwoBeatNote, kEnd}))}), 1000},
        {"explicit 120 bpm", Smf(480, {Track(Cat({kTempo120, kTwoBeatNote, kEnd}))}), 1000},
        // One beat at 120 bpm, then 60 bpm (1000000 us) for another beat.
        {"tempo change mid-way",
         Smf(480, {Track(Cat({kTempo120, {0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,
                                          0x83, 0x60, 0x80, 0x3C, 0x00},
                              kEnd}))}),
         1500},
        // The tempo map in the first track, the notes in the second; a later end
        // event with a delta counts as the last event.
        {"format 1: tempo in the conductor track",
         Smf(96, {Track(Cat({{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}, kEnd})),
                  Track(Cat({{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00}, {0x60, 0xFF, 0x2F, 0x00}}))}),
         2000},
        // Running status, a system-exclusive message and a text event between notes.
        {"running status, sysex, meta text",
         Smf(480, {Track(Cat({{0x00, 0x90, 0x3C, 0x64, 0x00, 0x40, 0x64, 0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00,
                               0xFF, 0x01, 0x02, 'h', 'i', 0x83, 0x60, 0x80, 0x3C, 0x00, 0x00, 0x40, 0x00},
                              kEnd}))}),
         500},
        {"program change takes one data byte",
         Smf(480, {Track(Cat({{0x00, 0xC0, 0x05, 0x83, 0x60, 0xD0, 0x10}, kEnd}))}), 500},
        // 25 frames per second, 40 ticks per frame: a tick is 1 ms.
        {"SMPTE timing", Smf(0xE728, {Track(Cat({{0x00, 0x90, 0x3C, 0x64, 0x87, 0x68, 0x80, 0x3C, 0x00}, kEnd}))}),
         1000},
        {"a track without its end event", Smf(480, {Track(kTwoBeatNote)}), 1000},
        {"events after the end are not played",
         Smf(480, {Track(Cat({kTwoBeatNote, kEnd, {0x87, 0x40, 0x90, 0x3C, 0x64}}))}), 1000},
        {"one tick rounds up", Smf(480, {Track({0x01, 0xFF, 0x2F, 0x00})}), 2},
        {"empty song", Smf(480, {Track(kEnd)}), 0},
        // Damaged files.
        {"no MIDI file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, -1},
        {"header cut short", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, -1},
        {"division 0", Smf(0, {Track(kEnd)}), -1},
        {"fewer tracks than the header counts", [] {
             Bytes b = Smf(480, {Track(kEnd)});
             b[11] = 2;
             return b;
         }(), -1},
        {"track longer than the file", [] {
             Bytes b = Smf(480, {Track(Cat({kTwoBeatNote, kEnd}))});
             b.resize(b.size() - 3);
             return b;
         }(), -1},
        {"data byte without status", Smf(480, {Track(Cat({{0x00, 0x3C, 0x64}, kEnd}))}), -1},
        {"variable length of five bytes", Smf(480, {Track({0x81, 0x81, 0x81, 0x81, 0x01, 0xFF, 0x2F, 0x00})}), -1},
        {"meta event longer than its track", Smf(480, {Track({0x00, 0xFF, 0x01, 0x10, 'a'})}), -1},
        {"system real-time byte in a track", Smf(480, {Track(Cat({{0x00, 0xF8}, kEnd}))}), -1},
        // About 2^28 ticks at a slow tempo: far beyond 32 bits of ms.
        {"too long to tell", Smf(1, {Track({0x00, 0xFF, 0x51, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF,
                                            0x2F, 0x00})}),
         -1},
    };
    for (const Case& c : cases) EXPECT_EQ(Time(c.File), c.Ms) << c.Name;
}

TEST(MidiFile, ChunkOfAnotherKindBetweenTracksIsSkipped) {
    Bytes b = Smf(480, {Track(Cat({kTempo120, kEnd})), Track(Cat({kTwoBeatNote, kEnd}))});
    const Bytes other = {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2};
    const size_t secondTrack = 14 + 8 + 11;
    b.insert(b.begin() + static_cast<long>(secondTrack), other.begin(), other.end());
    EXPECT_EQ(Time(b), 1000);
}

TEST(MidiFile, RiffWrappedSongAndRecognition) {
    const Bytes smf = Smf(480, {Track(Cat({kTwoBeatNote, kEnd}))});
    Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0,
                  'd', 'a', 't', 'a', static_cast<uint8_t>(smf.size()), 0, 0, 0};
    riff.insert(riff.end(), smf.begin(), smf.end());
    EXPECT_EQ(Time(riff), 1000);
    EXPECT_TRUE(LooksLikeMidiFile(smf.data(), smf.size()));
    EXPECT_TRUE(LooksLikeMidiFile(riff.data(), riff.size()));
    const Bytes wave = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    EXPECT_FALSE(LooksLikeMidiFile(wave.data(), wave.size()));
    EXPECT_FALSE(LooksLikeMidiFile(smf.data(), 3));
}

}  // namespace
