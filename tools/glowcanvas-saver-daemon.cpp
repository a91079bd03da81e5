// Stands in for an X11 screen-saver daemon (xscreensaver and the lockers that follow its
// convention): opens a black window over the whole screen that takes the input, names
// it in XSCREENSAVER_WINDOW and runs a screen saver with "-root" (or "-window-id" and the
// window's id) to draw into it; or, as a settings panel shows a hack in its preview pane,
// in a small window with "--root --window-id 0x<id>"; or, as xsecurelock runs its saver
// module, with no argument at all. Its own SIGTERM or SIGINT, the user coming back as far
// as this stand-in knows, ends the saver with SIGTERM, as a daemon does. The window's id
// and the saver's process id go to stdout ("window N", "saver PID"), for tests and
// screenshots. Exit status: the saver's (128 + signal when one ended it), 1 when the
// window or the saver cannot start, 2 for a wrong call.

#include "tools/ChildHost.h"
#include "tools/ToolCalls.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char* const kUsage =
    "usage: glowcanvas-saver-daemon [--size WxH] [--window-id | --preview | --no-switch]\n"
    "                               PROGRAM [ARG...]\n"
    "           opens a window over the screen (or of WxH), sets XSCREENSAVER_WINDOW to its\n"
    "           id and runs PROGRAM [ARG...] -root, or with --window-id PROGRAM [ARG...]\n"
    "           -window-id <the id>; --preview: a settings panel's preview pane, a window\n"
    "           of 320x240 (or WxH) and PROGRAM [ARG...] --root --window-id 0x<the id>;\n"
    "           --no-switch: PROGRAM [ARG...] alone, the window in XSCREENSAVER_WINDOW only.\n"
    "           SIGTERM or SIGINT ends PROGRAM with SIGTERM, and the stand-in ends with\n"
    "           PROGRAM\n"
    "       glowcanvas-saver-daemon --help\n";

int WrongCall(const std::string& why) { return ::WrongCall("glowcanvas-saver-daemon", kUsage, why); }


// Paints the window black, as a daemon blanks the screen before its hack draws.
void Blank(SDL_Window* window) {
    if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        SDL_UpdateWindowSurface(window);
    }
}

// How the saver is told about the window.
enum class TCall { Root, WindowId, Preview, NoSwitch };

int Daemon(int width, int height, TCall call, const std::vector<std::string>& command) {
    // A surface of plain memory: an accelerated one would make the window anew, under
    // another id, when it is first painted.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::cerr << "glowcanvas-saver-daemon: no video: " << SDL_GetError() << "\n";
        return 1;
    }
    SDL_Rect screen{0, 0, width, height};
    if (width == 0 && SDL_GetDisplayBounds(0, &screen) != 0) {
        std::cerr << "glowcanvas-saver-daemon: no screen: " << SDL_GetError() << "\n";
        return 1;
    }
    std::string id;
    SDL_Window* window =
        OpenHostWindow("glowcanvas-saver-daemon", screen, SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS, id, Blank);
    if (!window) return 1;

    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lX", std::stoul(id));
    // xscreensaver's settings panel writes the id in hex, as xsecurelock does.
    const bool hexId = call == TCall::Preview || call == TCall::NoSwitch;
    ::setenv("XSCREENSAVER_WINDOW", hexId ? hex : id.c_str(), 1);
    std::vector<std::string> args = command;
    switch (call) {
    case TCall::Root: args.push_back("-root"); break;
    case TCall::WindowId: args.insert(args.end(), {"-window-id", id}); break;
    case TCall::Preview: args.insert(args.end(), {"--root", "--window-id", hex}); break;
    case TCall::NoSwitch: break;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (const int e = ::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ)) {
        std::cerr << "glowcanvas-saver-daemon: cannot run " << args[0] << ": " << std::strerror(e) << "\n";
        SDL_DestroyWindow(window);
        SDL_Quit();
        return 1;
    }
    std::cout << "saver " << child << std::endl;

    // SDL turns our SIGTERM and SIGINT into a quit event. Input to the window is ours and
    // goes nowhere; the saver never sees it.
    int status = 0;
    for (;;) {
        if (::waitpid(child, &status, WNOHANG) == child) break;
        SDL_Event e;
        bool quit = false;
        if (SDL_WaitEventTimeout(&e, 100)) {
            do {
                quit |= e.type == SDL_QUIT;
            } while (SDL_PollEvent(&e));
        }
        if (quit) {
            ::kill(child, SIGTERM);
            if (!WaitFor(child, kTermMs, status)) {
                std::cerr << "glowcanvas-saver-daemon: " << args[0] << " did not end on SIGTERM; killing it\n";
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
            }
            break;
        }
    }
    SDL_DestroyWindow(window);
    // No SDL_Quit, for the reason the preview host gives: an X error on the way out would
    // end us with status 1 instead of the saver's.
    return StatusOf(status);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (AsksForHelp(args, kUsage)) return 0;
    int width = 0, height = 0;
    TCall call = TCall::Root;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        TCall given = TCall::Root;
        if (args[i] == "--size" && i + 1 < args.size()) {
            if (!ParseSize(args[++i], width, height)) return WrongCall("--size takes WxH, not " + args[i]);
            continue;
        }
        if (args[i] == "--window-id") given = TCall::WindowId;
        else if (args[i] == "--preview") given = TCall::Preview;
        else if (args[i] == "--no-switch") given = TCall::NoSwitch;
        else return WrongCall("unknown option " + args[i]);
        if (call != TCall::Root && call != given) return WrongCall("one of --window-id, --preview, --no-switch");
        call = given;
    }
    if (i == args.size()) return WrongCall("a program to run, please");
    if (call == TCall::Preview && width == 0) {
        width = 320;
        height = 240;
    }
    return Daemon(width, height, call, std::vector<std::string>(args.begin() + long(i), args.end()));
}
