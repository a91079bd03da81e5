#include "foundation/ClassRegistry.h"

#include "platform/Names.h"

#include <algorithm>
#include <mutex>

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
    std::vector<const ClassInfo*> classes;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

const ClassInfo* FindLocked(Registry& r, std::string_view name) {
    for (const ClassInfo* c : r.classes)
        if (SameText(c->Name, name)) return c;
    return nullptr;
}

}  // namespace

void RegisterClass(const ClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    if (!FindLocked(r, cls.Name)) r.classes.push_back(&cls);
}

void UnRegisterClass(const ClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    r.classes.erase(std::remove(r.classes.begin(), r.classes.end(), &cls), r.classes.end());
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
