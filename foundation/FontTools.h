// Font records as bytes: u32 n, then n = 17 + m bytes (n again, colour, name length m,
// name, size in points, style byte); a null font is n = 0xFFFFFFFF with nothing after.
#pragma once

#include "platform/Font.h"

#include <cstdint>
#include <memory>
#include <vector>

constexpr uint32_t kNoFont = 0xFFFFFFFF;

// The record's n bytes (without the leading u32); returns n, or kNoFont and no bytes.
uint32_t FontToBlob(const TFont* font, std::vector<uint8_t>& blob);
// Parses the n bytes of a record; null when they are too short or inconsistent.
std::unique_ptr<TFont> BlobToFont(const uint8_t* data, size_t n);
