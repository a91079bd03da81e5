// The package archive: files stored as pairs of chunks (data, directory entry) in a
// container of its own, either a file of its own or appended to a host file (the screen
// saver's program), where a 20-byte "EPKG" trailer at the very end locates it.
#pragma once

#include "foundation/ClassRegistry.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/PartialStream.h"
#include "platform/Paths.h"

#include <atomic>
#include <memory>
#include <vector>

constexpr uint32_t kPackageFileType = 0x510;
constexpr uint32_t kPackageContentVersion = 0x100;
constexpr uint32_t kPackageDataChunk = 0x101;
constexpr uint32_t kPackageDirChunk = 0x100;
constexpr uint32_t kPackageTrailerMagic = 0x474B5045;  // "EPKG"
constexpr int64_t kPackageTrailerSize = 20;

// One directory entry.
class TPackageFileListItem : public TObject {
    GC_DECLARE_CLASS(TPackageFileListItem)
public:
    TPackageFileListItem() = default;
    explicit TPackageFileListItem(const AnsiString& fileName) : FileName(fileName) {}

    virtual bool SaveToStream(TOKFStream& stream);
    virtual bool LoadFromStream(TOKFStream& stream);

    AnsiString FileName;
    int64_t Size = 0;
    int64_t Offset = 0;
};

// The entries of an open package, in directory order; owns them.
class TFileList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Null outside 0..Count-1.
    TPackageFileListItem* GetItem(int index) const;
    // The first entry whose name equals name without regard to case; null when none.
    TPackageFileListItem* FindByName(const AnsiString& name) const;
    TPackageFileListItem* First() const { return GetItem(0); }
    TPackageFileListItem* Last() const { return GetItem(Count() - 1); }
    void Add(std::unique_ptr<TPackageFileListItem> item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TPackageFileListItem>> items_;
};

// True when name can be extracted below a folder: relative, not empty, no ".." element,
// no drive, no leading separator and no control character.
bool IsSafeItemName(const AnsiString& name);

class TPackager : public TObject {
    GC_DECLARE_CLASS(TPackager)
public:
    enum : uint8_t { psClosed = 0, psReading = 1, psReadingAppended = 2, psWriting = 3, psAppending = 4 };

    TPackager() = default;
    ~TPackager() override;

    // Writing. Every open or create first closes what is open (finishing a package
    // being written). Results are True on success; on failure LastError() says why.
    bool CreateFile(const AnsiString& fileName);
    bool CreateOnStream(TStream& stream);
    bool AppendToFile(const AnsiString& fileName);
    // Appends to the end of host (which must outlive the package being written).
    bool AppendToStream(TStream& host);
    // Item is created with fileName as its name when none is given. Refused while a
    // BeginAddStream is pending, and for files of 4 GiB - 12 bytes or more.
    bool AddFile(const AnsiString& fileName, std::unique_ptr<TPackageFileListItem> item = nullptr);
    int AddFiles(const std::vector<AnsiString>& fileNames);
    bool AddStream(TStream& stream, std::unique_ptr<TPackageFileListItem> item);
    // Returns a stream to write the item's bytes into (owned by the packager, valid until
    // EndAddStream or Close), or null when an add is already pending.
    TStream* BeginAddStream(std::unique_ptr<TPackageFileListItem> item);
    bool EndAddStream();

    // Finishes a pending add, writes the trailer when appending, rewrites the header,
    // and frees every stream. Returns False when finishing the package failed.
    bool Close();

    // Reading.
    bool OpenFile(const AnsiString& fileName);
    bool OpenOnStream(TStream& stream);
    bool OpenAppended(const AnsiString& fileName);
    bool OpenAppendedOnStream(TStream& host);
    // True when the file exists and its last 20 bytes begin with "EPKG"; never raises.
    static bool HasAppendedPackage(const AnsiString& fileName);
    static bool HasAppendedPackage(TStream& stream);

    // New streams onto an item's bytes (the caller owns them and frees them before
    // Close), or null for an unknown item or one whose bytes run past the package.
    std::unique_ptr<TPartialStream> OpenItemByName(const AnsiString& name);
    std::unique_ptr<TPartialStream> OpenItemByIndex(int index);
    std::unique_ptr<TPartialStream> CreateItemStream(const TPackageFileListItem* item);
    // The same, with the reason for a null stream in LastError.
    std::unique_ptr<TPartialStream> OpenItem(const TPackageFileListItem* item);
    // Writes the item's bytes to destFileName (through a temporary file renamed into
    // place, so a failure never leaves a truncated file under that name). False for a
    // null item, an item name that could escape a target folder, a damaged item, or a
    // file that cannot be written. A stop flag, when given, is looked at between pieces
    // of the copy: once set the copy ends within a piece, leaves nothing behind and
    // answers False.
    bool ExtractItem(const TPackageFileListItem* item, const AnsiString& destFileName);
    bool ExtractItem(const TPackageFileListItem* item, const TExactPath& destFile,
                     const std::atomic<bool>* stop = nullptr);

    uint8_t State() const { return state_; }
    int64_t PackageStart() const { return packageStart_; }
    const TFileList& FileList() const { return fileList_; }
    const AnsiString& LastError() const { return lastError_; }

protected:
    virtual void WriteData(TStream& stream, TPackageFileListItem& item);
    virtual void WriteDirEntry(TPackageFileListItem& item);
    virtual bool ReadDirectory();
    virtual void WriteTrailer();

private:
    bool Fail(const AnsiString& message);
    // Opens fileName in mode and starts on it; the packager keeps the file in keep.
    bool OnFile(const AnsiString& fileName, uint16_t mode, bool (TPackager::*start)(TStream&),
                std::unique_ptr<TStream> TPackager::*keep);
    void CloseQuietly();

    uint8_t state_ = psClosed;
    int64_t packageStart_ = 0;
    AnsiString lastError_;
    TFileList fileList_;
    // Declared in the order they are set up; Close frees them in reverse.
    std::unique_ptr<TStream> fileStream_;   // a package file of its own
    std::unique_ptr<TStream> hostStream_;   // the host of an appended package
    std::unique_ptr<TPartialStream> window_;
    std::unique_ptr<TOKFStreamWinTypes> container_;
    std::unique_ptr<TPartialStream> addWindow_;
    std::unique_ptr<TPackageFileListItem> addItem_;
    int64_t addChunkStart_ = -1;
};

// Module start-up: registers TPackageFileListItem, which directories recreate by name.
namespace PackagerModule {
void Initialize();
void Finalize();
}  // namespace PackagerModule
