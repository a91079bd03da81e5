// What every picture reader shares with the registry that calls it: the error they
// raise, the load options and the size limit checked before anything is allocated.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>

// Raised for an unknown extension, a picture that cannot be decoded or one too large.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

struct TPictureLoadOptions {
    // A caller that knows the size it will scale to may let a decoder that can scale
    // while decoding (JPEG) deliver a smaller picture, never smaller than this.
    int TargetWidth = 0;
    int TargetHeight = 0;
};

// The largest pixel count a reader accepts; checked before anything is allocated.
// Tests and fuzzing lower it.
int64_t MaxPicturePixels();
void SetMaxPicturePixels(int64_t pixels);
// Raises EInvalidGraphic when width x height is empty or above MaxPicturePixels().
void CheckPictureSize(int64_t width, int64_t height);
