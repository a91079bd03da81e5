// Events of playable items and the actions they run: the base classes, their lists
// and stored form, the three event kinds and the actions run program / open address,
// beep, pause and play.
#pragma once

#include "document/PlayerServices.h"
#include "foundation/Plugins.h"
#include "foundation/Properties.h"

#include <cstdint>
#include <vector>

class TSlideShowObject;
class TOKFStreamWinTypes;
class TSlideShowObjectEventActionList;

// Class functions of events and actions.
struct TEventClassFunctions : TPluginClassFunctions {
    const ClassInfo* (*GetPropertiesClass)() = nullptr;
    AnsiString (*GetDisplayText)() = nullptr;
};

// The settings class of an event or action class reference; null for none.
const ClassInfo* EventPropertiesClass(const ClassInfo& cls);
// Its display text: its own, else its Caption.
AnsiString EventDisplayText(const ClassInfo& cls);

// The class table that events and actions share: the plug-in's entries, the settings
// class (none unless a kind names one) and the display text (empty: the Caption serves).
// A kind with settings names their class in GetPropertiesClass and makes its default
// settings object in its own constructor (the base constructor cannot see the kind).
struct TEventClassTable {
    using TClassFunctions = TEventClassFunctions;
    template <class T>
    static void FillClassFunctions(TEventClassFunctions& f) {
        TPlugin::FillClassFunctions<T>(f);
        f.GetPropertiesClass = &T::GetPropertiesClass;
        f.GetDisplayText = &T::GetDisplayText;
    }
    static const ClassInfo* GetPropertiesClass() { return nullptr; }
    static AnsiString GetDisplayText() { return AnsiString(); }
};

class TSlideShowObjectEvent : public TInterfacedPlugin, public TEventClassTable {
    GC_DECLARE_CLASS(TSlideShowObjectEvent)
public:
    using TEventClassTable::FillClassFunctions;
    using TEventClassTable::TClassFunctions;

    TSlideShowObjectEvent();
    ~TSlideShowObjectEvent() override;

    TSlideShowObjectEventActionList* CreateActionList();
    virtual void AssignEventData(const TSlideShowObjectEvent& source);
    virtual void AssignEvent(const TSlideShowObjectEvent& source);
    void Assign(const TPlugin& source) override;
    virtual bool WriteData(TOKFStreamWinTypes& stream);
    virtual bool ReadData(TOKFStreamWinTypes& stream);

    TSlideShowObjectEventActionList* ActionList() const { return actionList_.get(); }
    TProperties* Properties() const { return properties_.get(); }

protected:
    std::unique_ptr<TSlideShowObjectEventActionList> actionList_;
    TPluginPtr<TProperties> properties_;
};

class TSlideShowObjectEventObjectStarted : public TSlideShowObjectEvent {
    GC_DECLARE_CLASS(TSlideShowObjectEventObjectStarted)
public:
    static AnsiString Caption() { return "Objekt gestartet"; }
    static AnsiString Description();
};

class TSlideShowObjectEventObjectFinished : public TSlideShowObjectEvent {
    GC_DECLARE_CLASS(TSlideShowObjectEventObjectFinished)
public:
    static AnsiString Caption() { return "Objekt beendet"; }
    static AnsiString Description();
};

// Fires once when the show time reaches the item's start + Offset. The offset is kept
// in the stored event block after the event's data, where older readers skip it.
class TSlideShowObjectEventTimer : public TSlideShowObjectEvent {
    GC_DECLARE_CLASS(TSlideShowObjectEventTimer)
public:
    static AnsiString Caption() { return "Timer"; }

    void AssignEventData(const TSlideShowObjectEvent& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;

    int32_t Offset = -1;
    bool Fired = false;
};

// A new settings object of an action's settings class; null for a class that is none.
TPluginPtr<TProperties> NewProperties(const ClassInfo* cls);

class TSlideShowObjectEventAction : public TInterfacedPlugin, public TEventClassTable {
    GC_DECLARE_CLASS(TSlideShowObjectEventAction)
public:
    using TEventClassTable::FillClassFunctions;
    using TEventClassTable::TClassFunctions;

    TSlideShowObjectEventAction();
    ~TSlideShowObjectEventAction() override;

    void Assign(const TPlugin& source) override;
    // The event classes the action may be attached to.
    virtual std::vector<const ClassInfo*> GetEventClasses() const { return {}; }
    virtual void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event);
    virtual bool WriteData(TOKFStreamWinTypes& stream);
    virtual bool ReadData(TOKFStreamWinTypes& stream);

    TProperties* Properties() const { return properties_.get(); }

protected:
    TPluginPtr<TProperties> properties_;
};

// Owning lists of events and of actions.
template <class T>
class TEventEntryList {
public:
    TEventEntryList() = default;
    TEventEntryList(const TEventEntryList&) = delete;
    TEventEntryList& operator=(const TEventEntryList&) = delete;
    virtual ~TEventEntryList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    T* GetItem(int i) const { return i >= 0 && i < Count() ? items_[static_cast<size_t>(i)].get() : nullptr; }
    T* First() const { return GetItem(0); }
    T* Last() const { return GetItem(Count() - 1); }
    // Takes the entry.
    int Add(T* entry) {
        if (!entry) return -1;
        items_.emplace_back(entry);
        return Count() - 1;
    }
    int Insert(int i, T* entry) {
        if (!entry || i < 0 || i > Count()) return -1;
        items_.emplace(items_.begin() + i, entry);
        return i;
    }
    // Frees the entry; its former index or -1.
    int Remove(T* entry) {
        for (int i = 0; i < Count(); ++i)
            if (items_[static_cast<size_t>(i)].get() == entry) {
                items_.erase(items_.begin() + i);
                return i;
            }
        return -1;
    }
    void Clear() { items_.clear(); }

protected:
    std::vector<TPluginPtr<T>> items_;
};

class TSlideShowObjectEventList : public TEventEntryList<TSlideShowObjectEvent> {
public:
    void Assign(const TSlideShowObjectEventList& source);
    bool WriteData(TOKFStreamWinTypes& stream);
    // Unknown classes and classes that are no events are skipped with their block.
    bool ReadData(TOKFStreamWinTypes& stream);
    // The first event of exactly that class.
    TSlideShowObjectEvent* FindByClass(const ClassInfo& cls) const;
};

class TSlideShowObjectEventActionList : public TEventEntryList<TSlideShowObjectEventAction> {
public:
    void Assign(const TSlideShowObjectEventActionList& source);
    bool WriteData(TOKFStreamWinTypes& stream);
    bool ReadData(TOKFStreamWinTypes& stream);
};

// Settings of the run-program action. Kind: 0 program, 1 e-mail address, 2 URL, 3 document.
class TExecuteProgramProperties : public TPropertiesBlock<TExecuteProgramProperties, TProperties> {
    GC_DECLARE_CLASS(TExecuteProgramProperties)
public:
    static AnsiString GetEditorFrameClassNames() { return "TExecuteProgramActionPropertyEditorFrame"; }
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    uint8_t Kind = 0;
    AnsiString Target;
    AnsiString Parameters;
};

class TExecuteProgramAction : public TSlideShowObjectEventAction {
    GC_DECLARE_CLASS(TExecuteProgramAction)
public:
    static const ClassInfo* GetPropertiesClass() { return &TExecuteProgramProperties::StaticClassInfo(); }
    static AnsiString Caption() { return "Ausf\xFChren (Programm/URL/Datei)"; }
    static AnsiString Description() { return "Startet ein beliebiges Programm, \xF6" "ffnet eine Datei oder einen Internetlink"; }
    static void GetVersionInfo(AnsiString& a, AnsiString& b) {
        a = "1.0";
        b.clear();
    }

    TExecuteProgramAction();
    std::vector<const ClassInfo*> GetEventClasses() const override;
    void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event) override;
    TExecuteProgramProperties* Settings() const { return dynamic_cast<TExecuteProgramProperties*>(Properties()); }
};

class TBeepAction : public TSlideShowObjectEventAction {
    GC_DECLARE_CLASS(TBeepAction)
public:
    static AnsiString Caption() { return "Beep"; }
    static AnsiString Description() { return "Standard-Windows-Signal"; }
    void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event) override;
};

class TPausePlayerAction : public TSlideShowObjectEventAction {
    GC_DECLARE_CLASS(TPausePlayerAction)
public:
    static AnsiString Caption() { return "Pause"; }
    static AnsiString Description();
    void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event) override;
};

class TPlayPlayerAction : public TSlideShowObjectEventAction {
    GC_DECLARE_CLASS(TPlayPlayerAction)
public:
    static AnsiString Caption() { return "Play"; }
    static AnsiString Description();
    void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event) override;
};

// A high-priority event bound to an item (the sound fade derives from it).
class THighPrioritySlideShowObjectEvent : public THighPriorityEvent {
    GC_DECLARE_CLASS(THighPrioritySlideShowObjectEvent)
public:
    THighPrioritySlideShowObjectEvent(IPlayerServices* player, TSlideShowObject* item)
        : THighPriorityEvent(player), Item(item) {}
    TSlideShowObject* Item = nullptr;
};

// Registers the event kinds, the actions and the action settings.
void InitializeSlideShowObjectEvents(TPlugins& plugins);
void FinalizeSlideShowObjectEvents(TPlugins& plugins);
