// What the program and the sound library agree on: the values the program passes to
// the library's entry points. The library is built on its own and shares no code with
// the program, so this header stands in a folder of its own that both may include; it
// holds constants only.
#pragma once

// Output types for "FSOUND_SetOutput".
enum TFSoundOutputTypes : int {
    FSOUND_OUTPUT_NOSOUND = 0,
    FSOUND_OUTPUT_WINMM = 1,
    FSOUND_OUTPUT_DSOUND = 2,
    FSOUND_OUTPUT_NOSOUND_NONREALTIME = 12,
};
// Beside the output types: the library chooses the output itself.
constexpr int kFSoundOutputAuto = -1;

// Channel arguments: any free channel; every channel (stopping).
constexpr int kFSoundFreeChannel = -1;
constexpr int kFSoundAllChannels = -3;

// The arguments the sound system starts the library and opens streams with.
constexpr int kFSoundMixerRealtime = 4;
constexpr int kFSoundMixerNonRealtime = 6;
constexpr unsigned kFSoundInitStartFlag = 2;
constexpr unsigned kFSoundInitNonRealtime = 0x80;
constexpr int kFSoundNonRealtimeBufferSize = 1;
constexpr unsigned kFSoundStreamOpenMode = 0x131;
constexpr unsigned kFSoundStreamSampleMode = 1;
