// The process-wide framework objects and folders, and the resolver that finds the
// files a show names.
#pragma once

#include "foundation/ExternalPluginManager.h"
#include "foundation/Plugins.h"
#include "foundation/Properties.h"
#include "platform/SysUtils.h"

// Made by InitializeSlideShowGlobals, in this order; program paths with a trailing
// backslash.
extern AnsiString AppDir;          // the folder of the running executable
extern AnsiString DataDir;         // GetDataFolder(false)
extern AnsiString AppPresetsDir;   // AppDir + "Presets\"
extern AnsiString DataPresetsDir;  // DataDir + "Presets\" (empty with DataDir)
extern TPlugins* Plugins;                          // the plug-in registry
extern TPropertiesList* PropertiesList;            // the process-wide settings list
extern TExternalPluginManager* PluginManager;
extern TExternalPluginProperties* PluginProperties;  // owned by PropertiesList

// The user's data folder for this product: the application-data folder + the
// company and product path of the application information, or AppDir +
// "Anwendungsdaten\" when the system has no application-data folder. Empty when no
// identity answers the company and product path. With create, the folder is made.
AnsiString GetDataFolder(bool create);

// An existing file for a name a show stored, tried against the show's folder
// (BaseFile's) and then AppDir; empty when nothing is found. A name beginning with
// "?" is no file and comes back unchanged. Names from Windows work: backslashes,
// drive letters (dropped) and any letter case (each path element is matched without
// regard to case). Relative names are taken relative to AppDir; the process's
// current folder is never touched. The result is the file's path as it exists.
AnsiString ResolveFileName(const AnsiString& name, const AnsiString& baseFile);

// A packaged show is the whole show: while a folder is set (its extraction folder),
// ResolveFileName skips every candidate that lies outside it, whatever the name says
// (parent steps, absolute paths, drives, servers). Empty lifts it.
void ConfineResolvedFiles(const AnsiString& folder);
// What a caller opens when ResolveFileName found nothing: the stored name itself (a web
// address, or a name the opener looks up its own way), but while the resolver is
// confined only a web address, and otherwise nothing (empty).
AnsiString UnresolvedFileName(const AnsiString& name);

// Path without its drive ("C:" or "\\server\share") and without leading backslashes.
AnsiString StripDrive(const AnsiString& path);
// "C:" of "C:\x", "\\server\share" of a UNC path, else empty.
AnsiString ExtractFileDrive(const AnsiString& path);

// A process-wide counter that starts at 1: the first result is 2.
int32_t NewUniqueNumber();

void InitializeSlideShowGlobals();
void FinalizeSlideShowGlobals();
