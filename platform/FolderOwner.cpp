#include "platform/FolderOwner.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

const char* const TFolderOwner::MarkerName = ".glowcanvas-run";

namespace {

std::string WithSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

const char* const kPendingMark = ".~";

bool AllDigits(const std::string& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

bool IsRunFolderName(const std::string& name, const std::string& prefix) {
    return name.compare(0, prefix.size(), prefix) == 0 && AllDigits(name, prefix.size(), name.size());
}

// prefix, digits, ".~", the process id of the run that made it: a folder on its way to
// its name. Answers that process id, or 0.
pid_t PendingFolderOwner(const std::string& name, const std::string& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const size_t mark = name.find(kPendingMark, prefix.size());
    if (mark == std::string::npos || !AllDigits(name, prefix.size(), mark)) return 0;
    const size_t pid = mark + 2;
    if (!AllDigits(name, pid, name.size()) || name.size() - pid > 9) return 0;
    return static_cast<pid_t>(std::stol(name.substr(pid)));
}

bool OursOfKind(const struct stat& st, mode_t kind) { return (st.st_mode & S_IFMT) == kind && st.st_uid == ::geteuid(); }

// The marker of folder, locked, when the folder is a real folder of ours and its marker
// a plain file of ours that no run holds; else -1. Never blocks: the marker is opened
// without waiting for a writer and without following a link, and looked at before it
// is locked.
int LockAbandoned(const std::string& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return -1;
    struct stat st;
    int marker = -1;
    if (::fstat(dir, &st) == 0 && OursOfKind(st, S_IFDIR)) {
        marker = ::openat(dir, TFolderOwner::MarkerName, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (marker >= 0 && (::fstat(marker, &st) != 0 || !OursOfKind(st, S_IFREG) || ::flock(marker, LOCK_EX | LOCK_NB) != 0)) {
            ::close(marker);
            marker = -1;
        }
    }
    ::close(dir);
    return marker;
}

// A pending folder whose run is gone (its process id names no process).
bool PendingOfEndedRun(const std::string& folder, pid_t run) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !OursOfKind(st, S_IFDIR)) return false;
    return ::kill(run, 0) != 0 && errno == ESRCH;
}

// Removes what folder holds, depth first, then folder; the marker of the top folder goes
// after everything else in it, so that a folder seen without it is empty.
void RemoveTree(const std::string& folder, const std::function<void()>& step, bool top) {
    std::error_code ec;
    std::vector<std::filesystem::path> entries;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (top)
        std::stable_partition(entries.begin(), entries.end(),
                              [](const std::filesystem::path& p) { return p.filename() != TFolderOwner::MarkerName; });
    for (const std::filesystem::path& entry : entries) {
        if (std::filesystem::is_directory(std::filesystem::symlink_status(entry, ec))) {
            RemoveTree(entry.string(), step, false);
            continue;
        }
        if (step) step();
        std::filesystem::remove(entry, ec);
    }
    if (step) step();
    std::filesystem::remove(folder, ec);
}

}  // namespace

std::unique_ptr<TFolderOwner> TFolderOwner::Claim(const std::string& folder) {
    const std::string dir = WithSlash(folder);
    // Locked under a name of its own before it takes the marker's name, so that no other
    // start ever sees the marker unlocked while this run lives.
    const std::string pending = dir + MarkerName + ".~" + std::to_string(::getpid());
    const int handle = ::open(pending.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (handle < 0) return nullptr;
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0 || ::rename(pending.c_str(), (dir + MarkerName).c_str()) != 0) {
        ::unlink(pending.c_str());
        ::close(handle);
        return nullptr;
    }
    // For whoever looks: the owner's process id.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::write(handle, pid.data(), pid.size()) < 0) {
        // The lock is what counts.
    }
    return std::unique_ptr<TFolderOwner>(new TFolderOwner(handle));
}

std::unique_ptr<TFolderOwner> TFolderOwner::Create(const std::string& folder, int& error) {
    std::string name = folder;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    const std::string pending = name + kPendingMark + std::to_string(::getpid());
    if (::mkdir(pending.c_str(), 0700) != 0) {
        error = errno;
        return nullptr;
    }
    std::unique_ptr<TFolderOwner> owner = Claim(pending);
    error = owner ? 0 : errno;
    if (owner && ::renameat2(AT_FDCWD, pending.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        owner.reset();
    }
    if (!owner) {
        ::unlink((pending + "/" + MarkerName).c_str());
        ::rmdir(pending.c_str());
        if (error == 0) error = EIO;
    }
    return owner;
}

TFolderOwner::~TFolderOwner() { ::close(handle_); }

void TFolderOwner::Remove(const std::string& folder, const std::function<void()>& step) {
    std::string name = folder;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    // A pending folder whose process is gone is removed by the next start; a run folder
    // half removed, its marker gone with the rest, would be left for good.
    const std::string pending = name + kPendingMark + std::to_string(::getpid());
    const bool moved = ::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, pending.c_str(), RENAME_NOREPLACE) == 0;
    RemoveTree(moved ? pending : name, step, true);
}

int TFolderOwner::RemoveAbandoned(const std::string& parent, const std::string& prefix) {
    const std::string base = WithSlash(parent);
    DIR* listing = ::opendir(base.c_str());
    if (!listing) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        const std::string folder = base + name;
        const pid_t run = PendingFolderOwner(name, prefix);
        // Held while the folder goes.
        int marker = -1;
        if (run ? !PendingOfEndedRun(folder, run)
                : !IsRunFolderName(name, prefix) || (marker = LockAbandoned(folder)) < 0)
            continue;
        std::error_code ec;
        const std::filesystem::path path(folder);
        // Only a real folder: a link in its place would lead the deletion elsewhere.
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)) &&
            std::filesystem::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec)
            ++removed;
        if (marker >= 0) ::close(marker);
    }
    ::closedir(listing);
    return removed;
}
