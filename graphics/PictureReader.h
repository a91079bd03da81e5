// What every picture reader shares with the registry that calls it: the error they
// raise, the load options and the size limit checked before anything is allocated.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>

// Raised for an unknown extension, a picture that cannot be decoded or one too large.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// Raised for a picture of more pixels than MaxPicturePixels(); says its size and the limit.
class EPictureTooLarge : public EInvalidGraphic {
public:
    EPictureTooLarge(int64_t width, int64_t height);
    int64_t Width, Height;
};

struct TPictureLoadOptions {
    // A caller that knows the size it will scale to may let a decoder that can scale
    // while decoding (JPEG, PNG) deliver a smaller picture, never smaller than this.
    int TargetWidth = 0;
    int TargetHeight = 0;
    // A caller whose target depends on the picture's own size: such a decoder reads the
    // full size from the header first and asks here for the target, which then replaces
    // TargetWidth and TargetHeight.
    std::function<void(int width, int height, int& targetWidth, int& targetHeight)> TargetForSize;
    // The picture is wanted on the screen at once (the first one, a jump, a late step): a
    // decoder may spend a second core on it. Pictures read ahead take one core.
    bool NeededNow = false;
};

// The largest pixel count a reader accepts; checked before anything is allocated.
// Tests and fuzzing lower it.
int64_t MaxPicturePixels();
void SetMaxPicturePixels(int64_t pixels);
// Raises EInvalidGraphic when width x height is empty, EPictureTooLarge when it is above
// MaxPicturePixels().
void CheckPictureSize(int64_t width, int64_t height);
