// Files on their way into place, such as a package being extracted in the background:
// whoever writes them installs a waiter, and ResolveFileName asks it about every path
// before looking, so a show finds a file that is not out yet instead of missing it.
#pragma once

#include "platform/SysUtils.h"

#include <memory>

class IPendingFileWaiter {
public:
    virtual ~IPendingFileWaiter() = default;
    // Returns once the file at path (a program path as ResolveFileName tries it) is in
    // place or will not come; at once for a path that is not the waiter's.
    virtual void WaitForFile(const AnsiString& path) = 0;
};

// One waiter at a time: installing replaces the one before.
void SetPendingFileWaiter(std::shared_ptr<IPendingFileWaiter> waiter);
// Removes waiter when it is the one installed (another may have replaced it).
void RemovePendingFileWaiter(const IPendingFileWaiter* waiter);
// Asks the installed waiter about path; returns at once when there is none. Any thread.
void WaitForPendingFile(const AnsiString& path);
