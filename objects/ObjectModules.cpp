#include "objects/ObjectModules.h"

#include "document/SlideShowObjectModules.h"
#include "document/SlideShowProperties.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "objects/MergeSlideShowObject.h"
#include "objects/ParticleSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "transitions/TransitionPlugin.h"

namespace {

// The heart's shared instance is switched off: new shows leave it out of the random choice.
bool TransitionStartsExcluded(TPlugin& shared) {
    auto* t = dynamic_cast<TTransitionPlugin*>(&shared);
    return t && !t->Enabled;
}

}  // namespace

void InitializeDrawnObjectModules(TPlugins& plugins) {
    SetSlideShowTransitionClasses(&TTransitionPlugin::StaticClassInfo(), TransitionStartsExcluded);
    InitializePicSlideShowObjects(plugins);
    InitializeTextSlideShowObjects(plugins);
    InitializeMergeSlideShowObjects(plugins);
    InitializeParticleSlideShowObjects(plugins);
    InitializePicTextSoundCompositeSlideShowObjects(plugins);
}

void FinalizeDrawnObjectModules(TPlugins& plugins) {
    FinalizePicTextSoundCompositeSlideShowObjects(plugins);
    FinalizeParticleSlideShowObjects(plugins);
    FinalizeMergeSlideShowObjects(plugins);
    FinalizeTextSlideShowObjects(plugins);
    FinalizePicSlideShowObjects(plugins);
    SetSlideShowTransitionClasses(nullptr, nullptr);
}

void InitializeShowItemModules(TPlugins& plugins) {
    InitializeSlideShowObjectModules(plugins);
    InitializeDrawnObjectModules(plugins);
}

void FinalizeShowItemModules(TPlugins& plugins) {
    FinalizeDrawnObjectModules(plugins);
    FinalizeSlideShowObjectModules(plugins);
}

namespace {

void InitializeWithGlobalRegistry() {
    if (!Plugins) throw Exception("Plug-in-Verwaltung fehlt");
    InitializeDrawnObjectModules(*Plugins);
}

void FinalizeWithGlobalRegistry() {
    if (Plugins) FinalizeDrawnObjectModules(*Plugins);
}

}  // namespace

void AddObjectModules() {
    AddStartupModule(TStartupStage::Plugins, "DrawnSlideShowObjects", InitializeWithGlobalRegistry,
                     FinalizeWithGlobalRegistry);
}
