#include "shell/ScreenSaverMain.h"

#include "foundation/AppInfo.h"
#include "foundation/CommandLine.h"
#include "document/SlideShow.h"
#include "foundation/Packager.h"
#include "document/SlideShowPlayerProperties.h"
#include "foundation/Properties.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/FolderOwner.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "platform/RunEnd.h"
#include "playback/PlaybackModules.h"
#include "resources/ScreenSaverStrings.h"
#include "shell/ScreenSaverApplicationInfo.h"
#include "shell/ScreenSaverDaemonPlayer.h"
#include "shell/ScreenSaverOptions.h"
#include "shell/PackageExtraction.h"
#include "shell/RunContext.h"
#include "shell/RunEndSteps.h"
#include "shell/ScreenSaverPreviewPlayer.h"
#include "shell/ScreenSaverPreviewWindow.h"
#include "shell/ScreenSaverSlideShowPlayer.h"
#include "shell/ScreenSaverTools.h"
#include "document/SlideShowProperties.h"
#include "foundation/FileTools.h"
#include "media/SlideShowSoundSystem.h"
#include "media/SoundSystemProperties.h"
#include "platform/FileSystem.h"
#include "platform/MessageQueue.h"
#include "platform/Names.h"
#include "platform/Window.h"
#include "playback/SlideShowPlayer.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <functional>
#include <vector>

AnsiString ScreenSaverName;
AnsiString ExeFileName;
TPluginPtr<TScreenSaverProperties> Options;
bool HasPackage = false;

namespace {

TConfigureFormFactory& FormFactory() {
    static TConfigureFormFactory factory;
    return factory;
}

// A start that plays nothing says why, whatever GC_DEBUG says: a daemon shows the user
// only the status the program ends with.
void SayWhyNothingPlays(const AnsiString& why) {
    std::fputs((AnsiToUtf8(ScreenSaverName + ": " + why) + "\n").c_str(), stderr);
}

AnsiString NoOptionsReason(const AnsiString& packageWhy) {
    const AnsiString store = "the options store has none for \"" + ScreenSaverName + "\"";
    if (HasPackage) return "nothing to play: " + packageWhy + ", and " + store;
    return "nothing to play: no package is appended to " + PathText(ExeFileName) +
           " (glowcanvas-pack append makes a screen saver of it), and " + store;
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
    TRunContext context = MakeRunContext();
    const bool plays = mode == ssmPreview || mode == ssmRun;
    AnsiString why;
    if (!LoadScreenSaverOptions(ScreenSaverName, Options, HasPackage ? ExeFileName : AnsiString(), &context.OpenedPackage,
                                &why)) {
        OutputDebugString("No options for \"" + ScreenSaverName + "\" in the registry or the package");
        if (plays) SayWhyNothingPlays(NoOptionsReason(why));
        // A saver's package that holds nothing to play has its run say so instead.
        if (!plays || !HasPackage) ShowSaverMessageBox(ScreenSaverStrings::NotInstalled, TMsgDlgType::mtError);
        return false;
    }
    switch (mode) {
    case ssmConfigure: return RunConfigure();
    case ssmChangePassword: ChangeScreenSaverPassword(0); break;
    case ssmPreview:
    case ssmRun:
        // Played into memory only, a run would go on unseen until someone kills it.
        if (!WindowSystem().HasDisplay()) {
            SayWhyNothingPlays("no display to show the screen saver on");
            return false;
        }
        if (mode == ssmPreview)
            RunPreview(context);
        else
            RunFullScreen(context);
        if (!context.Failure.empty()) {
            SayWhyNothingPlays(context.Failure);
            return false;
        }
        break;
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

namespace {

// text with its one "%s" replaced by value.
AnsiString FormatPath(const char* text, const AnsiString& value) {
    AnsiString s(text);
    const size_t at = s.find("%s");
    if (at != AnsiString::npos) s.replace(at, 2, value);
    return s;
}

// The run's end stores where it stopped; nobody is left to tell when that fails.
void SaveOptionsAfterRun() {
    if (SaveScreenSaverOptions(ScreenSaverName, *Options)) return;
    const AnsiString why = RegistryLastError();
    OutputDebugString("Options of \"" + ScreenSaverName + "\" not saved: " + (why.empty() ? AnsiString("no reason given") : why));
}

// After the position the run stopped at: a preview pane's run leaves the stored options
// as they are.
TRunEndStep SaveOptionsAtTheEnd(const TRunContext& context) {
    return TRunEndStep([&context] {
        if (!context.DaemonPreview) SaveOptionsAfterRun();
    });
}

// Where a package's show lies below its folder.
AnsiString PackagedShowFile(const AnsiString& folder) {
    return folder + ScreenSaverStrings::ShowFolder + ScreenSaverStrings::ShowBaseName + "." +
           ScreenSaverStrings::ShowExtension;
}

// A temporary folder for the package; the run's end removes it (WithPackagedShow).
class TExtractionFolder {
public:
    explicit TExtractionFolder(const TRunContext& context) : files_(*context.Files) {
        static const TTempProperties defaults;
        const TTempProperties& settings = context.TempProperties ? *context.TempProperties : defaults;
        // Runs that were killed left their folders; ours carry a marker their run holds.
        const std::string base = RunFolderBase(settings);
        if (const int removed = TFolderOwner::RemoveAbandoned(base, kPrefix))
            OutputDebugString(Utf8ToAnsi(base) + ": removed " + std::to_string(removed) + " folders of ended runs");
        Owner = CreateRunFolder(settings, kPrefix, Folder, Why);
        if (!Owner) OutputDebugString("No folder for the package: " + Why);
        // The package is the whole show: nothing it names is read from elsewhere.
        if (!Folder.empty()) files_.Confine(Folder);
    }
    ~TExtractionFolder() { files_.Confine(AnsiString()); }
    TExtractionFolder(const TExtractionFolder&) = delete;
    TExtractionFolder& operator=(const TExtractionFolder&) = delete;

    static constexpr const char* kPrefix = "ScreenSaver";
    // Empty when none could be made; Why says why then.
    AnsiString Folder;
    AnsiString Why;
    // Held until the folder is gone.
    std::unique_ptr<TFolderOwner> Owner;

private:
    TFileResolver& files_;
};

// How long the rest of the package waits for the run's first frame at most: a run that
// never draws (its show does not load) still gets its files.
constexpr std::chrono::milliseconds kHoldForFirstFrame(2000);

// Starts extracting the package into folder and waits for what the start needs; the
// rest comes out once the run's first frame is on screen, while the show plays. False
// when that failed, with why (empty when the extraction was stopped): the run does
// nothing. However the run ends, the extraction stops before the folder goes (extraction
// is declared after the folder's owner, so it goes first).
bool StartExtraction(TPackageExtraction& extraction, const AnsiString& exeFileName, const AnsiString& folder,
                     TRunContext& context, AnsiString& why) {
    const bool started = extraction.Start(exeFileName, folder, kHoldForFirstFrame,
                                          context.OpenedPackage.Take(exeFileName), context.Files.get());
    if (started && extraction.WaitForFirstGroup()) {
        if (FileExists(PackagedShowFile(folder))) return true;
        why = PathText(exeFileName) + ": nothing to play: the package holds no " + ScreenSaverStrings::ShowFolder +
              ScreenSaverStrings::ShowBaseName + "." + ScreenSaverStrings::ShowExtension;
        return false;
    }
    why = extraction.Error();
    return false;
}

// The run's first frame lets the rest of the package out, for as long as the run holds
// this; the context outlives the extraction, so the hook goes first.
class TReleaseOnFirstFrame {
public:
    TReleaseOnFirstFrame(TRunContext& context, TPackageExtraction& extraction) : context_(context) {
        context_.FirstFrameShown = [&extraction] { extraction.ReleaseHold(); };
    }
    ~TReleaseOnFirstFrame() { context_.FirstFrameShown = nullptr; }
    TReleaseOnFirstFrame(const TReleaseOnFirstFrame&) = delete;
    TReleaseOnFirstFrame& operator=(const TReleaseOnFirstFrame&) = delete;

private:
    TRunContext& context_;
};

// The player tells the run when its first frame is on screen.
void TellFirstFrame(TSlideShowPlayer& player, const TRunContext& context) {
    if (context.FirstFrameShown)
        player.OnFirstFrame = [hook = context.FirstFrameShown](TSlideShowPlayer*) { hook(); };
}

// SIGINT and SIGTERM end the run: at once where nothing reads the queue yet (the copy,
// the fonts, the first pictures), and as a quit for the loop; either way the run cleans up.
void StartMessageQueue() {
    try {
        MessageQueue();
    } catch (const std::exception& e) {
        OutputDebugString(AnsiString("Message queue: ") + e.what());
    }
    HandleTerminationSignals();
}

// The context holds the sound system while a run plays, and lets go when the run
// leaves, also on an exception; the player, made later, goes before it.
class TSoundForTheRun {
public:
    TSoundForTheRun(TRunContext& context, const TSoundSystemStart& start) : context_(context) {
        context_.Sound = std::make_unique<TSoundSystemHold>(start);
    }
    ~TSoundForTheRun() { context_.Sound.reset(); }
    TSoundForTheRun(const TSoundForTheRun&) = delete;
    TSoundForTheRun& operator=(const TSoundForTheRun&) = delete;

private:
    TRunContext& context_;
};

// A preview plays no sound: the output is switched off before the sound system starts.
TSoundSystemStart SilentSound() {
    if (auto* sound = SoundSystemPropertiesUnit::SoundProperties()) {
        sound->AutomaticOutput = false;
        sound->OutputKind = 0;
    }
    return {.Silent = true};
}

bool ParseWindowNumber(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    const size_t digits = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (digits == text.size()) return false;
    for (size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || n < INT32_MIN || n > INT32_MAX) return false;
    value = static_cast<int32_t>(n);
    return true;
}

// Why the preview has no window to play in.
AnsiString PreviewWindowProblem() {
    const std::vector<std::string> args = ProcessArguments();
    for (size_t i = 1; i < args.size(); ++i) {
        const AnsiString arg = Utf8ToAnsi(args[i]);
        const AnsiString lower = AnsiLowerCase(arg);
        if (lower != "/p" && lower != "/l") continue;
        if (i + 1 == args.size()) return arg + " names no window: the number of the window to preview in must follow it";
        int32_t handle = 0;
        return arg + " " + Utf8ToAnsi(args[i + 1]) +
               (ParseWindowNumber(args[i + 1], handle) ? ": no such window" : ": not a window number");
    }
    return "no window to preview in: its number must follow /p or /l as a parameter of its own";
}

// Why a daemon's call has no window to draw in, named where it came from.
AnsiString DaemonWindowProblem(uint64_t window) {
    const std::vector<std::string> args = ProcessArguments();
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "-window-id" && args[i] != "--window-id") continue;
        if (i + 1 == args.size()) return Utf8ToAnsi(args[i]) + " names no window: its id must follow it";
        const AnsiString given = Utf8ToAnsi(args[i] + " " + args[i + 1]);
        uint64_t id = 0;
        if (ParseDaemonWindowId(args[i + 1], id)) return given + ": no such window";
        if (!window) return given + ": not a window id (decimal or 0x hex)";
        break;
    }
    const std::string named = ScreenSaverSystem().EnvironmentVariable("XSCREENSAVER_WINDOW");
    if (window && !named.empty()) return Utf8ToAnsi("XSCREENSAVER_WINDOW=" + named) + ": no such window";
    return "no window " + std::to_string(window) + " to draw in";
}

}  // namespace

int32_t GetPreviewParentWindow() {
    const std::vector<std::string> args = ProcessArguments();
    // The last parameter is never looked at: a number must follow.
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        const AnsiString arg = AnsiLowerCase(args[i]);
        if (arg != "/p" && arg != "/l") continue;
        int32_t handle = 0;
        return ParseWindowNumber(args[i + 1], handle) ? handle : 0;
    }
    return 0;
}

TRunContext MakeRunContext() {
    TRunContext context;
    context.PreviewHandle = GetPreviewParentWindow();
    context.DaemonWindow = GetDaemonWindow();
    context.TempProperties = GetTempProperties();
    return context;
}

namespace {

// Whether the preview's window exists; the context's failure says why not.
bool FindPreviewWindow(TRunContext& context) {
    TRect parent;
    const int32_t handle = context.PreviewHandle;
    if (handle >= 1 && WindowSystem().GetWindowRect(uint64_t(handle), parent)) return true;
    context.Failure = PreviewWindowProblem();
    return false;
}

// The show did not load: nothing played.
AnsiString ShowNotLoaded(int result) {
    return PathText(Options->FileName) + ": the show does not load (result " + std::to_string(result) + ")";
}

}  // namespace

int32_t PreviewInWindow(TRunContext& context) {
    const int32_t handle = context.PreviewHandle;
    if (!FindPreviewWindow(context)) return handle;
    context.PreviewParentWindow = uint64_t(handle);
    TSoundForTheRun sound(context, SilentSound());
    TPluginPtr<TScreenSaverPreviewPlayer> player(new TScreenSaverPreviewPlayer(context.PreviewParentWindow));
    TellFirstFrame(*player, context);
    if (const int result = PlaySlideShow(*player, *context.Files)) context.Failure = ShowNotLoaded(result);
    return handle;
}

namespace {

// Runs play while the package is being extracted into the run's temporary folder, with
// the options naming the package's show; play gets the folder. Nothing runs when the
// extraction cannot start. The folder goes when play has returned.
void WithPackagedShow(TRunContext& context, const AnsiString& exeFileName,
                      const std::function<void(const AnsiString& folder)>& play) {
    StartMessageQueue();
    TExtractionFolder temp(context);
    if (temp.Folder.empty()) {
        context.Failure = temp.Why;
        return;
    }
    // The folder's owner stays until the folder is gone; the extraction stops before it goes.
    TRunEndStep removeFolder([&temp] {
        try {
            DeleteTempFolder(temp.Folder);
        } catch (const std::exception& e) {
            OutputDebugString(PathText(temp.Folder) + ": " + e.what());
        }
    });
    TPackageExtraction extraction;
    TRunEndStep stopExtraction([&extraction] { extraction.Stop(); });
    if (!StartExtraction(extraction, exeFileName, temp.Folder, context, context.Failure)) return;
    TReleaseOnFirstFrame release(context, extraction);
    Options->FileName = PackagedShowFile(temp.Folder);
    play(temp.Folder);
}

}  // namespace

void PreviewPackagedShow(TRunContext& context, const AnsiString& exeFileName) {
    // Nothing is extracted for a preview that has no window to show in.
    if (!FindPreviewWindow(context)) return;
    WithPackagedShow(context, exeFileName, [&](const AnsiString&) { PreviewInWindow(context); });
}

void RunPreview(TRunContext& context) {
    if (HasPackage)
        PreviewPackagedShow(context, ExeFileName);
    else
        PreviewInWindow(context);
}

void ApplyScreenSaverOptions(TSlideShow& show, TSlideShowPlayer& player) {
    ApplyScreenSaverOptions(show, player, *Options);
}

void ApplyScreenSaverOptions(TSlideShow& show, TSlideShowPlayer& player, const TScreenSaverProperties& options) {
    for (int i = 0; i < show.PropertiesList().GetCount(); ++i)
        if (auto* settings =
                dynamic_cast<TStandardSlideShowPlayerProperties*>(show.PropertiesList().GetItem(i)->Instance)) {
            // A screen saver covers the whole screen, whatever window the show was stored
            // for; the preview player puts its own window settings over these.
            TPluginPtr<TStandardSlideShowPlayerProperties> given(new TStandardSlideShowPlayerProperties());
            given->Assign(*settings);
            given->FullScreen = true;
            player.SetProperties(given.get());
            break;
        }
    player.GetSettings()->PreloadTime = 0;
    if (TSlideShowProperties* props = show.SlideShowProperties) {
        if (options.DefaultDuration > 0) props->DefaultDuration = options.DefaultDuration;
        props->EndAction = 0;
    }
    if (show.LogoProperties) show.LogoProperties->ShowLogo = false;
    if (options.Shuffle) show.Shuffle();
}

int PlaySlideShow(TSlideShowPlayer& player, const IFileResolver& files) {
    auto show = std::make_unique<TSlideShow>();
    show->SetFileResolver(&files);
    struct TLetGo {
        TSlideShowPlayer& Player;
        ~TLetGo() {
            try {
                Player.SetSlideShow(nullptr, false);
            } catch (const std::exception& e) {
                OutputDebugString(AnsiString("Player: ") + e.what());
            }
        }
    } letGo{player};
    if (const int result = show->LoadFromFile(Options->FileName); result != 0) {
        OutputDebugString("Show not loaded (" + std::to_string(result) + "): " + PathText(Options->FileName));
        return result;
    }
    ApplyScreenSaverOptions(*show, player);
    if (Options->ResumeAtLastPos)
        player.PlayInWindowFromTime(show.get(), Options->LastPosition, false);
    else
        player.PlayInWindow(show.get(), false);
    return 0;
}

void RunPlayer(TRunContext& context, const AnsiString& library) {
    try {
        if (!FileExists(library))
            ShowSaverMessageBox(FormatPath(ScreenSaverStrings::SoundLibraryMissing, PathText(library)),
                           TMsgDlgType::mtWarning);
        // A daemon's window: the pointer, like all input, is the daemon's.
        const uint64_t daemonWindow = context.DaemonWindow;
        SetScreenSaverRunning(true);
        try {
            // Inside: without a display this throws, and the flag must go back all the same.
            if (!daemonWindow) WindowSystem().ShowCursor(false);
            // A settings panel's preview pane is a preview: silent, and it stores nothing.
            const bool preview = context.DaemonPreview;
            TSoundForTheRun held(context, preview ? SilentSound() : TSoundSystemStart{.FmodPath = library});
            if (!Options->UseSound) {
                if (TSoundSystem* sound = SoundSystem()) {
                    sound->ObjectSounds().SetMuted(true);
                    sound->MusicSounds().SetMuted(true);
                }
            }
            TPluginPtr<TScreenSaverSlideShowPlayer> player(NewFullScreenPlayer(daemonWindow));
            TellFirstFrame(*player, context);
            TRunEndStep storePosition([&player, preview] {
                if (!preview) Options->LastPosition = player->GetPlayTime();
            });
            if (const int result = PlaySlideShow(*player, *context.Files)) context.Failure = ShowNotLoaded(result);
        } catch (...) {
            SetScreenSaverRunning(false);
            if (!daemonWindow) WindowSystem().ShowCursor(true);
            throw;
        }
        SetScreenSaverRunning(false);
        if (!daemonWindow) WindowSystem().ShowCursor(true);
    } catch (const std::exception& e) {
        OutputDebugString(AnsiString("Run: ") + e.what());
        context.Failure = AnsiString("the run failed: ") + e.what();
    } catch (...) {
        OutputDebugString("Run: unknown exception");
        context.Failure = "the run failed";
    }
}

void RunPackagedShow(TRunContext& context, const AnsiString& exeFileName) {
    WithPackagedShow(context, exeFileName, [&](const AnsiString& folder) {
        const TRunEndStep save = SaveOptionsAtTheEnd(context);
        RunPlayer(context, folder + ScreenSaverStrings::SoundLibraryName);
    });
}

void RunInstalledShow(TRunContext& context) {
    AnsiString library;
    try {
        TRegistry registry(KEY_READ);
        registry.RootKey = HKEY_LOCAL_MACHINE;
        if (registry.OpenKeyReadOnly(GetPluginApplicationInfo()->GetRegistryBase()))
            library = IncludeTrailingBackslash(registry.ReadString("InstallDir")) + ScreenSaverStrings::SoundLibraryName;
    } catch (const std::exception& e) {
        // An InstallDir of another type names no folder.
        OutputDebugString(AnsiString("InstallDir: ") + e.what());
    }
    if (library.empty()) library = ScreenSaverStrings::SoundLibraryName;
    if (!FileExists(Options->FileName)) {
        ShowSaverMessageBox(FormatPath(ScreenSaverStrings::ShowMissing, PathText(Options->FileName)),
                            TMsgDlgType::mtError);
        context.Failure = PathText(Options->FileName) + ": the show of the options does not exist";
        return;
    }
    StartMessageQueue();
    const TRunEndStep save = SaveOptionsAtTheEnd(context);
    RunPlayer(context, library);
}

void RunFullScreen(TRunContext& context) {
    if (DaemonWindowMissing(context.DaemonWindow)) {
        context.Failure = DaemonWindowProblem(context.DaemonWindow);
        return;
    }
    context.DaemonPreview = context.DaemonWindow && IsDaemonPreviewPane(context.DaemonWindow);
    if (HasPackage)
        RunPackagedShow(context, ExeFileName);
    else
        RunInstalledShow(context);
}

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
