// Feeds the PNG reader.
#include "graphics/PictureRegistry.h"
#include "graphics/PngReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetMaxPicturePixels(int64_t(1) << 22), true);
    (void)once;
    try {
        TBitmap32 b = ReadPngPicture(data, size);
        if (!b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
