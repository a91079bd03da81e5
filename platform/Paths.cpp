#include "platform/Paths.h"

#include "platform/Charset.h"
#include "platform/Names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <unordered_map>

std::string ToPosixPath(const AnsiString& path) {
    AnsiString p = path;
    if (p.size() >= 2 && p[1] == ':' &&
        ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
        p.erase(0, 2);
    for (char& c : p)
        if (c == '\\') c = '/';
    return AnsiToUtf8(p);
}

AnsiString FromPosixPath(const std::string& path) {
    AnsiString p = Utf8ToAnsi(path);
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

AnsiString PathText(const AnsiString& path) { return Utf8ToAnsi(ToPosixPath(path)); }

namespace {

bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// One folder's entries by their upper-cased Windows-1252 name (the first in directory
// order wins), valid while the folder keeps the identity and change time it had.
struct TFolderListing {
    dev_t Dev = 0;
    ino_t Ino = 0;
    timespec Changed{};
    std::unordered_map<AnsiString, std::string> Names;
};

// Without the listings every new file of an extraction would read its whole folder.
constexpr size_t kMaxListings = 256;
std::mutex listingsLock;
std::unordered_map<std::string, TFolderListing> listings;

bool SameStamp(const TFolderListing& l, const struct stat& st) {
    return l.Dev == st.st_dev && l.Ino == st.st_ino && l.Changed.tv_sec == st.st_mtim.tv_sec &&
           l.Changed.tv_nsec == st.st_mtim.tv_nsec;
}

void Stamp(TFolderListing& l, const struct stat& st) {
    l.Dev = st.st_dev;
    l.Ino = st.st_ino;
    l.Changed = st.st_mtim;
}

void AddName(TFolderListing& l, const std::string& entry) {
    l.Names.try_emplace(AnsiUpperCase(Utf8ToAnsi(entry)), entry);
}

// Finds the entry of folder dir ("" or ending in '/') whose name equals name without
// regard to case.
bool FindCaseInsensitive(const std::string& dir, const std::string& name, std::string& found) {
    const std::string folder = dir.empty() ? std::string(".") : dir;
    struct stat st;
    // Taken before the folder is read, so a change while reading shows next time.
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    std::lock_guard<std::mutex> guard(listingsLock);
    auto it = listings.find(dir);
    if (it == listings.end() || !SameStamp(it->second, st)) {
        std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(folder.c_str()), ::closedir);
        if (!d) return false;
        if (listings.size() >= kMaxListings) listings.clear();
        TFolderListing& l = listings[dir];
        l.Names.clear();
        while (dirent* e = ::readdir(d.get())) {
            const std::string entry = e->d_name;
            if (entry != "." && entry != "..") AddName(l, entry);
        }
        Stamp(l, st);
        it = listings.find(dir);
    }
    const auto match = it->second.Names.find(AnsiUpperCase(Utf8ToAnsi(name)));
    if (match == it->second.Names.end()) return false;
    found = match->second;
    return true;
}

// Resolves the elements of posix from index i on, appended to result (empty or ending
// in '/'). stillExists is False when result names nothing already.
std::string ResolveElements(std::string result, const std::string& posix, size_t i, bool stillExists) {
    while (i <= posix.size()) {
        size_t j = posix.find('/', i);
        if (j == std::string::npos) j = posix.size();
        std::string elem = posix.substr(i, j - i);
        if (!elem.empty()) {
            const std::string dir = result;
            std::string candidate = dir + elem;
            // Once an element is missing, nothing below it can be matched.
            if (stillExists && !Exists(candidate) && elem != "." && elem != "..") {
                std::string match;
                if (FindCaseInsensitive(dir, elem, match))
                    candidate = dir + match;
                else
                    stillExists = false;
            }
            result = candidate;
            if (j < posix.size()) result += '/';
        } else if (j < posix.size() && !result.empty() && result.back() != '/') {
            result += '/';
        }
        i = j + 1;
    }
    return result;
}

}  // namespace

std::string ResolvePath(const AnsiString& path) {
    const std::string posix = ToPosixPath(path);
    if (posix.empty() || Exists(posix)) return posix;
    if (posix[0] == '/') return ResolveElements("/", posix, 1, true);
    return ResolveElements("", posix, 0, true);
}

std::string ResolvePathBelow(const std::string& folder, const AnsiString& name) {
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    std::string rel = ToPosixPath(name);
    const size_t start = rel.find_first_not_of('/');
    rel.erase(0, start == std::string::npos ? rel.size() : start);
    if (Exists(base + rel)) return base + rel;
    return ResolveElements(base, rel, 0, base.empty() || Exists(base));
}

bool PathExists(const AnsiString& path) {
    return Exists(ResolvePath(path));
}

void NoteCreatedPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(dir.size());
    if (name.empty()) return;
    struct stat st;
    if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return;
    std::lock_guard<std::mutex> guard(listingsLock);
    const auto it = listings.find(dir);
    if (it == listings.end()) return;
    AddName(it->second, name);
    Stamp(it->second, st);
}
