// The transitions' cost per frame against references measured in the same run. Every
// case runs one transition through 25 frames at times spread evenly over 0..Duration on
// a 1920x1080 back buffer, with the Mitchell filter as the play filter, and reports
// "ratio" = its mean frame time / the reference's (the time column is one 25-frame run):
// - every registered class at its defaults, the mask ones included, against an opaque
//   full-frame DrawTo of the same picture (target: ratio at most 3);
// - the fine boxes (thousands of small boxes, each fading in on its own), at their
//   defaults and at BoxCount 300, against pixman drawing the same boxes in the same frames:
//   the boxes done copied in runs along their row, the fading ones blended at their
//   opacity through a solid mask (target: ratio at most 1.5, as for the stretches: the
//   reference does the same work). A full-frame copy is no yardstick for them: its one
//   long run per row costs nothing per box;
// - the stretch variants (box classes with BoxStretch, slide and blind with Stretch),
//   against a plain StretchTo of the same picture into the full rectangle with the same
//   filter (target: ratio at most 1.5). Their picture is 2048x1152, a little larger than
//   the rectangle, so the reference really resamples (at equal sizes StretchTo is a copy)
//   and the box family, which places boxes in picture coordinates, still covers it all.
//   The fine boxes are left out here: they show each box whole at once (BoxMode 0), so
//   BoxStretch changes nothing they draw, and their Randomize never sets it.
// The references do the same work in every frame, so a few frames per run give their mean.
// A summary table with PASS or OVER per case follows the benchmark output; a ratio over
// its target never makes the program fail.
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "graphics/Bitmap32.h"
#include "graphics/GraphicsModules.h"
#include "platform/Random.h"
#include "transitions/PicTransitions.h"
#include "transitions/TransitionModules.h"
#include "transitions/TransitionMath.h"
#include "transitions/TransitionPlugin.h"
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 25, kReferenceFrames = 5;
constexpr int kStretchWidth = 2048, kStretchHeight = 1152;
constexpr double kTarget = 3.0, kStretchTarget = 1.5, kFineBoxTarget = 1.5;

struct TCase {
    std::string Name;
    const ClassInfo* Class;
    std::function<void(TTransitionPlugin&)> Setup;  // may be empty
    bool Stretch;
};

struct TResult {
    std::string Name;
    double Ratio;
    double Target;
    double FrameMs;
};
std::vector<TResult> results;

std::unique_ptr<TTransitionPlugin> NewTransition(const ClassInfo& cls) {
    std::unique_ptr<TPlugin> p = CreatePlugin(cls);
    if (!dynamic_cast<TTransitionPlugin*>(p.get())) return nullptr;
    return std::unique_ptr<TTransitionPlugin>(static_cast<TTransitionPlugin*>(p.release()));
}

// pixman drawing the boxes a fine-box transition shows in frames frames spread over its
// duration, as the transition would: every box that is done, joined with its done
// neighbours along the row into one copy; every fading box blended at its opacity.
double PixmanBoxFrames(const TBoxTransitionPlugin& t, TBitmap32& picture, TBitmap32& target, int frames) {
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, picture.Width(), picture.Height(),
                                                   reinterpret_cast<uint32_t*>(picture.Bits()), picture.Width() * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, target.Width(), target.Height(),
                                                   reinterpret_cast<uint32_t*>(target.Bits()), target.Width() * 4);
    std::vector<pixman_image_t*> masks(256);
    for (int a = 0; a < 256; ++a) {
        const pixman_color_t alpha = {0, 0, 0, uint16_t(a * 257)};
        masks[size_t(a)] = pixman_image_create_solid_fill(&alpha);
    }
    const int32_t boxDuration = std::max(t.BoxDuration, 1);
    const int w = std::min(target.Width(), picture.Width()), h = std::min(target.Height(), picture.Height());
    const double seconds = Seconds([&] {
        for (int k = 0; k < frames; ++k) {
            const auto time = int32_t(int64_t(t.Duration) * k / (frames - 1));
            for (int32_t r = 0; r < t.Rows; ++r) {
                const int y = r * t.BoxHeight, bh = std::min(t.BoxHeight, h - y);
                if (bh <= 0) break;
                int32_t doneFrom = -1;
                auto copyDone = [&](int32_t to) {
                    if (doneFrom < 0) return;
                    const int x = doneFrom * t.BoxWidth, bw = std::min(to * t.BoxWidth, w) - x;
                    if (bw > 0) pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, x, y, 0, 0, x, y, bw, bh);
                    doneFrom = -1;
                };
                for (int32_t c = 0; c < t.Cols; ++c) {
                    const int64_t elapsed = int64_t(time) - t.StartTimes[size_t(r) * size_t(t.Cols) + size_t(c)];
                    if (elapsed >= boxDuration) {
                        if (doneFrom < 0) doneFrom = c;
                        continue;
                    }
                    copyDone(c);
                    const int x = c * t.BoxWidth, bw = std::min(t.BoxWidth, w - x);
                    if (elapsed <= 0 || bw <= 0) continue;
                    const uint8_t alpha = TransitionMath::FadeAlpha(static_cast<long double>(elapsed) / boxDuration);
                    pixman_image_composite32(PIXMAN_OP_OVER, src, masks[alpha], dst, x, y, 0, 0, x, y, bw, bh);
                }
                copyDone(t.Cols);
            }
        }
    });
    for (pixman_image_t* m : masks) pixman_image_unref(m);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    return seconds;
}

void RunCase(benchmark::State& state, const TCase& c) {
    static TBitmap32 plain = Photo(kWidth, kHeight);
    static TBitmap32 large = Photo(kStretchWidth, kStretchHeight);
    TBitmap32& picture = c.Stretch ? large : plain;
    picture.StretchFilter = sfMitchell;
    TBitmap32 target(kWidth, kHeight);
    target.Clear(Color32(16, 16, 20));
    const TRect rect{0, 0, kWidth, kHeight};
    double ours = 0, ref = 0;
    const bool fineBox = c.Class->InheritsFrom(TFineBoxTransitionPlugin::StaticClassInfo());
    for (auto _ : state) {
        // Set up outside the timing: Init runs once when the item is prepared.
        RandSeed(1);
        std::unique_ptr<TTransitionPlugin> t = NewTransition(*c.Class);
        if (!t) return state.SkipWithError("cannot create the transition");
        if (c.Setup) c.Setup(*t);
        picture.MasterAlpha = 255;
        picture.DrawMode = dmOpaque;
        t->Init(rect, &picture);
        const double run = Seconds([&] {
            for (int k = 0; k < kFrames; ++k) {
                const auto time = int32_t(int64_t(t->Duration) * k / (kFrames - 1));
                TRect changed;
                t->GetChangedRect(time, target, changed);
                t->Draw(time, target);
            }
        });
        benchmark::DoNotOptimize(target.Bits());
        if (fineBox)
            ref += PixmanBoxFrames(static_cast<const TBoxTransitionPlugin&>(*t), picture, target, kFrames) *
                   kReferenceFrames / kFrames;
        t->Done();
        picture.MasterAlpha = 255;
        picture.DrawMode = dmOpaque;
        if (!fineBox) ref += Seconds([&] {
            for (int k = 0; k < kReferenceFrames; ++k) {
                if (c.Stretch)
                    picture.StretchTo(target, 0, 0, kWidth, kHeight);
                else
                    picture.DrawTo(target, 0, 0);
                benchmark::ClobberMemory();
            }
        });
        benchmark::DoNotOptimize(target.Bits());
        ours += run;
        // The whole run, so the runner's minimum time counts what a case really takes.
        state.SetIterationTime(run);
    }
    const double frameMs = ours * 1000 / kFrames / double(state.iterations());
    const double refMs = ref * 1000 / kReferenceFrames / double(state.iterations());
    const double ratio = refMs > 0 ? frameMs / refMs : 0;
    const double aim = c.Stretch ? kStretchTarget : fineBox ? kFineBoxTarget : kTarget;
    state.counters["ratio"] = ratio;
    state.counters["target"] = aim;
    state.counters["frame_ms"] = frameMs;
    state.counters["ref_ms"] = refMs;
    // The runner may call a case several times while it settles the iteration count;
    // the last call is the one it reports.
    const TResult r{c.Name, ratio, aim, frameMs};
    auto it = std::find_if(results.begin(), results.end(), [&](const TResult& x) { return x.Name == c.Name; });
    if (it == results.end())
        results.push_back(r);
    else
        *it = r;
}

std::vector<TCase> Cases() {
    std::vector<TCase> plain, fine300, stretch;
    auto subset = Plugins->SubsetOf<TTransitionPlugin>();
    for (int i = 0; subset && i < subset->GetCount(); ++i) {
        const ClassInfo* cls = &subset->GetItem(i)->PluginClass();
        const std::string name = cls->Name;
        plain.push_back({name, cls, nullptr, false});
        if (cls->InheritsFrom(TFineBoxTransitionPlugin::StaticClassInfo()))
            fine300.push_back({name + "/BoxCount:300", cls,
                               [](TTransitionPlugin& t) { static_cast<TBoxTransitionPlugin&>(t).BoxCount = 300; }, false});
        else if (cls->InheritsFrom(TBoxTransitionPlugin::StaticClassInfo()))
            stretch.push_back({name + "/BoxStretch", cls,
                               [](TTransitionPlugin& t) { static_cast<TBoxTransitionPlugin&>(t).BoxStretch = true; }, true});
        else if (cls->InheritsFrom(TMovePictureTransitionPlugin::StaticClassInfo()))
            stretch.push_back({name + "/Stretch", cls,
                               [](TTransitionPlugin& t) { static_cast<TMovePictureTransitionPlugin&>(t).Stretch = true; }, true});
        else if (cls->InheritsFrom(TBlindTransitionPlugin::StaticClassInfo()))
            stretch.push_back({name + "/Stretch", cls,
                               [](TTransitionPlugin& t) { static_cast<TBlindTransitionPlugin&>(t).Stretch = true; }, true});
    }
    plain.insert(plain.end(), fine300.begin(), fine300.end());
    plain.insert(plain.end(), stretch.begin(), stretch.end());
    return plain;
}

void PrintSummary() {
    std::printf("\n%-58s %9s %7s %7s\n", "transition (reference)", "frame ms", "ratio", "target");
    int over = 0;
    for (const TResult& r : results) {
        const bool ok = r.Ratio <= r.Target;
        over += !ok;
        std::printf("%-58s %9.3f %7.2f %7.1f  %s\n", r.Name.c_str(), r.FrameMs, r.Ratio, r.Target, ok ? "PASS" : "OVER");
    }
    std::printf("%d of %zu over their target\n", over, results.size());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    AddFoundationModules();
    AddGraphicsModules();
    AddTransitionModules();
    RunInitializations();
    for (const TCase& c : Cases())
        benchmark::RegisterBenchmark(c.Name.c_str(), [c](benchmark::State& s) { RunCase(s, c); })
            ->UseManualTime()
            ->MinTime(0.2)
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    RunFinalizations();
    return 0;
}
