#include "shell/ScreenSaverMain.h"

#include "foundation/AppInfo.h"
#include "foundation/CommandLine.h"
#include "document/SlideShow.h"
#include "foundation/Packager.h"
#include "document/SlideShowPlayerProperties.h"
#include "foundation/Properties.h"
#include "foundation/Startup.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "playback/PlaybackModules.h"
#include "resources/ScreenSaverStrings.h"
#include "shell/ScreenSaverApplicationInfo.h"
#include "shell/ScreenSaverOptions.h"
#include "shell/ScreenSaverTools.h"

AnsiString ScreenSaverName;
AnsiString ExeFileName;
TPluginPtr<TScreenSaverProperties> Options;
bool HasPackage = false;

namespace {

TConfigureFormFactory& FormFactory() {
    static TConfigureFormFactory factory;
    return factory;
}

}  // namespace

void SetConfigureFormFactory(TConfigureFormFactory factory) { FormFactory() = std::move(factory); }

bool StartScreenSaver() {
    // A switch that asks for nothing ends the program at once, without a word, even
    // where the options could not be found.
    const uint8_t mode = GetScreenSaverMode();
    if (mode == ssmOther) return true;
    ShowFileType = kSlideShowFileType;
    ShowFileVersion = kSlideShowContentVersion;
    // (No task-bar window exists to hide.)
    ScreenSaverName = GetExeTitle();
    // The real file, however the program was started (a link, the search path), since
    // the package is appended to it.
    ExeFileName = GetExecutablePath();
    if (ExeFileName.empty()) {
        const std::vector<std::string> args = ProcessArguments();
        if (!args.empty()) ExeFileName = Utf8ToAnsi(args[0]);
    }
    HasPackage = TPackager::HasAppendedPackage(ExeFileName);
    if (!HasPackage) OutputDebugString(PathText(ExeFileName) + ": no package trailer at the end of the file");
    if (!LoadScreenSaverOptions(ScreenSaverName, Options, HasPackage ? ExeFileName : AnsiString())) {
        OutputDebugString("No options for \"" + ScreenSaverName + "\" in the registry or the package");
        ShowMessageBox(ScreenSaverStrings::NotInstalled, TMsgDlgType::mtError);
        return false;
    }
    switch (mode) {
    case ssmConfigure: return RunConfigure();
    case ssmChangePassword: ChangeScreenSaverPassword(0); break;
    case ssmPreview: RunPreview(); break;
    case ssmRun: RunFullScreen(); break;
    default: break;
    }
    return true;
}

bool RunConfigure() {
    std::unique_ptr<TScreenSaverConfigureForm> form =
        FormFactory() ? FormFactory()() : std::make_unique<TScreenSaverConfigureForm>();
    if (!ExecuteConfigureForm(*form, ScreenSaverName, *Options)) {
        // No answer at all: the dialog could not be shown (it said why).
        return form->ModalResult != mrNone;
    }
    if (SaveScreenSaverOptions(ScreenSaverName, *Options)) return true;
    // The user can only mend what the box names: the store and the system's reason.
    const AnsiString why = RegistryLastError();
    ShowMessageBox(AnsiString(ScreenSaverStrings::CannotSave) + (why.empty() ? "" : "\n" + why), TMsgDlgType::mtError);
    return false;
}

void RunPreview() {}
void RunFullScreen() {}

namespace ScreenSaverMainModule {

void Initialize() {}

void Finalize() {
    ScreenSaverName.clear();
    ExeFileName.clear();
    // The run is over: free the options here rather than among the static destructors,
    // when the registries they came from are gone.
    Options.reset();
    HasPackage = false;
}

}  // namespace ScreenSaverMainModule

void AddScreenSaverModules() {
    AddStartupModule(TStartupStage::Identity, "SetApplicationScreenSaver", SetApplicationScreenSaver::Initialize,
                     SetApplicationScreenSaver::Finalize);
    AddStartupModule(TStartupStage::Plugins, "ScreenSaverProperties", ScreenSaverPropertiesModule::Initialize,
                     ScreenSaverPropertiesModule::Finalize);
    AddStartupModule(TStartupStage::Program, "ScreenSaverMain", ScreenSaverMainModule::Initialize,
                     ScreenSaverMainModule::Finalize);
}

void InitializeScreenSaverModules() {
    AddShowPlayingModules();
    AddScreenSaverModules();
    RunInitializations();
}

void FinalizeScreenSaverModules() {
    RunFinalizations();
    ClearStartupModules();
}
