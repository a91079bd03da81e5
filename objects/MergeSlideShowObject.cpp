#include "objects/MergeSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"

#include <algorithm>

GC_IMPLEMENT_PLUGIN(TMergeSlideShowObject, TBaseExtBitmapSlideShowObject)

namespace {
constexpr int32_t kComposeEstimate = 1000;
}  // namespace

TMergeSlideShowObject::~TMergeSlideShowObject() = default;

AnsiString TMergeSlideShowObject::Description() {
    return "Alle Unterobjekte einer Collage werden zu einem Bild verschmolzen. Verwenden Sie das Vorschaufenster "
           "um die Bilder innerhalb der Collage anzuordnen.";
}

TSlideShowObjectList* TMergeSlideShowObject::CreateChildList() {
    if (!childList_) childList_ = std::make_unique<TSlideShowObjectList>(static_cast<TSlideShowObject*>(this), true);
    return childList_.get();
}

AnsiString TMergeSlideShowObject::GetDisplayName() const {
    AnsiString name = TBaseExtBitmapSlideShowObject::GetDisplayName();
    return Title.empty() ? name : name + ": " + Title;
}

void TMergeSlideShowObject::AssignObject(const TSlideShowObject& source) {
    if (&source == this) return;
    // Freeing the own children would free a source that hangs below this item.
    if (source.IsChildOf(this)) {
        TSlideShowObjectPtr snapshot(source.CloneWithChildren());
        if (snapshot) AssignObject(*snapshot);
        return;
    }
    TBaseExtBitmapSlideShowObject::AssignObject(source);
    childList_.reset();
    auto* m = dynamic_cast<const TMergeSlideShowObject*>(&source);
    if (!m) return;
    Title = m->Title;
    if (m->childList_) {
        CreateChildList()->Assign(*m->childList_);
        if (ParentList) ParentList->AttachObject(this);
    }
}

bool TMergeSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TBaseExtBitmapSlideShowObject::WriteData(stream)) return false;
    try {
        stream.BeginWriteBlock();
        stream.WriteString(Title);
        stream.EndWriteBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TMergeSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TBaseExtBitmapSlideShowObject::ReadData(stream)) return false;
    if (stream.Header.ContentVersion <= 0x304) return true;
    TReadBlockGuard guard(stream);
    try {
        stream.BeginReadBlock();
        Title = stream.ReadStringValue();
        stream.EndReadBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TMergeSlideShowObject::SetDuration(int32_t value) {
    TBaseExtBitmapSlideShowObject::SetDuration(value);
    if (!childList_) return;
    for (int i = 0; i < childList_->Count(); ++i) childList_->GetItem(i)->SetDuration(value);
}

void TMergeSlideShowObject::Start() {
    TBaseExtBitmapSlideShowObject::Start();
    if (!childList_) return;
    for (int i = 0; i < childList_->Count(); ++i)
        if (IPlayable* p = ::Supports<IPlayable>(childList_->GetItem(i))) p->SetStartTime(StartTime);
}

void TMergeSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    if (!childList_) return;
    TBaseExtBitmapSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_) return;
    if (PreparationStep::Requests(step, PreparationStep::Compose, initializationList_->CurrentStep))
        initializationList_->Add(
            std::make_unique<TSlideShowObjectInitialization>(PreparationStep::Compose, kComposeEstimate,
                                                             PreparationStep::Compose));
}

bool TMergeSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    const bool result = TBaseExtBitmapSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::Compose) return result;
    try {
        const TRect area = PlayerArea(player);
        Compose(player, RectWidth(area), RectHeight(area), false);
    } catch (const std::exception&) {
        LoadFailed = 1;
    }
    return true;
}

void TMergeSlideShowObject::Compose(IPlayerServices* player, int32_t width, int32_t height, bool preview) {
    if (width <= 0 || height <= 0) {
        Bitmap.reset();
        LoadFailed = 1;
        return;
    }
    // A picture kept from an earlier run may have been fitted to another size since.
    if (Bitmap && (Bitmap->Width() != width || Bitmap->Height() != height)) Bitmap.reset();
    if (!Bitmap) {
        Bitmap = std::make_unique<TBitmap32>();
        Bitmap->SetSize(width, height);
        Bitmap->StretchFilter = TStretchFilter(std::min<uint8_t>(ShowPropertiesOf(GetSlideShow()).GetStretchFilter(),
                                                                 sfMitchell));
    }
    const bool useAlpha = BlendMode == bmAlpha;
    // A kept picture must not show through the new composition, so a transparent one
    // without background starts clear as well.
    if (useAlpha) Bitmap->Clear(FillBackground ? (BackgroundColor & 0x00FFFFFF) : 0);
    else Bitmap->Clear(BackgroundColor);
    Bitmap->DrawMode = useAlpha ? dmBlend : dmOpaque;
    // Every child is drawn each time: after a Reset the children may still be prepared,
    // and the new picture must show them.
    if (childList_) DrawChildren(*childList_, player, preview);
    if (!useAlpha) Bitmap->ResetAlpha(255);
}

void TMergeSlideShowObject::DrawChildren(const TSlideShowObjectList& list, IPlayerServices* player, bool preview) {
    for (int i = 0; i < list.Count(); ++i) {
        TSlideShowObject* child = list.GetItem(i);
        if (!child || !child->GetEnabled()) continue;
        IVisibleSlideShowObject* visible = ::Supports<IVisibleSlideShowObject>(child);
        IPlayable* playable = ::Supports<IPlayable>(child);
        if (visible && playable) {
            if (preview) {
                if (!visible->IsPrepared()) visible->Prepare(*Bitmap);
                visible->DrawTo(*Bitmap, false);
                visible->Unprepare();
            } else {
                if (!playable->IsInitialized()) playable->InitializeAll(player);
                visible->DrawTo(*Bitmap, true);
            }
        }
        // A nested collage is one picture; other groups lend their children.
        ICollection* c = ::Supports<ICollection>(child);
        if (c && c->GetChildList() && !::Supports<IMerge>(child)) DrawChildren(*c->GetChildList(), player, preview);
    }
}

bool TMergeSlideShowObject::Prepare(TBitmap32& target) {
    if (!Bitmap && childList_) {
        try {
            Compose(nullptr, target.Width(), target.Height(), true);
        } catch (const std::exception&) {
            LoadFailed = 1;
        }
    }
    return IsPrepared();
}

bool TMergeSlideShowObject::DrawTo(TBitmap32& target, bool) {
    if (FillBackground) target.FillRectS(target.BoundsRect(), BackgroundColor);
    if (Bitmap && !Bitmap->Empty() && !LoadFailed) {
        const TRect r = BitmapTargetRect(target.BoundsRect());
        ApplyBlendMode(*Bitmap, 255);
        if (RectWidth(r) == Bitmap->Width() && RectHeight(r) == Bitmap->Height()) Bitmap->DrawTo(target, r.Left, r.Top);
        else Bitmap->DrawTo(target, r);
    } else {
        DrawPlaceholder(target);
    }
    return true;
}

int32_t TMergeSlideShowObject::Play(IPlayerServices* player, bool final) {
    if (childList_) return TBaseExtBitmapSlideShowObject::Play(player, final);
    TPlayableSlideShowObject::Play(player, final);
    ClearUpdateRect();
    return TimeLeft(player);
}

// ---- module ----

namespace {
TCountedRegistration<TMergeSlideShowObject> registration;
}

void InitializeMergeSlideShowObjects(TPlugins& plugins) { registration.Initialize(plugins); }

void FinalizeMergeSlideShowObjects(TPlugins& plugins) { registration.Finalize(plugins); }
