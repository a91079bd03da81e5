#include "TestSupport.h"
#include "platform/FolderOwner.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A child process that claims folder, says so through a pipe and then waits to be killed.
pid_t ClaimInChild(const std::string& folder) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        std::unique_ptr<TFolderOwner> owner = TFolderOwner::Claim(folder);
        const char c = owner ? '1' : '0';
        if (::write(ready[1], &c, 1) != 1) ::_exit(2);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    const bool claimed = ::read(ready[0], &c, 1) == 1 && c == '1';
    ::close(ready[0]);
    if (!claimed && child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

void Kill(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace

TEST(FolderOwner, AStartRemovesTheMarkedFoldersOfEndedRunsOnly) {
    TempDir dir;
    auto folder = [&](const std::string& name) {
        fs::create_directories(fs::path(dir / name) / "Show");
        dir.Write(name + "/Show/Slideshow.kls", "show");
        return std::string(dir / name);
    };
    // Killed with SIGKILL while it ran: nothing of its own could clean up.
    const pid_t killed = ClaimInChild(folder("ScreenSaver1001"));
    ASSERT_GT(killed, 0);
    Kill(killed);
    const pid_t alive = ClaimInChild(folder("ScreenSaver1002"));
    ASSERT_GT(alive, 0);
    std::unique_ptr<TFolderOwner> mine = TFolderOwner::Claim(folder("ScreenSaver1003"));
    ASSERT_NE(mine, nullptr);
    // Not ours: no marker, or a name of another kind.
    folder("ScreenSaver1004");
    const pid_t other = ClaimInChild(folder("Andere1005"));
    ASSERT_GT(other, 0);
    Kill(other);
    // A link named like a run folder leads to a dead run's folder elsewhere.
    TempDir elsewhere;
    fs::create_directories(elsewhere / "ScreenSaver7");
    const pid_t linked = ClaimInChild(elsewhere / "ScreenSaver7");
    ASSERT_GT(linked, 0);
    Kill(linked);
    fs::create_directory_symlink(elsewhere / "ScreenSaver7", dir / "ScreenSaver1006");

    EXPECT_EQ(TFolderOwner::RemoveAbandoned(dir.Path().string(), "ScreenSaver"), 1);
    EXPECT_FALSE(fs::exists(dir / "ScreenSaver1001"));
    for (const char* kept : {"ScreenSaver1002", "ScreenSaver1003", "ScreenSaver1004", "Andere1005", "ScreenSaver1006"}) {
        SCOPED_TRACE(kept);
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir / kept)));
    }
    EXPECT_TRUE(fs::exists(fs::path(elsewhere / "ScreenSaver7") / TFolderOwner::MarkerName));
    EXPECT_TRUE(fs::exists(fs::path(dir / "ScreenSaver1003") / "Show" / "Slideshow.kls"));

    // Once the live run has ended, its folder goes too; this run's stays while it holds it.
    Kill(alive);
    EXPECT_EQ(TFolderOwner::RemoveAbandoned(dir.Path().string(), "ScreenSaver"), 1);
    EXPECT_FALSE(fs::exists(dir / "ScreenSaver1002"));
    EXPECT_TRUE(fs::exists(dir / "ScreenSaver1003"));
    mine.reset();
    EXPECT_EQ(TFolderOwner::RemoveAbandoned(dir.Path().string(), "ScreenSaver"), 1);
    EXPECT_FALSE(fs::exists(dir / "ScreenSaver1003"));
}
