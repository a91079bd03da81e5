// What the process knows about itself: its arguments, the command line rebuilt from
// them, the path of its executable, and its cores.
#pragma once

#include "platform/SysUtils.h"

#include <functional>
#include <string>
#include <vector>

// The program entry may hand its arguments over; otherwise they are read from the
// system (/proc/self/cmdline). UTF-8, the program first.
void SetProcessArguments(int argc, const char* const* argv);
std::vector<std::string> ProcessArguments();

// The command line as one Windows-1252 string, the program first: each argument that
// is empty or holds a blank is put in double quotes, and arguments are joined by one
// blank.
AnsiString GetCommandLineText();
AnsiString BuildCommandLine(const std::vector<std::string>& args);

// The running executable as a program path (Windows-1252, backslashes); empty when
// the system does not say.
AnsiString GetExecutablePath();

// The cores the process may run on (its affinity mask), at least 1: a machine's count
// overstates them under taskset or a container's CPU set.
int ProcessCores();

// Runs job(0) .. job(count - 1) at once, on this thread and on up to count - 1 helper
// threads that the process keeps (on this one alone when none is free or can be had).
// Returns when all have ended, raising the failure of the lowest job number.
void RunOnThreads(int count, const std::function<void(int)>& job);
