// Feeds our Autodesk CEL/PIC reader and the EPS preview header (the preview itself
// goes to ImageMagick, which is left out of fuzzing: too slow and not instrumented).
#include "graphics/CelReader.h"
#include "graphics/PictureRegistry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetMaxPicturePixels(int64_t(1) << 22), true);
    (void)once;
    try {
        TBitmap32 b = ReadCelPicture(data, size);
        if (!b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
