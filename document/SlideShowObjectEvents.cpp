#include "document/SlideShowObjectEvents.h"

#include "document/SlideShowObject.h"
#include "foundation/OKFStreamWinTypes.h"
#include "platform/Shell.h"

GC_IMPLEMENT_PLUGIN(TSlideShowObjectEvent, TInterfacedPlugin)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectEventObjectStarted, TSlideShowObjectEvent)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectEventObjectFinished, TSlideShowObjectEvent)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectEventTimer, TSlideShowObjectEvent)
GC_IMPLEMENT_PLUGIN(TSlideShowObjectEventAction, TInterfacedPlugin)
GC_IMPLEMENT_PLUGIN(TExecuteProgramProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TExecuteProgramAction, TSlideShowObjectEventAction)
GC_IMPLEMENT_PLUGIN(TBeepAction, TSlideShowObjectEventAction)
GC_IMPLEMENT_PLUGIN(TPausePlayerAction, TSlideShowObjectEventAction)
GC_IMPLEMENT_PLUGIN(TPlayPlayerAction, TSlideShowObjectEventAction)
GC_IMPLEMENT_CLASS(THighPrioritySlideShowObjectEvent, THighPriorityEvent)

namespace {

const TEventClassFunctions* EventFunctions(const ClassInfo& cls) {
    return dynamic_cast<const TEventClassFunctions*>(FindClassFunctions(cls));
}


// The settings part shared by events and actions: u32 1 and the fields, or u32 0.
void WriteSettings(TOKFStreamWinTypes& s, const TProperties* props) {
    if (props) {
        s.WriteCardinal(1);
        if (!props->WriteProperties(s)) throw EOKFError(okfWriteError);
    } else {
        s.WriteCardinal(0);
    }
}

// A stored flag that disagrees with the class is not followed: settings stored for a
// class without settings are left to the enclosing block; a class with settings whose
// stream holds none keeps its defaults.
void ReadSettings(TOKFStreamWinTypes& s, const ClassInfo& cls, TPluginPtr<TProperties>& props) {
    const uint32_t flag = s.ReadCardinalValue();
    const ClassInfo* propsClass = EventPropertiesClass(cls);
    if (!propsClass) {
        props.reset();
        return;
    }
    TPluginPtr<TProperties> fresh = NewProperties(propsClass);
    if (flag != 0 && fresh && !fresh->ReadProperties(s)) throw EOKFError(okfReadError);
    props = std::move(fresh);
}

template <class Base>
Base* NewEntry(const AnsiString& className) {
    const ClassInfo* cls = FindClass(className);
    if (!cls || !cls->InheritsFrom(Base::StaticClassInfo())) return nullptr;
    return CreateAs<Base>(*cls).release();
}

template <class T>
bool WriteEntries(TOKFStreamWinTypes& s, const std::vector<TPluginPtr<T>>& items) {
    try {
        s.WriteCardinal(static_cast<uint32_t>(items.size()));
        for (const auto& e : items) {
            s.BeginWriteBlock();
            s.WriteString(e->ClassName());
            const bool ok = e->WriteData(s);
            s.EndWriteBlock();
            if (!ok) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

template <class T, class List>
bool ReadEntries(TOKFStreamWinTypes& s, List& list) {
    list.Clear();
    try {
        const uint32_t count = s.ReadCardinalValue();
        // Every entry is a block of at least its length and an empty name.
        if (static_cast<int64_t>(count) * 8 > s.BytesLeft()) throw EOKFError(okfReadError);
        for (uint32_t i = 0; i < count; ++i) {
            s.BeginReadBlock();
            const AnsiString name = s.ReadStringValue();
            if (T* entry = NewEntry<T>(name)) {
                TPluginPtr<T> holder(entry);
                if (!entry->ReadData(s)) throw EOKFError(okfReadError);
                list.Add(holder.release());
            }
            s.EndReadBlock();
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

TPluginPtr<TProperties> NewProperties(const ClassInfo* cls) {
    if (!cls || !cls->InheritsFrom(TProperties::StaticClassInfo())) return nullptr;
    return CreateAs<TProperties, TPluginDeleter>(*cls);
}

const ClassInfo* EventPropertiesClass(const ClassInfo& cls) {
    const TEventClassFunctions* f = EventFunctions(cls);
    return f && f->GetPropertiesClass ? f->GetPropertiesClass() : nullptr;
}

AnsiString EventDisplayText(const ClassInfo& cls) {
    const TEventClassFunctions* f = EventFunctions(cls);
    AnsiString text = f && f->GetDisplayText ? f->GetDisplayText() : AnsiString();
    return text.empty() ? PluginCaption(cls) : text;
}

// ---- events ----

TSlideShowObjectEvent::TSlideShowObjectEvent() = default;
TSlideShowObjectEvent::~TSlideShowObjectEvent() = default;

TSlideShowObjectEventActionList* TSlideShowObjectEvent::CreateActionList() {
    if (!actionList_) actionList_ = std::make_unique<TSlideShowObjectEventActionList>();
    return actionList_.get();
}

void TSlideShowObjectEvent::AssignEventData(const TSlideShowObjectEvent&) {}

void TSlideShowObjectEvent::AssignEvent(const TSlideShowObjectEvent& source) {
    if (&source == this) return;
    if (!source.actionList_) {
        actionList_.reset();
    } else {
        CreateActionList()->Assign(*source.actionList_);
    }
    if (properties_ && source.properties_) properties_->Assign(*source.properties_);
    AssignEventData(source);
}

void TSlideShowObjectEvent::Assign(const TPlugin& source) {
    if (auto* e = dynamic_cast<const TSlideShowObjectEvent*>(&source)) AssignEvent(*e);
}

bool TSlideShowObjectEvent::WriteData(TOKFStreamWinTypes& stream) {
    CreateActionList();
    bool ok = actionList_->WriteData(stream);
    if (ok) {
        try {
            WriteSettings(stream, properties_.get());
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (actionList_->Count() == 0) actionList_.reset();
    return ok;
}

bool TSlideShowObjectEvent::ReadData(TOKFStreamWinTypes& stream) {
    CreateActionList();
    bool ok = actionList_->ReadData(stream);
    if (ok) {
        try {
            ReadSettings(stream, ClassType(), properties_);
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (actionList_->Count() == 0) actionList_.reset();
    return ok;
}

AnsiString TSlideShowObjectEventObjectStarted::Description() {
    return "Das Ereignis tritt einmal auf, wenn das aktuelle Objekt vom Lumivor-Player gestartet wurde.";
}

AnsiString TSlideShowObjectEventObjectFinished::Description() {
    return "Das Ereignis tritt einmal auf, wenn das aktuelle Objekt vom Lumivor-Player beendet wurde.";
}

void TSlideShowObjectEventTimer::AssignEventData(const TSlideShowObjectEvent& source) {
    if (auto* t = dynamic_cast<const TSlideShowObjectEventTimer*>(&source)) {
        Offset = t->Offset;
        Fired = t->Fired;
    }
}

bool TSlideShowObjectEventTimer::WriteData(TOKFStreamWinTypes& stream) {
    if (!TSlideShowObjectEvent::WriteData(stream)) return false;
    try {
        stream.WriteInteger(Offset);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool TSlideShowObjectEventTimer::ReadData(TOKFStreamWinTypes& stream) {
    if (!TSlideShowObjectEvent::ReadData(stream)) return false;
    try {
        // Blocks of older writers end before the offset.
        if (stream.ReadBlockDepth() > 0 && stream.BytesLeft() >= 4) Offset = stream.ReadIntegerValue();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// ---- actions ----

TSlideShowObjectEventAction::TSlideShowObjectEventAction() = default;
TSlideShowObjectEventAction::~TSlideShowObjectEventAction() = default;

void TSlideShowObjectEventAction::Assign(const TPlugin& source) {
    auto* a = dynamic_cast<const TSlideShowObjectEventAction*>(&source);
    if (!a || a == this) return;
    if (properties_ && a->properties_) properties_->Assign(*a->properties_);
}

void TSlideShowObjectEventAction::Execute(IPlayerServices*, TSlideShowObject*, TSlideShowObjectEvent*) {}

bool TSlideShowObjectEventAction::WriteData(TOKFStreamWinTypes& stream) {
    try {
        WriteSettings(stream, properties_.get());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSlideShowObjectEventAction::ReadData(TOKFStreamWinTypes& stream) {
    try {
        ReadSettings(stream, ClassType(), properties_);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- lists ----

void TSlideShowObjectEventList::Assign(const TSlideShowObjectEventList& source) {
    if (&source == this) return;
    Clear();
    for (const auto& e : source.items_) {
        TSlideShowObjectEvent* copy = CreateAs<TSlideShowObjectEvent>(e->ClassType()).release();
        if (!copy) continue;
        copy->AssignEvent(*e);
        Add(copy);
    }
}

bool TSlideShowObjectEventList::WriteData(TOKFStreamWinTypes& stream) { return WriteEntries(stream, items_); }

bool TSlideShowObjectEventList::ReadData(TOKFStreamWinTypes& stream) {
    return ReadEntries<TSlideShowObjectEvent>(stream, *this);
}

TSlideShowObjectEvent* TSlideShowObjectEventList::FindByClass(const ClassInfo& cls) const {
    for (const auto& e : items_)
        if (&e->ClassType() == &cls) return e.get();
    return nullptr;
}

void TSlideShowObjectEventActionList::Assign(const TSlideShowObjectEventActionList& source) {
    if (&source == this) return;
    Clear();
    for (const auto& a : source.items_) {
        TSlideShowObjectEventAction* copy = CreateAs<TSlideShowObjectEventAction>(a->ClassType()).release();
        if (!copy) continue;
        copy->Assign(*a);
        Add(copy);
    }
}

bool TSlideShowObjectEventActionList::WriteData(TOKFStreamWinTypes& stream) { return WriteEntries(stream, items_); }

bool TSlideShowObjectEventActionList::ReadData(TOKFStreamWinTypes& stream) {
    return ReadEntries<TSlideShowObjectEventAction>(stream, *this);
}

// ---- run program / open address ----

bool TExecuteProgramProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteByte(Kind);
    c.WriteString(Target);
    c.WriteString(Parameters);
    return true;
}

bool TExecuteProgramProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    Kind = c.ReadByteValue();
    Target = c.ReadStringValue();
    Parameters = c.ReadStringValue();
    return true;
}

TExecuteProgramAction::TExecuteProgramAction() { properties_ = NewProperties(GetPropertiesClass()); }

std::vector<const ClassInfo*> TExecuteProgramAction::GetEventClasses() const {
    return {&TSlideShowObjectEvent::StaticClassInfo()};
}

void TExecuteProgramAction::Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent*) {
    const TExecuteProgramProperties* p = Settings();
    if (!p || (player && !player->MayStartPrograms())) return;
    auto resolved = [&] {
        AnsiString file = item ? item->ResolveFileName(p->Target) : p->Target;
        return file.empty() ? p->Target : file;
    };
    // Failures are not reported: an event never stops the show.
    switch (p->Kind) {
        case 0: ShellExecute("", resolved(), p->Parameters, SW_SHOWNORMAL); break;
        case 1: ShellExecute("", "mailto:" + p->Target, "", SW_SHOWNORMAL); break;
        case 2: ShellExecute("", p->Target, "", SW_SHOWNORMAL); break;
        case 3: ShellExecute("open", resolved(), "", SW_SHOWNORMAL); break;
        default: break;
    }
}

void TBeepAction::Execute(IPlayerServices*, TSlideShowObject*, TSlideShowObjectEvent*) { MessageBeep(0); }

AnsiString TPausePlayerAction::Description() {
    return "Setzt den Lumivor-Player in den Pausemodus. Den selben Effekt erziehlen Sie, wenn Sie die Lumivor "
           "manuell anhalten (z.B. \xFC" "ber die Navigationsleiste). Die Pause kann nur manuell wieder aufgehoben "
           "werden.";
}

void TPausePlayerAction::Execute(IPlayerServices* player, TSlideShowObject*, TSlideShowObjectEvent*) {
    if (player) player->SetPaused(true);
}

AnsiString TPlayPlayerAction::Description() {
    return "Wenn der Lumivor-Player im Pausemodus war, wird das Abspielen fortgesetzt";
}

void TPlayPlayerAction::Execute(IPlayerServices* player, TSlideShowObject*, TSlideShowObjectEvent*) {
    if (player) player->SetPaused(false);
}

void InitializeSlideShowObjectEvents(TPlugins& plugins) {
    plugins.Register<TSlideShowObjectEventObjectStarted>();
    plugins.Register<TSlideShowObjectEventObjectFinished>();
    plugins.Register<TSlideShowObjectEventTimer>();
    plugins.Register<TExecuteProgramProperties>();
    plugins.Register<TExecuteProgramAction>();
    plugins.Register<TBeepAction>();
    plugins.Register<TPausePlayerAction>();
    plugins.Register<TPlayPlayerAction>();
}

void FinalizeSlideShowObjectEvents(TPlugins& plugins) {
    plugins.Unregister<TPlayPlayerAction>();
    plugins.Unregister<TPausePlayerAction>();
    plugins.Unregister<TBeepAction>();
    plugins.Unregister<TExecuteProgramAction>();
    plugins.Unregister<TExecuteProgramProperties>();
    plugins.Unregister<TSlideShowObjectEventTimer>();
    plugins.Unregister<TSlideShowObjectEventObjectFinished>();
    plugins.Unregister<TSlideShowObjectEventObjectStarted>();
}
