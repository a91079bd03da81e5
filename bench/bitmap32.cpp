// The bitmap's pixel loops against yardsticks measured in the same run, one thread each.
// Every benchmark reports "ratio" = our time / the yardstick's time and the "target"
// ratio it should stay under:
// - Stretch: 1600x900 -> 1920x1080, 2000x1500 -> 1440x1080 and 4000x3000 -> 1440x1080 with
//   Linear, Mitchell and Lanczos against swscale with the same filter on planar GBRAP,
//   its fastest format for four channels; "ratio" compares process CPU time, since our
//   stretch may run on several threads and swscale runs on one (target 1); "wall_ratio"
//   beside it;
// - JpegFit: a 12-megapixel JPEG (4:2:0 and 4:4:4) decoded for and fitted into 1920x1080
//   with the default filter, against the fastest decode and fit these libraries offer
//   (bench/JpegYardstick.h), the faster of two paths at the same DCT scale, into reused
//   buffers, one thread: libjpeg-turbo stopping at the YCbCr planes, then swscale scaling
//   the planes and converting to BGRA in one pass; or libjpeg-turbo decoding straight to
//   BGRA, then swscale fitting that into planar GBRAP ("yardstick_path" 0 or 1). "prepared" (one band, as a picture read ahead) compares CPU
//   time (target 1.15); "now" (a picture needed at once, bands as the reader chooses)
//   compares wall time (target 1 on two idle cores). Both print wall and CPU ratios;
// - CrossFadeFrame: a whole fade frame (the old slide copied from a cold buffer, the new
//   one blended over it) against a cold frame copy (target 2.5);
// - BlendOntoHalfTransparent: a blend onto a destination whose alpha is 128 (target 3);
// - Combiner/<kind>: each built-in combiner as a draw mode (target 4);
// - CrossFadeVsPixman and Fill: pixman's OVER and fills, a second column.
// Pictures are photo-like: fractal plasma with fine noise. The yardsticks are linked into
// this program only; pixman is loaded at run time.
#include "bench/BenchTiming.h"
#include "bench/CameraPhoto.h"
#include "bench/JpegYardstick.h"
#include "graphics/Bitmap32.h"
#include "graphics/JpegReader.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <time.h>
#include <jpeglib.h>
#include <pixman.h>

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Pixman {
    decltype(&pixman_image_create_bits) create_bits = nullptr;
    decltype(&pixman_image_create_solid_fill) create_solid = nullptr;
    decltype(&pixman_image_unref) unref = nullptr;
    decltype(&pixman_image_composite32) composite = nullptr;
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
        get(fill, "pixman_fill");
        ok = create_bits && create_solid && unref && composite && fill;
    }
};

const Pixman& Px() {
    static const Pixman p;
    return p;
}


// Pushes a buffer out of every cache level, so the next pass reads it from memory.
void Evict(const void* p, size_t bytes) {
#if defined(__x86_64__) || defined(__i386__)
    const auto* c = static_cast<const char*>(p);
    for (size_t i = 0; i < bytes; i += 64) _mm_clflush(c + i);
    _mm_mfence();
#else
    (void)p;
    (void)bytes;
#endif
}
void Evict(const TBitmap32& b) { Evict(b.Bits(), size_t(b.Width()) * size_t(b.Height()) * 4); }

TBitmap32 MakePhoto(int w, int h, uint32_t seed) { return CameraPhoto(w, h, seed); }

const TBitmap32& Photo(int w, int h) {
    static std::map<std::pair<int, int>, TBitmap32> cache;
    auto it = cache.find({w, h});
    if (it == cache.end()) it = cache.emplace(std::make_pair(w, h), MakePhoto(w, h, uint32_t(w * 7 + h))).first;
    return it->second;
}

pixman_image_t* Wrap(TBitmap32& b) {
    return Px().create_bits(PIXMAN_a8r8g8b8, b.Width(), b.Height(), b.Bits(), b.Width() * 4);
}

// ---- Frame operations against a cold frame copy ------------------------------------

constexpr int kFrameW = 1920, kFrameH = 1080;
constexpr size_t kFrameBytes = size_t(kFrameW) * kFrameH * 4;

double ColdCopy(TBitmap32& from, TBitmap32& to) {
    Evict(from);
    Evict(to);
    return Seconds([&] { std::memcpy(to.Bits(), from.Bits(), kFrameBytes); });
}

void BM_CrossFadeFrame(benchmark::State& state) {
    TBitmap32 oldSlide = Photo(kFrameW, kFrameH), newSlide = MakePhoto(kFrameW, kFrameH, 99);
    TBitmap32 back(kFrameW, kFrameH), scratch(kFrameW, kFrameH);
    newSlide.DrawMode = dmBlend;
    double ours = 0, ref = 0;
    int step = 0;
    for (auto _ : state) {
        newSlide.MasterAlpha = uint8_t(16 + (step++ * 37) % 224);
        Evict(oldSlide);
        Evict(newSlide);
        Evict(back);
        const double t = Seconds([&] {
            oldSlide.DrawTo(back);
            newSlide.DrawTo(back);
        });
        benchmark::DoNotOptimize(back.Bits());
        ref += ColdCopy(oldSlide, scratch);
        benchmark::DoNotOptimize(scratch.Bits());
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "coldcopy", 2.5);
}

// pic drawn onto a fresh copy of base, both cold, against a cold frame copy.
void DrawOntoCold(benchmark::State& state, const TBitmap32& pic, const TBitmap32& base, double target) {
    TBitmap32 dst(kFrameW, kFrameH), scratch(kFrameW, kFrameH), from = pic;
    double ours = 0, ref = 0;
    for (auto _ : state) {
        std::memcpy(dst.Bits(), base.Bits(), kFrameBytes);
        Evict(pic);
        Evict(dst);
        const double t = Seconds([&] { pic.DrawTo(dst); });
        benchmark::DoNotOptimize(dst.Bits());
        ref += ColdCopy(from, scratch);
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "coldcopy", target);
}

void BM_BlendOntoHalfTransparent(benchmark::State& state) {
    TBitmap32 pic = Photo(kFrameW, kFrameH), base = MakePhoto(kFrameW, kFrameH, 7);
    base.ResetAlpha(128);
    pic.DrawMode = dmBlend;
    pic.MasterAlpha = 160;
    DrawOntoCold(state, pic, base, 3);
}

void BM_Combiner(benchmark::State& state) {
    TBitmap32 pic = Photo(kFrameW, kFrameH);
    pic.DrawMode = dmCustom;
    pic.CombineKind = TCombineKind(state.range(0));
    DrawOntoCold(state, pic, MakePhoto(kFrameW, kFrameH, 11), 4);
}

void BM_CrossFadeVsPixman(benchmark::State& state) {
    if (!Px().ok) return state.SkipWithError("pixman not found");
    TBitmap32 pic = Photo(kFrameW, kFrameH), back = MakePhoto(kFrameW, kFrameH, 2), back2 = back;
    pic.DrawMode = dmBlend;
    pic.MasterAlpha = 128;
    pixman_image_t* src = Wrap(pic);
    pixman_image_t* dst = Wrap(back2);
    pixman_color_t half = {0, 0, 0, 0x8080};
    pixman_image_t* mask = Px().create_solid(&half);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        const double t = Seconds([&] { pic.DrawTo(back); });
        ref += Seconds([&] { Px().composite(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kFrameW, kFrameH); });
        ours += t;
        state.SetIterationTime(t);
    }
    Px().unref(mask);
    Px().unref(dst);
    Px().unref(src);
    Report(state, ours, ref, "pixman", 0);
}

void BM_Fill(benchmark::State& state) {
    if (!Px().ok) return state.SkipWithError("pixman not found");
    const bool blended = state.range(0) != 0;
    TBitmap32 a = Photo(kFrameW, kFrameH), b = a;
    pixman_image_t* dst = Wrap(b);
    pixman_color_t colour = {0x8080, 0x4040, 0x2020, 0x8080};
    pixman_image_t* solid = Px().create_solid(&colour);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        double t;
        if (blended) {
            t = Seconds([&] { a.FillRectTS(0, 0, kFrameW, kFrameH, 0x80804020); });
            ref += Seconds([&] { Px().composite(PIXMAN_OP_OVER, solid, nullptr, dst, 0, 0, 0, 0, 0, 0, kFrameW, kFrameH); });
        } else {
            t = Seconds([&] { a.FillRectS(0, 0, kFrameW, kFrameH, 0xFF804020); });
            ref += Seconds([&] { Px().fill(reinterpret_cast<uint32_t*>(b.Bits()), kFrameW, 32, 0, 0, kFrameW, kFrameH, 0xFF804020); });
        }
        ours += t;
        state.SetIterationTime(t);
    }
    Px().unref(solid);
    Px().unref(dst);
    Report(state, ours, ref, "pixman", 0);
}

// ---- Stretching against swscale ---------------------------------------------------------

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}


struct StretchJob {
    int SrcW, SrcH, DstW, DstH;
};
constexpr StretchJob kStretchJobs[] = {{1600, 900, 1920, 1080}, {2000, 1500, 1440, 1080}, {4000, 3000, 1440, 1080}};

SwsContext* SwsFor(const StretchJob& job, TStretchFilter filter, AVPixelFormat format = AV_PIX_FMT_BGRA) {
    SwsContext* c = sws_alloc_context();
    int flags = SWS_BILINEAR;
    double p0 = SWS_PARAM_DEFAULT, p1 = SWS_PARAM_DEFAULT;
    if (filter == sfMitchell) {
        flags = SWS_BICUBIC;  // B = C = 1/3, as our Mitchell filter
        p0 = p1 = 1.0 / 3;
    } else if (filter == sfLanczos) {
        flags = SWS_LANCZOS;  // three lobes, as ours
        p0 = 3;
    }
    av_opt_set_int(c, "srcw", job.SrcW, 0);
    av_opt_set_int(c, "srch", job.SrcH, 0);
    av_opt_set_int(c, "src_format", format, 0);
    av_opt_set_int(c, "dstw", job.DstW, 0);
    av_opt_set_int(c, "dsth", job.DstH, 0);
    av_opt_set_int(c, "dst_format", format, 0);
    av_opt_set_int(c, "sws_flags", flags, 0);
    av_opt_set_double(c, "param0", p0, 0);
    av_opt_set_double(c, "param1", p1, 0);
    av_opt_set_int(c, "threads", 1, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0) {
        sws_freeContext(c);
        return nullptr;
    }
    return c;
}

void BM_Stretch(benchmark::State& state) {
    const StretchJob& job = kStretchJobs[state.range(0)];
    const auto filter = TStretchFilter(state.range(1));
    TBitmap32 src = Photo(job.SrcW, job.SrcH);
    src.StretchFilter = filter;
    TBitmap32 out(job.DstW, job.DstH);
    SwsContext* sws = SwsFor(job, filter, AV_PIX_FMT_GBRAP);
    if (!sws) return state.SkipWithError("swscale refused the job");
    // The source split into swscale's planes once, outside the timing: G, B, R, A.
    const size_t srcPixels = size_t(job.SrcW) * job.SrcH, dstPixels = size_t(job.DstW) * job.DstH;
    std::vector<uint8_t> srcBytes(srcPixels * 4), dstBytes(dstPixels * 4);
    const int shifts[4] = {8, 0, 16, 24};
    for (size_t i = 0; i < srcPixels; ++i)
        for (int p = 0; p < 4; ++p) srcBytes[size_t(p) * srcPixels + i] = uint8_t(src.Bits()[i] >> shifts[p]);
    const uint8_t* srcPlanes[4];
    uint8_t* dstPlanes[4];
    int srcStrides[4], dstStrides[4];
    for (int p = 0; p < 4; ++p) {
        srcPlanes[p] = srcBytes.data() + size_t(p) * srcPixels;
        dstPlanes[p] = dstBytes.data() + size_t(p) * dstPixels;
        srcStrides[p] = job.SrcW;
        dstStrides[p] = job.DstW;
    }
    double ours = 0, ref = 0, oursCpu = 0, refCpu = 0;
    for (auto _ : state) {
        double c0 = ProcessCpuSeconds();
        const double t = Seconds([&] { src.StretchTo(out, 0, 0, job.DstW, job.DstH); });
        oursCpu += ProcessCpuSeconds() - c0;
        c0 = ProcessCpuSeconds();
        ref += Seconds([&] { sws_scale(sws, srcPlanes, srcStrides, 0, job.SrcH, dstPlanes, dstStrides); });
        refCpu += ProcessCpuSeconds() - c0;
        benchmark::DoNotOptimize(out.Bits());
        benchmark::DoNotOptimize(dstBytes.data());
        ours += t;
        state.SetIterationTime(t);
    }
    sws_freeContext(sws);
    state.counters["wall_ratio"] = ref > 0 ? ours / ref : 0;
    Report(state, oursCpu, refCpu, "swscale_gbrap_cpu", 1);
}

void StretchArgs(benchmark::internal::Benchmark* b) {
    for (int job = 0; job < 3; ++job)
        for (int f : {int(sfLinear), int(sfMitchell), int(sfLanczos)}) b->Args({job, f});
    b->ArgNames({"job", "filter"});
}

// ---- Fitting a JPEG against libjpeg-turbo's planes and swscale ----------------------------

std::vector<uint8_t> EncodeJpeg(const TBitmap32& pic, bool subsampled) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(pic.Width());
    c.image_height = JDIMENSION(pic.Height());
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    // 4:2:0 as most cameras write, or 4:4:4.
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = subsampled ? 2 : 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(pic.ScanLine(int(c.next_scanline))));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

void BM_JpegFit(benchmark::State& state) {
    const bool subsampled = state.range(0) != 0;
    const bool now = state.range(1) != 0;
    static const std::vector<uint8_t> jpeg420 = EncodeJpeg(Photo(4000, 3000), true);
    static const std::vector<uint8_t> jpeg444 = EncodeJpeg(Photo(4000, 3000), false);
    const std::vector<uint8_t>& jpeg = subsampled ? jpeg420 : jpeg444;
    TBitmap32 screen(1920, 1080);
    const int h = 1080, w = int(std::lround(4000.0 * h / 3000));
    TJpegFitYardstick yardstick(jpeg, 1920, 1080, w, h);
    if (!yardstick.Ready()) return state.SkipWithError("swscale refused the job");
    double ours = 0, ref = 0, oursCpu = 0, refCpu = 0;
    for (auto _ : state) {
        double c0 = ProcessCpuSeconds();
        const double t = Seconds([&] {
            TBitmap32 pic = ReadJpegPicture(jpeg.data(), jpeg.size(), 1920, 1080, now ? 0 : 1);
            // The default picture settings: fitted, aspect kept, Mitchell filter.
            pic.StretchFilter = sfMitchell;
            pic.StretchTo(screen, (1920 - w) / 2, 0, (1920 - w) / 2 + w, h);
        });
        oursCpu += ProcessCpuSeconds() - c0;
        benchmark::DoNotOptimize(screen.Bits());
        c0 = ProcessCpuSeconds();
        ref += Seconds([&] { yardstick.Run(); });
        refCpu += ProcessCpuSeconds() - c0;
        benchmark::DoNotOptimize(yardstick.Fitted());
        ours += t;
        state.SetIterationTime(t);
    }
    state.counters["jpeg_mb"] = double(jpeg.size()) / 1e6;
    state.counters["yardstick_path"] = yardstick.Path();
    state.counters["cpu_ratio"] = refCpu > 0 ? oursCpu / refCpu : 0;
    state.counters["wall_ratio"] = ref > 0 ? ours / ref : 0;
    // The ratio that counts: CPU for a picture read ahead, wall for one needed now.
    Report(state, now ? ours : oursCpu, now ? ref : refCpu, "decodefit", now ? 1 : 1.15);
}

}  // namespace

BENCHMARK(BM_Stretch)->Apply(StretchArgs)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegFit)
    ->ArgNames({"subsampled", "now"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossFadeFrame)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlendOntoHalfTransparent)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Combiner)
    ->ArgName("kind")
    ->DenseRange(ckAdd, ckMin)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossFadeVsPixman)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
