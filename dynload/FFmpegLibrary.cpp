#include "dynload/FFmpegLibrary.h"

#include <cctype>
#include <cstring>
#include <mutex>

std::vector<std::string> FFmpegSonames() {
    std::vector<std::string> names(ffPartCount);
    names[ffUtil] = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
    names[ffResample] = "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR);
    names[ffCodec] = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
    names[ffFormat] = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
    names[ffScale] = "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR);
    return names;
}

const TFFmpegFunctions* FFmpeg(std::string& error) {
    const TFFmpegFunctions* av = LoadOnce<TFFmpegFunctions>(FFmpegSonames, error);
    // Once, before the first caller opens anything.
    static const bool bounded = av && (av->av_max_alloc(kFFmpegMaxAlloc), true);
    (void)bounded;
    return av;
}

std::string FFmpegLocalFileUrl(const std::string& path) { return "file:" + path; }

namespace {

// Demuxers that open what a file names: further files, folders or addresses.
bool OpensOtherFiles(const char* names) {
    static const char* const kOpeners[] = {"hls", "applehttp", "concat", "dash", "imf", "webm_dash_manifest",
                                           "image2", "sdp", "rtsp", "rtp", "sap", "avisynth", "vapoursynth",
                                           "lavfi", "dvdvideo"};
    // A demuxer's name may list several ("mov,mp4,m4a"): any one of them counts.
    std::string all = std::string(",") + names + ",";
    for (const char* opener : kOpeners)
        if (all.find(std::string(",") + opener + ",") != std::string::npos) return true;
    return false;
}

}  // namespace

void SetFFmpegLocalFileOptions(const TFFmpegFunctions& av, AVDictionary** options) {
    static std::once_flag once;
    static std::string formats;
    std::call_once(once, [&av] {
        void* state = nullptr;
        while (const AVInputFormat* format = av.av_demuxer_iterate(&state)) {
            if (!format->name || OpensOtherFiles(format->name)) continue;
            if (!formats.empty()) formats += ',';
            formats += format->name;
        }
    });
    av.av_dict_set(options, "protocol_whitelist", "file", 0);
    av.av_dict_set(options, "format_whitelist", formats.c_str(), 0);
}

bool IsFFmpegWebAddress(const std::string& name) {
    auto starts = [&](const char* prefix) {
        const size_t n = std::strlen(prefix);
        if (name.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(name[i])) != prefix[i]) return false;
        return true;
    };
    return starts("http://") || starts("https://");
}
