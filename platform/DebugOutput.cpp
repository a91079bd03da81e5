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
TDebugOutputHook& Hook() {
    static auto* hook = new TDebugOutputHook;
    return *hook;
}

}  // namespace

bool DebugOutputEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("GC_DEBUG");
        return v && *v && std::string(v) != "0";
    }();
    return enabled;
}

void SetDebugOutputHook(TDebugOutputHook hook) {
    std::lock_guard<std::mutex> guard(HookLock());
    Hook() = std::move(hook);
}

void OutputDebugString(const AnsiString& text) {
    {
        std::lock_guard<std::mutex> guard(HookLock());
        if (Hook()) {
            Hook()(text);
            return;
        }
    }
    if (!DebugOutputEnabled()) return;
    std::fprintf(stderr, "%s\n", AnsiToUtf8(text).c_str());
}
