// Small tools many modules use: a list of integers, system folders, file size, deleting
// and finding files by masks in a folder tree, lists held in strings, version tests.
#pragma once

#include "platform/OSVersion.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <cstdint>
#include <vector>

// A list of signed 32-bit integers.
class TIntegerList {
public:
    int Add(int32_t value);
    void Insert(int index, int32_t value);
    int32_t Get(int index) const;
    void Put(int index, int32_t value);
    void Delete(int index);
    int IndexOf(int32_t value) const;
    void Assign(const TIntegerList& source);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    int32_t operator[](int index) const { return Get(index); }

private:
    std::vector<int32_t> items_;
};

// A list of extended values (the raster's guide lines).
using TExtendedList = std::vector<long double>;
long double GetExtendedItem(const TExtendedList& list, int index);

// Key flags of a mouse message (MK_*) as a shift state.
TShiftState MouseKeysToShiftState(uint32_t keys);

// The ceiling: trunc(X), plus 1 when the fraction is above 0 (-1.5 -> -1, 2.1 -> 3).
// Non-finite values give 0; values beyond 64 bits are clamped.
int64_t RoundUp(long double x);

// Deletes the file (a symbolic link itself, never its target); True on success.
bool EraseFile(const AnsiString& name);
// Size in bytes of the regular file name; -1 when there is none.
int64_t GetFileSize(const AnsiString& name);
// The temporary folder with a trailing backslash; empty when unknown.
AnsiString GetTempDirectory();
// The user's application-data folder with a trailing backslash; empty when unknown.
AnsiString GetAppDataDirectory();

// Deletes the entries of Folder that match one of the CR LF separated Masks, with
// Recurse also in its sub-folders (a symbolic link is deleted, never followed), with
// ClearReadOnly also read-only files (without it they stay and count as failures),
// with RemoveFolders also the sub-folders (a folder that is not empty then fails).
// True unless a deletion or removal failed; a folder that cannot be listed counts as done.
bool DeleteMatchingFiles(const AnsiString& folder, const AnsiString& masks, bool recurse,
                         bool clearReadOnly, bool removeFolders);
// The files of Folder (and with Recurse of its sub-folders, depth first at their place
// in the sorted listing) that match one of the Masks, as a CR LF list of Folder + name.
// No separator follows the last name, so CountItems gives the number of files.
AnsiString FindMatchingFiles(const AnsiString& folder, const AnsiString& masks, bool recurse);

// Lists in strings: items separated by CR LF (or by Separator).
// The number of separators, plus one when S holds anything else ("" has 0 items).
int CountItems(const AnsiString& s);
// Item Index (from 0); empty when there are fewer items.
AnsiString GetItem(const AnsiString& s, int index);
AnsiString GetDelimitedItem(const AnsiString& s, const AnsiString& separator, int index);

// S without leading and trailing blanks (only ' ' counts).
AnsiString TrimBlanks(const AnsiString& s);
// Splitting program paths. A path element ends at '\' (the program's own form) or '/'
// (paths that come from Linux, such as the executable's), a drive at ':'.
// S with '\' appended unless it is empty or already ends in '\' or '/'.
AnsiString IncludeTrailingBackslash(const AnsiString& s);
// Up to and with the last path delimiter; empty when there is none.
AnsiString ExtractFilePath(const AnsiString& path);
// After the last path delimiter.
AnsiString ExtractFileName(const AnsiString& path);
// The file name's extension from its last dot, with the dot; empty when it has none.
AnsiString ExtractFileExt(const AnsiString& path);
// Name without its extension (from the last dot of the file name); the folder is kept.
AnsiString RemoveFileExt(const AnsiString& name);

bool GetOSVersionInfo(TOSVersionInfo& info);
bool IsWindowsNT();
bool IsWindowsNT4OrEarlier();
