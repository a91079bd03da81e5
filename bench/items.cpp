// The collage and the particle layer against a plain copy of a 1920x1080 frame measured
// in the same run; every benchmark reports "ratio" = our time / the copy's time:
// - ParticleFrame: one frame of 200 particles of 64x64 pixels (put back, move, save,
//   draw) (target: ratio at most 8);
// - ComposeCollage: composing a collage of four prepared full-size pictures (target:
//   ratio at most 10).
#include "bench/BenchPlayer.h"
#include "bench/BenchSupport.h"
#include "objects/MergeSlideShowObject.h"
#include "objects/ParticleSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "foundation/Benchmark.h"
#include "graphics/PictureRegistry.h"
#include "platform/Random.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

std::string WriteJpeg(const char* name, int w, int h) {
    const std::vector<uint8_t> jpeg = EncodeJpeg(Photo(w, h));
    const std::string p = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    return p;
}

double CopyFrame(const TBitmap32& from, TBitmap32& to) {
    return Seconds([&] {
        std::memcpy(to.Bits(), from.Bits(), size_t(1920) * 1080 * sizeof(TColor32));
        benchmark::DoNotOptimize(to.Bits());
    });
}

void BM_ParticleFrameVsCopy(benchmark::State& state) {
    InitializePictureFormats();
    RandSeed(1);
    TBenchPlayer player(Photo(1920, 1080));
    TParticleSlideShowObject snow;
    snow.FileNames = WriteJpeg("glowcanvas-bench-particle.jpg", 64, 64);
    snow.ParticleCount = 200;
    snow.ParticleSize = 64.0f / 1080;
    snow.StartTime = 0;
    if (!snow.LoadParticles(player.Buffer, sfLinear)) state.SkipWithError("no particles");
    TBitmap32 copy(1920, 1080);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        player.PlayTime += 40;
        const double t = Seconds([&] {
            snow.RestoreBackground(&player);
            benchmark::DoNotOptimize(snow.Play(&player, false));
        });
        ref += CopyFrame(player.Buffer, copy);
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "copy", 8);
}

void BM_ComposeCollageVsCopy(benchmark::State& state) {
    InitializePictureFormats();
    TBenchPlayer player(Photo(1920, 1080));
    const std::string photo = WriteJpeg("glowcanvas-bench-collage.jpg", 1920, 1080);
    TMergeSlideShowObject collage;
    TSlideShowObjectList& children = *collage.CreateChildList();
    for (int i = 0; i < 4; ++i) {
        auto* p = new TPicSlideShowObject();
        p->FileName = photo;
        p->FillBackground = false;
        children.Add(p);
        p->InitializeAll(&player);
        if (!p->IsInitialized()) state.SkipWithError("a picture was not prepared");
    }
    TBitmap32 copy(1920, 1080);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        collage.Bitmap.reset();
        const double t = Seconds(
            [&] { benchmark::DoNotOptimize(collage.ExecuteInitializationStep(&player, PreparationStep::Compose)); });
        ref += CopyFrame(player.Buffer, copy);
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "copy", 10);
}

}  // namespace

BENCHMARK(BM_ParticleFrameVsCopy)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeCollageVsCopy)->UseManualTime()->Unit(benchmark::kMillisecond);
