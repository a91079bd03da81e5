#include "ShellTestSupport.h"
#include "foundation/AppInfo.h"
#include "shell/RunContext.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/DebugOutput.h"
#include "platform/FolderOwner.h"
#include "platform/Random.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "foundation/Packager.h"
#include "shell/ScreenSaverOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ScreenSaverProperties, StoredFormIsOneNineteenByteBlock) {
    TScreenSaverProperties p;
    TMemoryStream m;
    ASSERT_TRUE(p.SaveToStream(m, 0, 0));
    EXPECT_EQ(m.Bytes(), OptionsBytes("", true, true, false, 0, 3000));
    EXPECT_EQ(m.Bytes().size(), 19u);

    TMemoryStream in(OptionsBytes("C:\\Shows\\a.kls", false, false, true, 12345, 5000));
    ASSERT_TRUE(p.LoadFromStream(in, 0, 0));
    EXPECT_EQ(p.FileName, "C:\\Shows\\a.kls");
    EXPECT_FALSE(p.UseSound);
    EXPECT_FALSE(p.ResumeAtLastPos);
    EXPECT_TRUE(p.Shuffle);
    EXPECT_EQ(p.LastPosition, 12345);
    EXPECT_EQ(p.DefaultDuration, 5000);

    // A stream cut short leaves the options as they were.
    std::vector<uint8_t> cut = OptionsBytes("", true, true, true, 1, 1);
    cut.resize(cut.size() - 2);
    TMemoryStream bad(cut);
    EXPECT_FALSE(p.LoadFromStream(bad, 0, 0));
    EXPECT_EQ(p.DefaultDuration, 5000);
}

TEST(ScreenSaverProperties, TempSettingsStoreFlagThenFolder) {
    TTempProperties t;
    EXPECT_TRUE(t.UseSystemTemp);
    t.UseSystemTemp = false;
    t.TempDir = "D:\\Tmp";
    TMemoryStream m;
    ASSERT_TRUE(t.SaveToStream(m, 0, 0));
    Bytes expected;
    expected.i32(4 + 1 + 4 + 6).u8(0).str("D:\\Tmp");
    EXPECT_EQ(m.Bytes(), expected.vec());
    EXPECT_EQ(EditorFrameClassNames(TTempProperties::StaticClassInfo()), "\r\nTTempPropertyEditorFrame");
    // The program's temporary-folder settings live in the settings list.
    ASSERT_NE(GetTempProperties(), nullptr);
    ASSERT_NE(PropertiesList, nullptr);
    TPropertiesListItem* item = PropertiesList->FindItemByClass(TTempProperties::StaticClassInfo());
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Instance, GetTempProperties());
    EXPECT_EQ(item->Name, "Grundeinstellungen");
}

TEST(ScreenSaverIdentity, RegistryKeyIsUnderTheProductsBase) {
    auto info = GetApplicationInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetRegistryBase(), "\\Software\\Velmorra\\Glowcanvas\\2.x\\");
    EXPECT_EQ(ScreenSaverOptionsKey("Sonne"), "\\Software\\Velmorra\\Glowcanvas\\2.x\\ScreenSavers\\Sonne");
}

class OptionsTest : public ::testing::Test {
protected:
    TestRegistry registry;
    TestTempFolder temp;
    TempDir work;
    std::string host = work / "Sonne.scr";

    void WriteRaw(const AnsiString& name, const std::vector<uint8_t>& bytes) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(ScreenSaverOptionsKey(name), true));
        reg.WriteBinaryData("Properties", bytes.data(), static_cast<int>(bytes.size()));
    }
};

TEST_F(OptionsTest, FirstRunReadsThePackageThenTheRegistryWins) {
    MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1, 2, 3}}, {"Settings.DAT", OptionsBytes("", true, true, false, 0, 5000)}});
    TPluginPtr<TScreenSaverProperties> options;
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host));
    EXPECT_EQ(options->DefaultDuration, 5000);
    // The temporary folder for the extraction is gone again.
    EXPECT_EQ(temp.EntryCount(), 0u);

    options->DefaultDuration = 7000;
    ASSERT_TRUE(SaveScreenSaverOptions("Sonne", *options));
    TPluginPtr<TScreenSaverProperties> again;
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", again, host));
    EXPECT_EQ(again->DefaultDuration, 7000);
}

TEST_F(OptionsTest, ThePackageTheOptionsCameFromIsHandedOverOnceToItsOwnFile) {
    MakeHostWithPackage(host, {{"fmod.dll", {7}}, {"settings.dat", OptionsBytes("", true, true, false, 0, 5000)}});
    TPluginPtr<TScreenSaverProperties> options;
    TOpenedPackage run;
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host, &run));
    std::unique_ptr<TPackager> opened = run.Take(host);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->State(), TPackager::psReadingAppended);
    EXPECT_TRUE(opened->FileList().FindByName("fmod.dll"));
    EXPECT_FALSE(run.Take(host));
    // Asking for another file lets go of it.
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host, &run));
    EXPECT_FALSE(run.Take(work / "Mond.scr"));
    EXPECT_FALSE(run.Take(host));
    // Options from the registry open no package.
    ASSERT_TRUE(SaveScreenSaverOptions("Sonne", *options));
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host, &run));
    EXPECT_FALSE(run.Take(host));
}

TEST_F(OptionsTest, KeyWithoutValueGivesDefaultsNotThePackages) {
    MakeHostWithPackage(host, {{"settings.dat", OptionsBytes("", true, true, false, 0, 5000)}});
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(ScreenSaverOptionsKey("Sonne"), true));
    }
    TPluginPtr<TScreenSaverProperties> options;
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host));
    EXPECT_EQ(options->DefaultDuration, 3000);
}

TEST_F(OptionsTest, NoSourceAtAllFails) {
    TPluginPtr<TScreenSaverProperties> options;
    EXPECT_FALSE(LoadScreenSaverOptions("Sonne", options, ""));
    ASSERT_TRUE(options);
    EXPECT_EQ(options->DefaultDuration, 3000);
    // A package without "settings.dat" is no source either.
    MakeHostWithPackage(host, {{"fmod.dll", {7}}});
    EXPECT_FALSE(LoadScreenSaverOptions("Sonne", options, host));
    // Nor is a file that holds no package.
    EXPECT_FALSE(LoadScreenSaverOptions("Sonne", options, work / "missing.scr"));
}

TEST_F(OptionsTest, TwoProgramNamesKeepSeparateOptions) {
    TScreenSaverProperties a, b;
    a.DefaultDuration = 1111;
    b.DefaultDuration = 2222;
    ASSERT_TRUE(SaveOptionsToRegistry("Sonne", a));
    ASSERT_TRUE(SaveOptionsToRegistry("Mond", b));
    TPluginPtr<TScreenSaverProperties> options;
    ASSERT_TRUE(LoadOptionsFromRegistry("Sonne", options));
    EXPECT_EQ(options->DefaultDuration, 1111);
    ASSERT_TRUE(LoadOptionsFromRegistry("Mond", options));
    EXPECT_EQ(options->DefaultDuration, 2222);
    EXPECT_FALSE(LoadOptionsFromRegistry("Stern", options));
}

TEST_F(OptionsTest, DamagedSourcesCountAsMissing) {
    // A damaged registry value falls back to the package's defaults.
    MakeHostWithPackage(host, {{"settings.dat", OptionsBytes("", false, true, false, 0, 5000)}});
    WriteRaw("Sonne", {19, 0, 0, 0, 1});
    TPluginPtr<TScreenSaverProperties> options;
    EXPECT_FALSE(LoadOptionsFromRegistry("Sonne", options));
    EXPECT_EQ(options->DefaultDuration, 3000);
    ASSERT_TRUE(LoadScreenSaverOptions("Sonne", options, host));
    EXPECT_EQ(options->DefaultDuration, 5000);
    EXPECT_FALSE(options->UseSound);

    // A damaged "settings.dat" leaves defaults and reports no options.
    TestRegistry fresh;
    std::vector<uint8_t> broken = OptionsBytes("", false, false, true, 9, 5000);
    broken[0] = 0xFF;  // a block length far past the end
    MakeHostWithPackage(host, {{"settings.dat", broken}});
    EXPECT_FALSE(LoadScreenSaverOptions("Sonne", options, host));
    EXPECT_EQ(options->DefaultDuration, 3000);
    EXPECT_TRUE(options->UseSound);
    EXPECT_EQ(temp.EntryCount(), 0u);

    // As is a file that cannot be read.
    TScreenSaverProperties p;
    EXPECT_FALSE(LoadOptionsFromFile(work / "none.dat", p));
}

// Every way a package can keep the options from loading is named on the debug output:
// the user is only told that the screen saver is not installed right.
TEST_F(OptionsTest, DebugOutputNamesWhyThePackageGaveNoOptions) {
    const std::vector<uint8_t> program(100, 0x90);
    const std::vector<uint8_t> settings = OptionsBytes("", true, true, false, 0, 5000);
    auto packed = [&](std::vector<std::pair<AnsiString, std::vector<uint8_t>>> items) {
        MakeHostWithPackage(host, items, program);
        return ReadFileBytes(host);
    };
    auto at = [](std::vector<uint8_t> b, const std::string& text) {
        return size_t(std::search(b.begin(), b.end(), text.begin(), text.end()) - b.begin());
    };
    std::vector<uint8_t> good = packed({{"settings.dat", settings}});
    std::vector<uint8_t> unknownClass = good;
    unknownClass[at(good, "TPackageFileListItem")] = 'X';
    std::vector<uint8_t> pastTheEnd = good;
    pastTheEnd[at(good, "TPackageFileListItem") + 20 + 4 + 8 + 5] = 0x01;  // size 2^40
    std::vector<uint8_t> badTrailer = good;
    badTrailer[good.size() - 16 + 6] = 0x7F;  // the package's start far past the end
    std::vector<uint8_t> badHeader = good;
    badHeader[program.size()] ^= 0xFF;  // the container's magic
    std::vector<uint8_t> cut = good;
    cut.resize(cut.size() - 7);
    std::vector<uint8_t> brokenSettings = settings;
    brokenSettings[0] = 0xFF;
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        std::string cause;
    } cases[] = {
        {"no package", program, "no package trailer at the end of the file"},
        {"cut-off file", cut, "no package trailer at the end of the file"},
        {"damaged trailer", badTrailer, "the package trailer is damaged"},
        {"damaged container", badHeader, "the package cannot be read: Keine OKF-Datei!"},
        {"unknown directory entry", unknownClass, "the package directory is damaged: directory entry 1 names the unknown class \"XPackageFileListItem\""},
        {"item past the end", pastTheEnd, "the item \"settings.dat\" runs past the end of the package"},
        {"no settings.dat", packed({{"fmod.dll", {7}}}), "the package holds no settings.dat"},
        {"damaged settings.dat", packed({{"settings.dat", brokenSettings}}),
         "settings.dat (19 bytes) is no stored form of the options"},
    };
    TFakeDebugOutput debug;
    std::vector<AnsiString>& lines = debug.Lines;
    SetDebugOutput(&debug);
    for (const auto& c : cases) {
        lines.clear();
        WriteFileBytes(host, c.file);
        TPluginPtr<TScreenSaverProperties> options;
        EXPECT_FALSE(LoadScreenSaverOptions("Sonne", options, host)) << c.what;
        ASSERT_EQ(lines.size(), 1u) << c.what;
        EXPECT_EQ(lines[0].rfind(host + ": " + c.cause, 0), 0u) << c.what << ": " << lines[0];
    }
    SetDebugOutput(nullptr);
    EXPECT_EQ(temp.EntryCount(), 0u);
}

TEST_F(OptionsTest, TemporaryFolderIsANumberedFolderUnderTheSystemsTemp) {
    TTempProperties settings;
    AnsiString folder;
    CreateTempFolder(settings, "ScreenSaver", true, folder);
    const AnsiString base = FromPosixPath(temp.Dir().Path().string()) + "\\";
    ASSERT_EQ(folder.compare(0, base.size(), base), 0) << folder;
    const AnsiString rest = folder.substr(base.size());
    ASSERT_GT(rest.size(), AnsiString("ScreenSaver\\").size());
    EXPECT_EQ(rest.compare(0, 11, "ScreenSaver"), 0);
    EXPECT_EQ(rest.back(), '\\');
    const AnsiString number = rest.substr(11, rest.size() - 12);
    EXPECT_EQ(number.find_first_not_of("0123456789"), AnsiString::npos) << number;
    EXPECT_LT(std::stoll(number), 0xFFFFFFFLL);
    EXPECT_TRUE(fs::is_directory(ToPosixPath(folder)));

    // The same random number again never reuses a folder that exists.
    RandSeed(42);
    AnsiString first, second;
    CreateTempFolder(settings, "ScreenSaver", true, first);
    RandSeed(42);
    CreateTempFolder(settings, "ScreenSaver", true, second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(PathExists(first));
    EXPECT_TRUE(PathExists(second));

    // Without create the name is only chosen.
    AnsiString other;
    CreateTempFolder(settings, "X", false, other);
    EXPECT_FALSE(PathExists(other));

    // A folder of the user's choice; an empty one means the system's.
    settings.UseSystemTemp = false;
    settings.TempDir = FromPosixPath(work / "mine");
    GetTempFolder(settings, "Sub", true, other);
    EXPECT_EQ(other, settings.TempDir + "\\Sub\\");
    EXPECT_TRUE(fs::is_directory(work / "mine/Sub"));
    settings.TempDir.clear();
    GetTempFolder(settings, "", false, other);
    EXPECT_EQ(other, base);
}

// A relative TMPDIR names a folder below where the program started; the folder made
// is named absolute, since the show's files are looked up from the program's folder.
TEST_F(OptionsTest, ARelativeTemporaryFolderIsMadeAbsolute) {
    const fs::path started = fs::current_path();
    fs::current_path(work.Path());
    ::setenv("TMPDIR", "rel/tmp", 1);
    fs::create_directories(work / "rel/tmp");
    TTempProperties settings;
    AnsiString folder;
    CreateTempFolder(settings, "ScreenSaver", true, folder);
    fs::current_path(started);
    const AnsiString base = FromPosixPath((work.Path() / "rel/tmp").string()) + "\\ScreenSaver";
    EXPECT_EQ(folder.compare(0, base.size(), base), 0) << folder;
    EXPECT_TRUE(fs::is_directory(ToPosixPath(folder)));
}

TEST_F(OptionsTest, DeleteTempFolderStaysInsideItsFolder) {
    // Outside: a folder and a file the links inside point at.
    fs::create_directories(work / "outside");
    WriteFileBytes(work / "outside/keep.txt", {1});
    TTempProperties settings;
    AnsiString folder;
    CreateTempFolder(settings, "ScreenSaver", true, folder);
    const std::string posix = ToPosixPath(folder);
    fs::create_directories(posix + "Lumivor/Fonts");
    WriteFileBytes(posix + "Lumivor/Fonts/a.ttf", {1});
    WriteFileBytes(posix + ".hidden", {1});
    WriteFileBytes(posix + "noext", {1});
    fs::permissions(posix + "noext", fs::perms::owner_read);
    fs::create_directory_symlink(work / "outside", posix + "Lumivor/link");
    fs::create_symlink(work / "outside/keep.txt", posix + "file-link");
    DeleteTempFolder(folder);
    EXPECT_FALSE(fs::exists(fs::symlink_status(posix)));
    EXPECT_TRUE(fs::exists(work / "outside/keep.txt"));

    // A link in the folder's place is not followed.
    fs::create_directory_symlink(work / "outside", work / "looks-like-temp");
    DeleteTempFolder(FromPosixPath(work / "looks-like-temp"));
    EXPECT_TRUE(fs::exists(work / "outside/keep.txt"));
    DeleteTempFolder("");
}

// A run killed between any two steps of removing its folder (a marked run folder with
// files and a subfolder) leaves what the next start's sweep removes.
TEST_F(OptionsTest, ARunKilledWhileItsFolderGoesLeavesWhatTheNextStartRemoves) {
    const fs::path base = work / "runs";
    fs::create_directories(base);
    for (int killedAt = 0;; ++killedAt) {
        SCOPED_TRACE(killedAt);
        const pid_t run = ::fork();
        if (run == 0) {
            int error = 0;
            const std::string folder = (base / "ScreenSaver4711").string();
            std::unique_ptr<TFolderOwner> owner = TFolderOwner::Create(folder, error);
            if (!owner) ::_exit(2);
            fs::create_directories(folder + "/Lumivor/Fonts");
            for (const char* name : {"settings.dat", "fmod.dll", "Lumivor/Slideshow.kls", "Lumivor/Fonts/a.ttf"})
                WriteFileBytes(folder + "/" + name, {1, 2, 3});
            int steps = 0;
            DeleteTempFolder(FromPosixPath(folder), [&] {
                if (steps++ == killedAt) ::_exit(9);
            });
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(run, &status, 0), run);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "no run folder";
        TFolderOwner::RemoveAbandoned(base.string(), "ScreenSaver");
        EXPECT_TRUE(fs::is_empty(base)) << fs::directory_iterator(base)->path();
        if (WEXITSTATUS(status) == 0) break;
    }
}

TEST_F(OptionsTest, ExtractPackageKeepsRelativePathsAndRefusesEscapes) {
    MakeHostWithPackage(host, {{"Lumivor\\Slideshow.kls", {1, 2}}, {"fmod.dll", {3}}, {"Lumivor\\Fonts\\a.ttf", {4}}});
    const AnsiString folder = FromPosixPath(work / "x") + "\\";
    ASSERT_TRUE(ExtractPackage(host, folder));
    EXPECT_EQ(ReadFileBytes(work / "x/Lumivor/Slideshow.kls"), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(ReadFileBytes(work / "x/fmod.dll"), (std::vector<uint8_t>{3}));
    EXPECT_EQ(ReadFileBytes(work / "x/Lumivor/Fonts/a.ttf"), (std::vector<uint8_t>{4}));

    // One escaping name and nothing at all is extracted.
    MakeHostWithPackage(host, {{"fmod.dll", {3}}, {"..\\evil.txt", {5}}});
    const AnsiString folder2 = FromPosixPath(work / "y") + "\\";
    fs::create_directories(work / "y");
    EXPECT_FALSE(ExtractPackage(host, folder2));
    EXPECT_FALSE(fs::exists(work / "evil.txt"));
    EXPECT_FALSE(fs::exists(work / "y/fmod.dll"));
    MakeHostWithPackage(host, {{"\\etc\\abs.txt", {5}}});
    EXPECT_FALSE(ExtractPackage(host, folder2));

    EXPECT_FALSE(ExtractPackage(work / "nothing.scr", folder2));
}
