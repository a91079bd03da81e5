// Reads a transition's stored settings from arbitrary bytes, then runs it on a small
// picture: Init and Draw at several times, and a copy.
//
// Input: class name (int32 length, bytes), the class's data, then four bytes that place
// the destination rectangle.
#include "foundation/OKFStream.h"
#include "foundation/SlideShowGlobals.h"
#include "graphics/Bitmap32.h"
#include "platform/Stream.h"
#include "transitions/TransitionModules.h"
#include "transitions/TransitionPlugin.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

void Setup() {
    static const bool done = [] {
        if (!Plugins) Plugins = new TPlugins();
        InitializeTransitionModules(*Plugins);
        return true;
    }();
    (void)done;
}

int32_t ClampTime(int64_t t) {
    return int32_t(std::clamp<int64_t>(t, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    TMemoryStream in(std::vector<uint8_t>(data, data + size));
    TOKFStream stream(&in, okfRaw);
    std::unique_ptr<TTransitionPlugin> t;
    try {
        t = CreateTransition(stream.ReadStringValue());
        if (!t) return 0;
        t->ReadData(stream);
    } catch (const Exception&) {
        // Short data: run with what was read.
        if (!t) return 0;
    }
    uint8_t place[4] = {3, 2, 20, 16};
    const int64_t pos = in.GetPosition();
    for (int i = 0; i < 4 && pos + i < int64_t(size); ++i) place[i] = data[pos + i];
    const int left = int(place[0] % 17) - 8, top = int(place[1] % 17) - 8;
    const TRect rect{left, top, left + int(place[2] % 33) - 4, top + int(place[3] % 29) - 4};

    TBitmap32 picture(20, 16), target(24, 20);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) picture.SetPixel(x, y, Color32(uint8_t(x * 13), uint8_t(y * 17), 99));
    try {
        t->Init(rect, &picture);
    } catch (const Exception&) {
        return 0;  // a mask that does not decode
    }
    const int64_t d = t->Duration;
    for (int64_t time : {int64_t(-1), int64_t(0), d / 3, d / 2, d - 1, d, 2 * d, int64_t(INT32_MIN), int64_t(INT32_MAX)}) {
        TRect changed;
        t->GetChangedRect(ClampTime(time), target, changed);
        t->Draw(ClampTime(time), target);
        (void)t->IsFinished(ClampTime(time));
    }
    std::unique_ptr<TTransitionPlugin> copy = t->Clone();
    TMemoryStream out;
    TOKFStream written(&out, okfRaw);
    if (copy) copy->WriteData(written);
    t->Done();
    return 0;
}
