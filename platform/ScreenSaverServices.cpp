#include "platform/ScreenSaverServices.h"

#include "platform/OSVersion.h"
#include "platform/Paths.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdlib>

namespace {

class TLinuxScreenSaverSystem : public TScreenSaverSystem {
public:
    bool IsNTFamily() override {
        TOSVersionInfo info;
        info.OSVersionInfoSize = sizeof info;
        return !QueryOSVersion(info) || info.PlatformId == VER_PLATFORM_WIN32_NT;
    }
    AnsiString SystemDirectory() override { return "/usr/lib"; }
    void* LoadLibrary(const AnsiString& path) override {
        return ::dlopen(ResolvePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    void* GetProcAddress(void* library, const AnsiString& name) override {
        return library ? ::dlsym(library, name.c_str()) : nullptr;
    }
    void FreeLibrary(void* library) override {
        if (library) ::dlclose(library);
    }
    // No window of ours is ever in front when the 9x paths could run.
    HWND GetForegroundWindow() override { return 0; }
    // The system keeps no such flag; the 9x paths that set it never run here.
    bool SystemParametersInfo(uint32_t, uint32_t, void*, uint32_t) override { return false; }
    std::string EnvironmentVariable(const char* name) override {
        const char* value = std::getenv(name);
        return value ? value : "";
    }
    uint64_t RootWindowId() override {
        // A connection of its own for one question: the window system's may not be up yet.
        Display* display = XOpenDisplay(nullptr);
        if (!display) return 0;
        const uint64_t root = DefaultRootWindow(display);
        XCloseDisplay(display);
        return root;
    }
};

TScreenSaverSystem* g_installed = nullptr;

}  // namespace

TScreenSaverSystem& ScreenSaverSystem() {
    static TLinuxScreenSaverSystem system;
    return g_installed ? *g_installed : system;
}

void SetScreenSaverSystem(TScreenSaverSystem* system) { g_installed = system; }

void* TFakeScreenSaverSystem::LoadLibrary(const AnsiString& path) {
    LoadedPaths.push_back(path);
    auto it = Libraries.find(path);
    return it == Libraries.end() ? nullptr : &it->second;
}

void* TFakeScreenSaverSystem::GetProcAddress(void* library, const AnsiString& name) {
    LookedUp.push_back(name);
    if (!library) return nullptr;
    auto& procs = *static_cast<std::map<AnsiString, void*>*>(library);
    auto it = procs.find(name);
    return it == procs.end() ? nullptr : it->second;
}

void TFakeScreenSaverSystem::FreeLibrary(void* library) {
    if (library) ++FreeCount;
}

bool TFakeScreenSaverSystem::SystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t winIni) {
    ParameterCalls.push_back({action, param, data != nullptr, winIni});
    return true;
}
