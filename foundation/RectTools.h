// Integer and double rectangles: sizes, relative <-> absolute conversion against a
// reference rectangle, fitting with the aspect ratio kept, and the list of rectangles
// the player collects its changed areas in.
#pragma once

#include "foundation/DoubleRect.h"
#include "platform/Types.h"

#include <vector>

int32_t RectWidth(const TRect& r);
int32_t RectHeight(const TRect& r);
// The same corners ordered so that Left <= Right and Top <= Bottom.
TRect NormalizeRect(const TRect& r);
// Moves R so that its top-left corner is (X, Y), keeping its size.
void MoveRectTo(int32_t x, int32_t y, TRect& r);

TDoubleRect DoubleRect(double left, double top, double right, double bottom);
double DoubleRectWidth(const TDoubleRect& d);
double DoubleRectHeight(const TDoubleRect& d);
// True only when width and height are both exactly 0.
bool IsDoubleRectEmpty(const TDoubleRect& d);
// The same corners ordered so that Left <= Right and Top <= Bottom.
TDoubleRect NormalizeDoubleRect(const TDoubleRect& d);

// R as fractions of Ref. An axis of Ref with no extent gives 0 on that axis.
TDoubleRect AbsToRelRect(const TRect& r, const TRect& ref);
// Fractions of Ref back to pixels, rounding halves to even. Relative rectangles come
// from show files, so non-finite values count as 0 and results are clamped to 32 bits.
TRect RelToAbsRect(const TDoubleRect& d, const TRect& ref);

// Source scaled to lie inside Target with its aspect ratio (never smaller than 1 x 1),
// centred in Target or at its top-left corner. An empty Source gives Target.
TRect FitRect(const TRect& source, const TRect& target, bool centre);
// Source scaled to cover Target with its aspect ratio, overhanging equally on both
// sides when centred. An empty Source gives Target.
TRect FillRectAspect(const TRect& source, const TRect& target, bool centre);

// An owning list of rectangles.
class TRectList {
public:
    int Add(const TRect& r);
    TRect Get(int index) const;
    void Put(int index, const TRect& r);
    void Delete(int index);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TRect operator[](int index) const { return Get(index); }

private:
    std::vector<TRect> items_;
};
