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
#include "soundlib/Library.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#define GC_SOUND_API extern "C" __attribute__((visibility("default")))

#pragma GCC visibility push(hidden)

namespace gcsound {

TLibrary& Lib() {
    static TLibrary library;
    return library;
}

namespace {

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
