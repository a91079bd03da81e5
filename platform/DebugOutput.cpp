#include "platform/DebugOutput.h"

#include "platform/Charset.h"

#include <cstdio>
#include <cstdlib>

bool DebugOutputEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("GC_DEBUG");
        return v && *v && std::string(v) != "0";
    }();
    return enabled;
}

void OutputDebugString(const AnsiString& text) {
    if (!DebugOutputEnabled()) return;
    std::fprintf(stderr, "%s\n", AnsiToUtf8(text).c_str());
}
