// MIDI playing time: any bytes as a song file. Answers a time or -1, never crashes.
#include "media/MidiFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (MidiPlayingTime(data, size) < -1) __builtin_trap();
    return 0;
}
