// The sound modules in their start-up order: the user's sound settings, the sound
// system, the music play lists.
#pragma once

// Adds them to the start-up sequence (plug-in stage).
void AddSoundModules();
