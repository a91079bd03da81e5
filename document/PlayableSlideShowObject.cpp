#include "document/PlayableSlideShowObject.h"

#include "document/PreparationSteps.h"
#include "foundation/ImageLists.h"
#include "foundation/OKFStreamWinTypes.h"

GC_IMPLEMENT_PLUGIN(TPlayableSlideShowObject, TSlideShowObject)
GC_IMPLEMENT_PLUGIN(TDummySlideShowObject, TPlayableSlideShowObject)

TPlayableSlideShowObject::~TPlayableSlideShowObject() = default;

void TPlayableSlideShowObject::BuildInitializationSteps(IPlayerServices*, int32_t) {
    if (initializationList_) initializationList_->Clear();
}

int32_t TPlayableSlideShowObject::Play(IPlayerServices*, bool) {
    State = psPlaying;
    return -1;
}

bool TPlayableSlideShowObject::IsInitialized() {
    return initializationList_ && initializationList_->CurrentStep == PreparationStep::AllDone;
}

bool TPlayableSlideShowObject::NextInitializationStep() {
    if (!initializationList_) return false;
    const int32_t last = GetLastInitializationStep();
    if (last == PreparationStep::None) return true;
    int32_t& cur = initializationList_->CurrentStep;
    if (cur == PreparationStep::AllDone) return true;
    cur = cur >= last ? PreparationStep::AllDone : cur + 1;
    return cur == PreparationStep::AllDone;
}

void TPlayableSlideShowObject::BeginInitializationStep(IPlayerServices* player, int32_t step) {
    if (!initializationList_) initializationList_ = std::make_unique<TSlideShowObjectInitializationList>();
    if (GetLastInitializationStep() == PreparationStep::None) {
        initializationList_->CurrentStep = PreparationStep::AllDone;
        return;
    }
    initializationList_->CurrentStep = step;
    BuildInitializationSteps(player, step);
}

bool TPlayableSlideShowObject::ExecuteInitializationStep(IPlayerServices*, int32_t) { return true; }

void TPlayableSlideShowObject::InitializeAll(IPlayerServices* player) {
    if (!initializationList_) BeginInitializationStep(player, PreparationStep::First);
    bool failed = false;
    while (initializationList_ && initializationList_->CurrentStep != PreparationStep::AllDone && !failed) {
        while (TSlideShowObjectInitialization* e = initializationList_->First()) {
            const bool ok = ExecuteInitializationStep(player, e->Step);
            // The step may have changed the list; remove the entry only if it is still there.
            if (initializationList_) initializationList_->Remove(e);
            if (!ok) {
                failed = true;
                break;
            }
            if (!initializationList_) break;
        }
        if (failed || !initializationList_) break;
        if (!NextInitializationStep()) BeginInitializationStep(player, initializationList_->CurrentStep);
    }
}

void TPlayableSlideShowObject::Reset() {
    initializationList_.reset();
    State = psIdle;
    if (eventList_)
        for (int i = 0; i < eventList_->Count(); ++i)
            if (auto* t = dynamic_cast<TSlideShowObjectEventTimer*>(eventList_->GetItem(i))) t->Fired = false;
}

TSlideShowObjectEventList* TPlayableSlideShowObject::CreateEventList() {
    eventList_ = std::make_unique<TSlideShowObjectEventList>();
    return eventList_.get();
}

bool TPlayableSlideShowObject::FindEvent(const ClassInfo& eventClass, TSlideShowObjectEvent*& event) {
    event = eventList_ ? eventList_->FindByClass(eventClass) : nullptr;
    return event != nullptr;
}

std::vector<const ClassInfo*> TPlayableSlideShowObject::GetEventClasses() {
    return {&TSlideShowObjectEventObjectStarted::StaticClassInfo(), &TSlideShowObjectEventObjectFinished::StaticClassInfo()};
}

void TPlayableSlideShowObject::ExecuteEvent(IPlayerServices* player, TSlideShowObjectEvent* event) {
    if (!event || !event->ActionList()) return;
    TSlideShowObjectEventActionList* actions = event->ActionList();
    for (int i = 0; i < actions->Count(); ++i) actions->GetItem(i)->Execute(player, this, event);
}

void TPlayableSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TSlideShowObject::AssignObject(source);
    auto* p = dynamic_cast<const TPlayableSlideShowObject*>(&source);
    if (!p || p == this) return;
    StartTime = p->StartTime;
    TimeOffset = p->TimeOffset;
    Duration = p->Duration;
    Layer = p->Layer;
    State = p->State;
    Keywords = p->Keywords;
    if (p->eventList_) {
        if (!eventList_) eventList_ = std::make_unique<TSlideShowObjectEventList>();
        eventList_->Assign(*p->eventList_);
    }
}

int32_t TPlayableSlideShowObject::GetDuration() const {
    if (Duration != -1) return Duration;
    TSlideShowHost* show = GetSlideShow();
    return show ? show->GetDefaultDuration() : 0;
}

bool TPlayableSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TSlideShowObject::WriteData(stream)) return false;
    stream.WriteInteger(Duration);
    stream.WriteInteger(StartTime);
    stream.WriteInteger(TimeOffset);
    stream.WriteString(Keywords);
    if (!eventList_) eventList_ = std::make_unique<TSlideShowObjectEventList>();
    const bool ok = eventList_->WriteData(stream);
    if (eventList_->Count() == 0) eventList_.reset();
    return ok;
}

bool TPlayableSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TSlideShowObject::ReadData(stream)) return false;
    SetDuration(stream.ReadIntegerValue());
    StartTime = stream.ReadIntegerValue();
    TimeOffset = stream.ReadIntegerValue();
    Keywords = stream.ReadStringValue();
    if (!eventList_) eventList_ = std::make_unique<TSlideShowObjectEventList>();
    const bool ok = eventList_->ReadData(stream);
    if (eventList_->Count() == 0) eventList_.reset();
    return ok;
}

// ---- dummy ----

AnsiString TDummySlideShowObject::Description() {
    return "Objekt, das nichts tut, au\xDF" "er eine bestimmte Zeit aktiv zu sein. Diesem Objekt k\xF6nnen aber "
           "Ereignisse zugewiesen werden.";
}

AnsiString TDummySlideShowObject::GetDisplayName() const {
    AnsiString name = TPlayableSlideShowObject::GetDisplayName();
    return Text.empty() ? name : name + ": " + Text;
}

std::unique_ptr<TIconBitmap> TDummySlideShowObject::GetIconBitmap() const {
    std::unique_ptr<TIconBitmap> icon = TPlayableSlideShowObject::GetIconBitmap();
    if (icon) {
        icon->Transparent = true;
        icon->TransparentMode = TTransparentMode::tmAuto;
    }
    return icon;
}

int32_t TDummySlideShowObject::Play(IPlayerServices* player, bool final) {
    TPlayableSlideShowObject::Play(player, final);
    return GetDuration();
}

void TDummySlideShowObject::AssignObject(const TSlideShowObject& source) {
    TPlayableSlideShowObject::AssignObject(source);
    if (auto* d = dynamic_cast<const TDummySlideShowObject*>(&source)) Text = d->Text;
}

bool TDummySlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TPlayableSlideShowObject::WriteData(stream)) return false;
    stream.BeginWriteBlock();
    stream.WriteString(Text);
    stream.EndWriteBlock();
    return true;
}

bool TDummySlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TPlayableSlideShowObject::ReadData(stream)) return false;
    if (stream.Header.ContentVersion > 772) {
        stream.BeginReadBlock();
        Text = stream.ReadStringValue();
        stream.EndReadBlock();
    }
    return true;
}

void InitializePlayableSlideShowObjects(TPlugins& plugins) { plugins.Register<TDummySlideShowObject>(); }

void FinalizePlayableSlideShowObjects(TPlugins& plugins) { plugins.Unregister<TDummySlideShowObject>(); }
