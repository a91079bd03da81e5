// SDL for the window system and the message queue, loaded rather than linked (see
// dynload/SdlLibrary.h), and the start's early loading of it.
#pragma once

struct TSdlFunctions;

// The process's SDL; throws Exception with the reason when it cannot load.
const TSdlFunctions& SdlFunctions();

// Loads the process's SDL now and keeps it to the end; false when it cannot load (the
// first real use then reports why).
bool KeepSdlLoaded();

// Starts loading SDL on a thread of its own and returns at once, so that mapping its
// libraries overlaps the start's work that needs no SDL; the first use then finds it
// loaded (or waits for the loading to end). A failure is left to that first use to report.
void PreloadSdl();
