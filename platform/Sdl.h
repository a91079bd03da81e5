// SDL for the window system and the message queue, loaded rather than linked (see
// dynload/SdlLibrary.h), and the start's early loading of it.
#pragma once

#include <functional>

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

// Runs start (SDL's video start) with Xlib's table of compose sequences left unread: SDL
// opens an input method as its video starts, and Xlib's own one parses the locale's whole
// table there (10 to 25 ms of every start), while no window of ours takes text. A table
// the user names (XCOMPOSEFILE) is read as always; the environment is as it was after.
void WithoutComposeTable(const std::function<void()>& start);
