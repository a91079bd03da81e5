#include "media/SoundModules.h"

#include "foundation/Startup.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "media/SoundSystemProperties.h"

void AddSoundModules() {
    AddStartupModule(TStartupStage::Plugins, "SoundSystemPropertiesUnit", SoundSystemPropertiesUnit::Initialize,
                     SoundSystemPropertiesUnit::Finalize);
    AddStartupModule(TStartupStage::Plugins, "SlideShowSoundSystem", SlideShowSoundSystem::Initialize,
                     SlideShowSoundSystem::Finalize);
    AddStartupModule(TStartupStage::Plugins, "MusicPlayList", MusicPlayListUnit::Initialize,
                     MusicPlayListUnit::Finalize);
}
