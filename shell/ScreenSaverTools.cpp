#include "shell/ScreenSaverTools.h"

#include "foundation/CommandLine.h"
#include "foundation/FileTools.h"
#include "platform/Charset.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"

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
    if (!HasParameters()) return ssmConfigure;
    if (HasSwitch('A')) return ssmChangePassword;
    if (HasSwitch('P') || HasSwitch('L')) return ssmPreview;
    if (HasSwitch('S')) return ssmRun;
    return ssmOther;
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
