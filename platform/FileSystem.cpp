#include "platform/FileSystem.h"

#include "platform/Charset.h"
#include "platform/Names.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

bool ListPosix(const std::string& folder, bool noFollow, std::vector<TDirEntry>& entries) {
    entries.clear();
    std::string dir = folder.empty() ? std::string("./") : folder;
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (noFollow) {
        // A trailing slash would make the kernel follow a link after all.
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        flags |= O_NOFOLLOW;
    }
    const int fd = ::open(dir.c_str(), flags);
    if (fd < 0) return false;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::fdopendir(fd), ::closedir);
    if (!d) {
        ::close(fd);
        return false;
    }
    if (dir.back() != '/') dir += '/';
    while (dirent* e = ::readdir(d.get())) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        // An entry that vanished in between is simply not listed.
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        TDirEntry entry;
        entry.Name = Utf8ToAnsi(name);
        entry.PosixPath = dir + name;
        entry.IsSymLink = S_ISLNK(st.st_mode);
        entry.IsDirectory = S_ISDIR(st.st_mode);
        entry.ReadOnly = !entry.IsSymLink && (st.st_mode & S_IWUSR) == 0;
        if (entry.IsSymLink) {
            struct stat target;
            entry.LinkToFolder = ::fstatat(fd, name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const TDirEntry& a, const TDirEntry& b) {
        const int c = AnsiCompareText(a.Name, b.Name);
        return c != 0 ? c < 0 : a.PosixPath < b.PosixPath;
    });
    return true;
}

}  // namespace

bool ListDirectory(const AnsiString& folder, std::vector<TDirEntry>& entries) {
    return ListPosix(ResolvePath(folder), false, entries);
}

bool ListDirectory(const TDirEntry& folder, std::vector<TDirEntry>& entries) {
    if (!folder.IsDirectory) {
        entries.clear();
        return false;
    }
    return ListPosix(folder.PosixPath, true, entries);
}

bool DeleteEntry(const TDirEntry& entry) {
    return !entry.IsDirectory && !entry.PosixPath.empty() && ::unlink(entry.PosixPath.c_str()) == 0;
}

bool RemoveFolderEntry(const TDirEntry& entry) {
    return entry.IsDirectory && ::rmdir(entry.PosixPath.c_str()) == 0;
}

bool ClearReadOnlyEntry(const TDirEntry& entry) {
    if (entry.IsSymLink) return true;  // a link has no permissions of its own
    struct stat st;
    if (entry.PosixPath.empty() || ::lstat(entry.PosixPath.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    return ::chmod(entry.PosixPath.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

namespace {

// Iterative wildcard match with backtracking to the last "*": linear in practice and
// without recursion, so long names and masks cannot exhaust the stack.
bool WildMatch(const AnsiString& name, const AnsiString& mask) {
    size_t n = 0, m = 0;
    size_t starM = AnsiString::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || AnsiUpCase(mask[m]) == AnsiUpCase(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != AnsiString::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool MatchesMask(const AnsiString& name, const AnsiString& mask) {
    if (WildMatch(name, mask)) return true;
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
        name.find('.') == AnsiString::npos)
        return WildMatch(name, mask.substr(0, mask.size() - 2));
    return false;
}

bool DeleteFileEntry(const AnsiString& path) {
    const std::string p = ResolvePath(path);
    struct stat st;
    if (p.empty() || ::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(p.c_str()) == 0;
}

int64_t FileSizeOf(const AnsiString& path) {
    const std::string p = ResolvePath(path);
    struct stat st;
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FileExists(const AnsiString& path) {
    const std::string p = ResolvePath(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

AnsiString WithBackslash(const std::string& posix) {
    AnsiString p = FromPosixPath(posix);
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

const char* NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

}  // namespace

AnsiString TempFolder() { return WithBackslash(TempFolderAsGiven()); }

std::string TempFolderAsGiven() {
    const char* tmp = NonEmptyEnv("TMPDIR");
    std::string folder = tmp ? tmp : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

AnsiString AppDataFolder() {
    if (const char* data = NonEmptyEnv("XDG_DATA_HOME")) return WithBackslash(data);
    if (const char* home = NonEmptyEnv("HOME")) return WithBackslash(std::string(home) + "/.local/share");
    return AnsiString();
}
