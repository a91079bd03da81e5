#include "document/SlideShowObject.h"

#include "document/SlideShowObjectInternals.h"
#include "foundation/ImageLists.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/PartialStream.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/DebugOutput.h"
#include "platform/Clipboard.h"
#include "platform/Names.h"
#include "platform/Stream.h"
#include "platform/SysColors.h"

#include <algorithm>
#include <cstdio>
#include <limits>

GC_IMPLEMENT_PLUGIN(TSlideShowObject, TInterfacedPlugin)

using namespace SlideShowObjectInternals;

int32_t SaturateInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// ---- TPath ----

AnsiString TPath::GetPathString() const {
    AnsiString s;
    for (int i = 0; i < Count(); ++i) {
        if (i) s += '.';
        s += std::to_string(int64_t(Get(i)) + 1);
    }
    return s;
}

// ---- TSlideShowObject ----

TSlideShowObject::~TSlideShowObject() = default;

void FreeSlideShowObject(TSlideShowObject* item) noexcept {
    if (!item) return;
    try {
        item->BeforeDestruction();
    } catch (const std::exception& e) {
        LogError(AnsiString("clean-up of an item failed: ") + e.what());
    }
    TPluginDeleter{}(item);
}

TSlideShowHost* TSlideShowObject::GetSlideShow() const { return ParentList ? ParentList->GetSlideShow() : nullptr; }

AnsiString TSlideShowObject::GetDisplayName() const {
    AnsiString name = PluginCaption(ClassType());
    return name.empty() ? AnsiString("ohne Namen") : name;
}

AnsiString TSlideShowObject::GetInfoText() const { return GetDisplayName(); }

int32_t TSlideShowObject::QueryInterface(const TGUID& iid, void** obj) {
    void* p = nullptr;
    if (iid == IID_ISlideShowObject) p = static_cast<ISlideShowObject*>(this);
    else if (iid == IID_IPlayable) p = dynamic_cast<IPlayable*>(this);
    else if (iid == IID_ICollection) p = dynamic_cast<ICollection*>(this);
    else if (iid == IID_IText) p = dynamic_cast<IText*>(this);
    else if (iid == IID_IKeywords) p = dynamic_cast<IKeywords*>(this);
    else if (iid == IID_IPropertyFrameProvider) p = dynamic_cast<IPropertyFrameProvider*>(this);
    else if (iid == IID_IParallelCollection) p = dynamic_cast<IParallelCollection*>(this);
    else if (iid == IID_IContainerCollection) p = dynamic_cast<IContainerCollection*>(this);
    else if (iid == IID_IMerge) p = dynamic_cast<IMerge*>(this);
    else if (iid == IID_IComposite) p = dynamic_cast<IComposite*>(this);
    else if (iid == IID_ITextEffectHost) p = dynamic_cast<ITextEffectHost*>(this);
    else if (iid == IID_IVisibleSlideShowObject) p = dynamic_cast<IVisibleSlideShowObject*>(this);
    else if (iid == IID_IPreviewEditable) p = dynamic_cast<IPreviewEditable*>(this);
    else if (iid == IID_IExifProvider) p = dynamic_cast<IExifProvider*>(this);
    else if (iid == IID_IFileReferences) p = dynamic_cast<IFileReferences*>(this);
    else if (iid == IID_IFileReferencesEx) p = dynamic_cast<IFileReferencesEx*>(this);
    else if (iid == IID_IOpacityCurveOwner) p = dynamic_cast<IOpacityCurveOwner*>(this);
    else if (iid == IID_IRotationCurveOwner) p = dynamic_cast<IRotationCurveOwner*>(this);
    else if (iid == IID_IScaleCurveOwner) p = dynamic_cast<IScaleCurveOwner*>(this);
    else if (iid == IID_IMotionPathOwner) p = dynamic_cast<IMotionPathOwner*>(this);
    else if (iid == IID_IPreviewEditablePath) p = dynamic_cast<IPreviewEditablePath*>(this);
    else if (iid == IID_ISound) p = dynamic_cast<ISound*>(this);
    if (p) {
        _AddRef();
        *obj = p;
        return S_OK;
    }
    return TInterfacedPlugin::QueryInterface(iid, obj);
}

void TSlideShowObject::AssignObject(const TSlideShowObject& source) {
    // The list link is not copied: an item's link always names the list that holds it.
    Enabled = source.Enabled;
}

void TSlideShowObject::SetEnabled(bool value) {
    if (value == Enabled) return;
    Enabled = value;
    DoChange(ocEnabled);
}

void TSlideShowObject::AssignWithChildren(const TSlideShowObject& source) {
    if (&source == this) return;
    // Copying an ancestor into one of its descendants would read the subtree while it
    // is being rebuilt: copy from a snapshot.
    if (IsChildOf(&source)) {
        TSlideShowObjectPtr snapshot(source.CloneWithChildren());
        if (snapshot) AssignWithChildren(*snapshot);
        return;
    }
    AssignWithoutChildren(source);
    ICollection* own = ::Supports<ICollection>(this);
    const ICollection* src = ::Supports<ICollection>(&source);
    if (!own || !src) return;
    TSlideShowObjectList* srcList = src->GetChildList();
    if (!srcList) {
        if (TSlideShowObjectList* mine = own->GetChildList()) mine->Clear();
        return;
    }
    if (TSlideShowObjectList* mine = own->CreateChildList()) mine->Assign(*srcList);
}

namespace {
// A new item of the source's class, filled by assign and free of any list.
TSlideShowObject* CopyOf(const TSlideShowObject& source, void (TSlideShowObject::*assign)(const TSlideShowObject&)) {
    TSlideShowObject* copy = CreateAs<TSlideShowObject>(source.ClassType()).release();
    if (!copy) return nullptr;
    (copy->*assign)(source);
    copy->ParentList = nullptr;
    copy->OnChange = nullptr;
    copy->Index = 0;
    return copy;
}
}  // namespace

TSlideShowObject* TSlideShowObject::Clone() const { return CopyOf(*this, &TSlideShowObject::AssignWithoutChildren); }

TSlideShowObject* TSlideShowObject::CloneWithChildren() const {
    return CopyOf(*this, &TSlideShowObject::AssignWithChildren);
}

bool TSlideShowObject::SupportsFileExtension(const AnsiString& ext) const {
    for (const AnsiString& e : GetFileExtensions())
        if (AnsiSameText(e, ext)) return true;
    return false;
}

AnsiString TSlideShowObject::GetCategory() const { return "Standard"; }

std::unique_ptr<TIconBitmap> TSlideShowObject::GetIconBitmap() const { return nullptr; }

namespace {

int CachedImageIndex(const TSlideShowObject& item, TImageList& images, TImageIndexList& indexes, bool big) {
    const int known = indexes.ImageIndexOf(item.ClassType());
    if (known >= 0) return known;
    std::unique_ptr<TIconBitmap> icon = big ? item.GetBigIconBitmap() : item.GetIconBitmap();
    const int index = AddBitmapToImageList(icon.get(), &images, true, clWindow);
    if (index >= 0) indexes.Add(item.ClassType(), index);
    return index;
}

}  // namespace

int TSlideShowObject::GetImageIndex() const {
    return CachedImageIndex(*this, GetSmallImageList(), GetSmallImageIndexList(), false);
}

int TSlideShowObject::GetBigImageIndex() const {
    return CachedImageIndex(*this, GetBigImageList(), GetBigImageIndexList(), true);
}

bool TSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    stream.WriteBoolean(Enabled);
    return true;
}

bool TSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    Enabled = stream.ReadBooleanValue();
    DoChange(ocDataRead);
    return true;
}

void StampShowFormat(TOKFStream& stream) {
    stream.Header.FileType = kSlideShowFileType;
    stream.Header.ContentVersion = kSlideShowContentVersion;
}

bool TSlideShowObject::SaveToStream(TStream& stream) {
    return OnShowStream(stream, [this](TOKFStreamWinTypes& s) {
        const bool ok = WriteData(s);
        s.Close();
        return ok;
    });
}

bool TSlideShowObject::LoadFromStream(TStream& stream) {
    return OnShowStream(stream, [this](TOKFStreamWinTypes& s) { return ReadData(s); });
}

TPath TSlideShowObject::GetPath() const {
    TPath path;
    const TSlideShowObject* item = this;
    for (int guard = 0; item && guard < kMaxWalk; ++guard) {
        path.Insert(0, item->Index);
        item = item->GetParentObject();
    }
    return path;
}

int TSlideShowObject::Level() const {
    int level = 0;
    for (const TSlideShowObject* p = GetParentObject(); p && level < kMaxWalk; p = p->GetParentObject()) ++level;
    return level;
}

bool TSlideShowObject::IsChildOf(const TSlideShowObject* item) const {
    if (!item) return false;
    int guard = 0;
    for (const TSlideShowObject* p = GetParentObject(); p && guard < kMaxWalk; p = p->GetParentObject(), ++guard)
        if (p == item) return true;
    return false;
}

void TSlideShowObject::DoChange(uint16_t flags, int32_t data) {
    if (OnChange) OnChange(this, flags, data);
}

TSlideShowObject* TSlideShowObject::GetParentObject() const { return ParentList ? ParentList->OwnerObject() : nullptr; }

AnsiString TSlideShowObject::ResolveFileName(const AnsiString& name) const {
    if (TSlideShowHost* show = GetSlideShow()) return show->ResolveFileName(name);
    return DefaultFileResolver().Resolve(name, AnsiString());
}

AnsiString TSlideShowObject::FileToOpen(const AnsiString& name) const {
    if (TSlideShowHost* show = GetSlideShow()) return show->FileToOpen(name);
    return DefaultFileResolver().OpenableName(name, ResolveFileName(name));
}
