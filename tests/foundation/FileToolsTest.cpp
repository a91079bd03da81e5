#include "foundation/FileTools.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(FileTools, CountItemsCountsSeparatorsPlusText) {
    EXPECT_EQ(CountItems(""), 0);
    EXPECT_EQ(CountItems("a"), 1);
    EXPECT_EQ(CountItems("a\r\nb"), 2);
    EXPECT_EQ(CountItems("a\r\n"), 2);
    EXPECT_EQ(CountItems("\r\n"), 1);
    EXPECT_EQ(CountItems("\r\n\r\n"), 2);
    EXPECT_EQ(CountItems("a\rb\nc"), 1);  // lone CR or LF is text
}

TEST(FileTools, GetItemAndDelimitedItem) {
    EXPECT_EQ(GetItem("a\r\nbb\r\nccc", 0), "a");
    EXPECT_EQ(GetItem("a\r\nbb\r\nccc", 1), "bb");
    EXPECT_EQ(GetItem("a\r\nbb\r\nccc", 2), "ccc");
    EXPECT_EQ(GetItem("a\r\nbb\r\nccc", 3), "");
    EXPECT_EQ(GetItem("a\r\nbb", -1), "");
    EXPECT_EQ(GetItem("\r\nx", 0), "");
    EXPECT_EQ(GetItem("\r\nx", 1), "x");
    EXPECT_EQ(GetDelimitedItem("*.jpg;*.png", ";", 1), "*.png");
    EXPECT_EQ(GetDelimitedItem("a||b", "||", 1), "b");
    EXPECT_EQ(GetDelimitedItem("abc", "", 0), "abc");
    EXPECT_EQ(GetDelimitedItem("abc", "", 1), "");
}

TEST(FileTools, StringHelpers) {
    EXPECT_EQ(TrimBlanks("  a b \t "), "a b \t");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(IncludeTrailingBackslash(""), "");
    EXPECT_EQ(IncludeTrailingBackslash("C:\\x"), "C:\\x\\");
    EXPECT_EQ(IncludeTrailingBackslash("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(RemoveFileExt("C:\\a.b\\pic.tar.gz"), "C:\\a.b\\pic.tar");
    EXPECT_EQ(RemoveFileExt("C:\\a.b\\pic"), "C:\\a.b\\pic");
    EXPECT_EQ(RemoveFileExt("name."), "name");
}

TEST(FileTools, RoundUpIsTheCeiling) {
    EXPECT_EQ(RoundUp(-1.5L), -1);
    EXPECT_EQ(RoundUp(2.0L), 2);
    EXPECT_EQ(RoundUp(2.1L), 3);
    EXPECT_EQ(RoundUp(-0.0L), 0);
    EXPECT_EQ(RoundUp(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundUp(1e30L), std::numeric_limits<int64_t>::max());
}

TEST(FileTools, IntegerList) {
    TIntegerList l;
    EXPECT_EQ(l.Add(5), 0);
    EXPECT_EQ(l.Add(-7), 1);
    l.Insert(0, 3);
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Get(0), 3);
    EXPECT_EQ(l.Get(2), -7);
    EXPECT_THROW(l.Get(3), Exception);
    EXPECT_THROW(l.Insert(5, 1), Exception);
    TIntegerList c;
    c.Add(99);
    c.Assign(l);
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c[1], 5);
    EXPECT_EQ(c.IndexOf(-7), 2);
}

TEST(FileTools, ShiftStateAndVersion) {
    EXPECT_EQ(MouseKeysToShiftState(MK_LBUTTON | MK_SHIFT), ssLeft | ssShift);
    EXPECT_EQ(MouseKeysToShiftState(MK_CONTROL | MK_MBUTTON | MK_RBUTTON), ssCtrl | ssMiddle | ssRight);
    TOSVersionInfo info;
    ASSERT_TRUE(GetOSVersionInfo(info));
    EXPECT_EQ(info.OSVersionInfoSize, 148u);
    EXPECT_TRUE(IsWindowsNT());
    EXPECT_FALSE(IsWindowsNT4OrEarlier());
}

TEST(FileTools, FileSizeAndErase) {
    TempDir t;
    t.Write("a.bin", std::string(1234, 'z'));
    fs::create_directory(t.Path() / "sub");
    EXPECT_EQ(GetFileSize(t.Program() + "a.bin"), 1234);
    EXPECT_EQ(GetFileSize(t.Program() + "A.BIN"), 1234);  // case-insensitive fallback
    EXPECT_EQ(GetFileSize(t.Program() + "missing"), -1);
    EXPECT_EQ(GetFileSize(t.Program() + "*.bin"), -1);     // a name, not a pattern
    EXPECT_EQ(GetFileSize(t.Program() + "sub"), -1);
    EXPECT_TRUE(EraseFile(t.Program() + "a.bin"));
    EXPECT_FALSE(t.Exists("a.bin"));
    EXPECT_FALSE(EraseFile(t.Program() + "a.bin"));  // a failed deletion is reported
    EXPECT_FALSE(EraseFile(t.Program() + "sub"));
}

TEST(FileTools, TempAndAppDataFolders) {
    const AnsiString tmp = GetTempDirectory();
    ASSERT_FALSE(tmp.empty());
    EXPECT_EQ(tmp.back(), '\\');
    const AnsiString data = GetAppDataDirectory();
    if (!data.empty()) {
        EXPECT_EQ(data.back(), '\\');
    }
}

TEST(FileTools, FindMatchingFilesListsExactlyTheFoundNames) {
    TempDir t;
    t.Write("b.jpg");
    t.Write("A.JPG");
    t.Write("c.txt");
    t.Write("noext");
    t.Write("sub/d.jpg");
    t.Write("sub/deeper/e.Jpg");
    const AnsiString dir = t.Program();
    EXPECT_EQ(FindMatchingFiles(dir, "*.jpg", false), dir + "A.JPG\r\n" + dir + "b.jpg");
    const AnsiString all = FindMatchingFiles(dir, "*.jpg", true);
    EXPECT_EQ(all, dir + "A.JPG\r\n" + dir + "b.jpg\r\n" + dir + "sub\\d.jpg\r\n" + dir +
                       "sub\\deeper\\e.Jpg");
    EXPECT_EQ(CountItems(all), 4);
    // Two masks that both match report the file once; "*.*" takes names without a dot.
    EXPECT_EQ(CountItems(FindMatchingFiles(dir, "*.txt\r\n*.*", false)), 4);
    EXPECT_EQ(FindMatchingFiles(dir, "*.png", true), "");
    EXPECT_EQ(FindMatchingFiles(dir + "nothere\\", "*.*", true), "");
    // Without trailing backslash the folder is still the folder.
    EXPECT_EQ(FindMatchingFiles(dir.substr(0, dir.size() - 1), "c.*", false), dir + "c.txt");
}

TEST(FileTools, DeleteMatchingFilesRecursesAndRemovesFolders) {
    TempDir t;
    t.Write("x/a.tmp");
    t.Write("x/.hidden");
    t.Write("x/noext");
    t.Write("x/keep.txt");
    t.Write("x/sub/b.tmp");
    t.Write("x/sub/.dot/c.tmp");
    const AnsiString dir = t.Program() + "x\\";
    // Two matching masks still delete once and report success.
    EXPECT_TRUE(DeleteMatchingFiles(dir, "*.tmp\r\na.*", true, false, false));
    EXPECT_FALSE(t.Exists("x/a.tmp"));
    EXPECT_FALSE(t.Exists("x/sub/b.tmp"));
    EXPECT_FALSE(t.Exists("x/sub/.dot/c.tmp"));  // dot-folders are entered
    EXPECT_TRUE(t.Exists("x/keep.txt"));
    EXPECT_TRUE(DeleteMatchingFiles(dir, "*.*", true, false, true));
    EXPECT_FALSE(t.Exists("x/.hidden"));
    EXPECT_FALSE(t.Exists("x/noext"));
    EXPECT_FALSE(t.Exists("x/sub"));
    EXPECT_TRUE(fs::is_empty(t.Path() / "x"));
    EXPECT_TRUE(DeleteMatchingFiles(t.Program() + "gone\\", "*.*", true, true, true));
}

TEST(FileTools, DeleteMatchingFilesReadOnly) {
    TempDir t;
    t.Write("ro.dat");
    fs::permissions(t.Path() / "ro.dat", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(DeleteMatchingFiles(t.Program(), "*.dat", false, false, false));
    EXPECT_TRUE(t.Exists("ro.dat"));
    EXPECT_TRUE(DeleteMatchingFiles(t.Program(), "*.dat", false, true, false));
    EXPECT_FALSE(t.Exists("ro.dat"));
}

TEST(FileTools, DeleteMatchingFilesNeverFollowsLinks) {
    TempDir outside;
    outside.Write("precious.txt");
    TempDir t;
    t.Write("in/f.txt");
    fs::create_directory_symlink(outside.Path(), t.Path() / "in" / "link");
    fs::create_symlink(outside.Path() / "precious.txt", t.Path() / "in" / "file.lnk");
    EXPECT_EQ(FindMatchingFiles(t.Program() + "in\\", "*.*", true),
              t.Program() + "in\\f.txt\r\n" + t.Program() + "in\\file.lnk");
    EXPECT_TRUE(DeleteMatchingFiles(t.Program() + "in\\", "*.*", true, true, true));
    EXPECT_TRUE(outside.Exists("precious.txt"));
    EXPECT_FALSE(t.Exists("in/link"));
    EXPECT_FALSE(t.Exists("in/file.lnk"));
    EXPECT_FALSE(t.Exists("in/f.txt"));
}

TEST(FileTools, DeleteMatchingFilesReportsFailedRemoval) {
    TempDir t;
    t.Write("y/sub/keep.txt");
    // The sub-folder is not emptied, so removing it fails.
    EXPECT_FALSE(DeleteMatchingFiles(t.Program() + "y\\", "*.tmp", true, false, true));
    EXPECT_TRUE(t.Exists("y/sub/keep.txt"));
}

TEST(FileTools, NamesWithoutAnsiFormAndCaseTwins) {
    TempDir t;
    t.Write("d/\xE6\x97\xA5\xE6\x9C\xAC.tmp");  // no Windows-1252 form
    t.Write("d/a.tmp");
    t.Write("d/A.TMP");
    t.Write("d/keep.txt");
    EXPECT_EQ(CountItems(FindMatchingFiles(t.Program() + "d", "*.tmp", false)), 3);
    EXPECT_TRUE(DeleteMatchingFiles(t.Program() + "d", "*.tmp", false, false, false));
    EXPECT_FALSE(t.Exists("d/\xE6\x97\xA5\xE6\x9C\xAC.tmp"));
    EXPECT_FALSE(t.Exists("d/a.tmp"));
    EXPECT_FALSE(t.Exists("d/A.TMP"));
    EXPECT_TRUE(t.Exists("d/keep.txt"));
}
