// The mask transitions: fine box transitions whose schedule is read from a grey picture
// built into the program (dark is revealed first, light last).
#pragma once

#include "graphics/Bitmap32.h"
#include "transitions/PicTransitions.h"

// A resource that is not built in.
class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

// The built-in JPEG of that resource name, decoded at full size. Raises EResNotFound for
// an unknown name and EInvalidGraphic for bytes that do not decode.
TBitmap32 LoadJPEGResource(const AnsiString& resName);

class TBoxPictureTransitionPlugin : public TFineBoxTransitionPlugin {
    GC_DECLARE_CLASS(TBoxPictureTransitionPlugin)
public:
    TBoxPictureTransitionPlugin();
    // The mask named after the class (in capitals).
    virtual TBitmap32 LoadMask();

protected:
    // Start := the mask's blue byte at the bottom-right corner of the box's share of the
    // mask, scaled from 0..255 to 0..T.
    void FillStartTimes(long double span) override;
};

#define GC_MASK_TRANSITION_CLASS(Self)                \
    class Self : public TBoxPictureTransitionPlugin { \
        GC_DECLARE_CLASS(Self)                        \
    public:                                           \
        static AnsiString Caption();                  \
    };

GC_MASK_TRANSITION_CLASS(TBoxDropsTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDropsFadeTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect1TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect2TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect3TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect4TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect5TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect6TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffect7TransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownEffectKorbTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownHairWavyTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDownHairSmoothTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxMarbleTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxDropRadarTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxSmallCirclesWildTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxSpiderNetTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxStar4EdgesTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxStar8EdgesTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxStar14EdgesTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxStar8EdgesWildTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxSwirlSharpTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxSwirlSmoothTransitionPlugin)
GC_MASK_TRANSITION_CLASS(TBoxWoodTransitionPlugin)

#undef GC_MASK_TRANSITION_CLASS

// Kept out of random choice (Enabled False when made); works when used directly.
class TBoxHeartTransitionPlugin : public TBoxPictureTransitionPlugin {
    GC_DECLARE_CLASS(TBoxHeartTransitionPlugin)
public:
    TBoxHeartTransitionPlugin();
    static AnsiString Caption();
};
