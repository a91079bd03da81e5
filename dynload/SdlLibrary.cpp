#include "dynload/SdlLibrary.h"

std::vector<std::string> SdlSonames() {
    return {"libSDL" + std::to_string(SDL_MAJOR_VERSION) + "-2.0.so.0"};
}

const TSdlFunctions* Sdl(std::string& error) { return LoadOnce<TSdlFunctions>(SdlSonames, error); }
