#include "foundation/Plugins.h"

#include "platform/Names.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>

const TGUID IID_IInterface{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---------------------------------------------------------------------------------
// Class-function tables.

namespace {

struct FunctionTables {
    std::mutex lock;
    std::unordered_map<const ClassInfo*, const TPluginClassFunctions*> tables;
};

FunctionTables& Tables() {
    static FunctionTables t;
    return t;
}

}  // namespace

void SetClassFunctions(const ClassInfo& cls, const TPluginClassFunctions* table) {
    FunctionTables& t = Tables();
    std::lock_guard<std::mutex> g(t.lock);
    t.tables[&cls] = table;
}

const TPluginClassFunctions* FindClassFunctions(const ClassInfo& cls) {
    FunctionTables& t = Tables();
    std::lock_guard<std::mutex> g(t.lock);
    for (const ClassInfo* c = &cls; c; c = c->Parent) {
        auto it = t.tables.find(c);
        if (it != t.tables.end()) return it->second;
    }
    return nullptr;
}

bool HasOwnClassFunctions(const ClassInfo& cls) {
    FunctionTables& t = Tables();
    std::lock_guard<std::mutex> g(t.lock);
    return t.tables.count(&cls) != 0;
}

GC_IMPLEMENT_PLUGIN(TPlugin, TObject)
GC_IMPLEMENT_PLUGIN(TInterfacedPlugin, TPlugin)

void TPlugin::Assign(const TPlugin&) {}

AnsiString PluginCaption(const ClassInfo& cls) { return ClassFunctionsOf<TPlugin>(cls).Caption(); }
AnsiString PluginDescription(const ClassInfo& cls) { return ClassFunctionsOf<TPlugin>(cls).Description(); }
void PluginVersionInfo(const ClassInfo& cls, AnsiString& a, AnsiString& b) {
    ClassFunctionsOf<TPlugin>(cls).GetVersionInfo(a, b);
}

std::unique_ptr<TPlugin> CreatePlugin(const ClassInfo& cls) {
    if (!cls.InheritsFrom(TPlugin::StaticClassInfo())) return nullptr;
    return CreateAs<TPlugin>(cls);
}

// ---------------------------------------------------------------------------------

int32_t TInterfacedPlugin::QueryInterface(const TGUID& iid, void** obj) {
    if (iid == IID_IInterface) {
        _AddRef();
        *obj = static_cast<IInterface*>(this);
        return S_OK;
    }
    *obj = nullptr;
    return E_NOINTERFACE;
}

int32_t TInterfacedPlugin::_AddRef() { return refCount_.fetch_add(1) + 1; }

int32_t TInterfacedPlugin::_Release() {
    const int32_t n = refCount_.fetch_sub(1) - 1;
    if (n == 0) delete this;
    return n;
}

bool TInterfacedPlugin::Supports(const TGUID& iid) {
    void* p = nullptr;
    if (QueryInterface(iid, &p) != S_OK || !p) return false;
    // QueryInterface added a reference for the caller; this question keeps none.
    _Release();
    return true;
}

void TInterfacedPlugin::Free() {
    int32_t expected = 1;
    // Only the owner's reference left: the object is ours to destroy.
    if (refCount_.compare_exchange_strong(expected, 0)) {
        delete this;
        return;
    }
    // Other references remain. Give up the owner's reference so that the last of them
    // ends the object, and tell the owner.
    const int32_t count = expected;
    _Release();
    throw Exception("Interface wird noch referenziert! " + std::to_string(count));
}

void FreePlugin(TPlugin* plugin) {
    if (!plugin) return;
    if (auto* ip = dynamic_cast<TInterfacedPlugin*>(plugin))
        ip->Free();
    else
        delete plugin;
}

void TPluginDeleter::operator()(TPlugin* p) const noexcept {
    try {
        FreePlugin(p);
    } catch (const std::exception& e) {
        LogError(e.what());
    }
}

void LogError(const AnsiString& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

// ---------------------------------------------------------------------------------

TPluginListItem::TPluginListItem(const ClassInfo& pluginClass, bool registerWithClasses)
    : pluginClass_(&pluginClass), registerWithClasses_(registerWithClasses) {
    if (registerWithClasses_) RegisterClass(pluginClass);
}

TPluginListItem::~TPluginListItem() {
    try {
        ReleaseInstance();
    } catch (const std::exception& e) {
        LogError(e.what());
    }
    if (registerWithClasses_) UnRegisterClass(*pluginClass_);
}

TPlugin* TPluginListItem::GetInstance() {
    if (!instance_) instance_ = CreatePlugin(*pluginClass_).release();
    return instance_;
}

void TPluginListItem::ReleaseInstance() {
    TPlugin* p = instance_;
    instance_ = nullptr;  // a refused free leaves the object to its interface holders
    FreePlugin(p);
}

// ---------------------------------------------------------------------------------

GC_IMPLEMENT_CLASS(TPlugins, TObject)

TPlugins::~TPlugins() {
    DetachSubsets();
    if (parent_) {
        auto& s = parent_->subsets_;
        s.erase(std::remove(s.begin(), s.end(), this), s.end());
    }
    if (!isSubset_) {
        for (auto it = items_.rbegin(); it != items_.rend(); ++it) delete *it;
    }
}

void TPlugins::DetachSubsets() {
    for (TPlugins* s : subsets_) {
        s->items_.clear();
        s->parent_ = nullptr;
    }
    subsets_.clear();
}

void TPlugins::Register(const ClassInfo& pluginClass) {
    if (!pluginClass.InheritsFrom(TPlugin::StaticClassInfo()))
        throw std::logic_error(AnsiString(pluginClass.Name) + " is no plug-in class");
    if (!HasOwnClassFunctions(pluginClass))
        throw std::logic_error(AnsiString(pluginClass.Name) + " must be implemented with GC_IMPLEMENT_PLUGIN");
    if (isSubset_) throw std::logic_error("a plug-in subset cannot register classes");
    if (IsRegistered(pluginClass)) return;
    items_.push_back(new TPluginListItem(pluginClass, true));
}

void TPlugins::Unregister(const ClassInfo& pluginClass) {
    if (isSubset_) throw std::logic_error("a plug-in subset cannot unregister classes");
    bool changed = false;
    for (size_t i = items_.size(); i-- > 0;) {
        if (&items_[i]->PluginClass() != &pluginClass) continue;
        if (!changed) DetachSubsets();
        changed = true;
        TPluginListItem* item = items_[i];
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        delete item;
    }
}

bool TPlugins::IsRegistered(const ClassInfo& pluginClass) const {
    return FindItemByName(pluginClass.Name) != nullptr;
}

const ClassInfo* TPlugins::FindClassByName(std::string_view name) const {
    TPluginListItem* item = FindItemByName(name);
    return item ? &item->PluginClass() : nullptr;
}

TPluginListItem* TPlugins::FindItemByName(std::string_view name) const {
    for (TPluginListItem* item : items_)
        if (SameText(item->PluginClass().Name, name)) return item;
    return nullptr;
}

std::unique_ptr<TPlugins> TPlugins::SubsetOf(const ClassInfo& baseClass) {
    std::vector<TPluginListItem*> found;
    for (TPluginListItem* item : items_)
        if (item->PluginClass().InheritsFrom(baseClass)) found.push_back(item);
    if (found.empty()) return nullptr;
    auto subset = std::make_unique<TPlugins>();
    subset->isSubset_ = true;
    subset->items_ = std::move(found);
    // A subset of a subset lives on the owning registry's changes too.
    TPlugins* owner = isSubset_ ? parent_ : this;
    if (owner) {
        subset->parent_ = owner;
        owner->subsets_.push_back(subset.get());
    }
    return subset;
}

void TPlugins::SortByName() {
    Sort([](TPluginListItem* a, TPluginListItem* b) {
        return CompareText(PluginCaption(a->PluginClass()), PluginCaption(b->PluginClass()));
    });
}

void TPlugins::Sort(const std::function<int(TPluginListItem*, TPluginListItem*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(),
                     [&](TPluginListItem* a, TPluginListItem* b) { return compare(a, b) < 0; });
}

int CompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpCaseAscii(a[i]));
        const auto cb = static_cast<unsigned char>(UpCaseAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}
