// The grey masks of the mask transitions, kept inside the program as JPEG bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The embedded JPEG bytes of a mask by its resource name (the upper-case class name,
// compared without regard to case); empty when there is none.
std::span<const uint8_t> FindMaskResource(std::string_view name);

// One embedded mask. The build generates the table from the JPEGs in resources/masks/.
struct TMaskResource {
    const char* Name;
    const unsigned char* Data;
    size_t Size;
};
std::span<const TMaskResource> MaskResourceTable();
