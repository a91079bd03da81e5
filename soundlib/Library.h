// The sound library's state: its outputs, channels, streams, songs, the mixer and the
// signal-processing units (Library.cpp). The entry points in SoundLib.cpp reach it
// through Lib().
#pragma once

#include "soundapi/FSoundTypes.h"
#include "soundlib/Feed.h"
#include "soundlib/Sources.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using TDspCallback = void* (*)(void* sourceBuffer, void* newBuffer, int length, void* userData);

#pragma GCC visibility push(hidden)

namespace gcsound {

constexpr int kChannelIndexBits = 12;
constexpr int kMaxChannels = 1 << kChannelIndexBits;

constexpr int kDefaultBufferMs = 50;
constexpr int kMinBufferMs = 25;
constexpr int kMaxBufferMs = 1000;

// A song fed like a stream: it only restarts, wherever it is asked to go.
class TSongStream final : public TStreamSource {
public:
    explicit TSongStream(std::unique_ptr<TSongSource> song) : song_(std::move(song)) {}
    int Read(int16_t* out, int frames) override { return song_->Render(out, frames); }
    void SeekMs(int64_t) override { song_->Restart(); }
    int64_t LengthMs() const override { return -1; }

private:
    std::unique_ptr<TSongSource> song_;
};

struct TStream {
    std::shared_ptr<TFeed> feed;
    int64_t lengthMs = -1;
    int channel = -1;        // index into the channel table, -1 when not playing
    int64_t frames = 0;      // position in mixed frames
    bool ended = false;
};

struct TChannel {
    uint64_t stream = 0;     // 0 = free
    uint32_t generation = 0;
    int volume = 255;
    bool paused = false;
};

struct TSong {
    std::shared_ptr<TFeed> feed;
    int64_t frames = 0;
    int volume = 255;
    bool playing = false;
    bool paused = false;
};

struct TDsp {
    TDspCallback callback = nullptr;
    int priority = 0;
    void* userData = nullptr;
    bool active = false;
    uint64_t order = 0;
};

inline bool IsSdlOutput(int output) {
    return output == kFSoundOutputAuto || output == FSOUND_OUTPUT_WINMM || output == FSOUND_OUTPUT_DSOUND;
}

class TLibrary {
public:
    std::recursive_mutex lock;

    // Configuration, set before Init.
    int output = kFSoundOutputAuto;
    int driver = 0;
    int mixer = 0;
    int bufferMs = 0;  // 0 = default
    void* window = nullptr;
    bool sdlAudio = false;

    // Started state.
    bool started = false;
    int rate = 44100;
    int blockFrames = 0;
    std::vector<TChannel> channels;
    std::map<uint64_t, TStream> streams;
    std::map<uint64_t, TSong> songs;
    std::map<uint64_t, TDsp> dsps;
    std::vector<const TDsp*> units;  // the active units in running order, kept by UnitsChanged
    uint64_t nextHandle = 1;
    uint32_t nextGeneration = 1;

    // Mixing buffers.
    std::vector<int32_t> accum;
    std::vector<int16_t> scratch;
    std::vector<int16_t> block;
    std::vector<int16_t> pending;  // mixed frames not yet taken by SDL
    size_t pendingPos = 0;

    // Real-time outputs.
    SDL_AudioDeviceID device = 0;
    std::thread silentThread;
    std::mutex silentLock;
    std::condition_variable silentWake;
    bool silentStop = false;
    bool silentPoke = false;

    // While nothing sounds the output rests: the SDL device is closed (a paused one still
    // feeds the driver silence) and the silent loop sleeps. Blocks mixed in a row with
    // nothing to play; one second of them lets the output rest.
    int idleBlocks = 0;
    // SDL's disk driver records to a file that each open starts anew: a recording keeps
    // its time line only while the device stays open, silence included.
    bool neverRest = false;
    std::thread deviceThread;  // opens and closes the SDL device when asked
    std::mutex deviceLock;     // never taken around our lock
    std::condition_variable deviceWake;
    bool deviceStop = false;
    bool devicePoke = false;

    ~TLibrary() { Shutdown(); }

    int BufferMs() const { return bufferMs > 0 ? bufferMs : kDefaultBufferMs; }

    int BlockFramesFor(int mixRate) const;
    bool AcquireSdl();
    void ReleaseSdl();
    int IdleLimit() const { return std::max(1, rate / std::max(blockFrames, 1)); }

    // Whether a channel or a song plays: what the output has to run for.
    bool Sounding() const;

    bool Resting() const;

    // Counts a mixed block; with one second of silence in a row, asks for the output to rest.
    void NoteMixed();

    // Called under our lock whenever something may have started to sound: a resting output
    // starts again. The sound's first block is mixed only once the output runs, so nothing
    // of its start is lost.
    void Wake();

    SDL_AudioDeviceID OpenDevice();

    // The device's own thread: SDL opens and closes devices slowly and joins the audio
    // thread on closing, so neither happens in a caller's thread or under our lock.
    void DeviceLoop();

    int NumDrivers();
    uint64_t NewHandle() { return nextHandle++; }

    TChannel* FindChannel(int handle);
    TStream* FindStream(void* handle);
    TSong* FindSong(void* handle);
    void FreeChannel(int index);
    void StopStream(TStream& s);

    // A stream that has ended must be rewound first (Reposition).
    int PlayStream(uint64_t handle);

    // Mixes one block of blockFrames frames into block and runs the units over it.
    int16_t* MixBlock();

    void Accumulate(int frames, int volume);

    // Called whenever a unit comes, goes or changes, so that the mixer only walks a list.
    void UnitsChanged();

    int16_t* RunUnits();

    // SDL's audio thread: serves bytes from whole mixed blocks.
    static void SdlCallback(void* user, Uint8* stream, int len);

    // The silent output still runs in real time: one block per block duration.
    void SilentLoop();

    // Takes held unlocked while SDL opens the device: the audio thread holds SDL's device
    // lock while it waits for ours in the callback.
    bool Init(int mixRate, int maxChannels, std::unique_lock<std::recursive_mutex>& held);

    // Stops the output thread or device without holding the lock, which they take.
    void StopOutput(std::unique_lock<std::recursive_mutex>& held);

    void Close(std::unique_lock<std::recursive_mutex>& held);
    void Shutdown();
};

TLibrary& Lib();

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace gcsound

#pragma GCC visibility pop
