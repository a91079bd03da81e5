// Start-up and shut-down of the item kinds that draw: pictures, texts, composites,
// collages and particles.
#pragma once

class TPlugins;

// Registers the drawn item kinds with plugins (and through it the class registry), and
// names the transition classes to the show's settings. The document's own item modules
// must be registered first.
void InitializeDrawnObjectModules(TPlugins& plugins);
// The reverse.
void FinalizeDrawnObjectModules(TPlugins& plugins);

// Every item kind a show may hold: the document's own modules, then the drawn kinds.
void InitializeShowItemModules(TPlugins& plugins);
void FinalizeShowItemModules(TPlugins& plugins);

// Adds the drawn kinds to the start-up sequence (plug-in stage), on the process-wide
// plug-in registry, after the document's modules.
void AddObjectModules();
