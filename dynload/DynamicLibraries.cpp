#include "dynload/DynamicLibraries.h"

#include <dlfcn.h>

bool TDynamicLibraries::Open(const std::vector<std::string>& sonames, const char* what, std::string& error) {
    Close();
    what_ = what;
    for (const std::string& name : sonames) {
        // Local: the symbols stay out of the way of anything else the process loads.
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            error = what_ + " library " + name + " does not load" + (why ? std::string(": ") + why : "");
            Close();
            return false;
        }
        handles_.push_back(handle);
        names_.push_back(name);
    }
    return true;
}

void* TDynamicLibraries::Resolve(size_t part, const char* name, std::string& error) const {
    void* f = part < handles_.size() ? dlsym(handles_[part], name) : nullptr;
    if (!f) error = what_ + " function " + name + " is missing in " + (part < names_.size() ? names_[part] : "?");
    return f;
}

void TDynamicLibraries::Close() {
    for (size_t i = handles_.size(); i-- > 0;) dlclose(handles_[i]);
    handles_.clear();
    names_.clear();
}

void TDynamicLibraries::Keep() {
    std::vector<void*>().swap(handles_);
    std::vector<std::string>().swap(names_);
    std::string().swap(what_);
}
