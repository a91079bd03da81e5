#include "foundation/AppInfo.h"
#include "foundation/ExternalPluginManager.h"
#include "foundation/FileResolver.h"
#include "foundation/FileTools.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "platform/FolderTools.h"
#include "platform/Names.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

class GlobalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/gc-globals-XXXXXX";
        ASSERT_TRUE(::mkdtemp(tmpl));
        root_ = tmpl;
        savedAppDir_ = AppDir;
        AppDir = FromPosixPath(root_ + "/app/");
        files_ = std::make_unique<TFileResolver>(AppDir);
        fs::create_directories(root_ + "/app");
        fs::create_directories(root_ + "/show");
    }
    void TearDown() override {
        AppDir = savedAppDir_;
        fs::remove_all(root_);
    }
    void Touch(const std::string& rel, size_t size = 1) {
        fs::create_directories(fs::path(root_ + "/" + rel).parent_path());
        std::ofstream(root_ + "/" + rel) << std::string(size, 'x');
    }
    AnsiString P(const std::string& rel) const { return FromPosixPath(root_ + "/" + rel); }
    AnsiString Resolve(const AnsiString& name, const AnsiString& baseFile) const { return files_->Resolve(name, baseFile); }
    // What is opened for a name that resolved to nothing.
    AnsiString Unresolved(const AnsiString& name) const { return files_->OpenableName(name, ""); }
    void Confine(const AnsiString& folder) { files_->Confine(folder); }
    std::string root_;
    AnsiString savedAppDir_;
    std::unique_ptr<TFileResolver> files_;
};

}  // namespace

TEST_F(GlobalsTest, ResolverTriesItsCandidatesInOrder) {
    const AnsiString show = P("show/Show.kls");
    EXPECT_EQ(Resolve("", show), "");
    EXPECT_EQ(Resolve("?intern", show), "?intern");
    EXPECT_EQ(Resolve("pics\\", show), "");  // no file part
    EXPECT_EQ(Resolve("pics\\a.jpg", show), "");

    Touch("show/a.jpg");
    EXPECT_EQ(Resolve("pics\\a.jpg", show), P("show/a.jpg"));  // 3: show folder + file
    Touch("show/pics/a.jpg");
    EXPECT_EQ(Resolve("pics\\a.jpg", show), P("show/pics/a.jpg"));  // 2: show folder + name
    Touch("app/pics/a.jpg");
    EXPECT_EQ(Resolve("pics\\a.jpg", show), P("app/pics/a.jpg"));  // 1: relative to AppDir

    // Second pass: the application folder.
    Touch("app/b.png");
    EXPECT_EQ(Resolve("C:\\Irgendwo\\b.png", show), P("app/b.png"));
    // The stripped path under the application folder.
    Touch("app/Irgendwo/Tief/c.png");
    EXPECT_EQ(Resolve("D:\\Irgendwo\\Tief\\c.png", show), P("app/Irgendwo/Tief/c.png"));
    // An absolute name as it is.
    EXPECT_EQ(Resolve(P("show/a.jpg"), ""), P("show/a.jpg"));
}

TEST_F(GlobalsTest, AConfinedResolverFindsNothingOutsideItsFolder) {
    // An extracted package: its show lies in the Show folder below it.
    const AnsiString show = P("pkg/Show/Show.kls");
    Touch("pkg/Show/Show.kls");
    Touch("pkg/Show/beside.jpg");
    Touch("pkg/Bilder/inside.jpg");
    Touch("outside/secret.jpg");
    Touch("app/secret.jpg");
    const std::string outside = root_ + "/outside/secret.jpg";
    const AnsiString absolute = FromPosixPath(outside);
    struct TCase {
        const char* Name;
        AnsiString Stored;
        AnsiString Free;      // found without the confinement
        AnsiString Confined;  // found with it
    };
    const TCase cases[] = {
        {"parent steps", "..\\..\\outside\\secret.jpg", P("outside/secret.jpg"), ""},
        {"an absolute path", absolute, P("outside/secret.jpg"), ""},
        {"a drive", "C:" + absolute, P("outside/secret.jpg"), ""},
        {"a server", "\\\\server\\share" + absolute, P("outside/secret.jpg"), ""},
        {"the application folder", "secret.jpg", P("app/secret.jpg"), ""},
        // The authoring program's absolute names still find the file beside the show.
        {"the file name beside the show", "C:\\Eigene Bilder\\beside.jpg", P("pkg/Show/beside.jpg"),
         P("pkg/Show/beside.jpg")},
        {"parent steps that stay inside", "..\\Bilder\\inside.jpg", P("pkg/Bilder/inside.jpg"),
         P("pkg/Bilder/inside.jpg")},
    };
    // The file a result names, parent steps applied.
    auto found = [](const AnsiString& result) {
        return result.empty() ? AnsiString() : FromPosixPath(fs::weakly_canonical(ToPosixPath(result)).string());
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(found(Resolve(c.Stored, show)), c.Free);
        EXPECT_EQ(Unresolved(c.Stored), c.Stored);
        Confine(P("pkg/"));
        EXPECT_EQ(found(Resolve(c.Stored, show)), c.Confined);
        // Nor is the stored name opened as it is, when nothing was found for it.
        EXPECT_EQ(Unresolved(c.Stored), "");
        Confine("");
    }
    // Web addresses stay what they are: a play list may name one.
    Confine(P("pkg/"));
    EXPECT_EQ(Unresolved("http://radio.example/strom.mp3"), "http://radio.example/strom.mp3");
    EXPECT_EQ(Unresolved("HTTPS://radio.example/strom.mp3"), "HTTPS://radio.example/strom.mp3");
    // Any other scheme names a file or a device, not the web.
    EXPECT_EQ(Unresolved("file:///etc/passwd"), "");
    EXPECT_EQ(Unresolved("Musik\\http://x.mp3"), "");
    Confine("");
}

TEST_F(GlobalsTest, WindowsNamesFindFilesOfAnotherCase) {
    Touch("show/x.jpg");
    EXPECT_EQ(Resolve("C:\\Bilder\\X.JPG", P("show/Show.kls")), P("show/x.jpg"));
    Touch("show/Unter/Bild.JPG");
    EXPECT_EQ(Resolve("unter\\bild.jpg", P("SHOW/show.kls")), P("show/Unter/Bild.JPG"));
    // The current folder stays where it was.
    const auto cwd = fs::current_path();
    Resolve("nothing.jpg", P("show/Show.kls"));
    EXPECT_EQ(fs::current_path(), cwd);
}

TEST(GlobalPaths, DrivesAndNames) {
    EXPECT_EQ(StripDrive("C:\\\\Bilder\\x.jpg"), "Bilder\\x.jpg");
    EXPECT_EQ(StripDrive("\\\\server\\share\\a\\b"), "a\\b");
    EXPECT_EQ(StripDrive("\\a"), "a");
    EXPECT_EQ(StripDrive("a"), "a");
    EXPECT_EQ(ExtractFileDrive("c:x"), "c:");
    EXPECT_EQ(ExtractFilePath("C:\\a\\b.kls"), "C:\\a\\");
    EXPECT_EQ(ExtractFileName("C:b.kls"), "b.kls");
}

TEST(GlobalPaths, NewUniqueNumberCountsFromTwo) {
    EXPECT_EQ(NewUniqueNumber(), 2);
    EXPECT_EQ(NewUniqueNumber(), 3);
}

TEST_F(GlobalsTest, DataFolder) {
    ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    SetApplicationInfo(nullptr);
    EXPECT_EQ(GetDataFolder(false), P("data/"));  // no identity: the user's data folder itself
    InitializeSlideShowApplication();
    SetProductIdentity(std::make_shared<TFixedProductInfo>("Velmorra", "Glowcanvas"));
    EXPECT_EQ(GetDataFolder(false), P("data/Velmorra/Glowcanvas/"));
    EXPECT_FALSE(fs::exists(root_ + "/data/Velmorra/Glowcanvas"));
    EXPECT_EQ(GetDataFolder(true), P("data/Velmorra/Glowcanvas/"));
    EXPECT_TRUE(fs::is_directory(root_ + "/data/Velmorra/Glowcanvas"));

    // Without an application-data folder: below the application folder.
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::unsetenv("HOME");
    EXPECT_EQ(GetDataFolder(false), AppDir + "Anwendungsdaten\\");
    if (home) ::setenv("HOME", savedHome.c_str(), 1);
    FinalizeSlideShowApplication();
}

TEST_F(GlobalsTest, ExternalPluginListDropsChangedFiles) {
    Touch("p1.so", 10);
    Touch("p2.so", 20);
    TExternalPluginManager m(nullptr);
    EXPECT_TRUE(m.NeedsRescan(P("p1.so")));
    m.Files.push_back(TExternalPluginManager::MakeLine(P("p1.so")));
    m.Files.push_back(TExternalPluginManager::MakeLine(P("p2.so")));
    m.Files.push_back(TExternalPluginManager::MakeLine(P("gone.so")));
    EXPECT_EQ(m.IndexOf(AnsiUpperCase(P("p2.so"))), 1);
    EXPECT_FALSE(m.NeedsRescan(P("p1.so")));
    Touch("p2.so", 30);  // replaced by a larger file
    EXPECT_TRUE(m.NeedsRescan(P("p2.so")));
    m.CheckChanges = false;
    EXPECT_FALSE(m.NeedsRescan(P("p2.so")));
    m.CheckChanges = true;

    TExternalPluginProperties props;
    props.TakeFromManager(m);
    ASSERT_EQ(m.Files.size(), 1u);
    EXPECT_EQ(m.IndexOf(P("p1.so")), 0);
    EXPECT_EQ(props.Files, m.Files);
    EXPECT_EQ(props.GetEditorFrameClasses().size(), 0u);  // no frame class of that name exists

    // Stored as one block with one string.
    props.Files = {"a\t1\t2", "b\t3\t4"};
    TMemoryStream s;
    ASSERT_TRUE(props.SaveToStream(s, 0, 0));
    const std::string text = "a\t1\t2\r\nb\t3\t4";
    ASSERT_EQ(s.GetSize(), static_cast<int64_t>(8 + text.size()));
    EXPECT_EQ(std::string(s.Bytes().begin() + 8, s.Bytes().end()), text);
    EXPECT_EQ(s.Bytes()[0], 8 + text.size());
    EXPECT_EQ(SplitLines("a\r\nb\nc\r"), (std::vector<AnsiString>{"a", "b", "c"}));
}

namespace {
std::vector<std::string> trace;
void InitA() { trace.push_back("+A"); }
void FinA() { trace.push_back("-A"); }
void InitB() { trace.push_back("+B"); }
void FinB() {
    trace.push_back("-B");
    throw Exception("Fehler beim Beenden");
}
void InitC() { trace.push_back("+C"); }
void FinC() { trace.push_back("-C"); }
void InitFails() { throw Exception("kaputt"); }
void TestIdentity() { SetProductIdentity(std::make_shared<TFixedProductInfo>("Velmorra", "Glowcanvas")); }
}  // namespace

TEST(Startup, FixedOrderAndReverseFinalisation) {
    ClearStartupModules();
    trace.clear();
    AddStartupModule(TStartupStage::Plugins, "C", InitC, FinC);
    AddFoundationModules();
    AddStartupModule(TStartupStage::Identity, "TestIdentity", TestIdentity, nullptr);
    AddStartupModule(TStartupStage::Plugins, "A", InitA, FinA);
    AddStartupModule(TStartupStage::Program, "B", InitB, FinB);
    EXPECT_EQ(StartupModuleNames(), (std::vector<AnsiString>{"ApplicationName", "SlideShowApplication", "TestIdentity",
                                                             "Parameters", "SlideShowGlobals", "Translation",
                                                             "ImageLists", "C", "Packager", "A", "B"}));
    RunInitializations();
    EXPECT_TRUE(Initialized());
    EXPECT_EQ(trace, (std::vector<std::string>{"+C", "+A", "+B"}));
    ASSERT_TRUE(Plugins && PropertiesList && PluginManager && PluginProperties);
    EXPECT_EQ(PropertiesList->GetItem(0)->Name, "Grundeinstellungen");
    EXPECT_FALSE(AppDir.empty());
    EXPECT_EQ(AppPresetsDir, AppDir + "Presets\\");
    EXPECT_EQ(GetApplicationInfo()->GetProductName(), "Glowcanvas");
    RunInitializations();  // once only
    EXPECT_EQ(trace.size(), 3u);

    RunFinalizations();  // B raises: logged, the others still run
    EXPECT_EQ(trace, (std::vector<std::string>{"+C", "+A", "+B", "-B", "-A", "-C"}));
    EXPECT_FALSE(Initialized());
    EXPECT_EQ(Plugins, nullptr);
    EXPECT_TRUE(AppDir.empty());
    EXPECT_FALSE(GetApplicationInfo());

    // A failing initialisation finalises what was initialised and passes the error on.
    ClearStartupModules();
    trace.clear();
    AddStartupModule(TStartupStage::Plugins, "A", InitA, FinA);
    AddStartupModule(TStartupStage::Plugins, "Fails", InitFails, FinB);
    AddStartupModule(TStartupStage::Plugins, "C", InitC, FinC);
    EXPECT_THROW(RunInitializations(), Exception);
    EXPECT_EQ(trace, (std::vector<std::string>{"+A", "-A"}));
    EXPECT_FALSE(Initialized());
    ClearStartupModules();
}
