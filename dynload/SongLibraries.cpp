#include "dynload/SongLibraries.h"

std::vector<std::string> OpenMptSonames() { return {GC_OPENMPT_SONAME}; }

std::vector<std::string> FluidSynthSonames() { return {GC_FLUIDSYNTH_SONAME}; }

const TOpenMptFunctions* OpenMpt(std::string& error) { return LoadOnce<TOpenMptFunctions>(OpenMptSonames, error); }

const TFluidSynthFunctions* FluidSynth(std::string& error) {
    return LoadOnce<TFluidSynthFunctions>(FluidSynthSonames, error);
}
