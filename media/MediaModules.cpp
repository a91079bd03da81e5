#include "media/MediaModules.h"

#include "foundation/Startup.h"
#include "media/PictureFormats.h"
#include "media/PictureRegistry.h"
#include "media/SoundModules.h"

namespace {
void FinalizePictures() {
    FinalizePictureFormatLists();
    FinalizePictureFormats();
}
}  // namespace

void AddMediaModules() {
    AddStartupModule(TStartupStage::Plugins, "PictureFormats", InitializePictureFormats, FinalizePictures);
    AddSoundModules();
}
