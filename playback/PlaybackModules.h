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
