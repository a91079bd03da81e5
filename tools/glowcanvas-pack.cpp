// glowcanvas-pack: makes, appends, lists and extracts packages.
//   glowcanvas-pack create PACKAGE FOLDER
//   glowcanvas-pack append HOST FOLDER
//   glowcanvas-pack list FILE
//   glowcanvas-pack extract FILE FOLDER
// Errors print one line on stderr and exit with status 1.

#include "foundation/Packager.h"
#include "platform/Charset.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
    std::cerr << "glowcanvas-pack: " << message << "\n";
    return 1;
}

int Usage() {
    std::cerr << "usage: glowcanvas-pack create PACKAGE FOLDER\n"
                 "       glowcanvas-pack append HOST FOLDER\n"
                 "       glowcanvas-pack list FILE\n"
                 "       glowcanvas-pack extract FILE FOLDER\n";
    return 1;
}

struct SourceFile {
    AnsiString path;      // to open
    AnsiString itemName;  // inside the package, backslashes
};

// Every regular file below folder, in a stable order.
bool CollectFiles(const std::string& folder, std::vector<SourceFile>& files, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = "not a folder: " + folder;
        return false;
    }
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) found.push_back(it->path());
    if (ec) {
        error = "cannot read folder " + folder + ": " + ec.message();
        return false;
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& p : found) {
        const std::string rel = fs::relative(p, folder).generic_string();
        files.push_back({FromPosixPath(p.string()), FromPosixPath(rel)});
    }
    return true;
}

bool AddAll(TPackager& packager, const std::vector<SourceFile>& files, std::string& error) {
    for (const SourceFile& f : files) {
        if (!packager.AddFile(f.path, std::make_unique<TPackageFileListItem>(f.itemName))) {
            error = "cannot add " + AnsiToUtf8(f.path) + ": " + AnsiToUtf8(packager.LastError());
            return false;
        }
    }
    return true;
}

int Create(const std::string& package, const std::string& folder) {
    std::vector<SourceFile> files;
    std::string error;
    if (!CollectFiles(folder, files, error)) return Fail(error);
    // Built under a temporary name beside the target, renamed into place when complete.
    std::random_device rd;
    const std::string temp = package + ".tmp" + std::to_string(rd() % 1000000);
    TPackager packager;
    bool ok = packager.CreateFile(FromPosixPath(temp));
    if (!ok) error = "cannot create " + package + ": " + AnsiToUtf8(packager.LastError());
    if (ok) ok = AddAll(packager, files, error);
    if (!packager.Close() && ok) {
        ok = false;
        error = "cannot write " + package + ": " + AnsiToUtf8(packager.LastError());
    }
    if (ok && std::rename(temp.c_str(), package.c_str()) != 0) {
        ok = false;
        error = "cannot write " + package;
    }
    if (!ok) {
        std::remove(temp.c_str());
        return Fail(error);
    }
    return 0;
}

int Append(const std::string& host, const std::string& folder) {
    std::vector<SourceFile> files;
    std::string error;
    if (!CollectFiles(folder, files, error)) return Fail(error);
    std::error_code ec;
    const auto hostSize = fs::file_size(host, ec);
    if (ec) return Fail("cannot open " + host + ": " + ec.message());
    TPackager packager;
    bool ok = packager.AppendToFile(FromPosixPath(host));
    if (!ok) return Fail("cannot append to " + host + ": " + AnsiToUtf8(packager.LastError()));
    ok = AddAll(packager, files, error);
    if (!packager.Close() && ok) {
        ok = false;
        error = "cannot write " + host + ": " + AnsiToUtf8(packager.LastError());
    }
    if (!ok) {
        // Give the host back its own bytes.
        fs::resize_file(host, hostSize, ec);
        return Fail(error);
    }
    return 0;
}

bool Open(TPackager& packager, const std::string& file, std::string& error) {
    const AnsiString name = FromPosixPath(file);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "no such file: " + file;
        return false;
    }
    const bool ok = TPackager::HasAppendedPackage(name) ? packager.OpenAppended(name) : packager.OpenFile(name);
    if (!ok) error = "no readable package in " + file + ": " + AnsiToUtf8(packager.LastError());
    return ok;
}

int List(const std::string& file) {
    TPackager packager;
    std::string error;
    if (!Open(packager, file, error)) return Fail(error);
    for (int i = 0; i < packager.FileList().Count(); ++i) {
        const TPackageFileListItem* item = packager.FileList().GetItem(i);
        std::cout << AnsiToUtf8(item->FileName) << '\t' << item->Size << '\n';
    }
    return 0;
}

int Extract(const std::string& file, const std::string& folder) {
    TPackager packager;
    std::string error;
    if (!Open(packager, file, error)) return Fail(error);
    int failures = 0;
    for (int i = 0; i < packager.FileList().Count(); ++i) {
        const TPackageFileListItem* item = packager.FileList().GetItem(i);
        const std::string name = AnsiToUtf8(item->FileName);
        if (!IsSafeItemName(item->FileName)) {
            std::cerr << "glowcanvas-pack: refused unsafe item name " << name << "\n";
            ++failures;
            continue;
        }
        const fs::path dest = fs::path(folder) / ToPosixPath(item->FileName);
        std::error_code ec;
        fs::create_directories(dest.parent_path(), ec);
        if (ec || !packager.ExtractItem(item, FromPosixPath(dest.string()))) {
            std::cerr << "glowcanvas-pack: cannot extract " << name << ": "
                      << (ec ? ec.message() : AnsiToUtf8(packager.LastError())) << "\n";
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    PackagerModule::Initialize();
    const std::vector<std::string> args(argv + 1, argv + argc);
    int rc;
    if (args.size() == 3 && args[0] == "create") rc = Create(args[1], args[2]);
    else if (args.size() == 3 && args[0] == "append") rc = Append(args[1], args[2]);
    else if (args.size() == 2 && args[0] == "list") rc = List(args[1]);
    else if (args.size() == 3 && args[0] == "extract") rc = Extract(args[1], args[2]);
    else rc = Usage();
    PackagerModule::Finalize();
    return rc;
}
