// glowcanvas-pack: makes, appends, lists and extracts packages.
// Paths on the command line reach the file system as typed; only the names of the
// items inside a package are Windows paths (backslashes, no regard to case).
// Exit status: 0 done, 1 the job failed (its reasons on stderr), 2 a wrong call.

#include "foundation/Packager.h"
#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "resources/ScreenSaverStrings.h"
#include "tools/ItemNames.h"
#include "tools/SaverMark.h"
#include "tools/ToolCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: glowcanvas-pack create PACKAGE FOLDER   a package of every file below FOLDER\n"
    "       glowcanvas-pack append HOST FOLDER      the same package at the end of HOST (a copy\n"
    "                                               of the glowcanvas program), in place of\n"
    "                                               one HOST carries already\n"
    "       glowcanvas-pack list FILE               name<TAB>size of each item\n"
    "       glowcanvas-pack extract FILE FOLDER [--force]\n"
    "                                               every item below FOLDER; --force replaces\n"
    "                                               files already there\n"
    "       glowcanvas-pack --help\n"
    "Items are named by their path below FOLDER; a link counts as the file or folder it\n"
    "leads to, under the link's own name.\n";

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Text for the terminal (UTF-8): control characters in cat -v's notation, so no name
// can send escape sequences.
std::string Printable(const std::string& text) { return PrintableUtf8(text); }

// The item name as the terminal shows it.
std::string Shown(const AnsiString& name) { return Printable(AnsiToUtf8(name)); }

int Fail(const std::string& message) {
    std::cerr << "glowcanvas-pack: " << Printable(message) << "\n";
    return 1;
}

struct SourceFile {
    std::string Path;    // to open
    std::string Shown;   // as the user would type it
    AnsiString ItemName; // inside the package, backslashes
};

using FolderId = std::pair<dev_t, ino_t>;

// Every regular file below a folder, in name order, each under the path the user sees
// (a link's own name); links are followed, each folder is packed once.
class Collector {
public:
    std::vector<SourceFile> Files;
    std::vector<std::string> Problems;

    void Collect(const std::string& folder) {
        struct stat st;
        if (::stat(folder.c_str(), &st) != 0) {
            Problems.push_back(folder + ": " + (errno == ENOENT ? "no such folder" : std::strerror(errno)));
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            Problems.push_back(folder + ": not a folder");
            return;
        }
        Walk(folder, folder, AnsiString(), {st.st_dev, st.st_ino});
    }

private:
    std::map<FolderId, std::string> folders_;  // every folder packed, as shown
    std::vector<FolderId> ancestors_;
    TItemNameClaims names_;

    bool Claim(const AnsiString& itemName, const std::string& shown, bool folder) {
        const std::string problem = names_.Claim(itemName, shown, folder);
        if (!problem.empty()) Problems.push_back(shown + ": " + problem);
        return problem.empty();
    }

    void Walk(const std::string& path, const std::string& shown, const AnsiString& prefix, FolderId id) {
        folders_[id] = shown;
        ancestors_.push_back(id);
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        if (ec) Problems.push_back(shown + ": " + ec.message());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) Visit(Join(path, name), Join(shown, name), prefix, name);
        ancestors_.pop_back();
    }

    void Visit(const std::string& path, const std::string& shown, const AnsiString& prefix, const std::string& name) {
        if (const char* problem = ItemNameProblem(name)) {
            Problems.push_back(shown + ": " + problem);
            return;
        }
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            std::error_code ec;
            if (fs::is_symlink(fs::symlink_status(path, ec)))
                Problems.push_back(shown + ": the link points nowhere (" + fs::read_symlink(path, ec).string() + ")");
            else
                Problems.push_back(shown + ": " + std::strerror(errno));
            return;
        }
        const AnsiString itemName = prefix + Utf8ToAnsi(name);
        if (S_ISDIR(st.st_mode)) {
            const FolderId id{st.st_dev, st.st_ino};
            if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end())
                Problems.push_back(shown + ": the link leads back to " + folders_[id] + " (a loop)");
            else if (folders_.count(id))
                Problems.push_back(shown + ": the same folder as " + folders_[id] + ", which is packed already");
            else if (Claim(itemName, shown, true))
                Walk(path, shown, itemName + "\\", id);
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            std::cerr << "glowcanvas-pack: " << Printable(shown) << ": not a file; left out\n";
            return;
        }
        if (Claim(itemName, shown, false)) Files.push_back({path, shown, itemName});
    }
};

bool CollectFiles(const std::string& folder, std::vector<SourceFile>& files) {
    Collector c;
    c.Collect(folder);
    for (const std::string& p : c.Problems) Fail(p);
    files = std::move(c.Files);
    return c.Problems.empty();
}

// Why path cannot be opened as a file; empty when it can be tried.
std::string FileProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return path + ": " + (errno == ENOENT ? "no such file" : std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return path + ": is a folder";
    if (!S_ISREG(st.st_mode)) return path + ": not a file";
    return std::string();
}

bool AddAll(TPackager& packager, const std::vector<SourceFile>& files, std::string& error) {
    for (const SourceFile& f : files) {
        try {
            TFileStream source(TExactPath{f.Path}, fmOpenRead | fmShareDenyWrite);
            if (packager.AddStream(source, std::make_unique<TPackageFileListItem>(f.ItemName))) continue;
            error = f.Shown + ": cannot be added: " + AnsiToUtf8(packager.LastError());
        } catch (const std::exception& e) {
            error = f.Shown + ": cannot be added: " + FileErrorReason(e);
        }
        return false;
    }
    return true;
}

// Adds the files to the package begun on out and puts it in place.
int Finish(TPackager& packager, TAtomicFile& out, const std::string& shown, const std::vector<SourceFile>& files) {
    std::string error;
    if (!AddAll(packager, files, error)) return Fail(error);
    if (!packager.Close()) return Fail(shown + ": cannot be written: " + AnsiToUtf8(packager.LastError()));
    out.Commit();
    return 0;
}

int Create(const std::string& package, const std::string& folder) {
    struct stat st;
    if (::stat(package.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(package + ": is a folder");
    std::vector<SourceFile> files;
    if (!CollectFiles(folder, files)) return 1;
    try {
        // Nothing appears under the package's name until it is whole.
        TAtomicFile out(package);
        TPackager packager;
        if (!packager.CreateOnStream(out)) return Fail(package + ": cannot be written: " + AnsiToUtf8(packager.LastError()));
        return Finish(packager, out, package, files);
    } catch (const std::exception& e) {
        return Fail(package + ": cannot be written: " + FileErrorReason(e));
    }
}

// Whether the files hold the show the screen saver plays.
bool HoldsTheShow(const std::vector<SourceFile>& files) {
    using namespace ScreenSaverStrings;
    const AnsiString show = AnsiUpperCase(AnsiString(ShowFolder) + ShowBaseName + "." + ShowExtension);
    for (const SourceFile& f : files)
        if (AnsiUpperCase(f.ItemName) == show) return true;
    return false;
}

int Append(const std::string& host, const std::string& folder) {
    if (const std::string problem = FileProblem(host); !problem.empty()) return Fail(problem);
    // A package belongs at the end of the saver program only: appended to a photo or
    // another program it would change a file the user needs and play nowhere.
    if (const std::string problem = SaverMark::NotTheSaver(host); !problem.empty())
        return Fail(host + ": " + problem + "; nothing was appended");
    // The new host is renamed over the old one, which the folder's permissions allow even
    // for a file its owner made read-only: refused as cp refuses to write it.
    if (::faccessat(AT_FDCWD, host.c_str(), W_OK, AT_EACCESS) != 0)
        return Fail(host + ": cannot be written: " + std::strerror(errno));
    std::vector<SourceFile> files;
    if (!CollectFiles(folder, files)) return 1;
    if (!HoldsTheShow(files))
        std::cerr << "glowcanvas-pack: " << Printable(folder)
                  << ": warning: holds no Lumivor/Slideshow.kls, the show the saver plays; it will have nothing "
                     "to play\n";
    try {
        TFileStream in(TExactPath{host}, fmOpenRead | fmShareDenyWrite);
        // The host's own bytes end where a package it carries begins.
        int64_t own = in.GetSize();
        if (TPackager::HasAppendedPackage(in)) {
            TPackager old;
            if (!old.OpenAppendedOnStream(in))
                return Fail(host + ": the package it carries is damaged (" + AnsiToUtf8(old.LastError()) +
                            "); nothing was appended");
            own = old.PackageStart();
        }
        // Built beside the host and renamed over it: a failure leaves the old file whole.
        TAtomicFile out(host);
        in.SetPosition(0);
        if (own > 0) out.CopyFrom(in, own);
        TPackager packager;
        if (!packager.AppendToStream(out)) return Fail(host + ": cannot be written: " + AnsiToUtf8(packager.LastError()));
        return Finish(packager, out, host, files);
    } catch (const std::exception& e) {
        return Fail(host + ": cannot be written: " + FileErrorReason(e));
    }
}

// Opens a package file of its own or the package appended to a host.
bool Open(TPackager& packager, std::unique_ptr<TFileStream>& stream, const std::string& file) {
    std::string problem = FileProblem(file);
    if (problem.empty()) {
        try {
            stream = std::make_unique<TFileStream>(TExactPath{file}, fmOpenRead | fmShareDenyWrite);
        } catch (const std::exception& e) {
            problem = file + ": " + FileErrorReason(e);
        }
    }
    if (!problem.empty()) {
        Fail(problem);
        return false;
    }
    if (TPackager::HasAppendedPackage(*stream)) {
        if (packager.OpenAppendedOnStream(*stream)) return true;
        Fail(file + ": the package it carries is damaged");
        return false;
    }
    uint8_t magic[4] = {};
    stream->SetPosition(0);
    const bool container = stream->Read(magic, 4) == 4 && std::memcmp(magic, "OKNF", 4) == 0;
    stream->SetPosition(0);
    if (packager.OpenOnStream(*stream)) return true;
    Fail(file + (container ? ": the package is damaged"
                           : ": not a package (neither a package file nor a program that carries one)"));
    return false;
}

int List(const std::string& file) {
    TPackager packager;
    std::unique_ptr<TFileStream> stream;
    if (!Open(packager, stream, file)) return 1;
    for (int i = 0; i < packager.FileList().Count(); ++i) {
        const TPackageFileListItem* item = packager.FileList().GetItem(i);
        std::cout << Shown(item->FileName) << '\t' << item->Size << '\n';
    }
    return 0;
}

// The items' files below folder that exist already, as the user would name them.
std::vector<std::string> FilesInTheWay(const TPackager& packager, const std::string& folder) {
    std::vector<std::string> found;
    for (int i = 0; i < packager.FileList().Count(); ++i) {
        const AnsiString& name = packager.FileList().GetItem(i)->FileName;
        if (!IsSafeItemName(name)) continue;
        const std::string dest = ResolvePathBelow(folder, name);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(dest, ec))) found.push_back(dest);
    }
    return found;
}

int Extract(const std::string& file, const std::string& folder, bool force) {
    TPackager packager;
    std::unique_ptr<TFileStream> stream;
    if (!Open(packager, stream, file)) return 1;
    if (!force) {
        const std::vector<std::string> inTheWay = FilesInTheWay(packager, folder);
        for (const std::string& dest : inTheWay)
            Fail(dest + ": exists already; nothing was extracted (--force replaces it)");
        if (!inTheWay.empty()) return 1;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return Fail(folder + ": not a folder");
    int failures = 0;
    std::map<AnsiString, AnsiString> extracted;  // upper-cased name -> name
    for (int i = 0; i < packager.FileList().Count(); ++i) {
        const TPackageFileListItem* item = packager.FileList().GetItem(i);
        const std::string shown = AnsiToUtf8(item->FileName);
        std::string problem;
        if (!IsSafeItemName(item->FileName)) {
            problem = shown + ": refused: an item name that would leave the folder or holds a control character";
        } else if (const auto [it, added] = extracted.try_emplace(AnsiUpperCase(item->FileName), item->FileName); !added) {
            problem = shown + ": refused: it would overwrite " + AnsiToUtf8(it->second) +
                      ", whose name differs only in case";
        } else {
            const std::string dest = ResolvePathBelow(folder, item->FileName);
            fs::create_directories(fs::path(dest).parent_path(), ec);
            if (ec)
                problem = shown + ": cannot be extracted: " + ec.message();
            else if (!packager.ExtractItem(item, TExactPath{dest}))
                problem = shown + ": cannot be extracted: " + FileErrorReason(Exception(packager.LastError()));
        }
        if (!problem.empty()) {
            Fail(problem);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    const int call = TakeCommand(argc, argv, "glowcanvas-pack", kUsage,
                                 {{"create", 3, 3}, {"append", 3, 3}, {"list", 2, 2}, {"extract", 3, 4}}, args);
    if (call >= 0) return call;
    const std::string& command = args[0];
    bool force = false;
    if (command == "extract") {
        const auto flag = std::find(args.begin() + 1, args.end(), "--force");
        force = flag != args.end();
        if (force) args.erase(flag);
        if (args.size() != 3) return WrongCall("glowcanvas-pack", kUsage, "extract takes a file, a folder and --force");
    }
    PackagerModule::Initialize();
    int rc;
    if (command == "create") rc = Create(args[1], args[2]);
    else if (command == "append") rc = Append(args[1], args[2]);
    else if (command == "list") rc = List(args[1]);
    else rc = Extract(args[1], args[2], force);
    PackagerModule::Finalize();
    return rc;
}
