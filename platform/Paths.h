// Paths: inside the program they are Windows-1252 text with backslashes, as stored
// names have them ("Fonts\", "Lumivor\Slideshow.kls"); this module maps them to POSIX.
// Paths the system hands us (typed on a command line, taken from the environment) are
// POSIX paths already and are never mapped: TExactPath carries them.
#pragma once

#include "platform/SysUtils.h"

#include <string>

// A path exactly as the file system takes it: it reaches the file system unchanged,
// never mapped and never matched without regard to case.
struct TExactPath {
    std::string Path;
};

// "\tmp\a\B.kls" -> "/tmp/a/B.kls" in UTF-8. A leading drive ("C:") is dropped,
// so "C:\tmp\x" names "/tmp/x". Forward slashes pass unchanged.
std::string ToPosixPath(const AnsiString& path);

// The inverse: UTF-8 POSIX path -> Windows-1252 path with backslashes.
AnsiString FromPosixPath(const std::string& path);

// A program path as messages name it for the user: the POSIX form, Windows-1252.
AnsiString PathText(const AnsiString& path);

// ToPosixPath, then, since Linux file systems are case-sensitive, each element that
// does not exist as written is replaced by a case-insensitive match in its folder
// (the first in directory order that matches). Elements with no match stay as written,
// so the result also serves for files about to be created.
std::string ResolvePath(const AnsiString& path);

// The same for a stored relative name below folder, an exact path: only the name's
// elements are mapped and matched.
std::string ResolvePathBelow(const std::string& folder, const AnsiString& name);

// True when ResolvePath(path) names an existing file or folder.
bool PathExists(const AnsiString& path);

// The case-insensitive match keeps one listing per folder it searched, read again
// only when the folder changed. A writer that has just made path tells it here, so its
// own changes keep the listing current instead of making it read the folder again.
void NoteCreatedPath(const std::string& path);
