// Rounding and rectangle rules the transitions share.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/Types.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace TransitionMath {

// To a whole number of the int64 range (what no schedule or size comes near).
inline int64_t ToInt64(long double x) {
    if (!(x == x)) return 0;
    return static_cast<int64_t>(std::clamp(x, -9.0e18L, 9.0e18L));
}
// Halves to the even neighbour, under the default rounding mode. rint, not nearbyint:
// the same value, but nearbyint saves and restores the floating-point state around it,
// twenty times the cost for long double (box transitions round per box).
inline int64_t Round(long double x) { return ToInt64(std::rint(x)); }
inline int64_t Trunc(long double x) { return ToInt64(x); }  // the conversion cuts toward zero
inline int64_t RoundUp(long double x) { return ToInt64(std::ceil(x)); }

inline int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// A destination rectangle the transitions draw into: not empty nor inverted, and no
// farther out than any bitmap reaches, so that box and slat arithmetic stays in range.
inline bool UsableRect(const TRect& r) {
    constexpr int32_t kFar = 1 << 28;
    auto near = [](int32_t v) { return v >= -kFar && v <= kFar; };
    return r.Left < r.Right && r.Top < r.Bottom && near(r.Left) && near(r.Right) && near(r.Top) && near(r.Bottom);
}

// The picture's opacity at progress p.
inline uint8_t FadeAlpha(long double p) {
    return static_cast<uint8_t>(std::min<int64_t>(Trunc(std::clamp(p, 0.0L, 1.0L) * 255), 255));
}
// Sets it; blended unless it is fully opaque.
inline void SetFadeAlpha(TBitmap32& picture, long double p) {
    picture.MasterAlpha = FadeAlpha(p);
    if (picture.MasterAlpha != 255) picture.DrawMode = dmBlend;
}

}  // namespace TransitionMath
