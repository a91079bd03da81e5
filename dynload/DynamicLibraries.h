// Shared libraries opened on first use rather than linked: a start of the program (or of
// the sound library) then spends no time on libraries only some runs need. A table lists
// the functions its callers use, each with the library that exports it; the types come
// from the libraries' own headers.
#pragma once

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

// Libraries opened together, in order (each after the ones it needs), closed in reverse.
class TDynamicLibraries {
public:
    TDynamicLibraries() = default;
    TDynamicLibraries(const TDynamicLibraries&) = delete;
    TDynamicLibraries& operator=(const TDynamicLibraries&) = delete;
    ~TDynamicLibraries() { Close(); }

    // False, with the library that does not load named in error ("<what> library ..."),
    // when one does not; then nothing stays open.
    bool Open(const std::vector<std::string>& sonames, const char* what, std::string& error);
    // Function name of library part (an index into the sonames); null, with the function
    // and the library named in error, when it is missing.
    void* Resolve(size_t part, const char* name, std::string& error) const;
    void Close();
    // Leaves what is open open to the end of the process and forgets it, holding no memory:
    // a library that keeps a table and is itself unloaded then leaves nothing behind.
    void Keep();

private:
    std::vector<void*> handles_;
    std::vector<std::string> names_;
    std::string what_;
};

// A table of functions: LIST is an X-macro of X(part, name) entries. Declares struct Type
// with one pointer per function and a Resolve that fills them all or fails.
#define GC_DYNLOAD_FIELD(part, name) decltype(&::name) name = nullptr;
#define GC_DYNLOAD_RESOLVE(part, name)                                                          \
    table.name = reinterpret_cast<decltype(table.name)>(libraries.Resolve(part, #name, error)); \
    if (!table.name) return false;
#define GC_DYNLOAD_TABLE(Type, What, LIST)                                                  \
    struct Type {                                                                           \
        LIST(GC_DYNLOAD_FIELD)                                                              \
        static constexpr const char* kWhat = What;                                          \
        static bool Resolve(const TDynamicLibraries& libraries, Type& table, std::string& error) { \
            LIST(GC_DYNLOAD_RESOLVE)                                                        \
            return true;                                                                    \
        }                                                                                   \
    }

// One loading of a table's libraries; what it opened closes with it.
template <class TFunctions>
class TDynamicTable {
public:
    // Opens the libraries and resolves every function; false, with the library or the
    // function that is missing in error, when one is (then every pointer stays null).
    bool Load(const std::vector<std::string>& sonames, std::string& error) {
        functions_ = {};
        if (!libraries_.Open(sonames, TFunctions::kWhat, error)) return false;
        if (TFunctions::Resolve(libraries_, functions_, error)) return true;
        functions_ = {};
        libraries_.Close();
        return false;
    }
    const TFunctions& Functions() const { return functions_; }
    // The libraries stay loaded for good (see TDynamicLibraries::Keep).
    void Keep() { libraries_.Keep(); }

private:
    TDynamicLibraries libraries_;
    TFunctions functions_;
};

// The process's table, loaded by whichever thread asks first (the others wait for it)
// and kept to the end: callers' threads may still run while the process ends. Static
// storage rather than the heap, so that a shared library holding a caller and then
// unloaded leaves nothing behind. Null when it cannot load, with the reason in error
// (the same reason every time).
template <class TFunctions>
const TFunctions* LoadOnce(std::vector<std::string> (*sonames)(), std::string& error) {
    struct TShared {
        TDynamicTable<TFunctions> Table;
        char Error[512] = {};
        bool Loaded = false;
    };
    alignas(TShared) static unsigned char storage[sizeof(TShared)];
    static TShared* const shared = [sonames] {
        auto* s = new (storage) TShared;
        std::string why;
        s->Loaded = s->Table.Load(sonames(), why);
        // Nothing on the heap either: no destructor ever runs here.
        s->Table.Keep();
        std::snprintf(s->Error, sizeof s->Error, "%s", why.c_str());
        return s;
    }();
    if (!shared->Loaded) {
        error = shared->Error;
        return nullptr;
    }
    return &shared->Table.Functions();
}
