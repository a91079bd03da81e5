// The binding of the sound library: loads it from a path at run time and fetches its
// entry points into fields of its own, so that several bindings (and several copies of
// the library) can live side by side.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/DynamicLibrary.h"
#include "platform/SysUtils.h"

#include <array>
#include <atomic>

// Handles as the library gives them; 0 (null) means none.
using FSoundStream = void*;
using FMusicModule = void*;
using FSoundDSPUnit = void*;
// Called with (source buffer, new buffer, length in sample frames, user data); returns
// the buffer to pass on. Frames are 16-bit signed stereo, four bytes each.
using FSoundDSPCallback = void* (*)(void* sourceBuffer, void* newBuffer, int length, void* userData);

class TFMOD : public TObject {
    GC_DECLARE_CLASS(TFMOD)
public:
    static constexpr int kEntryPointCount = 198;
    // The decorated names, in the order of fetching.
    static const std::array<const char*, kEntryPointCount> EntryPointNames;

    TFMOD() = default;
    ~TFMOD() override;
    TFMOD(const TFMOD&) = delete;
    TFMOD& operator=(const TFMOD&) = delete;

    // Unloads first; an empty path means "fmod.dll" found the system's way. Every entry
    // point is fetched in list order; a missing one stays null and is not reported.
    bool Load(const AnsiString& path);
    // Frees the library; the entry-point fields keep their values.
    void Unload();
    bool IsLoaded() const { return Module != nullptr; }

    TModuleHandle Module = nullptr;
    // One field per entry point, in list order.
    std::array<void*, kEntryPointCount> EntryPoints{};

    // Typed views of the entry points the sound system calls (null when missing).
    int (*FSOUND_SetOutput)(int output) = nullptr;
    int (*FSOUND_SetDriver)(int driver) = nullptr;
    int (*FSOUND_SetMixer)(int mixer) = nullptr;
    int (*FSOUND_SetBufferSize)(int ms) = nullptr;
    int (*FSOUND_SetHWND)(void* window) = nullptr;
    int (*FSOUND_Init)(int mixRate, int maxChannels, unsigned int flags) = nullptr;
    void (*FSOUND_Close)() = nullptr;
    int (*FSOUND_GetOutput)() = nullptr;
    int (*FSOUND_GetNumDrivers)() = nullptr;
    int (*FSOUND_GetOutputRate)() = nullptr;
    int (*FSOUND_GetChannelsPlaying)() = nullptr;
    int (*FSOUND_Sample_SetMode)(void* sample, unsigned int mode) = nullptr;
    int (*FSOUND_StopSound)(int channel) = nullptr;
    int (*FSOUND_SetVolume)(int channel, int volume) = nullptr;
    int (*FSOUND_SetPaused)(int channel, int paused) = nullptr;
    int (*FSOUND_IsPlaying)(int channel) = nullptr;
    int (*FSOUND_GetVolume)(int channel) = nullptr;
    int (*FSOUND_GetPaused)(int channel) = nullptr;
    void (*FSOUND_Update)() = nullptr;
    FSoundStream (*FSOUND_Stream_Open)(const char* name, unsigned int mode, int offset, int length) = nullptr;
    int (*FSOUND_Stream_Close)(FSoundStream stream) = nullptr;
    int (*FSOUND_Stream_Play)(int channel, FSoundStream stream) = nullptr;
    int (*FSOUND_Stream_Stop)(FSoundStream stream) = nullptr;
    int (*FSOUND_Stream_SetTime)(FSoundStream stream, int ms) = nullptr;
    int (*FSOUND_Stream_GetTime)(FSoundStream stream) = nullptr;
    int (*FSOUND_Stream_GetLengthMs)(FSoundStream stream) = nullptr;
    FSoundDSPUnit (*FSOUND_DSP_Create)(FSoundDSPCallback callback, int priority, void* userData) = nullptr;
    void (*FSOUND_DSP_Free)(FSoundDSPUnit unit) = nullptr;
    void (*FSOUND_DSP_SetActive)(FSoundDSPUnit unit, int active) = nullptr;
    int (*FSOUND_DSP_GetBufferLength)() = nullptr;
    FMusicModule (*FMUSIC_LoadSong)(const char* name) = nullptr;
    int (*FMUSIC_FreeSong)(FMusicModule song) = nullptr;
    int (*FMUSIC_PlaySong)(FMusicModule song) = nullptr;
    int (*FMUSIC_StopSong)(FMusicModule song) = nullptr;
    int (*FMUSIC_StopAllSongs)() = nullptr;
    int (*FMUSIC_SetPaused)(FMusicModule song, int paused) = nullptr;
    int (*FMUSIC_SetMasterVolume)(FMusicModule song, int volume) = nullptr;
    int (*FMUSIC_IsPlaying)(FMusicModule song) = nullptr;
    int (*FMUSIC_GetMasterVolume)(FMusicModule song) = nullptr;
    int (*FMUSIC_GetPaused)(FMusicModule song) = nullptr;
    int (*FMUSIC_GetTime)(FMusicModule song) = nullptr;

    // Index of a decorated name in the list, -1 when it is not there.
    static int IndexOf(const char* decoratedName);

private:
    void BindTyped();
};

// Stream and song opens made on the calling thread give up once *stop is set (null: once
// a quit or input waits in the message queue, as on the GUI thread). For threads that
// open on the player's behalf, whose opens end with the run rather than with input.
void SetSoundOpenStop(const std::atomic<bool>* stop);
