#include "shell/ScreenSaverTools.h"

#include "platform/Registry.h"

namespace {

AnsiString SystemLibraryPath(TScreenSaverSystem& system, const char* name) {
    AnsiString dir = system.SystemDirectory();
    if (dir.size() > 260) dir.resize(260);
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + name;
}

}  // namespace

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
