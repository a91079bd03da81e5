// Items that hold other items: the collection base, the chapter (children one after
// the other) and the parallel group (children at the same time, each shifted by its
// own time offset).
#pragma once

#include "document/PlayableSlideShowObject.h"

#include <memory>

class TCollectionSlideShowObject : public TPlayableSlideShowObject, public virtual ICollection {
    GC_DECLARE_CLASS(TCollectionSlideShowObject)
public:
    TCollectionSlideShowObject() = default;
    ~TCollectionSlideShowObject() override;

    TSlideShowObjectList* GetChildList() const override { return childList_.get(); }
    TSlideShowObjectList* CreateChildList() override;

    // Copies the whole subtree of a collection source.
    void AssignObject(const TSlideShowObject& source) override;
    // Collections need no preparation, and the player never waits for them.
    bool IsFinished() override { return true; }
    bool IsInitialized() override { return true; }

protected:
    std::unique_ptr<TSlideShowObjectList> childList_;
};

// The title of a chapter or a parallel group, which is its text as well: one
// implementation for both, over the title of their own collection interface.
template <class TTitleInterface>
class TTitledCollection : public virtual IText, public virtual TTitleInterface {
public:
    AnsiString GetText() const override { return Title; }
    void SetText(const AnsiString& value) override { Title = value; }
    AnsiString GetTitle() const override { return Title; }
    void SetTitle(const AnsiString& value) override { Title = value; }

    AnsiString Title;

protected:
    ~TTitledCollection() = default;
};

class TContainerSlideShowObject : public TCollectionSlideShowObject,
                                  public TTitledCollection<IContainerCollection> {
    GC_DECLARE_CLASS(TContainerSlideShowObject)
public:
    static AnsiString Caption() { return "Kapitel"; }
    static AnsiString Description();

    AnsiString GetDisplayName() const override;
    AnsiString GetEditorFrameClassName() const override { return "TContainerSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    // Sum of the enabled playable children's durations, saturated.
    int32_t GetDuration() const override;
    // Inside a parallel group the children follow one another from the chapter's own
    // start, so starting again gives the same times.
    void Start() override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
};

class TParallelSlideShowObject : public TCollectionSlideShowObject,
                                 public TTitledCollection<IParallelCollection> {
    GC_DECLARE_CLASS(TParallelSlideShowObject)
public:
    static AnsiString Caption() { return "Parallelobjekt"; }
    static AnsiString Description();

    AnsiString GetDisplayName() const override;
    AnsiString GetEditorFrameClassName() const override { return "TParallelSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    // The latest end (duration + time offset) of the enabled playable children.
    int32_t GetDuration() const override;
    void Start() override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    // The title exists from content version 0x303 on.
    bool ReadData(TOKFStreamWinTypes& stream) override;
};

void InitializeCollectionSlideShowObjects(TPlugins& plugins);
void FinalizeCollectionSlideShowObjects(TPlugins& plugins);
