#include "foundation/ClassRegistry.h"

#include "platform/Names.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>

bool ClassInfo::InheritsFrom(const ClassInfo& base) const {
    for (const ClassInfo* c = this; c; c = c->Parent)
        if (c == &base) return true;
    return false;
}

std::unique_ptr<TObject> ClassInfo::Create() const {
    return std::unique_ptr<TObject>(Factory ? Factory() : nullptr);
}

const ClassInfo& TObject::StaticClassInfo() {
    static const ClassInfo info{"TObject", nullptr, ::ClassFactory<TObject>()};
    return info;
}

const ClassInfo& TObject::ClassType() const { return StaticClassInfo(); }

namespace {

struct Registry {
    std::mutex lock;
    // By name in upper case: a show's load looks up a class for every item it reads.
    std::unordered_map<std::string, const ClassInfo*> byName;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

// Names match as SameText matches them: ASCII letters without regard to case.
std::string NameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return key;
}

const ClassInfo* FindLocked(Registry& r, std::string_view name) {
    const auto found = r.byName.find(NameKey(name));
    return found == r.byName.end() ? nullptr : found->second;
}

}  // namespace

void RegisterClass(const ClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    // The first of a name stays.
    r.byName.emplace(NameKey(cls.Name), &cls);
}

void UnRegisterClass(const ClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    if (const auto found = r.byName.find(NameKey(cls.Name)); found != r.byName.end() && found->second == &cls)
        r.byName.erase(found);
}

const ClassInfo* FindClass(std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    return FindLocked(r, name);
}

std::unique_ptr<TObject> CreateObjectOfClass(std::string_view name, const ClassInfo& base) {
    const ClassInfo* cls = FindClass(name);
    if (!cls || !cls->InheritsFrom(base)) return nullptr;
    return cls->Create();
}
