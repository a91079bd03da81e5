#include "shell/PackageExtraction.h"

#include "foundation/FileTools.h"
#include "foundation/Packager.h"
#include "foundation/FileResolver.h"
#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/FolderOwner.h"
#include "platform/FolderTools.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/RunEnd.h"
#include "resources/ScreenSaverStrings.h"
#include "shell/ScreenSaverOptions.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A program path in one spelling for comparing: backslashes only, no empty or "."
// elements, ".." applied, upper case (the file layer matches elements without regard
// to case).
AnsiString PathKey(const AnsiString& path) {
    // Built in place: a package's every item takes a few of these before its show starts.
    AnsiString key;
    key.reserve(path.size() + 1);
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == AnsiString::npos) end = path.size();
        const std::string_view element(path.data() + start, end - start);
        if (element == "..") {
            key.erase(std::min(key.rfind('\\'), key.size()));
        } else if (!element.empty() && element != ".") {
            key += '\\';
            key += AnsiUpperCase(element);
        }
        start = end + 1;
    }
    return key;
}

AnsiString WithBackslashes(AnsiString name) {
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

// Opens the package of hostFile for extraction into folder and checks it whole before
// anything is written: every name must stay inside the folder, no two may differ only
// in case (they would overwrite each other), and the items must fit into the free space.
// A packager opened already is checked as it is. why: the reason it fails, for the user.
bool OpenChecked(TPackager& packager, const AnsiString& hostFile, const AnsiString& folder,
                 const TFreeSpaceQuery& freeSpace, AnsiString& why) {
    const AnsiString what = PathText(hostFile) + ": ";
    if (packager.State() != TPackager::psReadingAppended && !packager.OpenAppended(hostFile)) {
        why = what + packager.LastError();
        OutputDebugString(why);
        return false;
    }
    const TFileList& list = packager.FileList();
    std::set<AnsiString> names;
    int64_t total = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TPackageFileListItem* item = list.GetItem(i);
        static const AnsiString marker = PathKey(TFolderOwner::MarkerName);
        const char* refused = !IsSafeItemName(item->FileName)                        ? "unsafe item name"
                          : PathKey(item->FileName) == marker                   ? "the name of the run's own marker"
                          : !names.insert(AnsiUpperCase(item->FileName)).second ? "a second item of the same name"
                                                                                 : nullptr;
        if (refused) {
            why = what + "the package cannot be extracted: " + refused + " \"" + PrintableName(item->FileName) + "\"";
            OutputDebugString(why);
            return false;
        }
        total += item->Size;
    }
    const int64_t free = freeSpace ? freeSpace(folder) : -1;
    if (free >= 0 && free < total) {
        // Named by the folder it is made in, which the user chose: the folder itself is
        // removed again.
        fs::path made(ResolvePath(folder));
        if (!made.has_filename()) made = made.parent_path();
        why = "the show's items take " + std::to_string(total) + " bytes, but " +
              Utf8ToAnsi(made.parent_path().string()) + " has " + std::to_string(free) + " free";
        OutputDebugString(what + why);
        return false;
    }
    return true;
}

// Writes one item below base (with a trailing backslash), making its folders; a failure
// is named on the debug output and in why.
bool ExtractBelow(TPackager& packager, const TPackageFileListItem& item, const AnsiString& base,
                  const AnsiString& hostFile, AnsiString& why, const std::atomic<bool>* stop = nullptr) {
    const AnsiString name = WithBackslashes(item.FileName);
    const AnsiString dir = ExtractFilePath(name);
    AnsiString reason;
    if (!ForceDirectories(base + dir))
        reason = "cannot make the folder " + PathText(base + dir);
    else if (!packager.ExtractItem(&item, TExactPath{ResolvePath(base + name)}, stop))
        reason = packager.LastError();
    if (reason.empty()) return true;
    why = PathText(hostFile) + ": cannot extract \"" + PrintableName(item.FileName) + "\": " + reason;
    OutputDebugString(why);
    return false;
}

// The items the start needs (see the header), by the key of their name.
bool IsFirstGroupKey(const AnsiString& key) {
    using namespace ScreenSaverStrings;
    static const AnsiString show = PathKey(AnsiString(ShowFolder) + ShowBaseName + "." + ShowExtension);
    static const AnsiString settings = PathKey("settings.dat"), library = PathKey(SoundLibraryName);
    static const AnsiString fonts = PathKey("Fonts") + "\\";
    static const AnsiString showFonts = PathKey(AnsiString(ShowFolder) + "Fonts") + "\\";
    return key == show || key == settings || key == library || key.rfind(fonts, 0) == 0 || key.rfind(showFonts, 0) == 0;
}

}  // namespace

int64_t QueryFreeSpace(const AnsiString& folder) {
    std::error_code ec;
    const fs::space_info space = fs::space(fs::path(ResolvePath(folder)), ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1)) return -1;
    return static_cast<int64_t>(space.available);
}

// ---- the extraction ----

// What the thread, the owner and any thread resolving a file share: the items' states
// and the queue of those not out yet. Also the waiter that the run's resolver asks.
struct TPackageExtraction::TState : IPendingFileWaiter {
    enum TItemState { isQueued, isWriting, isOut, isFailed };
    struct TItem {
        AnsiString Name;
        const TPackageFileListItem* Item;  // the thread's packager's, for the thread only
        TItemState State = isQueued;
        bool FirstGroup = false;
        // Asked for by a resolving thread: it comes out even during the hold.
        bool Wanted = false;
    };

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TItem> Items;
    std::deque<size_t> Queue;
    std::vector<size_t> Out;  // in the order they came out
    std::map<AnsiString, size_t> ByPath;  // PathKey of the destination -> item
    bool Stopping = false;
    // Stopping, for the item being copied: looked at without the lock between pieces.
    std::atomic<bool> StopCopy{false};
    bool Finished = false;
    // Why the first item that failed did.
    AnsiString Error;
    bool Held = false;
    std::chrono::steady_clock::time_point HoldEnd;

    // Next item to write, marked as being written; none when stopping or done. During the
    // hold only the first group and wanted items are taken; the wait ends at the release,
    // at a wanted item or at the hold's end.
    bool Take(size_t& index) {
        std::unique_lock<std::mutex> guard(Lock);
        const auto free = [&] {
            if (Stopping || Queue.empty() || !Held) return true;
            const TItem& next = Items[Queue.front()];
            return next.FirstGroup || next.Wanted;
        };
        if (!Changed.wait_until(guard, HoldEnd, free)) {
            Held = false;
            OutputDebugString("Extraction: no first frame in time, the rest comes out now");
        }
        if (Stopping || Queue.empty()) return false;
        index = Queue.front();
        Queue.pop_front();
        Items[index].State = isWriting;
        return true;
    }

    void Done(size_t index, bool ok, const AnsiString& why) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Items[index].State = ok ? isOut : isFailed;
            if (ok) Out.push_back(index);
            // An item cut short by the run's end is no failure to report.
            if (!ok && Error.empty() && !StopCopy) Error = why;
        }
        Changed.notify_all();
    }

    void Finish() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Finished = true;
        }
        Changed.notify_all();
    }

    bool Settled(const TItem& item) const { return item.State == isOut || item.State == isFailed; }

    // Waits until every item that pick chooses is settled (or nothing more will come);
    // True when all of them came out.
    template <typename Pick>
    bool WaitFor(Pick pick) {
        std::unique_lock<std::mutex> guard(Lock);
        const auto allSettled = [&] {
            for (const TItem& item : Items)
                if (pick(item) && !Settled(item)) return false;
            return true;
        };
        Changed.wait(guard, [&] { return Stopping || Finished || allSettled(); });
        for (const TItem& item : Items)
            if (pick(item) && item.State != isOut) return false;
        return true;
    }

    // Nothing more comes out; the item being copied stops within a piece, and its
    // partial file goes.
    void Cancel() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Stopping = true;
        }
        StopCopy = true;
        // After the flag: a piece the trace shows after this line was copied past the stop.
        TraceMoment("copy-stop-asked");
        Changed.notify_all();
    }

    void Release() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Held = false;
        }
        Changed.notify_all();
    }

    void WaitForFile(const AnsiString& path) override {
        std::unique_lock<std::mutex> guard(Lock);
        const auto found = ByPath.find(PathKey(path));
        if (found == ByPath.end()) return;
        const size_t index = found->second;
        if (Items[index].State == isQueued) {
            // Wanted now: it goes next, hold or not.
            Items[index].Wanted = true;
            std::erase(Queue, index);
            Queue.push_front(index);
            Changed.notify_all();
        }
        Changed.wait(guard, [&] { return Stopping || Finished || Settled(Items[index]); });
    }
};

TPackageExtraction::TPackageExtraction(TFreeSpaceQuery freeSpace) : freeSpace_(std::move(freeSpace)) {}

TPackageExtraction::~TPackageExtraction() { Close(); }

bool TPackageExtraction::Start(const AnsiString& hostFile, const AnsiString& folder, std::chrono::milliseconds hold,
                               std::unique_ptr<TPackager> opened, TFileResolver* files) {
    if (folder.empty() || state_) return false;
    folder_ = IncludeTrailingBackslash(folder);
    auto packager = opened ? std::move(opened) : std::make_unique<TPackager>();
    if (!OpenChecked(*packager, hostFile, folder_, freeSpace_, error_)) {
        packager.reset();
        // A failed start leaves nothing behind, not even the empty folder.
        DeleteTempFolder(folder_);
        folder_.clear();
        return false;
    }
    state_ = std::make_shared<TState>();
    TState& state = *state_;
    state.Held = hold.count() > 0;
    state.HoldEnd = std::chrono::steady_clock::now() + hold;
    const TFileList& list = packager->FileList();
    const AnsiString folderKey = PathKey(folder_);
    std::vector<size_t> rest;
    for (int i = 0; i < list.Count(); ++i) {
        const TPackageFileListItem* item = list.GetItem(i);
        const size_t index = state.Items.size();
        // The names are safe (checked above): none leaves the folder, so the folder's key
        // and the name's make the destination's.
        const AnsiString key = PathKey(item->FileName);
        state.Items.push_back({item->FileName, item, TState::isQueued, IsFirstGroupKey(key)});
        state.ByPath.emplace(folderKey + key, index);
        if (state.Items.back().FirstGroup) state.Queue.push_back(index);
        else rest.push_back(index);
    }
    state.Queue.insert(state.Queue.end(), rest.begin(), rest.end());
    // The rest's first item is, in show order, the show's first picture: it comes out
    // ahead of the hold, while the show loads and the window opens.
    if (!rest.empty()) state.Items[rest.front()].Wanted = true;
    files_ = files;
    if (files_) files_->SetPendingFileWaiter(state_);
    endWatch_ = std::make_unique<TRunEndWatch>([state = state_] { state->Cancel(); });
    thread_ = std::thread([state = state_, packager = std::move(packager), base = folder_, hostFile, files] {
        size_t index = 0;
        while (state->Take(index)) {
            AnsiString why;
            const bool ok = ExtractBelow(*packager, *state->Items[index].Item, base, hostFile, why, &state->StopCopy);
            state->Done(index, ok, why);
        }
        // Everything is out: resolving needs no more asking.
        if (files) files->RemovePendingFileWaiter(state.get());
        state->Finish();
    });
    return true;
}

bool TPackageExtraction::WaitForFirstGroup() {
    return state_ && state_->WaitFor([](const TState::TItem& item) { return item.FirstGroup; });
}

void TPackageExtraction::ReleaseHold() {
    if (state_) state_->Release();
}

bool TPackageExtraction::WaitForAll() {
    ReleaseHold();
    return state_ && state_->WaitFor([](const TState::TItem&) { return true; });
}

std::vector<AnsiString> TPackageExtraction::ExtractedItems() const {
    std::vector<AnsiString> out;
    if (!state_) return out;
    std::lock_guard<std::mutex> guard(state_->Lock);
    for (size_t index : state_->Out) out.push_back(state_->Items[index].Name);
    return out;
}

AnsiString TPackageExtraction::Error() const {
    if (!state_) return error_;
    std::lock_guard<std::mutex> guard(state_->Lock);
    return state_->Error;
}

std::vector<AnsiString> TPackageExtraction::FailedItems() const {
    std::vector<AnsiString> failed;
    if (!state_) return failed;
    std::lock_guard<std::mutex> guard(state_->Lock);
    for (const TState::TItem& item : state_->Items)
        if (item.State == TState::isFailed) failed.push_back(item.Name);
    return failed;
}

void TPackageExtraction::Stop() {
    if (!state_) return;
    if (files_) files_->RemovePendingFileWaiter(state_.get());
    state_->Cancel();
    if (thread_.joinable()) thread_.join();
}

void TPackageExtraction::Close() {
    Stop();
    endWatch_.reset();
    // Only now: the thread may have been writing into it until Stop returned.
    try {
        if (!folder_.empty()) DeleteTempFolder(folder_);
    } catch (const std::exception& e) {
        // Close runs from the destructor too, which must not throw.
        OutputDebugString(PathText(folder_) + ": " + e.what());
    }
    folder_.clear();
}

bool ExtractPackage(const AnsiString& hostFile, const AnsiString& folder) {
    TPackager packager;
    const AnsiString base = IncludeTrailingBackslash(folder);
    AnsiString why;
    if (!OpenChecked(packager, hostFile, base, QueryFreeSpace, why)) return false;
    const TFileList& list = packager.FileList();
    for (int i = 0; i < list.Count(); ++i)
        if (!ExtractBelow(packager, *list.GetItem(i), base, hostFile, why)) return false;
    return true;
}
