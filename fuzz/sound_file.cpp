// The sound library's way from a file to mixed frames: any bytes as a sound file (WAV,
// MP3, Ogg, FLAC, whatever else FFmpeg reads, MIDI files, tracker modules), opened as a
// stream or else as a song, decoded for a few seconds, moved and decoded again. Never
// crashes, and never allocates what a file only claims.
#include "fuzz/FuzzInputFile.h"
#include "soundlib/Sources.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr int kChunk = 4096;
// Enough to reach past any header into the decoding; a longer file plays on the same way.
constexpr int kMostFrames = kRate * 5;

// The library opens files by name: each input is written to the same one.
const char* InputFile() {
    static char name[] = "/tmp/gc-fuzz-sound-XXXXXX";
    return FuzzInputFile(name, 0);
}

template <class F>
void Drain(F read) {
    std::vector<int16_t> out(kChunk * 2);
    for (int done = 0; done < kMostFrames;) {
        const int got = read(out.data(), kChunk);
        if (got < 0 || got > kChunk) __builtin_trap();
        if (got == 0) break;
        done += got;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = InputFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    if (auto stream = gcsound::OpenStream(path, kRate)) {
        auto read = [&](int16_t* out, int frames) { return stream->Read(out, frames); };
        Drain(read);
        stream->SeekMs(stream->LengthMs() > 0 ? stream->LengthMs() / 2 : 100);
        Drain(read);
    } else if (auto song = gcsound::LoadSong(path, kRate)) {
        auto render = [&](int16_t* out, int frames) { return song->Render(out, frames); };
        Drain(render);
        song->Restart();
        Drain(render);
    }
    return 0;
}
