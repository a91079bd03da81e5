// Standard MIDI files: how long one plays. The sound library cannot tell a song's
// length, and a play-list item without one never starts, so whoever puts a MIDI song
// into a play list gives it its end point from here.
#pragma once

#include <cstddef>
#include <cstdint>

// True for a MIDI file: plain "MThd", or wrapped in a RIFF "RMID" form.
bool LooksLikeMidiFile(const uint8_t* data, size_t size);

// The playing time in ms, rounded up: the time of the last event of any track (the
// tracks' ends included), through the tempo map that the tracks' tempo events make
// (500000 us per quarter note before the first one), or through the SMPTE frame rate.
// -1 when the bytes are no MIDI file, a track is damaged or cut short, or the time
// does not fit in 32 bits.
int32_t MidiPlayingTime(const uint8_t* data, size_t size);
