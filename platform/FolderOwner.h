// Which of the run folders in a temporary folder belong to a living run. A run marks its
// folder with a marker file that it keeps locked while it lives; the system lets go of the
// lock however the run ends (a crash, SIGKILL, the out-of-memory killer), so a marked
// folder whose marker nobody holds was left behind and may go.
#pragma once

#include <functional>
#include <memory>
#include <string>

class TFolderOwner {
public:
    // Marks folder (an existing folder, a POSIX path) as this run's. Null when the marker
    // cannot be made; the folder is then left to its owner's own deletion.
    static std::unique_ptr<TFolderOwner> Claim(const std::string& folder);
    // Makes folder (a POSIX path in an existing folder) as this run's, readable by us
    // alone, with its marker held before the folder shows under its name: it is made
    // under a pending name of its own (the name + ".~" + our process id), marked, and
    // renamed without replacing anything, so a run killed at any moment leaves no
    // unmarked run folder. Null with error set (an errno value; EEXIST: the name is taken).
    static std::unique_ptr<TFolderOwner> Create(const std::string& folder, int& error);
    // Lets go of the lock (the marker goes with the folder).
    ~TFolderOwner();
    TFolderOwner(const TFolderOwner&) = delete;
    TFolderOwner& operator=(const TFolderOwner&) = delete;

    // Removes, in parent, every folder whose name is prefix followed by digits, that
    // carries a marker and whose marker no run holds, and the pending folders of runs
    // that are gone. Only a real folder of ours with a marker that is a plain file of
    // ours counts; anything else there (a pipe, a folder or another user's file by the
    // marker's name) is left alone without waiting on it. Unmarked folders stay. Answers
    // how many it removed.
    static int RemoveAbandoned(const std::string& parent, const std::string& prefix);

    // Removes folder (a POSIX path) with everything in it so that a run killed at any
    // moment of it leaves what RemoveAbandoned removes: the folder takes its pending name
    // first (that of a run that will be gone), then goes entry by entry, its marker last.
    // Links inside are removed, never followed; a folder that is a link, or none, is left
    // alone. step, when given, is called before each entry goes.
    static void Remove(const std::string& folder, const std::function<void()>& step = nullptr);

    // The marker's name inside a claimed folder.
    static const char* const MarkerName;

private:
    explicit TFolderOwner(int handle) : handle_(handle) {}
    int handle_;
};
