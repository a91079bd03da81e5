// The list of items: its tree, moving and inserting, its stored form (runs of item
// chunks, read with whatever damage they carry) and the clipboard.
#include "document/SlideShowObject.h"

#include "document/SlideShowObjectInternals.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/PartialStream.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/Clipboard.h"
#include "platform/DebugOutput.h"
#include "platform/Names.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

GC_IMPLEMENT_CLASS(TSlideShowObjectList, TObject)

using namespace SlideShowObjectInternals;

namespace {

uint32_t g_clipboardFormat = 0;

// The position of item in its own list, trusting Index when it agrees.
int PositionInParent(const TSlideShowObject* item) {
    const TSlideShowObjectList* list = item->ParentList;
    if (!list) return -1;
    if (list->GetItem(item->Index) == item) return item->Index;
    return list->IndexOf(item);
}

TSlideShowObjectList* ChildListOf(const TSlideShowObject* item) {
    const ICollection* c = Supports<ICollection>(item);
    return c ? c->GetChildList() : nullptr;
}

TSlideShowObject* LastDescendantOf(TSlideShowObject* item) {
    for (int guard = 0; item && guard < kMaxWalk; ++guard) {
        TSlideShowObjectList* c = ChildListOf(item);
        if (!c || c->Count() == 0) return item;
        item = c->Last();
    }
    return item;
}

void ClearChangeHandlers(TSlideShowObject* item, int depth = 0) {
    item->OnChange = nullptr;
    if (depth > kMaxObjectNesting * 4) return;
    if (TSlideShowObjectList* c = ChildListOf(item))
        for (int i = 0; i < c->Count(); ++i) ClearChangeHandlers(c->GetItem(i), depth + 1);
}

}  // namespace

// ---- TSlideShowObjectList: items ----

TSlideShowObjectList::TSlideShowObjectList(TSlideShowHost* show, bool ownsObjects)
    : OwnsObjects(ownsObjects), ownerShow_(show) {}

TSlideShowObjectList::TSlideShowObjectList(TSlideShowObject* owner, bool ownsObjects)
    : OwnsObjects(ownsObjects), ownerObject_(owner) {}

TSlideShowObjectList::~TSlideShowObjectList() { Clear(); }

int TSlideShowObjectList::IndexOf(const TSlideShowObject* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TSlideShowObject* TSlideShowObjectList::GetItem(int i) const {
    return IndexInRange(i) ? items_[static_cast<size_t>(i)] : nullptr;
}

void TSlideShowObjectList::LetGo(TSlideShowObject* item) {
    if (!OwnsObjects || !item) return;
    if (item->ParentList == this) item->SetParentList(nullptr);
    ClearChangeHandlers(item);
}

bool TSlideShowObjectList::IsOwnerOrAncestor(const TSlideShowObject* item) const {
    int guard = 0;
    for (const TSlideShowObject* o = ownerObject_; o && guard < kMaxWalk; o = o->GetParentObject(), ++guard)
        if (o == item) return true;
    return false;
}

bool TSlideShowObjectList::TakeFromOldList(TSlideShowObject* item) {
    TSlideShowObjectList* old = item->ParentList;
    if (old && old != this && old->OwnsObjects && old->Contains(item)) old->RemoveObject(item, false);
    return true;
}

bool TSlideShowObjectList::SetItem(int i, TSlideShowObject* item) {
    if (!IndexInRange(i) || !item) return false;
    TSlideShowObject* old = items_[static_cast<size_t>(i)];
    if (old == item) return true;
    if (!OwnsObjects) {
        items_[static_cast<size_t>(i)] = item;
        return true;
    }
    if (Contains(item) || IsOwnerOrAncestor(item)) return false;
    TakeFromOldList(item);
    items_[static_cast<size_t>(i)] = item;
    AttachObject(item);
    item->Index = i;
    if (old->ParentList == this) old->SetParentList(nullptr);
    FreeSlideShowObject(old);
    return true;
}

void TSlideShowObjectList::AttachObject(TSlideShowObject* item) {
    if (!item) return;
    item->SetParentList(this);
    if (TSlideShowHost* show = GetSlideShow())
        item->OnChange = [show](TSlideShowObject* sender, uint16_t flags, int32_t data) {
            show->ObjectChanged(sender, flags, data);
        };
    if (TSlideShowObjectList* c = ChildListOf(item))
        for (int i = 0; i < c->Count(); ++i) c->AttachObject(c->GetItem(i));
}

void TSlideShowObjectList::AttachObjects() {
    for (TSlideShowObject* item : items_) AttachObject(item);
}

int TSlideShowObjectList::Add(TSlideShowObject* item) {
    if (!item) return -1;
    if (OwnsObjects) {
        if (Contains(item) || IsOwnerOrAncestor(item)) return -1;
        TakeFromOldList(item);
    }
    items_.push_back(item);
    const int pos = Count() - 1;
    if (OwnsObjects) {
        AttachObject(item);
        item->Index = pos;
    }
    return pos;
}

int TSlideShowObjectList::Insert(int i, TSlideShowObject* item) {
    if (!item || i < 0 || i > Count()) return -1;
    if (OwnsObjects) {
        if (Contains(item) || IsOwnerOrAncestor(item)) return -1;
        TakeFromOldList(item);
        if (i > Count()) i = Count();  // taking it from its old list cannot shorten this one, but be sure
    }
    items_.insert(items_.begin() + i, item);
    if (OwnsObjects) {
        AttachObject(item);
        Renumber(i);
    }
    return i;
}

TSlideShowObject* TSlideShowObjectList::LastDescendant() const { return LastDescendantOf(Last()); }

int TSlideShowObjectList::Remove(TSlideShowObject* item) { return RemoveObject(item, OwnsObjects); }

int TSlideShowObjectList::RemoveObject(TSlideShowObject* item, bool freeIt) {
    const int idx = IndexOf(item);
    if (idx < 0) return -1;
    DeleteItem(idx, freeIt);
    return idx;
}

bool TSlideShowObjectList::Delete(int i) { return DeleteItem(i, OwnsObjects); }

bool TSlideShowObjectList::DeleteItem(int i, bool freeIt) {
    if (!IndexInRange(i)) return false;
    TSlideShowObject* item = items_[static_cast<size_t>(i)];
    items_.erase(items_.begin() + i);
    if (OwnsObjects) {
        if (freeIt) {
            if (item->ParentList == this) item->SetParentList(nullptr);
            FreeSlideShowObject(item);
        } else {
            LetGo(item);
        }
    }
    Renumber(i);
    return true;
}

bool TSlideShowObjectList::Move(int from, int to) {
    if (!IndexInRange(from) || !IndexInRange(to)) return false;
    if (from == to) return true;
    TSlideShowObject* item = items_[static_cast<size_t>(from)];
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, item);
    Renumber(std::min(from, to));
    return true;
}

bool TSlideShowObjectList::Replace(TSlideShowObject* oldItem, TSlideShowObject* newItem) {
    const int idx = IndexOf(oldItem);
    return idx >= 0 && SetItem(idx, newItem);
}

void TSlideShowObjectList::Clear() {
    std::vector<TSlideShowObject*> items;
    items.swap(items_);
    if (!OwnsObjects) return;
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if ((*it)->ParentList == this) (*it)->SetParentList(nullptr);
        FreeSlideShowObject(*it);
    }
}

void TSlideShowObjectList::Assign(const TSlideShowObjectList& source) {
    if (&source == this) return;
    // Copies first: the source may hang below one of this list's items.
    std::vector<TSlideShowObject*> copies;
    if (source.OwnsObjects) {
        for (TSlideShowObject* item : source.items_)
            if (TSlideShowObject* c = item->Clone()) copies.push_back(c);
    } else {
        copies = source.items_;
    }
    Clear();
    OwnsObjects = source.OwnsObjects;
    for (TSlideShowObject* c : copies)
        if (Add(c) < 0 && OwnsObjects) FreeSlideShowObject(c);
}

// ---- tree ----

TSlideShowHost* TSlideShowObjectList::GetSlideShow() const {
    const TSlideShowObjectList* list = this;
    for (int guard = 0; list && guard < kMaxWalk; ++guard) {
        if (list->ownerShow_) return list->ownerShow_;
        if (!list->ownerObject_) return nullptr;
        list = list->ownerObject_->ParentList;
    }
    return nullptr;
}

int32_t TSlideShowObjectList::GetTotalCount() const {
    int64_t n = Count();
    for (TSlideShowObject* item : items_)
        if (TSlideShowObjectList* c = ChildListOf(item)) n += c->GetTotalCount();
    return SaturateInt32(n);
}

int32_t TSlideShowObjectList::GetEnabledDuration() const {
    int64_t sum = 0;
    for (TSlideShowObject* item : items_)
        if (item->GetEnabled()) sum += item->GetDuration();
    return SaturateInt32(sum);
}

TSlideShowObject* TSlideShowObjectList::GetObjectByPath(const TPath& path) const {
    const TSlideShowObjectList* list = this;
    for (int k = 0; k < path.Count() && list; ++k) {
        TSlideShowObject* item = list->GetItem(path.Get(k));
        if (!item || k == path.Count() - 1) return item;
        list = ChildListOf(item);
    }
    return nullptr;
}

bool TSlideShowObjectList::InsertObjectAtPath(const TPath& path, TSlideShowObject* item) {
    if (!item || path.Count() == 0) return false;
    TSlideShowObjectList* list = this;
    for (int k = 0; k < path.Count() - 1; ++k) {
        TSlideShowObject* parent = list->GetItem(path.Get(k));
        ICollection* c = Supports<ICollection>(parent);
        if (!c) return false;
        list = c->GetChildList() ? c->GetChildList() : c->CreateChildList();
        if (!list) return false;
    }
    const int32_t e = path.Get(path.Count() - 1);
    if (e < 0) return false;
    return (e >= list->Count() ? list->Add(item) : list->Insert(e, item)) >= 0;
}

void TSlideShowObjectList::AddObjectsRecursive(const TSlideShowObjectList& list) {
    for (TSlideShowObject* item : list.items_) {
        Add(item);
        if (TSlideShowObjectList* c = ChildListOf(item)) AddObjectsRecursive(*c);
    }
}

void TSlideShowObjectList::Renumber(int from) {
    if (!OwnsObjects || !AutoRenumber) return;
    for (int i = std::max(from, 0); i < Count(); ++i) items_[static_cast<size_t>(i)]->Index = i;
}

void TSlideShowObjectList::Sort(const std::function<int(TSlideShowObject*, TSlideShowObject*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(),
                     [&](TSlideShowObject* a, TSlideShowObject* b) { return compare(a, b) < 0; });
    Renumber(0);
}

void TSlideShowObjectList::SortRecursive(const std::function<int(TSlideShowObject*, TSlideShowObject*)>& compare,
                                         bool recursive) {
    Sort(compare);
    if (!recursive) return;
    for (TSlideShowObject* item : items_)
        if (TSlideShowObjectList* c = ChildListOf(item)) c->SortRecursive(compare, true);
}

TSlideShowObject* TSlideShowObjectList::GetNextObject(const TSlideShowObject* item) const {
    if (!item) return First();
    if (TSlideShowObjectList* c = ChildListOf(item))
        if (c->Count() > 0) return c->First();
    const TSlideShowObject* cur = item;
    for (int guard = 0; cur && guard < kMaxWalk; ++guard) {
        TSlideShowObjectList* list = cur->ParentList;
        if (!list) return nullptr;
        if (TSlideShowObject* sib = list->GetItem(PositionInParent(cur) + 1)) return sib;
        cur = list->OwnerObject();
    }
    return nullptr;
}

TSlideShowObject* TSlideShowObjectList::GetPriorObject(const TSlideShowObject* item) const {
    if (!item) return LastDescendant();
    TSlideShowObjectList* list = item->ParentList;
    if (!list) return nullptr;
    const int pos = PositionInParent(item);
    if (pos > 0) return LastDescendantOf(list->GetItem(pos - 1));
    return list->OwnerObject();
}

TSlideShowObject* TSlideShowObjectList::GetNextSibling(const TSlideShowObject* item) const {
    if (!item) return nullptr;
    const int64_t next = int64_t(item->Index) + 1;
    return next > Count() ? nullptr : GetItem(static_cast<int>(next));
}

// ---- moving and inserting ----

bool TSlideShowObjectList::MoveObjectsHere(TSlideShowObjectList& list, int index, bool undo, bool notify) {
    if (list.Count() == 0) return true;
    // A collection never moves into its own subtree.
    std::vector<TSlideShowObject*> moving;
    for (int i = list.Count() - 1; i >= 0; --i) {
        TSlideShowObject* item = list.GetItem(i);
        if (IsOwnerOrAncestor(item)) list.DeleteItem(i, false);
    }
    for (int i = 0; i < list.Count(); ++i) {
        TSlideShowObject* item = list.GetItem(i);
        if (std::find(moving.begin(), moving.end(), item) == moving.end()) moving.push_back(item);
    }
    TSlideShowHost* show = GetSlideShow();
    const bool undoOpen = undo && show && show->BeginUndoStep(ukMove);
    int tail = 0;  // moved items already standing at the end, for index -1
    for (auto it = moving.rbegin(); it != moving.rend(); ++it) {
        TSlideShowObject* item = *it;
        if (notify && show) show->AddUpdate(item, urMoved, ocDataRead, item->GetPath());
        if (undoOpen) show->RecordMoveSource(item);
        const int here = IndexOf(item);
        if (here < 0) {
            // From another list: the moved items land together, in their order.
            if (item->ParentList && item->ParentList != this && item->ParentList->Contains(item))
                item->ParentList->RemoveObject(item, false);
            if (&list != this && list.Contains(item) && list.OwnsObjects) list.RemoveObject(item, false);
            int pos = index < 0 || index > Count() ? Count() - tail : index;
            if (index < 0 || index > Count()) ++tail;
            if (Insert(std::clamp(pos, 0, Count()), item) < 0) continue;
        } else if (index < 0 || index >= Count()) {
            DeleteItem(here, false);
            Insert(std::clamp(Count() - tail, 0, Count()), item);
            ++tail;
        } else {
            if (here < index) --index;
            Move(here, index);
        }
        if (undoOpen) show->RecordMoveTarget(item);
        if (notify && show) show->AddUpdate(item, urInserted, ocDataRead, item->GetPath());
    }
    if (undoOpen) show->EndUndoStep();
    return true;
}

bool TSlideShowObjectList::InsertObjects(TSlideShowObjectList& list, int index, bool clone, bool notify,
                                         bool undo, bool ownUndoStep) {
    TSlideShowHost* show = GetSlideShow();
    const bool undoOpen = undo && ownUndoStep && show && show->BeginUndoStep(ukInsert);
    const std::vector<TSlideShowObject*> source(list.items_);
    for (TSlideShowObject* original : source) {
        TSlideShowObject* item = clone ? original->Clone() : original;
        if (!item) continue;
        if (index > Count()) index = Count();
        const int pos = index < 0 ? Add(item) : Insert(index, item);
        if (pos < 0) {
            if (clone) FreeSlideShowObject(item);
            continue;
        }
        if (index >= 0) ++index;
        if (notify && show) show->AddUpdate(item, urInserted, ocDataRead, item->GetPath());
        if (undo && show) show->RecordInsertedObject(item);
    }
    if (undoOpen) show->EndUndoStep();
    return true;
}

// ---- stored form ----

const ClassInfo* FindSlideShowObjectClass(const AnsiString& className) {
    const ClassInfo* cls = FindClass(className);
    if (!cls || !cls->InheritsFrom(TSlideShowObject::StaticClassInfo()) || !cls->Factory) return nullptr;
    return cls;
}

TSlideShowObject* ReadSlideShowObject(TOKFStreamWinTypes& stream) {
    const AnsiString className = stream.ReadStringValue();
    const ClassInfo* cls = FindSlideShowObjectClass(className);
    if (!cls) {
        OutputDebugString("Item dropped: unknown class \"" + className + "\"");
        return nullptr;
    }
    TSlideShowObjectPtr holder = CreateAs<TSlideShowObject, TSlideShowObjectDeleter>(*cls);
    if (!holder) return nullptr;
    TSlideShowObject* item = holder.get();
    bool ok = false;
    try {
        ok = item->ReadData(stream);
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) OutputDebugString("Item dropped: damaged data of class \"" + className + "\"");
    return ok ? holder.release() : nullptr;
}

bool WriteSlideShowObject(TSlideShowObject* item, TOKFStreamWinTypes& stream) {
    const int64_t start = stream.BeginChunk();
    stream.WriteString(item->ClassName());
    const bool ok = item->WriteData(stream);
    stream.EndChunk(start, kObjectChunk);
    return ok;
}

bool TSlideShowObjectList::WriteObjects(TOKFStreamWinTypes& stream) {
    try {
        const int64_t start = stream.BeginChunk();
        stream.WriteInteger(Count());
        stream.EndChunk(start, kObjectListChunk);
        for (TSlideShowObject* item : items_) {
            if (!WriteSlideShowObject(item, stream)) return false;
            if (TSlideShowObjectList* c = ChildListOf(item))
                if (!c->WriteObjects(stream)) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShowObjectList::SaveToStream(TStream& stream) {
    return OnShowStream(stream, [this](TOKFStreamWinTypes& s) {
        const bool ok = WriteObjects(s);
        s.Close();
        return ok;
    });
}

bool TSlideShowObjectList::SaveToFile(const AnsiString& fileName) {
    // Into memory first: a failed write leaves no half-written file behind.
    TMemoryStream m;
    try {
        const auto write = [this](TOKFStreamWinTypes& s) {
            if (!WriteObjects(s)) return false;
            s.Close();
            return true;
        };
        if (!OnShowStream(m, write, okfCreate)) return false;
        m.SaveToFile(fileName);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

struct TSlideShowObjectList::TReadState {
    bool failed = false;
    int32_t dropped = 0;
};

namespace {

AnsiString ChunkTypeText(uint32_t type) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", type);
    return text;
}

// A run that claims more items than follow it (the stream ends, or a chunk that belongs
// to no run stands where the next item should) keeps what it read: the missing items
// count as dropped, and a debug line says which run was cut short where.
void ReportCutShort(const AnsiString& run, int32_t missing, const AnsiString& where) {
    OutputDebugString("Show cut short: " + run + " lacks " + std::to_string(missing) + " item" +
                      (missing == 1 ? "" : "s") + " (" + where + ")");
}

int32_t MissingItems(const std::vector<int32_t>& counts) {
    int64_t missing = 0;
    for (const int32_t count : counts) missing += count;
    return static_cast<int32_t>(std::min<int64_t>(missing, std::numeric_limits<int32_t>::max()));
}

// A damaged count may claim up to 2^31 items: the tally stops at the largest it can hold.
void AddDropped(int32_t& dropped, int32_t more) {
    dropped = static_cast<int32_t>(std::min<int64_t>(int64_t(dropped) + more, std::numeric_limits<int32_t>::max()));
}

enum class TLast { None, Created, NotCreated };

// Skips a run of item chunks with the runs nested in it, without creating anything;
// every skipped item counts as dropped. The run's 0x402 header has been read; payload
// is its size. False on damage.
bool SkipRun(TOKFStreamWinTypes& s, int64_t payload, int32_t& chunkCount, int32_t& dropped, int depth) {
    if (payload < 4) return false;
    const int64_t start = s.GetPosition();
    const int32_t n = s.ReadIntegerValue();
    s.SetPosition(start + payload);
    if (n < 0) return false;
    std::vector<int32_t> counts{n};
    bool lastWasItem = false;
    while (!counts.empty()) {
        if (counts.back() == 0 && !lastWasItem) {
            counts.pop_back();
            continue;
        }
        if (s.BytesLeft() < kChunkHeaderSize) {
            // A skipped run whose count outlasts the stream: its missing items are dropped too.
            const int32_t missing = MissingItems(counts);
            if (missing > 0) ReportCutShort("a skipped item run", missing, "the stream ends");
            AddDropped(dropped, missing);
            return true;
        }
        const int64_t pos = s.GetPosition();
        TChunkHeader h;
        try {
            s.ReadChunkHeader(h);
        } catch (const EOKFError&) {
            if (counts.back() > 0) return false;
            s.SetPosition(pos);
            counts.pop_back();
            lastWasItem = false;
            continue;
        }
        if (h.ChunkType == kObjectListChunk && lastWasItem) {
            ++chunkCount;
            if (h.Size < kChunkHeaderSize + 4) return false;
            const int32_t m = s.ReadIntegerValue();
            s.SetPosition(pos + h.Size);
            if (m < 0 || depth + static_cast<int>(counts.size()) >= kMaxObjectNesting) return false;
            counts.push_back(m);
            lastWasItem = false;
            continue;
        }
        if (counts.back() == 0) {
            s.SetPosition(pos);
            counts.pop_back();
            lastWasItem = false;
            continue;
        }
        if (h.ChunkType != kObjectChunk) {
            // A foreign chunk ends every run that is open here; the caller meets it next.
            s.SetPosition(pos);
            const int32_t missing = MissingItems(counts);
            ReportCutShort("a skipped item run", missing, "a chunk of type " + ChunkTypeText(h.ChunkType));
            AddDropped(dropped, missing);
            return true;
        }
        ++chunkCount;
        AddDropped(dropped, 1);
        s.SetPosition(pos + h.Size);
        --counts.back();
        lastWasItem = true;
    }
    return true;
}

// The item stored in the chunk whose header was just read, read inside a window of
// its payload so that nothing it reads can run past the chunk.
TSlideShowObject* ReadItemChunk(TOKFStreamWinTypes& s, const TChunkHeader& h) {
    const int64_t payloadStart = s.GetPosition();
    TPartialStream window(*s.Stream(), payloadStart, h.Size - kChunkHeaderSize, false);
    TOKFStreamWinTypes inner(&window, okfRaw);
    inner.Header.FileType = s.Header.FileType;
    inner.Header.ContentVersion = s.Header.ContentVersion;
    inner.Header.FormatVersion = s.Header.FormatVersion;
    TSlideShowObject* item = nullptr;
    try {
        item = ReadSlideShowObject(inner);
    } catch (const std::exception&) {
        item = nullptr;
    }
    return item;
}

}  // namespace

int32_t TSlideShowObjectList::ReadObjects(TOKFStreamWinTypes& stream, int64_t size, int index, TReadOptions options,
                                          int32_t& chunkCount) {
    TReadState state;
    const int32_t result = ReadRun(stream, size, index, options, chunkCount, state, 0);
    readFailed_ = state.failed;
    droppedCount_ = state.dropped;
    return result;
}

bool TSlideShowObjectList::ReadRunCount(TOKFStreamWinTypes& s, int64_t size, int32_t& n) {
    ReadPosition = s.GetPosition();
    if (size == 0) {
        if (s.BytesLeft() == 0) return false;
        TChunkHeader h;
        s.ReadChunkHeader(h);
        if (h.ChunkType != kObjectListChunk) {
            s.SetPosition(ReadPosition);
            return false;
        }
        // The run's own header is the caller's to count, as when it reads it itself.
        size = int64_t(h.Size) - kChunkHeaderSize;
        ReadPosition = s.GetPosition();
    }
    // A run chunk holds at least its count.
    if (size < 4 || size > s.Size() - ReadPosition) throw EOKFError(okfBadChunkHeader);
    n = s.ReadIntegerValue();
    s.SetPosition(ReadPosition + size);
    if (n < 0) throw EOKFError(okfReadError);
    return true;
}

bool TSlideShowObjectList::AddReadItem(TSlideShowObject* item, int& index, TReadOptions options, TReadState& state) {
    if (!item) {
        AddDropped(state.dropped, 1);
        return false;
    }
    const int pos = index < 0 ? Add(item) : Insert(index, item);
    if (pos < 0) {
        FreeSlideShowObject(item);
        AddDropped(state.dropped, 1);
        return false;
    }
    if (index >= 0) ++index;
    TSlideShowHost* show = GetSlideShow();
    if (options.Undo && show) show->RecordInsertedObject(item);
    if (options.Notify && show) show->AddUpdate(item, urInserted, ocDataRead, item->GetPath());
    return true;
}

int32_t TSlideShowObjectList::ReadChildRun(TOKFStreamWinTypes& s, TSlideShowObject* owner, int64_t payload,
                                           TReadOptions options, int32_t& chunkCount, TReadState& state, int depth) {
    ICollection* coll = owner ? Supports<ICollection>(owner) : nullptr;
    if (!coll) {
        // The run of an item that was not created (or holds no children): skipped whole,
        // so its items never land on this level.
        if (!SkipRun(s, payload, chunkCount, state.dropped, depth + 1)) throw EOKFError(okfReadError);
        return 0;
    }
    TSlideShowObjectList* child = coll->GetChildList();
    if (!child) {
        child = coll->CreateChildList();
        TSlideShowHost* show = GetSlideShow();
        if (options.Notify && show) show->AddUpdate(owner, urChanged, ocChildListCreated, owner->GetPath());
    }
    if (!child) throw EOKFError(okfReadError);
    // A nested run is part of its parent's undo step.
    TReadOptions nested = options;
    nested.OwnUndoStep = false;
    return child->ReadRun(s, payload, kAtEnd, nested, chunkCount, state, depth + 1);
}

int32_t TSlideShowObjectList::ReadRun(TOKFStreamWinTypes& s, int64_t size, int index, TReadOptions options,
                                      int32_t& chunkCount, TReadState& state, int depth) {
    TSlideShowHost* show = GetSlideShow();
    const bool undoOpen = options.Undo && options.OwnUndoStep && show && show->BeginUndoStep(ukInsert);
    int32_t result = 0;
    try {
        if (depth >= kMaxObjectNesting) throw EOKFError(okfReadError);
        int32_t n = 0;
        if (!ReadRunCount(s, size, n)) {
            if (undoOpen) show->CancelUndoStep();
            return 0;
        }
        const auto cutShort = [&](const AnsiString& where) {
            AddDropped(state.dropped, n);
            const AnsiString run =
                ownerObject_ ? "the item run of " + ownerObject_->GetPathString() : AnsiString("the top item run");
            ReportCutShort(run, n, where);
        };
        if (index > Count()) index = Count();

        TLast last = TLast::None;
        TSlideShowObject* lastItem = nullptr;
        while (n > 0 || last != TLast::None) {
            if (s.BytesLeft() < kChunkHeaderSize) {
                if (n > 0) cutShort("the stream ends");
                break;
            }
            ReadPosition = s.GetPosition();
            TChunkHeader h;
            if (n == 0) {
                // Only the child run of the last item may follow a complete run.
                try {
                    s.ReadChunkHeader(h);
                } catch (const EOKFError&) {
                    s.SetPosition(ReadPosition);
                    break;
                }
                if (h.ChunkType != kObjectListChunk) {
                    s.SetPosition(ReadPosition);
                    break;
                }
            } else {
                s.ReadChunkHeader(h);
            }
            const int64_t chunkEnd = ReadPosition + h.Size;
            if (h.ChunkType == kObjectChunk) {
                ++chunkCount;
                --n;
                TSlideShowObject* item = ReadItemChunk(s, h);
                s.SetPosition(chunkEnd);
                const bool created = AddReadItem(item, index, options, state);
                lastItem = created ? item : nullptr;
                last = created ? TLast::Created : TLast::NotCreated;
            } else if (h.ChunkType == kObjectListChunk) {
                ++chunkCount;
                const int64_t payload = int64_t(h.Size) - kChunkHeaderSize;
                result += ReadChildRun(s, last == TLast::Created ? lastItem : nullptr, payload, options, chunkCount,
                                       state, depth);
                if (state.failed) break;
                last = TLast::None;
                lastItem = nullptr;
            } else {
                // No other chunk belongs inside a run: the run ends before it, and the
                // reader of the whole file passes it by its size.
                s.SetPosition(ReadPosition);
                cutShort("a chunk of type " + ChunkTypeText(h.ChunkType));
                break;
            }
            ++result;
        }
    } catch (const std::exception&) {
        state.failed = true;
    }
    if (undoOpen) {
        if (result == 0) show->CancelUndoStep();
        else show->EndUndoStep();
    }
    return result;
}

int32_t TSlideShowObjectList::LoadFromStream(TStream& stream, int index, TReadOptions options, int32_t& chunkCount) {
    TOKFStreamWinTypes s(&stream, okfRaw);
    StampShowFormat(s);
    return ReadObjects(s, 0, index, options, chunkCount);
}

// ---- clipboard ----

bool TSlideShowObjectList::CopyToClipboard() {
    const uint32_t format = SlideShowObjectListClipboardFormat();
    if (format == 0) return false;
    TMemoryStream m;
    const auto write = [this](TOKFStreamWinTypes& s) {
        if (!WriteObjects(s)) return false;
        s.Close();
        return true;
    };
    if (!OnShowStream(m, write, okfCreate)) return false;
    return SetClipboardData(format, m.Bytes());
}

bool TSlideShowObjectList::PasteFromClipboard(int index, bool notify) {
    const uint32_t format = SlideShowObjectListClipboardFormat();
    std::vector<uint8_t> bytes;
    if (format == 0 || !GetClipboardData(format, bytes)) return false;
    TMemoryStream m(std::move(bytes));
    try {
        TOKFStreamWinTypes s(&m, okfRead);
        if (s.Header.FileType != kSlideShowFileType) return false;
        TChunkHeader h;
        s.ReadChunkHeader(h);
        if (h.ChunkType != kObjectListChunk) return false;
        int32_t chunks = 0;
        ReadObjects(s, int64_t(h.Size) - kChunkHeaderSize, index, {.Notify = notify, .Undo = true, .OwnUndoStep = true},
                    chunks);
        return !readFailed_;
    } catch (const std::exception&) {
        return false;
    }
}

uint32_t SlideShowObjectListClipboardFormat() { return g_clipboardFormat; }

void InitializeSlideShowObjects() {
    if (g_clipboardFormat == 0) g_clipboardFormat = RegisterClipboardFormat("KLVSlideShowObjectList");
}

void FinalizeSlideShowObjects() {}
