#include "document/SlideShowObjectModules.h"

#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShowObjectEvents.h"
#include "document/TimeToValue.h"

void InitializeSlideShowObjectModules(TPlugins& plugins) {
    InitializeTimeToValue();
    InitializeSlideShowObjects();
    InitializeSlideShowObjectEvents(plugins);
    InitializePlayableSlideShowObjects(plugins);
    InitializeCollectionSlideShowObjects(plugins);
}

void FinalizeSlideShowObjectModules(TPlugins& plugins) {
    FinalizeCollectionSlideShowObjects(plugins);
    FinalizePlayableSlideShowObjects(plugins);
    FinalizeSlideShowObjectEvents(plugins);
    FinalizeSlideShowObjects();
    FinalizeTimeToValue();
}
