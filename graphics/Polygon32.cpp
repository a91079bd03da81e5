#include "graphics/Polygon32.h"

#include "platform/PolygonRaster.h"

#include <algorithm>
#include <cmath>

void TPolygon32::Offset(TFixed dx, TFixed dy) {
    for (auto& contour : Points)
        for (auto& p : contour) {
            p.X = TFixed(uint32_t(p.X) + uint32_t(dx));  // wraps like the fixed type, never UB
            p.Y = TFixed(uint32_t(p.Y) + uint32_t(dy));
        }
}

void TPolygon32::BuildNormals() {
    Normals.assign(Points.size(), {});
    for (size_t c = 0; c < Points.size(); ++c) {
        const auto& pts = Points[c];
        auto& nrm = Normals[c];
        nrm.assign(pts.size(), {});
        if (pts.size() < 2) continue;
        double dx = 0, dy = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            size_t next = i + 1;
            if (next == pts.size()) {
                if (!Closed) next = i;  // keep the previous edge's direction
                else next = 0;
            }
            if (next != i) {
                double ex = (double(pts[next].X) - pts[i].X) / FixedOne;
                double ey = (double(pts[next].Y) - pts[i].Y) / FixedOne;
                double len = std::hypot(ex, ey);
                if (len > 0) {
                    dx = ex / len;
                    dy = ey / len;
                }
            }
            nrm[i] = {TFixed(std::lround(dy * FixedOne)), TFixed(std::lround(-dx * FixedOne))};
        }
    }
}

namespace {

// One raster per thread, so its buffers are kept from fill to fill.
TPolygonRaster& Raster() {
    thread_local TPolygonRaster raster;
    return raster;
}

int32_t RoundFixed(TFixed v) { return int32_t((int64_t(v) + 0x8000) >> 16); }

}  // namespace

void TPolygon32::DrawFill(TBitmap32& target, TColor32 color) const {
    if (AlphaComponent(color) == 0 || target.Empty()) return;
    TPolygonRaster& raster = Raster();
    raster.Clear();
    for (const auto& contour : Points) {
        raster.BeginContour();
        for (const TFixedPoint& p : contour) raster.AddPoint(p.X, p.Y);
    }
    const TRasterClip clip{0, 0, target.Width(), target.Height()};
    const bool antialiased = Antialiased;
    const bool opaque = AlphaComponent(color) == 255;
    raster.Render(FillMode == pfWinding ? TRasterFillRule::NonZero : TRasterFillRule::EvenOdd, clip,
                  [&](int32_t y, const TRasterSpan* spans, int32_t count) {
                      if (y < 0 || y >= target.Height()) return;
                      TColor32* row = target.ScanLine(y);
                      for (int32_t i = 0; i < count; ++i) {
                          const TRasterSpan& s = spans[i];
                          const int32_t x0 = std::max(s.X, 0), x1 = std::min(s.X + s.Length, target.Width());
                          if (antialiased) {
                              if (opaque && s.Coverage == 255) {
                                  std::fill(row + x0, row + x1, color);
                                  continue;
                              }
                              for (int32_t x = x0; x < x1; ++x) row[x] = BlendPixel(color, row[x], s.Coverage);
                          } else if (s.Coverage >= 128) {
                              // A pixel belongs to the plain fill when its centre half is covered.
                              for (int32_t x = x0; x < x1; ++x) row[x] = opaque ? color : BlendPixel(color, row[x]);
                          }
                      }
                  });
}

void TPolygon32::DrawEdge(TBitmap32& target, TColor32 color) const {
    if (AlphaComponent(color) == 0 || target.Empty()) return;
    for (const auto& contour : Points) {
        const size_t n = contour.size();
        if (n < 2) continue;
        const size_t edges = Closed ? n : n - 1;
        for (size_t i = 0; i < edges; ++i) {
            const TFixedPoint a = contour[i], b = contour[(i + 1) % n];
            // An open line ends on its last point.
            const bool last = !Closed && i + 1 == edges;
            if (Antialiased)
                target.LineXS(a.X, a.Y, b.X, b.Y, color, last);
            else
                target.LineTS(RoundFixed(a.X), RoundFixed(a.Y), RoundFixed(b.X), RoundFixed(b.Y), color, last);
        }
    }
}
