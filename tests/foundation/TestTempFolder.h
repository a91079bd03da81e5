// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

class TTempFolder {
public:
    TTempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "gctest-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TTempFolder() {
        std::error_code ec;
        // Make everything writable first so read-only leftovers do not stay behind.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_symlink()) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                                                std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    // The folder as a program path: backslashes and a trailing backslash.
    std::string Program() const {
        std::string s = path_.string() + "/";
        for (char& c : s)
            if (c == '/') c = '\\';
        return s;
    }
    void Write(const std::string& rel, const std::string& content = "x") const {
        std::filesystem::path p = path_ / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    bool Exists(const std::string& rel) const {
        return std::filesystem::exists(std::filesystem::symlink_status(path_ / rel));
    }

private:
    std::filesystem::path path_;
};
