#include "document/Vector2D.h"

#include <cmath>
#include <limits>

namespace {

int32_t Saturate(long double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<long double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (v <= static_cast<long double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

// rint: as nearbyint, without its costly save of the floating-point state.
int32_t RoundToInt32(long double v) { return Saturate(std::rint(v)); }
int32_t TruncToInt32(long double v) { return Saturate(std::trunc(v)); }

TVector2D Vector2D(int32_t x, int32_t y) { return TVector2D{x, y}; }

TVector2D AddVector2D(const TVector2D& a, const TVector2D& b) {
    // Integer sums wrap like the 32-bit arithmetic they stand for, never trap.
    return TVector2D{Wrap(int64_t(a.X) + b.X), Wrap(int64_t(a.Y) + b.Y)};
}

TVector2D ScaleVector2D(const TVector2D& a, float s) {
    return TVector2D{RoundToInt32(static_cast<long double>(a.X) * s), RoundToInt32(static_cast<long double>(a.Y) * s)};
}

TVector2D RoundVector2D(const TFloatVector2D& f) { return TVector2D{RoundToInt32(f.X), RoundToInt32(f.Y)}; }

TFloatVector2D FloatVector2D(const TVector2D& a) {
    return TFloatVector2D{static_cast<float>(a.X), static_cast<float>(a.Y)};
}

TFloatVector2D AddFloatVector2D(const TFloatVector2D& a, const TFloatVector2D& b) {
    return TFloatVector2D{a.X + b.X, a.Y + b.Y};
}

TFloatVector2D SubFloatVector2D(const TFloatVector2D& a, const TFloatVector2D& b) {
    return TFloatVector2D{a.X - b.X, a.Y - b.Y};
}

TFloatVector2D ScaleFloatVector2D(const TFloatVector2D& a, float s) { return TFloatVector2D{a.X * s, a.Y * s}; }
