// The player classes as plug-ins: registered at start-up, so that a show's stored player
// name is found and kept when the show is saved again.
#pragma once

namespace SlideShowPlayerModule {
// Registers both player classes and names their base to the document.
void Initialize();
void Finalize();
}  // namespace SlideShowPlayerModule

// Adds the module to the start-up sequence (plug-in stage).
void AddPlaybackModules();

// Adds every module a show and its player need, from the foundation up to this one, in
// dependency order; programs that play shows start with it.
void AddShowPlayingModules();
