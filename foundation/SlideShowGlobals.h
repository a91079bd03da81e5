// The process-wide framework objects and folders (the files a show names are found by
// foundation/FileResolver.h).
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

// Path without its drive ("C:" or "\\server\share") and without leading backslashes.
AnsiString StripDrive(const AnsiString& path);
// "C:" of "C:\x", "\\server\share" of a UNC path, else empty.
AnsiString ExtractFileDrive(const AnsiString& path);

// A process-wide counter that starts at 1: the first result is 2.
int32_t NewUniqueNumber();

void InitializeSlideShowGlobals();
void FinalizeSlideShowGlobals();
