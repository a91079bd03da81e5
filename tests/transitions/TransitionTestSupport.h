// Shared pieces of the transition tests: the registered classes, test pictures, stream
// bytes, and checks of what a transition left on its target.
#pragma once

#include "TestSupport.h"
#include "foundation/OKFStream.h"
#include "foundation/SlideShowGlobals.h"
#include "graphics/Bitmap32.h"
#include "platform/Random.h"
#include "platform/Stream.h"
#include "transitions/PicBoxTransitions.h"
#include "transitions/PicTransitions.h"
#include "transitions/TransitionModules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Every transition, registered once for the whole program; also the global registry the
// random transition draws from.
inline TPlugins& TransitionPlugins() {
    static TPlugins* plugins = [] {
        auto* p = new TPlugins();
        InitializeTransitionModules(*p);
        Plugins = p;
        return p;
    }();
    return *plugins;
}

inline std::unique_ptr<TTransitionPlugin> MakeTransition(const std::string& className) {
    TransitionPlugins();
    return CreateTransition(className);
}

// Opaque, and every pixel differs from its neighbours; the target starts transparent, so
// a pixel with alpha 0 was never drawn.
inline TBitmap32 TestPicture(int w, int h) {
    TBitmap32 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(uint8_t(x * 37 + y), uint8_t(y * 59 + x * 3), uint8_t(x ^ (y << 3))));
    return b;
}

inline std::vector<uint8_t> DataBytes(TTransitionPlugin& t) {
    TMemoryStream m;
    TOKFStream s(&m, okfRaw);
    EXPECT_TRUE(t.WriteData(s));
    return m.Bytes();
}

inline void ReadDataBytes(TTransitionPlugin& t, const std::vector<uint8_t>& bytes) {
    TMemoryStream m(bytes);
    TOKFStream s(&m, okfRaw);
    EXPECT_TRUE(t.ReadData(s));
    EXPECT_EQ(m.GetPosition(), int64_t(bytes.size()));
}

// A length-prefixed block around content.
inline Bytes Block(const Bytes& content) {
    Bytes b;
    b.u32(uint32_t(content.size() + 4)).raw(content.vec());
    return b;
}

// One frame as the owner runs it.
inline bool DrawFrame(TTransitionPlugin& t, TBitmap32& target, int32_t time) {
    TRect changed;
    t.GetChangedRect(time, target, changed);
    return t.Draw(time, target);
}

// A fresh target of w x h after t's Init on rect and one frame at time.
inline TBitmap32 RunFrame(TTransitionPlugin& t, TBitmap32& picture, const TRect& rect, int w, int h, int32_t time) {
    TBitmap32 target(w, h);
    EXPECT_TRUE(t.Init(rect, &picture));
    EXPECT_TRUE(DrawFrame(t, target, time));
    return target;
}

// Every pixel the picture touches counts one up on the target (which starts at 0).
inline void CountDraws(TBitmap32& picture) {
    picture.DrawMode = dmCustom;
    picture.OnPixelCombine = [](TColor32, TColor32& b, TColor32) { ++b; };
}

inline bool Inside(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

// The target shows the picture (top-left at rect's) inside rect and nothing outside.
// Not whole: pixels inside rect may also be left undrawn. checkInside false: anything
// may be inside.
inline ::testing::AssertionResult ShowsPicture(const TBitmap32& target, const TBitmap32& picture, const TRect& rect,
                                               bool whole = true, bool checkInside = true) {
    for (int y = 0; y < target.Height(); ++y)
        for (int x = 0; x < target.Width(); ++x) {
            const TColor32 got = target.Pixel(x, y);
            if (Inside(rect, x, y)) {
                const TColor32 want = picture.Pixel(x - rect.Left, y - rect.Top);
                if (checkInside && got != want && (whole || got != 0))
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex << got
                                                         << ", picture has " << want;
            } else if (got != 0) {
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " outside the rectangle drawn";
            }
        }
    return ::testing::AssertionSuccess();
}

// The bounding rectangle of the drawn (non-zero) pixels; empty when none.
inline TRect DrawnBounds(const TBitmap32& target) {
    TRect r{target.Width(), target.Height(), 0, 0};
    for (int y = 0; y < target.Height(); ++y)
        for (int x = 0; x < target.Width(); ++x)
            if (target.Pixel(x, y) != 0) r = TRect{std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1),
                                                  std::max(r.Bottom, y + 1)};
    return r.Left < r.Right ? r : TRect{};
}

inline int DrawnCount(const TBitmap32& target) {
    int n = 0;
    for (int y = 0; y < target.Height(); ++y)
        for (int x = 0; x < target.Width(); ++x) n += target.Pixel(x, y) != 0;
    return n;
}

// A mask transition reading a mask the test makes.
class TTestMaskTransition : public TBoxDropsTransitionPlugin {
public:
    TBitmap32 Mask;
    TBitmap32 LoadMask() override { return Mask; }
};

inline std::ostream& operator<<(std::ostream& o, const TRect& r) {
    return o << "(" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << ")";
}
