// Start-up and shut-down of the show-item modules, in dependency order.
#pragma once

class TPlugins;

// Registers curve keys, the item-list clipboard format, events and actions, and the
// stored item kinds and the text variables of this folder with plugins (and through it
// the class registry). The kinds that draw register after them (objects/ObjectModules.h).
void InitializeSlideShowObjectModules(TPlugins& plugins);
// The reverse.
void FinalizeSlideShowObjectModules(TPlugins& plugins);

// Adds the modules to the start-up sequence (plug-in stage), on the process-wide
// plug-in registry.
void AddSlideShowObjectModules();

// The document layer's modules in the start-up sequence, in dependency order: the item
// kinds, the show's settings groups, the player's settings group.
void AddDocumentModules();
