#include "foundation/Startup.h"

#include "foundation/AppInfo.h"
#include "foundation/CommandLine.h"
#include "foundation/ImageLists.h"
#include "foundation/Packager.h"
#include "foundation/Translation.h"
#include "foundation/Plugins.h"
#include "foundation/SlideShowGlobals.h"

#include <algorithm>
#include <memory>

namespace {

struct Module {
    TStartupStage Stage;
    AnsiString Name;
    TModuleProc Initialize;
    TModuleProc Finalize;
};

std::vector<Module>& Modules() {
    static std::vector<Module> m;
    return m;
}

// The modules initialised so far, in order.
std::vector<Module>& Done() {
    static std::vector<Module> d;
    return d;
}

bool initialized = false;

std::vector<Module> Ordered() {
    std::vector<Module> m = Modules();
    std::stable_sort(m.begin(), m.end(), [](const Module& a, const Module& b) { return a.Stage < b.Stage; });
    return m;
}

std::unique_ptr<TAfterInitialization> afterInitialization;

}  // namespace

void AddStartupModule(TStartupStage stage, const char* name, TModuleProc initialize, TModuleProc finalize) {
    Modules().push_back(Module{stage, name, initialize, finalize});
}

std::vector<AnsiString> StartupModuleNames() {
    std::vector<AnsiString> names;
    for (const Module& m : Ordered()) names.push_back(m.Name);
    return names;
}

void ClearStartupModules() {
    if (initialized) throw std::logic_error("modules cannot be forgotten while initialised");
    Modules().clear();
}

bool Initialized() { return initialized; }

void RunInitializations() {
    if (initialized) return;
    initialized = true;
    try {
        for (const Module& m : Ordered()) {
            if (m.Initialize) m.Initialize();
            Done().push_back(m);
        }
        GetAfterInitialization().Run();
    } catch (...) {
        RunFinalizations();
        throw;
    }
}

void RunFinalizations() {
    std::vector<Module>& done = Done();
    while (!done.empty()) {
        const Module m = done.back();
        done.pop_back();
        try {
            if (m.Finalize) m.Finalize();
        } catch (const std::exception& e) {
            LogError(m.Name + ": " + e.what());
        }
    }
    FinalizeAfterInitialization();
    initialized = false;
}

void AddFoundationModules() {
    AddStartupModule(TStartupStage::Identity, "ApplicationName", InitializeApplicationName, FinalizeApplicationName);
    AddStartupModule(TStartupStage::Identity, "SlideShowApplication", InitializeSlideShowApplication,
                     FinalizeSlideShowApplication);
    AddStartupModule(TStartupStage::Globals, "Parameters", nullptr, FinalizeParameters);
    AddStartupModule(TStartupStage::Globals, "SlideShowGlobals", InitializeSlideShowGlobals, FinalizeSlideShowGlobals);
    AddStartupModule(TStartupStage::Globals, "Translation", InitializeTranslation, FinalizeTranslation);
    AddStartupModule(TStartupStage::Globals, "ImageLists", nullptr, FinalizeImageLists);
    AddStartupModule(TStartupStage::Plugins, "Packager", PackagerModule::Initialize, PackagerModule::Finalize);
}

void TAfterInitialization::Add(TModuleProc procedure) {
    if (procedure) entries_.push_back(Entry{procedure, false});
}

void TAfterInitialization::AddMethod(std::function<void()> method) {
    if (method) entries_.push_back(Entry{std::move(method), true});
}

void TAfterInitialization::ClearList() { entries_.clear(); }

void TAfterInitialization::Run() {
    for (const Entry& e : entries_) e.Code();
}

TAfterInitialization& GetAfterInitialization() {
    if (!afterInitialization) afterInitialization = std::make_unique<TAfterInitialization>();
    return *afterInitialization;
}

void FinalizeAfterInitialization() { afterInitialization.reset(); }
