// Real media through the real program: music and sound files made at test time by
// Debian's encoders (FFmpeg for WAV, MP3, Ogg Vorbis and FLAC), MIDI files of our own
// (the tune tool's and one written here), a ProTracker module written here byte by
// byte; each in a packaged screen saver run full screen with /s under Xvfb with SDL's
// disk audio driver. The recording holds the music for its length, lowered under a
// sound item; the run ends with status 0 and leaves no temporary folder.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "playback/MusicShow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
// ProTracker's A-3 (period 254) on a 32-byte one-cycle sample: 3546894.6 / 254 / 32 Hz.
constexpr int kModPeriod = 254;
constexpr double kModFreq = 3546894.6 / kModPeriod / 32;
// A row of a module at speed 6 and 125 beats per minute.
constexpr int kModRowMs = 120;

bool OnPath(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1 && echo y").out == "y\n";
}

std::string SkipReason() {
    for (const char* program : {"xvfb-run", "xdotool", "ffmpeg"})
        if (!OnPath(program)) return std::string(program) + " is missing";
    return "";
}

// A sine of freq for ms, amplitude 8000, in the format the extension names, encoded by
// FFmpeg from a WAV of ours.
void WriteTone(const fs::path& file, double freq, int ms) {
    const fs::path source = file.string() + ".source.wav";
    soundtest::WriteSine(source.string(), kRate, ms / 1000.0, freq, 8000);
    const std::string ext = file.extension().string();
    const std::string codec = ext == ".mp3"   ? "-c:a libmp3lame -b:a 192k"
                              : ext == ".ogg" ? "-c:a libvorbis -q:a 6"
                              : ext == ".flac" ? "-c:a flac"
                                               : "-c:a pcm_s16le";
    const ToolRun r = RunCommand("ffmpeg -v error -y -i " + Q(source.string()) + " " + codec + " " + Q(file.string()) +
                                 " 2>&1; echo $?");
    ASSERT_EQ(r.out.substr(r.out.size() >= 2 ? r.out.size() - 2 : 0), "0\n") << r.out;
    fs::remove(source);
}

void PutVarLen(std::vector<uint8_t>& b, uint32_t v) {
    std::vector<uint8_t> bytes{uint8_t(v & 0x7F)};
    while (v >>= 7) bytes.push_back(uint8_t(0x80 | (v & 0x7F)));
    b.insert(b.end(), bytes.rbegin(), bytes.rend());
}

// A one-track MIDI file: one note held for ms on a square-wave lead (a tone that holds
// its level), at 120 beats per minute and 96 ticks a beat.
void WriteHeldMidi(const fs::path& file, int note, int ms) {
    std::vector<uint8_t> track = {0x00, 0xC0, 80, 0x00, 0x90, uint8_t(note), 100};
    PutVarLen(track, uint32_t(ms * 96 / 500));
    track.insert(track.end(), {0x80, uint8_t(note), 0x00, 0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> b;
    soundtest::PutTag(b, "MThd");
    b.insert(b.end(), {0, 0, 0, 6, 0, 0, 0, 1, 0, 96});
    soundtest::PutTag(b, "MTrk");
    soundtest::Put16(b, 0);
    b.push_back(uint8_t(track.size() >> 8));
    b.push_back(uint8_t(track.size()));
    b.insert(b.end(), track.begin(), track.end());
    soundtest::WriteFile(file.string(), b);
}

// A four-channel ProTracker module: a looped one-cycle sine sample held on the left
// channel from row 0, the pattern broken after rows rows so the song lasts rows * 120 ms.
void WriteToneModule(const fs::path& file, int rows) {
    std::vector<uint8_t> b(20, 0);
    for (int s = 0; s < 31; ++s) {
        std::vector<uint8_t> header(30, 0);
        if (s == 0) {
            header[23] = 16;  // 16 words
            header[25] = 64;  // volume
            header[29] = 16;  // the whole sample loops
        }
        b.insert(b.end(), header.begin(), header.end());
    }
    b.push_back(1);  // one order
    b.push_back(127);
    b.insert(b.end(), 128, 0);
    soundtest::PutTag(b, "M.K.");
    std::vector<uint8_t> pattern(64 * 16, 0);
    pattern[0] = kModPeriod >> 8;  // sample 1's high nibble (0), the period
    pattern[1] = uint8_t(kModPeriod & 0xFF);
    pattern[2] = 0x10;  // sample 1's low nibble, no effect
    if (rows < 64) pattern[size_t(rows - 1) * 16 + 4 + 2] = 0x0D;  // pattern break on channel 1
    b.insert(b.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 32; ++i) b.push_back(uint8_t(int8_t(std::lround(100 * std::sin(2 * M_PI * i / 32)))));
    soundtest::WriteFile(file.string(), b);
}

// A tone file of the kind with extension ext: the FFmpeg kinds at freq, MIDI as a held
// note (A4 for 440 Hz, A5 for 1000 Hz stand-ins), the module at its one pitch. Answers
// the frequency it holds and its length in ms.
std::pair<double, int> WriteKind(const fs::path& file, double freq, int ms) {
    const std::string ext = file.extension().string();
    if (ext == ".mid") {
        const int note = freq == 440 ? 69 : 81;
        WriteHeldMidi(file, note, ms);
        return {440.0 * std::pow(2.0, (note - 69) / 12.0), ms};
    }
    if (ext == ".mod") {
        const int rows = std::min(64, ms / kModRowMs);
        WriteToneModule(file, rows);
        return {kModFreq, rows * kModRowMs};
    }
    WriteTone(file, freq, ms);
    return {freq, ms};
}

// The show folder of a package: a still picture, the show, options, our sound library.
struct TSaver {
    // The item kinds first: the show is made with them.
    bool Plugins = (ToolShowPlugins(), true);
    TempDir Dir;
    fs::path Show = Dir.Path() / "saver" / "Lumivor";
    TSlideShow Slides;

    TSaver() {
        fs::create_directories(Show);
        TBitmap32 still;
        still.SetSize(64, 48);
        still.Clear(0xFF3050E0);
        WritePngPicture(still, FromPosixPath((Show / "bild.png").string()));
        Slides.SlideShowProperties->EndAction = 0;
        Music().RepeatPlayList = false;  // the music's end shows in the recording
    }
    std::vector<TTraceLine> Trace;

    TMusicProperties& Music() { return *dynamic_cast<TMusicProperties*>(Slides.MusicProperties); }
    void AddSong(const std::string& name, int32_t endPoint = 0) {
        auto song = std::make_unique<TMusicPlayListItem>();
        song->FileName = AnsiString(name.c_str());
        song->EndPoint = endPoint;
        Music().PlayList->Add(std::move(song));
    }
    void AddStill(int32_t ms) {
        auto* item = new TExtPicSlideShowObject();
        item->FileName = "bild.png";
        item->Duration = ms;
        item->FreeTransition();
        Slides.RootList().Add(item);
    }
    // length: as the editor measured it where the show was made.
    void AddSound(const std::string& name, int32_t length) {
        auto* sound = new TSoundSlideShowObject();
        sound->ChangeFileName(AnsiString(name.c_str()));
        sound->SoundLength = length;
        Slides.RootList().Add(sound);
    }

    // Packs and runs the saver until the recording holds seconds; answers the recording
    // (16-bit stereo at 44100 Hz, as the disk driver writes it) and saves it as name.wav.
    // relativeTemp: started in another folder than the program's, with TMPDIR=tmp.
    // The trace of the run (the program's own record of its moments) goes to Trace.
    std::vector<int16_t> Run(double seconds, const std::string& name, bool relativeTemp = false) {
        EXPECT_TRUE(Slides.SaveToFile(FromPosixPath((Show / "Slideshow.kls").string())));
        EXPECT_EQ(RunTool(Dir, "options " + Q(Dir / "saver/settings.dat")).status, 0);
        fs::copy_file(soundtest::LibraryPath(), Dir.Path() / "saver" / "fmod.dll");
        const std::string saver = Dir / "glowcanvas";
        EXPECT_TRUE(PackProgram(saver, Dir / "saver"));
        const fs::path temp = Dir.Path() / "run" / "tmp";
        fs::create_directories(temp);

        TRecordedRun r = RecordFullScreenRun(
            Dir, relativeTemp ? "cd " + Q(temp.parent_path().string()) + " && " : std::string(),
            "GC_REGISTRY_DIR=" + Q(Dir / "registry") + " TMPDIR=" + (relativeTemp ? std::string("tmp") : Q(temp.string())),
            Q(saver) + " /s", int64_t(seconds * kRate) * 4, 180, 120);
        EXPECT_EQ(r.Status, "0\n") << r.Err;
        EXPECT_TRUE(fs::is_empty(temp)) << "the run left its temporary folder";
        std::vector<int16_t> samples = std::move(r.Samples);
        Trace = std::move(r.Trace);
        soundtest::WriteWav((TestOutputFolder() / (name + ".wav")).string(), kRate, 2, int(samples.size() / 2),
                            [&](int i, int c) { return samples[2 * size_t(i) + size_t(c)]; });
        return samples;
    }
};

// Levels of a recording over [from, to) ms of it, and the program's clock beside it: its
// show time at a moment of the recording and back, from the run's trace (a starved sound
// device records less than the show's time that passes meanwhile).
struct TRecording {
    const std::vector<int16_t>& S;
    const std::vector<TTraceLine>& Trace;
    TRecordingClock Clock{Trace, S.size() / 2};
    double Show0 = ShowMoment(Trace, 0);
    bool Timed() const { return !Clock.Empty() && Show0 >= 0; }
    // The moment of the recording (ms) when the show was at showMs, and back.
    double At(double showMs) const { return Clock.FrameAt(Show0 + showMs) * 1000 / kRate; }
    double ShowAt(double ms) const { return Clock.MsAt(ms * kRate / 1000) - Show0; }
    double Ms() const { return double(S.size()) / 2 / kRate * 1000; }
    size_t Frame(double ms) const { return size_t(std::max(0.0, ms) * kRate / 1000); }
    double Level(double from, double to, double freq) const { return ToneLevel(S, Frame(from), Frame(to), freq, kRate); }
    // The root mean square of the left channel.
    double Rms(double from, double to) const {
        double sum = 0;
        size_t n = 0;
        for (size_t i = Frame(from); i < Frame(to) && 2 * i < S.size(); ++i, ++n) sum += double(S[2 * i]) * S[2 * i];
        return n ? std::sqrt(sum / double(n)) : 0;
    }
    // The first 10 ms from from on where measure reaches (above) or falls below threshold.
    template <class F>
    double First(double from, const F& measure, double threshold, bool above) const {
        for (double t = from; t + 10 < Ms(); t += 10)
            if ((measure(t, t + 10) >= threshold) == above) return t;
        return Ms();
    }
};

// The tolerance the packaged music test allows at each edge of a span.
constexpr double kSlack = 250;
// Above it, 10 ms of the recording hold sound (between sounds it holds exact zeros).
constexpr double kHeard = 50;

class RealMusic : public ::testing::TestWithParam<const char*> {};

// Music of 8 s of one tone; a 2 s still, a sound item (2 s of 1 kHz in a WAV) and a long
// still. The music plays from the show's start, is lowered to 40/255 under the sound
// item and raised after it, and stops at its end, all on the show's clock.
TEST_P(RealMusic, PlaysForItsLengthAndIsLoweredUnderASoundItem) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    const std::string ext = GetParam();
    TSaver saver;
    const auto [freq, length] = WriteKind(saver.Show / ("music" + ext), 440, 8000);
    ASSERT_FALSE(HasFailure());
    // A song's end is told by the show where the sound library cannot tell it: the MIDI
    // song's playing time (as the show tool writes it), the module's last row.
    saver.AddSong("music" + ext, ext == ".mid" || ext == ".mod" ? length : 0);
    WriteKind(saver.Show / "beep.wav", 1000, 2000);
    saver.AddStill(2000);
    saver.AddSound("beep.wav", 2000);
    saver.AddStill(9000);
    const std::vector<int16_t> samples = saver.Run(11.5, "real-music" + ext.substr(1));
    const TRecording rec{samples, saver.Trace};
    ASSERT_TRUE(rec.Timed()) << "no show clock or sound device in the trace";
    auto tone = [&](double from, double to) { return rec.Level(from, to, freq); };
    auto beep = [&](double from, double to) { return rec.Level(from, to, 1000); };

    // Measured on the show's clock, as the program reports it.
    // The full level after the sound item, over 2.6 s (a synthesizer's note trembles).
    const double full = tone(rec.At(4650 + kSlack), rec.At(length - 500));
    ASSERT_GT(full, 100) << "silence";
    // Heard from the show's start: a song is late by no more than the time its player
    // takes to open it (a MIDI file loads its sound font first: up to 0.75 s on a loaded
    // machine), and then plays whole.
    const double onset = rec.First(0, tone, full / 2, true);
    EXPECT_LT(rec.ShowAt(onset), 1000) << "the music's start";
    EXPECT_GT(tone(rec.At(1000), rec.At(2000 - kSlack)) / full, 0.7) << "before the sound";

    EXPECT_NEAR(tone(rec.At(2350 + kSlack), rec.At(4000 - kSlack)) / full, 40.0 / 255, 0.1) << "under the sound";
    EXPECT_LT(beep(rec.At(500), rec.At(2000 - kSlack)), 400) << "the sound item before its time";
    EXPECT_GT(beep(rec.At(2300 + kSlack), rec.At(4300 - kSlack)), 4000) << "the sound item";

    // The end, on the show's clock: the first 100 ms of silence. A song opened at its
    // start ends later by what the opening took, never earlier.
    auto heard = [&](double from, double) { return rec.Rms(from, from + 100); };
    const double end = rec.First(rec.At(length - 1500), heard, kHeard, false);
    EXPECT_GT(rec.ShowAt(end), length - kSlack) << "the music's length";
    EXPECT_LT(rec.ShowAt(end), length + 1000) << "the music's length";
    EXPECT_LT(rec.Rms(end + 300, std::min(rec.Ms(), end + 1000)), kHeard) << "after the music's end";
}

INSTANTIATE_TEST_SUITE_P(Kinds, RealMusic, ::testing::Values(".wav", ".mp3", ".ogg", ".flac", ".mid", ".mod"),
                         [](const auto& info) { return std::string(info.param + 1); });

// No music; a sound item of each kind (1.5 s or the module's nearest rows) between
// stills of 1 s. Each is heard for its length, one after the other. The run has a
// relative TMPDIR, whose extracted files must be found all the same.
TEST(RealSounds, EachKindPlaysForItsLengthAsASoundItem) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    TSaver saver;
    const std::vector<std::string> exts = {".wav", ".mp3", ".ogg", ".flac", ".mid", ".mod"};
    std::vector<std::pair<double, int>> tones;
    saver.AddStill(1000);
    for (const std::string& ext : exts) {
        tones.push_back(WriteKind(saver.Show / ("sound" + ext), 1000, 1500));
        saver.AddSound("sound" + ext, tones.back().second);
        saver.AddStill(1000);
    }
    ASSERT_FALSE(HasFailure());
    const std::vector<int16_t> samples = saver.Run(18, "real-sounds", true);
    const TRecording rec{samples, saver.Trace};
    ASSERT_TRUE(rec.Timed()) << "no show clock or sound device in the trace";
    auto rms = [&](double from, double to) { return rec.Rms(from, to); };

    double at = 0;
    for (size_t i = 0; i < exts.size(); ++i) {
        SCOPED_TRACE(exts[i]);
        const double start = rec.First(at, rms, kHeard, true);
        ASSERT_LT(start, rec.Ms()) << "not heard";
        const double end = rec.First(start, rms, kHeard, false);
        EXPECT_NEAR(rec.ShowAt(end) - rec.ShowAt(start), tones[i].second, kSlack) << "from " << start << " ms";
        // Its tone: a good share of what is heard (the synthesizer's and the module's square
        // waves carry more than their fundamental).
        EXPECT_GT(rec.Level(start + 200, end - 200, tones[i].first), 0.2 * rec.Rms(start + 200, end - 200));
        // The pause until the next: the 1 s still.
        if (i + 1 < exts.size()) {
            EXPECT_GT(rec.ShowAt(rec.First(end, rms, kHeard, true)) - rec.ShowAt(end), 1000 - kSlack);
        }
        at = end;
    }
}

// A play list loaded from an M3U file that names one song of each kind (the MIDI one the
// tune tool's): each plays in its turn for its length, and the list once through.
TEST(RealPlayList, AnM3UPlayListOfEveryKindPlaysEachInTurn) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    TSaver saver;
    const std::vector<std::pair<std::string, double>> songs = {
        {"a.wav", 300}, {"b.mp3", 400}, {"c.ogg", 500}, {"d.flac", 600}, {"e.mid", 0}, {"f.mod", kModFreq}};
    for (const auto& [name, freq] : songs)
        if (freq != 0) WriteKind(saver.Show / name, freq, 1500);
    const ToolRun tune = RunCommand(Q((ShowTool().parent_path() / "glowcanvas-tune").string()) + " " +
                                    Q((saver.Show / "e.mid").string()) + " >/dev/null 2>&1; echo $?");
    ASSERT_EQ(tune.out, "0\n");
    std::string m3u = "#EXTM3U\r\n";
    for (const auto& song : songs) m3u += song.first + "\r\n";
    saver.Dir.Write("saver/Lumivor/mix.m3u", m3u);
    ASSERT_TRUE(saver.Music().PlayList->LoadFromM3U(FromPosixPath((saver.Show / "mix.m3u").string())));
    ASSERT_EQ(saver.Music().PlayList->Count(), 6);
    // The show names its songs beside itself; the MIDI song and the module end where the
    // show says (2 s of the tune, the module's 12 rows).
    for (int i = 0; i < 6; ++i) {
        TMusicPlayListItem& item = *saver.Music().PlayList->Items[size_t(i)];
        item.FileName = ExtractFileName(item.FileName);
        if (i == 4) item.EndPoint = 2000;
        if (i == 5) item.EndPoint = 12 * kModRowMs;
    }
    saver.AddStill(9000);
    saver.AddStill(9000);
    const std::vector<int16_t> samples = saver.Run(17, "real-m3u");
    const TRecording rec{samples, saver.Trace};
    ASSERT_TRUE(rec.Timed()) << "no show clock or sound device in the trace";
    auto rms = [&](double from, double to) { return rec.Rms(from, to); };

    // The music keeps to the show's clock, so the first song loses what the start took
    // (0.2 s here, more on a loaded machine): the list's time 0 is its end less its length.
    const double onset = rec.ShowAt(rec.First(rec.First(0, rms, kHeard, true), rms, kHeard, false)) - 1500;
    // Each song 1.5 s (the tune 2 s), and the play list's gap of 1 s after each.
    const double starts[] = {0, 2500, 5000, 7500, 10000, 13000, 13000 + 12 * kModRowMs};
    for (size_t i = 0; i < songs.size(); ++i) {
        SCOPED_TRACE(songs[i].first);
        const double from = rec.At(onset + starts[i] + kSlack);
        const double to = rec.At(onset + (i + 1 < songs.size() ? starts[i + 1] - 1000 : starts[i + 1]) - kSlack);
        EXPECT_GT(rec.Rms(from, to), kHeard) << "not heard";
        if (songs[i].second == 0) continue;  // the tune
        const double own = rec.Level(from, to, songs[i].second);
        EXPECT_GT(own, 1000);
        // The tones of the other FFmpeg songs are not in its turn.
        for (size_t j = 0; j < 4; ++j) {
            if (j == i) continue;
            EXPECT_LT(rec.Level(from, to, songs[j].second), own / 4) << songs[j].first;
        }
    }
    const double end = rec.First(rec.At(onset + starts[5] + kSlack), rms, kHeard, false);
    EXPECT_NEAR(rec.ShowAt(end) - onset, starts[6], kSlack) << "the list's length";
}

}  // namespace
