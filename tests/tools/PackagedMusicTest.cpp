// The music show as a real program: packaged as the demo packages its screen saver (the
// options file from the show tool, our sound library as fmod.dll, the folder appended to
// a copy of the program by the pack tool), run full screen with /s under Xvfb with SDL's
// disk audio driver, and ended by a key after the show's length. The recording has the
// show's shape within 100 ms, timed by the program's own trace of its show clock and its
// sound device.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "playback/MusicShow.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>

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
    // To listen to, and the program's trace beside it.
    soundtest::WriteWav((TestOutputFolder() / "packaged-music.wav").string(), kRate, 2, int(samples.size() / 2),
                        [&](int i, int c) { return samples[2 * size_t(i) + size_t(c)]; });
    fs::copy_file(dir / "trace.txt", TestOutputFolder() / "packaged-music-trace.txt",
                  fs::copy_options::overwrite_existing);

    // Measured on the program's clock: show time to the moment the program reports, the
    // moment to the frame its sound device was mixing then. A starved machine moves the
    // show and the recording together; what it cannot hide is a song started late.
    const TRecordingClock clock(r.Trace, samples.size() / 2);
    ASSERT_FALSE(clock.Empty()) << "no sound device in the trace";
    constexpr double kShowLength = 11600;
    const double start = ShowMoment(r.Trace, 0), restart = ShowMoment(r.Trace, 0, start + kShowLength / 2);
    ASSERT_GE(start, 0) << "no show clock in the trace";
    ASSERT_GE(restart, 0) << "no restart in the trace";
    const std::vector<TTraceLine> due = TraceOf(r.Trace, "song-due"), songs = TraceOf(r.Trace, "song-start");
    ASSERT_GE(songs.size(), 2u) << "the song, and again after the restart";
    ASSERT_EQ(due.size(), songs.size());
    // Once the program has the song open and due, it starts it: a few ms, 250 for a
    // thread a starved machine preempts; a song started 500 ms late fails. (When it is due
    // is the loop's business: after the first frame, which a starved machine draws late.)
    for (size_t i = 0; i < 2; ++i) EXPECT_LT(songs[i].Ms - due[i].Ms, 250) << "the song's start " << i;
    // The loop itself starts it with its first frames (0.1 to 0.5 s here), after the
    // restart once it opened it again; the shape needs most of the first still with music.
    std::cout << "the song started " << songs[0].Ms - start << " ms into the show\n";
    ASSERT_LT(songs[0].Ms - start, 2000) << "the song's start on the show's clock";
    ASSERT_LT(songs[1].Ms - restart, 2000) << "the song's start after the restart";
    auto frameAt = [&](double showMs) {
        return size_t(std::max(0.0, clock.FrameAt(showMs < kShowLength ? start + showMs
                                                                        : restart + showMs - kShowLength)));
    };
    auto level = [&](double from, double to, double freq) {
        return ToneLevel(samples, frameAt(from), frameAt(to), freq, kRate);
    };
    ASSERT_GT(double(samples.size() / 2), clock.FrameAt(std::max(restart + 1200, songs[1].Ms + 500)))
        << "the recording ends early";
    // The mixer's block and the moment a change reaches it: well below the shape's spans.
    constexpr double kSlack = 100;
    const double full = level(std::max(1000.0, songs[0].Ms - start + kSlack), 3500, 440);
    ASSERT_GT(full, 1000) << "silence";
    // Heard from the frame the device mixed when the program started it, after a block or
    // two of the device and the song's first decode.
    double onset = clock.FrameAt(songs[0].Ms);
    while (onset < double(samples.size() / 2) && ToneLevel(samples, size_t(onset), size_t(onset) + 441, 440, kRate) <
                                                      full / 2)
        onset += 441;
    const double heard = (onset - clock.FrameAt(songs[0].Ms)) * 1000 / kRate;
    std::cout << "heard " << heard << " ms after its start\n";
    EXPECT_LT(heard, 150) << "the song heard after its start";
    // The music is heard from the song's start on: where the loop started it late, the
    // shape's windows of full music begin there.
    const double songShow[] = {songs[0].Ms - start, kShowLength + songs[1].Ms - restart};
    for (TToneWindow w : MusicShowShape(kSlack)) {
        SCOPED_TRACE(std::to_string(w.From) + " " + std::to_string(w.Freq));
        const double song = songShow[w.From < kShowLength ? 0 : 1];
        if (w.Freq == 440 && w.Share == 1.0 && w.From < song + kSlack) {
            w.From = song + kSlack;
            w.To = std::max(w.To, w.From + 400);
        }
        // The closing fade falls by 1/2000 of the level per ms.
        const double tolerance = w.To - w.From < 200 ? 0.1 + kSlack / 2000 : 0.1;
        EXPECT_NEAR(level(w.From, w.To, w.Freq) / full, w.Share, tolerance);
    }
}

}  // namespace
