#include "dynload/FFmpegLibrary.h"

std::vector<std::string> FFmpegSonames() {
    std::vector<std::string> names(ffPartCount);
    names[ffUtil] = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
    names[ffResample] = "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR);
    names[ffCodec] = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
    names[ffFormat] = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
    names[ffScale] = "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR);
    return names;
}

const TFFmpegFunctions* FFmpeg(std::string& error) { return LoadOnce<TFFmpegFunctions>(FFmpegSonames, error); }
