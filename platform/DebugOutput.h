// Debug output: one line to stderr per call, only when asked for by setting the
// environment variable GC_DEBUG, so a screen saver stays quiet by default.
#pragma once

#include "platform/SysUtils.h"

#include <functional>

void OutputDebugString(const AnsiString& text);
// Whether debug lines are written (read once from the environment).
bool DebugOutputEnabled();

// While a hook is set, every line goes to it instead, whatever GC_DEBUG says (tests
// read what the program says about a failure).
using TDebugOutputHook = std::function<void(const AnsiString& text)>;
void SetDebugOutputHook(TDebugOutputHook hook);
