// Byte streams with 64-bit positions: the abstract stream, files and memory.
#pragma once

#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many arrived (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns how many were taken.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position from the beginning.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Reads up to count bytes at position and leaves the stream's position where it was.
    virtual int64_t ReadAt(int64_t position, void* buffer, int64_t count);
    virtual int64_t GetSize();
    // Changes the length; raises EStreamError when the stream cannot.
    virtual void SetSize(int64_t newSize);
    // The system's error number behind the last short write (a full disk, say); 0 when
    // the stream has none to tell.
    virtual int LastWriteError() const { return 0; }

    int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

    // Exact transfers: a short read raises EReadError, a short write EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source at its position (the whole source from 0 when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);
};

// File access modes, as the stored-format code names them.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

// A file opened by name. The name is a Windows-1252 path with backslashes or a POSIX
// path; it is mapped to the file system by platform/Paths. An exact path is taken as
// it is.
class TFileStream : public TStream {
public:
    // Raises EFOpenError (or EFCreateError for fmCreate) when the file cannot be opened.
    TFileStream(const AnsiString& fileName, uint16_t mode);
    TFileStream(const TExactPath& path, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    // One positioned read, without moving the file's position.
    int64_t ReadAt(int64_t position, void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int LastWriteError() const override { return writeError_; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;
    void SetSize(int64_t newSize) override;

    const AnsiString& FileName() const { return fileName_; }
    int Handle() const { return fd_; }

protected:
    // Takes over an open handle.
    TFileStream(int handle, const AnsiString& fileName) : fileName_(fileName), fd_(handle) {}
    // Closes the handle; False when the system reports a failure of the last writes.
    bool CloseHandle();

private:
    void Open(const std::string& path, uint16_t mode);

    AnsiString fileName_;
    int fd_ = -1;
    int writeError_ = 0;
};

// The system's reason at the end of the message of a file error raised here ("Cannot
// open file "x": reason"), as UTF-8; the whole message for other errors. For callers
// that name the file in their own words.
std::string FileErrorReason(const std::exception& e);

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    void Clear() { data_.clear(); pos_ = 0; }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::vector<uint8_t>& Bytes() { return data_; }
    void LoadFromFile(const AnsiString& fileName);
    void SaveToFile(const AnsiString& fileName);

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};
