// Extracting the screen saver's package on a thread, so that its show starts as soon as
// what the start needs is out instead of after the whole copy: the show document
// "Lumivor\Slideshow.kls", "settings.dat", "fmod.dll" and the fonts ("Fonts\..." beside
// the show or at the top), names matched without regard to case. The rest follows in
// directory order, which is show order; a file of the folder that the show resolves
// before its turn is extracted next and waited for.
// A run may hold the rest back until its first picture is on screen: the copy would
// otherwise take the disk and memory bandwidth the start needs, more so the bigger the
// show. The rest's first item (the show's first picture) still comes out ahead of the
// hold, and so does a file the show asks for during it.
#pragma once

#include "platform/SysUtils.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class TFileResolver;
class TPackager;
class TRunEndWatch;

// Bytes free for new files on the file system that holds folder; below 0 when unknown.
using TFreeSpaceQuery = std::function<int64_t(const AnsiString& folder)>;
// The query the program uses: the file system's own answer.
int64_t QueryFreeSpace(const AnsiString& folder);

class TPackageExtraction {
public:
    explicit TPackageExtraction(TFreeSpaceQuery freeSpace = QueryFreeSpace);
    // Close: stops the thread, then deletes the folder.
    ~TPackageExtraction();
    TPackageExtraction(const TPackageExtraction&) = delete;
    TPackageExtraction& operator=(const TPackageExtraction&) = delete;

    // Opens the package appended to hostFile and starts extracting it into folder (made
    // for this extraction). From here on the extraction owns the folder: Close deletes
    // it once the thread has stopped. False, with the folder deleted already, when the
    // package does not open, an item's name could leave the folder (nothing is written
    // then), or the folder's file system has less free space than the items take.
    // Call once. With a hold above zero the items outside the first group wait until
    // ReleaseHold, or at most that long after Start, so a run that never draws still gets
    // its files. opened: the package of hostFile opened already (its directory is not
    // read again), or null. files: the resolver that waits for an item of the folder
    // the show asks for before it is out (it outlives the extraction), or null.
    bool Start(const AnsiString& hostFile, const AnsiString& folder,
               std::chrono::milliseconds hold = std::chrono::milliseconds(0),
               std::unique_ptr<TPackager> opened = nullptr, TFileResolver* files = nullptr);
    // Lets the rest come out; any thread, any number of times.
    void ReleaseHold();
    // Returns once the first group is out: True when all of it came out.
    bool WaitForFirstGroup();
    // Releases the hold and returns once every item is out or the extraction stopped:
    // True when all came out.
    bool WaitForAll();
    // Items out so far (package names), in the order they came out.
    std::vector<AnsiString> ExtractedItems() const;
    // Why Start failed, else why the first item that failed did; empty when none failed.
    AnsiString Error() const;
    // Items that failed so far; the show finds them missing.
    std::vector<AnsiString> FailedItems() const;
    // Cancels what is not out yet and waits for the thread. The folder stays. The run's
    // end (platform/RunEnd.h) cancels the same at once, from whichever thread asks for it,
    // so that nobody waits on the copy meanwhile.
    void Stop();
    // Stop, then deletes the folder. The program's runs end with this.
    void Close();
    // The folder given to Start, with a trailing backslash; empty before Start, after a
    // failed Start and after Close.
    const AnsiString& Folder() const { return folder_; }

private:
    struct TState;
    TFreeSpaceQuery freeSpace_;
    AnsiString folder_;
    AnsiString error_;
    TFileResolver* files_ = nullptr;
    std::shared_ptr<TState> state_;
    std::unique_ptr<TRunEndWatch> endWatch_;
    std::thread thread_;
};

// ExtractPackage of shell/ScreenSaverOptions.h is the same extraction without a thread.
