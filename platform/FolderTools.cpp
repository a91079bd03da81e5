#include "platform/FolderTools.h"

#include "platform/Paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <string>

int32_t FileAge(const AnsiString& name) {
    const std::string p = ResolvePath(name);
    struct stat st;
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    struct tm t;
    const time_t when = st.st_mtime;
    if (!::localtime_r(&when, &t) || t.tm_year < 80 || t.tm_year > 80 + 127) return -1;
    const uint32_t date = (static_cast<uint32_t>(t.tm_year - 80) << 9) | (static_cast<uint32_t>(t.tm_mon + 1) << 5) |
                          static_cast<uint32_t>(t.tm_mday);
    const uint32_t time = (static_cast<uint32_t>(t.tm_hour) << 11) | (static_cast<uint32_t>(t.tm_min) << 5) |
                          static_cast<uint32_t>(t.tm_sec / 2);
    return static_cast<int32_t>((date << 16) | time);
}

bool ForceDirectories(const AnsiString& folder) {
    const std::string p = ResolvePath(folder);
    if (p.empty()) return false;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        const std::string part = p.substr(0, j);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        i = j + 1;
    }
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
