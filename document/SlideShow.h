// The show document: its root list of items, its settings groups, links, the update
// list for views, the undo history, and loading and saving the show file.
#pragma once

#include "document/SlideShowHost.h"
#include "document/SlideShowObject.h"
#include "document/SlideShowProperties.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/Properties.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TSlideShow;
class TSlideShowUndoList;

constexpr uint32_t kPropertyGroupChunk = 0x410;
constexpr uint32_t kThumbnailChunk = 0x403;
// Stored shows from this content version on are read.
constexpr uint32_t kSlideShowMinContentVersion = 0x300;

// Load results.
enum : int {
    slLoaded = 0,
    slFailed = 1,      // not a show file, or reading failed
    slTooOld = 2,      // content version older than 0x300
};

// What the document asks of its background-music group. The group's class lives in the
// media layer and is created by name; it answers this so that the show can hand it its
// owner and add the closing fade to its duration.
class IShowMusicProperties {
public:
    virtual void SetSlideShow(TSlideShow* show) = 0;
    virtual bool HasMusic() const = 0;
    // The closing fade of all sound, which the player appends at the show's end.
    virtual int32_t GetEndFadeTime() const = 0;
    // Around a sound item that lowers the music: the music's fade time in ms, its volume
    // while the sound plays, and whether the object sounds go down with it.
    virtual int32_t GetSoundFadeTime() const = 0;
    virtual int32_t GetVolumeDuringSound() const = 0;
    virtual bool GetLowerObjectSounds() const = 0;

protected:
    ~IShowMusicProperties() = default;
};

// One change record for the views.
struct TUpdateItem {
    TSlideShowObject* Object = nullptr;
    uint8_t Kind = urChanged;  // 0 changed, 2 inserted at Path, 3 removed from Path
    int32_t Data = 0;
    uint16_t Flags = 0;
    TPath Path;
};

class TUpdateList {
public:
    void Add(TSlideShowObject* object, uint8_t kind, int32_t data, uint16_t flags, const TPath& path);
    int Count() const { return static_cast<int>(records_.size()); }
    const TUpdateItem& Get(int i) const { return *records_.at(static_cast<size_t>(i)); }
    // From the last record to the first.
    void Clear();

private:
    std::vector<std::unique_ptr<TUpdateItem>> records_;
};

struct TSlideShowObjectLink {
    int32_t Key = -1;
    TSlideShowObject* Item = nullptr;
};

// Owning list of links; no show file stores them.
class TSlideShowObjectLinkList {
public:
    explicit TSlideShowObjectLinkList(TSlideShow* owner) : Owner(owner) {}

    int Count() const { return static_cast<int>(links_.size()); }
    TSlideShowObjectLink* Get(int i) const;
    int Add(std::unique_ptr<TSlideShowObjectLink> link);
    // Out of range: appended.
    void Insert(int i, std::unique_ptr<TSlideShowObjectLink> link);
    TSlideShowObjectLink* First() const { return Get(0); }
    TSlideShowObjectLink* Last() const { return Get(Count() - 1); }
    // Frees the link; its old index, or -1.
    int Remove(TSlideShowObjectLink* link);
    void Clear() { links_.clear(); }
    // By Key, ascending; equal keys keep their order.
    void Sort();
    void Assign(const TSlideShowObjectLinkList& source);

    TSlideShow* Owner;

private:
    std::vector<std::unique_ptr<TSlideShowObjectLink>> links_;
};

class TSlideShow : public TObject, public TSlideShowHost {
    GC_DECLARE_CLASS(TSlideShow)
public:
    using TNotifyEvent = std::function<void(TSlideShow* sender)>;

    TSlideShow();
    ~TSlideShow() override;
    TSlideShow(const TSlideShow&) = delete;
    TSlideShow& operator=(const TSlideShow&) = delete;

    TNotifyEvent OnFileNameChange;
    TNotifyEvent OnModifiedChange;
    TNotifyEvent OnBeforeModify;
    TNotifyEvent OnChange;

    // Owned by PropertiesList; MusicProperties is null when no music class is registered.
    TSlideShowProperties* SlideShowProperties = nullptr;
    TProperties* MusicProperties = nullptr;
    TSlideShowInfoProperties* InfoProperties = nullptr;
    // Only when supplied from outside (added to PropertiesList); the shell switches it off.
    TSlideShowLogoProperties* LogoProperties = nullptr;

    TSlideShowObjectList& RootList() const { return *rootList_; }
    TPropertiesList& PropertiesList() const { return *propertiesList_; }
    TSlideShowObjectLinkList& Links() const { return *links_; }
    TUpdateList& UpdateList() const { return *updateList_; }
    TSlideShowUndoList& UndoList() const { return *undoList_; }

    const AnsiString& FileName() const { return fileName_; }
    void SetFileName(const AnsiString& name);
    bool Modified() const { return modified_; }
    void SetModified(bool value);
    int32_t UpdateCount() const { return updateCount_; }
    // Items of the last load that could not be read and were left out.
    int32_t DroppedItemCount() const { return droppedItemCount_; }

    // Item changes: Modified, and when no update is running an update record and OnChange.
    void ObjectChanged(TSlideShowObject* sender, uint16_t flags, int32_t data) override;
    virtual int32_t GetTotalObjectCount() const;
    // The enabled items' durations and, with music, the closing fade (ms).
    virtual int32_t GetDuration() const;
    virtual void Assign(const TSlideShow& source);
    virtual void BeginUpdate();
    virtual void EndUpdate();
    virtual void Renumber();
    virtual void MarkModified() { SetModified(true); }
    virtual TSlideShowObject* GetNextObject(const TSlideShowObject* item) const;
    virtual TSlideShowObject* GetPriorObject(const TSlideShowObject* item) const;
    virtual std::unique_ptr<TSlideShow> Clone() const;

    // Saving: False on any failure. SaveToFile replaces the file only when the whole
    // show was written; the old file stays as it was otherwise.
    virtual bool SaveToOKF(TOKFStreamWinTypes& stream);
    virtual bool SaveToStream(TStream& stream);
    virtual bool SaveToFile(const AnsiString& fileName);
    // Loading appends to the root list. Results slLoaded, slFailed, slTooOld. Items that
    // cannot be read are left out and counted while the file's framing holds; damaged
    // framing gives slFailed. LoadFromStream raises the container's error when the
    // stream holds no container at all; LoadFromFile reports that as slFailed.
    virtual int LoadFromOKF(TOKFStreamWinTypes& stream);
    virtual int LoadFromStream(TStream& stream);
    virtual int LoadFromFile(const AnsiString& fileName);

    // Random order of the root list and of every child list.
    void Shuffle();
    void DoChange();

    // TSlideShowHost.
    int32_t GetDefaultDuration() const override;
    AnsiString ResolveFileName(const AnsiString& name) const override;
    const IFileResolver& GetFileResolver() const override { return files_ ? *files_ : DefaultFileResolver(); }
    // The run's resolver (not owned; it outlives the show); null: the default one.
    void SetFileResolver(const IFileResolver* files) { files_ = files; }
    TSlideShowObjectList* GetObjectList() override { return rootList_.get(); }
    TSlideShowProperties* GetSlideShowProperties() const override { return SlideShowProperties; }
    const IShowMusicProperties* GetMusicProperties() const override {
        return dynamic_cast<const IShowMusicProperties*>(MusicProperties);
    }
    bool BeginUndoStep(int kind) override;
    void RecordInsertedObject(TSlideShowObject* item) override;
    void RecordMoveSource(TSlideShowObject* item) override;
    void RecordMoveTarget(TSlideShowObject* item) override;
    void EndUndoStep() override;
    void CancelUndoStep() override;
    void AddUpdate(TSlideShowObject* item, int kind, uint16_t flags, const TPath& path) override;

private:
    void AttachGroups();

    std::unique_ptr<TPropertiesList> propertiesList_;
    std::unique_ptr<TSlideShowObjectList> rootList_;
    std::unique_ptr<TSlideShowObjectLinkList> links_;
    AnsiString fileName_;
    const IFileResolver* files_ = nullptr;
    bool modified_ = false;
    int32_t updateCount_ = 0;
    int32_t droppedItemCount_ = 0;
    std::unique_ptr<TUpdateList> updateList_;
    std::unique_ptr<TSlideShowUndoList> undoList_;
};

namespace SlideShowDocument {
// Registers the document's own settings groups.
void Initialize();
void Finalize();
}  // namespace SlideShowDocument

// Adds the document's settings groups to the start-up sequence (plug-in stage).
void AddSlideShowDocumentModules();
