#include "media/MidiFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // us per quarter note: 120 beats per minute

struct TTempoChange {
    uint64_t Tick;
    uint32_t Tempo;
};

// Reads big-endian numbers and variable-length quantities within [pos, end).
class TMidiReader {
public:
    TMidiReader() = default;
    TMidiReader(const uint8_t* data, size_t size) : data_(data), end_(size) {}

    size_t Pos() const { return pos_; }
    size_t Remaining() const { return end_ - pos_; }
    bool Skip(uint64_t n) {
        if (n > Remaining()) return false;
        pos_ += static_cast<size_t>(n);
        return true;
    }
    bool Byte(uint8_t& v) {
        if (pos_ >= end_) return false;
        v = data_[pos_++];
        return true;
    }
    bool Peek(uint8_t& v) const {
        if (pos_ >= end_) return false;
        v = data_[pos_];
        return true;
    }
    bool BigEndian(int bytes, uint32_t& v) {
        if (Remaining() < static_cast<size_t>(bytes)) return false;
        v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | data_[pos_++];
        return true;
    }
    bool LittleEndian32(uint32_t& v) {
        if (Remaining() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(data_[pos_++]) << (8 * i);
        return true;
    }
    bool Tag(const char* tag) {
        if (Remaining() < 4 || std::memcmp(data_ + pos_, tag, 4) != 0) return false;
        pos_ += 4;
        return true;
    }
    // At most four bytes, as the format allows.
    bool VarLen(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!Byte(b)) return false;
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    // A reader of the next n bytes; this one moves past them.
    bool Sub(uint64_t n, TMidiReader& sub) {
        if (n > Remaining()) return false;
        sub = TMidiReader(data_ + pos_, static_cast<size_t>(n));
        pos_ += static_cast<size_t>(n);
        return true;
    }

private:
    const uint8_t* data_ = nullptr;
    size_t end_ = 0;
    size_t pos_ = 0;
};

// One track's events: its tempo changes into tempi, the tick of its last event into
// lastTick. False when the track is damaged.
bool ReadTrack(TMidiReader track, std::vector<TTempoChange>& tempi, uint64_t& lastTick) {
    uint64_t tick = 0;
    uint8_t running = 0;
    while (track.Remaining() > 0) {
        uint32_t delta = 0;
        uint8_t status = 0;
        if (!track.VarLen(delta) || !track.Peek(status)) return false;
        tick += delta;
        if (status >= 0x80) {
            track.Skip(1);
        } else if (running == 0) {
            return false;  // data bytes without a status to run on
        } else {
            status = running;
        }
        if (status < 0xF0) {
            running = status;
            const uint8_t kind = status & 0xF0;
            if (!track.Skip(kind == 0xC0 || kind == 0xD0 ? 1 : 2)) return false;
        } else if (status == 0xF0 || status == 0xF7) {
            running = 0;
            uint32_t length = 0;
            if (!track.VarLen(length) || !track.Skip(length)) return false;
        } else if (status == 0xFF) {
            running = 0;
            uint8_t type = 0;
            uint32_t length = 0;
            if (!track.Byte(type) || !track.VarLen(length)) return false;
            const size_t at = track.Pos();
            if (type == 0x51 && length == 3) {
                uint32_t tempo = 0;
                if (!track.BigEndian(3, tempo)) return false;
                // A tempo of 0 would stop time; the synthesizer keeps the default then.
                if (tempo > 0) tempi.push_back({tick, tempo});
            }
            if (!track.Skip(length - (track.Pos() - at))) return false;
            if (type == 0x2F) {
                lastTick = std::max(lastTick, tick);
                return true;  // anything after the track's end is not played
            }
        } else {
            return false;  // system real-time and common messages have no place in a file
        }
        lastTick = std::max(lastTick, tick);
    }
    return true;  // a track without its end event still plays to its last event
}

// The "data" chunk of a RIFF "RMID" form (cut to the bytes there are); the bytes
// themselves otherwise.
TMidiReader Unwrap(const uint8_t* data, size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "RMID", 4) != 0)
        return TMidiReader(data, size);
    TMidiReader r(data + 12, size - 12);
    while (r.Remaining() >= 8) {
        const bool isData = r.Tag("data");
        if (!isData) r.Skip(4);
        uint32_t length = 0;
        r.LittleEndian32(length);
        TMidiReader chunk;
        if (isData) {
            r.Sub(std::min<uint64_t>(length, r.Remaining()), chunk);
            return chunk;
        }
        if (!r.Skip(uint64_t(length) + (length & 1))) break;
    }
    return TMidiReader();
}

}  // namespace

bool LooksLikeMidiFile(const uint8_t* data, size_t size) {
    if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) return true;
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0;
}

int32_t MidiPlayingTime(const uint8_t* data, size_t size) {
    TMidiReader r = Unwrap(data, size);
    uint32_t headerLength = 0, format = 0, trackCount = 0, division = 0;
    if (!r.Tag("MThd") || !r.BigEndian(4, headerLength) || headerLength < 6) return -1;
    TMidiReader header;
    if (!r.Sub(headerLength, header) || !header.BigEndian(2, format) || !header.BigEndian(2, trackCount) ||
        !header.BigEndian(2, division) || division == 0)
        return -1;
    (void)format;  // the tracks of every format are timed from the file's start, as the synthesizer plays them
    std::vector<TTempoChange> tempi;
    uint64_t lastTick = 0;
    uint32_t tracksRead = 0;
    while (tracksRead < trackCount && r.Remaining() > 0) {
        uint32_t length = 0;
        const bool isTrack = r.Tag("MTrk");
        if (!isTrack && !r.Skip(4)) return -1;
        TMidiReader chunk;
        if (!r.BigEndian(4, length) || !r.Sub(length, chunk)) return -1;
        if (!isTrack) continue;  // chunks of other kinds are skipped, as the format asks
        if (!ReadTrack(chunk, tempi, lastTick)) return -1;
        ++tracksRead;
    }
    if (tracksRead < trackCount) return -1;

    long double us = 0;
    if (division & 0x8000) {
        // SMPTE: frames per second (negative in the high byte) times ticks per frame.
        const int frames = -static_cast<int8_t>(division >> 8);
        const int ticksPerFrame = static_cast<int>(division & 0xFF);
        if (frames <= 0 || ticksPerFrame == 0) return -1;
        const long double fps = frames == 29 ? 30000.0L / 1001.0L : frames;
        us = static_cast<long double>(lastTick) * 1e6L / (fps * ticksPerFrame);
    } else {
        std::stable_sort(tempi.begin(), tempi.end(),
                         [](const TTempoChange& a, const TTempoChange& b) { return a.Tick < b.Tick; });
        uint64_t tick = 0;
        uint32_t tempo = kDefaultTempo;
        for (const TTempoChange& t : tempi) {
            if (t.Tick >= lastTick) break;
            us += static_cast<long double>(t.Tick - tick) * tempo / division;
            tick = t.Tick;
            tempo = t.Tempo;
        }
        us += static_cast<long double>(lastTick - tick) * tempo / division;
    }
    const long double ms = std::ceil(us / 1000.0L - 1e-9L);
    if (ms > std::numeric_limits<int32_t>::max()) return -1;
    return static_cast<int32_t>(ms);
}
