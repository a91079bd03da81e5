#include "platform/AtomicFile.h"

#include "platform/Charset.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

// Bytes of the target's name that the temporary's name repeats, so people can tell
// whose it is; short enough that any target name fits the 255-byte limit.
constexpr size_t kNameStart = 40;
constexpr size_t kRandomChars = 6;
const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomChars() {
    thread_local std::mt19937_64 gen{std::random_device{}()};
    std::string s;
    for (size_t i = 0; i < kRandomChars; ++i) s += kAlphabet[gen() % (sizeof kAlphabet - 1)];
    return s;
}

// The process id of a temporary of ours, or 0 when name is none.
pid_t TemporaryOwner(const std::string& name) {
    const std::string suffix = ".tmp";
    if (name.size() < 1 + 2 + 1 + 1 + kRandomChars + suffix.size() || name[0] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const size_t end = name.size() - suffix.size();
    const size_t dash = end - kRandomChars - 1;
    if (name[dash] != '-') return 0;
    for (size_t i = dash + 1; i < end; ++i)
        if (std::string_view(kAlphabet).find(name[i]) == std::string_view::npos) return 0;
    const size_t mark = name.rfind(".~", dash);
    if (mark == std::string::npos || mark == 0 || dash - mark - 2 == 0 || dash - mark - 2 > 10) return 0;
    long long pid = 0;
    for (size_t i = mark + 2; i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

bool ProcessAlive(pid_t pid) {
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH;
}

// The temporaries in dir whose name starts with prefix and whose writers are gone.
void RemoveDeadTemporaries(const std::string& dir, const std::string& prefix) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
    if (!d) return;
    while (dirent* e = ::readdir(d.get())) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const pid_t owner = TemporaryOwner(name);
        // A live writer's temporary stays; one whose writer is gone is never renamed.
        if (owner != 0 && !ProcessAlive(owner)) ::unlink((dir + name).c_str());
    }
}

// Once per folder and process: a long extraction writes thousands of files into one.
void RemoveStaleTemporaries(const std::string& dir) {
    static std::mutex lock;
    // By name and identity: a folder made anew may get the number of a removed one.
    static std::set<std::tuple<std::string, dev_t, ino_t>> cleaned;
    const std::string folder = dir.empty() ? std::string(".") : dir;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!cleaned.insert({folder, st.st_dev, st.st_ino}).second) return;
    }
    RemoveDeadTemporaries(dir, std::string());
}

// The first bytes of name, never ending inside a UTF-8 sequence.
std::string NameStart(const std::string& name) {
    if (name.size() <= kNameStart) return name;
    size_t n = kNameStart;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    return name.substr(0, n);
}

}  // namespace

namespace {
thread_local int lastSystemError = 0;
// The start of the names of target's temporaries.
// Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) inside
// operator+(const char*, std::string&&).
std::string TemporaryPrefix(const std::string& name) {
    std::string prefix = ".";
    prefix += NameStart(name);
    prefix += ".~";
    return prefix;
}

}  // namespace

void TAtomicFile::RemoveDeadTemporaries(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    ::RemoveDeadTemporaries(dir, TemporaryPrefix(target.substr(dir.size())));
}

int TAtomicFile::LastSystemError() { return lastSystemError; }

TAtomicFile::TTemporary TAtomicFile::MakeTemporary(const std::string& target, int mode) {
    TTemporary t;
    t.Target = target;
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, void (*)(void*)> real(::realpath(target.c_str(), nullptr), std::free);
        if (real) t.Target = real.get();
    }
    const size_t slash = t.Target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : t.Target.substr(0, slash + 1);
    const std::string name = t.Target.substr(dir.size());
    const AnsiString shown = Utf8ToAnsi(target);
    if (name.empty() || name == "." || name == ".." || (::stat(t.Target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        lastSystemError = EISDIR;
        throw EFCreateError("Cannot create file \"" + shown + "\": is a folder");
    }
    RemoveStaleTemporaries(dir);
    const std::string stem = dir + TemporaryPrefix(name) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        t.Path = stem + RandomChars() + ".tmp";
        t.Handle = ::open(t.Path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                          mode >= 0 ? static_cast<mode_t>(mode) : 0666);
        if (t.Handle >= 0) return t;
        if (errno != EEXIST) break;
    }
    lastSystemError = errno;
    throw EFCreateError("Cannot create file \"" + shown + "\": " + Utf8ToAnsi(std::strerror(errno)));
}

TAtomicFile::TAtomicFile(const std::string& target, bool durable, int mode)
    : TAtomicFile(MakeTemporary(target, mode), durable, mode) {}

TAtomicFile::TAtomicFile(TTemporary temp, bool durable, int mode)
    : TFileStream(temp.Handle, Utf8ToAnsi(temp.Target)),
      target_(std::move(temp.Target)),
      temp_(std::move(temp.Path)),
      durable_(durable),
      mode_(mode) {}

TAtomicFile::~TAtomicFile() {
    if (!done_) ::unlink(temp_.c_str());
}

void TAtomicFile::Fail(int error) {
    done_ = true;
    lastSystemError = error;
    ::unlink(temp_.c_str());
    throw EWriteError("Cannot write file \"" + FileName() + "\": " + Utf8ToAnsi(std::strerror(error)));
}

void TAtomicFile::Commit() {
    if (done_) throw EWriteError("Cannot write file \"" + FileName() + "\": already closed");
    if (durable_ && ::fsync(Handle()) != 0) Fail(errno);
    struct stat st;
    if (mode_ < 0 && ::stat(target_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
        ::fchmod(Handle(), st.st_mode & 07777) != 0)
        Fail(errno);
    if (!CloseHandle()) Fail(errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
    done_ = true;
    NoteCreatedPath(target_);
    if (durable_) {
        const size_t slash = target_.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            // The rename has happened; a folder that cannot be flushed leaves it to the system.
            (void)::fsync(fd);
            ::close(fd);
        }
    }
}
