// Store file format (all numbers little-endian, strings Windows-1252 bytes):
//
//   u32  magic "GCRG" (0x47524347 read as little-endian bytes 'G','C','R','G')
//   u32  format version, 1
//   u32  key count K
//   K times:
//     u32 n, n bytes   key path from the root, elements joined by '\', no leading '\'
//                      (the root itself is the empty path and is not stored)
//     u32  value count V
//     V times:
//       u32 n, n bytes value name
//       u32  type: 1 string, 3 binary, 4 32-bit integer
//       u32 n, n bytes data (an integer has exactly 4)
//   u32  CRC-32 (the zlib polynomial) of every byte before it
//
// A file that breaks any of this (wrong magic or version, a length past the end, a
// bad checksum, bytes after the checksum, the same key or value name twice without
// regard to case) is damaged and read as nothing at all.

#include "platform/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/LittleEndian.h"
#include "platform/Names.h"
#include "platform/TextSplit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace {

constexpr uint32_t kMagic = 0x47524347;
constexpr uint32_t kVersion = 1;
constexpr uint32_t kTypeString = 1;
constexpr uint32_t kTypeBinary = 3;
constexpr uint32_t kTypeInteger = 4;
constexpr size_t kMaxStoreSize = 64u << 20;

struct RegValue {
    AnsiString name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegKey {
    AnsiString path;  // as first created
    std::vector<RegValue> values;
};

// Keyed by the upper-cased path; the root is "".
using RegStore = std::map<AnsiString, RegKey>;

uint32_t Crc32(const uint8_t* p, size_t n) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Splits at backslashes and drops empty elements: "\A\\b\" -> "A\b".
AnsiString NormalizePath(const AnsiString& path) {
    AnsiString out, elem;
    auto flush = [&] {
        if (elem.empty()) return;
        if (!out.empty()) out += '\\';
        out += elem;
        elem.clear();
    };
    for (char c : path) {
        if (c == '\\') flush();
        else elem += c;
    }
    flush();
    return out;
}

AnsiString ParentPath(const AnsiString& path) {
    const size_t i = path.rfind('\\');
    return i == AnsiString::npos ? AnsiString() : path.substr(0, i);
}

void AddKey(RegStore& s, const AnsiString& path) {
    AnsiString p = path;
    while (true) {
        s.try_emplace(AnsiUpperCase(p), RegKey{p, {}});
        if (p.empty()) break;
        p = ParentPath(p);
    }
}

RegValue* FindValue(RegKey& k, const AnsiString& name) {
    for (RegValue& v : k.values)
        if (AnsiSameText(v.name, name)) return &v;
    return nullptr;
}

// ---- encoding ------------------------------------------------------------------

void PutBytes(std::vector<uint8_t>& b, const void* p, size_t n) {
    AppendLE32(b, static_cast<uint32_t>(n));
    const auto* q = static_cast<const uint8_t*>(p);
    b.insert(b.end(), q, q + n);
}

std::vector<uint8_t> Encode(const RegStore& s) {
    std::vector<uint8_t> b;
    AppendLE32(b, kMagic);
    AppendLE32(b, kVersion);
    AppendLE32(b, static_cast<uint32_t>(s.size() - (s.count("") ? 1 : 0)));
    for (const auto& [upper, key] : s) {
        if (upper.empty()) continue;
        PutBytes(b, key.path.data(), key.path.size());
        AppendLE32(b, static_cast<uint32_t>(key.values.size()));
        for (const RegValue& v : key.values) {
            PutBytes(b, v.name.data(), v.name.size());
            AppendLE32(b, v.type);
            PutBytes(b, v.data.data(), v.data.size());
        }
    }
    AppendLE32(b, Crc32(b.data(), b.size()));
    return b;
}

class Reader {
public:
    Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool U32(uint32_t& v) {
        if (n_ - pos_ < 4) return false;
        v = GetLE32(p_ + pos_);
        pos_ += 4;
        return true;
    }
    bool Bytes(std::vector<uint8_t>& out) {
        uint32_t n;
        if (!U32(n) || n > n_ - pos_) return false;
        out.assign(p_ + pos_, p_ + pos_ + n);
        pos_ += n;
        return true;
    }
    bool String(AnsiString& out) {
        uint32_t n;
        if (!U32(n) || n > n_ - pos_) return false;
        out.assign(reinterpret_cast<const char*>(p_ + pos_), n);
        pos_ += n;
        return true;
    }
    size_t Left() const { return n_ - pos_; }

private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
};

bool Decode(const std::vector<uint8_t>& bytes, RegStore& out) {
    out.clear();
    if (bytes.size() < 16 || bytes.size() > kMaxStoreSize) return false;
    const size_t body = bytes.size() - 4;
    Reader crc(bytes.data() + body, 4);
    uint32_t stored;
    crc.U32(stored);
    if (stored != Crc32(bytes.data(), body)) return false;

    Reader r(bytes.data(), body);
    uint32_t magic, version, keys;
    if (!r.U32(magic) || magic != kMagic || !r.U32(version) || version != kVersion) return false;
    if (!r.U32(keys)) return false;
    RegStore s;
    AddKey(s, "");
    std::set<AnsiString> seen;
    for (uint32_t k = 0; k < keys; ++k) {
        AnsiString path;
        uint32_t count;
        if (!r.String(path) || !r.U32(count)) return false;
        if (path.empty() || NormalizePath(path) != path) return false;
        if (!seen.insert(AnsiUpperCase(path)).second) return false;
        AddKey(s, path);
        RegKey& key = s[AnsiUpperCase(path)];
        key.path = path;
        // Every value takes at least 12 bytes: a count past that cannot be honest.
        if (count > r.Left() / 12) return false;
        for (uint32_t v = 0; v < count; ++v) {
            RegValue value;
            if (!r.String(value.name) || !r.U32(value.type) || !r.Bytes(value.data)) return false;
            if (value.type != kTypeString && value.type != kTypeBinary && value.type != kTypeInteger)
                return false;
            if (value.type == kTypeInteger && value.data.size() != 4) return false;
            if (FindValue(key, value.name)) return false;
            key.values.push_back(std::move(value));
        }
    }
    if (r.Left() != 0) return false;
    out = std::move(s);
    return true;
}

// ---- files ---------------------------------------------------------------------

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

bool FileExists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

std::string UserStoreFile() {
    const std::string test = EnvOr("GC_REGISTRY_DIR", "");
    if (!test.empty()) return test + "/user.reg";
    std::string base = EnvOr("XDG_CONFIG_HOME", "");
    if (base.empty() || base[0] != '/') base = EnvOr("HOME", "") + "/.config";
    return base + "/glowcanvas/user.reg";
}

std::string MachineStoreFile() {
    const std::string test = EnvOr("GC_REGISTRY_DIR", "");
    if (!test.empty()) return test + "/machine.reg";
    const std::string dirs = EnvOr("XDG_CONFIG_DIRS", "/etc/xdg");
    std::string first;
    for (const std::string_view d : SplitAt(dirs, ':')) {
        if (!d.empty() && d[0] == '/') {
            const std::string f = std::string(d) + "/glowcanvas/machine.reg";
            if (FileExists(f)) return f;
            if (first.empty()) first = f;
        }
    }
    return first.empty() ? "/etc/xdg/glowcanvas/machine.reg" : first;
}

enum class LoadResult { Ok, Missing, Damaged, Unreadable };

// Why the last change of a store by this thread failed.
thread_local std::string lastError;

bool Failed(const std::string& path, int error) {
    lastError = path + ": " + std::strerror(error);
    return false;
}

LoadResult LoadFile(const std::string& file, RegStore& s) {
    s.clear();
    // Without waiting: a pipe by the store's name would otherwise hold the start until
    // someone writes into it.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            AddKey(s, "");
            return LoadResult::Missing;
        }
        Failed(file, errno);
        return LoadResult::Unreadable;
    }
    // Only a plain file holds a store. A folder in its place is someone's and stays
    // where it is (the store cannot be written); anything else (a pipe, a device) reads
    // as a damaged store, and the next change keeps it aside.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        OutputDebugString(Utf8ToAnsi(file) + (folder ? ": a folder, no options store" : ": no plain file, read as a damaged options store"));
        if (!folder) return LoadResult::Damaged;
        Failed(file, EISDIR);
        return LoadResult::Unreadable;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            Failed(file, errno);
            ::close(fd);
            return LoadResult::Unreadable;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > kMaxStoreSize) break;
    }
    ::close(fd);
    if (!Decode(bytes, s)) return LoadResult::Damaged;
    return LoadResult::Ok;
}

bool Readable(LoadResult r) { return r == LoadResult::Ok || r == LoadResult::Missing; }

bool MakeFolders(const std::string& dir) {
    std::string p;
    size_t i = 0;
    while (i <= dir.size()) {
        size_t j = dir.find('/', i);
        if (j == std::string::npos) j = dir.size();
        p = dir.substr(0, j);
        if (!p.empty() && ::mkdir(p.c_str(), 0700) != 0) {
            if (errno != EEXIST) return Failed(p, errno);
            struct stat st;
            if (::stat(p.c_str(), &st) != 0) return Failed(p, errno);
            if (!S_ISDIR(st.st_mode)) return Failed(p, ENOTDIR);
        }
        i = j + 1;
    }
    return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& b) {
    size_t done = 0;
    while (done < b.size()) {
        const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the whole store beside the file and renames it into place; the store is
// the user's own (0600).
bool SaveFile(const std::string& file, const RegStore& s) {
    const std::vector<uint8_t> bytes = Encode(s);
    try {
        TAtomicFile out(file, true, 0600);
        if (!WriteAll(out.Handle(), bytes)) return Failed(file, errno);
        out.Commit();
        return true;
    } catch (const EStreamError&) {
        return Failed(file, TAtomicFile::LastSystemError());
    }
}

// A store that cannot be read would block every save for good: it is kept beside
// under a new name ("user.reg.damaged", numbered when one exists) and a fresh one
// takes its place. Only called under the lock.
bool SetAside(const std::string& file) {
    std::string kept = file + ".damaged";
    for (int n = 1; FileExists(kept); ++n) {
        if (n > 1000) return Failed(kept, EEXIST);
        kept = file + ".damaged." + std::to_string(n);
    }
    if (::rename(file.c_str(), kept.c_str()) != 0) return Failed(file, errno);
    std::fprintf(stderr, "glowcanvas: the options store %s could not be read; it is kept as %s and a new store is used\n",
                 file.c_str(), kept.c_str());
    return true;
}

// Temporary files of writers that died before their rename: ours, and those of older
// versions ("user.reg.XXXXXX"). Only called under the lock, so no live writer owns one.
void RemoveStaleTemporaries(const std::string& file) {
    TAtomicFile::RemoveDeadTemporaries(file);
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string prefix = file.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        bool temp = true;
        for (size_t i = prefix.size(); i < name.size(); ++i)
            if (!std::isalnum(static_cast<unsigned char>(name[i]))) temp = false;
        if (temp) ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
}

// The store's lock file, held locked while the store changes and removed afterwards.
// A writer that locked a file someone removed meanwhile tries again on the new one.
int LockStore(const std::string& lockName) {
    for (;;) {
        const int fd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            Failed(lockName, errno);
            return -1;
        }
        while (::flock(fd, LOCK_EX) != 0)
            if (errno != EINTR) {
                Failed(lockName, errno);
                ::close(fd);
                return -1;
            }
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::stat(lockName.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
}

void UnlockStore(const std::string& lockName, int fd) {
    ::unlink(lockName.c_str());
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

// Read-modify-write under an exclusive lock, so that two writers never lose each
// other's changes. change returns false to leave the store as it was.
bool Modify(const std::string& file, const std::function<bool(RegStore&)>& change) {
    lastError.clear();
    const size_t slash = file.rfind('/');
    if (slash != std::string::npos && !MakeFolders(file.substr(0, slash))) return false;
    const std::string lockName = file + ".lock";
    const int lock = LockStore(lockName);
    if (lock < 0) return false;
    RemoveStaleTemporaries(file);
    RegStore s;
    const LoadResult loaded = LoadFile(file, s);
    if (loaded == LoadResult::Damaged) AddKey(s, "");
    const bool ok = loaded != LoadResult::Unreadable && change(s) &&
                    (loaded != LoadResult::Damaged || SetAside(file)) && SaveFile(file, s);
    UnlockStore(lockName, lock);
    return ok;
}

// The root's file and the path prefix of the root inside it.
bool RootOf(HKEY root, std::string& file, AnsiString& prefix, bool& readOnly) {
    switch (root) {
        case HKEY_CURRENT_USER: file = UserStoreFile(); prefix.clear(); readOnly = false; return true;
        case HKEY_LOCAL_MACHINE: file = MachineStoreFile(); prefix.clear(); readOnly = true; return true;
        case HKEY_CLASSES_ROOT: file = MachineStoreFile(); prefix = "Software\\Classes"; readOnly = true; return true;
        default: return false;
    }
}

AnsiString Join(const AnsiString& a, const AnsiString& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + '\\' + b;
}

// The snapshot of one root, for reads.
bool LoadRoot(HKEY root, RegStore& s, AnsiString& prefix) {
    std::string file;
    bool ro;
    if (!RootOf(root, file, prefix, ro)) return false;
    return Readable(LoadFile(file, s));
}

RegKey* FindKey(RegStore& s, const AnsiString& prefix, const AnsiString& path) {
    auto it = s.find(AnsiUpperCase(Join(prefix, path)));
    return it == s.end() ? nullptr : &it->second;
}

}  // namespace

AnsiString RegistryLastError() { return Utf8ToAnsi(lastError); }

std::string RegistryStoreFile(HKEY root) {
    std::string file;
    AnsiString prefix;
    bool ro;
    return RootOf(root, file, prefix, ro) ? file : std::string();
}

bool ParseRegistryStore(const std::vector<uint8_t>& bytes) {
    RegStore s;
    return Decode(bytes, s);
}

// ---- TRegistry -----------------------------------------------------------------

bool TRegistry::Writable() const {
    std::string file;
    AnsiString prefix;
    bool ro;
    return RootOf(RootKey, file, prefix, ro) && !ro && (Access & KEY_WRITE & ~KEY_READ) != 0;
}

AnsiString TRegistry::Target(const AnsiString& key) const {
    const bool absolute = !key.empty() && key[0] == '\\';
    return NormalizePath(absolute || !open_ ? key : Join(current_, key));
}

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
    const AnsiString path = Target(key);
    std::string file;
    AnsiString prefix;
    bool ro;
    if (!RootOf(RootKey, file, prefix, ro)) return false;
    bool ok;
    if (canCreate) {
        if (!Writable()) return false;
        ok = Modify(file, [&](RegStore& s) {
            AddKey(s, Join(prefix, path));
            return true;
        });
    } else {
        RegStore s;
        ok = Readable(LoadFile(file, s)) && FindKey(s, prefix, path);
    }
    if (!ok) return false;
    CloseKey();
    open_ = true;
    readOnly_ = !Writable();
    current_ = path;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) {
    const uint32_t saved = Access;
    Access = KEY_READ;
    const bool ok = OpenKey(key, false);
    Access = saved;
    if (ok) readOnly_ = true;
    return ok;
}

void TRegistry::CloseKey() {
    open_ = false;
    readOnly_ = false;
    current_.clear();
}

bool TRegistry::KeyExists(const AnsiString& key) {
    RegStore s;
    AnsiString prefix;
    return LoadRoot(RootKey, s, prefix) && FindKey(s, prefix, Target(key));
}

bool TRegistry::CreateKey(const AnsiString& key) {
    std::string file;
    AnsiString prefix;
    bool ro;
    if (!RootOf(RootKey, file, prefix, ro) || !Writable()) return false;
    const AnsiString path = Target(key);
    return Modify(file, [&](RegStore& s) {
        AddKey(s, Join(prefix, path));
        return true;
    });
}

bool TRegistry::DeleteKey(const AnsiString& key) {
    std::string file;
    AnsiString prefix;
    bool ro;
    if (!RootOf(RootKey, file, prefix, ro) || !Writable()) return false;
    const AnsiString path = Join(prefix, Target(key));
    if (path.empty()) return false;  // the root stays
    const AnsiString upper = AnsiUpperCase(path);
    const bool ok = Modify(file, [&](RegStore& s) {
        if (!s.count(upper)) return false;
        for (auto it = s.begin(); it != s.end();) {
            const AnsiString& k = it->first;
            if (k == upper || (k.size() > upper.size() && k.compare(0, upper.size(), upper) == 0 &&
                               k[upper.size()] == '\\'))
                it = s.erase(it);
            else
                ++it;
        }
        return true;
    });
    if (ok && open_) {
        const AnsiString cur = AnsiUpperCase(Join(prefix, current_));
        if (cur == upper || (cur.size() > upper.size() && cur.compare(0, upper.size(), upper) == 0 &&
                             cur[upper.size()] == '\\'))
            CloseKey();
    }
    return ok;
}

void TRegistry::GetKeyNames(std::vector<AnsiString>& names) {
    names.clear();
    if (!open_) return;
    RegStore s;
    AnsiString prefix;
    if (!LoadRoot(RootKey, s, prefix)) return;
    const AnsiString base = AnsiUpperCase(Join(prefix, current_));
    for (const auto& [upper, key] : s) {
        if (upper.empty() || ParentPath(upper) != base) continue;
        const size_t i = key.path.rfind('\\');
        names.push_back(i == AnsiString::npos ? key.path : key.path.substr(i + 1));
    }
}

void TRegistry::GetValueNames(std::vector<AnsiString>& names) {
    names.clear();
    if (!open_) return;
    RegStore s;
    AnsiString prefix;
    if (!LoadRoot(RootKey, s, prefix)) return;
    if (RegKey* k = FindKey(s, prefix, current_))
        for (const RegValue& v : k->values) names.push_back(v.name);
}

namespace {

// The value as it is stored now, for reads; false when it does not exist.
bool ReadValue(HKEY root, bool open, const AnsiString& path, const AnsiString& name, RegValue& out) {
    if (!open) return false;
    RegStore s;
    AnsiString prefix;
    if (!LoadRoot(root, s, prefix)) return false;
    RegKey* k = FindKey(s, prefix, path);
    if (!k) return false;
    RegValue* v = FindValue(*k, name);
    if (!v) return false;
    out = *v;
    return true;
}

[[noreturn]] void BadType(const AnsiString& name) {
    throw ERegistryException("Ung\xFCltiger Datentyp f\xFCr '" + name + "'");
}

}  // namespace

bool TRegistry::ValueExists(const AnsiString& name) {
    RegValue v;
    return ReadValue(RootKey, open_, current_, name, v);
}

bool TRegistry::DeleteValue(const AnsiString& name) {
    if (!open_ || readOnly_) return false;
    std::string file;
    AnsiString prefix;
    bool ro;
    if (!RootOf(RootKey, file, prefix, ro)) return false;
    return Modify(file, [&](RegStore& s) {
        RegKey* k = FindKey(s, prefix, current_);
        if (!k) return false;
        for (auto it = k->values.begin(); it != k->values.end(); ++it)
            if (AnsiSameText(it->name, name)) {
                k->values.erase(it);
                return true;
            }
        return false;
    });
}

TRegDataType TRegistry::GetDataType(const AnsiString& name) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v)) return TRegDataType::rdUnknown;
    switch (v.type) {
        case kTypeString: return TRegDataType::rdString;
        case kTypeInteger: return TRegDataType::rdInteger;
        case kTypeBinary: return TRegDataType::rdBinary;
        default: return TRegDataType::rdUnknown;
    }
}

int TRegistry::GetDataSize(const AnsiString& name) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v)) return -1;
    return static_cast<int>(v.data.size());
}

AnsiString TRegistry::ReadString(const AnsiString& name) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v)) return AnsiString();
    if (v.type != kTypeString) BadType(name);
    return AnsiString(v.data.begin(), v.data.end());
}

int32_t TRegistry::ReadInteger(const AnsiString& name) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v))
        throw ERegistryException("Fehler beim Lesen der Daten von '" + name + "'");
    if (v.type != kTypeInteger) BadType(name);
    return static_cast<int32_t>(GetLE32(v.data.data()));
}

int TRegistry::ReadBinaryData(const AnsiString& name, void* buffer, int bufSize) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v)) return 0;
    if (v.type != kTypeBinary || bufSize < 0 || v.data.size() > static_cast<size_t>(bufSize)) BadType(name);
    if (!v.data.empty()) std::memcpy(buffer, v.data.data(), v.data.size());
    return static_cast<int>(v.data.size());
}

std::vector<uint8_t> TRegistry::ReadBinary(const AnsiString& name) {
    RegValue v;
    if (!ReadValue(RootKey, open_, current_, name, v)) return {};
    if (v.type != kTypeBinary) BadType(name);
    return v.data;
}

void TRegistry::WriteValue(const AnsiString& name, TRegDataType type, const void* data, size_t size) {
    std::string file;
    AnsiString prefix;
    bool ro;
    const bool ok = open_ && !readOnly_ && RootOf(RootKey, file, prefix, ro) &&
                    Modify(file, [&](RegStore& s) {
                        RegKey* k = FindKey(s, prefix, current_);
                        if (!k) {  // deleted by someone else meanwhile: bring it back
                            AddKey(s, Join(prefix, current_));
                            k = FindKey(s, prefix, current_);
                        }
                        RegValue* v = FindValue(*k, name);
                        if (!v) {
                            k->values.push_back(RegValue{name, 0, {}});
                            v = &k->values.back();
                        }
                        v->type = type == TRegDataType::rdString    ? kTypeString
                                  : type == TRegDataType::rdInteger ? kTypeInteger
                                                                    : kTypeBinary;
                        const auto* p = static_cast<const uint8_t*>(data);
                        v->data.assign(p, p + size);
                        return true;
                    });
    if (!ok) throw ERegistryException("Fehler beim Setzen der Daten f\xFCr '" + name + "'");
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
    WriteValue(name, TRegDataType::rdString, value.data(), value.size());
}

void TRegistry::WriteInteger(const AnsiString& name, int32_t value) {
    uint8_t b[4];
    PutLE32(b, static_cast<uint32_t>(value));
    WriteValue(name, TRegDataType::rdInteger, b, 4);
}

void TRegistry::WriteBinaryData(const AnsiString& name, const void* buffer, int size) {
    if (size < 0) throw ERegistryException("Fehler beim Setzen der Daten f\xFCr '" + name + "'");
    WriteValue(name, TRegDataType::rdBinary, buffer, static_cast<size_t>(size));
}
