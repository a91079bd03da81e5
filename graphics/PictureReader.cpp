#include "graphics/PictureReader.h"

#include "graphics/Bitmap32.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace {
std::atomic<int64_t> maxPixels{kMaxBitmapPixels};
}  // namespace

int64_t MaxPicturePixels() { return maxPixels.load(); }
void SetMaxPicturePixels(int64_t pixels) { maxPixels.store(std::max<int64_t>(1, pixels)); }

EPictureTooLarge::EPictureTooLarge(int64_t width, int64_t height)
    : EInvalidGraphic("picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
                      " pixels exceed the limit of " + std::to_string(MaxPicturePixels())),
      Width(width), Height(height) {}

void CheckPictureSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) throw EInvalidGraphic("picture without pixels");
    if (width > MaxPicturePixels() / height) throw EPictureTooLarge(width, height);
}
