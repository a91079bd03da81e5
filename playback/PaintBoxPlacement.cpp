#include "playback/PaintBoxPlacement.h"

#include "document/SlideShow.h"
#include "foundation/RectTools.h"

TRect PaintBoxPlacement(int32_t aspectWidth, int32_t aspectHeight, const TRect& clientRect) {
    if (aspectWidth <= 0 || aspectHeight <= 0 || clientRect.IsEmpty()) return clientRect;
    return FitRect(TRect{0, 0, aspectWidth, aspectHeight}, clientRect, true);
}

TRect PaintBoxPlacement(const TSlideShow* show, const TRect& clientRect) {
    const TSlideShowProperties* props = show ? show->SlideShowProperties : nullptr;
    if (!props) return clientRect;
    return PaintBoxPlacement(props->AspectX, props->AspectY, clientRect);
}
