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
    const std::string xvfb = "ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -n 130 -s '-screen 0 1024x768x24' sh " + Quote(work / "drive.sh") + " ";

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

// The package of a saver named name, holding items.
std::string PackedSaver(const fs::path& dir, const std::string& program, const std::string& name,
                        const std::vector<std::pair<AnsiString, std::vector<uint8_t>>>& items) {
    const std::string saver = dir / name;
    MakeHostWithPackage(saver, items, ReadFileBytes(program));
    fs::permissions(saver, fs::perms::owner_all);
    return saver;
}

// The directory entry of item in saver's package claims size bytes.
void ClaimSize(const std::string& saver, const std::string& item, int64_t size) {
    std::vector<uint8_t> bytes = ReadFileBytes(saver);
    const std::string all(bytes.begin(), bytes.end());
    // The entry: offset and size (8 bytes each, little-endian), the name's length, the name.
    const size_t name = all.rfind(item);
    ASSERT_NE(name, std::string::npos);
    for (int i = 0; i < 8; ++i) bytes[name - 12 + i] = uint8_t(uint64_t(size) >> 8 * i);
    WriteFileBytes(saver, bytes);
}

TEST_F(ProgramTest, AStartThatCannotPlaySaysWhyAndFails) {
    TestTempFolder temp;
    const fs::path dir = work / "savers";
    fs::create_directories(dir);
    const std::vector<uint8_t> settings = OptionsBytes("", true, true, false, 0, 5000);
    // The options of a saver without a package name a show that is not there.
    fs::copy_file(program_, dir / "mond");
    TScreenSaverProperties options;
    options.FileName = FromPosixPath(work / "weg/Slideshow.kls");
    ASSERT_TRUE(SaveOptionsToRegistry("mond", options));
    const std::string noShow = PackedSaver(dir, program_, "ohneschau", {{"settings.dat", settings}});
    const std::string empty = PackedSaver(dir, program_, "leer", {});
    const std::string unsafe = PackedSaver(dir, program_, "kaputt", {{"settings.dat", settings}, {"..\\boese.txt", {1}}});
    const std::string big = PackedSaver(dir, program_, "riesig",
                                        {{"settings.dat", settings}, {"Lumivor\\Slideshow.kls", {1}}, {"Lumivor\\gross.bin", {2}}});
    ClaimSize(big, "Lumivor\\gross.bin", int64_t(1) << 50);
    const std::string broken =
        PackedSaver(dir, program_, "wirr", {{"settings.dat", settings}, {"Lumivor\\Slideshow.kls", {1, 2, 3}}});
    const std::string tmp = temp.Dir().Path().string();
    struct TCase {
        std::string Saver;
        std::string Args;
        std::string Line;  // what the one line says, after the saver's name
        bool Box;          // the Part's box, shown where no daemon runs it
    };
    const TCase cases[] = {
        {dir / "mond", "/s", (work / "weg/Slideshow.kls") + ": the show of the options does not exist", true},
        {noShow, "/s", noShow + ": nothing to play: the package holds no Lumivor\\Slideshow.kls", false},
        {noShow, "/p", "/p names no window: the number of the window to preview in must follow it", false},
        {noShow, "/p 77", "/p 77: no such window", false},
        {noShow, "/l Fenster", "/l Fenster: not a window number", false},
        {noShow, "-window-id", "-window-id names no window: its id must follow it", false},
        {noShow, "-window-id zz", "-window-id zz: not a window id (decimal or 0x hex)", false},
        {noShow, "--window-id 12345", "--window-id 12345: no such window", false},
        {noShow, "-root", "XSCREENSAVER_WINDOW=0x1234: no such window", false},
        {empty, "/s", "nothing to play: " + empty + ": the package holds no settings.dat, and the options store has "
                      "none for \"leer\"", false},
        {empty, "-root", "nothing to play: " + empty + ": the package holds no settings.dat, and the options store "
                         "has none for \"leer\"", false},
        {unsafe, "/s", unsafe + ": the package cannot be extracted: unsafe item name \"..\\boese.txt\"", false},
        {big, "/s", "the show's items take " + std::to_string((int64_t(1) << 50) + int64_t(settings.size()) + 1) +
                        " bytes, but " + tmp + " has ", false},
        {broken, "/p 77", "/p 77: no such window", false},
        {broken, "/s", "/Lumivor/Slideshow.kls: the show does not load (result ", false},
    };
    for (const TCase& c : cases) {
        const std::string name = fs::path(c.Saver).filename().string();
        SCOPED_TRACE(name + " " + c.Args);
        const std::string env = c.Args == "-root" ? "XSCREENSAVER_WINDOW=0x1234 " : "";
        const RunResult r = Run("env -u XSCREENSAVER_WINDOW " + env + Quote(c.Saver) + " " + c.Args);
        EXPECT_EQ(r.exitCode, 1);
        std::vector<std::string> said;
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(name + ": ", 0) == 0) said.push_back(line);
        ASSERT_EQ(said.size(), 1u) << r.err;
        EXPECT_NE(said[0].find(c.Line), std::string::npos) << said[0];
        EXPECT_EQ(r.err.find("Fehler") != std::string::npos, c.Box) << r.err;
        EXPECT_EQ(temp.EntryCount(), 0u);
    }

    // A temporary folder that does not exist is named, not made.
    const std::string nowhere = work / "nope/deeper";
    const RunResult r = Run("TMPDIR=" + Quote(nowhere) + " " + Quote(noShow) + " /s");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ohneschau: cannot make the show's folder in " + nowhere + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(work / "nope"));
}
