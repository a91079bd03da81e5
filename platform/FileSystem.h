// Files and folders for the tools above: folder listing, masks, deletion, sizes and the
// system folders. Names are Windows-1252 paths with backslashes (or POSIX paths); they
// are mapped to the file system by platform/Paths.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

struct TDirEntry {
    AnsiString Name;           // the entry's own name, Windows-1252
    std::string PosixPath;     // its exact path in the file system, UTF-8
    bool IsDirectory = false;  // a real folder; a symbolic link never counts as one
    bool IsSymLink = false;
    bool LinkToFolder = false; // a symbolic link whose target is a folder
    bool ReadOnly = false;     // the owner may not write it
};

// The entries of Folder except "." and "..", sorted by name without regard to case (so
// results do not depend on the file system's directory order). False when the folder
// cannot be read (missing, not a folder, no permission).
bool ListDirectory(const AnsiString& folder, std::vector<TDirEntry>& entries);

// The entries of a listed folder entry. A symbolic link is never followed here, not
// even when it replaced the folder after it was listed.
bool ListDirectory(const TDirEntry& folder, std::vector<TDirEntry>& entries);
// Operations on listed entries by their exact path, so names with no Windows-1252 form
// and names differing only in case are handled right. A link is removed, never its target.
bool DeleteEntry(const TDirEntry& entry);
bool RemoveFolderEntry(const TDirEntry& entry);
bool ClearReadOnlyEntry(const TDirEntry& entry);

// The file-mask match: "*" any run of characters, "?" one character, letters without
// regard to case. A mask ending in ".*" also matches names without any dot, so "*.*"
// matches every name.
bool MatchesMask(const AnsiString& name, const AnsiString& mask);

// Removes a file or a symbolic link (never what the link points at). False on failure.
bool DeleteFileEntry(const AnsiString& path);
// Size in bytes of the regular file path (links followed); -1 when there is none.
int64_t FileSizeOf(const AnsiString& path);
// True when path names an existing regular file (links followed).
bool FileExists(const AnsiString& path);

// The temporary folder ($TMPDIR, else /tmp) as a program path with a trailing backslash.
AnsiString TempFolder();
// The same as the environment names it, without a trailing slash: a backslash in it is
// part of a name, as the file system sees it.
std::string TempFolderAsGiven();
// The per-user application-data folder ($XDG_DATA_HOME, else ~/.local/share) with a
// trailing backslash; empty when neither is known.
AnsiString AppDataFolder();
