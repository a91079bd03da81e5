#include "TestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

size_t EntryCount(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

void Write(TAtomicFile& f, const std::string& text) { f.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }

std::string Text(const std::string& path) {
    const std::vector<uint8_t> b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(AtomicFile, CommitReplacesTheTargetWholeAndKeepsItsPermissions) {
    TempDir dir;
    const std::string target = dir / "show.kls";
    dir.Write("show.kls", "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::owner_exec);
    {
        TAtomicFile f(target);
        Write(f, "new content");
        // Until the commit the old file stands, and the temporary is hidden beside it.
        EXPECT_EQ(Text(target), "old");
        EXPECT_EQ(fs::path(f.TemporaryPath()).parent_path(), dir.Path());
        EXPECT_EQ(fs::path(f.TemporaryPath()).filename().string()[0], '.');
        f.Commit();
        EXPECT_THROW(f.Commit(), EWriteError);
    }
    EXPECT_EQ(Text(target), "new content");
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::owner_exec);
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    // Through a link the linked file is replaced; the link stays a link.
    fs::create_symlink("show.kls", dir.Path() / "link.kls");
    {
        TAtomicFile f(dir / "link.kls");
        Write(f, "via link");
        f.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.kls"));
    EXPECT_EQ(Text(target), "via link");
}

TEST(AtomicFile, AnUnfinishedOrFailedWriteLeavesNothing) {
    TempDir dir;
    dir.Write("keep.txt", "kept");
    {
        TAtomicFile f(dir / "keep.txt");
        Write(f, "never");
    }
    {
        TAtomicFile f(dir / "fresh.txt");
        Write(f, "never");
    }
    EXPECT_EQ(Text(dir / "keep.txt"), "kept");
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    EXPECT_THROW(TAtomicFile(dir / "no/such/folder/x"), EFCreateError);
    fs::create_directories(dir.Path() / "sub");
    try {
        TAtomicFile f(dir / "sub");
        ADD_FAILURE() << "a folder was taken for a file";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos) << e.what();
    }
    EXPECT_EQ(EntryCount(dir.Path()), 2u);
}

TEST(AtomicFile, TargetNamesMayUseTheWholeNameLength) {
    TempDir dir;
    // 255 bytes, the longest name, ending in two-byte characters.
    std::string name(235, 'x');
    for (int i = 0; i < 10; ++i) name += "\xC3\xA4";
    ASSERT_EQ(name.size(), 255u);
    {
        TAtomicFile f(dir / name);
        const std::string temp = fs::path(f.TemporaryPath()).filename().string();
        EXPECT_LT(temp.size(), 80u);
        EXPECT_EQ(temp.rfind("." + name.substr(0, 40) + ".~" + std::to_string(::getpid()) + "-", 0), 0u) << temp;
        Write(f, "long");
        f.Commit();
    }
    EXPECT_EQ(Text(dir / name), "long");
    name = std::string(39, 'y') + "\xC3\xA4" + std::string(200, 'y');
    TAtomicFile f(dir / name);
    // Never cut inside a character.
    EXPECT_EQ(fs::path(f.TemporaryPath()).filename().string().rfind("." + std::string(39, 'y') + ".~", 0), 0u);
}

TEST(AtomicFile, TemporariesOfDeadWritersAreRemovedThoseOfLiveOnesStay) {
    TempDir dir;
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const pid_t sleeper = ::fork();
    if (sleeper == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string stale = ".show.kls.~" + std::to_string(dead) + "-a1b2c3.tmp";
    const std::string otherStale = ".Paket mit langem Namen.~" + std::to_string(dead) + "-zzzzzz.tmp";
    const std::string busy = ".show.kls.~" + std::to_string(sleeper) + "-d4e5f6.tmp";
    const std::string mine = ".other.~" + std::to_string(::getpid()) + "-g7h8i9.tmp";
    const std::string lookalikes[] = {".notes.tmp", ".x.~" + std::to_string(dead) + "-abc.tmp",
                                      "show.kls.~" + std::to_string(dead) + "-a1b2c3.tmp",
                                      ".x.~" + std::to_string(dead) + "-ABCDEF.tmp"};
    for (const std::string& n : {stale, otherStale, busy, mine}) dir.Write(n, "part");
    for (const std::string& n : lookalikes) dir.Write(n, "user's");
    {
        TAtomicFile f(dir / "result.bin");
        f.Commit();
    }
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
    EXPECT_FALSE(dir.Exists(stale));
    EXPECT_FALSE(dir.Exists(otherStale));
    EXPECT_TRUE(dir.Exists(busy));
    EXPECT_TRUE(dir.Exists(mine));
    for (const std::string& n : lookalikes) EXPECT_TRUE(dir.Exists(n)) << n;
}

TEST(Paths, StoredNamesBelowAnExactFolderMapOnlyTheirOwnElements) {
    TempDir dir;
    // A folder name with a colon and a backslash is the file system's own.
    const std::string folder = dir / "x:y\\z";
    fs::create_directories(fs::path(folder) / "Lumivor");
    WriteFileBytes(folder + "/Lumivor/Bild.JPG", {1});
    EXPECT_EQ(ResolvePathBelow(folder, "lumivor\\bild.jpg"), folder + "/Lumivor/Bild.JPG");
    EXPECT_EQ(ResolvePathBelow(folder + "/", "LUMIVOR\\neu\\a.txt"), folder + "/Lumivor/neu/a.txt");
    EXPECT_EQ(ResolvePathBelow(dir / "missing", "a\\b"), dir / "missing/a/b");
}

// The case-insensitive match keeps a listing of each folder: changes made by others
// show, and a writer's own notes keep it current.
TEST(Paths, TheFolderListingFollowsChanges) {
    TempDir dir;
    const AnsiString base = FromPosixPath(dir.Path().string()) + "\\";
    EXPECT_EQ(ResolvePath(base + "readme.TXT"), dir / "readme.TXT");
    dir.Write("README.txt");
    EXPECT_EQ(ResolvePath(base + "readme.TXT"), dir / "README.txt");
    fs::rename(dir.Path() / "README.txt", dir.Path() / "Other.txt");
    EXPECT_EQ(ResolvePath(base + "readme.TXT"), dir / "readme.TXT");
    EXPECT_EQ(ResolvePath(base + "OTHER.TXT"), dir / "Other.txt");
    // A writer that says what it made is found at once.
    dir.Write("Made.txt");
    NoteCreatedPath(dir / "Made.txt");
    EXPECT_EQ(ResolvePath(base + "made.txt"), dir / "Made.txt");
}
