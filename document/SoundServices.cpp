#include "document/SoundServices.h"

namespace {
ISoundSystem* installed = nullptr;
}  // namespace

ISoundSystem* CurrentSoundSystem() { return installed; }

void SetSoundSystem(ISoundSystem* system) { installed = system; }
