#include "platform/Paths.h"

#include "platform/Charset.h"
#include "platform/Names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

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

namespace {

bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// Finds the entry of folder dir whose name equals name without regard to case.
bool FindCaseInsensitive(const std::string& dir, const std::string& name, std::string& found) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
    if (!d) return false;
    const AnsiString want = Utf8ToAnsi(name);
    while (dirent* e = ::readdir(d.get())) {
        const std::string entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        if (AnsiSameText(Utf8ToAnsi(entry), want)) {
            found = entry;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ResolvePath(const AnsiString& path) {
    const std::string posix = ToPosixPath(path);
    if (posix.empty() || Exists(posix)) return posix;

    std::string result;
    size_t i = 0;
    if (posix[0] == '/') {
        result = "/";
        i = 1;
    }
    bool stillExists = true;  // once an element is missing, nothing below it can be matched
    while (i <= posix.size()) {
        size_t j = posix.find('/', i);
        if (j == std::string::npos) j = posix.size();
        std::string elem = posix.substr(i, j - i);
        if (!elem.empty()) {
            const std::string dir = result;
            std::string candidate = dir + elem;
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

bool PathExists(const AnsiString& path) {
    return Exists(ResolvePath(path));
}
