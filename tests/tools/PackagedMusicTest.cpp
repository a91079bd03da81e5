// The music show as a real program: packaged as the demo packages its screen saver (the
// options file from the show tool, our sound library as fmod.dll, the folder appended to
// a copy of the program by the pack tool), run full screen with /s under Xvfb with SDL's
// disk audio driver, and ended by a key after the show's length. The recording has the
// show's shape within 250 ms, timed from the music's onset in it.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "playback/MusicShow.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1 && echo y").out == "y\n";
}

// The show folder of the package: options and sound library beside the show's folder.
void WriteSaverFolder(const TempDir& dir, const fs::path& folder) {
    ToolShowPlugins();
    const fs::path show = folder / "Lumivor";
    fs::create_directories(show);
    WriteMusicShowSounds(show, 44100);
    TBitmap32 still;
    still.SetSize(64, 48);
    still.Clear(0xFF3050E0);
    WritePngPicture(still, FromPosixPath((show / "bild.png").string()));
    TSlideShow s;
    TSoundSlideShowObject* sound = BuildMusicShow(s, "", [&](int32_t duration) {
        auto* item = new TExtPicSlideShowObject();
        item->FileName = "bild.png";
        item->Duration = duration;
        item->FreeTransition();
        s.RootList().Add(item);
    });
    sound->SoundLength = 3000;  // as it was measured where the show was made
    ASSERT_TRUE(s.SaveToFile(FromPosixPath((show / "Slideshow.kls").string())));
    ASSERT_EQ(RunTool(dir, "options " + Q((folder / "settings.dat").string())).status, 0);
    fs::copy_file(soundtest::LibraryPath(), folder / "fmod.dll");
}

TEST(PackagedMusic, TheRecordingOfAFullScreenRunHasTheShapeOfTheShow) {
    if (!OnPath("xvfb-run") || !OnPath("xdotool")) GTEST_SKIP() << "xvfb-run or xdotool is missing";
    TempDir dir;
    WriteSaverFolder(dir, dir.Path() / "saver");
    const std::string saver = dir / "glowcanvas";
    ASSERT_TRUE(PackProgram(saver, dir / "saver"));

    // The run: the key comes once the recording holds 14 s (16-bit stereo at 44100 Hz),
    // the show's 11.6 s and part of its restart after the music's onset.
    const TRecordedRun r = RecordFullScreenRun(
        dir, "", "GC_REGISTRY_DIR=" + Q(dir / "registry") + " TMPDIR=" + Q(dir.Path().string()), Q(saver) + " /s",
        2469600, 170);
    ASSERT_EQ(r.Status, "0\n") << r.Err;
    // 16-bit stereo at the sound system's rate, as the disk driver writes it.
    const std::vector<int16_t>& samples = r.Samples;
    constexpr int kRate = 44100;
    // To listen to.
    soundtest::WriteWav((TestOutputFolder() / "packaged-music.wav").string(), kRate, 2, int(samples.size() / 2),
                        [&](int i, int c) { return samples[2 * size_t(i) + size_t(c)]; });
    const double seconds = double(samples.size()) / 2 / kRate;
    // The onset: the first 10 ms with the music at half of what it reaches.
    auto level = [&](double fromMs, double toMs, double freq) {
        return ToneLevel(samples, size_t(fromMs * kRate / 1000), size_t(toMs * kRate / 1000), freq, kRate);
    };
    double peak = 0;
    for (double t = 0; t + 10 < seconds * 1000; t += 10) peak = std::max(peak, level(t, t + 10, 440));
    ASSERT_GT(peak, 1000) << seconds << " s recorded";
    double onset = 0;
    while (level(onset, onset + 10, 440) < peak / 2) onset += 10;
    ASSERT_GT(seconds * 1000, onset + 12800) << "onset at " << onset << " ms";

    constexpr double kSlack = 250;
    const double full = level(onset + 1000, onset + 3500, 440);
    for (const TToneWindow& w : MusicShowShape(kSlack)) {
        SCOPED_TRACE(std::to_string(w.From) + " " + std::to_string(w.Freq));
        // The closing fade falls by 1/2000 of the level per ms.
        const double tolerance = w.To - w.From < 200 ? 0.1 + kSlack / 2000 : 0.1;
        EXPECT_NEAR(level(onset + w.From, onset + w.To, w.Freq) / full, w.Share, tolerance);
    }
}

}  // namespace
