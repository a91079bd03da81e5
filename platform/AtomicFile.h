// Replacing a file whole or not at all.
#pragma once

#include "platform/Stream.h"

#include <string>

// The new content is written through this stream into a temporary file beside the
// target; Commit flushes it and its folder to disk and renames it over the target, so
// a reader sees the old file or the new one, never a torn one. A temporary that is not
// committed is removed again.
//
// The temporary is a hidden file with a short name of its own that carries the
// writer's process id (".<start of the target's name>.~<pid>-<random>.tmp"), so a
// target's name may use the file system's whole name length. The first writer of a
// process into a folder removes the temporaries there whose writers died before
// their commit.
class TAtomicFile : public TFileStream {
public:
    // target is an exact path; a link there leads to the file that gets replaced.
    // durable False leaves out the flushes to disk, for copies whose loss in a power
    // failure costs nothing (extracted files). mode, when given, is the new file's
    // permissions whatever the target had (0600 for private stores). Raises
    // EFCreateError when no temporary can be made.
    explicit TAtomicFile(const std::string& target, bool durable = true, int mode = -1);
    ~TAtomicFile() override;

    // Renames the temporary over the target, which keeps the permissions it had
    // unless a mode was given. Raises EWriteError when that fails; the temporary is
    // gone then.
    void Commit();

    // The system's error number behind this thread's last raised error, for callers
    // that word their own message.
    static int LastSystemError();

    // Removes the temporaries of target whose writers died, now rather than once per
    // process: for a store whose writers take a lock of their own and live long.
    static void RemoveDeadTemporaries(const std::string& target);

    const std::string& Target() const { return target_; }
    const std::string& TemporaryPath() const { return temp_; }

private:
    struct TTemporary {
        std::string Target;
        std::string Path;
        int Handle = -1;
    };
    static TTemporary MakeTemporary(const std::string& target, int mode);
    TAtomicFile(TTemporary temp, bool durable, int mode);
    [[noreturn]] void Fail(int error);

    std::string target_;
    std::string temp_;
    bool durable_;
    int mode_;
    bool done_ = false;
};
