#include "platform/DebugOutput.h"

#include "platform/Charset.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// Never destroyed: a detached thread (the shell's reaper) may still write at exit.
std::mutex& HookLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
TDebugOutput* installed = nullptr;

}  // namespace

bool DebugOutputEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("GC_DEBUG");
        return v && *v && std::string(v) != "0";
    }();
    return enabled;
}

void SetDebugOutput(TDebugOutput* output) {
    std::lock_guard<std::mutex> guard(HookLock());
    installed = output;
}

void OutputDebugString(const AnsiString& text) {
    {
        std::lock_guard<std::mutex> guard(HookLock());
        if (installed) {
            installed->Write(text);
            return;
        }
    }
    if (!DebugOutputEnabled()) return;
    std::fprintf(stderr, "%s\n", AnsiToUtf8(text).c_str());
}

void TraceMoment(const AnsiString& event) {
    // Opened once and kept: a trace is asked for by a test, for the program's whole run.
    static const int fd = [] {
        const char* file = std::getenv("GC_TRACE");
        return file && *file ? ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }();
    if (fd < 0) return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char stamp[32];
    const int n = std::snprintf(stamp, sizeof stamp, "%.3f ", double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6);
    const std::string line = std::string(stamp, size_t(n)) + AnsiToUtf8(event) + "\n";
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
}
