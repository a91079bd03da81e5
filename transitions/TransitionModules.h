// The transitions' start-up module: every transition class, registered in a fixed order
// (the random transition first, then the picture transitions, then the mask ones).
#pragma once

class TPlugins;

// Registers the classes with plugins (and so with the class registry).
void InitializeTransitionModules(TPlugins& plugins);
// Unregisters them, in reverse.
void FinalizeTransitionModules(TPlugins& plugins);

// Adds the module "Transitions" to the start-up sequence; it works on the global registry.
void AddTransitionModules();
