// Feeds the PNG reader; the input's length picks a target size, so that pictures are read
// reduced too, whole rows and interlaced, without changing what an input is.
#include "graphics/PictureRegistry.h"
#include "graphics/PngReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetMaxPicturePixels(int64_t(1) << 22), true);
    (void)once;
    try {
        const int target = int(size % 5) * 8;
        TBitmap32 b = ReadPngPicture(data, size, target, target);
        if (!b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
