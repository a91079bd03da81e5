// Feeds packed device-independent bitmaps to the decoder; with the first byte odd, the
// rest after a 40-byte header goes in as rows kept apart from that header.
#include "graphics/PackedDIB.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    TBitmap32 b;
    bool ok = false;
    if (data[0] & 1) {
        TBitmapInfoHeader h;
        if (ReadBitmapInfoHeader(data + 1, size - 1, h)) ok = DIBBitsToBitmap32(h, data + 41, size - 41, b);
    } else {
        ok = PackedDIBToBitmap32(data + 1, size - 1, b);
    }
    if (ok && !b.Empty()) (void)b.Pixel(b.Width() - 1, b.Height() - 1);
    return 0;
}
