#include "ShellTestSupport.h"
#include "foundation/Packager.h"
#include "foundation/FileResolver.h"
#include "platform/DebugOutput.h"
#include "platform/Paths.h"
#include "shell/PackageExtraction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Items = std::vector<std::pair<AnsiString, std::vector<uint8_t>>>;

// Debug output that holds the writing thread at its first line until Release: the
// extraction thread names a failed item there, so a test can stop it at a known point.
class HoldingDebugOutput : public TDebugOutput {
public:
    HoldingDebugOutput() { SetDebugOutput(this); }
    ~HoldingDebugOutput() override {
        Release();
        SetDebugOutput(nullptr);
    }
    void Write(const AnsiString& text) override {
        std::unique_lock<std::mutex> guard(lock_);
        lines_.push_back(text);
        held_ = true;
        changed_.notify_all();
        changed_.wait(guard, [&] { return released_; });
    }
    void WaitUntilHeld() {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [&] { return held_; });
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock_);
        released_ = true;
        changed_.notify_all();
    }
    std::vector<AnsiString> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<AnsiString> lines_;
    bool held_ = false, released_ = false;
};

class PackageExtractionTest : public ::testing::Test {
protected:
    TempDir work;
    std::string host = work / "Sonne.scr";
    fs::path out = work.Path() / "out";
    AnsiString folder = FromPosixPath(out.string()) + "\\";
    // The run's resolver, which the extraction tells what is still coming.
    TFileResolver files;

    void SetUp() override { fs::create_directories(out); }
    // A file in the folder where an item needs a folder: that item cannot come out.
    void BlockFolder(const std::string& name) { WriteFileBytes((out / name).string(), {0}); }
    AnsiString ShowFile() const { return folder + "Lumivor\\Slideshow.kls"; }
};

TEST_F(PackageExtractionTest, FirstGroupComesFirstThenDirectoryOrder) {
    MakeHostWithPackage(host, {{"Lumivor\\Bild1.jpg", {1}},
                               {"lumivor\\FONTS\\a.ttf", {2}},
                               {"Lumivor\\Bild2.jpg", {3}},
                               {"FMOD.DLL", {4}},
                               {"Fonts\\b.ttf", {5}},
                               {"Lumivor\\Slideshow.kls", {6}},
                               {"Settings.dat", {7}},
                               {"Lumivor\\Slideshow.kls.bak", {8}}});
    TPackageExtraction extraction;
    ASSERT_TRUE(extraction.Start(host, folder, std::chrono::milliseconds(0), nullptr, &files));
    EXPECT_TRUE(extraction.WaitForFirstGroup());
    EXPECT_TRUE(extraction.WaitForAll());
    EXPECT_EQ(extraction.ExtractedItems(),
              (std::vector<AnsiString>{"lumivor\\FONTS\\a.ttf", "FMOD.DLL", "Fonts\\b.ttf", "Lumivor\\Slideshow.kls",
                                       "Settings.dat", "Lumivor\\Bild1.jpg", "Lumivor\\Bild2.jpg",
                                       "Lumivor\\Slideshow.kls.bak"}));
    // Names alike but for case share the folder that came out first.
    EXPECT_EQ(ReadFileBytes((out / "lumivor/Bild2.jpg").string()), (std::vector<uint8_t>{3}));
    EXPECT_TRUE(extraction.FailedItems().empty());
    // The run ends: the thread has stopped, the folder goes.
    extraction.Close();
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(PackageExtractionTest, ResolvingAFileNotOutYetWaitsAndTakesItNext) {
    MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1}},
                               {"block\\x.jpg", {2}},
                               {"Lumivor\\Bild1.jpg", {3}},
                               {"Lumivor\\Bild2.jpg", {4}},
                               {"Lumivor\\Bild3.jpg", {5}}});
    BlockFolder("block");
    HoldingDebugOutput debug;
    TPackageExtraction extraction;
    ASSERT_TRUE(extraction.Start(host, folder, std::chrono::milliseconds(0), nullptr, &files));
    ASSERT_TRUE(extraction.WaitForFirstGroup());
    debug.WaitUntilHeld();  // the thread names "block\x.jpg" and waits there

    AnsiString resolved;
    // Stored with another case and a drive, as a show from Windows has it.
    std::thread show([&] { resolved = files.Resolve("C:\\Bilder\\BILD3.JPG", ShowFile()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    debug.Release();
    show.join();
    EXPECT_EQ(resolved, FromPosixPath((out / "Lumivor/Bild3.jpg").string()));
    EXPECT_FALSE(extraction.WaitForAll());
    EXPECT_EQ(extraction.ExtractedItems(), (std::vector<AnsiString>{"Lumivor\\Slideshow.kls", "Lumivor\\Bild3.jpg",
                                                                    "Lumivor\\Bild1.jpg", "Lumivor\\Bild2.jpg"}));
    // Files of other folders and files the package does not hold are not waited for.
    EXPECT_EQ(files.Resolve("fehlt.jpg", ShowFile()), "");
}

TEST_F(PackageExtractionTest, ItemsThatFailCountAsMissing) {
    struct Case {
        const char* what;
        const char* blocked;
        bool firstGroupOut;
    } cases[] = {
        {"a later item", "Bilder", true},
        {"a font of the first group", "Fonts", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directories(out);
        MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1}},
                                   {"Fonts\\a.ttf", {2}},
                                   {"Bilder\\a.jpg", {3}},
                                   {"Lumivor\\b.jpg", {4}}});
        BlockFolder(c.blocked);
        TFakeDebugOutput debug;
        SetDebugOutput(&debug);
        TPackageExtraction extraction;
        ASSERT_TRUE(extraction.Start(host, folder, std::chrono::milliseconds(0), nullptr, &files));
        EXPECT_EQ(extraction.WaitForFirstGroup(), c.firstGroupOut);
        EXPECT_FALSE(extraction.WaitForAll());
        SetDebugOutput(nullptr);
        const AnsiString failed = AnsiString(c.blocked) + "\\a." + (c.firstGroupOut ? "jpg" : "ttf");
        EXPECT_EQ(extraction.FailedItems(), std::vector<AnsiString>{failed});
        ASSERT_EQ(debug.Lines.size(), 1u);
        EXPECT_NE(debug.Lines[0].find(failed), AnsiString::npos) << debug.Lines[0];
        // The rest still came out, and the failed one resolves as missing without a wait.
        EXPECT_TRUE(fs::exists(out / "Lumivor/b.jpg"));
        EXPECT_EQ(files.Resolve("..\\" + failed, ShowFile()), "");
    }
}

TEST_F(PackageExtractionTest, RefusedPackagesWriteNothingAndLeaveNoFolder) {
    const Items good = {{"Lumivor\\Slideshow.kls", {1, 2, 3}}, {"fmod.dll", {4, 5}}};
    struct Case {
        const char* what;
        Items items;
        int64_t free;  // what the free-space query answers
        bool damaged;
        bool starts;
        const char* said;  // in the debug line, after the package's path
    } cases[] = {
        {"a name that leaves the folder", {{"fmod.dll", {1}}, {"..\\evil.txt", {2}}}, -1, false, false,
         "unsafe item name \"..\\evil.txt\""},
        // Shown as the package tool lists it: no escape sequence reaches a terminal.
        {"a name with control characters", {{"fmod.dll", {1}}, {"..\\\x1b[2Jevil\x7f.txt", {2}}}, -1, false, false,
         "unsafe item name \"..\\^[[2Jevil^?.txt\""},
        {"an absolute name", {{"fmod.dll", {1}}, {"\\evil.txt", {2}}}, -1, false, false, "unsafe item name"},
        {"the run's own marker", {{"fmod.dll", {1}}, {".glowcanvas-run", {2}}}, -1, false, false, "marker"},
        {"two names alike but for case", {{"a.jpg", {1}}, {"A.JPG", {2}}}, -1, false, false, "same name"},
        {"a package cut short", good, -1, true, false, ""},
        {"one byte too little space", good, 4, false, false, "the show's items take 5 bytes, but "},
        {"just enough space", good, 5, false, true, ""},
        {"free space unknown", good, -1, false, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directories(out);
        MakeHostWithPackage(host, c.items);
        if (c.damaged) fs::resize_file(host, fs::file_size(host) - 30);
        int64_t asked = 0;
        TPackageExtraction extraction([&](const AnsiString& f) {
            asked += f == folder;
            return c.free;
        });
        TFakeDebugOutput debug;
        SetDebugOutput(&debug);
        EXPECT_EQ(extraction.Start(host, folder, std::chrono::milliseconds(0), nullptr, &files), c.starts);
        SetDebugOutput(nullptr);
        EXPECT_EQ(extraction.WaitForAll(), c.starts);
        if (c.starts) {
            EXPECT_EQ(asked, 1);
            EXPECT_TRUE(fs::exists(out / "fmod.dll"));
        } else {
            // Said why on the debug output, and the folder made for the run is gone.
            ASSERT_EQ(debug.Lines.size(), 1u);
            EXPECT_EQ(debug.Lines[0].rfind(PathText(FromPosixPath(host)) + ": ", 0), 0u) << debug.Lines[0];
            EXPECT_NE(debug.Lines[0].find(c.said), AnsiString::npos) << debug.Lines[0];
            EXPECT_NE(extraction.Error().find(c.said), AnsiString::npos) << extraction.Error();
            EXPECT_EQ(debug.Lines[0].find('\x1b'), AnsiString::npos);
            EXPECT_FALSE(fs::exists(out));
            EXPECT_FALSE(fs::exists(work.Path() / "evil.txt"));
        }
    }
}

TEST_F(PackageExtractionTest, APackageOpenedAlreadyIsCheckedAndExtractedAsItIs) {
    struct Case {
        const char* what;
        Items items;
        bool starts;
    } cases[] = {
        {"a sound package", {{"Lumivor\\Slideshow.kls", {1}}, {"Lumivor\\Bild1.jpg", {2}}}, true},
        {"a name that leaves the folder", {{"Lumivor\\Slideshow.kls", {1}}, {"..\\evil.txt", {2}}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directories(out);
        MakeHostWithPackage(host, c.items);
        auto opened = std::make_unique<TPackager>();
        ASSERT_TRUE(opened->OpenAppended(host));
        TFakeDebugOutput debug;
        SetDebugOutput(&debug);
        TPackageExtraction extraction;
        EXPECT_EQ(extraction.Start(host, folder, std::chrono::milliseconds(0), std::move(opened)), c.starts);
        SetDebugOutput(nullptr);
        EXPECT_EQ(extraction.WaitForAll(), c.starts);
        EXPECT_EQ(fs::exists(out / "Lumivor/Bild1.jpg"), c.starts);
        EXPECT_FALSE(fs::exists(work.Path() / "evil.txt"));
    }
}

TEST_F(PackageExtractionTest, StopMidWayReleasesWaitersAndJoins) {
    MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1}}, {"block\\x.jpg", {2}}, {"Lumivor\\Bild1.jpg", {3}}});
    BlockFolder("block");
    HoldingDebugOutput debug;
    auto extraction = std::make_unique<TPackageExtraction>();
    ASSERT_TRUE(extraction->Start(host, folder, std::chrono::milliseconds(0), nullptr, &files));
    debug.WaitUntilHeld();

    AnsiString resolved = "not asked";
    std::thread show([&] { resolved = files.Resolve("Bild1.jpg", ShowFile()); });
    // The owner ends the run while the thread is busy and the show waits for a file.
    std::thread owner([&] { extraction.reset(); });
    show.join();  // the stop lets the waiting show go on at once
    EXPECT_EQ(resolved, "");
    debug.Release();
    owner.join();
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace

// ---- holding the rest back until the run's first frame ----

class HeldExtractionTest : public PackageExtractionTest {
protected:
    // Long enough that nothing the tests wait for (10 s at most) comes from its end.
    static constexpr std::chrono::milliseconds kLongHold{20000};
    // With the first item of the rest: the show's first picture.
    const std::vector<AnsiString> notHeld{"Lumivor\\Slideshow.kls", "fmod.dll", "Lumivor\\Bild1.jpg"};
    const std::vector<AnsiString> all{"Lumivor\\Slideshow.kls", "fmod.dll", "Lumivor\\Bild1.jpg", "Lumivor\\Bild2.jpg",
                                      "Lumivor\\Bild3.jpg"};

    void SetUp() override {
        PackageExtractionTest::SetUp();
        MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1}},
                                   {"Lumivor\\Bild1.jpg", {2}},
                                   {"Lumivor\\Bild2.jpg", {3}},
                                   {"fmod.dll", {4}},
                                   {"Lumivor\\Bild3.jpg", {5}}});
    }
    // What has come out once the thread had time to write everything it may.
    static std::vector<AnsiString> OutAfterAWhile(const TPackageExtraction& extraction) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return extraction.ExtractedItems();
    }
    // Waits up to 10 s for every item to come out, without asking for them.
    bool AllComeOut(const TPackageExtraction& extraction) const {
        for (int i = 0; i < 1000 && extraction.ExtractedItems().size() < all.size(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return extraction.ExtractedItems() == all;
    }
};

TEST_F(HeldExtractionTest, TheRestWaitsButAFileTheShowAsksForComesOutAtOnce) {
    TPackageExtraction extraction;
    ASSERT_TRUE(extraction.Start(host, folder, kLongHold, nullptr, &files));
    ASSERT_TRUE(extraction.WaitForFirstGroup());
    EXPECT_EQ(OutAfterAWhile(extraction), notHeld);
    EXPECT_FALSE(fs::exists(out / "Lumivor/Bild2.jpg"));

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(files.Resolve("Bild3.jpg", ShowFile()), FromPosixPath((out / "Lumivor/Bild3.jpg").string()));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(10));
    // Only what was asked for: the other still waits.
    EXPECT_EQ(OutAfterAWhile(extraction), (std::vector<AnsiString>{"Lumivor\\Slideshow.kls", "fmod.dll",
                                                                   "Lumivor\\Bild1.jpg", "Lumivor\\Bild3.jpg"}));
}

TEST_F(HeldExtractionTest, EveryWayTheHoldEndsLetsAllOut) {
    struct Case {
        const char* what;
        std::chrono::milliseconds hold;
        std::function<void(TPackageExtraction&)> end;
    } cases[] = {
        {"the first frame's release", kLongHold, [](TPackageExtraction& e) { e.ReleaseHold(); }},
        {"a release twice", kLongHold, [](TPackageExtraction& e) { e.ReleaseHold(), e.ReleaseHold(); }},
        {"no first frame in time", std::chrono::milliseconds(50), [](TPackageExtraction&) {}},
        {"waiting for all", kLongHold,
         [](TPackageExtraction& e) {
             const auto start = std::chrono::steady_clock::now();
             EXPECT_TRUE(e.WaitForAll());
             EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directories(out);
        TPackageExtraction extraction;
        ASSERT_TRUE(extraction.Start(host, folder, c.hold, nullptr, &files));
        ASSERT_TRUE(extraction.WaitForFirstGroup());
        c.end(extraction);
        EXPECT_TRUE(AllComeOut(extraction));
        EXPECT_TRUE(extraction.FailedItems().empty());
    }
}

TEST_F(HeldExtractionTest, CloseDuringTheHoldEndsAtOnceAndRemovesTheFolder) {
    auto extraction = std::make_unique<TPackageExtraction>();
    ASSERT_TRUE(extraction->Start(host, folder, kLongHold, nullptr, &files));
    ASSERT_TRUE(extraction->WaitForFirstGroup());
    const auto start = std::chrono::steady_clock::now();
    extraction->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(fs::exists(out));
    // A file asked for after the run ended is not waited for.
    EXPECT_EQ(files.Resolve("Bild1.jpg", ShowFile()), "");
    extraction.reset();
}
