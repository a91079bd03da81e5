// The program: start-up steps, the choice of mode and the configure mode.
#pragma once

#include "foundation/Plugins.h"
#include "shell/ScreenSaverConfigureForm.h"
#include "shell/ScreenSaverProperties.h"

#include <functional>
#include <memory>

// The module's state for one run.
extern AnsiString ScreenSaverName;  // names the options' registry key
extern AnsiString ExeFileName;      // the running program's real file
extern TPluginPtr<TScreenSaverProperties> Options;
extern bool HasPackage;

// Loads the options and runs the mode the command line asks for. False when the
// options could be found nowhere, or the configure mode could show no dialog or not
// save (the user has been told); True otherwise, also for a switch that asks for
// nothing.
bool StartScreenSaver();
// False when no dialog could be shown or the options accepted by OK could not be saved.
bool RunConfigure();
// The preview and full-screen runs need the player; until it exists they return at once.
void RunPreview();
void RunFullScreen();

// How the configure mode makes its dialog; tests hand in forms that act as the user.
using TConfigureFormFactory = std::function<std::unique_ptr<TScreenSaverConfigureForm>()>;
void SetConfigureFormFactory(TConfigureFormFactory factory);

// Adds the shell's modules to the start-up sequence: the screen saver's identity after
// the foundation's, the package items' and the options' classes with the plug-ins,
// the program's state last.
void AddScreenSaverModules();
// The program's whole start: the foundation's modules and the shell's, initialised in
// order; the end runs the finalisations in reverse and forgets the modules.
void InitializeScreenSaverModules();
void FinalizeScreenSaverModules();

namespace ScreenSaverMainModule {
void Initialize();
void Finalize();  // clears the module's state
}  // namespace ScreenSaverMainModule
