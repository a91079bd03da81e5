// Paths: inside the program they are Windows-1252 text with backslashes, as stored
// names have them ("Fonts\", "Lumivor\Slideshow.kls"); this module maps them to POSIX.
#pragma once

#include "platform/SysUtils.h"

#include <string>

// "\tmp\a\B.kls" -> "/tmp/a/B.kls" in UTF-8. A leading drive ("C:") is dropped,
// so "C:\tmp\x" names "/tmp/x". Forward slashes pass unchanged.
std::string ToPosixPath(const AnsiString& path);

// The inverse: UTF-8 POSIX path -> Windows-1252 path with backslashes.
AnsiString FromPosixPath(const std::string& path);

// ToPosixPath, then, since Linux file systems are case-sensitive, each element that
// does not exist as written is replaced by a case-insensitive match in its folder
// (the first in directory order that matches). Elements with no match stay as written,
// so the result also serves for files about to be created.
std::string ResolvePath(const AnsiString& path);

// True when ResolvePath(path) names an existing file or folder.
bool PathExists(const AnsiString& path);
