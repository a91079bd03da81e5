#include "document/SlideShowObjectModules.h"

#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "document/SlideShowObjectEvents.h"
#include "document/SlideShowObjectVariables.h"
#include "document/SoundSlideShowObject.h"
#include "document/TimeToValue.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"

void InitializeSlideShowObjectModules(TPlugins& plugins) {
    InitializeTimeToValue();
    InitializeSlideShowObjects();
    InitializeSlideShowObjectEvents(plugins);
    InitializePlayableSlideShowObjects(plugins);
    InitializeCollectionSlideShowObjects(plugins);
    InitializeSoundSlideShowObjects(plugins);
    InitializeSlideShowObjectVariables(plugins);
}

void FinalizeSlideShowObjectModules(TPlugins& plugins) {
    FinalizeSlideShowObjectVariables(plugins);
    FinalizeSoundSlideShowObjects(plugins);
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
