// Plug-ins: classes created from a stored or configured name, the interfaced plug-in
// with its own reference count, and the registry that finds plug-in classes by name
// or by base class.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/Guid.h"
#include "platform/SysUtils.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------
// Interfaces by id.

// {00000000-0000-0000-C000-000000000046}
extern const TGUID IID_IInterface;

// The basic interface of reference-counted objects. Interfaces that later classes hand
// out derive from it virtually, so one object can implement several of them.
class IInterface {
public:
    virtual int32_t QueryInterface(const TGUID& iid, void** obj) = 0;
    virtual int32_t _AddRef() = 0;
    virtual int32_t _Release() = 0;

protected:
    ~IInterface() = default;
};

// Holds one interface reference: adds one on taking, releases one on letting go.
template <class I>
class TInterfaceRef {
public:
    TInterfaceRef() = default;
    TInterfaceRef(I* p) : p_(p) {  // implicit, like assigning an interface
        if (p_) p_->_AddRef();
    }
    TInterfaceRef(const TInterfaceRef& o) : TInterfaceRef(o.p_) {}
    TInterfaceRef(TInterfaceRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    TInterfaceRef& operator=(TInterfaceRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~TInterfaceRef() { Reset(); }
    void Reset() {
        I* p = p_;
        p_ = nullptr;
        if (p) p->_Release();
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    I* p_ = nullptr;
};

// ---------------------------------------------------------------------------------
// Class-level functions.
//
// A class reference (const ClassInfo&) answers its class functions without an
// instance: each plug-in class has a table of static functions, filled from the class
// itself when its ClassInfo is first made (so a subclass that does not redeclare a
// function inherits its parent's, as name lookup finds it). Families that add class
// functions derive their table from TPluginClassFunctions and declare their own
// FillClassFunctions; see TProperties.

struct TPluginClassFunctions {
    AnsiString (*Caption)() = nullptr;
    AnsiString (*GetCopyright)() = nullptr;
    AnsiString (*Description)() = nullptr;
    void (*GetVersionInfo)(AnsiString& a, AnsiString& b) = nullptr;
    virtual ~TPluginClassFunctions() = default;
};

// Keeps the table beside the ClassInfo; the macro below does it.
void SetClassFunctions(const ClassInfo& cls, const TPluginClassFunctions* table);
// The table of cls, or of its nearest ancestor that has one; null for none.
const TPluginClassFunctions* FindClassFunctions(const ClassInfo& cls);
// Whether cls was implemented with GC_IMPLEMENT_PLUGIN (it has a table of its own).
bool HasOwnClassFunctions(const ClassInfo& cls);

// In one .cpp, for every plug-in class: GC_IMPLEMENT_PLUGIN(TFoo, TParent) in place of
// GC_IMPLEMENT_CLASS (the class body still says GC_DECLARE_CLASS(TFoo)).
#define GC_IMPLEMENT_PLUGIN(Self, Parent)                                                     \
    const ::ClassInfo& Self::StaticClassInfo() {                                              \
        static const ::ClassInfo info{#Self, &Parent::StaticClassInfo(), ::ClassFactory<Self>()}; \
        static const bool tableSet = [] {                                                     \
            static Self::TClassFunctions table;                                               \
            Self::template FillClassFunctions<Self>(table);                                   \
            ::SetClassFunctions(info, &table);                                                \
            return true;                                                                      \
        }();                                                                                  \
        (void)tableSet;                                                                       \
        return info;                                                                          \
    }                                                                                         \
    const ::ClassInfo& Self::ClassType() const { return StaticClassInfo(); }

// ---------------------------------------------------------------------------------

class TPlugin : public TObject {
    GC_DECLARE_CLASS(TPlugin)
public:
    using TClassFunctions = TPluginClassFunctions;
    template <class T>
    static void FillClassFunctions(TPluginClassFunctions& f) {
        f.Caption = &T::Caption;
        f.GetCopyright = &T::GetCopyright;
        f.Description = &T::Description;
        f.GetVersionInfo = &T::GetVersionInfo;
    }

    TPlugin() = default;
    TPlugin(const TPlugin&) = delete;
    TPlugin& operator=(const TPlugin&) = delete;

    // Copies nothing here; subclasses copy what they hold.
    virtual void Assign(const TPlugin& source);

    // Class functions; a subclass redeclares the ones it answers differently.
    static AnsiString Caption() { return AnsiString(); }
    static AnsiString GetCopyright() { return AnsiString(); }
    static AnsiString Description() { return AnsiString(); }
    static void GetVersionInfo(AnsiString& a, AnsiString& b) {
        a.clear();
        b.clear();
    }
};

// The class functions reached through a class reference. cls must be a plug-in class.
AnsiString PluginCaption(const ClassInfo& cls);
AnsiString PluginDescription(const ClassInfo& cls);
void PluginVersionInfo(const ClassInfo& cls, AnsiString& a, AnsiString& b);

// The table of a family, checked: cls must descend from Family.
template <class Family>
const typename Family::TClassFunctions& ClassFunctionsOf(const ClassInfo& cls) {
    if (!cls.InheritsFrom(Family::StaticClassInfo()))
        throw std::logic_error(AnsiString(cls.Name) + " is no " + Family::StaticClassInfo().Name);
    // Every family root is implemented with GC_IMPLEMENT_PLUGIN, so the nearest table
    // of a descendant of Family is at least of Family's table type.
    auto* t = dynamic_cast<const typename Family::TClassFunctions*>(FindClassFunctions(cls));
    if (!t) throw std::logic_error(AnsiString(cls.Name) + " has no class functions");
    return *t;
}

// An instance through the class's virtual constructor, type-checked; null when cls is
// no T or cannot be constructed.
std::unique_ptr<TPlugin> CreatePlugin(const ClassInfo& cls);

// ---------------------------------------------------------------------------------

// A plug-in that can be handed out as an interface. It starts with one reference, its
// owner's. Interface holders add and release references; the owner ends the object's
// life with Free (or FreePlugin / TPluginDeleter), which checks that no interface
// reference is left.
class TInterfacedPlugin : public TPlugin, public virtual IInterface {
    GC_DECLARE_CLASS(TInterfacedPlugin)
public:
    TInterfacedPlugin() = default;

    int32_t QueryInterface(const TGUID& iid, void** obj) override;
    int32_t _AddRef() override;
    // Destroys the object when the count reaches 0, without any further check.
    int32_t _Release() override;
    // Whether the object implements the interface iid.
    virtual bool Supports(const TGUID& iid);

    int32_t RefCount() const { return refCount_.load(); }

    // The owner's free. With references left besides the owner's, it raises
    // "Interface wird noch referenziert! <count>" and does not destroy the object: the
    // owner's reference is given up, so the last interface reference destroys it.
    void Free();

private:
    std::atomic<int32_t> refCount_{1};
};

// Frees a plug-in the way its owner must: Free for interfaced plug-ins, else delete.
// Raises what Free raises.
void FreePlugin(TPlugin* plugin);

// Deleter for owners that hold plug-ins in unique_ptr: frees through FreePlugin and,
// since it must not throw, writes a refused free to the error log and goes on.
struct TPluginDeleter {
    void operator()(TPlugin* p) const noexcept;
};
template <class T>
using TPluginPtr = std::unique_ptr<T, TPluginDeleter>;

// Writes one line to the process's error log (stderr).
void LogError(const AnsiString& text);

// ---------------------------------------------------------------------------------

class TPluginListItem {
public:
    // With registerWithClasses the class also becomes known to the class registry.
    TPluginListItem(const ClassInfo& pluginClass, bool registerWithClasses);
    // Frees the instance (a refused free is logged) and, with the flag, unregisters
    // the class from the class registry.
    ~TPluginListItem();
    TPluginListItem(const TPluginListItem&) = delete;
    TPluginListItem& operator=(const TPluginListItem&) = delete;

    const ClassInfo& PluginClass() const { return *pluginClass_; }
    bool RegisterWithClasses() const { return registerWithClasses_; }

    // The shared instance, made through the class's virtual constructor on first call;
    // null when the class cannot be constructed.
    TPlugin* GetInstance();
    // Frees the shared instance; raises what FreePlugin raises.
    void ReleaseInstance();

private:
    const ClassInfo* pluginClass_;
    TPlugin* instance_ = nullptr;
    bool registerWithClasses_;
};

// The registry of plug-in classes. The main registry owns its entries; subsets made by
// SubsetOf share them and are emptied as soon as their registry unregisters a class or
// is destroyed, so a subset never hands out a freed entry.
class TPlugins : public TObject {
    GC_DECLARE_CLASS(TPlugins)
public:
    TPlugins() = default;
    ~TPlugins() override;
    TPlugins(const TPlugins&) = delete;
    TPlugins& operator=(const TPlugins&) = delete;

    // Adds an entry unless a class of that name is registered already. pluginClass
    // must be a plug-in class implemented with GC_IMPLEMENT_PLUGIN, else a class
    // function would silently answer for its parent (std::logic_error otherwise).
    void Register(const ClassInfo& pluginClass);
    template <class T>
    void Register() { Register(T::StaticClassInfo()); }
    // Frees every entry whose class is exactly pluginClass, from the last to the first.
    void Unregister(const ClassInfo& pluginClass);
    template <class T>
    void Unregister() { Unregister(T::StaticClassInfo()); }

    bool IsRegistered(const ClassInfo& pluginClass) const;
    const ClassInfo* FindClassByName(std::string_view name) const;
    TPluginListItem* FindItemByName(std::string_view name) const;
    int GetCount() const { return static_cast<int>(items_.size()); }
    TPluginListItem* GetItem(int index) const { return items_.at(static_cast<size_t>(index)); }

    // The entries whose class descends from baseClass, in registry order, in a new
    // registry that does not own them; null when there is none.
    std::unique_ptr<TPlugins> SubsetOf(const ClassInfo& baseClass);
    template <class T>
    std::unique_ptr<TPlugins> SubsetOf() { return SubsetOf(T::StaticClassInfo()); }
    bool OwnsItems() const { return !isSubset_; }

    // By CompareText of the classes' captions.
    virtual void SortByName();
    // compare(a, b) < 0 puts a first; equal entries keep their order.
    virtual void Sort(const std::function<int(TPluginListItem*, TPluginListItem*)>& compare);

private:
    void DetachSubsets();

    std::vector<TPluginListItem*> items_;
    bool isSubset_ = false;
    TPlugins* parent_ = nullptr;          // for a live subset: the registry it came from
    std::vector<TPlugins*> subsets_;      // live subsets of this registry
};

// A module's registration of its plug-in class, counted: the first Initialize registers
// the class, the Finalize that matches it unregisters it, extra Finalizes do nothing.
template <class T>
class TCountedRegistration {
public:
    void Initialize(TPlugins& plugins) {
        if (count_++ == 0) plugins.Register<T>();
    }
    void Finalize(TPlugins& plugins) {
        if (count_ > 0 && --count_ == 0) plugins.Unregister<T>();
    }

private:
    int count_ = 0;
};

// ASCII case-insensitive comparison like strcmp (the class library's CompareText).
int CompareText(std::string_view a, std::string_view b);
