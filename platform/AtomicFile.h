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
    // failure costs nothing (extracted files). Raises EFCreateError when no temporary
    // can be made.
    explicit TAtomicFile(const std::string& target, bool durable = true);
    ~TAtomicFile() override;

    // Renames the temporary over the target, which keeps the permissions it had.
    // Raises EWriteError when that fails; the temporary is gone then.
    void Commit();

    const std::string& Target() const { return target_; }
    const std::string& TemporaryPath() const { return temp_; }

private:
    struct TTemporary {
        std::string Target;
        std::string Path;
        int Handle = -1;
    };
    static TTemporary MakeTemporary(const std::string& target);
    TAtomicFile(TTemporary temp, bool durable);
    [[noreturn]] void Fail(int error);

    std::string target_;
    std::string temp_;
    bool durable_;
    bool done_ = false;
};
