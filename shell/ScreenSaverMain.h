// The program: start-up steps, the choice of mode, the configure mode, and the preview
// and full-screen runs of the show.
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
// options could be found nowhere, the configure mode could show no dialog or not save
// (the user has been told), or a preview or full-screen run played nothing (one line on
// stderr says why); True otherwise, also for a switch that asks for nothing.
bool StartScreenSaver();
// False when no dialog could be shown or the options accepted by OK could not be saved.
bool RunConfigure();
class IFileResolver;
class TSlideShow;
class TSlideShowPlayer;
struct TRunContext;

// The preview (/p or /l and a window id): the show, silent, in the given window, as
// long as that window lives. Nothing is saved. Each of these modes that plays nothing
// puts why into the context's Failure.
void RunPreview(TRunContext& context);
// Extracts the package into a temporary folder, previews its show, deletes the folder.
void PreviewPackagedShow(TRunContext& context, const AnsiString& exeFileName);
// Plays the options' show in the context's preview window, which it records there;
// answers the window id found (0: none).
int32_t PreviewInWindow(TRunContext& context);
// The number after "/p" or "/l" (a separate parameter); 0 when none or no number.
int32_t GetPreviewParentWindow();

// The full-screen run (/s) until the user's first input; stores where it stopped.
void RunFullScreen(TRunContext& context);
// Extracts the package into a temporary folder, runs its show with its sound library,
// saves the options and deletes the folder.
void RunPackagedShow(TRunContext& context, const AnsiString& exeFileName);
// Runs the options' show with the installed sound library; says so when the show is
// missing.
void RunInstalledShow(TRunContext& context);
// The run itself: sound (held in the context while the player plays), cursor, the
// screen-saver player, the position reached. Any exception ends it (its text goes to
// the context's Failure), and the caller still saves the options.
void RunPlayer(TRunContext& context, const AnsiString& library);
// Loads the options' show, applies the options to it and plays it in player's window,
// finding its files with the run's resolver; a show that does not load plays nothing.
// Answers the show's load result: 0 when it played.
int PlaySlideShow(TSlideShowPlayer& player, const IFileResolver& files);
// What PlaySlideShow does to a loaded show and its player before playing: the show's
// player settings to the player, no look-ahead, the options' duration (when above 0),
// restart at the end, no logo, the shuffle.
void ApplyScreenSaverOptions(TSlideShow& show, TSlideShowPlayer& player);
// The same with given options: the show tool binds its shows to its players through it,
// so that it plays what the screen saver plays.
void ApplyScreenSaverOptions(TSlideShow& show, TSlideShowPlayer& player, const TScreenSaverProperties& options);

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
