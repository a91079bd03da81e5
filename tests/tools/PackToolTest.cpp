#include "TestSupport.h"
#include "ToolRunSupport.h"
#include "foundation/Packager.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

fs::path SelfExe() { return fs::read_symlink("/proc/self/exe"); }

fs::path PackTool() { return SelfExe().parent_path().parent_path() / "tools" / "glowcanvas-pack"; }

// A command line with its stderr joining stdout.
ToolRun RunJoined(const std::string& command) { return RunCommand(command + " 2>&1"); }

void MakeTree(const TempDir& dir) {
    fs::create_directories(dir.Path() / "src/Lumivor");
    fs::create_directories(dir.Path() / "src/Fonts");
    std::vector<uint8_t> show(5000);
    for (size_t i = 0; i < show.size(); ++i) show[i] = static_cast<uint8_t>(i * 31);
    WriteFileBytes(dir / "src/Lumivor/Slideshow.kls", show);
    WriteFileBytes(dir / "src/settings.dat", {1, 2, 3});
    WriteFileBytes(dir / "src/Fonts/empty.ttf", {});
}

bool SameTree(const fs::path& a, const fs::path& b) {
    for (const auto& e : fs::recursive_directory_iterator(a)) {
        if (!e.is_regular_file()) continue;
        const fs::path other = b / fs::relative(e.path(), a);
        if (ReadFileBytes(e.path().string()) != ReadFileBytes(other.string())) return false;
    }
    return true;
}

}  // namespace

TEST(PackTool, CreatesListsAppendsAndExtractsRoundTrip) {
    TempDir dir;
    MakeTree(dir);
    const std::string tool = Q(PackTool().string());

    ASSERT_EQ(RunJoined(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src")).status, 0);
    const ToolRun list = RunJoined(tool + " list " + Q(dir / "show.pkg"));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Fonts\\empty.ttf\t0\nLumivor\\Slideshow.kls\t5000\nsettings.dat\t3\n");

    fs::copy_file(PackTool(), dir / "saver");
    const auto hostSize = fs::file_size(dir / "saver");
    ASSERT_EQ(RunJoined(tool + " append " + Q(dir / "saver") + " " + Q(dir / "src")).status, 0);
    EXPECT_GT(fs::file_size(dir / "saver"), hostSize);
    // The appended copy still runs, and reads the package on its own file.
    const ToolRun self = RunJoined(Q(dir / "saver") + " list " + Q(dir / "saver"));
    EXPECT_EQ(self.status, 0);
    EXPECT_EQ(self.out, list.out);

    ASSERT_EQ(RunJoined(tool + " extract " + Q(dir / "saver") + " " + Q(dir / "out")).status, 0);
    EXPECT_TRUE(SameTree(dir.Path() / "src", dir.Path() / "out"));
    EXPECT_TRUE(fs::exists(dir.Path() / "out/Fonts/empty.ttf"));
}

TEST(PackTool, ErrorsSayWhyAndLeaveNothingHalfWritten) {
    TempDir dir;
    MakeTree(dir);
    const std::string tool = Q(PackTool().string());

    ToolRun r = RunJoined(tool + " list " + Q(dir / "missing"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no such file"), std::string::npos);

    r = RunJoined(tool + " list " + Q(dir / "src/settings.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no readable package"), std::string::npos);

    r = RunJoined(tool + " create " + Q(dir / "x.pkg") + " " + Q(dir / "nofolder"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.Path() / "x.pkg"));

    r = RunJoined(tool + " create " + Q(dir / "no/such/x.pkg") + " " + Q(dir / "src"));
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(RunJoined(tool + " frobnicate").status, 1);

    // A damaged package: the list fails, and nothing is extracted under a finished name.
    ASSERT_EQ(RunJoined(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src")).status, 0);
    std::vector<uint8_t> bytes = ReadFileBytes(dir / "show.pkg");
    bytes.resize(bytes.size() - 30);
    WriteFileBytes(dir / "cut.pkg", bytes);
    EXPECT_EQ(RunJoined(tool + " list " + Q(dir / "cut.pkg")).status, 1);
}

TEST(PackTool, UnsafeItemNamesAreRefusedOnExtraction) {
    PackagerModule::Initialize();
    TempDir dir;
    {
        TPackager p;
        ASSERT_TRUE(p.CreateFile(dir / "evil.pkg"));
        TMemoryStream a(std::vector<uint8_t>{'o', 'k'});
        TMemoryStream b(std::vector<uint8_t>{'x'});
        ASSERT_TRUE(p.AddStream(a, std::make_unique<TPackageFileListItem>("good.txt")));
        ASSERT_TRUE(p.AddStream(b, std::make_unique<TPackageFileListItem>("..\\..\\escaped.txt")));
        ASSERT_TRUE(p.Close());
    }
    PackagerModule::Finalize();
    fs::create_directories(dir.Path() / "deep/out");
    const ToolRun r = RunJoined(Q(PackTool().string()) + " extract " + Q(dir / "evil.pkg") + " " + Q(dir / "deep/out"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("unsafe"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.Path() / "deep/out/good.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() / "escaped.txt"));
}

// A program finds and reads the package appended to its own file: this test program
// copies itself, appends a package to the copy and runs the copy, which checks it.
TEST(SelfPackage, ReadsThePackageAppendedToItsOwnFile) {
    const char* expect = std::getenv("GC_SELF_PACKAGE_EXPECT");
    const AnsiString self = FromPosixPath(SelfExe().string());
    PackagerModule::Initialize();
    if (expect) {
        ASSERT_TRUE(TPackager::HasAppendedPackage(self));
        TPackager p;
        ASSERT_TRUE(p.OpenAppended(self));
        auto s = p.OpenItemByName("settings.dat");
        ASSERT_TRUE(s);
        std::string content(static_cast<size_t>(s->GetSize()), '\0');
        s->ReadBuffer(content.data(), s->GetSize());
        EXPECT_EQ(content, expect);
        PackagerModule::Finalize();
        return;
    }
    EXPECT_FALSE(TPackager::HasAppendedPackage(self));
    TempDir dir;
    fs::copy_file(SelfExe(), dir / "selfcopy");
    {
        TPackager p;
        ASSERT_TRUE(p.AppendToFile(dir / "selfcopy"));
        TMemoryStream data(std::vector<uint8_t>{'o', 'p', 't', 's'});
        ASSERT_TRUE(p.AddStream(data, std::make_unique<TPackageFileListItem>("settings.dat")));
        ASSERT_TRUE(p.Close());
    }
    PackagerModule::Finalize();
    const ToolRun r = RunJoined("GC_SELF_PACKAGE_EXPECT=opts " + Q(dir / "selfcopy") +
                            " --gtest_filter=SelfPackage.ReadsThePackageAppendedToItsOwnFile");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out;
}
