#include "media/MediaModules.h"

#include "document/SlideShowObjectModules.h"
#include "foundation/Startup.h"
#include "graphics/GraphicsModules.h"
#include "media/SoundModules.h"
#include "transitions/TransitionModules.h"

void AddMediaModules() { AddSoundModules(); }

void AddShowModules() {
    AddFoundationModules();
    AddGraphicsModules();
    AddTransitionModules();
    AddDocumentModules();
    AddMediaModules();
}
