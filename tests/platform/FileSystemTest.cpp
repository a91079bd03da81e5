#include "platform/Clock.h"
#include "platform/FileSystem.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(FileSystem, MasksMatchLikeTheShell) {
    EXPECT_TRUE(MatchesMask("Bild.JPG", "*.jpg"));
    EXPECT_TRUE(MatchesMask("a", "?"));
    EXPECT_FALSE(MatchesMask("ab", "?"));
    EXPECT_TRUE(MatchesMask("abc", "*.*"));
    EXPECT_TRUE(MatchesMask("a.b.c", "*.*"));
    EXPECT_TRUE(MatchesMask("readme", "read*.*"));
    EXPECT_FALSE(MatchesMask("readme", "x*.*"));
    EXPECT_FALSE(MatchesMask("a.txt", "*.jpg"));
    EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_FALSE(MatchesMask("", "?"));
    EXPECT_TRUE(MatchesMask("\xE4pfel.txt", "\xC4*"));  // Windows-1252 letters fold too
    // A long run of stars against a long name stays quick.
    EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), std::string(100, '*') + "b"));
}

TEST(FileSystem, MissingFolderCannotBeListed) {
    std::vector<TDirEntry> entries;
    EXPECT_FALSE(ListDirectory("\\nonexistent-gc-folder\\", entries));
    EXPECT_TRUE(entries.empty());
}

TEST(Clock, ManualTickCountDrivesGetTickCount) {
    {
        TManualTickCount clock(0xFFFFFFF0u);
        TInstalled<SetTickSource> installedClock(clock);
        EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
        clock.Advance(0x20);
        EXPECT_EQ(GetTickCount(), 0x10u);
    }
    const uint32_t a = GetTickCount();
    const uint32_t b = GetTickCount();
    EXPECT_LT(b - a, 1000u);  // the real clock runs forward again
}

// A test that forgot to install its clock would otherwise run on real time unnoticed.
TEST(Clock, DrivingAManualTickCountThatIsNotInstalledAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TManualTickCount clock;
    EXPECT_DEATH(clock.Advance(1), "driven while not installed");
    EXPECT_DEATH(clock.Set(1), "driven while not installed");
}
