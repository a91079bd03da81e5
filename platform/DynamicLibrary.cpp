#include "platform/DynamicLibrary.h"

#include "platform/Paths.h"

#include <dlfcn.h>

#include <cctype>
#include <string>

TModuleHandle LoadLibrary(const AnsiString& path) {
    if (path.empty())
        return nullptr;
    bool hasFolder = path.find_first_of("\\/") != AnsiString::npos;
    std::string file = hasFolder ? ResolvePath(path) : ToPosixPath(path);
    // Local binding keeps two copies of one library from sharing their symbols.
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

std::string UndecoratedName(std::string_view name) {
    if (name.size() < 3 || name.front() != '_')
        return std::string(name);
    size_t at = name.rfind('@');
    if (at == std::string_view::npos || at + 1 == name.size() || at < 2)
        return std::string(name);
    for (size_t i = at + 1; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return std::string(name);
    return std::string(name.substr(1, at - 1));
}

void* GetProcAddress(TModuleHandle module, std::string_view name) {
    if (!module || name.empty())
        return nullptr;
    std::string exact(name);
    if (void* p = dlsym(module, exact.c_str()))
        return p;
    std::string plain = UndecoratedName(name);
    if (plain == exact)
        return nullptr;
    return dlsym(module, plain.c_str());
}

void FreeLibrary(TModuleHandle module) {
    if (module)
        dlclose(module);
}
