#include "ShellTestSupport.h"
#include "foundation/AppInfo.h"
#include "foundation/CommandLine.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "platform/Window.h"
#include "shell/ScreenSaverApplicationInfo.h"
#include "shell/ScreenSaverMain.h"
#include "shell/ScreenSaverOptions.h"
#include "shell/ScreenSaverTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

void SetArgs(std::vector<std::string> args) {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    SetProcessArguments(static_cast<int>(argv.size()), argv.data());
    FinalizeParameters();  // the next use parses the new line
}

// A command line with XSCREENSAVER_WINDOW as given (null: unset).
void SetDaemonsCall(TFakeScreenSaverSystem& fake, const std::vector<std::string>& args, const char* environment) {
    fake.Environment.clear();
    if (environment) fake.Environment["XSCREENSAVER_WINDOW"] = environment;
    SetArgs(args);
}

uint8_t ModeOf(std::vector<std::string> args) {
    SetArgs(std::move(args));
    return GetScreenSaverMode();
}

// A dialog that plays the user's part instead of showing itself.
class ActingForm : public TScreenSaverConfigureForm {
public:
    explicit ActingForm(std::function<int(TScreenSaverConfigureForm&)> act) : act_(std::move(act)) {
        DecimalSeparator = ',';
    }
    int ShowModal() override { return ModalResult = act_(*this); }

private:
    std::function<int(TScreenSaverConfigureForm&)> act_;
};

}  // namespace

TEST(ScreenSaverMode, SwitchesChooseTheMode) {
    EXPECT_EQ(ModeOf({"saver", "-s"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "/S"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "/a"}), ssmChangePassword);
    EXPECT_EQ(ModeOf({"saver", "/p", "1234"}), ssmPreview);
    EXPECT_EQ(ModeOf({"saver", "/L", "1234"}), ssmPreview);
    EXPECT_EQ(ModeOf({"saver"}), ssmConfigure);
    EXPECT_EQ(ModeOf({"saver", "/x"}), ssmOther);
    EXPECT_EQ(ModeOf({"saver", "/c:1234"}), ssmConfigure);
    EXPECT_EQ(ModeOf({"saver", "/s", "/c"}), ssmConfigure);  // C is asked first
    // A Linux program path is no switch.
    EXPECT_EQ(ModeOf({"/srv/saver"}), ssmConfigure);
    EXPECT_EQ(ModeOf({"/srv/saver", "word"}), ssmOther);
}

TEST(ScreenSaverMode, AScreenSaverDaemonsCallIsTheRunAfterTheWindowsSwitches) {
    EXPECT_EQ(ModeOf({"saver", "-root"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "-window-id", "0x1a00007"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "-window-id"}), ssmRun);
    // xscreensaver 6 hands its hacks the options with two dashes.
    EXPECT_EQ(ModeOf({"saver", "--root"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "--window-id", "0x1a00007"}), ssmRun);
    EXPECT_EQ(ModeOf({"saver", "-root", "/c"}), ssmConfigure);
    EXPECT_EQ(ModeOf({"saver", "-root", "/p", "1234"}), ssmPreview);
    EXPECT_EQ(ModeOf({"saver", "-root", "/a"}), ssmChangePassword);
    // Only the daemon's words, as it writes them.
    EXPECT_EQ(ModeOf({"saver", "-Root"}), ssmOther);
    EXPECT_EQ(ModeOf({"saver", "---root"}), ssmOther);
    EXPECT_EQ(ModeOf({"saver", "/root"}), ssmOther);
    EXPECT_EQ(ModeOf({"saver", "-window"}), ssmOther);
    EXPECT_EQ(IsDaemonCall(), false);
    SetArgs({"saver", "-root"});
    EXPECT_TRUE(IsDaemonCall());
    SetArgs({"saver"});
}

// A daemon that passes no option names its window in the environment only: that is its
// call for the run, while the bare program without that variable opens the settings.
TEST(ScreenSaverMode, NoParameterWithTheDaemonsWindowNamedIsTheRun) {
    TFakeScreenSaverSystem fake;
    SetScreenSaverSystem(&fake);
    struct TCase {
        std::vector<std::string> Args;
        const char* Environment;  // XSCREENSAVER_WINDOW; null: unset
        uint8_t Mode;
        bool Daemon;
    };
    const TCase cases[] = {
        {{"saver"}, "0x400008", ssmRun, true},
        {{"saver"}, "4194312", ssmRun, true},
        {{"saver"}, nullptr, ssmConfigure, false},
        {{"saver"}, "", ssmConfigure, false},
        {{"saver"}, "Fenster", ssmConfigure, false},
        {{"saver"}, "0", ssmConfigure, false},
        {{"saver", "/c"}, "0x400008", ssmConfigure, false},
        {{"saver", "/p", "1234"}, "0x400008", ssmPreview, false},
        {{"saver", "/s"}, "0x400008", ssmRun, false},
        {{"saver", "word"}, "0x400008", ssmOther, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.back() + " " + (c.Environment ? c.Environment : "(unset)"));
        SetDaemonsCall(fake, c.Args, c.Environment);
        EXPECT_EQ(GetScreenSaverMode(), c.Mode);
        EXPECT_EQ(IsDaemonCall(), c.Daemon);
    }
    SetScreenSaverSystem(nullptr);
    SetArgs({"saver"});
}

TEST(ScreenSaverMode, TheDaemonsWindowComesFromItsIdItsEnvironmentOrTheRoot) {
    TFakeScreenSaverSystem fake;
    fake.Root = 0x50d;
    SetScreenSaverSystem(&fake);
    struct TCase {
        std::vector<std::string> Args;
        const char* Environment;  // XSCREENSAVER_WINDOW; null: unset
        uint64_t Window;
    };
    const TCase cases[] = {
        {{"saver", "-root"}, nullptr, 0x50d},
        {{"saver", "-root"}, "0x400008", 0x400008},
        {{"saver", "-root"}, "4194312", 4194312},
        {{"saver", "-root"}, "0X40000A", 0x40000a},
        {{"saver", "-root"}, "Fenster", 0x50d},
        {{"saver", "-root"}, "", 0x50d},
        {{"saver", "-window-id", "0x2c00001"}, "0x400008", 0x2c00001},
        {{"saver", "-window-id", "46137345"}, nullptr, 46137345},
        {{"saver", "-window-id", "0xFFFFFFFF"}, nullptr, 0xFFFFFFFF},
        // An id that is none: the daemon's environment, else no window at all.
        {{"saver", "-window-id", "0x100000000"}, nullptr, 0},
        {{"saver", "-window-id", "0"}, "0x400008", 0x400008},
        {{"saver", "-window-id", "-5"}, nullptr, 0},
        {{"saver", "-window-id", "0x"}, nullptr, 0},
        {{"saver", "-window-id", "12a"}, nullptr, 0},
        {{"saver", "-window-id"}, "0x400008", 0x400008},
        {{"saver", "-window-id", "x", "-root"}, nullptr, 0x50d},
        {{"saver", "--root"}, "0x400008", 0x400008},
        {{"saver", "--window-id", "0x2c00001"}, "0x400008", 0x2c00001},
        // No daemon's call: no window, whatever the environment says.
        {{"saver", "/s"}, "0x400008", 0},
        {{"saver", "/c"}, "0x400008", 0},
        // No parameter at all is a daemon's call when its window is named (xsecurelock,
        // an xscreensaver line without an option).
        {{"saver"}, "0x400008", 0x400008},
        {{"saver"}, "Fenster", 0},
        {{"saver"}, nullptr, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.back() + " " + (c.Environment ? c.Environment : "(unset)"));
        SetDaemonsCall(fake, c.Args, c.Environment);
        EXPECT_EQ(GetDaemonWindow(), c.Window);
    }
    SetScreenSaverSystem(nullptr);
    SetArgs({"saver"});
}

TEST(ScreenSaverMode, ExeTitleIsTheStartedNameWithoutExtension) {
    TempDir dir;
    WriteFileBytes(dir / "Sonnenaufgang am Meer.scr", {1});
    SetArgs({dir / "Sonnenaufgang am Meer.scr", "/s"});
    EXPECT_EQ(GetExeTitle(), "Sonnenaufgang am Meer");
    // The file's own letter case counts.
    SetArgs({dir / "SONNENAUFGANG AM MEER.SCR"});
    EXPECT_EQ(GetExeTitle(), "Sonnenaufgang am Meer");
    // Found on the search path: the name it was started under.
    SetArgs({"mond-saver"});
    EXPECT_EQ(GetExeTitle(), "mond-saver");
}

TEST(ScreenSaverIdentity, ProductAndPluginInformationAgree) {
    TScreenSaverApplicationInfo p;
    EXPECT_EQ(p.GetCompanyName(), "Velmorra");
    EXPECT_EQ(p.GetProductName(), "Glowcanvas");
    EXPECT_EQ(p.GetHomePageURL(), "http://" + p.GetWebAddress());
    EXPECT_NE(p.GetWebAddress().find(".example"), AnsiString::npos);
    EXPECT_EQ(p.GetFullVersion(), "2.0.1");
    EXPECT_EQ(p.GetRegistryBase(), "\\Software\\Velmorra\\Glowcanvas\\2.x\\");
    EXPECT_EQ(p.GetCompanyProductPath(), "Velmorra\\Glowcanvas\\");
    EXPECT_EQ(p.GetHelpFile(), "Glowcanvas.chm");
    EXPECT_EQ(p.GetPictureFile(), "Glowcanvas.jpg");
    EXPECT_EQ(p.GetKindWord(), "Screensaver");

    auto plugin = GetPluginApplicationInfo();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->GetRegistryBase(), p.GetRegistryBase());
    EXPECT_EQ(plugin->GetMajorVersion(), "2");
    EXPECT_EQ(plugin->GetVersion(), "2.0");
    EXPECT_EQ(plugin->GetReserved8(), "");
    EXPECT_EQ(plugin->GetReserved15(), "");
    EXPECT_EQ(plugin->GetCopyright(), p.GetCopyright());
    // The application information answers through the installed product identity.
    EXPECT_EQ(GetApplicationInfo()->GetHomePageURL(), p.GetHomePageURL());
}

class StartTest : public ::testing::Test {
protected:
    void TearDown() override { SetConfigureFormFactory(nullptr); }

    void UseForm(std::function<int(TScreenSaverConfigureForm&)> act) {
        SetConfigureFormFactory([act] { return std::make_unique<ActingForm>(act); });
    }
    void SaveOptions(int32_t duration) {
        TScreenSaverProperties p;
        p.DefaultDuration = duration;
        ASSERT_TRUE(SaveOptionsToRegistry("sonne", p));
    }
    std::vector<uint8_t> StoreBytes() { return ReadFileBytes(registry.Dir() / "user.reg"); }

    TestRegistry registry;
    RecordedBoxes boxes;
};

TEST_F(StartTest, WithoutOptionsTheUserIsToldAndNothingRuns) {
    bool shown = false;
    UseForm([&](TScreenSaverConfigureForm&) {
        shown = true;
        return mrOk;
    });
    SetArgs({"sonne", "/c"});
    EXPECT_FALSE(StartScreenSaver());
    EXPECT_FALSE(shown);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].first, "Der Bildschirmschoner wurde nicht korrekt installiert.");
    EXPECT_EQ(boxes.Boxes[0].second, TMsgDlgType::mtError);

    // An unknown switch ends at once, without a word.
    SetArgs({"sonne", "/x"});
    EXPECT_TRUE(StartScreenSaver());
    EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(StartTest, ConfigureShowsTheOptionsAndSavesThemOnOk) {
    SaveOptions(3000);
    AnsiString shownDuration, caption, creator;
    UseForm([&](TScreenSaverConfigureForm& f) {
        shownDuration = f.Values.DurationText;
        caption = f.Caption;
        creator = f.CreatorLabel;
        f.Values.DurationText = "4,5";
        f.Values.Shuffle = true;
        f.ShuffleCheckBoxClick();
        f.OkButtonClick();
        return f.ModalResult;
    });
    SetArgs({"/opt/savers/sonne", "/c:99"});
    EXPECT_TRUE(StartScreenSaver());
    EXPECT_EQ(ScreenSaverName, "sonne");
    EXPECT_EQ(shownDuration, "3,00");
    EXPECT_EQ(caption, "Velmorra Glowcanvas");
    EXPECT_EQ(creator, "Erstellt mit Glowcanvas 2.0.1 " + TScreenSaverApplicationInfo().GetCopyright());
    EXPECT_TRUE(boxes.Boxes.empty());

    TPluginPtr<TScreenSaverProperties> back;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", back));
    EXPECT_EQ(back->DefaultDuration, 4500);
    EXPECT_TRUE(back->Shuffle);
    EXPECT_FALSE(back->ResumeAtLastPos);
}

TEST_F(StartTest, CancelLeavesOptionsAndRegistryUntouched) {
    SaveOptions(3000);
    const std::vector<uint8_t> before = StoreBytes();
    UseForm([&](TScreenSaverConfigureForm& f) {
        f.Values.DurationText = "9";
        f.Values.UseSound = false;
        return mrCancel;
    });
    SetArgs({"sonne"});
    EXPECT_TRUE(StartScreenSaver());
    EXPECT_EQ(Options->DefaultDuration, 3000);
    EXPECT_TRUE(Options->UseSound);
    EXPECT_EQ(StoreBytes(), before);
}

// A store that cannot be read no longer blocks saving: it is kept under a new name.
TEST_F(StartTest, ADamagedStoreIsKeptAndTheSaveGoesThrough) {
    SaveOptions(3000);
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    UseForm([&](TScreenSaverConfigureForm& f) {
        // The store is damaged while the dialog is open.
        WriteFileBytes(registry.Dir() / "user.reg", noise);
        f.Values.DurationText = "6";
        f.OkButtonClick();
        return f.ModalResult;
    });
    SetArgs({"sonne", "/c"});
    testing::internal::CaptureStderr();
    EXPECT_TRUE(StartScreenSaver());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(ReadFileBytes(registry.Dir() / "user.reg.damaged"), noise);
    EXPECT_NE(err.find(registry.Dir() / "user.reg.damaged"), std::string::npos) << err;

    // The next start reads what the dialog saved.
    AnsiString shown;
    UseForm([&](TScreenSaverConfigureForm& f) {
        shown = f.Values.DurationText;
        return mrCancel;
    });
    EXPECT_TRUE(StartScreenSaver());
    EXPECT_EQ(shown, "6,00");
}

TEST_F(StartTest, AFailedSaveNamesTheStoreAndTheReason) {
    SaveOptions(3000);
    UseForm([&](TScreenSaverConfigureForm& f) {
        f.Values.DurationText = "1";
        f.OkButtonClick();
        return f.ModalResult;
    });
    SetArgs({"sonne", "-C"});
    const std::string folder = registry.Dir().Path().string();
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    bool started;
    {
        FilePermissionsHold hold;
        started = StartScreenSaver();
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(started);  // the program exits 1
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].first, "Die Einstellungen konnten nicht gespeichert werden.\n" + folder +
                                        "/user.reg.lock: Permission denied");
    EXPECT_EQ(boxes.Boxes[0].second, TMsgDlgType::mtError);
}

TEST_F(StartTest, ADialogThatCannotShowFailsTheRun) {
    SaveOptions(3000);
    UseForm([&](TScreenSaverConfigureForm&) { return mrNone; });
    SetArgs({"sonne", "/c"});
    EXPECT_FALSE(StartScreenSaver());
    UseForm([&](TScreenSaverConfigureForm&) { return mrCancel; });
    EXPECT_TRUE(StartScreenSaver());
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(StartTest, OtherModesNeedNoDialog) {
    SaveOptions(3000);
    bool shown = false;
    UseForm([&](TScreenSaverConfigureForm&) {
        shown = true;
        return mrCancel;
    });
    // The preview finds no window 77 and the run no show: both fail.
    for (const auto& [sw, played] : {std::pair{"/a", true}, {"/p", false}, {"/s", false}}) {
        SetArgs({"sonne", sw, "77"});
        EXPECT_EQ(StartScreenSaver(), played) << sw;
    }
    EXPECT_FALSE(shown);
    // Only the run shows a box: its options name no show.
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].first.rfind("Die Lumivor \"", 0), 0u) << boxes.Boxes[0].first;
    EXPECT_FALSE(HasPackage);
}

// A settings panel's preview pane is smaller than its monitor both ways; a daemon's own
// window covers the monitor.
TEST(ScreenSaverMode, ADaemonsWindowSmallerThanItsMonitorIsAPreviewPane) {
    TFakeWindowSystem windows;
    SetWindowSystem(&windows);
    struct TCase {
        const char* Name;
        TRect Window;  // none when empty
        bool Preview;
    };
    const TCase cases[] = {
        {"the panel's pane", TRect{20, 40, 340, 280}, true},
        {"the whole screen", TRect{0, 0, 1024, 768}, false},
        {"as wide as the screen", TRect{0, 0, 1024, 300}, false},
        {"as high as the screen", TRect{0, 0, 500, 768}, false},
        {"no such window", TRect{}, false},
    };
    uint64_t id = 0x400000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ++id;
        if (c.Window.Width() > 0) windows.AddForeignWindow(id, c.Window);
        EXPECT_EQ(IsDaemonPreviewPane(id), c.Preview);
    }
    EXPECT_FALSE(IsDaemonPreviewPane(0));
    SetWindowSystem(nullptr);
}
