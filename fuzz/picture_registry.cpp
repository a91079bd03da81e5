// Feeds the picture registry's own decoders by extension: the first byte picks JPEG,
// PNG or Autodesk CEL, the rest is the file. ImageMagick's formats are left out: the
// library is not instrumented and far too slow per input for a short run.
#include "graphics/PictureRegistry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetMaxPicturePixels(int64_t(1) << 22), InitializePictureFormats(), true);
    (void)once;
    if (size < 1) return 0;
    static const char* const names[] = {"a.jpg", "a.png", "a.cel", "a.pic"};
    const char* name = names[data[0] % 4];
    TPictureLoadOptions options;
    options.TargetWidth = options.TargetHeight = (data[0] >> 2) * 4;
    try {
        TBitmap32 b = LoadPictureFromMemory(data + 1, size - 1, name, options);
        if (!b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
