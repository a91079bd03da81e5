#include "platform/OSVersion.h"

#include <cstring>

bool QueryOSVersion(TOSVersionInfo& info) {
    if (info.OSVersionInfoSize != sizeof(TOSVersionInfo)) return false;
    // A current member of the NT family: major 10, minor 0.
    info.MajorVersion = 10;
    info.MinorVersion = 0;
    info.BuildNumber = 19045;
    info.PlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info.CSDVersion, 0, sizeof info.CSDVersion);
    return true;
}
