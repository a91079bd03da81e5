// Shared helpers for the tests: temporary folders and byte-by-byte fixtures.
#pragma once

#include <linux/capability.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/Installed.h"

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "gctest-XXXXXX").string();
        if (!::mkdtemp(templ.data())) std::abort();
        path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        // Make everything writable first so read-only leftovers do not stay behind.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_symlink())
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The folder as a program path: backslashes and a trailing backslash.
    std::string Program() const {
        std::string s = path_.string() + "/";
        for (char& c : s)
            if (c == '/') c = '\\';
        return s;
    }
    void Write(const std::string& rel, const std::string& content = "x") const {
        std::filesystem::path p = path_ / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    bool Exists(const std::string& rel) const {
        return std::filesystem::exists(std::filesystem::symlink_status(path_ / rel));
    }

private:
    std::filesystem::path path_;
};

// While it lives, file permissions hold for this thread even when the tests run as
// root (as CI does): the capabilities that override them leave its effective set.
class FilePermissionsHold {
public:
    FilePermissionsHold() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct data[2];
        std::memcpy(data, saved_, sizeof data);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            data[cap / 32].effective &= ~(1u << (cap % 32));
        active_ = ::syscall(SYS_capset, &header_, data) == 0;
    }
    ~FilePermissionsHold() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    FilePermissionsHold(const FilePermissionsHold&) = delete;
    FilePermissionsHold& operator=(const FilePermissionsHold&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// Where a test leaves files for people to look at, such as PNGs of what it drew:
// $GC_TEST_OUTPUT (the test program's folder under the build's tests/output), else
// "test-output" in the working folder. Created on demand.
inline std::filesystem::path TestOutputFolder() {
    const char* env = std::getenv("GC_TEST_OUTPUT");
    std::filesystem::path dir = env && *env ? std::filesystem::path(env) : std::filesystem::path("test-output");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

// Points the registry stand-in at a fresh folder for the lifetime of the object.
class TestRegistryFolder {
public:
    TestRegistryFolder() { ::setenv("GC_REGISTRY_DIR", dir_.Path().c_str(), 1); }
    ~TestRegistryFolder() { ::unsetenv("GC_REGISTRY_DIR"); }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
};

// Little-endian byte builder for golden fixtures, written independently of the writers.
class Bytes {
public:
    Bytes& u8(uint8_t v) { b_.push_back(v); return *this; }
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& u64(uint64_t v) {
        for (int i = 0; i < 8; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& i64(int64_t v) { return u64(static_cast<uint64_t>(v)); }
    Bytes& str(const std::string& s) {  // length-prefixed string
        i32(static_cast<int32_t>(s.size()));
        return raw(s);
    }
    Bytes& raw(const std::string& s) { b_.insert(b_.end(), s.begin(), s.end()); return *this; }
    Bytes& raw(const std::vector<uint8_t>& v) { b_.insert(b_.end(), v.begin(), v.end()); return *this; }
    Bytes& tag(const char (&four)[5]) { return raw(std::string(four, 4)); }

    size_t size() const { return b_.size(); }
    const std::vector<uint8_t>& vec() const { return b_; }
    operator const std::vector<uint8_t>&() const { return b_; }

private:
    std::vector<uint8_t> b_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs what in a child process and answers whether it ended within a second with status
// 0 (what ends the child with _exit(1) to fail): for what must never wait on something
// another user left, where a hang would otherwise stop the test program itself.
inline bool EndsWithinASecond(const std::function<void()>& what) {
    const pid_t child = ::fork();
    if (child == 0) {
        what();
        ::_exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return false;
}
