#include "media/FMODBinding.h"

#include "platform/MessageQueue.h"
#include "platform/Sdl.h"

#include <cstring>

GC_IMPLEMENT_CLASS(TFMOD, TObject)

const std::array<const char*, TFMOD::kEntryPointCount> TFMOD::EntryPointNames = {
    "_FSOUND_SetOutput@4", "_FSOUND_SetDriver@4", "_FSOUND_SetMixer@4", "_FSOUND_SetBufferSize@4",
    "_FSOUND_SetHWND@4", "_FSOUND_SetMinHardwareChannels@4", "_FSOUND_SetMaxHardwareChannels@4",
    "_FSOUND_SetMemorySystem@20", "_FSOUND_Init@12", "_FSOUND_Close@0", "_FSOUND_SetSFXMasterVolume@4",
    "_FSOUND_SetPanSeperation@4", "_FSOUND_SetSpeakerMode@4", "_FSOUND_GetError@0", "_FSOUND_GetVersion@0",
    "_FSOUND_GetOutput@0", "_FSOUND_GetOutputHandle@0", "_FSOUND_GetDriver@0", "_FSOUND_GetMixer@0",
    "_FSOUND_GetNumDrivers@0", "_FSOUND_GetDriverName@4", "_FSOUND_GetDriverCaps@8", "_FSOUND_GetOutputRate@0",
    "_FSOUND_GetMaxChannels@0", "_FSOUND_GetMaxSamples@0", "_FSOUND_GetSFXMasterVolume@0",
    "_FSOUND_GetNumHardwareChannels@0", "_FSOUND_GetChannelsPlaying@0", "_FSOUND_GetCPUUsage@0",
    "_FSOUND_GetMemoryStats@8", "_FSOUND_Sample_Load@20", "_FSOUND_Sample_Alloc@28", "_FSOUND_Sample_Free@4",
    "_FSOUND_Sample_Upload@12", "_FSOUND_Sample_Lock@28", "_FSOUND_Sample_Unlock@20",
    "_FSOUND_Sample_SetMode@8", "_FSOUND_Sample_SetLoopPoints@12", "_FSOUND_Sample_SetDefaults@20",
    "_FSOUND_Sample_SetMinMaxDistance@12", "_FSOUND_Sample_SetMaxPlaybacks@8", "_FSOUND_Sample_Get@4",
    "_FSOUND_Sample_GetName@4", "_FSOUND_Sample_GetLength@4", "_FSOUND_Sample_GetLoopPoints@12",
    "_FSOUND_Sample_GetDefaults@20", "_FSOUND_Sample_GetMode@4", "_FSOUND_PlaySound@8",
    "_FSOUND_PlaySoundEx@16", "_FSOUND_StopSound@4", "_FSOUND_SetFrequency@8", "_FSOUND_SetVolume@8",
    "_FSOUND_SetVolumeAbsolute@8", "_FSOUND_SetPan@8", "_FSOUND_SetSurround@8", "_FSOUND_SetMute@8",
    "_FSOUND_SetPriority@8", "_FSOUND_SetReserved@8", "_FSOUND_SetPaused@8", "_FSOUND_SetLoopMode@8",
    "_FSOUND_IsPlaying@4", "_FSOUND_GetFrequency@4", "_FSOUND_GetVolume@4", "_FSOUND_GetPan@4",
    "_FSOUND_GetSurround@4", "_FSOUND_GetMute@4", "_FSOUND_GetPriority@4", "_FSOUND_GetReserved@4",
    "_FSOUND_GetPaused@4", "_FSOUND_GetLoopMode@4", "_FSOUND_GetCurrentPosition@4",
    "_FSOUND_SetCurrentPosition@8", "_FSOUND_GetCurrentSample@4", "_FSOUND_GetCurrentLevels@12",
    "_FSOUND_FX_Enable@8", "_FSOUND_FX_SetChorus@32", "_FSOUND_FX_SetCompressor@28",
    "_FSOUND_FX_SetDistortion@24", "_FSOUND_FX_SetEcho@24", "_FSOUND_FX_SetFlanger@32",
    "_FSOUND_FX_SetGargle@12", "_FSOUND_FX_SetI3DL2Reverb@52", "_FSOUND_FX_SetParamEQ@16",
    "_FSOUND_FX_SetWavesReverb@20", "_FSOUND_Update@0", "_FSOUND_3D_SetAttributes@12",
    "_FSOUND_3D_GetAttributes@12", "_FSOUND_3D_Listener_SetCurrent@8", "_FSOUND_3D_Listener_SetAttributes@32",
    "_FSOUND_3D_Listener_GetAttributes@32", "_FSOUND_3D_SetDopplerFactor@4", "_FSOUND_3D_SetDistanceFactor@4",
    "_FSOUND_3D_SetRolloffFactor@4", "_FSOUND_Stream_Open@16", "_FSOUND_Stream_Create@20",
    "_FSOUND_Stream_Close@4", "_FSOUND_Stream_Play@8", "_FSOUND_Stream_PlayEx@16", "_FSOUND_Stream_Stop@4",
    "_FSOUND_Stream_GetSample@4", "_FSOUND_Stream_CreateDSP@16", "_FSOUND_Stream_SetBufferSize@4",
    "_FSOUND_Stream_SetPosition@8", "_FSOUND_Stream_GetPosition@4", "_FSOUND_Stream_SetTime@8",
    "_FSOUND_Stream_GetTime@4", "_FSOUND_Stream_GetLength@4", "_FSOUND_Stream_GetLengthMs@4",
    "_FSOUND_Stream_SetMode@8", "_FSOUND_Stream_GetMode@4", "_FSOUND_Stream_SetLoopPoints@12",
    "_FSOUND_Stream_GetOpenState@4", "_FSOUND_Stream_SetSubStream@8", "_FSOUND_Stream_GetNumSubStreams@4",
    "_FSOUND_Stream_SetSubStreamSentence@12", "_FSOUND_CD_Play@8", "_FSOUND_CD_SetPlayMode@8",
    "_FSOUND_CD_Stop@4", "_FSOUND_CD_SetPaused@8", "_FSOUND_CD_SetVolume@8", "_FSOUND_CD_SetTrackTime@8",
    "_FSOUND_CD_Eject@4", "_FSOUND_CD_GetPaused@4", "_FSOUND_CD_GetTrack@4", "_FSOUND_CD_GetNumTracks@4",
    "_FSOUND_CD_GetVolume@4", "_FSOUND_CD_GetTrackLength@8", "_FSOUND_CD_GetTrackTime@4",
    "_FSOUND_DSP_Create@12", "_FSOUND_DSP_Free@4", "_FSOUND_DSP_SetPriority@8", "_FSOUND_DSP_GetPriority@4",
    "_FSOUND_DSP_SetActive@8", "_FSOUND_DSP_GetActive@4", "_FSOUND_DSP_GetClearUnit@0",
    "_FSOUND_DSP_GetSFXUnit@0", "_FSOUND_DSP_GetMusicUnit@0", "_FSOUND_DSP_GetClipAndCopyUnit@0",
    "_FSOUND_DSP_GetFFTUnit@0", "_FSOUND_DSP_MixBuffers@28", "_FSOUND_DSP_ClearMixBuffer@0",
    "_FSOUND_DSP_GetBufferLength@0", "_FSOUND_DSP_GetBufferLengthTotal@0", "_FSOUND_DSP_GetSpectrum@0",
    "_FSOUND_Reverb_SetProperties@4", "_FSOUND_Reverb_GetProperties@4",
    "_FSOUND_Reverb_SetChannelProperties@8", "_FSOUND_Reverb_GetChannelProperties@8",
    "_FSOUND_Record_SetDriver@4", "_FSOUND_Record_GetNumDrivers@0", "_FSOUND_Record_GetDriverName@4",
    "_FSOUND_Record_GetDriver@0", "_FSOUND_Record_StartSample@8", "_FSOUND_Record_Stop@0",
    "_FSOUND_Record_GetPosition@0", "_FSOUND_File_SetCallbacks@20", "_FMUSIC_LoadSong@4",
    "_FMUSIC_LoadSongEx@24", "_FMUSIC_FreeSong@4", "_FMUSIC_PlaySong@4", "_FMUSIC_StopSong@4",
    "_FMUSIC_StopAllSongs@0", "_FMUSIC_SetZxxCallback@8", "_FMUSIC_SetRowCallback@12",
    "_FMUSIC_SetOrderCallback@12", "_FMUSIC_SetInstCallback@12", "_FMUSIC_SetSample@12",
    "_FMUSIC_SetUserData@8", "_FMUSIC_OptimizeChannels@12", "_FMUSIC_SetReverb@4", "_FMUSIC_SetLooping@8",
    "_FMUSIC_SetOrder@8", "_FMUSIC_SetPaused@8", "_FMUSIC_SetMasterVolume@8", "_FMUSIC_SetMasterSpeed@8",
    "_FMUSIC_SetPanSeperation@8", "_FMUSIC_GetName@4", "_FMUSIC_GetType@4", "_FMUSIC_GetNumOrders@4",
    "_FMUSIC_GetNumPatterns@4", "_FMUSIC_GetNumInstruments@4", "_FMUSIC_GetNumSamples@4",
    "_FMUSIC_GetNumChannels@4", "_FMUSIC_GetSample@8", "_FMUSIC_GetPatternLength@8", "_FMUSIC_IsFinished@4",
    "_FMUSIC_IsPlaying@4", "_FMUSIC_GetMasterVolume@4", "_FMUSIC_GetGlobalVolume@4", "_FMUSIC_GetOrder@4",
    "_FMUSIC_GetPattern@4", "_FMUSIC_GetSpeed@4", "_FMUSIC_GetBPM@4", "_FMUSIC_GetRow@4",
    "_FMUSIC_GetPaused@4", "_FMUSIC_GetTime@4", "_FMUSIC_GetRealChannel@8", "_FMUSIC_GetUserData@4",
};

namespace {

thread_local const std::atomic<bool>* tOpenStop = nullptr;

// Asked by the sound library on the thread that opens.
int SoundOpenAbortCheck() {
    if (tOpenStop) return tOpenStop->load(std::memory_order_relaxed) ? 1 : 0;
    return QuitOrInputPending() ? 1 : 0;
}

}  // namespace

void SetSoundOpenStop(const std::atomic<bool>* stop) { tOpenStop = stop; }

TFMOD::~TFMOD() { Unload(); }

int TFMOD::IndexOf(const char* decoratedName) {
    for (int i = 0; i < kEntryPointCount; ++i)
        if (std::strcmp(EntryPointNames[static_cast<size_t>(i)], decoratedName) == 0)
            return i;
    return -1;
}

bool TFMOD::Load(const AnsiString& path) {
    Unload();
    // The sound library plays through SDL: the process's SDL is loaded first and kept, so
    // that unloading the library never unloads SDL with the state it still holds.
    KeepSdlLoaded();
    Module = LoadLibrary(path.empty() ? AnsiString("fmod.dll") : path);
    if (!Module)
        return false;
    for (int i = 0; i < kEntryPointCount; ++i)
        EntryPoints[static_cast<size_t>(i)] = GetProcAddress(Module, EntryPointNames[static_cast<size_t>(i)]);
    BindTyped();
    // Our sound library gives up a slow stream open once a quit or input waits; a library
    // without that entry point still opens as it always did.
    using TSetAbortCheck = void (*)(int (*)());
    if (auto set = reinterpret_cast<TSetAbortCheck>(GetProcAddress(Module, "gcsound_SetAbortCheck")))
        set(&SoundOpenAbortCheck);
    return true;
}

void TFMOD::Unload() {
    if (Module) {
        FreeLibrary(Module);
        Module = nullptr;
    }
}

void TFMOD::BindTyped() {
    auto Bind = [this](auto& field, const char* name) {
        int index = IndexOf(name);
        void* p = index >= 0 ? EntryPoints[static_cast<size_t>(index)] : nullptr;
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(p);
    };
    Bind(FSOUND_SetOutput, "_FSOUND_SetOutput@4");
    Bind(FSOUND_SetDriver, "_FSOUND_SetDriver@4");
    Bind(FSOUND_SetMixer, "_FSOUND_SetMixer@4");
    Bind(FSOUND_SetBufferSize, "_FSOUND_SetBufferSize@4");
    Bind(FSOUND_SetHWND, "_FSOUND_SetHWND@4");
    Bind(FSOUND_Init, "_FSOUND_Init@12");
    Bind(FSOUND_Close, "_FSOUND_Close@0");
    Bind(FSOUND_GetOutput, "_FSOUND_GetOutput@0");
    Bind(FSOUND_GetNumDrivers, "_FSOUND_GetNumDrivers@0");
    Bind(FSOUND_GetOutputRate, "_FSOUND_GetOutputRate@0");
    Bind(FSOUND_GetChannelsPlaying, "_FSOUND_GetChannelsPlaying@0");
    Bind(FSOUND_Sample_SetMode, "_FSOUND_Sample_SetMode@8");
    Bind(FSOUND_StopSound, "_FSOUND_StopSound@4");
    Bind(FSOUND_SetVolume, "_FSOUND_SetVolume@8");
    Bind(FSOUND_SetPaused, "_FSOUND_SetPaused@8");
    Bind(FSOUND_IsPlaying, "_FSOUND_IsPlaying@4");
    Bind(FSOUND_GetVolume, "_FSOUND_GetVolume@4");
    Bind(FSOUND_GetPaused, "_FSOUND_GetPaused@4");
    Bind(FSOUND_Update, "_FSOUND_Update@0");
    Bind(FSOUND_Stream_Open, "_FSOUND_Stream_Open@16");
    Bind(FSOUND_Stream_Close, "_FSOUND_Stream_Close@4");
    Bind(FSOUND_Stream_Play, "_FSOUND_Stream_Play@8");
    Bind(FSOUND_Stream_Stop, "_FSOUND_Stream_Stop@4");
    Bind(FSOUND_Stream_SetTime, "_FSOUND_Stream_SetTime@8");
    Bind(FSOUND_Stream_GetTime, "_FSOUND_Stream_GetTime@4");
    Bind(FSOUND_Stream_GetLengthMs, "_FSOUND_Stream_GetLengthMs@4");
    Bind(FSOUND_DSP_Create, "_FSOUND_DSP_Create@12");
    Bind(FSOUND_DSP_Free, "_FSOUND_DSP_Free@4");
    Bind(FSOUND_DSP_SetActive, "_FSOUND_DSP_SetActive@8");
    Bind(FSOUND_DSP_GetBufferLength, "_FSOUND_DSP_GetBufferLength@0");
    Bind(FMUSIC_LoadSong, "_FMUSIC_LoadSong@4");
    Bind(FMUSIC_FreeSong, "_FMUSIC_FreeSong@4");
    Bind(FMUSIC_PlaySong, "_FMUSIC_PlaySong@4");
    Bind(FMUSIC_StopSong, "_FMUSIC_StopSong@4");
    Bind(FMUSIC_StopAllSongs, "_FMUSIC_StopAllSongs@0");
    Bind(FMUSIC_SetPaused, "_FMUSIC_SetPaused@8");
    Bind(FMUSIC_SetMasterVolume, "_FMUSIC_SetMasterVolume@8");
    Bind(FMUSIC_IsPlaying, "_FMUSIC_IsPlaying@4");
    Bind(FMUSIC_GetMasterVolume, "_FMUSIC_GetMasterVolume@4");
    Bind(FMUSIC_GetPaused, "_FMUSIC_GetPaused@4");
    Bind(FMUSIC_GetTime, "_FMUSIC_GetTime@4");
}
