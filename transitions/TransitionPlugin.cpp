#include "transitions/TransitionPlugin.h"

#include "foundation/OKFStream.h"
#include "graphics/Bitmap32.h"
#include "platform/Random.h"

#include <algorithm>

GC_IMPLEMENT_PLUGIN(TTransitionPlugin, TPlugin)
GC_IMPLEMENT_PLUGIN(TRandomTransitionPlugin, TTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TTransitionPropertyFrame, TPropertyEditorFrame)

// ---- TTransitionPlugin ----

TTransitionPlugin::TTransitionPlugin() = default;

TTransitionPlugin::~TTransitionPlugin() { TTransitionPlugin::Done(); }

void TTransitionPlugin::Assign(const TPlugin& source) {
    if (auto* src = dynamic_cast<const TTransitionPlugin*>(&source)) {
        Duration = src->Duration;
        Enabled = src->Enabled;
    }
    TPlugin::Assign(source);
}

AnsiString TTransitionPlugin::GetCopyright() { return "\xDC" "berblendungen: Copyright (c) die Glowcanvas-Entwickler"; }

void TTransitionPlugin::GetVersionInfo(AnsiString& version, AnsiString& extra) {
    version = "1.0";
    extra.clear();
}

const ClassInfo* TTransitionPlugin::DefaultPropertyFrameClass() { return &TTransitionPropertyFrame::StaticClassInfo(); }

std::unique_ptr<TTransitionPlugin> TTransitionPlugin::Clone() {
    std::unique_ptr<TTransitionPlugin> result = CreateAs<TTransitionPlugin>(ClassType());
    if (!result) return nullptr;
    result->Assign(*this);
    return result;
}

bool TTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    Rect = destRect;
    Picture = picture;
    return true;
}

void TTransitionPlugin::GetChangedRect(int32_t, TBitmap32&, TRect& changed) { changed = Rect; }

bool TTransitionPlugin::Draw(int32_t, TBitmap32&) { return true; }

bool TTransitionPlugin::DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos) {
    // An empty picture drawn over under puts under back alone; then the frame as usual.
    TBitmap32().DrawToOver(target, 0, 0, under, underPos.X, underPos.Y);
    return Draw(time, target);
}

const ClassInfo* TTransitionPlugin::GetPropertyFrameClass() {
    const AnsiString name = GetPropertyFrameClassName();
    if (name.empty()) return DefaultPropertyFrameClass();
    // A class of that name that is no frame is no frame class.
    const ClassInfo* cls = FindClass(name);
    if (!cls || !cls->InheritsFrom(TPropertyEditorFrame::StaticClassInfo())) return nullptr;
    return cls;
}

bool TTransitionPlugin::WriteData(TOKFStream& stream) {
    stream.WriteBoolean(Enabled);
    stream.WriteInteger(Duration);
    return true;
}

bool TTransitionPlugin::ReadData(TOKFStream& stream) {
    Enabled = stream.ReadBooleanValue();
    Duration = stream.ReadIntegerValue();
    return true;
}

long double TTransitionPlugin::Progress(int32_t time) const {
    // A zero or negative duration would divide by zero: such a transition is over at once.
    if (Duration <= 0) return 1.0L;
    return std::clamp(static_cast<long double>(time) / Duration, 0.0L, 1.0L);
}

// ---- random choice ----

TTransitionPlugin* PickRandomTransition(const TTransitionPluginList& list, const ClassInfo* ownClass,
                                        const TClassList* excluded) {
    std::vector<int> candidates(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) candidates[static_cast<size_t>(i)] = i;
    while (!candidates.empty()) {
        const int k = Random(static_cast<int32_t>(candidates.size()));
        TTransitionPlugin* item = list.Items(candidates[static_cast<size_t>(k)]);
        const ClassInfo* cls = &item->ClassType();
        const bool rejected = !item->Enabled || cls == ownClass ||
                              (excluded && std::find(excluded->begin(), excluded->end(), cls) != excluded->end());
        if (!rejected) return item;
        candidates.erase(candidates.begin() + k);
    }
    return nullptr;
}

std::unique_ptr<TTransitionPlugin> CreateTransition(const AnsiString& className) {
    return CreateObject<TTransitionPlugin>(className);
}

bool WriteTransitionBlock(TOKFStream& stream, TTransitionPlugin* transition) {
    stream.BeginWriteBlock();
    stream.WriteInteger(transition ? 1 : 0);
    bool ok = true;
    if (transition) {
        stream.WriteString(transition->ClassName());
        ok = transition->WriteData(stream);
    }
    stream.EndWriteBlock();
    return ok;
}

bool ReadTransitionBlock(TOKFStream& stream, std::unique_ptr<TTransitionPlugin>& transition) {
    stream.BeginReadBlock();
    transition.reset();
    bool ok = true;
    if (stream.ReadIntegerValue() == 1) {
        transition = CreateTransition(stream.ReadStringValue());
        if (transition) ok = transition->ReadData(stream);
    }
    stream.EndReadBlock();
    return ok;
}

// ---- TRandomTransitionPlugin ----

TRandomTransitionPlugin::TRandomTransitionPlugin() = default;

TRandomTransitionPlugin::~TRandomTransitionPlugin() = default;

AnsiString TRandomTransitionPlugin::Caption() { return "Zuf\xE4llige \xDC" "berblendung"; }

TRect TRandomTransitionPlugin::GetRect() { return Chosen ? Chosen->GetRect() : TTransitionPlugin::GetRect(); }

void TRandomTransitionPlugin::SetRect(const TRect& rect) {
    if (Chosen) Chosen->SetRect(rect);
    else TTransitionPlugin::SetRect(rect);
}

AnsiString TRandomTransitionPlugin::GetPropertyFrameClassName() { return "TRandomTransitionPropertyFrame"; }

bool TRandomTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    Chosen.reset();
    {
        TTransitionPluginList list(Plugins);
        TTransitionPlugin* pick = PickRandomTransition(list, &ClassType(), ExcludedClasses);
        Chosen = list.FreeAllExcept(pick);
    }
    if (!Chosen) return TTransitionPlugin::Init(destRect, picture);
    Chosen->Duration = Duration;
    Chosen->Randomize();
    return Chosen->Init(destRect, picture);
}

void TRandomTransitionPlugin::Done() {
    if (Chosen) Chosen->Done();
}

void TRandomTransitionPlugin::GetChangedRect(int32_t time, TBitmap32& target, TRect& changed) {
    if (Chosen) Chosen->GetChangedRect(time, target, changed);
    else TTransitionPlugin::GetChangedRect(time, target, changed);
}

bool TRandomTransitionPlugin::Draw(int32_t time, TBitmap32& target) {
    return Chosen ? Chosen->Draw(time, target) : TTransitionPlugin::Draw(time, target);
}

bool TRandomTransitionPlugin::DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos) {
    return Chosen ? Chosen->DrawOver(time, target, under, underPos)
                  : TTransitionPlugin::DrawOver(time, target, under, underPos);
}

bool TRandomTransitionPlugin::IsFinished(int32_t time) {
    return Chosen ? Chosen->IsFinished(time) : TTransitionPlugin::IsFinished(time);
}

std::vector<AnsiString> TRandomTransitionPlugin::GetNameList() {
    std::vector<AnsiString> names;
    TTransitionPluginList list(Plugins);
    for (int i = 0; i < list.Count(); ++i) {
        TTransitionPlugin* item = list.Items(i);
        if (item->InheritsFrom(TRandomTransitionPlugin::StaticClassInfo())) continue;
        for (AnsiString& name : item->GetNameList()) names.push_back(std::move(name));
    }
    return names;
}

// ---- TTransitionPluginList ----

TTransitionPluginList::TTransitionPluginList(TPlugins* registry) {
    if (!registry) return;
    std::unique_ptr<TPlugins> subset = registry->SubsetOf<TTransitionPlugin>();
    if (!subset) return;
    for (int i = 0; i < subset->GetCount(); ++i) {
        if (auto made = CreateAs<TTransitionPlugin>(subset->GetItem(i)->PluginClass()))
            items_.emplace_back(made.release());
    }
}

TTransitionPluginList::~TTransitionPluginList() = default;

std::unique_ptr<TTransitionPlugin> TTransitionPluginList::FreeAllExcept(TTransitionPlugin* keep) {
    std::unique_ptr<TTransitionPlugin> kept;
    for (size_t i = items_.size(); i-- > 0;) {
        if (items_[i].get() == keep) kept = std::move(items_[i]);
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return kept;
}

bool TTransitionPluginList::WriteData(TOKFStream& stream) {
    stream.BeginWriteBlock();
    stream.WriteInteger(Count());
    for (const auto& item : items_) {
        stream.BeginWriteBlock();
        stream.WriteString(item->ClassName());
        item->WriteData(stream);
        stream.EndWriteBlock();
    }
    stream.EndWriteBlock();
    return true;
}

bool TTransitionPluginList::ReadData(TOKFStream& stream) {
    stream.BeginReadBlock();
    const int32_t count = stream.ReadIntegerValue();
    for (int32_t i = 0; i < count; ++i) {
        stream.BeginReadBlock();
        const AnsiString name = stream.ReadStringValue();
        for (const auto& item : items_) {
            if (CompareText(item->ClassName(), name) != 0) continue;
            item->ReadData(stream);
            break;
        }
        stream.EndReadBlock();
    }
    stream.EndReadBlock();
    return true;
}

// ---- TTransitionPropertyFrame ----

const std::vector<TTransitionPropertyFrame::TControl>& TTransitionPropertyFrame::Layout() {
    static const std::vector<TControl> layout = {
        {"Label", "DurationLabel", "Dauer der \xDC" "berblendung: ", 0, 0, 0, 0, nullptr},
        {"TBrixSpinEdit", "DurationEdit", "", 0.1, 9999, 0.5, 0.1, "DurationEditChange"},
        {"Label", "UnitLabel", "s", 0, 0, 0, 0, nullptr},
    };
    return layout;
}
