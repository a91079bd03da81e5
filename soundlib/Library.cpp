#include "soundlib/Library.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>

#pragma GCC visibility push(hidden)

namespace gcsound {

namespace {

// Tells a thread of ours that waits on wake to stop, and waits for its end.
void StopThread(std::thread& thread, std::mutex& lock, bool& stop, std::condition_variable& wake) {
    if (!thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
    }
    wake.notify_all();
    thread.join();
}

}  // namespace

int TLibrary::BlockFramesFor(int mixRate) const {
    return std::max(1, static_cast<int>(static_cast<int64_t>(mixRate) * BufferMs() / 1000));
}

bool TLibrary::AcquireSdl() {
    if (sdlAudio)
        return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    sdlAudio = true;
    return true;
}

void TLibrary::ReleaseSdl() {
    if (sdlAudio) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlAudio = false;
    }
}

bool TLibrary::Sounding() const {
    for (const TChannel& ch : channels)
        if (ch.stream != 0 && !ch.paused)
            return true;
    for (const auto& [handle, song] : songs)
        if (song.playing && !song.paused)
            return true;
    return false;
}

bool TLibrary::Resting() const {
    return idleBlocks >= IdleLimit() && (IsSdlOutput(output) ? device == 0 : silentThread.joinable());
}

void TLibrary::NoteMixed() {
    if (neverRest || Sounding()) {
        idleBlocks = 0;
    } else if (idleBlocks < IdleLimit() && ++idleBlocks == IdleLimit() && deviceThread.joinable()) {
        std::lock_guard<std::mutex> guard(deviceLock);
        devicePoke = true;
        deviceWake.notify_all();
    }
}

void TLibrary::Wake() {
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

SDL_AudioDeviceID TLibrary::OpenDevice() {
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
    // Opened paused: the device is known before its first callback runs. A device of the
    // disk driver starts its recording anew: the trace counts its frames from here.
    TraceLine("audio-open");
    return SDL_OpenAudioDevice(name, 0, &want, &have, 0);
}

void TLibrary::DeviceLoop() {
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

int TLibrary::NumDrivers() {
    if (!IsSdlOutput(output))
        return 1;
    if (!sdlAudio)
        return 0;
    return std::max(0, SDL_GetNumAudioDevices(0));
}

TChannel* TLibrary::FindChannel(int handle) {
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

TStream* TLibrary::FindStream(void* handle) {
    auto it = streams.find(reinterpret_cast<uintptr_t>(handle));
    return it == streams.end() ? nullptr : &it->second;
}

TSong* TLibrary::FindSong(void* handle) {
    auto it = songs.find(reinterpret_cast<uintptr_t>(handle));
    return it == songs.end() ? nullptr : &it->second;
}

void TLibrary::FreeChannel(int index) {
    TChannel& ch = channels[static_cast<size_t>(index)];
    auto it = streams.find(ch.stream);
    if (it != streams.end())
        it->second.channel = -1;
    ch.stream = 0;
    ch.paused = false;
}

void TLibrary::StopStream(TStream& s) {
    if (s.channel >= 0)
        FreeChannel(s.channel);
}

int TLibrary::PlayStream(uint64_t handle) {
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

int16_t* TLibrary::MixBlock() {
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

void TLibrary::Accumulate(int frames, int volume) {
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

void TLibrary::UnitsChanged() {
    units.clear();
    for (auto& [handle, dsp] : dsps)
        if (dsp.active && dsp.callback)
            units.push_back(&dsp);
    std::sort(units.begin(), units.end(), [](const TDsp* a, const TDsp* b) {
        return a->priority != b->priority ? a->priority < b->priority : a->order < b->order;
    });
}

int16_t* TLibrary::RunUnits() {
    void* current = block.data();
    for (const TDsp* dsp : units) {
        void* next = dsp->callback(block.data(), current, blockFrames, dsp->userData);
        if (next)
            current = next;
    }
    return static_cast<int16_t*>(current);
}

void TLibrary::SdlCallback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<TLibrary*>(user);
    // The device's clock, for the tests that map a recording to the program's moments.
    TraceLine("audio %d", len / 4);
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

void TLibrary::SilentLoop() {
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

bool TLibrary::Init(int mixRate, int maxChannels, std::unique_lock<std::recursive_mutex>& held) {
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

void TLibrary::StopOutput(std::unique_lock<std::recursive_mutex>& held) {
    started = false;
    held.unlock();
    StopThread(deviceThread, deviceLock, deviceStop, deviceWake);
    held.lock();
    SDL_AudioDeviceID dev = device;
    device = 0;
    held.unlock();
    if (dev != 0)
        SDL_CloseAudioDevice(dev);
    StopThread(silentThread, silentLock, silentStop, silentWake);
    held.lock();
}

void TLibrary::Close(std::unique_lock<std::recursive_mutex>& held) {
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

void TLibrary::Shutdown() {
    std::unique_lock<std::recursive_mutex> held(lock);
    Close(held);
    ReleaseSdl();
}

}  // namespace gcsound

#pragma GCC visibility pop
