// The song renderers, loaded when the first song of their kind opens: libopenmpt for
// tracker modules, FluidSynth for MIDI files. The sound library reaches them only
// through these tables, so opening it costs neither (FluidSynth alone brings some sixty
// libraries). The types come from the headers; the names of the libraries are the ones
// the build found (GC_OPENMPT_SONAME, GC_FLUIDSYNTH_SONAME).
#pragma once

#include <fluidsynth.h>
#include <libopenmpt/libopenmpt.h>

#include "dynload/DynamicLibraries.h"

#include <string>
#include <vector>

// Each renderer is one library.
enum TSongPart { songLibrary, songPartCount };

#define GC_OPENMPT_FUNCTIONS(X)                                                                          \
    X(songLibrary, openmpt_probe_file_header) X(songLibrary, openmpt_module_create_from_memory2)       \
    X(songLibrary, openmpt_module_destroy) X(songLibrary, openmpt_module_set_repeat_count)              \
    X(songLibrary, openmpt_module_set_position_seconds) X(songLibrary, openmpt_module_read_interleaved_stereo) \
    X(songLibrary, openmpt_free_string) X(songLibrary, openmpt_log_func_silent)                         \
    X(songLibrary, openmpt_error_func_ignore) X(songLibrary, openmpt_module_get_duration_seconds)

#define GC_FLUIDSYNTH_FUNCTIONS(X)                                                                    \
    X(songLibrary, fluid_set_log_function) X(songLibrary, new_fluid_settings)                        \
    X(songLibrary, delete_fluid_settings) X(songLibrary, fluid_settings_setnum)                      \
    X(songLibrary, fluid_settings_setint) X(songLibrary, new_fluid_synth) X(songLibrary, delete_fluid_synth) \
    X(songLibrary, fluid_synth_sfload) X(songLibrary, fluid_synth_write_s16)                         \
    X(songLibrary, fluid_synth_system_reset) X(songLibrary, new_fluid_player)                        \
    X(songLibrary, delete_fluid_player) X(songLibrary, fluid_player_add_mem) X(songLibrary, fluid_player_play) \
    X(songLibrary, fluid_player_stop) X(songLibrary, fluid_player_get_status)

GC_DYNLOAD_TABLE(TOpenMptFunctions, "libopenmpt", GC_OPENMPT_FUNCTIONS);
GC_DYNLOAD_TABLE(TFluidSynthFunctions, "FluidSynth", GC_FLUIDSYNTH_FUNCTIONS);

// One loading of a renderer (tests load their own).
using TOpenMptLibrary = TDynamicTable<TOpenMptFunctions>;
using TFluidSynthLibrary = TDynamicTable<TFluidSynthFunctions>;

// The names the build linked against ("libopenmpt.so.0", "libfluidsynth.so.3"), indexed
// by TSongPart.
std::vector<std::string> OpenMptSonames();
std::vector<std::string> FluidSynthSonames();

// The process's renderers, each loaded once by whichever thread asks first and kept to
// the end; null when it cannot load, with the reason in error (the same every time).
const TOpenMptFunctions* OpenMpt(std::string& error);
const TFluidSynthFunctions* FluidSynth(std::string& error);
