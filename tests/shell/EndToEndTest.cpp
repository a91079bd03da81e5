// The program itself: started headless, and with its settings dialog under Xvfb, where
// xdotool plays the user.
#include "ShellTestSupport.h"
#include "platform/Paths.h"
#include "shell/ScreenSaverOptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    return false;
}

// The program beside this test's build: <build>/tools/glowcanvas.
std::string ProgramPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path program = self.parent_path().parent_path() / "tools" / "glowcanvas";
    return fs::exists(program, ec) ? program.string() : std::string();
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct RunResult {
    int exitCode = -1;
    std::string err;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = ProgramPath();
        if (program_.empty()) GTEST_SKIP() << "the program glowcanvas is not built";
    }

    // A copy of the program named sonne, with or without the options package.
    std::string Saver(const std::string& folder, bool withPackage) {
        fs::create_directories(work / folder);
        const std::string copy = work / (folder + "/sonne");
        if (withPackage) {
            MakeHostWithPackage(copy, {{"settings.dat", OptionsBytes("", true, true, false, 0, 5000)}},
                                ReadFileBytes(program_));
        } else {
            fs::copy_file(program_, copy, fs::copy_options::overwrite_existing);
        }
        fs::permissions(copy, fs::perms::owner_all);
        return copy;
    }

    // Runs command under sh with the test's registry, no display, and a time limit.
    RunResult Run(const std::string& command) {
        const std::string errFile = work / "stderr.txt";
        const std::string full = "env -u DISPLAY -u WAYLAND_DISPLAY GC_REGISTRY_DIR=" +
                                 Quote(registry.Dir().Path().string()) +
                                 " NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory timeout 240 sh -c " + Quote(command) +
                                 " 2>" + Quote(errFile) + " >/dev/null";
        RunResult r;
        const int status = std::system(full.c_str());
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = ReadText(errFile);
        return r;
    }

    std::string program_;
    TempDir work;
    TestRegistry registry;
};

}  // namespace

TEST_F(ProgramTest, HeadlessWithoutOptionsReportsOnStderr) {
    const std::string saver = Saver("plain", false);
    RunResult r = Run(Quote(saver));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Der Bildschirmschoner wurde nicht korrekt installiert."), std::string::npos) << r.err;

    r = Run(Quote(saver) + " /x");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");

    // With its package the headless configure mode finds the options, but no dialog
    // can show: it says so, saves nothing and fails.
    const std::string packed = Saver("packed", true);
    r = Run(Quote(packed) + " /c");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Keine Anzeige"), std::string::npos) << r.err;
    TPluginPtr<TScreenSaverProperties> options;
    EXPECT_FALSE(LoadOptionsFromRegistry("sonne", options));
}

TEST_F(ProgramTest, DebugOutputNamesWhyItIsNotInstalled) {
    const std::string packed = Saver("packed", true);
    std::vector<uint8_t> bytes = ReadFileBytes(packed);
    ASSERT_GT(bytes.size(), 100u);
    bytes.erase(bytes.end() - 100, bytes.end());  // cut off
    WriteFileBytes(packed, bytes);
    RunResult r = Run("GC_DEBUG=1 " + Quote(packed) + " /c");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(packed + ": no package trailer at the end of the file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Der Bildschirmschoner wurde nicht korrekt installiert."), std::string::npos) << r.err;
    // Without the switch only the message.
    r = Run(Quote(packed) + " /c");
    EXPECT_EQ(r.err.find("no package trailer"), std::string::npos) << r.err;
}

TEST_F(ProgramTest, SettingsDialogSavesThroughItsWidgets) {
    if (!OnPath("xvfb-run") || !OnPath("xdotool")) GTEST_SKIP() << "xvfb-run or xdotool is missing";
    const std::string packed = Saver("packed", true);
    // The dialog: wait for its window, give it the focus, jump to the duration with its
    // mnemonic (which selects the text), type 7 and press Enter for the default button.
    const std::string drive = R"(
# prog keys [box keys-for-box keys-after]: types keys into the dialog; with a box
# title, waits for that message box, answers it and types the last keys into the
# dialog, which must still be open.
prog="$1"; keys="$2"; box="$3"; boxkeys="$4"; after="$5"
find() {
  for i in $(seq 1 450); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
type_into() {
  sleep 0.5
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.2
  xdotool key --delay 100 $2
}
"$prog" /c &
pid=$!
w=$(find "^Velmorra Glowcanvas$") || { kill $pid; echo "no dialog window" >&2; exit 3; }
type_into "$w" "$keys"
if [ -n "$box" ]; then
  b=$(find "^$box$") || { kill $pid; echo "no message box" >&2; exit 4; }
  type_into "$b" "$boxkeys"
  w=$(find "^Velmorra Glowcanvas$") || { kill $pid; echo "dialog closed" >&2; exit 5; }
  type_into "$w" "$after"
fi
wait $pid
)";
    std::ofstream(work / "drive.sh") << drive;
    // GTK and fontconfig keep caches until the process ends; a sanitizer build would
    // call them leaks of the program.
    const std::string xvfb = "ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s '-screen 0 1024x768x24' sh " + Quote(work / "drive.sh") + " ";

    RunResult r = Run(xvfb + Quote(packed) + " 'alt+s 7 Return'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    TPluginPtr<TScreenSaverProperties> options;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options)) << r.err;
    EXPECT_EQ(options->DefaultDuration, 7000);

    // A second start reads them back from the registry, not from its package (5000):
    // OK without a change saves what it read.
    r = Run(xvfb + Quote(packed) + " 'Return'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options));
    EXPECT_EQ(options->DefaultDuration, 7000);

    // A link under another name is another screen saver with options of its own, though
    // the package comes from the file the link leads to.
    fs::create_symlink(packed, work / "packed/mond");
    r = Run(xvfb + Quote(work / "packed/mond") + " 'alt+s 3 Return'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(LoadOptionsFromRegistry("mond", options));
    EXPECT_EQ(options->DefaultDuration, 3000);
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options));
    EXPECT_EQ(options->DefaultDuration, 7000);

    // A duration over one hour is refused with a message, and the dialog stays open.
    r = Run(xvfb + Quote(packed) + " 'alt+s 9 9 9 9 Return' Information Return Escape");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options));
    EXPECT_EQ(options->DefaultDuration, 7000);

    // Escape cancels: nothing is saved.
    r = Run(xvfb + Quote(packed) + " 'alt+s 9 Escape'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options));
    EXPECT_EQ(options->DefaultDuration, 7000);

    // A store of random bytes: the dialog shows the package's options, OK saves, and the
    // damaged store is kept beside the new one as it was.
    std::vector<uint8_t> noise(2000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 40503u) >> 7);
    WriteFileBytes(registry.Dir() / "user.reg", noise);
    r = Run(xvfb + Quote(packed) + " 'alt+s 4 Return'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(registry.Dir() / "user.reg.damaged"), noise);
    EXPECT_NE(r.err.find(registry.Dir() / "user.reg.damaged"), std::string::npos) << r.err;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", options));
    EXPECT_EQ(options->DefaultDuration, 4000);
}

TEST_F(ProgramTest, WithoutADisplayRunsAndPreviewsEndAtOnce) {
    TestTempFolder temp;
    // Without a sound library in its package the run would warn after the extraction:
    // the one line proves it ended before.
    const std::string packed = Saver("packed", true);
    for (const char* args : {" /s", " /p 77"}) {
        SCOPED_TRACE(args);
        const RunResult r = Run("env -u SDL_VIDEODRIVER " + Quote(packed) + args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "sonne: no display to show the screen saver on\n");
        EXPECT_EQ(temp.EntryCount(), 0u);
    }
}

TEST_F(ProgramTest, HeadlessRunsEndQuietlyAndLeaveNoFolder) {
    TestTempFolder temp;
    // Without a package the options name the show; a missing one is named.
    const std::string plain = Saver("plain", false);
    TScreenSaverProperties options;
    options.FileName = FromPosixPath(work / "weg/Slideshow.kls");
    ASSERT_TRUE(SaveOptionsToRegistry("sonne", options));
    RunResult r = Run(Quote(plain) + " /s");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Fehler: Die Lumivor \"" + (work / "weg/Slideshow.kls") + "\" ist nicht vorhanden."),
              std::string::npos)
        << r.err;

    // A package without a show and without a sound library: the warning, then a run that
    // cannot show anything ends without a word; the options are saved, the folder goes.
    const std::string packed = Saver("packed", true);
    r = Run(Quote(packed) + " /s");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Warnung: Die Datei \""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Fehler"), std::string::npos) << r.err;
    EXPECT_EQ(temp.EntryCount(), 0u);
    TPluginPtr<TScreenSaverProperties> saved;
    ASSERT_TRUE(LoadOptionsFromRegistry("sonne", saved));
    EXPECT_NE(saved->FileName.find("Lumivor\\Slideshow.kls"), AnsiString::npos);

    // A preview with no window, or none that exists, does nothing.
    for (const char* args : {" /p", " /p 77", " /l Fenster"}) {
        r = Run(Quote(packed) + args);
        EXPECT_EQ(r.exitCode, 0) << args;
        EXPECT_EQ(r.err, "") << args;
        EXPECT_EQ(temp.EntryCount(), 0u) << args;
    }
}
