#include "TestSupport.h"
#include "platform/FolderOwner.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <thread>

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

// What another user (or anyone who can write to a shared /tmp) may leave under a run
// folder's name: the marker a pipe, a folder, or a file and folder of someone else. A start
// neither waits on it nor counts it as a marker, and removes nothing of it.
TEST(FolderOwner, AMarkerThatIsNoPlainFileOfOursIsLeftAloneAtOnce) {
    struct TCase {
        const char* What;
        std::function<void(const fs::path& folder)> Make;
        bool NeedsRoot;
    };
    const fs::path marker = TFolderOwner::MarkerName;
    const TCase cases[] = {
        {"a pipe", [&](const fs::path& f) { ASSERT_EQ(::mkfifo((f / marker).c_str(), 0666), 0); }, false},
        {"a folder", [&](const fs::path& f) { fs::create_directory(f / marker); }, false},
        {"another user's",
         [&](const fs::path& f) {
             std::ofstream(f / marker) << "1\n";
             for (const fs::path& p : {f / marker, f / "Show/Slideshow.kls", f / "Show", f})
                 ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
             fs::permissions(f, fs::perms::all);
         },
         true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.NeedsRoot && ::geteuid() != 0) {
            std::cout << c.What << ": not tried, only root can give a file to another user\n";
            continue;
        }
        TempDir dir;
        const fs::path folder = dir.Path() / "ScreenSaver2001";
        fs::create_directories(folder / "Show");
        dir.Write("ScreenSaver2001/Show/Slideshow.kls", "show");
        c.Make(folder);
        EXPECT_TRUE(EndsWithinASecond([&] {
            if (TFolderOwner::RemoveAbandoned(dir.Path().string(), "ScreenSaver") != 0) ::_exit(1);
        }));
        EXPECT_TRUE(fs::exists(fs::symlink_status(folder / marker)));
        EXPECT_TRUE(fs::exists(folder / "Show/Slideshow.kls"));
    }
}

// A run's folder shows under its name only with its marker held, and only we can look
// into it; a run killed before its folder had its name leaves a pending folder, which the
// next start removes once that run's process is gone.
TEST(FolderOwner, AFolderIsMadeMarkedAndPrivateAndAKilledMakingIsCleanedUp) {
    TempDir dir;
    int error = -1;
    std::unique_ptr<TFolderOwner> mine = TFolderOwner::Create(dir / "ScreenSaver3001", error);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(error, 0);
    struct stat st;
    ASSERT_EQ(::stat((dir / "ScreenSaver3001").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_regular_file(fs::path(dir / "ScreenSaver3001") / TFolderOwner::MarkerName));
    // A name that is taken is never replaced, not even an empty folder.
    fs::create_directory(dir / "ScreenSaver3002");
    EXPECT_EQ(TFolderOwner::Create(dir / "ScreenSaver3002", error), nullptr);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(TFolderOwner::Create(dir / "ScreenSaver3001", error), nullptr);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(fs::directory_iterator(dir / "ScreenSaver3002"), fs::directory_iterator());
    // Only ours and the taken one are there: no pending folder stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);

    // Killed between making its pending folder and naming it.
    const pid_t killed = ::fork();
    if (killed == 0) {
        ::mkdir((dir / ("ScreenSaver3003.~" + std::to_string(::getpid()))).c_str(), 0700);
        ::_exit(0);
    }
    ::waitpid(killed, nullptr, 0);
    const std::string pending = dir / ("ScreenSaver3003.~" + std::to_string(killed));
    ASSERT_TRUE(fs::is_directory(pending));
    // One of a run that still lives stays.
    const std::string living = dir / ("ScreenSaver3004.~" + std::to_string(::getpid()));
    fs::create_directory(living);
    EXPECT_EQ(TFolderOwner::RemoveAbandoned(dir.Path().string(), "ScreenSaver"), 1);
    EXPECT_FALSE(fs::exists(pending));
    EXPECT_TRUE(fs::exists(living));
    EXPECT_TRUE(fs::exists(dir / "ScreenSaver3001"));
}
