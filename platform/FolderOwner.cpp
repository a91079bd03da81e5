#include "platform/FolderOwner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

const char* const TFolderOwner::MarkerName = ".glowcanvas-run";

namespace {

std::string WithSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

bool IsRunFolderName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
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

TFolderOwner::~TFolderOwner() { ::close(handle_); }

int TFolderOwner::RemoveAbandoned(const std::string& parent, const std::string& prefix) {
    const std::string base = WithSlash(parent);
    DIR* listing = ::opendir(base.c_str());
    if (!listing) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (!IsRunFolderName(name, prefix)) continue;
        const std::string folder = base + name;
        // O_NOFOLLOW: a link named like a marker leads nowhere else.
        const int handle = ::open((folder + "/" + MarkerName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (handle < 0) continue;  // not ours, or not marked
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ec;
            const std::filesystem::path path(folder);
            // Only a real folder: a link in its place would lead the deletion elsewhere.
            if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)) &&
                std::filesystem::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec)
                ++removed;
        }
        ::close(handle);
    }
    ::closedir(listing);
    return removed;
}
