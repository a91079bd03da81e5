// Shared pieces of the drawn kinds' tests: the document tests' fakes, with a player that
// owns a back buffer to draw into, and the drawn kinds and transitions registered.
#pragma once

#include "document/DocumentTestSupport.h"
#include "document/SlideShowTestSupport.h"
#include "graphics/Bitmap32.h"
#include "objects/ObjectModules.h"
#include "transitions/TransitionModules.h"

// The drawn kinds and the transitions join the document's kinds in both test registries,
// once per test program and before any test runs, as the program registers them all at
// start-up.
inline const bool kDrawnKindsRegistered = [] {
    TPlugins& show = ShowTestPlugins();
    InitializeTransitionModules(show);
    InitializeDrawnObjectModules(show);
    InitializeDrawnObjectModules(TestPlugins());
    return true;
}();

class TFakeDrawingPlayer : public TFakePlayer {
public:
    // Gives the player an off-screen back buffer of its own, filled with color, and a
    // client rectangle of the buffer's size.
    TBitmap32& MakeBackBuffer(int width, int height, TColor32 color = 0xFF000000) {
        OwnBackBuffer.SetSize(width, height);
        OwnBackBuffer.Clear(color);
        BackBuffer = &OwnBackBuffer;
        ClientRect = OwnBackBuffer.BoundsRect();
        return OwnBackBuffer;
    }

    TBitmap32 OwnBackBuffer;
};
