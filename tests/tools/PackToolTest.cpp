#include "TestSupport.h"
#include "ToolRunSupport.h"
#include "foundation/Packager.h"
#include "objects/PictureTestSupport.h"
#include "platform/Stream.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

namespace {

fs::path SelfExe() { return fs::read_symlink("/proc/self/exe"); }

fs::path PackTool() { return SelfExe().parent_path().parent_path() / "tools" / "glowcanvas-pack"; }

// The screen saver program, the only host a package is appended to.
fs::path SaverProgram() { return PackTool().parent_path() / "glowcanvas"; }

// A command line with its stderr joining stdout, or dropped.
ToolRun RunPack(const std::string& command, bool dropStderr = false) {
    return RunCommand(command + (dropStderr ? " 2>/dev/null" : " 2>&1"));
}

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

    ASSERT_EQ(RunPack(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src")).status, 0);
    const ToolRun list = RunPack(tool + " list " + Q(dir / "show.pkg"));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Fonts\\empty.ttf\t0\nLumivor\\Slideshow.kls\t5000\nsettings.dat\t3\n");

    fs::copy_file(SaverProgram(), dir / "saver");
    const auto hostSize = fs::file_size(dir / "saver");
    ASSERT_EQ(RunPack(tool + " append " + Q(dir / "saver") + " " + Q(dir / "src")).status, 0);
    EXPECT_GT(fs::file_size(dir / "saver"), hostSize);
    // The appended copy still runs, and carries the package.
    EXPECT_EQ(RunPack(Q(dir / "saver") + " --help >/dev/null").status, 0);
    EXPECT_EQ(RunPack(tool + " list " + Q(dir / "saver")).out, list.out);

    ASSERT_EQ(RunPack(tool + " extract " + Q(dir / "saver") + " " + Q(dir / "out")).status, 0);
    EXPECT_TRUE(SameTree(dir.Path() / "src", dir.Path() / "out"));
    EXPECT_TRUE(fs::exists(dir.Path() / "out/Fonts/empty.ttf"));
}

TEST(PackTool, ErrorsSayWhyAndLeaveNothingHalfWritten) {
    TempDir dir;
    MakeTree(dir);
    const std::string tool = Q(PackTool().string());

    ToolRun r = RunPack(tool + " list " + Q(dir / "missing"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "glowcanvas-pack: " + (dir / "missing") + ": no such file\n");

    r = RunPack(tool + " list " + Q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "glowcanvas-pack: " + (dir / "src") + ": is a folder\n");

    r = RunPack(tool + " list " + Q(dir / "src/settings.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "glowcanvas-pack: " + (dir / "src/settings.dat") +
                         ": not a package (neither a package file nor a program that carries one)\n");

    r = RunPack(tool + " create " + Q(dir / "x.pkg") + " " + Q(dir / "nofolder"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("nofolder: no such folder"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir.Path() / "x.pkg"));

    r = RunPack(tool + " create " + Q(dir / "no/such/x.pkg") + " " + Q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    r = RunPack(tool + " create " + Q(dir / "src") + " " + Q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("src: is a folder"), std::string::npos) << r.out;

    // A failure after the package was begun: an item too large for a package (a
    // sparse file, so it costs no space).
    fs::create_directories(dir.Path() / "huge");
    WriteFileBytes(dir / "huge/big.bin", {});
    fs::resize_file(dir / "huge/big.bin", (uint64_t(1) << 32));
    r = RunPack(tool + " create " + Q(dir / "huge.pkg") + " " + Q(dir / "huge"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find((dir / "huge/big.bin") + ": cannot be added: "), std::string::npos) << r.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);  // src, huge

    // A damaged package: the list fails, and nothing is extracted under a finished name.
    ASSERT_EQ(RunPack(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src")).status, 0);
    std::vector<uint8_t> bytes = ReadFileBytes(dir / "show.pkg");
    bytes.resize(bytes.size() - 30);
    WriteFileBytes(dir / "cut.pkg", bytes);
    EXPECT_EQ(RunPack(tool + " list " + Q(dir / "cut.pkg")).status, 1);
}

TEST(PackTool, HelpOnStdoutAndWrongCallsOnStderr) {
    const std::string tool = Q(PackTool().string());
    for (const char* help : {" --help", " -h"}) {
        const ToolRun r = RunPack(tool + help, true);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: glowcanvas-pack create", 0), 0u) << r.out;
    }
    for (const char* wrong : {"", " frobnicate", " list", " create a", " extract a b c"}) {
        ToolRun r = RunPack(tool + wrong, true);
        EXPECT_EQ(r.status, 2) << wrong;
        EXPECT_EQ(r.out, "") << wrong;
        r = RunPack(tool + wrong);
        EXPECT_NE(r.out.find("usage: glowcanvas-pack"), std::string::npos) << wrong;
    }
}

// Items are named as the user sees the folder: a link by its own name, holding what
// it points at, wherever that lies.
TEST(PackTool, LinksPackUnderTheirOwnNames) {
    TempDir dir;
    dir.Write("photos/p1.jpg", "first photo");
    dir.Write("photos/more/p2.jpg", "second photo");
    dir.Write("src/sub/real.jpg", "real");
    fs::create_symlink("../photos/p1.jpg", dir.Path() / "src/link.jpg");   // outside the folder
    fs::create_symlink("sub/real.jpg", dir.Path() / "src/alias.jpg");     // inside it
    fs::create_symlink("../photos/more", dir.Path() / "src/album");       // a folder
    const std::string tool = Q(PackTool().string());
    const ToolRun c = RunPack(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src"));
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(RunPack(tool + " list " + Q(dir / "show.pkg")).out,
              "album\\p2.jpg\t12\nalias.jpg\t4\nlink.jpg\t11\nsub\\real.jpg\t4\n");
    ASSERT_EQ(RunPack(tool + " extract " + Q(dir / "show.pkg") + " " + Q(dir / "out")).status, 0);
    EXPECT_TRUE(SameTree(dir.Path() / "src", dir.Path() / "out"));
    EXPECT_EQ(ReadFileBytes(dir / "out/album/p2.jpg"), ReadFileBytes(dir / "photos/more/p2.jpg"));
    EXPECT_FALSE(fs::is_symlink(dir.Path() / "out/link.jpg"));
}

// What a package cannot hold is refused before anything is written, naming the file.
TEST(PackTool, NamesAPackageCannotHoldAreRefusedBeforeWriting) {
    const struct {
        const char* what;
        std::function<void(const TempDir&)> make;
        std::string message;
    } cases[] = {
        {"loop", [](const TempDir& d) { fs::create_symlink("..", d.Path() / "src/sub/up"); },
         "src/sub/up: the link leads back to "},
        {"repeated folder", [](const TempDir& d) { fs::create_symlink("sub", d.Path() / "src/again"); },
         "src/sub: the same folder as "},
        {"dangling link", [](const TempDir& d) { fs::create_symlink("gone.jpg", d.Path() / "src/lost.jpg"); },
         "src/lost.jpg: the link points nowhere (gone.jpg)"},
        {"no Windows-1252 form", [](const TempDir& d) { d.Write("src/\xE6\x97\xA5.jpg"); },
         "src/\xE6\x97\xA5.jpg: the name has characters without a Windows-1252 form"},
        {"backslash", [](const TempDir& d) { d.Write("src/a\\b.jpg"); },
         "src/a\\b.jpg: the name holds a backslash"},
        {"control character", [](const TempDir& d) { d.Write("src/bell\x07.jpg"); },
         "src/bell^G.jpg: the name holds a control character"},
        {"case twins", [](const TempDir& d) { d.Write("src/SUB/Real.JPG"); },
         "src/sub/real.jpg: its name differs from "},
        {"file and folder", [](const TempDir& d) { d.Write("src/Sub"); }, "src/sub: its name differs from "},
    };
    const std::string tool = Q(PackTool().string());
    for (const auto& c : cases) {
        TempDir dir;
        dir.Write("src/ok.jpg");
        dir.Write("src/sub/real.jpg");
        c.make(dir);
        fs::copy_file(SaverProgram(), dir / "host");
        const std::vector<uint8_t> host = ReadFileBytes(dir / "host");
        ToolRun r = RunPack(tool + " create " + Q(dir / "show.pkg") + " " + Q(dir / "src"));
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << ": " << r.out;
        r = RunPack(tool + " append " + Q(dir / "host") + " " + Q(dir / "src"));
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(ReadFileBytes(dir / "host"), host) << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2) << c.what;
    }
}

// A show the builder writes is one the pack tool packs: both refuse the same names, with
// the same words, before they write anything.
TEST(PackTool, TheBuilderAndThePackerRefuseTheSameNamesAlike) {
    const struct {
        const char* What;
        std::vector<std::string> Names;  // pictures beside ok.png in the show's folder
        const char* Message;
    } cases[] = {
        {"colon", {"a:b.png"}, "a:b.png: the name holds a colon, which no item name may hold"},
        {"newline", {"a\nb.png"}, "a^Jb.png: the name holds a control character"},
        {"control character", {"bell\x07.png"}, "bell^G.png: the name holds a control character"},
        {"backslash", {"C:\\Bilder\\a.png"},
         "C:\\Bilder\\a.png: the name holds a backslash, which a package reads as a folder separator"},
        {"no Windows-1252 form", {"\xE6\x97\xA5.png"},
         "\xE6\x97\xA5.png: the name has characters without a Windows-1252 form"},
        {"case twins", {"BILD.png", "Bild.png"}, "Bild.png: its name differs from "},
    };
    const std::string pack = Q(PackTool().string());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        const fs::path show = dir.Path() / "saver/Lumivor";
        fs::create_directories(show);
        for (const std::string& name : c.Names)
            WriteFileBytes((show / name).string(), EncodePng(8, 6, [](int, int) { return 0xFF3050E0u; }));
        WriteFileBytes((show / "ok.png").string(), EncodePng(8, 6, [](int, int) { return 0xFF3050E0u; }));
        const ToolRun built = RunTool(dir, "build " + Q(show.string()) + " " + Q((show / "Slideshow.kls").string()));
        EXPECT_EQ(built.status, 1);
        EXPECT_NE(built.err.find(c.Message), std::string::npos) << built.err;
        EXPECT_NE(built.err.find("glowcanvas-show: "), std::string::npos) << built.err;
        EXPECT_FALSE(fs::exists(show / "Slideshow.kls"));
        const ToolRun packed = RunPack(pack + " create " + Q(dir / "saver.pkg") + " " + Q(dir / "saver"));
        EXPECT_EQ(packed.status, 1);
        EXPECT_NE(packed.out.find(c.Message), std::string::npos) << packed.out;
        EXPECT_FALSE(dir.Exists("saver.pkg"));
    }
}

// A host its user may not write (read-only, in a folder they may write) is refused as cp
// refuses to write it, and stays as it was; as root the tools run without the right to
// override file permissions, as a user's would.
TEST(PackTool, AppendRefusesAHostItMayNotWriteAsCpDoes) {
    if (RunCommand("command -v setpriv >/dev/null 2>&1 && echo y").out != "y\n") GTEST_SKIP() << "setpriv is missing";
    TempDir dir;
    MakeTree(dir);
    fs::copy_file(SaverProgram(), dir / "host");
    fs::permissions(dir / "host", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::vector<uint8_t> host = ReadFileBytes(dir / "host");
    const std::string asUser = ::geteuid() == 0 ? "setpriv --bounding-set -dac_override,-dac_read_search " : "";
    const ToolRun cp = RunPack(asUser + "cp " + Q(dir / "src/settings.dat") + " " + Q(dir / "host"));
    ASSERT_NE(cp.status, 0) << "cp wrote the read-only host: " << cp.out;
    const ToolRun r = RunPack(asUser + Q(PackTool().string()) + " append " + Q(dir / "host") + " " + Q(dir / "src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "glowcanvas-pack: " + dir / "host" + ": cannot be written: Permission denied\n");
    EXPECT_EQ(ReadFileBytes(dir / "host"), host);
    EXPECT_EQ(fs::status(dir / "host").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(PackTool, AppendReplacesThePackageAHostCarries) {
    TempDir dir;
    const std::string tool = Q(PackTool().string());
    fs::copy_file(SaverProgram(), dir / "saver");
    fs::permissions(dir / "saver", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const auto own = fs::file_size(dir / "saver");
    for (int round = 1; round <= 3; ++round) {
        dir.Write("src" + std::to_string(round) + "/settings.dat", std::string(size_t(round * 10), 's'));
        dir.Write("src" + std::to_string(round) + "/round" + std::to_string(round) + ".txt", "r");
        ASSERT_EQ(RunPack(tool + " append " + Q(dir / "saver") + " " + Q(dir / ("src" + std::to_string(round)))).status, 0);
    }
    ASSERT_EQ(RunPack(tool + " create " + Q(dir / "last.pkg") + " " + Q(dir / "src3")).status, 0);
    // The host's own bytes, then one package equal to the last, read by the program itself.
    const std::vector<uint8_t> saver = ReadFileBytes(dir / "saver");
    const std::vector<uint8_t> program = ReadFileBytes(SaverProgram().string());
    ASSERT_GT(saver.size(), own);
    EXPECT_TRUE(std::equal(program.begin(), program.end(), saver.begin()));
    EXPECT_EQ(saver.size(), own + fs::file_size(dir / "last.pkg") + 20);
    const ToolRun self = RunPack(tool + " list " + Q(dir / "saver"));
    EXPECT_EQ(self.status, 0);
    EXPECT_EQ(self.out, "round3.txt\t1\nsettings.dat\t30\n");
    EXPECT_EQ(fs::status(dir / "saver").permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);

    // A host whose package is damaged is left alone.
    std::vector<uint8_t> broken = saver;
    broken[own + 1] ^= 0xFF;
    WriteFileBytes(dir / "broken", broken);
    const ToolRun r = RunPack(tool + " append " + Q(dir / "broken") + " " + Q(dir / "src1"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the package it carries is damaged"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileBytes(dir / "broken"), broken);
}

// Paths typed on the command line are the file system's own; only item names map.
TEST(PackTool, TypedPathsReachTheFileSystemAsTyped) {
    TempDir dir;
    MakeTree(dir);
    const std::string tool = Q(PackTool().string());
    const std::string longName(250, 'L');
    for (const std::string& package : {std::string("k:pk.pkg"), std::string("a\\b.pkg"), longName}) {
        ASSERT_EQ(RunPack(tool + " create " + Q(dir / package) + " " + Q(dir / "src")).status, 0) << package;
        EXPECT_TRUE(fs::is_regular_file(dir.Path() / package)) << package;
    }
    for (const std::string& folder : {std::string("x:y"), std::string("a\\b")}) {
        ASSERT_EQ(RunPack(tool + " extract " + Q(dir / "k:pk.pkg") + " " + Q(dir / folder)).status, 0) << folder;
        EXPECT_TRUE(SameTree(dir.Path() / "src", dir.Path() / folder)) << folder;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "y"));
    EXPECT_FALSE(fs::exists(dir.Path() / "a"));
    EXPECT_FALSE(fs::exists(dir.Path() / "pk.pkg"));
    // Nothing else: no temporaries beside the packages.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 6);
}

// Items of hostile packages: control characters, names differing only in case, a
// name of 250 bytes.
TEST(PackTool, ListShowsControlCharactersAndExtractRefusesThem) {
    PackagerModule::Initialize();
    TempDir dir;
    const std::string longName(250, 'n');
    {
        TPackager p;
        ASSERT_TRUE(p.CreateFile(dir / "odd.pkg"));
        const std::pair<AnsiString, std::string> items[] = {
            {"Docs\\Read.txt", "first"}, {"esc\x1B[2J.txt", "x"}, {"docs\\READ.TXT", "second"},
            {"odd\x81.txt", "y"}, {longName, "long"}, {"DOCS\\other.txt", "other"}};
        for (const auto& [name, content] : items) {
            TMemoryStream m(std::vector<uint8_t>(content.begin(), content.end()));
            ASSERT_TRUE(p.AddStream(m, std::make_unique<TPackageFileListItem>(name)));
        }
        ASSERT_TRUE(p.Close());
    }
    PackagerModule::Finalize();
    const std::string tool = Q(PackTool().string());
    const ToolRun list = RunPack(tool + " list " + Q(dir / "odd.pkg"));
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Docs\\Read.txt\t5\nesc^[[2J.txt\t1\ndocs\\READ.TXT\t6\noddM-^A.txt\t1\n" + longName +
                            "\t4\nDOCS\\other.txt\t5\n");
    const ToolRun r = RunPack(tool + " extract " + Q(dir / "odd.pkg") + " " + Q(dir / "out"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("esc^[[2J.txt: refused: an item name that would leave the folder"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("docs\\READ.TXT: refused: it would overwrite Docs\\Read.txt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dir / "out/Docs/Read.txt"), (std::vector<uint8_t>{'f', 'i', 'r', 's', 't'}));
    EXPECT_EQ(ReadFileBytes(dir / "out/Docs/other.txt"), (std::vector<uint8_t>{'o', 't', 'h', 'e', 'r'}));
    EXPECT_EQ(ReadFileBytes(dir / ("out/" + longName)), (std::vector<uint8_t>{'l', 'o', 'n', 'g'}));
    EXPECT_TRUE(fs::exists(dir.Path() / "out/odd\xC2\x81.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out"), fs::directory_iterator()), 3);
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
    const ToolRun r = RunPack("GC_SELF_PACKAGE_EXPECT=opts " + Q(dir / "selfcopy") +
                            " --gtest_filter=SelfPackage.ReadsThePackageAppendedToItsOwnFile");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out;
}

// No tool replaces a file it did not make: each refusal names the file as typed, then
// why, exits 1 and leaves the file byte for byte; the tools' own outputs are replaced
// when a step runs again.
TEST(ToolOutputs, NoToolReplacesAFileItDidNotMake) {
    TempDir dir;
    const auto photo = [](int, int) { return 0xFF3050E0u; };
    fs::create_directories(dir.Path() / "pics");
    WriteFileBytes(dir / "pics/01.png", EncodePng(16, 12, photo));
    WriteFileBytes(dir / "pics/02.png", EncodePng(16, 12, photo));
    dir.Write("pics/song.wav", "RIFF");
    dir.Write("notes.txt", "my notes");
    dir.Write("zeros.dat", std::string(19, '\0'));
    WriteFileBytes(dir / "photo.png", EncodePng(16, 12, photo));
    fs::copy_file(PackTool(), dir / "other-program");
    fs::copy_file(SaverProgram(), dir / "saver");
    dir.Write("show/Lumivor/Slideshow.kls", "a show");
    dir.Write("show/settings.dat", "options");
    const std::string pack = Q(PackTool().string()) + " ", show = Q(ShowTool().string()) + " ";
    ASSERT_EQ(RunPack(pack + "create " + Q(dir / "show.pkg") + " " + Q(dir / "show")).status, 0);
    // A photo that carries a package already, as an earlier append left it.
    fs::copy_file(dir.Path() / "photo.png", dir.Path() / "packed.png");
    PackagerModule::Initialize();
    {
        TPackager p;
        ASSERT_TRUE(p.AppendToFile(dir / "packed.png"));
        TMemoryStream data(std::vector<uint8_t>{'o'});
        ASSERT_TRUE(p.AddStream(data, std::make_unique<TPackageFileListItem>("settings.dat")));
        ASSERT_TRUE(p.Close());
    }
    PackagerModule::Finalize();
    ASSERT_EQ(RunPack(pack + "extract show.pkg out", true).status, 1);  // typed relative below
    const struct {
        const char* What;
        std::string Call;    // in dir
        std::string Target;  // the file that must stay as it was (status 1)
        int Status;
        std::string Line;    // the start of stderr
    } cases[] = {
        {"build over one of its pictures", show + "build pics pics/02.png", "pics/02.png", 1,
         "glowcanvas-show: pics/02.png: is one of the pictures this build reads"},
        {"build over one of its songs", show + "build pics pics/song.wav --music pics/song.wav", "pics/song.wav", 1,
         "glowcanvas-show: pics/song.wav: is one of the songs this build plays"},
        {"build over a file that is no show", show + "build pics notes.txt", "notes.txt", 1,
         "glowcanvas-show: notes.txt: exists and is not a show"},
        {"options over a photo", show + "options photo.png", "photo.png", 1,
         "glowcanvas-show: photo.png: exists and holds no screen saver options"},
        {"options over 19 bytes that are no options", show + "options zeros.dat", "zeros.dat", 1,
         "glowcanvas-show: zeros.dat: exists and holds no screen saver options"},
        {"append to a photo", pack + "append photo.png show", "photo.png", 1,
         "glowcanvas-pack: photo.png: is not the screen saver program"},
        {"append to a photo carrying a package", pack + "append packed.png show", "packed.png", 1,
         "glowcanvas-pack: packed.png: is not the screen saver program"},
        {"append to another program", pack + "append other-program show", "other-program", 1,
         "glowcanvas-pack: other-program: is a program, but not the screen saver"},
        {"extract over files already there", pack + "extract show.pkg out", "out/settings.dat", 1,
         "glowcanvas-pack: out/Lumivor/Slideshow.kls: exists already; nothing was extracted (--force replaces it)\n"
         "glowcanvas-pack: out/settings.dat: exists already"},
        // Each step again on what it made itself.
        {"build again over its show", show + "build pics pics/show.kls --duration 1000", "pics/show.kls", 0, ""},
        {"options again over its options", show + "options settings.dat --duration 1000", "settings.dat", 0, ""},
        {"append again to the saver", pack + "append saver show", "saver", 0, ""},
        {"extract with --force", pack + "extract show.pkg out --force", "out/settings.dat", 0, ""},
    };
    // The outputs that the steps run again replace.
    ASSERT_EQ(RunPack("cd " + Q(dir.Path().string()) + " && " + show + "build pics pics/show.kls").status, 0);
    ASSERT_EQ(RunPack("cd " + Q(dir.Path().string()) + " && " + show + "options settings.dat").status, 0);
    ASSERT_EQ(RunPack("cd " + Q(dir.Path().string()) + " && " + pack + "append saver show").status, 0);
    fs::create_directories(dir.Path() / "out/Lumivor");
    dir.Write("out/settings.dat", "edited by hand");
    dir.Write("out/Lumivor/Slideshow.kls", "edited by hand");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::vector<uint8_t> before = ReadFileBytes(dir / c.Target);
        const std::string errFile = dir / "err.txt";
        const ToolRun r = RunCommand("cd " + Q(dir.Path().string()) + " && " + c.Call + " >/dev/null 2>" + Q(errFile));
        const std::vector<uint8_t> e = ReadFileBytes(errFile);
        const std::string err(e.begin(), e.end());
        EXPECT_EQ(r.status, c.Status) << err;
        if (c.Status == 1) {
            EXPECT_TRUE(ReadFileBytes(dir / c.Target) == before) << "the file changed";
            EXPECT_EQ(err.rfind(c.Line, 0), 0u) << err;
            // The names as typed: no path the program resolved.
            EXPECT_EQ(err.find(dir.Path().string()), std::string::npos) << err;
        }
    }
    EXPECT_EQ(ReadFileBytes(dir / "out/settings.dat"), ReadFileBytes(dir / "show/settings.dat"));
}
