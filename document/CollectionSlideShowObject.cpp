#include "document/CollectionSlideShowObject.h"

#include "foundation/OKFStreamWinTypes.h"

#include <limits>

GC_IMPLEMENT_PLUGIN(TCollectionSlideShowObject, TPlayableSlideShowObject)
GC_IMPLEMENT_PLUGIN(TContainerSlideShowObject, TCollectionSlideShowObject)
GC_IMPLEMENT_PLUGIN(TParallelSlideShowObject, TCollectionSlideShowObject)

TCollectionSlideShowObject::~TCollectionSlideShowObject() = default;

TSlideShowObjectList* TCollectionSlideShowObject::CreateChildList() {
    if (!childList_) childList_ = std::make_unique<TSlideShowObjectList>(static_cast<TSlideShowObject*>(this), true);
    return childList_.get();
}

void TCollectionSlideShowObject::AssignObject(const TSlideShowObject& source) {
    if (&source == this) return;
    // Freeing the own children would free a source that hangs below this item.
    if (source.IsChildOf(this)) {
        TSlideShowObjectPtr snapshot(source.CloneWithChildren());
        if (snapshot) AssignObject(*snapshot);
        return;
    }
    TPlayableSlideShowObject::AssignObject(source);
    childList_.reset();
    const ICollection* c = ::Supports<ICollection>(&source);
    if (c && c->GetChildList()) {
        CreateChildList()->Assign(*c->GetChildList());
        // A copy inside a show reports its changes like its siblings do.
        if (ParentList) ParentList->AttachObject(this);
    }
}

// ---- chapter ----

AnsiString TContainerSlideShowObject::Description() {
    return "Ein Kapitel dient als Container f\xFCr beliebige andere Objekte. Das Kapitel hat keine echte "
           "Funktionalit\xE4t, sollte aber zur Strukturierung der Lumivor eingesetzt werden.";
}

AnsiString TContainerSlideShowObject::GetDisplayName() const {
    AnsiString name = TCollectionSlideShowObject::GetDisplayName();
    return Title.empty() ? name : name + ": " + Title;
}

void TContainerSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TCollectionSlideShowObject::AssignObject(source);
    if (auto* c = dynamic_cast<const TContainerSlideShowObject*>(&source)) Title = c->Title;
}

int32_t TContainerSlideShowObject::GetDuration() const {
    if (!childList_) return 0;
    int64_t sum = 0;
    for (int i = 0; i < childList_->Count(); ++i) {
        TSlideShowObject* child = childList_->GetItem(i);
        if (child->GetEnabled() && ::Supports<IPlayable>(child)) sum += child->GetDuration();
    }
    return SaturateInt32(sum);
}

void TContainerSlideShowObject::Start() {
    TCollectionSlideShowObject::Start();
    if (!childList_ || !ParentList || StartTime < 0) return;
    if (!::Supports<IParallelCollection>(ParentList->OwnerObject())) return;
    int64_t t = StartTime;
    for (int i = 0; i < childList_->Count(); ++i) {
        TSlideShowObject* child = childList_->GetItem(i);
        IPlayable* p = ::Supports<IPlayable>(child);
        if (!p || !child->GetEnabled()) continue;
        p->SetStartTime(SaturateInt32(t));
        t += child->GetDuration();
    }
}

bool TContainerSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TCollectionSlideShowObject::WriteData(stream)) return false;
    stream.WriteString(Title);
    return true;
}

bool TContainerSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TCollectionSlideShowObject::ReadData(stream)) return false;
    Title = stream.ReadStringValue();
    return true;
}

// ---- parallel group ----

AnsiString TParallelSlideShowObject::Description() {
    return "Alle Objekte innerhalb eines Parallelobjektes werden gleichzeitig abgespielt. Um die zeitliche Abfolge "
           "genau festzulegen, verwenden Sie die Timeline";
}

AnsiString TParallelSlideShowObject::GetDisplayName() const {
    AnsiString name = TCollectionSlideShowObject::GetDisplayName();
    return Title.empty() ? name : name + ": " + Title;
}

void TParallelSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TCollectionSlideShowObject::AssignObject(source);
    if (auto* p = dynamic_cast<const TParallelSlideShowObject*>(&source)) Title = p->Title;
}

int32_t TParallelSlideShowObject::GetDuration() const {
    if (!childList_) return 0;
    bool any = false;
    int64_t best = std::numeric_limits<int64_t>::min();
    for (int i = 0; i < childList_->Count(); ++i) {
        TSlideShowObject* child = childList_->GetItem(i);
        IPlayable* p = ::Supports<IPlayable>(child);
        if (!p || !child->GetEnabled()) continue;
        const int64_t end = int64_t(child->GetDuration()) + p->GetTimeOffset();
        if (!any || end > best) best = end;
        any = true;
    }
    return any ? SaturateInt32(best) : 0;
}

void TParallelSlideShowObject::Start() {
    TCollectionSlideShowObject::Start();
    if (!childList_) return;
    for (int i = 0; i < childList_->Count(); ++i)
        if (IPlayable* p = ::Supports<IPlayable>(childList_->GetItem(i)))
            p->SetStartTime(SaturateInt32(int64_t(StartTime) + p->GetTimeOffset()));
}

bool TParallelSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TCollectionSlideShowObject::WriteData(stream)) return false;
    stream.WriteString(Title);
    return true;
}

bool TParallelSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TCollectionSlideShowObject::ReadData(stream)) return false;
    if (stream.Header.ContentVersion > 0x302) Title = stream.ReadStringValue();
    return true;
}

void InitializeCollectionSlideShowObjects(TPlugins& plugins) {
    plugins.Register<TContainerSlideShowObject>();
    plugins.Register<TParallelSlideShowObject>();
}

void FinalizeCollectionSlideShowObjects(TPlugins& plugins) {
    plugins.Unregister<TParallelSlideShowObject>();
    plugins.Unregister<TContainerSlideShowObject>();
}
