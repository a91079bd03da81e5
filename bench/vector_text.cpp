// Outline text at 1920x1080 against a plain copy of the full frame measured in the same
// run ("ratio" = our time / the copy's time):
// - LineFromCache: a 40-character line with a 72-pixel em drawn from the glyph cache
//   (target: ratio at most 1);
// - LineFromOutlines: the same line filled from its outlines (target: at most 5);
// - ZoomFrame: a frame of a zoom effect: 32 characters from the cache and 8 in flight,
//   scaled up to four times around their centres and filled (target: at most 10).
// All draw in the drop-shadow mode, the text's default.
#include "bench/BenchSupport.h"
#include "bench/BenchTiming.h"
#include "graphics/DrawingTools.h"
#include "graphics/VectorText.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr TFixed kPx = FixedOne;
const AnsiString kLine = "Glowcanvas zeigt Bilder, Texte und Musik";  // 40 characters

std::unique_ptr<TVectorText> Line() {
    auto t = std::make_unique<TVectorText>();
    t->Font.Size = -72;
    t->SetText(kLine);
    return t;
}

template <class Draw>
void Measure(benchmark::State& state, double ratioTarget, Draw draw) {
    TBitmap32 target = Photo(kW, kH), frame = Photo(kW, kH), copy(kW, kH);
    double ours = 0, ref = 0;
    for (auto _ : state) {
        std::memcpy(target.Bits(), frame.Bits(), size_t(kW) * kH * 4);
        const double t = Seconds([&] { draw(target); });
        ref += Seconds([&] { std::memcpy(copy.Bits(), frame.Bits(), size_t(kW) * kH * 4); });
        benchmark::DoNotOptimize(target.Bits());
        benchmark::DoNotOptimize(copy.Bits());
        ours += t;
        state.SetIterationTime(t);
    }
    Report(state, ours, ref, "copy", ratioTarget);
}

void BM_LineFromCache(benchmark::State& state) {
    auto text = Line();
    text->LayoutGlyphs();
    TFixedRect bounds;
    Measure(state, 1, [&](TBitmap32& target) { text->Draw(40 * kPx, 400 * kPx, bounds, false, 0, &target); });
}

void BM_LineFromOutlines(benchmark::State& state) {
    auto text = Line();
    TFixedRect bounds;
    Measure(state, 5, [&](TBitmap32& target) { text->Draw(40 * kPx, 400 * kPx, bounds, false, 0, &target); });
}

void BM_ZoomFrame(benchmark::State& state) {
    auto text = Line();
    text->LayoutGlyphs();
    TFixedRect bounds;
    text->Draw(40 * kPx, 400 * kPx, bounds, true, 0, nullptr);
    const size_t first = 32;
    Measure(state, 10, [&](TBitmap32& target) {
        // The settled characters come from the cache; the 8 in flight are hidden there and
        // drawn scaled from their outlines.
        for (size_t i = first; i < text->Chars.size(); ++i) text->Chars[i]->Visible = false;
        text->Draw(40 * kPx, 400 * kPx, bounds, false, 0, &target);
        for (size_t i = first; i < text->Chars.size(); ++i) {
            TCharVector& c = *text->Chars[i];
            c.Visible = true;
            if (!c.Polygon) continue;
            c.RestorePoints();
            const TFixed zoom = kPx + TFixed(i - first) * kPx * 3 / 7;
            ScalePolyPolygon(zoom, zoom, c.Polygon->Points);
            c.Polygon->Antialiased = true;
            c.Polygon->Offset(40 * kPx + c.X + c.Metrics.OriginX + c.HalfWidth, 400 * kPx + c.Y + text->LineHeight / 2);
            c.Polygon->Offset(2 * kPx, 2 * kPx);
            FillGlyph(*c.Polygon, target, text->OutlineColor, false);
            c.Polygon->Offset(-2 * kPx, -2 * kPx);
            FillGlyph(*c.Polygon, target, text->Color, false);
        }
    });
}

}  // namespace

BENCHMARK(BM_LineFromCache)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineFromOutlines)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomFrame)->UseManualTime()->Unit(benchmark::kMillisecond);
