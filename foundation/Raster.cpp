#include "foundation/Raster.h"

#include "foundation/RectTools.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

long double Snap(long double x, const TExtendedList& lines, long double tolerance) {
    const size_t n = lines.size();
    if (n == 0) return x;  // no guide lines: nothing to snap to
    size_t best = 0;
    long double bestDist = std::fabs(lines[0] - x);
    for (size_t i = 1; i < n; ++i) {
        const long double d = std::fabs(lines[i] - x);
        if (d < bestDist) {
            best = i;
            bestDist = d;
        } else if (lines[i] > x) {
            break;
        }
    }
    const long double nearest = lines[best];
    long double lower, upper;
    if (nearest <= x) {
        lower = nearest;
        if (best + 1 < n)
            upper = lines[best + 1];
        else
            upper = n >= 2 ? lower + (lines[n - 1] - lines[n - 2]) : lower + 0.1L;
    } else {
        upper = nearest;
        if (best > 0)
            lower = lines[best - 1];
        else
            lower = n >= 2 ? upper - (lines[1] - lines[0]) : 0;
    }
    if (upper == lower) return x;
    // Measured to the nearest line itself: beyond the outer lines one neighbour is only
    // assumed, and a value close to that assumed line must not jump to the real one.
    const long double half = (upper - lower) / 2;
    const long double dist = std::fabs(x - nearest);
    return dist / half <= tolerance ? nearest : x;
}

int32_t SnapInt(const TRaster& r, int32_t v, int32_t extent, bool horizontal) {
    if (!r.Enabled || extent == 0) return v;
    const long double rel = static_cast<long double>(v) / extent;
    const long double snapped = (horizontal ? r.SnapY(rel) : r.SnapX(rel)) * extent;
    constexpr long double lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    if (std::isnan(snapped)) return v;
    return static_cast<int32_t>(std::nearbyint(std::clamp(snapped, lo, hi)));
}

}  // namespace

// A value that is not a number lies in no range and stays as it is.
long double TRaster::SnapX(long double x) const {
    if (!Enabled || !(x >= MinX && x <= MaxX)) return x;
    return Snap(x, VerticalLines, Tolerance);
}

long double TRaster::SnapY(long double y) const {
    if (!Enabled || !(y >= MinY && y <= MaxY)) return y;
    return Snap(y, HorizontalLines, Tolerance);
}

int32_t TRaster::SnapXInt(int32_t x, int32_t width) const { return SnapInt(*this, x, width, false); }

int32_t TRaster::SnapYInt(int32_t y, int32_t height) const { return SnapInt(*this, y, height, true); }

TRect TRaster::SnapRect(const TRect& r, const TRect& ref) const {
    if (!Enabled) return r;
    TRect result = r;
    MoveRectTo(SnapXInt(r.Left, RectWidth(ref)), SnapYInt(r.Top, RectHeight(ref)), result);
    return result;
}
