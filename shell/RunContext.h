// What StartScreenSaver hands the mode it runs and the players that mode makes: the
// preview window named on the command line (read once), the temporary-folder settings,
// the resolver its show finds its files with, the package its options came from, and the
// run's hold on the sound system. The module's four process-wide values
// (ScreenSaverMain.h) stay where they are.
#pragma once

#include "foundation/FileResolver.h"
#include "foundation/Packager.h"
#include "media/SlideShowSoundSystem.h"

#include <cstdint>
#include <functional>
#include <memory>

class TTempProperties;

// The package that the options' load opened, kept for the run's extraction so that a
// start reads the package's directory once. Take hands it over once, and only to the same
// file; any Take lets go of a package kept for another.
class TOpenedPackage {
public:
    void Keep(std::unique_ptr<TPackager> package, const AnsiString& packageFile);
    std::unique_ptr<TPackager> Take(const AnsiString& packageFile);

private:
    std::unique_ptr<TPackager> package_;
    AnsiString packageFile_;
};

struct TRunContext {
    // The run's resolver looks in the program folder as it is when the run begins.
    TRunContext();

    // The number after "/p" or "/l"; 0 when none or no number.
    int32_t PreviewHandle = 0;
    // The window the preview draws into, once the preview has found it; 0 before.
    uint64_t PreviewParentWindow = 0;
    // The window a screen-saver daemon named for the full-screen run to draw into; 0 when
    // the run owns the screen.
    uint64_t DaemonWindow = 0;
    // The daemon's window is a settings panel's preview pane: the run plays as a preview
    // does, silent, and stores nothing.
    bool DaemonPreview = false;
    // Where temporary folders go (not owned); null: the defaults.
    const TTempProperties* TempProperties = nullptr;
    // The run's file resolver, handed to the show it plays: a packaged run confines it to
    // its folder and the extraction tells it which files are still coming.
    std::unique_ptr<TFileResolver> Files;
    // The package the options came from, for the extraction.
    TOpenedPackage OpenedPackage;
    // Held while a run plays; gone again when it ends, however it ends.
    std::unique_ptr<TSoundSystemHold> Sound;
    // Why the mode played nothing, for the line the program ends with; empty when it played.
    AnsiString Failure;
    // Called once a run's first frame is on screen (a packaged run lets the rest of its
    // package out then); empty: nobody waits for it.
    std::function<void()> FirstFrameShown;
};

// The context of this process's run: the command line and the modules' settings.
TRunContext MakeRunContext();
