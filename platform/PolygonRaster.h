// Scan conversion of polygons with anti-aliasing: contours of straight segments in 16.16
// pixels (y down), a fill rule and a clip box in, rows of spans with their coverage out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

struct TRasterSpan {
    int32_t X = 0;
    int32_t Length = 0;
    uint8_t Coverage = 0;  // 0..255
};

enum class TRasterFillRule : uint8_t { NonZero, EvenOdd };

// The pixels [Left, Right) x [Top, Bottom) that may be touched.
struct TRasterClip {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

// Collects contours and renders them; reusable, so a caller filling many polygons keeps
// its buffers.
class TPolygonRaster {
public:
    TPolygonRaster();
    ~TPolygonRaster();
    TPolygonRaster(const TPolygonRaster&) = delete;
    TPolygonRaster& operator=(const TPolygonRaster&) = delete;

    void Clear();
    // A new contour; it closes itself back to its first point.
    void BeginContour();
    void AddPoint(int32_t x, int32_t y);  // 16.16
    // Hands every row's spans (left to right, within the clip box) to spans. Contours of
    // fewer than two points are left out. False when nothing could be rendered (too many
    // points for one pass, or the rasterizer failed).
    bool Render(TRasterFillRule rule, const TRasterClip& clip,
                const std::function<void(int32_t y, const TRasterSpan* spans, int32_t count)>& spans);

    // Points the rasterizer takes in one pass.
    static constexpr int32_t kMaxPoints = 32767;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
