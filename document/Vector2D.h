// Two-dimensional points for key-frame curves and the motion path.
#pragma once

#include <cstdint>

struct TVector2D {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TVector2D&) const = default;
};

struct TFloatVector2D {
    float X = 0;
    float Y = 0;
};

TVector2D Vector2D(int32_t x, int32_t y);
TVector2D AddVector2D(const TVector2D& a, const TVector2D& b);
// Each component rounded on its own, halves to even.
TVector2D ScaleVector2D(const TVector2D& a, float s);
TVector2D RoundVector2D(const TFloatVector2D& f);
TFloatVector2D FloatVector2D(const TVector2D& a);
TFloatVector2D AddFloatVector2D(const TFloatVector2D& a, const TFloatVector2D& b);
TFloatVector2D SubFloatVector2D(const TFloatVector2D& a, const TFloatVector2D& b);
TFloatVector2D ScaleFloatVector2D(const TFloatVector2D& a, float s);

// Round half to even into 32 bits; NaN gives 0, values beyond the range saturate.
int32_t RoundToInt32(long double v);
// Cut toward zero into 32 bits, with the same guards.
int32_t TruncToInt32(long double v);
