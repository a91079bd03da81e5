// The sound library: outputs, channels, streams, songs, the mixer and the signal-
// processing units, behind plain C entry points that the program's binding looks up.
//
// Every entry point takes one lock, so the GUI thread may call while the mixer runs on
// the audio thread. The lock guards the mix state only: on the real-time outputs every
// stream and song decodes ahead on a worker thread of its own (soundlib/Feed.h), and the
// mixer only copies what is buffered, so a volume or pause call never waits for a decode;
// opening and positioning decode outside the lock. Handles are numbers that are never
// reused: a stale handle finds nothing and the call does nothing. All state lives in
// this copy of the library, so two copies loaded from two paths keep separate state.
#include "soundapi/FSoundTypes.h"
#include "soundlib/Feed.h"
#include "soundlib/Sources.h"

#include <SDL.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#define GC_SOUND_API extern "C" __attribute__((visibility("default")))

using TDspCallback = void* (*)(void* sourceBuffer, void* newBuffer, int length, void* userData);

#pragma GCC visibility push(hidden)

namespace gcsound {
namespace {

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

bool IsSdlOutput(int output) {
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

    int BlockFramesFor(int mixRate) const {
        return std::max(1, static_cast<int>(static_cast<int64_t>(mixRate) * BufferMs() / 1000));
    }

    bool AcquireSdl() {
        if (sdlAudio)
            return true;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        sdlAudio = true;
        return true;
    }

    void ReleaseSdl() {
        if (sdlAudio) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            sdlAudio = false;
        }
    }

    int IdleLimit() const { return std::max(1, rate / std::max(blockFrames, 1)); }

    // Whether a channel or a song plays: what the output has to run for.
    bool Sounding() const {
        for (const TChannel& ch : channels)
            if (ch.stream != 0 && !ch.paused)
                return true;
        for (const auto& [handle, song] : songs)
            if (song.playing && !song.paused)
                return true;
        return false;
    }

    bool Resting() const {
        return idleBlocks >= IdleLimit() && (IsSdlOutput(output) ? device == 0 : silentThread.joinable());
    }

    // Counts a mixed block; with one second of silence in a row, asks for the output to rest.
    void NoteMixed() {
        if (neverRest || Sounding()) {
            idleBlocks = 0;
        } else if (idleBlocks < IdleLimit() && ++idleBlocks == IdleLimit() && deviceThread.joinable()) {
            std::lock_guard<std::mutex> guard(deviceLock);
            devicePoke = true;
            deviceWake.notify_all();
        }
    }

    // Called under our lock whenever something may have started to sound: a resting output
    // starts again. The sound's first block is mixed only once the output runs, so nothing
    // of its start is lost.
    void Wake() {
        if (!started || idleBlocks < IdleLimit() || !Sounding())
            return;
        idleBlocks = 0;
        if (deviceThread.joinable()) {
            std::lock_guard<std::mutex> guard(deviceLock);
            devicePoke = true;
            deviceWake.notify_all();
        } else if (silentThread.joinable()) {
            std::lock_guard<std::mutex> guard(silentLock);
            silentPoke = true;
            silentWake.notify_all();
        }
    }

    SDL_AudioDeviceID OpenDevice() {
        SDL_AudioSpec want{};
        SDL_AudioSpec have{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        while (want.samples > 256 && want.samples > blockFrames)
            want.samples /= 2;
        want.callback = &TLibrary::SdlCallback;
        want.userdata = this;
        const char* name = driver >= 0 ? SDL_GetAudioDeviceName(driver, 0) : nullptr;
        // Opened paused: the device is known before its first callback runs.
        return SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    }

    // The device's own thread: SDL opens and closes devices slowly and joins the audio
    // thread on closing, so neither happens in a caller's thread or under our lock.
    void DeviceLoop() {
        std::unique_lock<std::mutex> wait(deviceLock);
        for (;;) {
            deviceWake.wait(wait, [this] { return deviceStop || devicePoke; });
            if (deviceStop)
                return;
            devicePoke = false;
            wait.unlock();
            SDL_AudioDeviceID close = 0;
            bool open = false;
            {
                std::lock_guard<std::recursive_mutex> guard(lock);
                if (started && device != 0 && idleBlocks >= IdleLimit() && !Sounding()) {
                    close = device;
                    device = 0;
                } else if (started && device == 0 && Sounding()) {
                    open = true;
                    pending.clear();
                    pendingPos = 0;
                    idleBlocks = 0;
                }
            }
            if (close != 0)
                SDL_CloseAudioDevice(close);
            if (open) {
                SDL_AudioDeviceID opened = OpenDevice();
                std::unique_lock<std::recursive_mutex> guard(lock);
                if (opened != 0 && started && device == 0) {
                    device = opened;
                    SDL_PauseAudioDevice(opened, 0);
                } else {
                    // Failed: the next sound tries again.
                    idleBlocks = IdleLimit();
                    guard.unlock();
                    if (opened != 0)
                        SDL_CloseAudioDevice(opened);
                }
            }
            wait.lock();
        }
    }

    int NumDrivers() {
        if (!IsSdlOutput(output))
            return 1;
        if (!sdlAudio)
            return 0;
        return std::max(0, SDL_GetNumAudioDevices(0));
    }

    uint64_t NewHandle() { return nextHandle++; }

    TChannel* FindChannel(int handle) {
        if (handle < 0)
            return nullptr;
        int index = handle & (kMaxChannels - 1);
        uint32_t generation = static_cast<uint32_t>(handle) >> kChannelIndexBits;
        if (index >= static_cast<int>(channels.size()))
            return nullptr;
        TChannel& ch = channels[static_cast<size_t>(index)];
        if (ch.stream == 0 || ch.generation != generation)
            return nullptr;
        return &ch;
    }

    TStream* FindStream(void* handle) {
        auto it = streams.find(reinterpret_cast<uintptr_t>(handle));
        return it == streams.end() ? nullptr : &it->second;
    }

    TSong* FindSong(void* handle) {
        auto it = songs.find(reinterpret_cast<uintptr_t>(handle));
        return it == songs.end() ? nullptr : &it->second;
    }

    void FreeChannel(int index) {
        TChannel& ch = channels[static_cast<size_t>(index)];
        auto it = streams.find(ch.stream);
        if (it != streams.end())
            it->second.channel = -1;
        ch.stream = 0;
        ch.paused = false;
    }

    void StopStream(TStream& s) {
        if (s.channel >= 0)
            FreeChannel(s.channel);
    }

    // A stream that has ended must be rewound first (Reposition).
    int PlayStream(uint64_t handle) {
        TStream& s = streams[handle];
        StopStream(s);
        for (size_t i = 0; i < channels.size(); ++i) {
            TChannel& ch = channels[i];
            if (ch.stream != 0)
                continue;
            ch.stream = handle;
            ch.volume = 255;
            ch.paused = false;
            // The generation keeps a handle of a finished sound from reaching the channel's next sound.
            ch.generation = nextGeneration;
            nextGeneration = (nextGeneration + 1) & ((1u << (31 - kChannelIndexBits)) - 1);
            if (nextGeneration == 0)
                nextGeneration = 1;
            s.channel = static_cast<int>(i);
            Wake();
            return static_cast<int>((ch.generation << kChannelIndexBits) | i);
        }
        return -1;
    }

    // Mixes one block of blockFrames frames into block and runs the units over it.
    int16_t* MixBlock() {
        const size_t n = static_cast<size_t>(blockFrames);
        accum.assign(n * 2, 0);
        scratch.resize(n * 2);
        for (size_t i = 0; i < channels.size(); ++i) {
            TChannel& ch = channels[i];
            if (ch.stream == 0 || ch.paused)
                continue;
            TStream& s = streams[ch.stream];
            int got = s.feed->Take(scratch.data(), blockFrames);
            Accumulate(got, ch.volume);
            s.frames += got;
            if (got < blockFrames) {
                if (s.feed->Ended()) {
                    s.ended = true;
                    FreeChannel(static_cast<int>(i));
                } else {
                    s.feed->NoteDry(blockFrames - got);  // silence for the gap
                }
            }
        }
        for (auto& [handle, song] : songs) {
            if (!song.playing || song.paused)
                continue;
            int got = song.feed->Take(scratch.data(), blockFrames);
            Accumulate(got, song.volume);
            song.frames += got;
            if (got < blockFrames) {
                if (song.feed->Ended())
                    song.playing = false;
                else
                    song.feed->NoteDry(blockFrames - got);
            }
        }
        block.resize(n * 2);
        for (size_t i = 0; i < n * 2; ++i)
            block[i] = static_cast<int16_t>(std::clamp(accum[i], -32768, 32767));
        return RunUnits();
    }

    void Accumulate(int frames, int volume) {
        const size_t count = static_cast<size_t>(std::max(frames, 0)) * 2;
        if (volume == 255) {
            for (size_t i = 0; i < count; ++i)
                accum[i] += scratch[i];
        } else if (volume > 0) {
            size_t i = 0;
#ifdef __SSE2__
            // x * volume / 255, truncated: products stay below 2^23, so the float quotient,
            // which lies at least 1/255 off any integer it is not, truncates exactly.
            const __m128i vol = _mm_set1_epi32(volume);
            const __m128 d = _mm_set1_ps(255.0f);
            const __m128i zero = _mm_setzero_si128();
            auto scaled = [&](__m128i x16) {
                return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_madd_epi16(x16, vol)), d));
            };
            for (; i + 8 <= count; i += 8) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scratch.data() + i));
                __m128i* a = reinterpret_cast<__m128i*>(accum.data() + i);
                _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), scaled(_mm_unpacklo_epi16(x, zero))));
                _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), scaled(_mm_unpackhi_epi16(x, zero))));
            }
#endif
            for (; i < count; ++i)
                accum[i] += scratch[i] * volume / 255;
        }
    }

    // Called whenever a unit comes, goes or changes, so that the mixer only walks a list.
    void UnitsChanged() {
        units.clear();
        for (auto& [handle, dsp] : dsps)
            if (dsp.active && dsp.callback)
                units.push_back(&dsp);
        std::sort(units.begin(), units.end(), [](const TDsp* a, const TDsp* b) {
            return a->priority != b->priority ? a->priority < b->priority : a->order < b->order;
        });
    }

    int16_t* RunUnits() {
        void* current = block.data();
        for (const TDsp* dsp : units) {
            void* next = dsp->callback(block.data(), current, blockFrames, dsp->userData);
            if (next)
                current = next;
        }
        return static_cast<int16_t*>(current);
    }

    // SDL's audio thread: serves bytes from whole mixed blocks.
    static void SdlCallback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<TLibrary*>(user);
        std::lock_guard<std::recursive_mutex> guard(self->lock);
        auto* out = reinterpret_cast<int16_t*>(stream);
        size_t wanted = static_cast<size_t>(len) / 2;
        while (wanted > 0) {
            if (self->pendingPos >= self->pending.size()) {
                // A device being closed mixes nothing more: a sound starting meanwhile
                // waits for the next device.
                if (!self->started || self->device == 0) {
                    std::memset(out, 0, wanted * 2);
                    return;
                }
                int16_t* mixed = self->MixBlock();
                self->NoteMixed();
                self->pending.assign(mixed, mixed + static_cast<size_t>(self->blockFrames) * 2);
                self->pendingPos = 0;
            }
            size_t take = std::min(wanted, self->pending.size() - self->pendingPos);
            std::memcpy(out, self->pending.data() + self->pendingPos, take * 2);
            out += take;
            wanted -= take;
            self->pendingPos += take;
        }
    }

    // The silent output still runs in real time: one block per block duration.
    void SilentLoop() {
        using clock = std::chrono::steady_clock;
        auto period = std::chrono::microseconds(static_cast<int64_t>(blockFrames) * 1000000 / rate);
        auto due = clock::now() + period;
        std::unique_lock<std::mutex> wait(silentLock);
        while (!silentStop) {
            if (silentWake.wait_until(wait, due, [this] { return silentStop; }))
                break;
            bool rest = false;
            // Our lock is taken without this loop's: Wake holds ours while it pokes.
            wait.unlock();
            {
                std::lock_guard<std::recursive_mutex> guard(lock);
                if (started) {
                    MixBlock();
                    NoteMixed();
                }
                rest = idleBlocks >= IdleLimit();
            }
            wait.lock();
            if (rest) {
                silentWake.wait(wait, [this] { return silentStop || silentPoke; });
                silentPoke = false;
                due = clock::now();
            }
            due += period;
            if (due < clock::now() - period * 8)
                due = clock::now() + period;  // after a long stall, do not race to catch up
        }
    }

    // Takes held unlocked while SDL opens the device: the audio thread holds SDL's device
    // lock while it waits for ours in the callback.
    bool Init(int mixRate, int maxChannels, std::unique_lock<std::recursive_mutex>& held) {
        if (started || mixRate < 4000 || mixRate > 192000 || maxChannels < 0)
            return false;
        rate = mixRate;
        channels.assign(static_cast<size_t>(std::clamp(maxChannels == 0 ? 32 : maxChannels, 1, kMaxChannels)),
                        TChannel{});
        blockFrames = BlockFramesFor(mixRate);
        pending.clear();
        pendingPos = 0;
        idleBlocks = 0;
        if (IsSdlOutput(output)) {
            if (!AcquireSdl())
                return false;
            started = true;  // the callback must find the started state at once
            held.unlock();
            // Opened here all the same, so that a missing device fails the start.
            SDL_AudioDeviceID opened = OpenDevice();
            held.lock();
            if (opened == 0) {
                started = false;
                return false;
            }
            device = opened;
            const char* driverName = SDL_GetCurrentAudioDriver();
            neverRest = driverName && std::strcmp(driverName, "disk") == 0;
            SDL_PauseAudioDevice(opened, 0);
            deviceStop = false;
            devicePoke = false;
            deviceThread = std::thread([this] { DeviceLoop(); });
            return true;
        }
        started = true;
        if (output == FSOUND_OUTPUT_NOSOUND) {
            silentStop = false;
            silentPoke = false;
            silentThread = std::thread([this] { SilentLoop(); });
        }
        return true;
    }

    // Stops the output thread or device without holding the lock, which they take.
    void StopOutput(std::unique_lock<std::recursive_mutex>& held) {
        started = false;
        held.unlock();
        if (deviceThread.joinable()) {
            {
                std::lock_guard<std::mutex> guard(deviceLock);
                deviceStop = true;
            }
            deviceWake.notify_all();
            deviceThread.join();
        }
        held.lock();
        SDL_AudioDeviceID dev = device;
        device = 0;
        held.unlock();
        if (dev != 0)
            SDL_CloseAudioDevice(dev);
        if (silentThread.joinable()) {
            {
                std::lock_guard<std::mutex> guard(silentLock);
                silentStop = true;
            }
            silentWake.notify_all();
            silentThread.join();
        }
        held.lock();
    }

    void Close(std::unique_lock<std::recursive_mutex>& held) {
        StopOutput(held);
        // The feeds go without the lock: a seek holds a feed's lock while it waits for ours.
        std::map<uint64_t, TStream> oldStreams;
        std::map<uint64_t, TSong> oldSongs;
        oldStreams.swap(streams);
        oldSongs.swap(songs);
        held.unlock();
        oldStreams.clear();
        oldSongs.clear();
        held.lock();
        dsps.clear();
        units.clear();
        channels.clear();
        pending.clear();
        pendingPos = 0;
    }

    void Shutdown() {
        std::unique_lock<std::recursive_mutex> held(lock);
        Close(held);
        ReleaseSdl();
    }
};

TLibrary& Lib() {
    static TLibrary library;
    return library;
}

using Guard = std::lock_guard<std::recursive_mutex>;

// Runs f on the stream or song a handle names, under the library's lock; 0 (or null)
// when the handle names none.
template <class F>
auto WithStream(void* handle, F f) {
    auto& lib = Lib();
    Guard g(lib.lock);
    TStream* s = lib.FindStream(handle);
    return s ? f(lib, *s) : decltype(f(lib, *s)){};
}

template <class F>
auto WithSong(void* handle, F f) {
    auto& lib = Lib();
    Guard g(lib.lock);
    TSong* s = lib.FindSong(handle);
    return s ? f(lib, *s) : decltype(f(lib, *s)){};
}

// Opens a stream or song and files it under a new handle. Opening reads and probes the
// file and starts the feed's worker, so it runs outside the lock and the mixer keeps
// running meanwhile.
template <class Open, class Store>
void* OpenSource(const char* name, Open open, Store store) {
    auto& lib = Lib();
    if (!name || !*name)
        return nullptr;
    int rate;
    bool ahead;
    {
        Guard g(lib.lock);
        if (!lib.started)
            return nullptr;
        rate = lib.rate;
        ahead = lib.output != FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    }
    std::unique_ptr<TStreamSource> source = open(name, rate);
    if (!source)
        return nullptr;
    const int64_t lengthMs = source->LengthMs();
    auto feed = std::make_shared<TFeed>(std::move(source), rate, ahead, name);
    Guard g(lib.lock);
    if (!lib.started || lib.rate != rate)
        return nullptr;
    const uint64_t handle = lib.NewHandle();
    store(lib, handle, std::move(feed), lengthMs);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
}

// Moves a feed's decoder to ms and empties its ring. Ahead, the seek waits at most for
// the chunk the worker is decoding and runs outside the library's lock; on demand the
// mixer decodes under that lock, so the seek does too. apply then sets the new position
// under the lock, and may find its stream or song gone meanwhile.
template <class Apply>
void Reposition(const std::shared_ptr<TFeed>& feed, int64_t ms, Apply apply) {
    auto& lib = Lib();
    if (!feed->Ahead()) {
        Guard g(lib.lock);
        feed->Seek(ms);
        feed->Flush();
        apply(lib);
        return;
    }
    TFeed::TSeekLock decoding(*feed);
    feed->Seek(ms);
    Guard g(lib.lock);
    feed->Flush();
    apply(lib);
}

// Rewinds a stream to ms (its time then reads ms) unless it was closed or replaced.
bool RepositionStream(void* handle, const std::shared_ptr<TFeed>& feed, int ms) {
    bool found = false;
    Reposition(feed, ms, [&](TLibrary& lib) {
        TStream* s = lib.FindStream(handle);
        if (!s || s->feed != feed)
            return;
        s->frames = static_cast<int64_t>(ms) * lib.rate / 1000;
        s->ended = false;
        found = true;
    });
    return found;
}

}  // namespace
}  // namespace gcsound

#pragma GCC visibility pop

using gcsound::Guard;
using gcsound::Lib;

// ---- Set-up ----------------------------------------------------------------

GC_SOUND_API int FSOUND_SetOutput(int output) {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (lib.started)
        return 0;
    if (output != kFSoundOutputAuto && output != FSOUND_OUTPUT_NOSOUND && output != FSOUND_OUTPUT_WINMM &&
        output != FSOUND_OUTPUT_DSOUND && output != FSOUND_OUTPUT_NOSOUND_NONREALTIME)
        return 0;
    lib.output = output;
    lib.driver = 0;
    if (gcsound::IsSdlOutput(output))
        return lib.AcquireSdl() ? 1 : 0;
    lib.ReleaseSdl();
    return 1;
}

GC_SOUND_API int FSOUND_GetOutput() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.output;
}

GC_SOUND_API int FSOUND_GetNumDrivers() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.NumDrivers();
}

GC_SOUND_API int FSOUND_SetDriver(int driver) {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (lib.started)
        return 0;
    int count = lib.NumDrivers();
    if (driver == -1) {
        // The output's default device.
        lib.driver = -1;
        return count > 0 ? 1 : 0;
    }
    if (driver < 0 || driver >= count)
        return 0;
    lib.driver = driver;
    return 1;
}

GC_SOUND_API int FSOUND_GetDriver() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.driver;
}

GC_SOUND_API int FSOUND_SetBufferSize(int ms) {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (lib.started)
        return 0;
    // Very short blocks only cost calls; the mixer keeps a block of at least 25 ms.
    lib.bufferMs = std::clamp(ms, gcsound::kMinBufferMs, gcsound::kMaxBufferMs);
    return 1;
}

GC_SOUND_API int FSOUND_SetMixer(int mixer) {
    auto& lib = Lib();
    Guard g(lib.lock);
    lib.mixer = mixer;
    return 1;
}

GC_SOUND_API int FSOUND_GetMixer() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.mixer;
}

GC_SOUND_API int FSOUND_SetHWND(void* window) {
    auto& lib = Lib();
    Guard g(lib.lock);
    lib.window = window;
    return 1;
}

GC_SOUND_API int FSOUND_Init(int mixRate, int maxChannels, unsigned int /*flags*/) {
    auto& lib = Lib();
    std::unique_lock<std::recursive_mutex> held(lib.lock);
    return lib.Init(mixRate, maxChannels, held) ? 1 : 0;
}

GC_SOUND_API void FSOUND_Close() {
    auto& lib = Lib();
    std::unique_lock<std::recursive_mutex> held(lib.lock);
    lib.Close(held);
    lib.ReleaseSdl();
    lib.output = kFSoundOutputAuto;
    lib.bufferMs = 0;
}

GC_SOUND_API int FSOUND_GetOutputRate() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.started ? lib.rate : 0;
}

GC_SOUND_API int FSOUND_GetMaxChannels() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return static_cast<int>(lib.channels.size());
}

GC_SOUND_API int FSOUND_GetChannelsPlaying() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return static_cast<int>(std::count_if(lib.channels.begin(), lib.channels.end(),
                                          [](const gcsound::TChannel& ch) { return ch.stream != 0; }));
}

GC_SOUND_API void FSOUND_Update() {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (lib.started && lib.output == FSOUND_OUTPUT_NOSOUND_NONREALTIME)
        lib.MixBlock();
}

// ---- Channels ----------------------------------------------------------------

GC_SOUND_API int FSOUND_SetVolume(int channel, int volume) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TChannel* ch = lib.FindChannel(channel);
    if (!ch)
        return 0;
    ch->volume = std::clamp(volume, 0, 255);
    return 1;
}

GC_SOUND_API int FSOUND_GetVolume(int channel) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TChannel* ch = lib.FindChannel(channel);
    return ch ? ch->volume : 0;
}

GC_SOUND_API int FSOUND_SetPaused(int channel, int paused) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TChannel* ch = lib.FindChannel(channel);
    if (!ch)
        return 0;
    ch->paused = paused != 0;
    lib.Wake();
    return 1;
}

GC_SOUND_API int FSOUND_GetPaused(int channel) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TChannel* ch = lib.FindChannel(channel);
    return ch && ch->paused ? 1 : 0;
}

GC_SOUND_API int FSOUND_IsPlaying(int channel) {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.FindChannel(channel) ? 1 : 0;
}

GC_SOUND_API int FSOUND_StopSound(int channel) {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (channel == kFSoundAllChannels) {
        for (size_t i = 0; i < lib.channels.size(); ++i)
            if (lib.channels[i].stream != 0)
                lib.FreeChannel(static_cast<int>(i));
        return 1;
    }
    if (!lib.FindChannel(channel))
        return 0;
    lib.FreeChannel(channel & (gcsound::kMaxChannels - 1));
    return 1;
}

// ---- Streams -----------------------------------------------------------------

GC_SOUND_API void* FSOUND_Stream_Open(const char* name, unsigned int /*mode*/, int /*offset*/, int /*length*/) {
    return gcsound::OpenSource(
        name, gcsound::OpenStream,
        [](gcsound::TLibrary& lib, uint64_t handle, std::shared_ptr<gcsound::TFeed> feed, int64_t lengthMs) {
            gcsound::TStream& s = lib.streams[handle];
            s.feed = std::move(feed);
            s.lengthMs = lengthMs;
        });
}

GC_SOUND_API int FSOUND_Sample_SetMode(void* sample, unsigned int /*mode*/) {
    // Streams carry no sample modes here; the call is accepted for any stream.
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.FindStream(sample) ? 1 : 0;
}

GC_SOUND_API int FSOUND_Stream_Close(void* stream) {
    // The feed goes after the lock is released: its worker may be finishing a chunk.
    std::shared_ptr<gcsound::TFeed> feed;
    return gcsound::WithStream(stream, [&](gcsound::TLibrary& lib, gcsound::TStream& s) -> int {
        lib.StopStream(s);
        feed = std::move(s.feed);
        lib.streams.erase(reinterpret_cast<uintptr_t>(stream));
        return 1;
    });
}

GC_SOUND_API int FSOUND_Stream_Play(int channel, void* stream) {
    auto& lib = Lib();
    std::shared_ptr<gcsound::TFeed> rewind;
    {
        Guard g(lib.lock);
        gcsound::TStream* s = lib.FindStream(stream);
        if (channel != kFSoundFreeChannel || !s)
            return -1;
        if (!s->ended)
            return lib.PlayStream(reinterpret_cast<uintptr_t>(stream));
        rewind = s->feed;
    }
    // A stream that has played to its end starts again from its beginning.
    if (!gcsound::RepositionStream(stream, rewind, 0))
        return -1;
    Guard g(lib.lock);
    if (!lib.FindStream(stream))
        return -1;
    return lib.PlayStream(reinterpret_cast<uintptr_t>(stream));
}

GC_SOUND_API int FSOUND_Stream_Stop(void* stream) {
    std::shared_ptr<gcsound::TFeed> feed = gcsound::WithStream(stream, [&](gcsound::TLibrary& lib, gcsound::TStream& s) {
        lib.StopStream(s);
        return s.feed;
    });
    // A stopped stream starts again from its beginning.
    return feed && gcsound::RepositionStream(stream, feed, 0) ? 1 : 0;
}

GC_SOUND_API int FSOUND_Stream_GetTime(void* stream) {
    return gcsound::WithStream(stream, [&](gcsound::TLibrary& lib, gcsound::TStream& s) -> int {
        return static_cast<int>(std::min<int64_t>(INT_MAX, s.frames * 1000 / lib.rate));
    });
}

GC_SOUND_API int FSOUND_Stream_SetTime(void* stream, int ms) {
    int64_t length = -1;
    std::shared_ptr<gcsound::TFeed> feed = gcsound::WithStream(stream, [&](gcsound::TLibrary&, gcsound::TStream& s) {
        length = s.lengthMs;
        return s.feed;
    });
    if (!feed)
        return 0;
    ms = std::max(ms, 0);
    if (length >= 0)
        ms = static_cast<int>(std::min<int64_t>(ms, length));
    return gcsound::RepositionStream(stream, feed, ms) ? 1 : 0;
}

GC_SOUND_API int FSOUND_Stream_GetLengthMs(void* stream) {
    return gcsound::WithStream(stream, [&](gcsound::TLibrary&, gcsound::TStream& s) -> int {
        return static_cast<int>(std::clamp<int64_t>(s.lengthMs, -1, INT_MAX));
    });
}

// ---- Songs -------------------------------------------------------------------

GC_SOUND_API void* FMUSIC_LoadSong(const char* name) {
    return gcsound::OpenSource(
        name,
        [](const char* file, int rate) -> std::unique_ptr<gcsound::TStreamSource> {
            auto song = gcsound::LoadSong(file, rate);
            if (!song)
                return nullptr;
            return std::make_unique<gcsound::TSongStream>(std::move(song));
        },
        [](gcsound::TLibrary& lib, uint64_t handle, std::shared_ptr<gcsound::TFeed> feed, int64_t) {
            lib.songs[handle].feed = std::move(feed);
        });
}

GC_SOUND_API int FMUSIC_FreeSong(void* song) {
    std::shared_ptr<gcsound::TFeed> feed;  // goes after the lock is released
    return gcsound::WithSong(song, [&](gcsound::TLibrary& lib, gcsound::TSong& s) -> int {
        feed = std::move(s.feed);
        lib.songs.erase(reinterpret_cast<uintptr_t>(song));
        return 1;
    });
}

GC_SOUND_API int FMUSIC_PlaySong(void* song) {
    std::shared_ptr<gcsound::TFeed> feed =
        gcsound::WithSong(song, [&](gcsound::TLibrary&, gcsound::TSong& s) { return s.feed; });
    if (!feed)
        return 0;
    bool found = false;
    gcsound::Reposition(feed, 0, [&](gcsound::TLibrary& lib) {
        gcsound::TSong* s = lib.FindSong(song);
        if (!s || s->feed != feed)
            return;
        s->frames = 0;
        s->playing = true;
        s->paused = false;
        found = true;
        lib.Wake();
    });
    return found ? 1 : 0;
}

GC_SOUND_API int FMUSIC_StopSong(void* song) {
    return gcsound::WithSong(song, [&](gcsound::TLibrary&, gcsound::TSong& s) -> int {
        s.playing = false;
        s.paused = false;
        return 1;
    });
}

GC_SOUND_API int FMUSIC_StopAllSongs() {
    auto& lib = Lib();
    Guard g(lib.lock);
    for (auto& [handle, s] : lib.songs) {
        s.playing = false;
        s.paused = false;
    }
    return 1;
}

GC_SOUND_API int FMUSIC_SetMasterVolume(void* song, int volume) {
    return gcsound::WithSong(song, [&](gcsound::TLibrary&, gcsound::TSong& s) -> int {
        s.volume = std::clamp(volume, 0, 255);
        return 1;
    });
}

GC_SOUND_API int FMUSIC_GetMasterVolume(void* song) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TSong* s = lib.FindSong(song);
    return s ? s->volume : -1;
}

GC_SOUND_API int FMUSIC_SetPaused(void* song, int paused) {
    return gcsound::WithSong(song, [&](gcsound::TLibrary& lib, gcsound::TSong& s) -> int {
        s.paused = paused != 0;
        lib.Wake();
        return 1;
    });
}

GC_SOUND_API int FMUSIC_GetPaused(void* song) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TSong* s = lib.FindSong(song);
    return s && s->paused ? 1 : 0;
}

GC_SOUND_API int FMUSIC_IsPlaying(void* song) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TSong* s = lib.FindSong(song);
    return s && s->playing ? 1 : 0;
}

GC_SOUND_API int FMUSIC_GetTime(void* song) {
    auto& lib = Lib();
    Guard g(lib.lock);
    gcsound::TSong* s = lib.FindSong(song);
    if (!s || lib.rate <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>(INT_MAX, s->frames * 1000 / lib.rate));
}

// ---- Signal-processing units --------------------------------------------------

GC_SOUND_API void* FSOUND_DSP_Create(TDspCallback callback, int priority, void* userData) {
    auto& lib = Lib();
    Guard g(lib.lock);
    if (!callback)
        return nullptr;
    uint64_t handle = lib.NewHandle();
    gcsound::TDsp& dsp = lib.dsps[handle];
    dsp.callback = callback;
    dsp.priority = priority;
    dsp.userData = userData;
    dsp.order = handle;
    lib.UnitsChanged();
    return reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
}

GC_SOUND_API void FSOUND_DSP_SetActive(void* unit, int active) {
    auto& lib = Lib();
    Guard g(lib.lock);
    auto it = lib.dsps.find(reinterpret_cast<uintptr_t>(unit));
    if (it != lib.dsps.end()) {
        it->second.active = active != 0;
        lib.UnitsChanged();
    }
}

GC_SOUND_API int FSOUND_DSP_GetActive(void* unit) {
    auto& lib = Lib();
    Guard g(lib.lock);
    auto it = lib.dsps.find(reinterpret_cast<uintptr_t>(unit));
    return it != lib.dsps.end() && it->second.active ? 1 : 0;
}

GC_SOUND_API void FSOUND_DSP_Free(void* unit) {
    auto& lib = Lib();
    Guard g(lib.lock);
    lib.dsps.erase(reinterpret_cast<uintptr_t>(unit));
    lib.UnitsChanged();
}

GC_SOUND_API int FSOUND_DSP_GetBufferLength() {
    auto& lib = Lib();
    Guard g(lib.lock);
    return lib.started ? lib.blockFrames : lib.BlockFramesFor(44100);
}

// Not an entry point the binding looks up: how often the mix routine decoded itself, for the
// tests (zero on the real-time outputs, whose feeds decode ahead).
GC_SOUND_API long long gcsound_MixerDecodes() { return gcsound::gMixerDecodes.load(); }

// Nor is this one: holds every worker (1) or lets them go on (0),
// so that tests can let a ring run dry.
GC_SOUND_API void gcsound_HoldDecoding(int hold) { gcsound::gHoldDecoding.store(hold != 0); }

// 1 while the output rests: no SDL device open, no silent blocks mixed.
GC_SOUND_API int gcsound_OutputResting() {
    auto& lib = gcsound::Lib();
    std::lock_guard<std::recursive_mutex> guard(lib.lock);
    return lib.started && lib.Resting() ? 1 : 0;
}
// Our own addition, which a binding calls only when it finds it: the host's check, asked
// while a stream opens, whether a quit or input is pending (nonzero); the open then gives
// up at once. Null takes it back. Without it every open still ends within its deadline.
GC_SOUND_API void gcsound_SetAbortCheck(int (*check)()) { gcsound::gAbortCheck.store(check, std::memory_order_release); }
