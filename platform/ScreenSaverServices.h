// What the screen-saver conventions of the old Windows 9x family need from the system:
// its family, its system folder, loading a library by path and looking an entry point
// up, the foreground window, and the "screen saver running" system parameter. This
// system reports the NT family, so the shell never takes those paths in a real run;
// the fake below lets tests drive them. Besides, what a screen-saver daemon of the X11
// desktop hands the program it starts: the environment that names its window, and the
// screen's root window.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using HWND = uintptr_t;

// System parameter: a screen saver is (not) running.
constexpr uint32_t SPI_SCREENSAVERRUNNING = 97;

// The entry points the 9x paths call, in the form this layer hands out.
using TPwdChangePasswordProc = uint32_t (*)(const char* provider, HWND window, uint32_t reserved1, void* reserved2);
using TVerifyScreenSavePwdProc = int32_t (*)(HWND window);

class TScreenSaverSystem {
public:
    virtual ~TScreenSaverSystem() = default;

    virtual bool IsNTFamily() = 0;
    // The system folder (at most 260 characters), as the system gives it.
    virtual AnsiString SystemDirectory() = 0;
    // A library handle, or null when it does not load.
    virtual void* LoadLibrary(const AnsiString& path) = 0;
    // The entry point, or null.
    virtual void* GetProcAddress(void* library, const AnsiString& name) = 0;
    virtual void FreeLibrary(void* library) = 0;
    virtual HWND GetForegroundWindow() = 0;
    virtual bool SystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t winIni) = 0;
    // The environment variable's text (UTF-8 as the system holds it); empty when unset.
    virtual std::string EnvironmentVariable(const char* name) = 0;
    // The X11 id of the default screen's root window; 0 without a display.
    virtual uint64_t RootWindowId() = 0;
};

// The system in use: the Linux one unless a test installed another.
TScreenSaverSystem& ScreenSaverSystem();
// Installs system (not owned) until it is called again with null.
void SetScreenSaverSystem(TScreenSaverSystem* system);

// A system for tests: any family, a set system folder, libraries that are names with
// entry points, and a record of every call.
class TFakeScreenSaverSystem : public TScreenSaverSystem {
public:
    bool NT = true;
    AnsiString SystemDir = "C:\\WINDOWS\\SYSTEM";
    HWND Foreground = 0;
    std::map<std::string, std::string> Environment;
    uint64_t Root = 0;
    // Library path -> entry points by name.
    std::map<AnsiString, std::map<AnsiString, void*>> Libraries;

    // What happened.
    std::vector<AnsiString> LoadedPaths;
    std::vector<AnsiString> LookedUp;
    int FreeCount = 0;
    struct TParameterCall {
        uint32_t Action;
        uint32_t Param;
        bool HadData;
        uint32_t WinIni;
    };
    std::vector<TParameterCall> ParameterCalls;

    bool IsNTFamily() override { return NT; }
    AnsiString SystemDirectory() override { return SystemDir; }
    void* LoadLibrary(const AnsiString& path) override;
    void* GetProcAddress(void* library, const AnsiString& name) override;
    void FreeLibrary(void* library) override;
    HWND GetForegroundWindow() override { return Foreground; }
    bool SystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t winIni) override;
    std::string EnvironmentVariable(const char* name) override {
        auto it = Environment.find(name);
        return it == Environment.end() ? std::string() : it->second;
    }
    uint64_t RootWindowId() override { return Root; }
};
