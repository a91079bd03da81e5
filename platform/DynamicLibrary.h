// Dynamic libraries loaded by path at run time, and their entry points by name.
#pragma once

#include "platform/SysUtils.h"

#include <string_view>

// An opaque module handle; 0 means none.
using TModuleHandle = void*;

// Loads a library. The path is a program path (Windows-1252, backslashes allowed; the
// file part matched without regard to case); a bare file name is searched the system's
// way. 0 when the library cannot be loaded. Each distinct file gets its own copy with
// its own state, also when two files hold the same library.
TModuleHandle LoadLibrary(const AnsiString& path);

// The entry point of that name, or null. Windows stdcall names such as "_Init@12" are
// also found under their plain C name ("Init"), which is how Linux libraries export them.
void* GetProcAddress(TModuleHandle module, std::string_view name);

// Releases a handle from LoadLibrary; 0 is ignored.
void FreeLibrary(TModuleHandle module);

// "_Name@12" -> "Name"; any other name unchanged.
std::string UndecoratedName(std::string_view name);
