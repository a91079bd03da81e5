#include "foundation/Packager.h"

#include "platform/AtomicFile.h"
#include "platform/DebugOutput.h"
#include "platform/LittleEndian.h"
#include "platform/Names.h"
#include "platform/Paths.h"

#include <algorithm>
#include <limits>

GC_IMPLEMENT_CLASS(TPackageFileListItem, TObject)
GC_IMPLEMENT_CLASS(TPackager, TObject)

namespace PackagerModule {
void Initialize() { RegisterClass(TPackageFileListItem::StaticClassInfo()); }
void Finalize() { UnRegisterClass(TPackageFileListItem::StaticClassInfo()); }
}  // namespace PackagerModule

namespace {
// A chunk's size is a u32 that counts its 12 header bytes.
constexpr int64_t kMaxItemSize = static_cast<int64_t>(std::numeric_limits<uint32_t>::max()) - kChunkHeaderSize;
// A directory entry is a class name, two numbers and a path: anything near this size is
// damage, and is not read into memory.
constexpr int64_t kMaxDirEntrySize = 1 << 20;
}  // namespace

// ---- TPackageFileListItem ----

bool TPackageFileListItem::SaveToStream(TOKFStream& stream) {
    stream.BeginWriteBlock();
    stream.WriteInt64(Offset);
    stream.WriteInt64(Size);
    stream.WriteString(FileName);
    stream.EndWriteBlock();
    return true;
}

bool TPackageFileListItem::LoadFromStream(TOKFStream& stream) {
    stream.BeginReadBlock();
    Offset = stream.ReadInt64Value();
    Size = stream.ReadInt64Value();
    FileName = stream.ReadStringValue();
    stream.EndReadBlock();
    return Offset >= 0 && Size >= 0;
}

// ---- TFileList ----

TPackageFileListItem* TFileList::GetItem(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

TPackageFileListItem* TFileList::FindByName(const AnsiString& name) const {
    for (const auto& item : items_)
        if (AnsiSameText(item->FileName, name)) return item.get();
    return nullptr;
}

bool IsSafeItemName(const AnsiString& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
    if (name.find(':') != AnsiString::npos) return false;  // drives and stream names
    // Control characters make names that Windows file systems refuse, and reach
    // terminals as escape sequences.
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == AnsiString::npos) end = name.size();
        const AnsiString elem = name.substr(start, end - start);
        if (elem == "..") return false;
        start = end + 1;
    }
    return true;
}

// ---- TPackager ----

TPackager::~TPackager() { CloseQuietly(); }

bool TPackager::Fail(const AnsiString& message) {
    lastError_ = message;
    return false;
}

void TPackager::CloseQuietly() {
    try {
        Close();
    } catch (...) {
    }
}

bool TPackager::Close() {
    bool ok = true;
    try {
        if (container_) {
            if (addItem_ && !EndAddStream()) ok = false;
            if (state_ == psAppending) WriteTrailer();
            container_->Close();
        }
    } catch (const std::exception& e) {
        ok = Fail(e.what());
    }
    container_.reset();
    addWindow_.reset();
    addItem_.reset();
    addChunkStart_ = -1;
    window_.reset();
    hostStream_.reset();
    fileStream_.reset();
    fileList_.Clear();
    state_ = psClosed;
    return ok;
}

// ---- writing ----

bool TPackager::CreateOnStream(TStream& stream) {
    if (!Close()) return false;
    try {
        container_ = std::make_unique<TOKFStreamWinTypes>(&stream, okfCreate);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    container_->Header.FileType = kPackageFileType;
    container_->Header.ContentVersion = kPackageContentVersion;
    state_ = psWriting;
    return true;
}

bool TPackager::OnFile(const AnsiString& fileName, uint16_t mode, bool (TPackager::*start)(TStream&),
                       std::unique_ptr<TStream> TPackager::*keep) {
    if (!Close()) return false;
    std::unique_ptr<TStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, mode);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (!(this->*start)(*file)) return false;
    this->*keep = std::move(file);
    return true;
}

bool TPackager::CreateFile(const AnsiString& fileName) {
    return OnFile(fileName, fmCreate, &TPackager::CreateOnStream, &TPackager::fileStream_);
}

bool TPackager::AppendToStream(TStream& host) {
    if (!Close()) return false;
    try {
        packageStart_ = host.GetSize();
        host.Seek(0, TSeekOrigin::soEnd);
        auto window = std::make_unique<TPartialStream>(host, packageStart_, 0, false);
        window->CanGrow = true;
        if (!CreateOnStream(*window)) return false;
        window_ = std::move(window);
        state_ = psAppending;
        return true;
    } catch (const std::exception& e) {
        CloseQuietly();
        return Fail(e.what());
    }
}

bool TPackager::AppendToFile(const AnsiString& fileName) {
    return OnFile(fileName, fmOpenReadWrite | fmShareDenyWrite, &TPackager::AppendToStream, &TPackager::hostStream_);
}

void TPackager::WriteData(TStream& stream, TPackageFileListItem& item) {
    const int64_t size = stream.GetSize();
    if (size > kMaxItemSize) RaiseOKFError(okfWriteError);
    const int64_t start = container_->BeginChunk();
    item.Offset = container_->GetPosition();
    item.Size = size;
    stream.SetPosition(0);
    if (size > 0) container_->Stream()->CopyFrom(stream, size);
    container_->EndChunk(start, kPackageDataChunk);
}

void TPackager::WriteDirEntry(TPackageFileListItem& item) {
    const int64_t start = container_->BeginChunk();
    container_->WriteString(item.ClassName());
    item.SaveToStream(*container_);
    container_->EndChunk(start, kPackageDirChunk);
}

bool TPackager::AddStream(TStream& stream, std::unique_ptr<TPackageFileListItem> item) {
    if (!item) return Fail("no item");
    if (state_ != psWriting && state_ != psAppending) return Fail("no package is being written");
    if (addItem_) return Fail("an item is still being added");
    try {
        if (stream.GetSize() > kMaxItemSize) return Fail(ErrorMessage(okfWriteError));
        WriteData(stream, *item);
        WriteDirEntry(*item);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    fileList_.Add(std::move(item));
    return true;
}

bool TPackager::AddFile(const AnsiString& fileName, std::unique_ptr<TPackageFileListItem> item) {
    if (addItem_) return Fail("an item is still being added");
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (!item) item = std::make_unique<TPackageFileListItem>(fileName);
    return AddStream(*file, std::move(item));
}

int TPackager::AddFiles(const std::vector<AnsiString>& fileNames) {
    int added = 0;
    for (const AnsiString& name : fileNames)
        if (AddFile(name)) ++added;
    return added;
}

TStream* TPackager::BeginAddStream(std::unique_ptr<TPackageFileListItem> item) {
    if (!item || addItem_ || (state_ != psWriting && state_ != psAppending)) return nullptr;
    try {
        addChunkStart_ = container_->BeginChunk();
        item->Offset = container_->GetPosition();
        addWindow_ = std::make_unique<TPartialStream>(*container_->Stream(), item->Offset, 0, false);
        addWindow_->CanGrow = true;
    } catch (const std::exception& e) {
        Fail(e.what());
        addWindow_.reset();
        addChunkStart_ = -1;
        return nullptr;
    }
    addItem_ = std::move(item);
    return addWindow_.get();
}

bool TPackager::EndAddStream() {
    if (!addItem_) return false;
    std::unique_ptr<TPackageFileListItem> item = std::move(addItem_);
    const int64_t chunkStart = addChunkStart_;
    addWindow_.reset();
    addChunkStart_ = -1;
    try {
        container_->SeekToEnd();
        item->Size = container_->GetPosition() - item->Offset;
        container_->EndChunk(chunkStart, kPackageDataChunk);
        WriteDirEntry(*item);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return true;
}

void TPackager::WriteTrailer() {
    container_->SeekToEnd();
    container_->WriteCardinal(kPackageTrailerMagic);
    container_->WriteInt64(packageStart_);
    container_->WriteInt64(window_->GetSize());
}

// ---- reading ----

bool TPackager::ReadDirectory() {
    fileList_.Clear();
    container_->SeekToFirstChunk();
    TStream& stream = *container_->Stream();
    const int64_t size = stream.GetSize();
    // The chunk headers lie all over the package, one before each item's data: read one
    // at a time they cost three small reads an item, and a directory is read at every
    // start of a packaged screen saver. One read of a window takes a directory entry with
    // the header of the item's chunk after it.
    constexpr int64_t kWindow = 512;
    std::vector<uint8_t> window;
    int64_t windowStart = 0;
    const auto bytesAt = [&](int64_t pos, int64_t count) -> const uint8_t* {
        if (pos < windowStart || pos + count > windowStart + int64_t(window.size())) {
            windowStart = pos;
            window.resize(size_t(std::min(std::max(count, kWindow), size - pos)));
            stream.SetPosition(pos);
            stream.ReadBuffer(window.data(), int64_t(window.size()));
        }
        return window.data() + (pos - windowStart);
    };
    AnsiString problem;
    int64_t start = container_->GetPosition();
    for (uint32_t i = 0; i < container_->ChunkCount; ++i) {
        // As TOKFStream::ReadChunkHeader checks it.
        if (size - start < kChunkHeaderSize) RaiseOKFError(okfBadChunkHeader);
        const uint8_t* b = bytesAt(start, kChunkHeaderSize);
        TChunkHeader header;
        header.Magic = GetLE32(b);
        header.ChunkType = GetLE32(b + 4);
        header.Size = GetLE32(b + 8);
        if (header.Magic != kChunkMagic || header.Size < kChunkHeaderSize || header.Size > size - start)
            RaiseOKFError(okfBadChunkHeader);
        if (header.ChunkType == kPackageDirChunk) {
            // Only directory entries may be created here, whatever the file names.
            const int entry = fileList_.Count() + 1;
            const int64_t bodySize = int64_t(header.Size) - kChunkHeaderSize;
            if (bodySize > kMaxDirEntrySize) {
                if (problem.empty())
                    problem = "directory entry " + std::to_string(entry) + " is " + std::to_string(header.Size) +
                              " bytes long";
                start += header.Size;
                continue;
            }
            TMemoryStream body;
            body.SetSize(bodySize);
            const uint8_t* bytes = bytesAt(start + kChunkHeaderSize, bodySize);
            std::copy(bytes, bytes + bodySize, body.Bytes().data());
            TOKFStreamWinTypes fields(&body, okfRawRead);
            const AnsiString className = fields.ReadStringValue();
            auto item = CreateObject<TPackageFileListItem>(className);
            if (!item) {
                if (problem.empty())
                    problem = "directory entry " + std::to_string(entry) + " names the unknown class \"" + className + "\"";
            } else if (!item->LoadFromStream(fields)) {
                if (problem.empty())
                    problem = "directory entry " + std::to_string(entry) + " (\"" + item->FileName +
                              "\") has a negative offset or size";
            } else {
                fileList_.Add(std::move(item));
            }
        }
        start += header.Size;
    }
    container_->SetPosition(start);
    if (!problem.empty()) return Fail("the package directory is damaged: " + problem);
    return true;
}

bool TPackager::OpenOnStream(TStream& stream) {
    if (!Close()) return false;
    try {
        container_ = std::make_unique<TOKFStreamWinTypes>(&stream, okfRead);
        if (!ReadDirectory()) {
            const AnsiString why = lastError_;
            CloseQuietly();
            return Fail(why);
        }
    } catch (const std::exception& e) {
        CloseQuietly();
        return Fail(AnsiString("the package cannot be read: ") + e.what());
    }
    state_ = psReading;
    return true;
}

bool TPackager::OpenFile(const AnsiString& fileName) {
    return OnFile(fileName, fmOpenRead | fmShareDenyWrite, &TPackager::OpenOnStream, &TPackager::fileStream_);
}

bool TPackager::HasAppendedPackage(const AnsiString& fileName) {
    try {
        TFileStream f(fileName, fmOpenRead | fmShareDenyNone);
        return HasAppendedPackage(f);
    } catch (const std::exception&) {
        return false;
    }
}

bool TPackager::HasAppendedPackage(TStream& stream) {
    try {
        TOKFStream f(&stream, okfRawRead);
        const int64_t size = stream.GetSize();
        if (size < kPackageTrailerSize) return false;
        f.SetPosition(size - kPackageTrailerSize);
        return f.ReadCardinalValue() == kPackageTrailerMagic;
    } catch (const std::exception&) {
        return false;
    }
}

bool TPackager::OpenAppendedOnStream(TStream& host) {
    if (!Close()) return false;
    try {
        const int64_t size = host.GetSize();
        int64_t start = 0;
        int64_t windowSize = 0;
        {
            if (size < kPackageTrailerSize) return Fail("no package trailer at the end of the file");
            TOKFStream trailer(&host, okfRawRead);
            trailer.SetPosition(size - kPackageTrailerSize);
            if (trailer.ReadCardinalValue() != kPackageTrailerMagic)
                return Fail("no package trailer at the end of the file");
            start = trailer.ReadInt64Value();
            windowSize = trailer.ReadInt64Value();
        }
        if (start < 0 || start > size - kPackageTrailerSize || windowSize < kOKFHeaderSize)
            return Fail("the package trailer is damaged (package start " + std::to_string(start) + ", size " +
                        std::to_string(windowSize) + ", file size " + std::to_string(size) + ")");
        auto window = std::make_unique<TPartialStream>(host, start, windowSize, true);
        if (!OpenOnStream(*window)) return false;
        packageStart_ = start;
        window_ = std::move(window);
        state_ = psReadingAppended;
        return true;
    } catch (const std::exception& e) {
        CloseQuietly();
        return Fail(e.what());
    }
}

bool TPackager::OpenAppended(const AnsiString& fileName) {
    return OnFile(fileName, fmOpenRead | fmShareDenyWrite, &TPackager::OpenAppendedOnStream, &TPackager::hostStream_);
}

std::unique_ptr<TPartialStream> TPackager::CreateItemStream(const TPackageFileListItem* item) {
    if (!item || !container_ || item->Offset < 0 || item->Size < 0) return nullptr;
    TStream& base = *container_->Stream();
    auto stream = std::make_unique<TPartialStream>(base, item->Offset, item->Size, true);
    // A window shorter than the item means the package was cut short.
    if (stream->GetSize() != item->Size || stream->Offset() != item->Offset) return nullptr;
    return stream;
}

std::unique_ptr<TPartialStream> TPackager::OpenItem(const TPackageFileListItem* item) {
    if (!item) {
        Fail("no item");
        return nullptr;
    }
    std::unique_ptr<TPartialStream> in = CreateItemStream(item);
    if (!in)
        Fail("the item \"" + item->FileName + "\" runs past the end of the package (offset " +
             std::to_string(item->Offset) + ", size " + std::to_string(item->Size) + ")");
    return in;
}

std::unique_ptr<TPartialStream> TPackager::OpenItemByName(const AnsiString& name) {
    return CreateItemStream(fileList_.FindByName(name));
}

std::unique_ptr<TPartialStream> TPackager::OpenItemByIndex(int index) {
    return CreateItemStream(fileList_.GetItem(index));
}

bool TPackager::ExtractItem(const TPackageFileListItem* item, const AnsiString& destFileName) {
    return ExtractItem(item, TExactPath{ResolvePath(destFileName)});
}

bool TPackager::ExtractItem(const TPackageFileListItem* item, const TExactPath& destFile,
                            const std::atomic<bool>* stop) {
    if (!item) return Fail("no item");
    if (!IsSafeItemName(item->FileName)) return Fail("unsafe item name \"" + item->FileName + "\"");
    std::unique_ptr<TPartialStream> in = OpenItem(item);
    if (!in) return false;
    try {
        // Extracted copies can be made again: no flush to disk for each.
        TAtomicFile out(destFile.Path, false);
        // Pieces small enough that a stop waits for one only, even from a cold disk;
        // the temporary goes with out when the copy stops.
        constexpr int64_t kPiece = int64_t(1) << 20;
        std::vector<uint8_t> piece(size_t(std::min<int64_t>(std::max<int64_t>(item->Size, 0), kPiece)));
        for (int64_t left = item->Size; left > 0;) {
            if (stop && stop->load(std::memory_order_relaxed)) {
                TraceMoment("copy-stopped " + std::to_string(item->Size - left));
                return Fail("stopped");
            }
            const int64_t n = std::min<int64_t>(left, kPiece);
            in->ReadBuffer(piece.data(), n);
            out.WriteBuffer(piece.data(), n);
            left -= n;
            // The tests count the pieces copied after a stop was asked for.
            if (stop) TraceMoment("copy-piece " + std::to_string(item->Size - left));
        }
        out.Commit();
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return true;
}
