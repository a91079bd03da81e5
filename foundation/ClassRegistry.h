// Class references and virtual constructors: one ClassInfo per class, and the
// process-wide, case-insensitive registry that recreates objects from stored names.
#pragma once

#include "platform/SysUtils.h"

#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

class TObject;

struct ClassInfo {
    const char* Name;
    const ClassInfo* Parent;     // null only for TObject
    TObject* (*Factory)();       // null for abstract classes and classes without a default constructor

    bool InheritsFrom(const ClassInfo& base) const;
    // A new instance through the factory, or null when the class has none.
    std::unique_ptr<TObject> Create() const;
};

// The root of every class that is created by name or asked for its class.
class TObject {
public:
    virtual ~TObject() = default;
    static const ClassInfo& StaticClassInfo();
    virtual const ClassInfo& ClassType() const;

    AnsiString ClassName() const { return ClassType().Name; }
    bool InheritsFrom(const ClassInfo& base) const { return ClassType().InheritsFrom(base); }
};

template <class T>
constexpr TObject* (*ClassFactory())() {
    if constexpr (!std::is_abstract_v<T> && std::is_default_constructible_v<T>)
        return +[]() -> TObject* { return new T(); };
    else
        return nullptr;
}

// A new object of cls as a T, through the class's virtual constructor; null when cls makes
// no object or none of kind T (what it made is freed then). Deleter: how the caller holds it.
template <class T, class Deleter = std::default_delete<T>>
std::unique_ptr<T, Deleter> CreateAs(const ClassInfo& cls) {
    std::unique_ptr<TObject> made = cls.Create();
    auto* object = dynamic_cast<T*>(made.get());
    if (!object) return nullptr;
    made.release();
    return std::unique_ptr<T, Deleter>(object);
}

// CreateAs, or a plain T when cls makes none of kind T.
template <class T>
std::unique_ptr<T> CreateAsOrNew(const ClassInfo& cls) {
    std::unique_ptr<T> made = CreateAs<T>(cls);
    return made ? std::move(made) : std::make_unique<T>();
}

// In the class body: GC_DECLARE_CLASS(TFoo); in one .cpp: GC_IMPLEMENT_CLASS(TFoo, TParent).
#define GC_DECLARE_CLASS(Self)                         \
public:                                                \
    static const ::ClassInfo& StaticClassInfo();       \
    const ::ClassInfo& ClassType() const override;

#define GC_IMPLEMENT_CLASS(Self, Parent)                                                    \
    const ::ClassInfo& Self::StaticClassInfo() {                                            \
        static const ::ClassInfo info{#Self, &Parent::StaticClassInfo(), ::ClassFactory<Self>()}; \
        return info;                                                                        \
    }                                                                                       \
    const ::ClassInfo& Self::ClassType() const { return StaticClassInfo(); }

// The registry. Registering a name that is already there is ignored (the first stays).
void RegisterClass(const ClassInfo& cls);
void UnRegisterClass(const ClassInfo& cls);
// Null when no class of that name (compared without regard to ASCII case) is registered.
const ClassInfo* FindClass(std::string_view name);

// Type-checked creation from a stored name: null when the name is unknown, when the
// class does not descend from Base (a stored name of the wrong kind counts as unknown),
// or when it cannot be constructed.
std::unique_ptr<TObject> CreateObjectOfClass(std::string_view name, const ClassInfo& base);

template <class Base>
std::unique_ptr<Base> CreateObject(std::string_view name) {
    std::unique_ptr<TObject> obj = CreateObjectOfClass(name, Base::StaticClassInfo());
    return std::unique_ptr<Base>(static_cast<Base*>(obj.release()));
}
