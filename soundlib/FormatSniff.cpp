// What kind of sound file a file is, from its first bytes: the stream opener passes
// songs on to the song loader, and the song loader tells MIDI files from modules.
#include "soundlib/FormatSniff.h"

#include "dynload/SongLibraries.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#pragma GCC visibility push(hidden)

namespace gcsound {

bool ReadFileHead(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out, uint64_t& fileSize) {
    out.clear();
    fileSize = 0;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size > 0)
            fileSize = static_cast<uint64_t>(size);
        std::fseek(f, 0, SEEK_SET);
    }
    out.resize(static_cast<size_t>(std::min<uint64_t>(maxBytes, fileSize)));
    size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f);
    out.resize(got);
    std::fclose(f);
    return true;
}

bool LooksLikeMidi(const uint8_t* data, size_t size) {
    if (size >= 4 && std::memcmp(data, "MThd", 4) == 0)
        return true;
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0;
}

bool LooksLikeModule(const uint8_t* data, size_t size, uint64_t fileSize) {
    std::string why;
    const TOpenMptFunctions* mpt = OpenMpt(why);
    if (!mpt)
        return false;
    int error = 0;
    const char* message = nullptr;
    int rc = mpt->openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, data, size, fileSize,
                                            mpt->openmpt_log_func_silent, nullptr, mpt->openmpt_error_func_ignore,
                                            nullptr, &error, &message);
    if (message)
        mpt->openmpt_free_string(message);
    return rc == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

}  // namespace gcsound

#pragma GCC visibility pop
