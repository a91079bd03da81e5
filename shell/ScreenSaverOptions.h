// Loading and saving the screen saver's options (registry first, else the package's
// "settings.dat"), extracting the package, and the temporary folders that takes.
#pragma once

#include "foundation/Plugins.h"
#include "shell/ScreenSaverProperties.h"

#include <functional>
#include <memory>

class TOpenedPackage;
class TFolderOwner;
class TPackager;

// The options' key under the current user: the registry base + "ScreenSavers\" + name.
AnsiString ScreenSaverOptionsKey(const AnsiString& name);

// Options become new default options, then: without packageFile the registry's; with
// one the registry's, else the package's "settings.dat". False when neither source
// gave options (they keep their defaults then). A damaged source counts as missing.
// The package the options came from stays open in keep (TOpenedPackage::Take)
// for the run's extraction; without keep it is closed. why, when given, gets why the
// package gave none (empty without a package).
bool LoadScreenSaverOptions(const AnsiString& name, TPluginPtr<TScreenSaverProperties>& options,
                            const AnsiString& packageFile, TOpenedPackage* keep = nullptr, AnsiString* why = nullptr);
// True when the key exists; a key without a "Properties" value gives default options.
// False for a missing key and for a value that does not read (options at defaults).
bool LoadOptionsFromRegistry(const AnsiString& name, TPluginPtr<TScreenSaverProperties>& options);
bool SaveScreenSaverOptions(const AnsiString& name, const TScreenSaverProperties& options);
bool SaveOptionsToRegistry(const AnsiString& name, const TScreenSaverProperties& options);
// The file holds the stored form. False (options unchanged) when it cannot be opened
// or does not read.
bool LoadOptionsFromFile(const AnsiString& fileName, TScreenSaverProperties& options);

// Extracts every item of the package appended to hostFile below folder, keeping the
// items' relative paths. False when the package does not open, when an item's name
// could leave the folder (nothing is extracted then), or when an item fails.
bool ExtractPackage(const AnsiString& hostFile, const AnsiString& folder);
// Deletes folder with everything in it, so that a run killed meanwhile leaves what the
// next start removes (TFolderOwner::Remove). Links inside are deleted, never followed; a
// folder that is itself a link, or no folder, is left alone. step, when given, is called
// before each entry goes.
void DeleteTempFolder(const AnsiString& folder, const std::function<void()>& step = nullptr);
// A new folder prefix + a random decimal number (with a trailing backslash) under the
// temporary folder of settings, made at once with create (a name that exists is never
// reused, even when another process takes it in between). Empty when none could be made.
void CreateTempFolder(const TTempProperties& settings, const AnsiString& prefix, bool create, AnsiString& folder);
// The folder runs make their folders in, as the file system takes it (absolute, no
// trailing slash): the settings' own folder, else the temporary folder exactly as the
// environment names it.
std::string RunFolderBase(const TTempProperties& settings);
// A new folder prefix + a random number in RunFolderBase, made and marked as this run's
// (TFolderOwner::Create: readable by us alone, never seen unmarked); folder is its
// program path with a trailing backslash. RunFolderBase itself is never made. Null when
// none could be made, with why naming the folder and the reason.
std::unique_ptr<TFolderOwner> CreateRunFolder(const TTempProperties& settings, const AnsiString& prefix,
                                              AnsiString& folder, AnsiString& why);
// The temporary folder of settings (+ subFolder), with a trailing backslash; made with
// create.
void GetTempFolder(const TTempProperties& settings, const AnsiString& subFolder, bool create, AnsiString& folder);
