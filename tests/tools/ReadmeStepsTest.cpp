// The README's steps for a user's own screen saver, run as written (the build's programs
// standing in for the installed ones): the saver they make plays its pictures and music.
#include "ToolRunSupport.h"
#include "graphics/picture_testsupport.h"
#include "playback/MusicShow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1 && echo y").out == "y\n";
}

// The lines of the README's block of steps.
std::vector<std::string> ReadmeSteps() {
    const char* data = std::getenv("GC_TEST_DATA");
    if (!data) return {};
    std::ifstream f(fs::path(data).parent_path().parent_path() / "README.md");
    std::vector<std::string> steps;
    std::string line;
    bool inside = false;
    while (std::getline(f, line)) {
        if (line.rfind("<!-- steps", 0) == 0) inside = true;
        else if (line.rfind("<!-- end of steps", 0) == 0) break;
        else if (inside && line.rfind("```", 0) != 0 && !line.empty()) steps.push_back(line);
    }
    return steps;
}

std::string Replaced(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
    return s;
}

TEST(ReadmeSteps, MakeASaverThatPlaysTheUsersPicturesAndMusic) {
    if (!OnPath("xvfb-run") || !OnPath("xdotool") || !OnPath("ffmpeg")) GTEST_SKIP() << "xvfb-run, xdotool or ffmpeg is missing";
    const std::vector<std::string> steps = ReadmeSteps();
    ASSERT_GE(steps.size(), 2u) << "no steps in the README";
    ASSERT_EQ(steps.back(), "./meinschoner /s");
    TempDir dir;
    // The user's files: two photographs and a song of a 440 Hz tone.
    const fs::path home = dir.Path() / "home";
    fs::create_directories(home / "Bilder/Urlaub");
    fs::create_directories(home / "Musik");
    WriteFileBytes((home / "Bilder/Urlaub/01-Strand.jpg").string(),
                   EncodeJpeg(960, 720, [](int, int) { return 0xFFE0B040u; }));
    WriteFileBytes((home / "Bilder/Urlaub/02-Berge.jpg").string(),
                   EncodeJpeg(960, 720, [](int, int) { return 0xFF3060C0u; }));
    ASSERT_EQ(RunCommand("ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=8 -c:a libvorbis " +
                         Q((home / "Musik/lied.ogg").string()) + " </dev/null; echo $?")
                  .out,
              "0\n");

    // Every step but the last as the README says, with the build's programs where the
    // installation puts them.
    const fs::path tools = ShowTool().parent_path();
    std::string script = "set -e\n";
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        std::string step = Replaced(steps[i], "/usr/local/lib/glowcanvas/fmod.dll",
                                    (tools.parent_path() / "soundlib/fmod.dll").string());
        script += Replaced(step, "/usr/local/bin/glowcanvas", (tools / "glowcanvas").string()) + "\n";
    }
    const std::string work = dir / "work";
    fs::create_directories(work);
    // Twice: each step runs again on what it made the first time.
    std::ofstream(dir / "steps.sh") << script << script;
    const std::string env = "cd " + Q(work) + " && HOME=" + Q(home.string()) + " PATH=" + Q(tools.string()) + ":\"$PATH\" ";
    const ToolRun made = RunCommand(env + "sh " + Q(dir / "steps.sh") + " >" + Q(dir / "steps.log") + " 2>&1; echo $?");
    const std::vector<uint8_t> log = ReadFileBytes(dir / "steps.log");
    ASSERT_EQ(made.out, "0\n") << std::string(log.begin(), log.end());

    // The last step under Xvfb with SDL's disk audio driver, ended by a key once 6 s are
    // recorded.
    const TRecordedRun r = RecordFullScreenRun(
        dir, "cd " + Q(work) + " && ", "GC_REGISTRY_DIR=" + Q(dir / "registry") + " TMPDIR=" + Q(dir.Path().string()),
        steps.back(), 1058400);
    ASSERT_EQ(r.Status, "0\n") << r.Err;
    const std::vector<int16_t>& samples = r.Samples;
    double peak = 0;
    for (size_t w = 0; (w + 1) * 4410 <= samples.size() / 2; ++w)
        peak = std::max(peak, ToneLevel(samples, w * 4410, (w + 1) * 4410, 440, 44100));
    EXPECT_GT(peak, 300) << "the song is silent";
}

}  // namespace
