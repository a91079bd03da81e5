// The playable item base (time line, state, staged preparation, events, keywords)
// and the dummy item.
#pragma once

#include "document/PreparationSteps.h"
#include "document/SlideShowObject.h"
#include "document/SlideShowObjectEvents.h"
#include "document/SlideShowObjectInitialization.h"

#include <memory>

// Playback states.
enum : uint8_t {
    psIdle = 0,
    psStarted = 1,
    psPlaying = 2,
    psEnded = 3,     // the kind ended itself
    psFinished = 4,  // the player finished it
};

class TPlayableSlideShowObject : public TSlideShowObject,
                                 public virtual IPlayable,
                                 public virtual IKeywords,
                                 public virtual IPropertyFrameProvider {
    GC_DECLARE_CLASS(TPlayableSlideShowObject)
public:
    TPlayableSlideShowObject() = default;
    ~TPlayableSlideShowObject() override;

    // Runs Reset while the kind is still whole.
    void BeforeDestruction() override { Reset(); }

    // Preparation stages: kinds add their entries for stage Step.
    virtual void BuildInitializationSteps(IPlayerServices* player, int32_t step);
    // None: no steps.
    virtual int32_t GetLastInitializationStep() const { return PreparationStep::None; }

    // IPlayable.
    int32_t Play(IPlayerServices* player, bool final) override;
    bool IsFinished() override { return State == psEnded || State == psFinished; }
    void Finish() override { State = psFinished; }
    uint8_t GetState() override { return State; }
    bool IsInitialized() override;
    int32_t Reserved() override { return 0; }
    TSlideShowObjectInitializationList* GetInitializationList() override { return initializationList_.get(); }
    // A finished preparation stays finished.
    bool NextInitializationStep() override;
    void BeginInitializationStep(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    void InitializeAll(IPlayerServices* player) override;
    void Reset() override;
    void ReleaseResources() override {}
    void Start() override { State = psStarted; }
    int32_t GetStartTime() const override { return StartTime; }
    void SetStartTime(int32_t value) override { StartTime = value; }
    int32_t GetTimeOffset() const override { return TimeOffset; }
    void SetTimeOffset(int32_t value) override { TimeOffset = value; }
    void SeekTo(int32_t) override {}
    void SetLayer(int32_t value) override { Layer = value; }
    int32_t GetLayer() const override { return Layer; }
    TSlideShowObjectEventList* GetEventList() const override { return eventList_.get(); }
    TSlideShowObjectEventList* CreateEventList() override;
    bool FindEvent(const ClassInfo& eventClass, TSlideShowObjectEvent*& event) override;
    std::vector<const ClassInfo*> GetEventClasses() override;
    void ExecuteEvent(IPlayerServices* player, TSlideShowObjectEvent* event) override;

    // IKeywords.
    AnsiString GetKeywords() const override { return Keywords; }
    void SetKeywords(const AnsiString& value) override { Keywords = value; }

    // IPropertyFrameProvider.
    const ClassInfo* GetEditorFrameClass() const override { return nullptr; }
    AnsiString GetEditorFrameClassName() const override { return "TSimpleSlideShowObjectPropertyFrame"; }

    // ISlideShowObject, through the item base.
    TSlideShowObject* GetSlideShowObject() override { return this; }
    TSlideShowHost* GetSlideShow() const override { return TSlideShowObject::GetSlideShow(); }
    AnsiString GetDisplayName() const override { return TSlideShowObject::GetDisplayName(); }
    AnsiString GetInfoText() const override { return TSlideShowObject::GetInfoText(); }

    void AssignObject(const TSlideShowObject& source) override;
    // Own duration, else the show's default; 0 outside a show.
    int32_t GetDuration() const override;
    // Values below -1 mean the show's default, like -1.
    void SetDuration(int32_t value) override { Duration = value < -1 ? -1 : value; }
    bool HasDuration() const override { return Duration != -1; }
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;

    int32_t StartTime = -1;
    int32_t TimeOffset = 0;
    int32_t Duration = -1;
    int32_t Layer = 0;
    uint8_t State = psIdle;
    AnsiString Keywords;

protected:
    std::unique_ptr<TSlideShowObjectInitializationList> initializationList_;
    std::unique_ptr<TSlideShowObjectEventList> eventList_;
};

class TDummySlideShowObject : public TPlayableSlideShowObject, public virtual IText {
    GC_DECLARE_CLASS(TDummySlideShowObject)
public:
    static AnsiString Caption() { return "Dummy"; }
    static AnsiString Description();

    AnsiString GetCategory() const override { return "Zus\xE4tzlich"; }
    // The inherited icon, transparent with its automatic colour.
    std::unique_ptr<TIconBitmap> GetIconBitmap() const override;
    AnsiString GetDisplayName() const override;
    int32_t Play(IPlayerServices* player, bool final) override;
    bool IsInitialized() override { return true; }
    AnsiString GetEditorFrameClassName() const override { return "TPlayableSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    // The text block exists from content version 773 on.
    bool ReadData(TOKFStreamWinTypes& stream) override;

    AnsiString GetText() const override { return Text; }
    void SetText(const AnsiString& value) override { Text = value; }

    AnsiString Text;
};

void InitializePlayableSlideShowObjects(TPlugins& plugins);
void FinalizePlayableSlideShowObjects(TPlugins& plugins);
