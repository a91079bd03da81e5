// What the stand-ins for the desktop's programs (the settings panel's preview host and
// the screen-saver daemon) share: the saver they run as a child, and X errors that must
// not end them.
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <sys/wait.h>

#include <cerrno>
#include <iostream>
#include <string>

// After SIGTERM, this long until SIGKILL.
constexpr Uint32 kTermMs = 5000;

// The name the stand-in's X error lines begin with.
inline const char* gHostName = "";

// The host's window may vanish before the host is done with the server (closed by the
// user, destroyed by a test): an error about it must not end the host before it ends its
// saver, as Xlib's default handler would.
inline int ReportXError(Display* display, XErrorEvent* e) {
    char text[256] = {};
    XGetErrorText(display, e->error_code, text, sizeof text);
    std::cerr << gHostName << ": X error ignored: " << text << "\n";
    return 0;
}

// The host's X11 window, made with SDL at place: its id goes to id and to stdout
// ("window N"), and X errors are reported from then on instead of ending the host. Null,
// with the reason on stderr and SDL shut down, when there is none. prepare, when given,
// runs on the new window first.
inline SDL_Window* OpenHostWindow(const char* name, const SDL_Rect& place, Uint32 flags, std::string& id,
                                  void (*prepare)(SDL_Window*) = nullptr) {
    SDL_Window* window = SDL_CreateWindow(name, place.x, place.y, place.w, place.h, flags);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window && prepare) prepare(window);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        std::cerr << name << ": no X11 window: " << SDL_GetError() << "\n";
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
        return nullptr;
    }
    gHostName = name;
    XSetErrorHandler(ReportXError);
    id = std::to_string(static_cast<unsigned long>(info.info.x11.window));
    // The window exists on the server before the saver looks for it.
    SDL_PumpEvents();
    std::cout << "window " << id << std::endl;
    return window;
}

// The host's exit status for the child's wait status: its own, or 128 + the signal.
inline int StatusOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

// Waits up to ms for the child; true when it ended (its wait status in status).
inline bool WaitFor(pid_t child, Uint32 ms, int& status) {
    const Uint32 until = SDL_GetTicks() + ms;
    for (;;) {
        const pid_t r = ::waitpid(child, &status, WNOHANG);
        if (r == child || (r < 0 && errno == ECHILD)) return true;
        if (SDL_TICKS_PASSED(SDL_GetTicks(), until)) return false;
        SDL_Delay(20);
    }
}
