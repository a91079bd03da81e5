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

// The stream rates the library opens, in Hz: well below the lowest rate recordings use
// (8000 Hz speech) up to the highest converters run at. A file claiming a rate outside
// them is broken, and would cost the resampler gigabytes (4,096 samples at 1 Hz become
// 180 million at the mix rate; a rate of 2^31 a filter bank for that ratio).
constexpr int kFSoundMinStreamRate = 1000;
constexpr int kFSoundMaxStreamRate = 768000;
