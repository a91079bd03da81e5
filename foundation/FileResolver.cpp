#include "foundation/FileResolver.h"

#include "foundation/FileTools.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/FileSystem.h"
#include "platform/Names.h"
#include "platform/Paths.h"

#include <filesystem>
#include <system_error>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The path with its parent steps and links followed, as far as it exists.
std::string Normalised(const std::string& posix) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(posix, ec);
    if (ec) p = std::filesystem::path(posix).lexically_normal();
    return p.string();
}

}  // namespace

TFileResolver::TFileResolver() = default;

TFileResolver::TFileResolver(const AnsiString& programFolder) : programFolder_(programFolder) {}

TFileResolver::~TFileResolver() = default;

AnsiString TFileResolver::ProgramFolder() const { return programFolder_ ? *programFolder_ : AppDir; }

// A program path as the file system sees it from the program folder: drive letters are
// dropped, a name that is still relative is taken relative to the program folder.
AnsiString TFileResolver::FromProgramFolder(const AnsiString& p) const {
    const AnsiString rest = p.substr(ExtractFileDrive(p).size());
    if (!rest.empty() && IsSeparator(rest[0])) return rest;
    return ProgramFolder() + rest;
}

bool TFileResolver::Exists(const AnsiString& p) const {
    if (p.empty()) return false;
    const AnsiString path = FromProgramFolder(p);
    std::shared_ptr<IPendingFileWaiter> waiter;
    {
        std::lock_guard<std::mutex> guard(lock_);
        waiter = waiter_;
    }
    // A file still being extracted counts as there once it is out. Never under the lock:
    // the wait can be long, and other threads resolve meanwhile.
    if (waiter) waiter->WaitForFile(path);
    return FileExists(path);
}

bool TFileResolver::Allowed(const AnsiString& candidate) const {
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(lock_);
        folder = confinedTo_;
    }
    if (folder.empty()) return true;
    if (candidate.empty()) return false;
    const std::string path = Normalised(ResolvePath(FromProgramFolder(candidate)));
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

AnsiString TFileResolver::Resolve(const AnsiString& name, const AnsiString& baseFile) const {
    if (name.empty()) return AnsiString();
    if (name[0] == '?') return name;
    const AnsiString fileOnly = ExtractFileName(name);
    if (fileOnly.empty()) return AnsiString();
    const AnsiString nameDrive = ExtractFileDrive(name);
    const AnsiString programFolder = ProgramFolder();
    for (int pass = 0; pass < 2; ++pass) {
        const AnsiString folder = pass == 0 ? IncludeTrailingBackslash(ExtractFilePath(baseFile)) : programFolder;
        const AnsiString drive = ExtractFileDrive(folder);
        const AnsiString candidates[] = {
            name,
            folder + name,
            folder + fileOnly,
            drive + name.substr(nameDrive.size()),
            drive + fileOnly,
            drive + StripDrive(name),
        };
        for (const AnsiString& c : candidates)
            if (Allowed(c) && Exists(c)) return FromPosixPath(ResolvePath(FromProgramFolder(c)));
    }
    return AnsiString();
}

AnsiString TFileResolver::OpenableName(const AnsiString& stored, const AnsiString& found) const {
    if (!found.empty()) return found;
    if (!IsConfined()) return stored;
    // A web address reaches the network and nothing else; any other scheme ("file://")
    // would name a file outside the package.
    const AnsiString lower = AnsiLowerCase(stored.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0 ? stored : AnsiString();
}

void TFileResolver::Confine(const AnsiString& folder) {
    std::string normalised;
    if (!folder.empty()) {
        normalised = Normalised(ResolvePath(folder));
        if (normalised.empty() || normalised.back() != '/') normalised += '/';
    }
    std::lock_guard<std::mutex> guard(lock_);
    confinedTo_ = normalised;
}

bool TFileResolver::IsConfined() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !confinedTo_.empty();
}

void TFileResolver::SetPendingFileWaiter(std::shared_ptr<IPendingFileWaiter> waiter) {
    std::lock_guard<std::mutex> guard(lock_);
    waiter_ = std::move(waiter);
}

void TFileResolver::RemovePendingFileWaiter(const IPendingFileWaiter* waiter) {
    std::lock_guard<std::mutex> guard(lock_);
    if (waiter_.get() == waiter) waiter_.reset();
}

const IFileResolver& DefaultFileResolver() {
    static const TFileResolver resolver;
    return resolver;
}
