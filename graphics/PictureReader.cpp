#include "graphics/PictureReader.h"

#include "graphics/Bitmap32.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<int64_t> maxPixels{kMaxBitmapPixels};
}  // namespace

int64_t MaxPicturePixels() { return maxPixels.load(); }
void SetMaxPicturePixels(int64_t pixels) { maxPixels.store(std::max<int64_t>(1, pixels)); }

void CheckPictureSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Bild ohne Inhalt");
    if (width > MaxPicturePixels() / height) throw EPictureTooLarge(width, height);
}
