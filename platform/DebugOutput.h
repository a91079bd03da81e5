// Debug output: one line to stderr per call, only when asked for by setting the
// environment variable GC_DEBUG, so a screen saver stays quiet by default.
#pragma once

#include "platform/SysUtils.h"

#include <vector>

void OutputDebugString(const AnsiString& text);
// Whether debug lines are written (read once from the environment).
bool DebugOutputEnabled();

// The program's own record of its moments, for the tests that time it against what the
// program did rather than against their own clock: when GC_TRACE names a file, one line
// per call, "<monotonic ms> <event>", appended (one write each, so threads and the sound
// library may share the file). Nothing is done otherwise.
void TraceMoment(const AnsiString& event);

// Where debug lines go: stderr (when GC_DEBUG asks for them) unless a test installed
// another, which gets every line whatever GC_DEBUG says (tests read what the program
// says about a failure). Lines may come from any thread, one at a time.
class TDebugOutput {
public:
    virtual ~TDebugOutput() = default;
    virtual void Write(const AnsiString& text) = 0;
};
// Installs output (not owned) until it is called again with null.
void SetDebugOutput(TDebugOutput* output);

// An output for tests: keeps every line.
class TFakeDebugOutput : public TDebugOutput {
public:
    std::vector<AnsiString> Lines;
    void Write(const AnsiString& text) override { Lines.push_back(text); }
};
