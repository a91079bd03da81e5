// What the stand-ins for the desktop's programs (the settings panel's preview host and
// the screen-saver daemon) share: the saver they run as a child, and X errors that must
// not end them.
#pragma once

#include <SDL.h>
#include <X11/Xlib.h>

#include <sys/wait.h>

#include <cerrno>
#include <iostream>

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
