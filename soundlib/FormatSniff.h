// Telling sound files apart by their first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#pragma GCC visibility push(hidden)

namespace gcsound {

// True for a MIDI file (plain "MThd" or wrapped in RIFF "RMID").
bool LooksLikeMidi(const uint8_t* data, size_t size);
// True when libopenmpt recognises the header as a tracker module (false when it does not
// load).
bool LooksLikeModule(const uint8_t* data, size_t size, uint64_t fileSize);

// Reads at most maxBytes from the start of a file; false when it cannot be opened.
bool ReadFileHead(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out, uint64_t& fileSize);

}  // namespace gcsound

#pragma GCC visibility pop
