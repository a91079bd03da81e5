#include "platform/Stream.h"

#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

int64_t TStream::GetSize() {
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

int64_t TStream::ReadAt(int64_t position, void* buffer, int64_t count) {
    const int64_t pos = GetPosition();
    SetPosition(position);
    int64_t got = 0;
    try {
        got = Read(buffer, count);
    } catch (...) {
        SetPosition(pos);
        throw;
    }
    SetPosition(pos);
    return got;
}

void TStream::SetSize(int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Read(buffer, count) != count))
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count < 0 || (count != 0 && Write(buffer, count) != count)) {
        // The system's reason tells a full disk from a broken one.
        const int error = count < 0 ? 0 : LastWriteError();
        throw EWriteError(error ? "Stream write error: " + Utf8ToAnsi(std::strerror(error))
                                : AnsiString("Stream write error"));
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    const int64_t total = count;
    // Not cleared first: every byte is read before it is written.
    const int64_t size = std::min<int64_t>(count, 1 << 20);
    const std::unique_ptr<uint8_t[]> buf(new uint8_t[static_cast<size_t>(size)]);
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, size);
        source.ReadBuffer(buf.get(), n);
        WriteBuffer(buf.get(), n);
        count -= n;
    }
    return total;
}

// ---- TFileStream ----

TFileStream::TFileStream(const AnsiString& fileName, uint16_t mode) : fileName_(fileName) {
    const std::string path = ResolvePath(fileName);
    Open(path, mode);
    if (mode == fmCreate) NoteCreatedPath(path);
}

TFileStream::TFileStream(const TExactPath& path, uint16_t mode) : fileName_(Utf8ToAnsi(path.Path)) {
    Open(path.Path, mode);
}

void TFileStream::Open(const std::string& path, uint16_t mode) {
    if (mode == fmCreate) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName_ + "\": " + Utf8ToAnsi(std::strerror(errno)));
        return;
    }
    int flags = O_RDONLY;
    if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
    if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd_ < 0)
        throw EFOpenError("Cannot open file \"" + fileName_ + "\": " + Utf8ToAnsi(std::strerror(errno)));
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + fileName_ + "\": is a folder");
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

bool TFileStream::CloseHandle() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::ReadAt(int64_t position, void* buffer, int64_t count) {
    if (position < 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)),
                                  static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) writeError_ = errno;
        if (n == 0) writeError_ = ENOSPC;  // nothing taken: no room
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent   ? SEEK_CUR
                                                          : SEEK_END;
    const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) throw EStreamError("Stream seek error");
    return r;
}

int64_t TFileStream::GetSize() {
    struct stat st;
    if (::fstat(fd_, &st) != 0) throw EStreamError("Stream size error");
    return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0 || ::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
        throw EStreamError("Stream size error");
    if (GetPosition() > newSize) SetPosition(newSize);
}

std::string FileErrorReason(const std::exception& e) {
    const std::string text = AnsiToUtf8(e.what());
    const size_t i = text.rfind("\": ");
    return i == std::string::npos ? text : text.substr(i + 3);
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = GetSize();
    if (count <= 0 || pos_ >= size) return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = pos_ + count;
    if (end > GetSize()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = pos_;
    if (origin == TSeekOrigin::soEnd) base = GetSize();
    const int64_t np = base + offset;
    if (np < 0) throw EStreamError("Stream seek error");
    pos_ = np;
    return pos_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Stream size error");
    data_.resize(static_cast<size_t>(newSize));
    if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    const int64_t size = f.GetSize();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    f.ReadBuffer(bytes.data(), size);
    data_ = std::move(bytes);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const AnsiString& fileName) {
    // Written beside the target and renamed over it, so a failure leaves the old file.
    TAtomicFile file(ResolvePath(fileName));
    file.WriteBuffer(data_.data(), GetSize());
    file.Commit();
}
