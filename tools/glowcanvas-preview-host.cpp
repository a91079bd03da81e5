// Stands in for the desktop's settings panel and its little preview monitor: opens a
// window, runs a screen saver with "/p" and the window's X11 id so that it draws its
// preview into it, and closes when the window is closed (ending the saver) or when
// the saver ends. The window's id goes to stdout ("window N"), for screenshots.
// Exit status: the saver's when it ended by itself (128 + signal when one ended it),
// 0 when the window was closed, 1 when the window or the saver cannot start, 2 for a
// wrong call.

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
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char* const kUsage =
    "usage: glowcanvas-preview-host [--size WxH] PROGRAM\n"
    "           opens a window (default 320x240) and runs PROGRAM /p <the window's id>;\n"
    "           closing the window ends PROGRAM (it gets 2 s to notice, then SIGTERM),\n"
    "           and the host ends with PROGRAM\n"
    "       glowcanvas-preview-host --help\n";

// A saver sees its window vanish and ends by itself; this long it may take.
constexpr Uint32 kGraceMs = 2000;
int WrongCall(const std::string& why) { return ::WrongCall("glowcanvas-preview-host", kUsage, why); }


// The window is gone: the saver gets its time to notice, then is told to end, then
// made to.
void EndChild(pid_t child, const std::string& program) {
    int status = 0;
    if (WaitFor(child, kGraceMs, status)) return;
    std::cerr << "glowcanvas-preview-host: " << program << " did not end with its window; sending SIGTERM\n";
    ::kill(child, SIGTERM);
    if (WaitFor(child, kTermMs, status)) return;
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
}

int Host(int width, int height, const std::string& program) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::cerr << "glowcanvas-preview-host: no video: " << SDL_GetError() << "\n";
        return 1;
    }
    std::string id;
    SDL_Window* window =
        OpenHostWindow("glowcanvas-preview-host", SDL_Rect{SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height},
                       SDL_WINDOW_SHOWN, id);
    if (!window) return 1;

    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("/p"),
                               const_cast<char*>(id.c_str()), nullptr};
    pid_t child = 0;
    if (const int e = ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ)) {
        std::cerr << "glowcanvas-preview-host: cannot run " << program << ": " << std::strerror(e) << "\n";
        SDL_DestroyWindow(window);
        SDL_Quit();
        return 1;
    }

    // SDL turns SIGTERM and SIGINT into a quit event as well.
    int result = 0;
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            result = StatusOf(status);
            break;
        }
        SDL_Event e;
        bool closed = false;
        if (SDL_WaitEventTimeout(&e, 100)) {
            do {
                closed |= e.type == SDL_QUIT ||
                          (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE);
            } while (SDL_PollEvent(&e));
        }
        if (closed) {
            SDL_DestroyWindow(window);
            window = nullptr;
            EndChild(child, program);
            break;
        }
    }
    if (window) SDL_DestroyWindow(window);
    // No SDL_Quit here: it gives X errors back to Xlib's default handler, which ends the
    // process with status 1, before it closes its second connection, on which the answer
    // to a wakeup it sent to the window just closed may still be waiting. The process ends
    // now anyway.
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (AsksForHelp(args, kUsage)) return 0;
    int width = 320, height = 240;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--size" && i + 1 < args.size()) {
            if (!ParseSize(args[++i], width, height)) return WrongCall("--size takes WxH, not " + args[i]);
        } else if (args[i].size() > 1 && args[i][0] == '-' && args[i][1] == '-') {
            return WrongCall("unknown option " + args[i]);
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 1) return WrongCall("one program to run, please");
    return Host(width, height, rest[0]);
}
