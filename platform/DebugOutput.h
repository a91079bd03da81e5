// Debug output: one line to stderr per call, only when asked for by setting the
// environment variable GC_DEBUG, so a screen saver stays quiet by default.
#pragma once

#include "platform/SysUtils.h"

void OutputDebugString(const AnsiString& text);
// Whether debug lines are written (read once from the environment).
bool DebugOutputEnabled();
