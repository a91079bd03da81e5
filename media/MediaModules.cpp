#include "media/MediaModules.h"

#include "media/SoundModules.h"

void AddMediaModules() { AddSoundModules(); }
