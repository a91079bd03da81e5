// Writes a short tune as a Standard MIDI file, for the demo's music: flute over piano
// arpeggios and a bass, I-V-vi-IV twice round in C major, slowing down into the
// closing chord (a tempo map of four tempi). The same call writes the same bytes.

#include "media/MidiFile.h"
#include "platform/AtomicFile.h"
#include "tools/ToolCalls.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: glowcanvas-tune OUT.mid     writes the demo's tune (about 45 s) and prints its\n"
    "                                   playing time\n"
    "       glowcanvas-tune --help\n";

constexpr int kBeat = 480;  // ticks per quarter note
constexpr int kBar = 4 * kBeat;

struct TEvent {
    int Tick;
    int Order;  // at one tick: tempo and program first, note offs before note ons
    std::vector<uint8_t> Bytes;
};

class TTrack {
public:
    void Meta(int tick, uint8_t type, std::vector<uint8_t> data) {
        std::vector<uint8_t> b = {0xFF, type, static_cast<uint8_t>(data.size())};
        b.insert(b.end(), data.begin(), data.end());
        events_.push_back({tick, 0, b});
    }
    void Tempo(int tick, int beatsPerMinute) {
        const uint32_t us = 60000000u / static_cast<uint32_t>(beatsPerMinute);
        Meta(tick, 0x51, {uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)});
    }
    void Program(int tick, int channel, int program) {
        events_.push_back({tick, 0, {uint8_t(0xC0 | channel), uint8_t(program)}});
    }
    void Note(int tick, int length, int channel, int key, int velocity) {
        events_.push_back({tick, 2, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)}});
        events_.push_back({tick + length, 1, {uint8_t(0x80 | channel), uint8_t(key), 0}});
    }
    // The chunk: events in time order, delta times, the end of the track at end.
    std::vector<uint8_t> Chunk(int end) {
        std::stable_sort(events_.begin(), events_.end(), [](const TEvent& a, const TEvent& b) {
            return a.Tick != b.Tick ? a.Tick < b.Tick : a.Order < b.Order;
        });
        events_.push_back({std::max(end, events_.empty() ? 0 : events_.back().Tick), 3, {0xFF, 0x2F, 0x00}});
        std::vector<uint8_t> data;
        int last = 0;
        for (const TEvent& e : events_) {
            VarLen(data, static_cast<uint32_t>(e.Tick - last));
            last = e.Tick;
            data.insert(data.end(), e.Bytes.begin(), e.Bytes.end());
        }
        std::vector<uint8_t> chunk = {'M', 'T', 'r', 'k'};
        BigEndian(chunk, static_cast<uint32_t>(data.size()), 4);
        chunk.insert(chunk.end(), data.begin(), data.end());
        return chunk;
    }

    static void BigEndian(std::vector<uint8_t>& b, uint32_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

private:
    static void VarLen(std::vector<uint8_t>& b, uint32_t v) {
        uint8_t groups[4];
        int n = 0;
        do {
            groups[n++] = v & 0x7F;
            v >>= 7;
        } while (v && n < 4);
        while (n-- > 0) b.push_back(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
    }

    std::vector<TEvent> events_;
};

enum : int { C4 = 60, D4 = 62, E4 = 64, F4 = 65, G4 = 67, A4 = 69, B4 = 71, C5 = 72, D5 = 74, E5 = 76, F5 = 77, G5 = 79 };

// One bar of melody: (start in eighths, length in eighths, key).
struct TMelodyNote {
    int Start, Length, Key;
};
using TMelodyBar = std::vector<TMelodyNote>;

// Root, third and fifth in the bass's octave.
struct TChord {
    int Root, Third, Fifth;
};
const TChord kC{48, 52, 55}, kG{43, 47, 50}, kAm{45, 48, 52}, kF{41, 45, 48};

const TChord kProgression[] = {kC, kG, kAm, kF, kC, kG, kAm, kF};

// The first time round the melody climbs; the second time it answers and falls.
const TMelodyBar kFirst[] = {
    {{0, 2, E4}, {2, 2, G4}, {4, 4, C5}},
    {{0, 2, B4}, {2, 1, A4}, {3, 1, G4}, {4, 4, D4}},
    {{0, 2, C5}, {2, 1, B4}, {3, 1, A4}, {4, 4, E4}},
    {{0, 2, F4}, {2, 2, A4}, {4, 2, G4}, {6, 2, F4}},
    {{0, 1, G4}, {1, 1, A4}, {2, 1, G4}, {3, 1, E4}, {4, 4, C5}},
    {{0, 2, D5}, {2, 2, B4}, {4, 4, G4}},
    {{0, 3, A4}, {3, 1, G4}, {4, 2, E4}, {6, 2, C5}},
    {{0, 2, C5}, {2, 2, A4}, {4, 4, G4}},
};
const TMelodyBar kSecond[] = {
    {{0, 2, G5}, {2, 2, E5}, {4, 4, C5}},
    {{0, 2, D5}, {2, 1, E5}, {3, 1, D5}, {4, 4, B4}},
    {{0, 2, E5}, {2, 1, D5}, {3, 1, C5}, {4, 4, A4}},
    {{0, 2, F5}, {2, 2, E5}, {4, 2, D5}, {6, 2, C5}},
    {{0, 1, E5}, {1, 1, D5}, {2, 1, C5}, {3, 1, D5}, {4, 4, E5}},
    {{0, 2, D5}, {2, 2, B4}, {4, 4, G4}},
    {{0, 3, C5}, {3, 1, B4}, {4, 2, A4}, {6, 2, E4}},
    {{0, 2, F4}, {2, 2, A4}, {4, 2, G4}, {6, 2, D4}},
};

std::vector<uint8_t> Tune() {
    constexpr int kFlute = 0, kPiano = 1, kBass = 2;
    TTrack conductor, melody, piano, bass;
    const std::string name = "Glowcanvas";
    conductor.Meta(0, 0x03, std::vector<uint8_t>(name.begin(), name.end()));
    conductor.Meta(0, 0x58, {4, 2, 24, 8});  // 4/4
    conductor.Tempo(0, 96);
    melody.Program(0, kFlute, 73);
    piano.Program(0, kPiano, 0);
    bass.Program(0, kBass, 32);

    int bar = 0;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 8; ++i, ++bar) {
            const int at = bar * kBar;
            const TChord& c = kProgression[i];
            for (const TMelodyNote& n : (round == 0 ? kFirst : kSecond)[i])
                melody.Note(at + n.Start * kBeat / 2, n.Length * kBeat / 2 - 20, kFlute, n.Key + 12, 104);
            const int arpeggio[] = {c.Root + 12, c.Fifth + 12, c.Third + 24, c.Fifth + 12};
            for (int e = 0; e < 8; ++e)
                piano.Note(at + e * kBeat / 2, kBeat / 2, kPiano, arpeggio[e % 4], e % 4 == 0 ? 72 : 58);
            bass.Note(at, 2 * kBeat - 30, kBass, c.Root - 12, 100);
            bass.Note(at + 2 * kBeat, 2 * kBeat - 30, kBass, c.Fifth - 12, 92);
        }
    }
    // Slowing down over the last bar into the closing chord.
    conductor.Tempo((bar - 1) * kBar, 84);
    conductor.Tempo((bar - 1) * kBar + 2 * kBeat, 72);
    conductor.Tempo(bar * kBar, 60);
    const int close = bar * kBar;
    melody.Note(close, 4 * kBeat, kFlute, C5 + 12, 96);
    for (int key : {kC.Root + 12, kC.Third + 12, kC.Fifth + 12, kC.Root + 24})
        piano.Note(close, 4 * kBeat, kPiano, key, 64);
    bass.Note(close, 4 * kBeat, kBass, kC.Root - 12, 96);
    const int end = close + 5 * kBeat;  // a beat of silence to let the notes die away

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 4};
    TTrack::BigEndian(file, kBeat, 2);
    for (TTrack* t : {&conductor, &melody, &piano, &bass}) {
        const std::vector<uint8_t> chunk = t->Chunk(end);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (AsksForHelp(args, kUsage)) return 0;
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-'))
        return WrongCall("glowcanvas-tune", kUsage, "one output file, please");
    const std::vector<uint8_t> tune = Tune();
    try {
        TAtomicFile out(args[0]);
        out.WriteBuffer(tune.data(), static_cast<int64_t>(tune.size()));
        out.Commit();
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-tune: cannot write " << args[0] << ": " << e.what() << "\n";
        return 1;
    }
    std::cout << args[0] << ": " << MidiPlayingTime(tune.data(), tune.size()) << " ms\n";
    return 0;
}
