#include "platform/PolygonRaster.h"

#include "platform/FreeTypeLibrary.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <vector>

namespace {

// The rasterizer needs a library handle; one per thread keeps fills on different threads
// from sharing FreeType state.
FT_Library RasterLibrary() {
    thread_local TFreeTypeLibrary library;
    return library.Handle;
}

// 16.16 to 26.6, rounded; y is negated because the rasterizer counts rows upwards.
FT_Pos To26_6(int32_t v) { return static_cast<FT_Pos>((int64_t(v) + 512) >> 10); }

struct TSpanSink {
    const std::function<void(int32_t, const TRasterSpan*, int32_t)>* Out = nullptr;
    std::vector<TRasterSpan> Row;
};

void GraySpans(int y, int count, const FT_Span* spans, void* user) {
    auto* sink = static_cast<TSpanSink*>(user);
    sink->Row.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        sink->Row[size_t(i)] = TRasterSpan{spans[i].x, spans[i].len, spans[i].coverage};
    // Row y of the upward grid covers [y, y + 1), which is row -y - 1 downwards.
    (*sink->Out)(-y - 1, sink->Row.data(), count);
}

}  // namespace

struct TPolygonRaster::TImpl {
    std::vector<FT_Vector> Points;
    std::vector<short> ContourEnds;  // index of each contour's last point
    std::vector<char> Tags;
    size_t ContourStart = 0;

    void EndContour() {
        // A contour of fewer than two points encloses nothing: drop it.
        if (Points.size() - ContourStart < 2)
            Points.resize(ContourStart);
        else if (Points.size() <= size_t(kMaxPoints))
            ContourEnds.push_back(static_cast<short>(Points.size() - 1));
        ContourStart = Points.size();
    }
};

TPolygonRaster::TPolygonRaster() : impl_(std::make_unique<TImpl>()) {}
TPolygonRaster::~TPolygonRaster() = default;

void TPolygonRaster::Clear() {
    impl_->Points.clear();
    impl_->ContourEnds.clear();
    impl_->ContourStart = 0;
}

void TPolygonRaster::BeginContour() { impl_->EndContour(); }

void TPolygonRaster::AddPoint(int32_t x, int32_t y) { impl_->Points.push_back(FT_Vector{To26_6(x), -To26_6(y)}); }

bool TPolygonRaster::Render(TRasterFillRule rule, const TRasterClip& clip,
                            const std::function<void(int32_t, const TRasterSpan*, int32_t)>& spans) {
    impl_->EndContour();
    TImpl& d = *impl_;
    if (d.Points.size() > size_t(kMaxPoints)) return false;
    if (d.ContourEnds.empty() || clip.Right <= clip.Left || clip.Bottom <= clip.Top) return true;
    FT_Library library = RasterLibrary();
    if (!library) return false;
    d.Tags.assign(d.Points.size(), FT_CURVE_TAG_ON);

    FT_Outline outline{};
    outline.n_contours = static_cast<short>(d.ContourEnds.size());
    outline.n_points = static_cast<short>(d.Points.size());
    outline.points = d.Points.data();
    outline.tags = d.Tags.data();
    outline.contours = d.ContourEnds.data();
    outline.flags = rule == TRasterFillRule::EvenOdd ? FT_OUTLINE_EVEN_ODD_FILL : FT_OUTLINE_NONE;

    TSpanSink sink;
    sink.Out = &spans;
    FT_Raster_Params params{};
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = GraySpans;
    params.user = &sink;
    // Rows are counted upwards: the clip box is mirrored with the points.
    params.clip_box.xMin = clip.Left;
    params.clip_box.xMax = clip.Right;
    params.clip_box.yMin = -FT_Pos(clip.Bottom);
    params.clip_box.yMax = -FT_Pos(clip.Top);
    return FT_Outline_Render(library, &outline, &params) == 0;
}
