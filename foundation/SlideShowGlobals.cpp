#include "foundation/SlideShowGlobals.h"

#include "foundation/AppInfo.h"
#include "foundation/FileTools.h"
#include "foundation/Startup.h"
#include "platform/FolderTools.h"
#include "platform/ProcessInfo.h"
#include "platform/Random.h"

#include <atomic>
#include <string>

AnsiString AppDir;
AnsiString DataDir;
AnsiString AppPresetsDir;
AnsiString DataPresetsDir;
TPlugins* Plugins = nullptr;
TPropertiesList* PropertiesList = nullptr;
TExternalPluginManager* PluginManager = nullptr;
TExternalPluginProperties* PluginProperties = nullptr;

namespace {

std::atomic<int32_t> uniqueNumber{1};

const char* const kBasicSettingsName = "Grundeinstellungen";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

AnsiString ExtractFileDrive(const AnsiString& path) {
    if (path.size() >= 2 && path[1] == ':' && IsLetter(path[0])) return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share": up to the backslash after the share name.
        size_t i = path.find('\\', 2);
        if (i == AnsiString::npos || i == 2) return AnsiString();
        i = path.find('\\', i + 1);
        return path.substr(0, i == AnsiString::npos ? path.size() : i);
    }
    return AnsiString();
}

AnsiString StripDrive(const AnsiString& path) {
    AnsiString rest = path.substr(ExtractFileDrive(path).size());
    size_t i = 0;
    while (i < rest.size() && rest[i] == '\\') ++i;
    return rest.substr(i);
}

AnsiString GetDataFolder(bool create) {
    AnsiString result;
    const AnsiString base = GetAppDataDirectory();
    if (!base.empty()) {
        const std::shared_ptr<IApplicationInfo> info = GetApplicationInfo();
        const AnsiString sub = info ? info->GetCompanyProductPath() : AnsiString();
        // Without an identity the user's data folder itself is the one.
        result = IncludeTrailingBackslash(base) + sub;
    } else {
        result = AppDir + "Anwendungsdaten\\";
    }
    result = IncludeTrailingBackslash(result);
    if (create) ForceDirectories(result);
    return result;
}

int32_t NewUniqueNumber() { return ++uniqueNumber; }

void InitializeSlideShowGlobals() {
    Randomize();
    AppDir = IncludeTrailingBackslash(ExtractFilePath(GetExecutablePath()));
    DataDir = GetDataFolder(false);
    AppPresetsDir = AppDir + "Presets\\";
    DataPresetsDir = DataDir.empty() ? AnsiString() : DataDir + "Presets\\";
    Plugins = new TPlugins();
    PropertiesList = new TPropertiesList();
    PluginManager = new TExternalPluginManager(Plugins);
    PluginProperties = static_cast<TExternalPluginProperties*>(
        PropertiesList->Add(0, TExternalPluginProperties::StaticClassInfo(), kBasicSettingsName, true));
    GetAfterInitialization().Add(
        [] {
            if (PropertiesList)
                PropertiesList->SetNameByClass(TExternalPluginProperties::StaticClassInfo(), kBasicSettingsName);
        });
}

void FinalizeSlideShowGlobals() {
    delete PluginManager;
    PluginManager = nullptr;
    PluginProperties = nullptr;
    delete PropertiesList;
    PropertiesList = nullptr;
    delete Plugins;
    Plugins = nullptr;
    AppDir.clear();
    DataDir.clear();
    AppPresetsDir.clear();
    DataPresetsDir.clear();
}
