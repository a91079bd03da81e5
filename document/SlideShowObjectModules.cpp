#include "document/SlideShowObjectModules.h"

#include "document/CollectionSlideShowObject.h"
#include "document/MergeSlideShowObject.h"
#include "document/ParticleSlideShowObject.h"
#include "document/PicSlideShowObject.h"
#include "document/PicTextSoundCompositeSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "document/SlideShowObjectEvents.h"
#include "document/SlideShowObjectVariables.h"
#include "document/SoundSlideShowObject.h"
#include "document/TextSlideShowObject.h"
#include "document/TimeToValue.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"

void InitializeSlideShowObjectModules(TPlugins& plugins) {
    InitializeTimeToValue();
    InitializeSlideShowObjects();
    InitializeSlideShowObjectEvents(plugins);
    InitializePlayableSlideShowObjects(plugins);
    InitializeCollectionSlideShowObjects(plugins);
    InitializePicSlideShowObjects(plugins);
    InitializeTextSlideShowObjects(plugins);
    InitializeMergeSlideShowObjects(plugins);
    InitializeParticleSlideShowObjects(plugins);
    InitializeSoundSlideShowObjects(plugins);
    InitializePicTextSoundCompositeSlideShowObjects(plugins);
    InitializeSlideShowObjectVariables(plugins);
}

void FinalizeSlideShowObjectModules(TPlugins& plugins) {
    FinalizeSlideShowObjectVariables(plugins);
    FinalizePicTextSoundCompositeSlideShowObjects(plugins);
    FinalizeSoundSlideShowObjects(plugins);
    FinalizeParticleSlideShowObjects(plugins);
    FinalizeMergeSlideShowObjects(plugins);
    FinalizeTextSlideShowObjects(plugins);
    FinalizePicSlideShowObjects(plugins);
    FinalizeCollectionSlideShowObjects(plugins);
    FinalizePlayableSlideShowObjects(plugins);
    FinalizeSlideShowObjectEvents(plugins);
    FinalizeSlideShowObjects();
    FinalizeTimeToValue();
}

namespace {

void InitializeWithGlobalRegistry() {
    if (!Plugins) throw Exception("Plug-in-Verwaltung fehlt");
    InitializeSlideShowObjectModules(*Plugins);
}

void FinalizeWithGlobalRegistry() {
    if (Plugins) FinalizeSlideShowObjectModules(*Plugins);
}

}  // namespace

void AddSlideShowObjectModules() {
    AddStartupModule(TStartupStage::Plugins, "SlideShowObjects", InitializeWithGlobalRegistry,
                     FinalizeWithGlobalRegistry);
}

void AddDocumentModules() {
    AddSlideShowObjectModules();
    AddSlideShowDocumentModules();
    AddSlideShowPlayerPropertiesModules();
}
