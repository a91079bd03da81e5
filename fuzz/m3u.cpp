// M3U reader: any bytes as a list file. Reading may add items, never crash.
#include "media/MusicPlayList.h"
#include "platform/Paths.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/gc-fuzz-m3u-" + std::to_string(getpid()) + ".m3u";

    if (size > 1 << 16)
        return 0;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    TMusicPlayList list;
    list.LoadFromM3U(FromPosixPath(path));
    std::remove(path.c_str());
    // Every item names something: an address, an absolute path or one under the folder.
    for (const auto& item : list.Items)
        if (item->FileName.empty())
            __builtin_trap();
    return 0;
}
