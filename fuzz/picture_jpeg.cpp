// Feeds the JPEG reader; the first byte picks a target size for scaled decoding.
#include "graphics/JpegReader.h"
#include "graphics/PictureRegistry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = (SetMaxPicturePixels(int64_t(1) << 22), true);
    (void)once;
    if (size < 1) return 0;
    const int target = (data[0] & 0x0F) * 16;
    try {
        TBitmap32 b = ReadJpegPicture(data + 1, size - 1, target, target);
        if (!b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
