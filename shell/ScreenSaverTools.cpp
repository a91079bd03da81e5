#include "shell/ScreenSaverTools.h"

#include "foundation/CommandLine.h"
#include "foundation/FileTools.h"
#include "platform/Charset.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "platform/Window.h"

#include <filesystem>

namespace {

AnsiString SystemLibraryPath(TScreenSaverSystem& system, const char* name) {
    AnsiString dir = system.SystemDirectory();
    if (dir.size() > 260) dir.resize(260);
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + name;
}

}  // namespace

AnsiString GetExeTitle() {
    const std::vector<std::string> args = ProcessArguments();
    AnsiString name;
    if (!args.empty() && !args[0].empty()) {
        const AnsiString started = Utf8ToAnsi(args[0]);
        // The name as it exists (letter case included) when the path leads to it;
        // otherwise, as when the shell found the program on its search path, the name
        // it was started under.
        std::error_code ec;
        const std::string resolved = ResolvePath(started);
        name = std::filesystem::is_regular_file(resolved, ec) ? ExtractFileName(FromPosixPath(resolved)) : ExtractFileName(started);
    } else {
        name = ExtractFileName(GetExecutablePath());
    }
    return RemoveFileExt(name);
}

uint8_t GetScreenSaverMode() {
    if (HasSwitch('C')) return ssmConfigure;
    if (!HasParameters()) return IsDaemonCall() ? ssmRun : ssmConfigure;
    if (HasSwitch('A')) return ssmChangePassword;
    if (HasSwitch('P') || HasSwitch('L')) return ssmPreview;
    if (HasSwitch('S')) return ssmRun;
    if (IsDaemonCall()) return ssmRun;
    return ssmOther;
}

namespace {

// Daemons write these exactly so, with one dash or, as xscreensaver 6 starts its hacks,
// two; a Windows switch is never one of them.
bool HasArgument(const std::string& word, std::string* next = nullptr) {
    const std::vector<std::string> args = ProcessArguments();
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "-" + word && args[i] != "--" + word) continue;
        if (next) *next = i + 1 < args.size() ? args[i + 1] : std::string();
        return true;
    }
    return false;
}

}  // namespace

namespace {

// A daemon that starts its saver with no switch at all (xsecurelock, an xscreensaver line
// without an option) names its window here only.
bool DaemonWindowInEnvironment(uint64_t& id) {
    return ParseDaemonWindowId(ScreenSaverSystem().EnvironmentVariable("XSCREENSAVER_WINDOW"), id);
}

}  // namespace

bool IsDaemonCall() {
    if (HasArgument("root") || HasArgument("window-id")) return true;
    uint64_t id = 0;
    return !HasParameters() && DaemonWindowInEnvironment(id);
}

bool ParseDaemonWindowId(const std::string& text, uint64_t& id) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t from = hex ? 2 : 0;
    if (text.size() <= from || text.size() - from > (hex ? 8u : 10u)) return false;
    uint64_t value = 0;
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        value = value * (hex ? 16 : 10) + uint64_t(digit);
    }
    if (value == 0 || value > UINT32_MAX) return false;
    id = value;
    return true;
}

uint64_t GetDaemonWindow() {
    std::string given;
    const bool windowId = HasArgument("window-id", &given);
    const bool root = HasArgument("root");
    uint64_t id = 0;
    if (!windowId && !root) return !HasParameters() && DaemonWindowInEnvironment(id) ? id : 0;
    if (windowId && ParseDaemonWindowId(given, id)) return id;
    // The daemon's own full-screen window, which it names for every program it starts.
    if (DaemonWindowInEnvironment(id)) return id;
    return root ? ScreenSaverSystem().RootWindowId() : 0;
}

bool IsDaemonPreviewPane(uint64_t window) {
    TRect rect;
    if (!window || !WindowSystem().GetWindowRect(window, rect)) return false;
    const TRect monitor =
        WindowSystem().GetMonitorRect(TPoint{rect.Left + rect.Width() / 2, rect.Top + rect.Height() / 2});
    // Smaller both ways: a daemon's full-screen window covers a whole monitor.
    return monitor.Width() > 0 && rect.Width() < monitor.Width() && rect.Height() < monitor.Height();
}

void SetScreenSaverRunning(bool running) {
    TScreenSaverSystem& system = ScreenSaverSystem();
    if (system.IsNTFamily()) return;
    uint32_t scratch = 0;
    system.SystemParametersInfo(SPI_SCREENSAVERRUNNING, running ? 1 : 0, &scratch, 0);
}

void ChangeScreenSaverPassword(HWND window) {
    TScreenSaverSystem& system = ScreenSaverSystem();
    if (system.IsNTFamily()) return;
    void* library = system.LoadLibrary(SystemLibraryPath(system, "MPR.DLL"));
    if (!library) return;
    auto change = reinterpret_cast<TPwdChangePasswordProc>(system.GetProcAddress(library, "PwdChangePasswordA"));
    if (window == 0) window = system.GetForegroundWindow();
    if (change) change("SCRSAVE", window, 0, nullptr);
    system.FreeLibrary(library);
}

bool VerifyScreenSaverPassword(HWND window) {
    TScreenSaverSystem& system = ScreenSaverSystem();
    if (system.IsNTFamily()) return true;
    bool result = true;
    void* library = nullptr;
    try {
        TRegistry registry(KEY_READ);
        registry.RootKey = HKEY_CURRENT_USER;
        if (!registry.OpenKeyReadOnly("Control Panel\\desktop")) return true;
        // A value of another type or a missing one means no password, as 0 does.
        int32_t usePassword = 0;
        if (registry.GetDataType("ScreenSaveUsePassword") == TRegDataType::rdInteger)
            usePassword = registry.ReadInteger("ScreenSaveUsePassword");
        if (usePassword == 0) return true;
        library = system.LoadLibrary(SystemLibraryPath(system, "PASSWORD.CPL"));
        if (!library) return true;
        auto verify = reinterpret_cast<TVerifyScreenSavePwdProc>(system.GetProcAddress(library, "VerifyScreenSavePwd"));
        if (window == 0) window = system.GetForegroundWindow();
        if (verify) result = verify(window) != 0;
    } catch (...) {
        // No password service failure ever keeps the user out: keep what was decided.
    }
    if (library) system.FreeLibrary(library);
    return result;
}
