// A video's still picture: any bytes as a video file, opened by the media-player stand-in
// on FFmpeg and captured as the pictures capture it. Gives a picture or refuses the file,
// never crashes.
#include "fuzz/FuzzInputFile.h"
#include "graphics/PictureReader.h"
#include "media/VideoImageUnit.h"
#include "platform/MessageQueue.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Opened by name, as the pictures are: each input is written to the same file.
const char* InputFile() {
    static char name[] = "/tmp/gc-fuzz-video-XXXXXX.avi";
    return FuzzInputFile(name, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFakeMessageQueue* const queue = [] {
        auto* q = new TFakeMessageQueue;
        SetMessageQueue(q);
        VideoImageUnit::Initialize();
        return q;
    }();
    (void)queue;
    const std::string path = InputFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    try {
        TVideoImage still;
        still.LoadFromFile(path);
        if (still.Empty()) __builtin_trap();
        (void)still.Pixel(still.Width() - 1, still.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
