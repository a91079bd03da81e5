// The bitmap's pixel loops against references measured in the same run. Every
// benchmark reports its own time and "ratio" = our time / the reference's time:
// - CrossFade: blend of a full 1920x1080 frame with master alpha, against a plain copy
//   of that frame (target: ratio at most 3) and against pixman's OVER with a constant mask;
// - Stretch: 4000x3000 to 1440x1080 with Lanczos and Mitchell, against pixman's separable
//   convolution doing the same job (target: ratio at most 1);
// - Fill: opaque and blended rectangle fills against pixman;
// - JpegFit: decoding a 12-megapixel JPEG scaled for 1440x1080 and fitting it, against
//   libjpeg-turbo's plain full decode (target: ratio at most 2).
// pixman is loaded at run time: it is only the yardstick, nothing of ours links it.
#include "bench/BenchSupport.h"
#include "graphics/JpegReader.h"
#include "graphics/Bitmap32.h"
#include "bench/BenchTiming.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <jpeglib.h>
#include <pixman.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Pixman {
    decltype(&pixman_image_create_bits) create_bits = nullptr;
    decltype(&pixman_image_create_solid_fill) create_solid = nullptr;
    decltype(&pixman_image_unref) unref = nullptr;
    decltype(&pixman_image_composite32) composite = nullptr;
    decltype(&pixman_image_set_filter) set_filter = nullptr;
    decltype(&pixman_image_set_transform) set_transform = nullptr;
    decltype(&pixman_transform_init_scale) init_scale = nullptr;
    decltype(&pixman_filter_create_separable_convolution) separable = nullptr;
    decltype(&pixman_fill) fill = nullptr;
    bool ok = false;

    Pixman() {
        void* h = dlopen("libpixman-1.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!h) return;
        auto get = [h](auto& fn, const char* name) { fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(h, name)); };
        get(create_bits, "pixman_image_create_bits");
        get(create_solid, "pixman_image_create_solid_fill");
        get(unref, "pixman_image_unref");
        get(composite, "pixman_image_composite32");
        get(set_filter, "pixman_image_set_filter");
        get(set_transform, "pixman_image_set_transform");
        get(init_scale, "pixman_transform_init_scale");
        get(separable, "pixman_filter_create_separable_convolution");
        get(fill, "pixman_fill");
        ok = create_bits && create_solid && unref && composite && set_filter && set_transform && init_scale &&
             separable && fill;
    }
};

const Pixman& Px() {
    static const Pixman p;
    return p;
}

TBitmap32 Noise(int w, int h, bool opaque, uint32_t seed) {
    TBitmap32 b(w, h);
    std::mt19937 rng(seed);
    for (int i = 0; i < w * h; ++i) b.Bits()[i] = rng() | (opaque ? 0xFF000000u : 0u);
    return b;
}

pixman_image_t* Wrap(TBitmap32& b) {
    return Px().create_bits(PIXMAN_a8r8g8b8, b.Width(), b.Height(), b.Bits(), b.Width() * 4);
}

void BM_CrossFadeVsCopy(benchmark::State& state) {
    TBitmap32 pic = Noise(1920, 1080, true, 1), back = Noise(1920, 1080, true, 2), copy(1920, 1080);
    pic.DrawMode = dmBlend;
    pic.MasterAlpha = 128;
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { pic.DrawTo(back); });
        ref += Seconds([&] { std::memcpy(copy.Bits(), pic.Bits(), size_t(1920) * 1080 * 4); });
        benchmark::DoNotOptimize(back.Bits());
        benchmark::DoNotOptimize(copy.Bits());
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "copy");
}

void BM_CrossFadeVsPixman(benchmark::State& state) {
    if (!Px().ok) return state.SkipWithError("pixman not found");
    TBitmap32 pic = Noise(1920, 1080, true, 1), back = Noise(1920, 1080, true, 2), back2 = back;
    pic.DrawMode = dmBlend;
    pic.MasterAlpha = 128;
    pixman_image_t* src = Wrap(pic);
    pixman_image_t* dst = Wrap(back2);
    pixman_color_t half = {0, 0, 0, 0x8080};
    pixman_image_t* mask = Px().create_solid(&half);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { pic.DrawTo(back); });
        ref += Seconds([&] { Px().composite(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, 1920, 1080); });
        ours += t;
        state.SetIterationTime(t);
    }
    Px().unref(mask);
    Px().unref(dst);
    Px().unref(src);
    Report(state, ours, ref, "pixman");
}

void Stretch(benchmark::State& state, TStretchFilter filter, pixman_kernel_t kernel) {
    if (!Px().ok) return state.SkipWithError("pixman not found");
    static TBitmap32 big = Photo(4000, 3000);
    TBitmap32 out(1440, 1080), out2(1440, 1080);
    big.StretchFilter = filter;
    pixman_image_t* src = Wrap(big);
    pixman_image_t* dst = Wrap(out2);
    const double sx = 4000.0 / 1440, sy = 3000.0 / 1080;
    pixman_transform_t tr;
    Px().init_scale(&tr, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    Px().set_transform(src, &tr);
    int n = 0;
    pixman_fixed_t* params = Px().separable(&n, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy),
                                            PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE, kernel, kernel, 1, 1);
    Px().set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    std::free(params);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { big.StretchTo(out, 0, 0, 1440, 1080); });
        ref += Seconds([&] { Px().composite(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, 1440, 1080); });
        ours += t;
        state.SetIterationTime(t);
    }
    Px().unref(dst);
    Px().unref(src);
    Report(state, ours, ref, "pixman");
}

void BM_StretchLanczos(benchmark::State& state) { Stretch(state, sfLanczos, PIXMAN_KERNEL_LANCZOS3); }
void BM_StretchMitchell(benchmark::State& state) { Stretch(state, sfMitchell, PIXMAN_KERNEL_CUBIC); }

void BM_Fill(benchmark::State& state) {
    if (!Px().ok) return state.SkipWithError("pixman not found");
    const bool blended = state.range(0) != 0;
    TBitmap32 a = Noise(1920, 1080, true, 3), b = a;
    pixman_image_t* dst = Wrap(b);
    pixman_color_t colour = {0x8080, 0x4040, 0x2020, 0x8080};
    pixman_image_t* solid = Px().create_solid(&colour);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        double t;
        if (blended) {
            t = Seconds([&] { a.FillRectTS(0, 0, 1920, 1080, 0x80804020); });
            ref += Seconds([&] { Px().composite(PIXMAN_OP_OVER, solid, nullptr, dst, 0, 0, 0, 0, 0, 0, 1920, 1080); });
        } else {
            t = Seconds([&] { a.FillRectS(0, 0, 1920, 1080, 0xFF804020); });
            ref += Seconds([&] { Px().fill(reinterpret_cast<uint32_t*>(b.Bits()), 1920, 32, 0, 0, 1920, 1080, 0xFF804020); });
        }
        ours += t;
        state.SetIterationTime(t);
    }
    Px().unref(solid);
    Px().unref(dst);
    Report(state, ours, ref, "pixman");
}

void BM_JpegFit(benchmark::State& state) {
    static const std::vector<uint8_t> jpeg = EncodeJpeg(Photo(4000, 3000));
    const auto filter = TStretchFilter(state.range(0));
    TBitmap32 target(1440, 1080);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] {
            TBitmap32 pic = ReadJpegPicture(jpeg.data(), jpeg.size(), 1440, 1080);
            pic.StretchFilter = filter;
            pic.StretchTo(target, 0, 0, 1440, 1080);
        });
        ref += Seconds([&] { benchmark::DoNotOptimize(ReadJpegPicture(jpeg.data(), jpeg.size()).Bits()); });
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "fulldecode");
}

}  // namespace

BENCHMARK(BM_CrossFadeVsCopy)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossFadeVsPixman)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchLanczos)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchMitchell)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegFit)->Arg(sfLinear)->Arg(sfLanczos)->UseManualTime()->Unit(benchmark::kMillisecond);
