#include "foundation/SlideShowGlobals.h"

#include "foundation/AppInfo.h"
#include "foundation/FileTools.h"
#include "foundation/PendingFiles.h"
#include "foundation/Startup.h"
#include "platform/FileSystem.h"
#include "platform/FolderTools.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Random.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

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
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A program path as the file system sees it from AppDir: drive letters are dropped,
// a name that is still relative is taken relative to AppDir.
AnsiString FromAppDir(const AnsiString& p) {
    const AnsiString rest = p.substr(ExtractFileDrive(p).size());
    if (!rest.empty() && IsSeparator(rest[0])) return rest;
    return AppDir + rest;
}

bool Exists(const AnsiString& p) {
    if (p.empty()) return false;
    const AnsiString path = FromAppDir(p);
    // A file still being extracted counts as there once it is out.
    WaitForPendingFile(path);
    return FileExists(path);
}

AnsiString AsFound(const AnsiString& p) { return FromPosixPath(ResolvePath(FromAppDir(p))); }

std::mutex confineLock;
std::string confinedTo;  // POSIX, normalised, with a trailing slash; empty: anywhere

// The path with its parent steps and links followed, as far as it exists.
std::string Normalised(const std::string& posix) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(posix, ec);
    if (ec) p = std::filesystem::path(posix).lexically_normal();
    return p.string();
}

bool Allowed(const AnsiString& candidate) {
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(confineLock);
        folder = confinedTo;
    }
    if (folder.empty()) return true;
    if (candidate.empty()) return false;
    const std::string path = Normalised(ResolvePath(FromAppDir(candidate)));
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

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

AnsiString ResolveFileName(const AnsiString& name, const AnsiString& baseFile) {
    if (name.empty()) return AnsiString();
    if (name[0] == '?') return name;
    const AnsiString fileOnly = ExtractFileName(name);
    if (fileOnly.empty()) return AnsiString();
    const AnsiString nameDrive = ExtractFileDrive(name);
    for (int pass = 0; pass < 2; ++pass) {
        const AnsiString folder = pass == 0 ? IncludeTrailingBackslash(ExtractFilePath(baseFile)) : AppDir;
        const AnsiString drive = ExtractFileDrive(folder);
        const AnsiString candidates[] = {
            name,
            folder + name,
            folder + fileOnly,
            drive + name.substr(nameDrive.size()),
            drive + fileOnly,
            drive + StripDrive(name),
        };
        for (const AnsiString& c : candidates)
            if (Allowed(c) && Exists(c)) return AsFound(c);
    }
    return AnsiString();
}

void ConfineResolvedFiles(const AnsiString& folder) {
    std::string normalised;
    if (!folder.empty()) {
        normalised = Normalised(ResolvePath(folder));
        if (normalised.empty() || normalised.back() != '/') normalised += '/';
    }
    std::lock_guard<std::mutex> lock(confineLock);
    confinedTo = normalised;
}

AnsiString UnresolvedFileName(const AnsiString& name) {
    {
        std::lock_guard<std::mutex> lock(confineLock);
        if (confinedTo.empty()) return name;
    }
    return name.find("://") != AnsiString::npos ? name : AnsiString();
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
