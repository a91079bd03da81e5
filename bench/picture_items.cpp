// Picture items against references measured in the same run; every benchmark reports
// "ratio" = our time / the reference's time:
// - Steps: the preparation steps 1, 2 and 10 (load, convert, fit) of a 12-megapixel
//   JPEG for a 1920x1080 paint box with the default settings (a picture read ahead),
//   against the faster of two decodes and fits of the same file at the same DCT scale in
//   reused buffers, one thread (bench/JpegYardstick.h): libjpeg-turbo to the YCbCr planes
//   and swscale fitting and converting them in one pass, or libjpeg-turbo straight to BGRA
//   and swscale's planar GBRAP fit ("yardstick_path" 0 or 1): "ratio" compares CPU time (target: at
//   most 1.15), "wall_ratio" wall time;
// - PlayStill: one frame of a still picture that covers the paint box, against a plain
//   copy of that frame (target: ratio at most 3).
#include "bench/BenchPlayer.h"
#include "bench/BenchSupport.h"
#include "objects/PicSlideShowObject.h"
#include "bench/JpegYardstick.h"
#include "document/PlayerServices.h"
#include "foundation/Benchmark.h"
#include "graphics/JpegReader.h"
#include "graphics/PictureRegistry.h"

#include <time.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// The 12-megapixel photo as a file the item can load.
const std::string& PhotoFile() {
    static const std::string path = [] {
        const std::vector<uint8_t> jpeg = EncodeJpeg(Photo(4000, 3000));
        const std::string p = (std::filesystem::temp_directory_path() / "glowcanvas-bench-photo.jpg").string();
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
        return p;
    }();
    return path;
}

void BM_StepsVsDecodeAndFit(benchmark::State& state) {
    InitializePictureFormats();
    std::ifstream in(PhotoFile(), std::ios::binary);
    const std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TBenchPlayer player;
    TJpegFitYardstick yardstick(jpeg, 1920, 1080, 1440, 1080);
    if (!yardstick.Ready()) return state.SkipWithError("swscale refused the job");
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    double ours = 0, ref = 0, oursCpu = 0, refCpu = 0;
    for (auto _ : state) {
        TPicSlideShowObject item;
        item.FileName = PhotoFile();
        bool ok = true;
        double c0 = cpu();
        const double t = Seconds([&] {
            for (int32_t step : {1, 2, 10}) ok = ok && item.ExecuteInitializationStep(&player, step);
        });
        oursCpu += cpu() - c0;
        if (!ok) state.SkipWithError("a step failed");
        c0 = cpu();
        ref += Seconds([&] { yardstick.Run(); });
        refCpu += cpu() - c0;
        benchmark::DoNotOptimize(yardstick.Fitted());
        ours += t;
        state.SetIterationTime(t);
    }
    state.counters["wall_ratio"] = ref > 0 ? ours / ref : 0;
    state.counters["target"] = 1.15;
    state.counters["yardstick_path"] = yardstick.Path();
    Report(state, oursCpu, refCpu, "decodefit");
}

void BM_PlayStillVsCopy(benchmark::State& state) {
    TBenchPlayer player;
    TPicSlideShowObject item;
    item.Bitmap = std::make_unique<TBitmap32>(Photo(1920, 1080));
    item.StartTime = 0;
    TBitmap32 copy(1920, 1080);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { benchmark::DoNotOptimize(item.Play(&player, false)); });
        ref += Seconds([&] {
            std::memcpy(copy.Bits(), player.Buffer.Bits(), size_t(1920) * 1080 * sizeof(TColor32));
            benchmark::DoNotOptimize(copy.Bits());
        });
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "copy", 3);
}

}  // namespace

BENCHMARK(BM_StepsVsDecodeAndFit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlayStillVsCopy)->UseManualTime()->Unit(benchmark::kMillisecond);
