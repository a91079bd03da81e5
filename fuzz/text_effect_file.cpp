// Reads a text-effect file from arbitrary bytes, then lets its effects animate a short
// outline text (glyphs from the test source, no fonts needed) at several times, and
// copies the pair.
#include "foundation/SlideShowGlobals.h"
#include "graphics/Bitmap32.h"
#include "graphics/VectorText.h"
#include "graphics/VectorTextEffect.h"
#include "platform/GlyphOutline.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void Setup() {
    static const bool done = [] {
        if (!Plugins) Plugins = new TPlugins();
        InitializeVectorTextEffects(*Plugins);
        static TFakeGlyphOutlineSource glyphs;
        SetGlyphOutlineSource(&glyphs);
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    TMemoryStream in(std::vector<uint8_t>(data, data + size));
    TComplexVectorTextEffect pair;
    if (!pair.LoadFromFileStream(in)) return 0;

    TVectorText text;
    text.Font.Size = -12;
    text.SetText("Ab c\rD");
    text.LayoutGlyphs();
    TBitmap32 target(40, 30);
    for (TVectorTextEffect* effect : {pair.EntryEffect(), pair.ExitEffect()}) {
        if (!effect) continue;
        effect->Init(target.BoundsRect(), &text);
        const int64_t d = effect->Duration;
        for (int64_t t : {int64_t(0), d / 4, d / 2, d - 1, d, d + 1, int64_t(INT32_MAX) / 2}) {
            TFixedRect changed;
            effect->GetChangedRect(target, 2 * FixedOne, 3 * FixedOne, int32_t(t), true, changed);
            effect->GetChangedRect(target, 2 * FixedOne, 3 * FixedOne, int32_t(t), false, changed);
        }
    }
    std::unique_ptr<TComplexVectorTextEffect> copy = pair.Clone();
    return 0;
}
