#include "shell/ScreenSaverOptions.h"

#include "foundation/AppInfo.h"
#include "shell/RunContext.h"
#include "foundation/FileTools.h"
#include "foundation/Packager.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"
#include "platform/FolderOwner.h"
#include "platform/FolderTools.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/Registry.h"
#include "platform/Stream.h"
#include "shell/ScreenSaverApplicationInfo.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const kValueName = "Properties";
const char* const kSettingsItem = "settings.dat";

TPluginPtr<TScreenSaverProperties> NewOptions() { return TPluginPtr<TScreenSaverProperties>(new TScreenSaverProperties()); }

// Creates exactly folder (its parent must exist), readable by us alone; False when it
// existed already.
bool CreateNewFolder(const AnsiString& folder) { return ::mkdir(ResolvePath(folder).c_str(), 0700) == 0; }

}  // namespace

AnsiString ScreenSaverOptionsKey(const AnsiString& name) {
    AnsiString base;
    if (auto info = GetApplicationInfo()) base = info->GetRegistryBase();
    // Without an identity the options still belong under the screen saver's own base.
    if (base.empty()) base = TScreenSaverApplicationInfo().GetRegistryBase();
    return IncludeTrailingBackslash(base) + "ScreenSavers\\" + name;
}

bool LoadOptionsFromRegistry(const AnsiString& name, TPluginPtr<TScreenSaverProperties>& options) {
    options = NewOptions();
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_CURRENT_USER;
    if (!registry.OpenKeyReadOnly(ScreenSaverOptionsKey(name))) return false;
    // A key without the value counts as found, with default options; a value that
    // does not read counts as no options at all, so the package's defaults are tried.
    if (!registry.ValueExists(kValueName)) return true;
    if (options->LoadFromRegistry(registry, kValueName, 0, 0)) return true;
    OutputDebugString("The options under " + ScreenSaverOptionsKey(name) + " do not read");
    options = NewOptions();
    return false;
}

bool LoadOptionsFromFile(const AnsiString& fileName, TScreenSaverProperties& options) {
    try {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        return options.LoadFromStream(file, 0, 0);
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// The package's default options, read where they lie in the package; every failure is
// named on the debug output, since the user is only told that the screen saver is not
// installed right. The package stays open for the run's extraction.
bool LoadOptionsFromPackage(const AnsiString& packageFile, TScreenSaverProperties& options, TOpenedPackage* keep,
                            AnsiString& why) {
    const AnsiString what = PathText(packageFile) + ": ";
    const auto fail = [&](const AnsiString& reason) {
        why = what + reason;
        OutputDebugString(why);
        return false;
    };
    if (keep) keep->Keep(nullptr, AnsiString());
    auto opened = std::make_unique<TPackager>();
    TPackager& packager = *opened;
    if (!packager.OpenAppended(packageFile)) return fail(packager.LastError());
    const TPackageFileListItem* item = packager.FileList().FindByName(kSettingsItem);
    if (!item) return fail(AnsiString("the package holds no ") + kSettingsItem);
    // Read where it lies: nothing is written for it.
    std::unique_ptr<TPartialStream> in = packager.OpenItem(item);
    if (!in) return fail(packager.LastError());
    bool result = false;
    try {
        result = options.LoadFromStream(*in, 0, 0);
    } catch (const std::exception&) {
    }
    if (!result) fail(AnsiString(kSettingsItem) + " (" + std::to_string(item->Size) + " bytes) is no stored form of the options");
    in.reset();
    if (keep) keep->Keep(std::move(opened), packageFile);
    return result;
}

}  // namespace

bool LoadScreenSaverOptions(const AnsiString& name, TPluginPtr<TScreenSaverProperties>& options,
                            const AnsiString& packageFile, TOpenedPackage* keep, AnsiString* why) {
    options = NewOptions();
    if (packageFile.empty()) return LoadOptionsFromRegistry(name, options);
    if (LoadOptionsFromRegistry(name, options)) return true;
    AnsiString reason;
    const bool result = LoadOptionsFromPackage(packageFile, *options, keep, reason);
    if (!result) options = NewOptions();
    if (why) *why = reason;
    return result;
}

bool SaveOptionsToRegistry(const AnsiString& name, const TScreenSaverProperties& options) {
    try {
        TRegistry registry;
        registry.RootKey = HKEY_CURRENT_USER;
        if (!registry.OpenKey(ScreenSaverOptionsKey(name), true)) return false;
        return options.SaveToRegistry(registry, kValueName, 0, 0);
    } catch (const std::exception&) {
        return false;
    }
}

bool SaveScreenSaverOptions(const AnsiString& name, const TScreenSaverProperties& options) {
    return SaveOptionsToRegistry(name, options);
}

void DeleteTempFolder(const AnsiString& folder, const std::function<void()>& step) {
    if (folder.empty()) return;
    TFolderOwner::Remove(ResolvePath(folder), step);
}

void GetTempFolder(const TTempProperties& settings, const AnsiString& subFolder, bool create, AnsiString& folder) {
    // An empty folder setting would put the folders wherever the program runs.
    const AnsiString base =
        settings.UseSystemTemp || settings.TempDir.empty() ? GetTempDirectory() : settings.TempDir;
    folder = IncludeTrailingBackslash(base);
    if (!subFolder.empty()) folder = IncludeTrailingBackslash(folder + subFolder);
    if (create) ForceDirectories(folder);
}

void CreateTempFolder(const TTempProperties& settings, const AnsiString& prefix, bool create, AnsiString& folder) {
    AnsiString base;
    GetTempFolder(settings, AnsiString(), create, base);
    // Absolute from the start: the show's names are found from the program's folder, not
    // from where it was started, so a relative TMPDIR would hide every extracted file.
    std::error_code ec;
    const fs::path absolute = fs::absolute(ResolvePath(base), ec);
    if (!ec) base = IncludeTrailingBackslash(FromPosixPath(absolute.lexically_normal().string()));
    // Bounded: a folder that cannot take new entries must not spin for ever.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        folder = IncludeTrailingBackslash(base + prefix + std::to_string(Random(0xFFFFFFF)));
        if (create) {
            if (CreateNewFolder(folder)) return;
            if (!PathExists(folder)) break;  // not a clash: the base cannot take folders
        } else if (!PathExists(folder)) {
            return;
        }
    }
    folder.clear();
}

std::string RunFolderBase(const TTempProperties& settings) {
    std::string base = settings.UseSystemTemp || settings.TempDir.empty() ? TempFolderAsGiven() : ResolvePath(settings.TempDir);
    // Absolute from the start, as CreateTempFolder makes its folders.
    std::error_code ec;
    const fs::path absolute = fs::absolute(base, ec);
    if (!ec) base = absolute.lexically_normal().string();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

std::unique_ptr<TFolderOwner> CreateRunFolder(const TTempProperties& settings, const AnsiString& prefix,
                                              AnsiString& folder, AnsiString& why) {
    folder.clear();
    why.clear();
    const std::string base = RunFolderBase(settings);
    // Program paths separate with backslashes: the show's names could not reach a
    // folder below this one, and mapping it would make folders somewhere else.
    if (base.find('\\') != std::string::npos) {
        why = "cannot make the show's folder in " + Utf8ToAnsi(base) + ": a backslash in its name";
        return nullptr;
    }
    int error = 0;
    // Bounded: a folder that cannot take new entries must not spin for ever.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = base + "/" + prefix + std::to_string(Random(0xFFFFFFF));
        if (std::unique_ptr<TFolderOwner> owner = TFolderOwner::Create(name, error)) {
            folder = IncludeTrailingBackslash(FromPosixPath(name));
            return owner;
        }
        if (error != EEXIST) break;
    }
    why = "cannot make the show's folder in " + Utf8ToAnsi(base) + ": " +
          (error == EEXIST ? "no free name" : std::strerror(error));
    return nullptr;
}
