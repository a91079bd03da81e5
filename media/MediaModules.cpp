#include "media/MediaModules.h"

#include "document/SlideShowObjectModules.h"
#include "foundation/Startup.h"
#include "graphics/GraphicsModules.h"
#include "media/SoundModules.h"
#include "media/VideoImageUnit.h"
#include "objects/ObjectModules.h"
#include "transitions/TransitionModules.h"

void AddMediaModules() {
    AddSoundModules();
    AddStartupModule(TStartupStage::Plugins, "VideoImageUnit", VideoImageUnit::Initialize, VideoImageUnit::Finalize);
}

void AddShowModules() {
    AddFoundationModules();
    AddGraphicsModules();
    AddTransitionModules();
    AddDocumentModules();
    AddObjectModules();
    AddMediaModules();
}
