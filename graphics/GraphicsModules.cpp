#include "graphics/GraphicsModules.h"

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"
#include "graphics/VectorTextEffect.h"

namespace {
void FinalizePictures() {
    FinalizePictureFormatLists();
    FinalizePictureFormats();
}

void InitializeTextEffects() {
    if (!Plugins) throw Exception("Plug-in-Verwaltung fehlt");
    InitializeVectorTextEffects(*Plugins);
}

void FinalizeTextEffects() {
    if (Plugins) FinalizeVectorTextEffects(*Plugins);
}
}  // namespace

void AddGraphicsModules() {
    AddStartupModule(TStartupStage::Plugins, "PictureFormats", InitializePictureFormats, FinalizePictures);
    AddStartupModule(TStartupStage::Plugins, "TextEffects", InitializeTextEffects, FinalizeTextEffects);
}
