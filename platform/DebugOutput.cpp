#include "platform/DebugOutput.h"

#include "platform/Charset.h"

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
