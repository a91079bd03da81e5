// The chunked container that every stored format rests on: a 32-byte file header,
// chunks ("CHNK", type, size), length-prefixed blocks and little-endian values.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/Stream.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <vector>

// Error codes of the container, each with its German message.
enum : int {
    okfNoError = 0,
    okfUnknown = -1,
    okfCannotOpen = -2,
    okfNotFound = -3,
    okfNoOKFFile = -4,
    okfBadChunkHeader = -5,
    okfBadFileFormat = -6,
    okfCannotCreate = -7,
    okfReadError = -8,
    okfWriteError = -9,
};

class EOKFError : public Exception {
public:
    explicit EOKFError(int code);
    int Code() const { return code_; }

private:
    int code_;
};

AnsiString ErrorMessage(int code);
[[noreturn]] void RaiseOKFError(int code);

constexpr uint32_t kOKFMagic = 0x464E4B4F;        // "OKNF"
constexpr uint32_t kChunkMagic = 0x4B4E4843;      // "CHNK"
constexpr uint32_t kOKFFormatVersion = 0x00010002;
constexpr int64_t kOKFHeaderSize = 32;
constexpr int64_t kChunkHeaderSize = 12;

struct TOKFHeader {
    uint32_t Magic = 0;
    uint32_t FileSize32 = 0;
    uint32_t FormatVersion = 0;
    uint32_t FileType = 0;
    uint32_t ChunkCount = 0;
    uint32_t ContentVersion = 0;
    int64_t FileSize64 = 0;
};

struct TChunkHeader {
    uint32_t Magic = 0;
    uint32_t ChunkType = 0;
    uint32_t Size = 0;   // counts the 12 header bytes
};

// Open modes.
enum : uint8_t {
    okfNone = 0,        // nothing; position reads -1, seeks do nothing
    okfCreate = 1,      // header written now, rewritten by Close
    okfRead = 2,        // header read and checked
    okfReadWrite = 3,   // header read and checked, rewritten by Close
    okfRaw = 4,         // reads and writes at the stream's current position
    okfRawRead = 5,     // as okfRaw, for reading single values anywhere
};

class TOKFStream : public TObject {
    GC_DECLARE_CLASS(TOKFStream)
public:
    // The stream is not owned. Modes 2 and 3 raise EOKFError(-4) on a bad header,
    // and then nothing has been written.
    TOKFStream(TStream* stream, uint8_t mode);
    // The stream is owned and freed with the container.
    TOKFStream(std::unique_ptr<TStream> stream, uint8_t mode);
    // Calls Close when still open, swallowing its errors: call Close yourself to see them.
    ~TOKFStream() override;
    TOKFStream(const TOKFStream&) = delete;
    TOKFStream& operator=(const TOKFStream&) = delete;

    // Patches every block still open for writing, then (modes 1 and 3) rewrites the
    // header unless no chunk was counted and the stream is empty. Idempotent.
    void Close();
    bool IsOpen() const { return open_; }

    TStream* Stream() const { return stream_; }
    uint8_t Mode() const { return mode_; }
    uint32_t ChunkCount = 0;
    TOKFHeader Header;

    // Position.
    int64_t GetPosition();
    void SetPosition(int64_t pos);
    void Seek(int64_t pos) { SetPosition(pos); }
    void SeekToEnd();
    void SeekToFirstChunk() { SetPosition(kOKFHeaderSize); }
    bool Eof();
    int64_t Size();

    // Header.
    void InitHeader(uint32_t fileType);
    void WriteHeader();
    void ReadHeader();

    // Chunks. A chunk header read checks its magic (-5), that its size is at least 12
    // and that it ends within the innermost open block or the stream (-5).
    void WriteChunkHeader(uint32_t chunkType, uint32_t size);
    void ReadChunkHeader(TChunkHeader& header);
    int64_t BeginChunk();
    int64_t ChunkSize(int64_t start) { return GetPosition() - start; }
    void IncChunkCount() { ++ChunkCount; }
    // Completes a chunk begun at start: patches its header, counts it, returns to its end.
    // A chunk over 4 GiB raises -9.
    void EndChunk(int64_t start, uint32_t chunkType);

    // Blocks. BeginReadBlock returns the content length (length - 4); a length below 4
    // or past the enclosing block, chunk or stream raises -8. Unbalanced End calls raise
    // std::logic_error.
    void BeginWriteBlock();
    void EndWriteBlock();
    uint32_t BeginReadBlock();
    void EndReadBlock();
    int ReadBlockDepth() const { return static_cast<int>(readBlocks_.size()); }
    // Bytes left before the end of the innermost open read block, else the current
    // chunk, else the stream. Every length read from a file is checked against it.
    int64_t BytesLeft();

    // Values.
    void WriteBoolean(bool value);
    void WriteByte(uint8_t value);
    void WriteInteger(int32_t value);
    void WriteCardinal(uint32_t value);
    void WriteSingle(float value);
    void WriteDouble(double value);
    void WriteInt64(int64_t value);
    void WriteString(const AnsiString& value);
    void WriteBuffer(const void* buffer, int64_t count);

    void ReadBoolean(bool& value) { value = ReadBooleanValue(); }
    void ReadByte(uint8_t& value) { value = ReadByteValue(); }
    void ReadInteger(int32_t& value) { value = ReadIntegerValue(); }
    void ReadCardinal(uint32_t& value) { value = ReadCardinalValue(); }
    void ReadSingle(float& value) { value = ReadSingleValue(); }
    void ReadDouble(double& value) { value = ReadDoubleValue(); }
    void ReadInt64(int64_t& value) { value = ReadInt64Value(); }
    void ReadString(AnsiString& value) { value = ReadStringValue(); }
    // Short reads raise EReadError, as the stream's own ReadBuffer does.
    void ReadBuffer(void* buffer, int64_t count);

    bool ReadBooleanValue();
    uint8_t ReadByteValue();
    int32_t ReadIntegerValue();
    uint32_t ReadCardinalValue();
    float ReadSingleValue();
    double ReadDoubleValue();
    int64_t ReadInt64Value();
    // A stored count below 1 reads as empty; one past BytesLeft raises -8.
    AnsiString ReadStringValue();

protected:
    void Open(uint8_t mode);

private:
    struct TChunkItem {
        int64_t Start = 0;
        uint32_t Length = 0;
    };

    std::unique_ptr<TStream> owned_;
    TStream* stream_ = nullptr;
    uint8_t mode_ = okfNone;
    bool open_ = false;
    std::vector<TChunkItem> writeBlocks_;
    std::vector<TChunkItem> readBlocks_;
    // The chunk whose header was read last, for BytesLeft.
    int64_t chunkStart_ = -1;
    int64_t chunkEnd_ = -1;
};

// Closes, when it goes out of scope, the read blocks opened after it was made and still
// open: a reader that gave up part way (an exception) leaves the nesting as it found it.
class TReadBlockGuard {
public:
    explicit TReadBlockGuard(TOKFStream& stream) : stream_(stream), depth_(stream.ReadBlockDepth()) {}
    ~TReadBlockGuard() {
        while (stream_.ReadBlockDepth() > depth_) {
            try {
                stream_.EndReadBlock();
            } catch (...) {
                break;
            }
        }
    }
    TReadBlockGuard(const TReadBlockGuard&) = delete;
    TReadBlockGuard& operator=(const TReadBlockGuard&) = delete;

private:
    TOKFStream& stream_;
    int depth_;
};

// A container that opens its own file by name. Mode 4 opens it read-write, mode 1
// creates it; the file stream's open errors pass through.
class TOKFFile : public TOKFStream {
    GC_DECLARE_CLASS(TOKFFile)
public:
    TOKFFile(const AnsiString& fileName, uint8_t mode);
};

// The file stream a container of the given mode opens a file with.
std::unique_ptr<TStream> OpenOKFFileStream(const AnsiString& fileName, uint8_t mode);
