// The operating-system version query. This system always answers as the NT family, so
// code paths meant for the old 9x family stay inert.
#pragma once

#include <cstdint>

enum : uint32_t {
    VER_PLATFORM_WIN32s = 0,
    VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_NT = 2,
};

// The version record of 148 bytes: five 32-bit fields and a 128-byte service-pack text.
struct TOSVersionInfo {
    uint32_t OSVersionInfoSize = 0;  // the caller sets sizeof(TOSVersionInfo) first
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;
    uint32_t PlatformId = 0;
    char CSDVersion[128] = {};
};
static_assert(sizeof(TOSVersionInfo) == 148);

// Fills info; False when its size field does not hold the record's size.
bool QueryOSVersion(TOSVersionInfo& info);
