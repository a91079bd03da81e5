#include "foundation/RectTools.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace {

constexpr long double minInt = std::numeric_limits<int32_t>::min();
constexpr long double maxInt = std::numeric_limits<int32_t>::max();

int32_t ClampToInt(long double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int32_t>(std::clamp(v, minInt, maxInt));
}

int32_t ClampToInt(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Floor division by 2, for offsets that may be negative.
int32_t HalfDown(int64_t v) { return ClampToInt(v >= 0 ? v / 2 : -((-v + 1) / 2)); }

}  // namespace

int32_t RectWidth(const TRect& r) { return r.Width(); }
int32_t RectHeight(const TRect& r) { return r.Height(); }

TRect NormalizeRect(const TRect& r) {
    return TRect{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                 std::max(r.Top, r.Bottom)};
}

TDoubleRect NormalizeDoubleRect(const TDoubleRect& d) {
    return {std::min(d.Left, d.Right), std::min(d.Top, d.Bottom), std::max(d.Left, d.Right),
            std::max(d.Top, d.Bottom)};
}

void MoveRectTo(int32_t x, int32_t y, TRect& r) {
    const int64_t w = int64_t(r.Right) - r.Left, h = int64_t(r.Bottom) - r.Top;
    r = TRect{x, y, ClampToInt(x + w), ClampToInt(y + h)};
}

TDoubleRect DoubleRect(double left, double top, double right, double bottom) {
    return TDoubleRect{left, top, right, bottom};
}

double DoubleRectWidth(const TDoubleRect& d) { return std::fabs(d.Left - d.Right); }
double DoubleRectHeight(const TDoubleRect& d) { return std::fabs(d.Top - d.Bottom); }

bool IsDoubleRectEmpty(const TDoubleRect& d) { return DoubleRectWidth(d) == 0 && DoubleRectHeight(d) == 0; }

TDoubleRect AbsToRelRect(const TRect& r, const TRect& ref) {
    const long double w = RectWidth(ref), h = RectHeight(ref);
    auto relX = [&](int32_t x) { return w == 0 ? 0.0 : static_cast<double>((int64_t(x) - ref.Left) / w); };
    auto relY = [&](int32_t y) { return h == 0 ? 0.0 : static_cast<double>((int64_t(y) - ref.Top) / h); };
    return TDoubleRect{relX(r.Left), relY(r.Top), relX(r.Right), relY(r.Bottom)};
}

TRect RelToAbsRect(const TDoubleRect& d, const TRect& ref) {
    const long double w = RectWidth(ref), h = RectHeight(ref);
    auto abs = [](double v, long double extent, int32_t origin) {
        const long double rel = std::isfinite(v) ? v : 0.0;
        const long double scaled = std::clamp(extent * rel, minInt, maxInt);
        return ClampToInt(int64_t(std::nearbyint(scaled)) + origin);
    };
    return TRect{abs(d.Left, w, ref.Left), abs(d.Top, h, ref.Top), abs(d.Right, w, ref.Left),
                 abs(d.Bottom, h, ref.Top)};
}

namespace {

// The source's aspect at the target's width, or at the target's height where
// atHeight(height the width gives, target's height) says so; never below 1 x 1. Fitting
// inside and covering differ only in that comparison.
template <class AtHeight>
std::pair<int32_t, int32_t> AspectSize(const TRect& source, const TRect& target, AtHeight atHeight) {
    const long double sw = RectWidth(source), sh = RectHeight(source);
    int32_t width = RectWidth(target);
    int32_t height = ClampToInt(std::trunc(sh / sw * width));
    if (atHeight(height, RectHeight(target))) {
        height = RectHeight(target);
        width = ClampToInt(std::trunc(sw / sh * height));
    }
    if (width == 0) width = 1;
    if (height == 0) height = 1;
    return {width, height};
}

}  // namespace

TRect FitRect(const TRect& source, const TRect& target, bool centre) {
    if (source.Right <= source.Left || source.Bottom <= source.Top) return target;
    // A target without width fits nothing, and the 1 x 1 stands for it.
    const bool hasWidth = RectWidth(target) != 0;
    const auto [width, height] = AspectSize(
        source, target, [hasWidth](int32_t h, int32_t targetHeight) { return hasWidth && h > targetHeight; });
    int32_t left = target.Left, top = target.Top;
    if (centre) {
        left = ClampToInt(target.Left + (int64_t(RectWidth(target)) - width) / 2);
        top = ClampToInt(target.Top + (int64_t(RectHeight(target)) - height) / 2);
    }
    return TRect{left, top, ClampToInt(int64_t(left) + width), ClampToInt(int64_t(top) + height)};
}

TRect FillRectAspect(const TRect& source, const TRect& target, bool centre) {
    // The ratio needs a non-empty source; callers pass one, and the target is the
    // sensible answer otherwise.
    if (source.Right <= source.Left || source.Bottom <= source.Top) return target;
    const auto [width, height] =
        AspectSize(source, target, [](int32_t h, int32_t targetHeight) { return h < targetHeight; });
    // Covering overhangs: the halves round down, so an odd overhang puts its extra
    // pixel on the left and at the top.
    int32_t left = target.Left, top = target.Top;
    if (centre) {
        left = ClampToInt(target.Left + int64_t(HalfDown(int64_t(RectWidth(target)) - width)));
        top = ClampToInt(target.Top + int64_t(HalfDown(int64_t(RectHeight(target)) - height)));
    }
    return TRect{left, top, ClampToInt(int64_t(left) + width), ClampToInt(int64_t(top) + height)};
}

namespace {
[[noreturn]] void RectIndexError(int index) {
    throw Exception("Listenindex \xFC" "berschreitet das Maximum (" + std::to_string(index) + ")");
}
}  // namespace

int TRectList::Add(const TRect& r) {
    items_.push_back(r);
    return Count() - 1;
}

TRect TRectList::Get(int index) const {
    if (index < 0 || index >= Count()) RectIndexError(index);
    return items_[static_cast<size_t>(index)];
}

void TRectList::Put(int index, const TRect& r) {
    if (index < 0 || index >= Count()) RectIndexError(index);
    items_[static_cast<size_t>(index)] = r;
}

void TRectList::Delete(int index) {
    if (index < 0 || index >= Count()) RectIndexError(index);
    items_.erase(items_.begin() + index);
}
