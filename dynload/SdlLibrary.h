// SDL, loaded rather than linked: Debian's SDL pulls in some sixty libraries (sound
// servers, Wayland, DRM, the X extensions), and mapping them at start delays every run.
// The program starts loading it on a thread of its own at once, so that the loading
// overlaps the work that needs no SDL. The window system and the message queue reach
// SDL only through this table.
#pragma once

#include <SDL.h>

#include "dynload/DynamicLibraries.h"

#include <string>
#include <vector>

enum TSdlPart { sdlLibrary, sdlPartCount };

// Every function the callers use.
#define GC_SDL_FUNCTIONS(X)                                                                           \
    X(sdlLibrary, SDL_GetError) X(sdlLibrary, SDL_SetHint) X(sdlLibrary, SDL_InitSubSystem)          \
    X(sdlLibrary, SDL_QuitSubSystem) X(sdlLibrary, SDL_RegisterEvents) X(sdlLibrary, SDL_PumpEvents) \
    X(sdlLibrary, SDL_PeepEvents) X(sdlLibrary, SDL_PushEvent) X(sdlLibrary, SDL_WaitEventTimeout)   \
    X(sdlLibrary, SDL_GetModState) X(sdlLibrary, SDL_GetMouseState)                                  \
    X(sdlLibrary, SDL_GetGlobalMouseState) X(sdlLibrary, SDL_CaptureMouse)                           \
    X(sdlLibrary, SDL_ShowCursor) X(sdlLibrary, SDL_GetCurrentVideoDriver)                           \
    X(sdlLibrary, SDL_GetCurrentDisplayMode) X(sdlLibrary, SDL_GetDisplayBounds)                     \
    X(sdlLibrary, SDL_GetNumVideoDisplays)                                                           \
    X(sdlLibrary, SDL_GetDisplayUsableBounds) X(sdlLibrary, SDL_CreateWindow)                        \
    X(sdlLibrary, SDL_CreateWindowFrom) X(sdlLibrary, SDL_DestroyWindow)                             \
    X(sdlLibrary, SDL_GetWindowID) X(sdlLibrary, SDL_GetWindowFromID)                                \
    X(sdlLibrary, SDL_GetWindowDisplayIndex) X(sdlLibrary, SDL_GetWindowBordersSize)                 \
    X(sdlLibrary, SDL_GetWindowPosition) X(sdlLibrary, SDL_SetWindowPosition)                        \
    X(sdlLibrary, SDL_GetWindowSize) X(sdlLibrary, SDL_SetWindowSize)                                \
    X(sdlLibrary, SDL_SetWindowTitle) X(sdlLibrary, SDL_SetWindowFullscreen)                         \
    X(sdlLibrary, SDL_SetWindowBordered)                                                             \
    X(sdlLibrary, SDL_ShowWindow) X(sdlLibrary, SDL_HideWindow) X(sdlLibrary, SDL_RaiseWindow)       \
    X(sdlLibrary, SDL_GetWindowSurface) X(sdlLibrary, SDL_UpdateWindowSurfaceRects)                  \
    X(sdlLibrary, SDL_LockSurface) X(sdlLibrary, SDL_UnlockSurface) X(sdlLibrary, SDL_ConvertPixels)

GC_DYNLOAD_TABLE(TSdlFunctions, "SDL", GC_SDL_FUNCTIONS);

// One loading of the library (tests load their own).
using TSdlLibrary = TDynamicTable<TSdlFunctions>;

// The name of the SDL the headers describe ("libSDL2-2.0.so.0"), indexed by TSdlPart.
std::vector<std::string> SdlSonames();

// The process's SDL, loaded once by whichever thread asks first (the others wait for it)
// and kept to the end; null when it cannot load, with the reason in error (the same
// reason every time).
const TSdlFunctions* Sdl(std::string& error);
