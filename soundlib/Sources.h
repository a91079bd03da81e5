// Audio sources of the sound library: decoded streams (FFmpeg) and songs (tracker
// modules through libopenmpt, MIDI files through FluidSynth). Every source delivers
// interleaved 16-bit stereo frames at the mix rate it was opened with.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#pragma GCC visibility push(hidden)

namespace gcsound {

// A file decoded and resampled on demand.
class TStreamSource {
public:
    virtual ~TStreamSource() = default;
    // Up to frames frames; fewer only at the end of the file.
    virtual int Read(int16_t* out, int frames) = 0;
    // Moves to ms inside the file (clamped at 0); the next Read starts there.
    virtual void SeekMs(int64_t ms) = 0;
    // Length in ms, -1 when the file does not say.
    virtual int64_t LengthMs() const = 0;
};

// The host's "give up now" (nonzero: a quit or input is pending), asked while a stream
// opens; null when the host set none.
using TAbortCheck = int (*)();
extern std::atomic<TAbortCheck> gAbortCheck;

// Null when the file is no audio stream FFmpeg can decode, when it takes more than a few
// seconds to open or the host's abort check answers nonzero meanwhile, or when it is a
// song (tracker module or MIDI file), which the song loader takes instead.
std::unique_ptr<TStreamSource> OpenStream(const std::string& path, int mixRate);

// A song renders from its start; Restart goes back there.
class TSongSource {
public:
    virtual ~TSongSource() = default;
    // Up to frames frames; fewer once the song has ended.
    virtual int Render(int16_t* out, int frames) = 0;
    virtual void Restart() = 0;
};

// Null when the file is neither a tracker module nor a MIDI file, or when the library
// that renders its kind does not load.
std::unique_ptr<TSongSource> LoadSong(const std::string& path, int mixRate);

}  // namespace gcsound

#pragma GCC visibility pop
