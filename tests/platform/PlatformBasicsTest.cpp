#include "TestSupport.h"
#include "platform/Charset.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"
#include "platform/Sdl.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

TEST(Charset, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(AnsiToUtf8("Gr\xFC\xDF" "e \x80"), "Gr\u00FC\u00DFe \u20AC");
}

TEST(Charset, UnmappableAndMalformedUtf8BecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToAnsi("a\u4E2Db"), "a?b");
    EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");          // cut sequence
    EXPECT_EQ(Utf8ToAnsi("\xFF\xFEx"), "??x");
    EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");  // emoji, four bytes
}

TEST(Names, ClassNamesFoldOnlyAsciiFileNamesFoldTheUpperHalf) {
    EXPECT_TRUE(SameText("TPackageFileListItem", "tpackagefilelistitem"));
    EXPECT_FALSE(SameText("\xE4", "\xC4"));
    EXPECT_TRUE(AnsiSameText("B\xE4ume\x9A", "B\xC4UME\x8A"));
    EXPECT_FALSE(AnsiSameText("\xF7", "\xD7"));  // division and multiplication signs are no letters
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    EXPECT_EQ(AnsiCompareText("Settings.DAT", "settings.dat"), 0);
    EXPECT_GT(AnsiCompareText("abcd", "ABC"), 0);
}

TEST(Paths, BackslashPathsMapToPosixAndFallBackToCaseInsensitiveMatches) {
    EXPECT_EQ(ToPosixPath("C:\\tmp\\Lumivor\\Slideshow.kls"), "/tmp/Lumivor/Slideshow.kls");
    EXPECT_EQ(ToPosixPath("Fonts\\"), "Fonts/");
    EXPECT_EQ(FromPosixPath("/tmp/a b/\xC3\xA4.txt"), "\\tmp\\a b\\\xE4.txt");

    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Lumivor");
    WriteFileBytes(dir / "Lumivor/SlideShow.KLS", {1, 2, 3});
    const AnsiString base = FromPosixPath(dir.Path().string());
    EXPECT_EQ(ResolvePath(base + "\\lumivor\\slideshow.kls"), dir / "Lumivor/SlideShow.KLS");
    EXPECT_TRUE(PathExists(base + "\\LUMIVOR\\SLIDESHOW.kls"));
    // A missing element keeps the names as written, for files about to be made.
    EXPECT_EQ(ResolvePath(base + "\\LUMIVOR\\new\\x.txt"), dir / "Lumivor/new/x.txt");
    EXPECT_FALSE(PathExists(base + "\\nothing"));
}

TEST(Streams, MemoryStreamReadsWritesSeeksAndResizes) {
    TMemoryStream m;
    m.WriteBuffer("abcdef", 6);
    EXPECT_EQ(m.GetSize(), 6);
    m.SetPosition(10);  // writing past the end fills the gap with zeros
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.GetSize(), 11);
    EXPECT_EQ(m.Bytes()[7], 0);
    char buf[4];
    m.SetPosition(4);
    EXPECT_EQ(m.Read(buf, 4), 4);
    EXPECT_EQ(m.Read(buf, 4), 3);
    m.SetPosition(9);
    EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);
    m.SetSize(2);
    EXPECT_EQ(m.GetPosition(), 2);
    EXPECT_THROW(m.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
}

TEST(Streams, FileStreamModesSizesAndErrors) {
    TempDir dir;
    const AnsiString name = dir / "f.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("0123456789", 10);
        f.SetSize(4);
        EXPECT_EQ(f.GetSize(), 4);
        EXPECT_EQ(f.GetPosition(), 4);
    }
    {
        TFileStream f(name, fmOpenRead);
        char buf[8] = {};
        EXPECT_THROW(f.ReadBuffer(buf, 5), EReadError);
        EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
    }
    EXPECT_THROW(TFileStream(dir / "missing", fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir / "no/such/dir/f", fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(dir.Path().string(), fmOpenRead), EFOpenError);
}

TEST(Streams, AFailedWriteNamesTheSystemsReason) {
    struct TCase {
        const char* Name;
        const char* File;
        uint16_t Mode;
        const char* Reason;
    };
    TempDir dir;
    dir.Write("r.bin", "x");
    // A device that is always full, as a disk is during an extraction that runs out.
    const TCase cases[] = {{"a full disk", "/dev/full", fmOpenWrite, "No space left on device"},
                           {"a file opened for reading", "r.bin", fmOpenRead, "Bad file descriptor"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = c.File[0] == '/' ? std::string(c.File) : dir / c.File;
        TFileStream f(TExactPath{file}, c.Mode);
        try {
            f.WriteBuffer("0123456789", 10);
            ADD_FAILURE() << "no error";
        } catch (const EWriteError& e) {
            EXPECT_EQ(AnsiString(e.what()), AnsiString("Stream write error: ") + c.Reason);
        }
    }
}

TEST(Streams, SaveToFileReplacesTheTargetWhole) {
    TempDir dir;
    WriteFileBytes(dir / "t.bin", {9, 9, 9, 9, 9});
    TMemoryStream m(std::vector<uint8_t>{1, 2});
    m.SaveToFile(dir / "t.bin");
    EXPECT_EQ(ReadFileBytes(dir / "t.bin"), (std::vector<uint8_t>{1, 2}));
    EXPECT_THROW(m.SaveToFile(dir / "no/dir/t.bin"), EStreamError);
    TMemoryStream back;
    back.LoadFromFile(dir / "t.bin");
    EXPECT_EQ(back.Bytes(), m.Bytes());
}

// Counted from the affinity mask, which taskset or a CPU set narrows below the machine's.
TEST(ProcessInfo, CoresAreThoseOfTheAffinityMask) {
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(ProcessCores(), CPU_COUNT(&all));
    std::vector<int> allowed;
    for (int cpu = 0; cpu < CPU_SETSIZE && allowed.size() < 2; ++cpu)
        if (CPU_ISSET(cpu, &all)) allowed.push_back(cpu);
    for (size_t n = 1; n <= allowed.size(); ++n) {
        cpu_set_t some;
        CPU_ZERO(&some);
        for (size_t i = 0; i < n; ++i) CPU_SET(allowed[i], &some);
        ASSERT_EQ(sched_setaffinity(0, sizeof some, &some), 0);
        EXPECT_EQ(ProcessCores(), int(n));
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
}

// Jobs run side by side on helpers that outlive the call; a job that runs jobs itself
// finishes even when every helper is busy; every job runs though one fails, and the
// failure of the lowest job number is the one raised.
TEST(ProcessInfo, RunOnThreadsKeepsItsHelpersAndNeverWaitsOnABusyOne) {
    std::atomic<bool> secondStarted{false};
    std::mutex idsLock;
    std::set<pid_t> ids;
    RunOnThreads(2, [&](int k) {
        {
            std::lock_guard<std::mutex> guard(idsLock);
            ids.insert(pid_t(::syscall(SYS_gettid)));
        }
        if (k == 1) secondStarted = true;
        // Each job waits for the other to start: only side by side do both end.
        for (int spin = 0; spin < 5000 && !secondStarted; ++spin) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_TRUE(secondStarted.load());
    ASSERT_EQ(ids.size(), 2u);
    for (pid_t id : ids)
        EXPECT_TRUE(std::filesystem::exists("/proc/self/task/" + std::to_string(id))) << "thread " << id << " is gone";

    std::atomic<int> ran{0};
    for (int round = 0; round < 20; ++round)
        RunOnThreads(8, [&](int) { RunOnThreads(8, [&](int) { ++ran; }); });
    EXPECT_EQ(ran.load(), 20 * 64);

    std::atomic<int> ranAll{0};
    try {
        RunOnThreads(6, [&](int k) {
            ++ranAll;
            if (k >= 2) throw std::runtime_error("job " + std::to_string(k));
        });
        ADD_FAILURE() << "no failure raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "job 2");
    }
    EXPECT_EQ(ranAll.load(), 6);
}

// The video's start reads no compose table of the locale, leaves one the user names, and
// leaves the environment as it found it, also when the start fails.
TEST(SdlStart, TheComposeTableIsLeftUnreadOnlyDuringTheStart) {
    struct TCase {
        const char* Given;  // XCOMPOSEFILE before, or null
        const char* During;
        bool Throws;
    };
    const TCase cases[] = {{nullptr, "/dev/null", false}, {nullptr, "/dev/null", true}, {"/home/a/.XCompose", "/home/a/.XCompose", false}};
    for (const TCase& c : cases) {
        if (c.Given) ::setenv("XCOMPOSEFILE", c.Given, 1);
        else ::unsetenv("XCOMPOSEFILE");
        std::string during;
        const auto start = [&] {
            const char* v = std::getenv("XCOMPOSEFILE");
            during = v ? v : "";
            if (c.Throws) throw std::runtime_error("no video");
        };
        if (c.Throws) EXPECT_THROW(WithoutComposeTable(start), std::runtime_error);
        else WithoutComposeTable(start);
        EXPECT_EQ(during, c.During);
        const char* after = std::getenv("XCOMPOSEFILE");
        EXPECT_EQ(after ? std::string(after) : std::string("(unset)"), c.Given ? c.Given : "(unset)");
    }
    ::unsetenv("XCOMPOSEFILE");
}
