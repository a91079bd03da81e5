#include "document/UndoHistory.h"

#include "document/SlideShowHost.h"
#include "foundation/FileTools.h"
#include "foundation/PartialStream.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/FileSystem.h"
#include "platform/FolderTools.h"
#include "platform/Random.h"

#include <cstdio>

GC_IMPLEMENT_CLASS(TSlideShowUndoStep, TObject)
GC_IMPLEMENT_CLASS(TSlideShowUndoModify, TSlideShowUndoStep)
GC_IMPLEMENT_CLASS(TSlideShowUndoBottomUp, TSlideShowUndoStep)
GC_IMPLEMENT_CLASS(TSlideShowUndoInsert, TSlideShowUndoBottomUp)
GC_IMPLEMENT_CLASS(TSlideShowUndoDelete, TSlideShowUndoBottomUp)
GC_IMPLEMENT_CLASS(TSlideShowUndoMove, TSlideShowUndoBottomUp)

AnsiString UndoCaptionModify() { return "Objekt-Einstellungen \xE4ndern"; }
AnsiString UndoCaptionInsert() { return "Objekt(e) einf\xFCgen"; }
AnsiString UndoCaptionDelete() { return "Objekt(e) l\xF6schen"; }
AnsiString UndoCaptionMove() { return "Objekt(e) verschieben"; }

namespace {

void WritePath(TOKFStreamWinTypes& f, const TPath& path) {
    f.WriteCardinal(static_cast<uint32_t>(path.Count()));
    for (int i = 0; i < path.Count(); ++i) f.WriteInteger(path.Get(i));
}

// A path as stored; its count must fit in what is left of the chunk.
TPath ReadPath(TOKFStreamWinTypes& f) {
    const uint32_t n = f.ReadCardinalValue();
    if (static_cast<int64_t>(n) > f.BytesLeft() / 4) RaiseOKFError(okfReadError);
    TPath path;
    for (uint32_t i = 0; i < n; ++i) path.Add(f.ReadIntegerValue());
    return path;
}

// The rest of the current chunk as a container of its own, so that an item's reader
// can never run past the chunk.
struct TChunkRest {
    TChunkRest(TOKFStreamWinTypes& f, int64_t chunkEnd)
        : window(*f.Stream(), f.GetPosition(), chunkEnd - f.GetPosition(), false), inner(&window, okfRaw) {
        inner.Header.FileType = f.Header.FileType;
        inner.Header.ContentVersion = f.Header.ContentVersion;
        inner.Header.FormatVersion = f.Header.FormatVersion;
    }
    TPartialStream window;
    TOKFStreamWinTypes inner;
};

TSlideShowObjectList* ChildList(TSlideShowObject* item) {
    ICollection* c = Supports<ICollection>(item);
    return c ? c->GetChildList() : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------

TSlideShowUndoStep::~TSlideShowUndoStep() {
    try {
        EndRecording();
    } catch (...) {
    }
    if (!FileName.empty() && FileExists(FileName)) DeleteFileEntry(FileName);
}

void TSlideShowUndoStep::MakeTempFileName(AnsiString& name) {
    const AnsiString folder = GetTempDirectory() + "KLVUndo";
    do {
        char number[16];
        std::snprintf(number, sizeof number, "%d", static_cast<int>(Random(0x0FFFFFFF)));
        name = folder + "\\Undo" + number + ".klu";
    } while (FileExists(name));
}

bool TSlideShowUndoStep::WriteObjectChunk(TOKFStreamWinTypes&, TSlideShowObject*) { return true; }
bool TSlideShowUndoStep::RestoreChunk(TOKFStreamWinTypes&, TSlideShowHost&) { return true; }

void TSlideShowUndoStep::BeginRecording(const AnsiString& caption) {
    if (!caption.empty()) Caption = caption;
    MakeTempFileName(FileName);
    const AnsiString folder = ExtractFilePath(FileName);
    if (!ForceDirectories(folder)) return;
    try {
        File = std::make_unique<TOKFFileWinTypes>(FileName, okfCreate);
        File->Header.FileType = kUndoFileType;
        File->Header.ContentVersion = kUndoFileVersion;
    } catch (const std::exception& e) {
        LogError(AnsiString("undo file not made: ") + e.what());
        File.reset();
    }
}

void TSlideShowUndoStep::EndRecording() {
    if (!File) return;
    std::unique_ptr<TOKFFileWinTypes> f = std::move(File);
    try {
        f->Close();
    } catch (const std::exception& e) {
        // The header is not right; Restore will refuse the file.
        LogError(AnsiString("undo file not completed: ") + e.what());
    }
}

bool TSlideShowUndoStep::RecordObject(TSlideShowObject* item, bool recursive) {
    if (!item || !File) return false;
    bool ok = true;
    if (recursive) {
        if (TSlideShowObjectList* c = ChildList(item))
            for (int i = c->Count() - 1; i >= 0 && ok; --i) ok = RecordObject(c->GetItem(i), true);
    }
    if (!ok) return false;
    try {
        return WriteObjectChunk(*File, item);
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShowUndoStep::RecordList(const std::vector<TSlideShowObject*>& list, const AnsiString& caption) {
    BeginRecording(caption);
    if (!File) return false;
    bool ok = true;
    for (TSlideShowObject* item : list) {
        try {
            ok = item && WriteObjectChunk(*File, item);
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok) break;
    }
    EndRecording();
    return ok;
}

bool TSlideShowUndoStep::Restore(TSlideShowHost& show) {
    if (FileName.empty() || File || !FileExists(FileName)) return false;
    try {
        TOKFFileWinTypes f(FileName, okfRead);
        if (f.Header.FileType != kUndoFileType) return false;
        struct Entry {
            int64_t Pos;
            uint32_t Type;
        };
        std::vector<Entry> chunks;
        for (uint32_t i = 0; i < f.ChunkCount; ++i) {
            const int64_t pos = f.GetPosition();
            TChunkHeader h;
            f.ReadChunkHeader(h);
            chunks.push_back({pos, h.ChunkType});
            f.SetPosition(pos + h.Size);
        }
        if (BottomUp()) std::reverse(chunks.begin(), chunks.end());
        for (const Entry& e : chunks) {
            if (e.Type < kUndoInsertChunk || e.Type > kUndoLastChunk) continue;
            f.SetPosition(e.Pos);
            TChunkHeader h;
            f.ReadChunkHeader(h);
            if (!RestoreChunk(f, show)) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- modify ----

TSlideShowUndoModify::TSlideShowUndoModify() { Caption = UndoCaptionModify(); }

bool TSlideShowUndoModify::WriteObjectChunk(TOKFStreamWinTypes& f, TSlideShowObject* item) {
    const int64_t start = f.BeginChunk();
    WritePath(f, item->GetPath());
    const bool ok = item->WriteData(f);
    f.EndChunk(start, kUndoObjectChunk);
    return ok;
}

bool TSlideShowUndoModify::RestoreChunk(TOKFStreamWinTypes& f, TSlideShowHost& show) {
    const int64_t end = f.GetPosition() + f.BytesLeft();
    TSlideShowObject* item = show.GetObjectList()->GetObjectByPath(ReadPath(f));
    if (!item) return false;
    TChunkRest rest(f, end);
    // The stored data must read as a whole before the item takes it: try it on a fresh
    // item of the same class first, so a damaged record never leaves it half-read.
    {
        TSlideShowObjectPtr probe = CreateAs<TSlideShowObject, TSlideShowObjectDeleter>(item->ClassType());
        if (!probe) return false;
        bool ok = false;
        try {
            ok = probe->ReadData(rest.inner);
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok) return false;
    }
    rest.inner.SetPosition(0);
    return item->ReadData(rest.inner);
}

// ---- insert ----

TSlideShowUndoInsert::TSlideShowUndoInsert() { Caption = UndoCaptionInsert(); }

bool TSlideShowUndoInsert::WriteObjectChunk(TOKFStreamWinTypes& f, TSlideShowObject* item) {
    const int64_t start = f.BeginChunk();
    WritePath(f, item->GetPath());
    f.EndChunk(start, kUndoInsertChunk);
    return true;
}

bool TSlideShowUndoInsert::RestoreChunk(TOKFStreamWinTypes& f, TSlideShowHost& show) {
    const TPath path = ReadPath(f);
    TSlideShowObject* item = show.GetObjectList()->GetObjectByPath(path);
    if (!item || !item->ParentList) return false;
    show.AddUpdate(item, urMoved, ocDataRead, path);
    return item->ParentList->RemoveObject(item, true) >= 0;
}

// ---- delete ----

TSlideShowUndoDelete::TSlideShowUndoDelete() { Caption = UndoCaptionDelete(); }

bool TSlideShowUndoDelete::WriteObjectChunk(TOKFStreamWinTypes& f, TSlideShowObject* item) {
    const int64_t start = f.BeginChunk();
    WritePath(f, item->GetPath());
    f.WriteString(item->ClassName());
    const bool ok = item->WriteData(f);
    f.EndChunk(start, kUndoDeleteChunk);
    return ok;
}

bool TSlideShowUndoDelete::RestoreChunk(TOKFStreamWinTypes& f, TSlideShowHost& show) {
    const int64_t end = f.GetPosition() + f.BytesLeft();
    const TPath path = ReadPath(f);
    TChunkRest rest(f, end);
    TSlideShowObject* item = ReadSlideShowObject(rest.inner);
    if (!item) return false;
    if (!show.GetObjectList()->InsertObjectAtPath(path, item)) {
        // Not taken by any list: it is ours to free.
        FreeSlideShowObject(item);
        return false;
    }
    show.AddUpdate(item, urInserted, ocDataRead, item->GetPath());
    return true;
}

// ---- move ----

TSlideShowUndoMove::TSlideShowUndoMove() { Caption = UndoCaptionMove(); }

bool TSlideShowUndoMove::WriteMoveChunk(TOKFStreamWinTypes& f, const TPath& oldPath, TSlideShowObject* item) {
    const int64_t start = f.BeginChunk();
    WritePath(f, oldPath);
    WritePath(f, item->GetPath());
    f.EndChunk(start, kUndoObjectChunk);
    return true;
}

bool TSlideShowUndoMove::RecordMove(TSlideShowObject* item, const TPath& oldPath) {
    if (!item || !File) return false;
    try {
        return WriteMoveChunk(*File, oldPath, item);
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShowUndoMove::RestoreChunk(TOKFStreamWinTypes& f, TSlideShowHost& show) {
    const TPath oldPath = ReadPath(f);
    const TPath newPath = ReadPath(f);
    TSlideShowObject* item = show.GetObjectList()->GetObjectByPath(newPath);
    if (!item || !item->ParentList || oldPath.Count() == 0) return false;
    show.AddUpdate(item, urMoved, ocDataRead, newPath);
    item->ParentList->RemoveObject(item, false);
    if (!show.GetObjectList()->InsertObjectAtPath(oldPath, item)) {
        // The old place cannot be reached: the item goes back where it was, and is
        // freed only when even that fails, never left loose.
        if (!show.GetObjectList()->InsertObjectAtPath(newPath, item)) FreeSlideShowObject(item);
        return false;
    }
    show.AddUpdate(item, urInserted, ocDataRead, item->GetPath());
    return true;
}

// ---------------------------------------------------------------------------------

TSlideShowUndoList::~TSlideShowUndoList() {
    current_ = nullptr;
    steps_.clear();
}

std::unique_ptr<TSlideShowUndoStep> TSlideShowUndoList::CreateStep(int kind) {
    switch (kind) {
        case ukModify: return std::make_unique<TSlideShowUndoModify>();
        case ukInsertOwn:
        case ukInsert: return std::make_unique<TSlideShowUndoInsert>();
        case ukDelete: return std::make_unique<TSlideShowUndoDelete>();
        case ukMove: return std::make_unique<TSlideShowUndoMove>();
        default: return nullptr;
    }
}

void TSlideShowUndoList::Changed() {
    if (OnChange) OnChange(this);
}

bool TSlideShowUndoList::Undo() {
    if (current_ || steps_.empty()) return false;
    std::unique_ptr<TSlideShowUndoStep> step = std::move(steps_.back());
    steps_.pop_back();
    const bool ok = Show && step->Restore(*Show);
    step.reset();  // the step is gone, with its file, whatever the restore gave
    Changed();
    return ok;
}

AnsiString TSlideShowUndoList::GetUndoCaption() const {
    return steps_.empty() ? AnsiString() : steps_.back()->Caption;
}

bool TSlideShowUndoList::AddStep(const std::vector<TSlideShowObject*>& list, const AnsiString& caption, int kind) {
    if (current_) return false;
    std::unique_ptr<TSlideShowUndoStep> step = CreateStep(kind);
    if (!step) return false;
    TSlideShowUndoStep* s = step.get();
    steps_.push_back(std::move(step));
    const bool ok = s->RecordList(list, caption);
    Changed();
    return ok;
}

bool TSlideShowUndoList::AddObjectStep(TSlideShowObject* item, const AnsiString& caption, int kind) {
    return AddStep(std::vector<TSlideShowObject*>{item}, caption, kind);
}

bool TSlideShowUndoList::BeginStep(const AnsiString& caption, int kind) {
    if (current_) return false;
    std::unique_ptr<TSlideShowUndoStep> step = CreateStep(kind);
    if (!step) return false;
    current_ = step.get();
    steps_.push_back(std::move(step));
    current_->BeginRecording(caption);
    return true;
}

bool TSlideShowUndoList::RecordObject(TSlideShowObject* item, bool recursive) {
    if (!current_) return false;
    return current_->RecordObject(item, recursive);
}

void TSlideShowUndoList::BeginMove(TSlideShowObject* item) {
    if (item) moveOldPath_ = item->GetPath();
    else moveOldPath_.reset();
}

bool TSlideShowUndoList::EndMove(TSlideShowObject* item) {
    auto* move = dynamic_cast<TSlideShowUndoMove*>(current_);
    if (!move || !moveOldPath_) {
        moveOldPath_.reset();
        return false;
    }
    const bool ok = move->RecordMove(item, *moveOldPath_);
    moveOldPath_.reset();
    return ok;
}

bool TSlideShowUndoList::EndStep() {
    if (!current_) return false;
    current_->EndRecording();
    current_ = nullptr;
    Changed();
    return true;
}

bool TSlideShowUndoList::CancelStep() {
    if (!current_) return false;
    current_->EndRecording();
    for (auto it = steps_.begin(); it != steps_.end(); ++it) {
        if (it->get() == current_) {
            steps_.erase(it);
            break;
        }
    }
    current_ = nullptr;
    moveOldPath_.reset();
    return true;
}
