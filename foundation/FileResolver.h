// How a show finds the files it names. A run owns one resolver (its run context makes
// it) and hands it to the show it plays; everything a look-up depends on is the
// resolver's own: the program folder, the folder a packaged show is confined to, the
// files still on their way out of the package.
// Shows that no run hands a resolver use the default one: the program folder, no
// confinement, nothing pending.
#pragma once

#include "platform/SysUtils.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Files on their way into place, such as a package being extracted in the background:
// the writer installs a waiter in the resolver, which asks it about every path before
// looking, so a show finds a file that is not out yet instead of missing it.
class IPendingFileWaiter {
public:
    virtual ~IPendingFileWaiter() = default;
    // Returns once the file at path (a program path as the resolver tries it) is in place
    // or will not come; at once for a path that is not the waiter's.
    virtual void WaitForFile(const AnsiString& path) = 0;
};

class IFileResolver {
public:
    virtual ~IFileResolver() = default;
    // An existing file for a name a show stored, tried against the folder of baseFile
    // (the show's file) and then the program folder; empty when nothing is found. A name
    // beginning with "?" is no file and comes back unchanged. Names from Windows work:
    // backslashes, drive letters (dropped) and any letter case (each path element is
    // matched without regard to case). Relative names are taken relative to the program
    // folder; the process's current folder is never touched. The result is the file's
    // path as it exists.
    virtual AnsiString Resolve(const AnsiString& name, const AnsiString& baseFile) const = 0;
    // What a caller opens for the stored name, given what Resolve found for it: the file
    // found; else the stored name itself (a web address, or a name the opener looks up
    // its own way), but while the resolver is confined only an "http://" or "https://"
    // address; else nothing (empty: the item fails as a missing file does).
    virtual AnsiString OpenableName(const AnsiString& stored, const AnsiString& found) const = 0;
};

class TFileResolver final : public IFileResolver {
public:
    // The program folder is AppDir, as it is at each look-up.
    TFileResolver();
    // programFolder: with a trailing backslash.
    explicit TFileResolver(const AnsiString& programFolder);
    ~TFileResolver() override;
    TFileResolver(const TFileResolver&) = delete;
    TFileResolver& operator=(const TFileResolver&) = delete;

    AnsiString Resolve(const AnsiString& name, const AnsiString& baseFile) const override;
    AnsiString OpenableName(const AnsiString& stored, const AnsiString& found) const override;

    // A packaged show is the whole show: while a folder is set (its extraction folder),
    // Resolve skips every candidate that lies outside it, whatever the name says (parent
    // steps, absolute paths, drives, servers). Empty lifts it.
    void Confine(const AnsiString& folder);
    bool IsConfined() const;

    // One waiter at a time: installing replaces the one before. Remove only removes
    // waiter when it is the one installed (another may have replaced it).
    void SetPendingFileWaiter(std::shared_ptr<IPendingFileWaiter> waiter);
    void RemovePendingFileWaiter(const IPendingFileWaiter* waiter);

private:
    AnsiString ProgramFolder() const;
    AnsiString FromProgramFolder(const AnsiString& p) const;
    bool Exists(const AnsiString& p) const;
    bool Allowed(const AnsiString& candidate) const;

    const std::optional<AnsiString> programFolder_;  // none: AppDir
    mutable std::mutex lock_;
    std::string confinedTo_;  // POSIX, normalised, with a trailing slash; empty: anywhere
    // Shared, so a wait in progress keeps its waiter alive while the writer goes away.
    std::shared_ptr<IPendingFileWaiter> waiter_;
};

// The resolver of shows and items that no run handed one: AppDir, unconfined, nothing
// pending.
const IFileResolver& DefaultFileResolver();
