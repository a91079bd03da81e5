// The undo history of a show. Each step keeps what it recorded in a container file of
// its own in the temporary folder, so the history holds no item data in memory; items
// are addressed by their path, so steps stay valid while items are freed and re-made.
#pragma once

#include "document/SlideShowHost.h"
#include "document/SlideShowObject.h"
#include "foundation/OKFStreamWinTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>



constexpr uint32_t kUndoFileType = 0x504;
// Undo files are private and temporary: they carry the document's own content version,
// so that version-gated item fields come back exactly as they were written.
constexpr uint32_t kUndoFileVersion = kSlideShowContentVersion;

constexpr uint32_t kUndoInsertChunk = 0x100;
constexpr uint32_t kUndoObjectChunk = 0x101;  // modify: path + data; move: old + new path
constexpr uint32_t kUndoDeleteChunk = 0x102;
constexpr uint32_t kUndoLastChunk = 0x103;

// Step kinds.
enum : int {
    ukModify = 0,
    ukInsertOwn = 1,  // an insertion the caller records item by item
    // ukInsert = 2 and ukMove = 4 come with the items
    ukDelete = 3,
};

class TSlideShowUndoStep : public TObject {
    GC_DECLARE_CLASS(TSlideShowUndoStep)
public:
    TSlideShowUndoStep() = default;
    // Deletes the step's file.
    ~TSlideShowUndoStep() override;
    TSlideShowUndoStep(const TSlideShowUndoStep&) = delete;
    TSlideShowUndoStep& operator=(const TSlideShowUndoStep&) = delete;

    AnsiString Caption;
    AnsiString FileName;
    std::unique_ptr<TOKFFileWinTypes> File;  // open while the step records

    // A fresh, unused name "<temp>KLVUndo\Undo<n>.klu".
    virtual void MakeTempFileName(AnsiString& name);
    virtual bool WriteObjectChunk(TOKFStreamWinTypes& file, TSlideShowObject* item);
    virtual bool RestoreChunk(TOKFStreamWinTypes& file, TSlideShowHost& show);
    // Replays the file's chunks; True only when the file is an undo file and every
    // chunk was restored. The first failure stops the rest.
    virtual bool Restore(TSlideShowHost& show);
    virtual bool RecordList(const std::vector<TSlideShowObject*>& list, const AnsiString& caption);
    virtual void BeginRecording(const AnsiString& caption);
    virtual void EndRecording();
    virtual bool RecordObject(TSlideShowObject* item, bool recursive);

protected:
    // Bottom-up steps restore their chunks from the last to the first.
    virtual bool BottomUp() const { return false; }
};

class TSlideShowUndoModify : public TSlideShowUndoStep {
    GC_DECLARE_CLASS(TSlideShowUndoModify)
public:
    TSlideShowUndoModify();
    bool WriteObjectChunk(TOKFStreamWinTypes& file, TSlideShowObject* item) override;
    bool RestoreChunk(TOKFStreamWinTypes& file, TSlideShowHost& show) override;
};

class TSlideShowUndoBottomUp : public TSlideShowUndoStep {
    GC_DECLARE_CLASS(TSlideShowUndoBottomUp)

protected:
    bool BottomUp() const override { return true; }
};

class TSlideShowUndoInsert : public TSlideShowUndoBottomUp {
    GC_DECLARE_CLASS(TSlideShowUndoInsert)
public:
    TSlideShowUndoInsert();
    bool WriteObjectChunk(TOKFStreamWinTypes& file, TSlideShowObject* item) override;
    bool RestoreChunk(TOKFStreamWinTypes& file, TSlideShowHost& show) override;
};

class TSlideShowUndoDelete : public TSlideShowUndoBottomUp {
    GC_DECLARE_CLASS(TSlideShowUndoDelete)
public:
    TSlideShowUndoDelete();
    bool WriteObjectChunk(TOKFStreamWinTypes& file, TSlideShowObject* item) override;
    bool RestoreChunk(TOKFStreamWinTypes& file, TSlideShowHost& show) override;
};

class TSlideShowUndoMove : public TSlideShowUndoBottomUp {
    GC_DECLARE_CLASS(TSlideShowUndoMove)
public:
    TSlideShowUndoMove();
    bool RestoreChunk(TOKFStreamWinTypes& file, TSlideShowHost& show) override;
    bool WriteMoveChunk(TOKFStreamWinTypes& file, const TPath& oldPath, TSlideShowObject* item);
    bool RecordMove(TSlideShowObject* item, const TPath& oldPath);
};

class TSlideShowUndoList {
public:
    explicit TSlideShowUndoList(TSlideShowHost* show) : Show(show) {}
    virtual ~TSlideShowUndoList();
    TSlideShowUndoList(const TSlideShowUndoList&) = delete;
    TSlideShowUndoList& operator=(const TSlideShowUndoList&) = delete;

    std::function<void(TSlideShowUndoList* sender)> OnChange;
    TSlideShowHost* Show;

    int Count() const { return static_cast<int>(steps_.size()); }
    TSlideShowUndoStep* GetStep(int i) const { return steps_.at(static_cast<size_t>(i)).get(); }
    TSlideShowUndoStep* CurrentStep() const { return current_; }

    virtual bool CanUndo() const { return !steps_.empty(); }
    // Restores the last step and removes it (its file goes). False with no step, or
    // while a step is being recorded.
    virtual bool Undo();
    virtual AnsiString GetUndoCaption() const;
    // A step that records the whole list at once (kinds 0 to 4).
    virtual bool AddStep(const std::vector<TSlideShowObject*>& list, const AnsiString& caption, int kind);
    virtual bool AddObjectStep(TSlideShowObject* item, const AnsiString& caption, int kind);
    // Opens a step for recording. False (nothing opened) for a kind outside 0 to 4 or
    // while another step is open.
    virtual bool BeginStep(const AnsiString& caption, int kind);
    // False without an open step.
    virtual bool RecordObject(TSlideShowObject* item, bool recursive);
    virtual void BeginMove(TSlideShowObject* item);
    // False without an open move step or without BeginMove.
    virtual bool EndMove(TSlideShowObject* item);
    virtual bool CancelStep();
    virtual bool EndStep();

private:
    static std::unique_ptr<TSlideShowUndoStep> CreateStep(int kind);
    void Changed();

    std::vector<std::unique_ptr<TSlideShowUndoStep>> steps_;
    TSlideShowUndoStep* current_ = nullptr;
    std::optional<TPath> moveOldPath_;
};

// The step classes' captions.
AnsiString UndoCaptionModify();  // "Objekt-Einstellungen ändern"
AnsiString UndoCaptionInsert();  // "Objekt(e) einfügen"
AnsiString UndoCaptionDelete();  // "Objekt(e) löschen"
AnsiString UndoCaptionMove();    // "Objekt(e) verschieben"
