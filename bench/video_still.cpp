// A video's still picture against the libraries alone, measured in the same run; the
// benchmark reports "ratio" = our time / the reference's time:
// - VideoStill: a 1920x1080 MPEG-4 AVI loaded through the picture registry into a
//   TBitmap32 (component, control, graph, renderer image, packed DIB), against opening
//   the file and decoding its frame 0 with libavformat and libavcodec alone (target:
//   ratio at most 2).
#include "bench/BenchSupport.h"
#include "graphics/PictureRegistry.h"
#include "media/VideoImageUnit.h"
#include "platform/video_testsupport.h"

#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const std::string& VideoFile() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "glowcanvas-bench-video.avi").string();
        std::string error;
        if (!WriteTestVideo(p, 1920, 1080, 25, 25, &error)) std::fprintf(stderr, "video_still: %s\n", error.c_str());
        return p;
    }();
    return path;
}

// Open, find the stream, decode frame 0: what any player must do for the first picture.
bool DecodeFirstFrame(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = false;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVCodec* decoder = nullptr;
    int stream = -1;
    if (avformat_find_stream_info(format, nullptr) >= 0 &&
        (stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0)) >= 0 &&
        (codec = avcodec_alloc_context3(decoder)) &&
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(codec, decoder, nullptr) >= 0) {
        while (!ok && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0)
                ok = avcodec_receive_frame(codec, frame) >= 0;
            av_packet_unref(packet);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return ok;
}

void BM_VideoStill(benchmark::State& state) {
    InitializePictureFormats();
    VideoImageUnit::Initialize();
    const std::string& file = VideoFile();
    double ours = 0, ref = 0;
    for (auto _ : state) {
        TBitmap32 still;
        const double t = Seconds([&] { still = LoadPictureFromFile(file); });
        if (still.Width() != 1920 || still.Height() != 1080) state.SkipWithError("no still picture");
        bool decoded = false;
        ref += Seconds([&] { decoded = DecodeFirstFrame(file); });
        if (!decoded) state.SkipWithError("the reference decoded nothing");
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "decodeframe0", 2);
    VideoImageUnit::Finalize();
}
BENCHMARK(BM_VideoStill)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
