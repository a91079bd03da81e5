// Show items, the lists that hold them, the path from the root to an item, and the
// stored form of items (chunk 0x401) and lists (chunk 0x402).
#pragma once

#include "document/SlideShowHost.h"
#include "document/SlideShowInterfaces.h"
#include "foundation/FileTools.h"
#include "foundation/ImageLists.h"
#include "foundation/Plugins.h"
#include "foundation/Properties.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TOKFStream;
class TOKFStreamWinTypes;

class TStream;

constexpr uint32_t kObjectChunk = 0x401;
constexpr uint32_t kObjectListChunk = 0x402;
// Gives a container the show format's id and version, as every show and copy carries.
void StampShowFormat(TOKFStream& stream);
// Deeper trees than this are taken for damage when read.
constexpr int kMaxObjectNesting = 256;

// Change flags.
enum : uint16_t {
    ocDataRead = 1,
    ocVisual = 8,
    ocEnabled = 16,
    ocNewFile = 40,  // a new picture or sound file (with ocVisual)
    ocChildListCreated = 512,
    ocSizeDragged = 0x400,
    ocRectDragged = 0x800,
};

using TObjectChangeEvent = std::function<void(TSlideShowObject* sender, uint16_t flags, int32_t data)>;

// Child indexes from the root down to an item, root first.
class TPath : public TIntegerList {
public:
    // 1-based, joined with ".": the second child of the first top-level item is "1.2".
    AnsiString GetPathString() const;
};

class TSlideShowObject : public TInterfacedPlugin, public virtual ISlideShowObject {
    GC_DECLARE_CLASS(TSlideShowObject)
public:
    TSlideShowObject() = default;
    ~TSlideShowObject() override;

    // Owners call this just before they free an item, so that a kind can still run
    // its own clean-up (a destructor no longer reaches it).
    virtual void BeforeDestruction() {}

    // ISlideShowObject.
    TSlideShowObject* GetSlideShowObject() override { return this; }
    TSlideShowHost* GetSlideShow() const override;
    AnsiString GetDisplayName() const override;
    AnsiString GetInfoText() const override;
    int32_t QueryInterface(const TGUID& iid, void** obj) override;

    // Copies this level's fields; every kind calls the inherited one first.
    virtual void AssignObject(const TSlideShowObject& source);
    virtual int32_t GetDuration() const { return 0; }
    virtual void SetDuration(int32_t) {}
    virtual void SetEnabled(bool value);
    virtual void SetParentList(TSlideShowObjectList* list) { ParentList = list; }
    virtual void AssignWithoutChildren(const TSlideShowObject& source) { AssignObject(source); }
    virtual void AssignWithChildren(const TSlideShowObject& source);
    // Copies start free: no list, no change handler.
    virtual TSlideShowObject* Clone() const;
    virtual TSlideShowObject* CloneWithChildren() const;
    // Upper-case extensions without dot that the kind opens.
    virtual std::vector<AnsiString> GetFileExtensions() const { return {}; }
    virtual AnsiString GetFileFilter() const { return AnsiString(); }
    bool SupportsFileExtension(const AnsiString& ext) const;
    virtual AnsiString GetCategory() const;
    // The kind's icons. This build carries no bitmap resources, so the base has none;
    // a kind that draws its own icon overrides them.
    std::unique_ptr<TIconBitmap> GetIconBitmap() const override;
    // The big icon, else the small one.
    std::unique_ptr<TIconBitmap> GetBigIconBitmap() const override { return GetIconBitmap(); }
    // Index of the kind's icon in the shared 16 x 16 / 100 x 100 image list, added on
    // first use and cached per class; -1 when it cannot be added.
    int GetImageIndex() const;
    int GetBigImageIndex() const;
    virtual bool WriteData(TOKFStreamWinTypes& stream);
    bool SaveToStream(TStream& stream);
    virtual bool ReadData(TOKFStreamWinTypes& stream);
    bool LoadFromStream(TStream& stream);
    TPath GetPath() const;
    AnsiString GetPathString() const { return GetPath().GetPathString(); }
    int Level() const;
    virtual bool HasDuration() const { return false; }
    // True when item is an ancestor of this one.
    bool IsChildOf(const TSlideShowObject* item) const;

    bool GetEnabled() const { return Enabled; }
    void DoChange(uint16_t flags, int32_t data = 0);
    TSlideShowObject* GetParentObject() const;
    // The existing file a stored name stands for, against the show's own file (or with
    // no base file for an item in no show); empty when none is found.
    AnsiString ResolveFileName(const AnsiString& name) const;
    // What the item opens for a stored name (TSlideShowHost::FileToOpen; the default
    // resolver's answer for an item in no show).
    AnsiString FileToOpen(const AnsiString& name) const;

    TObjectChangeEvent OnChange;
    TSlideShowObjectList* ParentList = nullptr;
    int32_t Index = 0;

protected:
    bool Enabled = true;
};

// Frees an item the way its owner must: the pre-destruction hook, then the plug-in free.
void FreeSlideShowObject(TSlideShowObject* item) noexcept;
struct TSlideShowObjectDeleter {
    void operator()(TSlideShowObject* item) const noexcept { FreeSlideShowObject(item); }
};
using TSlideShowObjectPtr = std::unique_ptr<TSlideShowObject, TSlideShowObjectDeleter>;

class TSlideShowObjectList : public TObject {
    GC_DECLARE_CLASS(TSlideShowObjectList)
public:
    // A free, owning list.
    TSlideShowObjectList() = default;
    // The root list of a show.
    explicit TSlideShowObjectList(TSlideShowHost* show, bool ownsObjects = true);
    // The child list of an item.
    explicit TSlideShowObjectList(TSlideShowObject* owner, bool ownsObjects = true);
    ~TSlideShowObjectList() override;
    TSlideShowObjectList(const TSlideShowObjectList&) = delete;
    TSlideShowObjectList& operator=(const TSlideShowObjectList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    bool IndexInRange(int i) const { return i >= 0 && i < Count(); }
    int IndexOf(const TSlideShowObject* item) const;
    bool Contains(const TSlideShowObject* item) const { return IndexOf(item) >= 0; }

    // Null when i is out of range.
    TSlideShowObject* GetItem(int i) const;
    TSlideShowObject* operator[](int i) const { return GetItem(i); }
    // Out of range: nothing (the list does not take the item; False).
    virtual bool SetItem(int i, TSlideShowObject* item);
    virtual void AttachObject(TSlideShowObject* item);
    void AttachObjects();
    // Add and Insert take the item (an owning list frees it); an item of another
    // owning list leaves that list first. An item already here, or one that this
    // list belongs to (directly or further up), is refused: result -1, not taken.
    virtual int Add(TSlideShowObject* item);
    virtual int Insert(int i, TSlideShowObject* item);
    TSlideShowObject* First() const { return GetItem(0); }
    TSlideShowObject* Last() const { return GetItem(Count() - 1); }
    TSlideShowObject* LastDescendant() const;
    // Remove frees the item in an owning list; the index is the old position or -1.
    virtual int Remove(TSlideShowObject* item);
    virtual int RemoveObject(TSlideShowObject* item, bool freeIt);
    virtual bool Delete(int i);
    virtual bool DeleteItem(int i, bool freeIt);
    virtual bool Move(int from, int to);
    virtual bool Replace(TSlideShowObject* oldItem, TSlideShowObject* newItem);
    // Frees (owning) or forgets every item.
    void Clear();
    virtual void Assign(const TSlideShowObjectList& source);

    bool CopyToClipboard();
    bool PasteFromClipboard(int index, bool notify);
    bool PasteFromClipboardAtEnd(bool notify) { return PasteFromClipboard(-1, notify); }

    virtual bool WriteObjects(TOKFStreamWinTypes& stream);
    bool SaveToStream(TStream& stream);
    bool SaveToFile(const AnsiString& fileName);
    // How a read run joins its show: Notify reports each item to the show, Undo records
    // it for undo, OwnUndoStep makes the run an undo step of its own. The default reads
    // quietly, as loading a file does.
    struct TReadOptions {
        bool Notify = false;
        bool Undo = false;
        bool OwnUndoStep = false;
    };
    // Where a read run goes when no index is given: after the last item.
    static constexpr int kAtEnd = -1;
    // Reads a run of items (Size > 0: its 0x402 header is read and Size is its payload
    // size). Returns the number of chunks read; ChunkCount is raised by the number of
    // top-level chunks consumed. Never raises: LastReadFailed tells whether the read
    // ended on framing that cannot be followed (what was read before stays), DroppedCount
    // how many items were left out (unknown class or unreadable data, with their nested
    // runs, and those a run claims beyond the stream's end or a foreign chunk that cuts
    // it short; such a run ends there without failing).
    virtual int32_t ReadObjects(TOKFStreamWinTypes& stream, int64_t size, int index, TReadOptions options,
                                int32_t& chunkCount);
    int32_t LoadFromStream(TStream& stream, int index, TReadOptions options, int32_t& chunkCount);
    bool LastReadFailed() const { return readFailed_; }
    int32_t DroppedCount() const { return droppedCount_; }

    virtual bool MoveObjectsHere(TSlideShowObjectList& list, int index, bool undo, bool notify);
    virtual bool InsertObjects(TSlideShowObjectList& list, int index, bool clone, bool notify, bool undo,
                               bool ownUndoStep);
    virtual void AddObjectsRecursive(const TSlideShowObjectList& list);
    virtual void Renumber(int from);
    virtual void Sort(const std::function<int(TSlideShowObject*, TSlideShowObject*)>& compare);
    virtual void SortRecursive(const std::function<int(TSlideShowObject*, TSlideShowObject*)>& compare,
                               bool recursive);
    virtual TSlideShowObject* GetNextObject(const TSlideShowObject* item) const;
    virtual TSlideShowObject* GetPriorObject(const TSlideShowObject* item) const;
    virtual TSlideShowObject* GetNextSibling(const TSlideShowObject* item) const;

    TSlideShowHost* GetSlideShow() const;
    int32_t GetTotalCount() const;
    // Sum of the enabled items' durations, saturated to 32 bits.
    int32_t GetEnabledDuration() const;
    TSlideShowObject* GetObjectByPath(const TPath& path) const;
    bool InsertObjectAtPath(const TPath& path, TSlideShowObject* item);

    bool OwnsObjects = true;
    bool AutoRenumber = true;
    TSlideShowObject* OwnerObject() const { return ownerObject_; }
    int64_t ReadPosition = 0;

private:
    struct TReadState;
    int32_t ReadRun(TOKFStreamWinTypes& s, int64_t size, int index, TReadOptions options,
                    int32_t& chunkCount, TReadState& state, int depth);
    // A run's item count, its header read first when size is 0; False when no run
    // stands there. Leaves the stream after the count's chunk.
    bool ReadRunCount(TOKFStreamWinTypes& s, int64_t size, int32_t& n);
    // Takes a read item into the list at index (moved on past it); False when it was
    // not created or not taken, and then it counts as dropped.
    bool AddReadItem(TSlideShowObject* item, int& index, TReadOptions options, TReadState& state);
    // The run after an item: its children when owner (the item just created) holds any,
    // skipped otherwise.
    int32_t ReadChildRun(TOKFStreamWinTypes& s, TSlideShowObject* owner, int64_t payload, TReadOptions options,
                         int32_t& chunkCount, TReadState& state, int depth);
    void LetGo(TSlideShowObject* item);
    bool IsOwnerOrAncestor(const TSlideShowObject* item) const;
    bool TakeFromOldList(TSlideShowObject* item);

    std::vector<TSlideShowObject*> items_;
    TSlideShowHost* ownerShow_ = nullptr;
    TSlideShowObject* ownerObject_ = nullptr;
    bool readFailed_ = false;
    int32_t droppedCount_ = 0;
};

// The item class of a stored name: only descendants of TSlideShowObject that the
// registry knows; null for anything else.
const ClassInfo* FindSlideShowObjectClass(const AnsiString& className);
// Reads the payload of a 0x401 chunk: the item, or null for an unknown class or data
// that could not be read (never a half-read item). Reading stays inside the stream.
TSlideShowObject* ReadSlideShowObject(TOKFStreamWinTypes& stream);
// Writes an item chunk; the result of the item's WriteData.
bool WriteSlideShowObject(TSlideShowObject* item, TOKFStreamWinTypes& stream);

// The process-wide clipboard format of item lists; 0 until InitializeSlideShowObjects.
uint32_t SlideShowObjectListClipboardFormat();
void InitializeSlideShowObjects();
void FinalizeSlideShowObjects();

// Saturating sums for durations and times.
int32_t SaturateInt32(int64_t value);
