#include "avload/FFmpegLibrary.h"

#include <dlfcn.h>

#include <new>

TFFmpegSonames FFmpegSonames() {
    TFFmpegSonames names;
    names[ffUtil] = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
    names[ffResample] = "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR);
    names[ffCodec] = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
    names[ffFormat] = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
    names[ffScale] = "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR);
    return names;
}

TFFmpegLibrary::~TFFmpegLibrary() { Unload(); }

void TFFmpegLibrary::Unload() {
    functions_ = {};
    for (int part = ffPartCount - 1; part >= 0; --part) {
        if (handles_[part]) dlclose(handles_[part]);
        handles_[part] = nullptr;
    }
}

bool TFFmpegLibrary::Load(const TFFmpegSonames& names, std::string& error) {
    Unload();
    for (int part = 0; part < ffPartCount; ++part) {
        // Local: the symbols stay out of the way of anything else the process loads.
        handles_[part] = dlopen(names[part].c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handles_[part]) {
            const char* why = dlerror();
            error = "FFmpeg library " + names[part] + " does not load" + (why ? std::string(": ") + why : "");
            Unload();
            return false;
        }
    }
#define GC_FFMPEG_RESOLVE(part, name)                                                            \
    functions_.name = reinterpret_cast<decltype(functions_.name)>(dlsym(handles_[part], #name)); \
    if (!functions_.name) {                                                                      \
        error = "FFmpeg function " #name " is missing in " + names[part];                        \
        Unload();                                                                                \
        return false;                                                                            \
    }
    GC_FFMPEG_FUNCTIONS(GC_FFMPEG_RESOLVE)
#undef GC_FFMPEG_RESOLVE
    return true;
}

const TFFmpegFunctions* FFmpeg(std::string& error) {
    struct TShared {
        TFFmpegLibrary Library;
        std::string Error;
        bool Loaded = false;
    };
    // Built by whichever thread asks first (the others wait for it) and never destroyed:
    // decoders may still run while the process ends, so FFmpeg stays loaded to the end.
    // Static storage rather than the heap: a sound library that is unloaded leaves nothing.
    alignas(TShared) static unsigned char storage[sizeof(TShared)];
    static TShared* const shared = [] {
        auto* s = new (storage) TShared;
        s->Loaded = s->Library.Load(FFmpegSonames(), s->Error);
        return s;
    }();
    if (!shared->Loaded) {
        error = shared->Error;
        return nullptr;
    }
    return &shared->Library.Functions();
}
