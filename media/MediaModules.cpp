#include "media/MediaModules.h"

#include "foundation/Startup.h"
#include "media/SoundModules.h"
#include "media/VideoImageUnit.h"

void AddMediaModules() {
    AddSoundModules();
    AddStartupModule(TStartupStage::Plugins, "VideoImageUnit", VideoImageUnit::Initialize, VideoImageUnit::Finalize);
}
