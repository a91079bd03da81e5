// Where the player's paint box lies in its window's client area: the show's aspect
// fitted in and centred. The player window and the off-screen host both place it so.
#pragma once

#include "platform/Types.h"

#include <cstdint>

class TSlideShow;

// An aspect width or height of 0 or less fills the client area.
TRect PaintBoxPlacement(int32_t aspectWidth, int32_t aspectHeight, const TRect& clientRect);
// With the aspect of the show's main settings; without a show or settings the box fills
// the client area.
TRect PaintBoxPlacement(const TSlideShow* show, const TRect& clientRect);
