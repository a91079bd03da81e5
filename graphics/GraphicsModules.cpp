#include "graphics/GraphicsModules.h"

#include "foundation/Startup.h"
#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"

namespace {
void FinalizePictures() {
    FinalizePictureFormatLists();
    FinalizePictureFormats();
}
}  // namespace

void AddGraphicsModules() {
    AddStartupModule(TStartupStage::Plugins, "PictureFormats", InitializePictureFormats, FinalizePictures);
}
