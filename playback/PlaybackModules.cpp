#include "playback/PlaybackModules.h"

#include "document/SlideShowPlayerProperties.h"
#include "document/SlideShowProperties.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "media/MediaModules.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <iterator>

namespace SlideShowPlayerModule {

namespace {
// The first is the default player of a new show.
const ClassInfo* const kClasses[] = {
    &TSlideShowPlayer::StaticClassInfo(),
    &TRealTimeSlideShowPlayer::StaticClassInfo(),
};
}  // namespace

void Initialize() {
    for (const ClassInfo* cls : kClasses) {
        if (Plugins) Plugins->Register(*cls);
        else RegisterClass(*cls);
    }
    SetSlideShowPlayerBaseClass(&TSlideShowPlayer::StaticClassInfo());
}

void Finalize() {
    SetSlideShowPlayerBaseClass(nullptr);
    for (auto it = std::rbegin(kClasses); it != std::rend(kClasses); ++it) {
        if (Plugins) Plugins->Unregister(**it);
        UnRegisterClass(**it);
    }
}

}  // namespace SlideShowPlayerModule

void AddPlaybackModules() {
    AddStartupModule(TStartupStage::Plugins, "SlideShowPlayer", SlideShowPlayerModule::Initialize,
                     SlideShowPlayerModule::Finalize);
}

void AddShowPlayingModules() {
    AddShowModules();
    AddPlaybackModules();
}
