#include "document/SlideShowProperties.h"

#include "document/SlideShow.h"
#include "foundation/SlideShowGlobals.h"

GC_IMPLEMENT_PLUGIN(TPropertyGroupPlugin, TInterfacedPlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TSlideShowLogoProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TSlideShowInfoProperties, TProperties)

namespace {

// ---- the plug-in registry, as far as the settings need it ----

// Plug-in registry first, then the classes the class library knows.
const ClassInfo* FindShowPluginClass(const AnsiString& name) {
    if (Plugins)
        if (const ClassInfo* cls = Plugins->FindClassByName(name)) return cls;
    return FindClass(name);
}

const ClassInfo* FirstShowPluginClass(const ClassInfo& base) {
    if (!Plugins) return nullptr;
    std::unique_ptr<TPlugins> subset = Plugins->SubsetOf(base);
    return subset && subset->GetCount() > 0 ? &subset->GetItem(0)->PluginClass() : nullptr;
}

// The classes of base's plug-ins whose shared instance pred accepts, in registry order.
template <class Pred>
void ForEachShowPlugin(const ClassInfo& base, Pred pred, std::vector<const ClassInfo*>& out) {
    if (!Plugins) return;
    std::unique_ptr<TPlugins> subset = Plugins->SubsetOf(base);
    if (!subset) return;
    for (int i = 0; i < subset->GetCount(); ++i)
        if (pred(*subset->GetItem(i))) out.push_back(&subset->GetItem(i)->PluginClass());
}

void RegisterShowPlugin(const ClassInfo& cls) {
    if (Plugins) Plugins->Register(cls);
    else RegisterClass(cls);
}

void UnregisterShowPlugin(const ClassInfo& cls) {
    if (Plugins) Plugins->Unregister(cls);
    UnRegisterClass(cls);
}

const ClassInfo* playerBase = nullptr;
const ClassInfo* transitionBase = nullptr;
bool (*transitionStartsExcluded)(TPlugin& shared) = nullptr;

// A stored class name of the given kind, or null: unknown names and classes of any other
// kind are refused, never taken for what the caller expects.
const ClassInfo* FindClassOfKind(const AnsiString& name, const ClassInfo* base) {
    if (!base || name.empty()) return nullptr;
    const ClassInfo* cls = FindShowPluginClass(name);
    if (!cls || !cls->InheritsFrom(*base)) return nullptr;
    return cls;
}

// Filter numbers beyond the known filters fall back to the given default.
uint8_t CheckedFilter(uint8_t value, uint8_t fallback) { return value <= kStretchMitchell ? value : fallback; }

}  // namespace

void SetSlideShowPlayerBaseClass(const ClassInfo* base) { playerBase = base; }
const ClassInfo* SlideShowPlayerBaseClass() { return playerBase; }

void SetSlideShowTransitionClasses(const ClassInfo* base, bool (*startsExcluded)(TPlugin& shared)) {
    transitionBase = base;
    transitionStartsExcluded = startsExcluded;
}


// ---------------------------------------------------------------------------------

int32_t TPropertyGroupPlugin::QueryInterface(const TGUID& iid, void** obj) {
    if (iid == IID_IPropertyGroupPlugin) {
        *obj = static_cast<IPropertyGroupPlugin*>(this);
        _AddRef();
        return S_OK;
    }
    return TInterfacedPlugin::QueryInterface(iid, obj);
}

// ---------------------------------------------------------------------------------

TSlideShowProperties::TSlideShowProperties() {
    PlayerClass = GetDefaultPlayerClass();
    // Transitions whose shared instance is switched off (the heart) start out excluded.
    if (transitionBase && transitionStartsExcluded)
        ForEachShowPlugin(*transitionBase, [](TPluginListItem& item) {
            TPlugin* shared = item.GetInstance();
            return shared && transitionStartsExcluded(*shared);
        }, ExcludedTransitions);
}

const ClassInfo* TSlideShowProperties::GetDefaultPlayerClass() {
    if (!playerBase) return nullptr;
    return FirstShowPluginClass(*playerBase);
}

AnsiString TSlideShowProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() +
           "\r\nTSlideShowPropertiesMainEditorFrame"
           "\r\nTSlideShowPropertiesSlideShowPlayerEditorFrame"
           "\r\nTSlideShowPropertiesSlideShowEndFrame"
           "\r\nTSlideShowPropertiesTransitionFrame";
}

uint8_t TSlideShowProperties::GetStretchFilter() const {
    switch (StretchQuality) {
        case 0:
        case 1: return kStretchMitchell;
        case 2: return kStretchLinear;
        case 3: return kStretchNearest;
        default: return CustomStretchFilter;
    }
}

uint8_t TSlideShowProperties::GetPlayStretchFilter() const {
    return StretchQuality == 0 ? kStretchMitchell : kStretchNearest;
}

bool TSlideShowProperties::WriteProperties(TOKFStreamWinTypes& c) const {
    if (!TProperties::WriteProperties(c)) return false;
    c.BeginWriteBlock();
    c.WriteInteger(DefaultDuration);
    c.WriteByte(StretchQuality);
    c.WriteByte(CustomStretchFilter);
    c.WriteByte(FitOption);
    c.WriteByte(EndAction);
    c.WriteBoolean(EndActionOnUserStop);
    c.WriteInteger(AspectX);
    c.WriteInteger(AspectY);
    c.EndWriteBlock();

    c.BeginWriteBlock();
    c.WriteBoolean(ReservedFlag);
    c.EndWriteBlock();

    c.BeginWriteBlock();
    c.WriteBoolean(DisableTransitions);
    c.WriteCardinal(static_cast<uint32_t>(ExcludedTransitions.size()));
    for (const ClassInfo* cls : ExcludedTransitions) c.WriteString(cls->Name);
    c.EndWriteBlock();

    c.BeginWriteBlock();
    c.WriteString(PlayerClass ? AnsiString(PlayerClass->Name) : AnsiString());
    c.EndWriteBlock();
    return true;
}

bool TSlideShowProperties::ReadProperties(TOKFStreamWinTypes& c) {
    if (!TProperties::ReadProperties(c)) return false;
    // Each block is left at its stored end, so longer blocks of other versions read.
    c.BeginReadBlock();
    DefaultDuration = c.ReadIntegerValue();
    StretchQuality = c.ReadByteValue();
    CustomStretchFilter = CheckedFilter(c.ReadByteValue(), kStretchLinear);
    FitOption = CheckedFilter(c.ReadByteValue(), kStretchNearest);
    EndAction = c.ReadByteValue();
    EndActionOnUserStop = c.ReadBooleanValue();
    AspectX = c.ReadIntegerValue();
    AspectY = c.ReadIntegerValue();
    c.EndReadBlock();

    c.BeginReadBlock();
    ReservedFlag = c.ReadBooleanValue();
    c.EndReadBlock();

    c.BeginReadBlock();
    DisableTransitions = c.ReadBooleanValue();
    const uint32_t count = c.ReadCardinalValue();
    // Every name takes at least its 4-byte length.
    if (static_cast<int64_t>(count) > c.BytesLeft() / 4) RaiseOKFError(okfReadError);
    std::vector<const ClassInfo*> excluded;
    for (uint32_t i = 0; i < count; ++i) {
        const ClassInfo* cls = FindClassOfKind(c.ReadStringValue(), transitionBase);
        if (cls) excluded.push_back(cls);
    }
    c.EndReadBlock();
    ExcludedTransitions = std::move(excluded);

    c.BeginReadBlock();
    const ClassInfo* player = FindClassOfKind(c.ReadStringValue(), playerBase);
    c.EndReadBlock();
    PlayerClass = player ? player : GetDefaultPlayerClass();
    return true;
}

// ---------------------------------------------------------------------------------

AnsiString TSlideShowLogoProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTSlideShowPropertiesSlideShowLogoFrame";
}

int32_t TSlideShowLogoProperties::QueryInterface(const TGUID& iid, void** obj) {
    if (iid == IID_IFileReferences) {
        *obj = static_cast<IFileReferences*>(this);
        _AddRef();
        return S_OK;
    }
    return TProperties::QueryInterface(iid, obj);
}

AnsiString TSlideShowLogoProperties::GetResolvedFileName() const {
    if (FileName.empty() || !Owner) return FileName;
    return Owner->ResolveFileName(FileName);
}

std::vector<AnsiString> TSlideShowLogoProperties::GetResolvedFileNames() const {
    if (FileName.empty()) return {};
    return {GetResolvedFileName()};
}

void TSlideShowLogoProperties::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    if (oldName == FileName || (Owner && oldName == Owner->ResolveFileName(FileName))) FileName = newName;
}

bool TSlideShowLogoProperties::WriteProperties(TOKFStreamWinTypes& c) const {
    if (!TProperties::WriteProperties(c)) return false;
    c.WriteBoolean(ShowLogo);
    c.WriteString(FileName);
    c.WriteInteger(LogoTime);
    c.WriteBoolean(LogoFlag1);
    c.WriteBoolean(LogoFlag2);
    return true;
}

bool TSlideShowLogoProperties::ReadProperties(TOKFStreamWinTypes& c) {
    if (!TProperties::ReadProperties(c)) return false;
    ShowLogo = c.ReadBooleanValue();
    FileName = c.ReadStringValue();
    LogoTime = c.ReadIntegerValue();
    LogoFlag1 = c.ReadBooleanValue();
    LogoFlag2 = c.ReadBooleanValue();
    return true;
}

// ---------------------------------------------------------------------------------

AnsiString TSlideShowInfoProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTSlideShowPropertiesSlideShowInfoFrame";
}

bool TSlideShowInfoProperties::WriteProperties(TOKFStreamWinTypes& c) const {
    if (!TProperties::WriteProperties(c)) return false;
    c.WriteString(Author);
    c.WriteString(Title);
    c.WriteString(ShowDescription);
    c.WriteString(Copyright);
    c.BeginWriteBlock();
    if (InfoData && InfoData->GetSize() > 0) {
        const auto& b = InfoData->Bytes();
        c.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
    }
    c.EndWriteBlock();
    return true;
}

bool TSlideShowInfoProperties::ReadProperties(TOKFStreamWinTypes& c) {
    if (!TProperties::ReadProperties(c)) return false;
    Author = c.ReadStringValue();
    Title = c.ReadStringValue();
    ShowDescription = c.ReadStringValue();
    Copyright = c.ReadStringValue();
    const uint32_t n = c.BeginReadBlock();
    // An empty block means no data: copies and resets must not keep old bytes.
    std::unique_ptr<TMemoryStream> data;
    if (n > 0) {
        std::vector<uint8_t> bytes(n);  // the block's length was checked against the stream
        c.ReadBuffer(bytes.data(), n);
        data = std::make_unique<TMemoryStream>(std::move(bytes));
    }
    c.EndReadBlock();
    InfoData = std::move(data);
    return true;
}

// ---------------------------------------------------------------------------------

namespace SlideShowProperties {

void Initialize() {
    RegisterShowPlugin(TSlideShowProperties::StaticClassInfo());
    RegisterShowPlugin(TSlideShowLogoProperties::StaticClassInfo());
    RegisterShowPlugin(TSlideShowInfoProperties::StaticClassInfo());
}

void Finalize() {
    UnregisterShowPlugin(TSlideShowInfoProperties::StaticClassInfo());
    UnregisterShowPlugin(TSlideShowLogoProperties::StaticClassInfo());
    UnregisterShowPlugin(TSlideShowProperties::StaticClassInfo());
}

}  // namespace SlideShowProperties
