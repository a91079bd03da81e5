// The start-up sequence: every module's initialisation in one fixed order, the
// finalisations in reverse, run by one explicit routine at program start and end (no
// module relies on the order of static constructors).
//
// Each layer adds its modules with AddStartupModule in its own fixed order; the stage
// puts the layers in order whatever order they are added in: the identity first, then
// the process-wide globals, then the plug-in modules, then the program's own.
#pragma once

#include "platform/SysUtils.h"

#include <functional>
#include <vector>

enum class TStartupStage { Identity = 0, Globals = 1, Plugins = 2, Program = 3 };

using TModuleProc = void (*)();

void AddStartupModule(TStartupStage stage, const char* name, TModuleProc initialize, TModuleProc finalize);
// The modules in the order they initialise.
std::vector<AnsiString> StartupModuleNames();
// Forgets every module added (tests start over with it); not while initialised.
void ClearStartupModules();

// Runs every initialisation once, in order, then the after-initialisation list. When
// one raises, the modules already initialised are finalised in reverse and the error
// is passed on. A second call does nothing.
void RunInitializations();
// Runs the finalisations of the initialised modules in reverse; one that raises is
// logged and the others still run.
void RunFinalizations();
bool Initialized();

// The foundation's own modules: application name and identity holders (identity),
// the command-line parser and the slide-show globals (globals).
void AddFoundationModules();

// Procedures to run after every module initialisation. The start-up routine runs
// the list once at its end; modules only add to it.
class TAfterInitialization {
public:
    void Add(TModuleProc procedure);
    void AddMethod(std::function<void()> method);
    void ClearList();
    void Run();
    int Count() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        std::function<void()> Code;
        bool IsMethod;
    };
    std::vector<Entry> entries_;
};

// The process-wide list, made on first use.
TAfterInitialization& GetAfterInitialization();
// Frees the process-wide list.
void FinalizeAfterInitialization();
