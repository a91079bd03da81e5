#include "foundation/OKFStream.h"

#include "platform/LittleEndian.h"

#include <cstring>
#include <limits>
#include <stdexcept>

GC_IMPLEMENT_CLASS(TOKFStream, TObject)
GC_IMPLEMENT_CLASS(TOKFFile, TOKFStream)

AnsiString ErrorMessage(int code) {
    // The messages are stored as Windows-1252 text ("\xF6" is o-umlaut).
    switch (code) {
        case okfNoError: return "kein Fehler";
        case okfCannotOpen: return "Datei kann nicht ge\xF6" "ffnet werden!";
        case okfNotFound: return "Datei kann nicht gefunden werden!";
        case okfNoOKFFile: return "Keine OKF-Datei!";
        case okfBadChunkHeader: return "Falscher Chunkheader!";
        case okfBadFileFormat: return "Falsches Dateiformat!";
        case okfCannotCreate: return "Datei konnte nicht erstellt werden!";
        case okfReadError: return "Fehler beim Lesen der Datei!";
        case okfWriteError: return "Fehler beim Schreiben der Datei!";
        default: return "Unbekannter Fehler!";
    }
}

EOKFError::EOKFError(int code) : Exception(ErrorMessage(code)), code_(code) {}

void RaiseOKFError(int code) { throw EOKFError(code); }

namespace {

constexpr int64_t kMaxU32 = std::numeric_limits<uint32_t>::max();

}  // namespace

// ---- life cycle ----

TOKFStream::TOKFStream(TStream* stream, uint8_t mode) : stream_(stream) { Open(mode); }

TOKFStream::TOKFStream(std::unique_ptr<TStream> stream, uint8_t mode)
    : owned_(std::move(stream)), stream_(owned_.get()) {
    Open(mode);
}

void TOKFStream::Open(uint8_t mode) {
    mode_ = mode;
    InitHeader(0);
    if (mode == okfCreate) {
        stream_->SetPosition(0);
        WriteHeader();
    } else if (mode == okfRead || mode == okfReadWrite) {
        stream_->SetPosition(0);
        ReadHeader();
    }
    open_ = true;
}

TOKFStream::~TOKFStream() {
    try {
        Close();
    } catch (...) {
        // Destructors never throw; Close() reports the error to those who call it.
    }
}

void TOKFStream::Close() {
    if (!open_) return;
    open_ = false;
    readBlocks_.clear();
    while (!writeBlocks_.empty()) EndWriteBlock();
    if ((mode_ == okfCreate || mode_ == okfReadWrite) && !(ChunkCount < 1 && stream_->GetSize() == 0))
        WriteHeader();
}

// ---- position ----

int64_t TOKFStream::GetPosition() {
    if (mode_ == okfNone || !stream_) return -1;
    return stream_->GetPosition();
}

void TOKFStream::SetPosition(int64_t pos) {
    if (mode_ == okfNone || !stream_) return;
    stream_->SetPosition(pos);
}

void TOKFStream::SeekToEnd() {
    if (mode_ == okfNone || !stream_) return;
    stream_->Seek(0, TSeekOrigin::soEnd);
}

int64_t TOKFStream::Size() { return stream_ ? stream_->GetSize() : 0; }

bool TOKFStream::Eof() { return GetPosition() == Size(); }

// ---- header ----

void TOKFStream::InitHeader(uint32_t fileType) {
    Header = TOKFHeader{};
    Header.Magic = kOKFMagic;
    Header.FormatVersion = kOKFFormatVersion;
    Header.FileType = fileType;
}

void TOKFStream::WriteHeader() {
    if (mode_ == okfNone) return;
    const int64_t pos = stream_->GetPosition();
    const int64_t size = stream_->GetSize();
    Header.ChunkCount = ChunkCount;
    Header.FileSize32 = static_cast<uint32_t>(size);
    Header.FileSize64 = size;
    uint8_t b[kOKFHeaderSize];
    PutLE32(b, Header.Magic);
    PutLE32(b + 4, Header.FileSize32);
    PutLE32(b + 8, Header.FormatVersion);
    PutLE32(b + 12, Header.FileType);
    PutLE32(b + 16, Header.ChunkCount);
    PutLE32(b + 20, Header.ContentVersion);
    PutLE64(b + 24, static_cast<uint64_t>(Header.FileSize64));
    stream_->SetPosition(0);
    stream_->WriteBuffer(b, sizeof b);
    if (pos != 0) stream_->SetPosition(pos);
}

void TOKFStream::ReadHeader() {
    if (mode_ == okfNone) return;
    uint8_t b[kOKFHeaderSize];
    if (stream_->Read(b, sizeof b) != kOKFHeaderSize) RaiseOKFError(okfNoOKFFile);
    Header.Magic = GetLE32(b);
    if (Header.Magic != kOKFMagic) RaiseOKFError(okfNoOKFFile);
    Header.FileSize32 = GetLE32(b + 4);
    Header.FormatVersion = GetLE32(b + 8);
    Header.FileType = GetLE32(b + 12);
    Header.ChunkCount = GetLE32(b + 16);
    Header.ContentVersion = GetLE32(b + 20);
    Header.FileSize64 = static_cast<int64_t>(GetLE64(b + 24));
    if (Header.FormatVersion < kOKFFormatVersion) Header.FileSize64 = Header.FileSize32;
    // Every chunk takes at least its 12 header bytes: a larger count is damage,
    // and readers loop exactly ChunkCount times.
    const int64_t room = stream_->GetSize() - kOKFHeaderSize;
    if (static_cast<int64_t>(Header.ChunkCount) * kChunkHeaderSize > room) RaiseOKFError(okfReadError);
    ChunkCount = Header.ChunkCount;
}

// ---- chunks ----

void TOKFStream::WriteChunkHeader(uint32_t chunkType, uint32_t size) {
    uint8_t b[kChunkHeaderSize];
    PutLE32(b, kChunkMagic);
    PutLE32(b + 4, chunkType);
    PutLE32(b + 8, size);
    stream_->WriteBuffer(b, sizeof b);
}

void TOKFStream::ReadChunkHeader(TChunkHeader& header) {
    const int64_t start = stream_->GetPosition();
    const int64_t left = BytesLeft();
    uint8_t b[kChunkHeaderSize];
    if (left < kChunkHeaderSize || stream_->Read(b, sizeof b) != kChunkHeaderSize)
        RaiseOKFError(okfBadChunkHeader);
    header.Magic = GetLE32(b);
    header.ChunkType = GetLE32(b + 4);
    header.Size = GetLE32(b + 8);
    if (header.Magic != kChunkMagic || header.Size < kChunkHeaderSize || header.Size > left)
        RaiseOKFError(okfBadChunkHeader);
    chunkStart_ = start;
    chunkEnd_ = start + header.Size;
}

int64_t TOKFStream::BeginChunk() {
    const int64_t start = stream_->GetPosition();
    WriteChunkHeader(0, 0);
    return start;
}

void TOKFStream::EndChunk(int64_t start, uint32_t chunkType) {
    const int64_t end = stream_->GetPosition();
    const int64_t size = end - start;
    if (size < kChunkHeaderSize || size > kMaxU32) RaiseOKFError(okfWriteError);
    stream_->SetPosition(start);
    WriteChunkHeader(chunkType, static_cast<uint32_t>(size));
    IncChunkCount();
    stream_->SetPosition(end);
}

// ---- blocks ----

int64_t TOKFStream::BytesLeft() {
    const int64_t pos = stream_->GetPosition();
    int64_t limit = stream_->GetSize();
    if (chunkStart_ <= pos && pos < chunkEnd_) limit = std::min(limit, chunkEnd_);
    if (!readBlocks_.empty()) {
        const TChunkItem& top = readBlocks_.back();
        limit = std::min(limit, top.Start + static_cast<int64_t>(top.Length));
    }
    return std::max<int64_t>(limit - pos, 0);
}

void TOKFStream::BeginWriteBlock() {
    writeBlocks_.push_back(TChunkItem{stream_->GetPosition(), 0});
    WriteCardinal(0);
}

void TOKFStream::EndWriteBlock() {
    if (writeBlocks_.empty()) throw std::logic_error("EndWriteBlock without an open block");
    const TChunkItem item = writeBlocks_.back();
    writeBlocks_.pop_back();
    const int64_t pos = stream_->GetPosition();
    const int64_t length = pos - item.Start;
    if (length < 4 || length > kMaxU32) RaiseOKFError(okfWriteError);
    stream_->SetPosition(item.Start);
    WriteCardinal(static_cast<uint32_t>(length));
    stream_->SetPosition(pos);
}

uint32_t TOKFStream::BeginReadBlock() {
    const int64_t start = stream_->GetPosition();
    const int64_t left = BytesLeft();
    if (left < 4) RaiseOKFError(okfReadError);
    const uint32_t length = ReadCardinalValue();
    if (length < 4 || length > left) RaiseOKFError(okfReadError);
    readBlocks_.push_back(TChunkItem{start, length});
    return length - 4;
}

void TOKFStream::EndReadBlock() {
    if (readBlocks_.empty()) throw std::logic_error("EndReadBlock without an open block");
    const TChunkItem item = readBlocks_.back();
    readBlocks_.pop_back();
    stream_->SetPosition(item.Start + item.Length);
}

// ---- values ----

void TOKFStream::WriteBoolean(bool value) { WriteByte(value ? 1 : 0); }

void TOKFStream::WriteByte(uint8_t value) { stream_->WriteBuffer(&value, 1); }

void TOKFStream::WriteInteger(int32_t value) { WriteCardinal(static_cast<uint32_t>(value)); }

void TOKFStream::WriteCardinal(uint32_t value) {
    uint8_t b[4];
    PutLE32(b, value);
    stream_->WriteBuffer(b, 4);
}

void TOKFStream::WriteSingle(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    WriteCardinal(bits);
}

void TOKFStream::WriteDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    WriteInt64(static_cast<int64_t>(bits));
}

void TOKFStream::WriteInt64(int64_t value) {
    uint8_t b[8];
    PutLE64(b, static_cast<uint64_t>(value));
    stream_->WriteBuffer(b, 8);
}

void TOKFStream::WriteString(const AnsiString& value) {
    if (value.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) RaiseOKFError(okfWriteError);
    WriteInteger(static_cast<int32_t>(value.size()));
    stream_->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

void TOKFStream::WriteBuffer(const void* buffer, int64_t count) { stream_->WriteBuffer(buffer, count); }

void TOKFStream::ReadBuffer(void* buffer, int64_t count) { stream_->ReadBuffer(buffer, count); }

bool TOKFStream::ReadBooleanValue() { return ReadByteValue() != 0; }

uint8_t TOKFStream::ReadByteValue() {
    uint8_t v;
    stream_->ReadBuffer(&v, 1);
    return v;
}

int32_t TOKFStream::ReadIntegerValue() { return static_cast<int32_t>(ReadCardinalValue()); }

uint32_t TOKFStream::ReadCardinalValue() {
    uint8_t b[4];
    stream_->ReadBuffer(b, 4);
    return GetLE32(b);
}

float TOKFStream::ReadSingleValue() {
    const uint32_t bits = ReadCardinalValue();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

double TOKFStream::ReadDoubleValue() {
    const uint64_t bits = static_cast<uint64_t>(ReadInt64Value());
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

int64_t TOKFStream::ReadInt64Value() {
    uint8_t b[8];
    stream_->ReadBuffer(b, 8);
    return static_cast<int64_t>(GetLE64(b));
}

AnsiString TOKFStream::ReadStringValue() {
    const int32_t n = ReadIntegerValue();
    if (n < 1) return AnsiString();
    if (n > BytesLeft()) RaiseOKFError(okfReadError);
    AnsiString s(static_cast<size_t>(n), '\0');
    stream_->ReadBuffer(s.data(), n);
    return s;
}

// ---- TOKFFile ----

std::unique_ptr<TStream> OpenOKFFileStream(const AnsiString& fileName, uint8_t mode) {
    switch (mode) {
        case okfCreate: return std::make_unique<TFileStream>(fileName, fmCreate);
        case okfRead:
        case okfRawRead: return std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyNone);
        case okfReadWrite: return std::make_unique<TFileStream>(fileName, fmOpenReadWrite | fmShareDenyNone);
        // Mode 4 is the raw writing mode, so its file must be writable.
        case okfRaw: return std::make_unique<TFileStream>(fileName, fmOpenReadWrite);
        default: return std::make_unique<TFileStream>(fileName, fmOpenRead);
    }
}

TOKFFile::TOKFFile(const AnsiString& fileName, uint8_t mode) : TOKFStream(OpenOKFFileStream(fileName, mode), mode) {}
