// A user's own folder made into a show: pictures with transparency and 16-bit PNGs look as
// ImageMagick decodes them, tracker modules and MIDI songs play in turn, and what the
// builder cannot make work is refused by name before anything is written.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "playback/MusicShow.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1 && echo y").out == "y\n";
}

void Put16BE(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void Put16LE(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32LE(std::vector<uint8_t>& b, uint32_t v) {
    Put16LE(b, v & 0xFFFF);
    Put16LE(b, v >> 16);
}
void PutText(std::vector<uint8_t>& b, const char* text, size_t size) {
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < size; ++i) b.push_back(i < n ? uint8_t(text[i]) : 0);
}

// A ProTracker module: one looped 32-byte square wave played at period 428 (259 Hz) for
// `rows` rows of 120 ms, then a pattern break ends the song.
std::vector<uint8_t> ModSong(int rows) {
    std::vector<uint8_t> b;
    PutText(b, "gc mod", 20);
    for (int s = 0; s < 31; ++s) {
        PutText(b, "", 22);
        Put16BE(b, s == 0 ? 16 : 0);  // length in words
        b.push_back(0);                 // finetune
        b.push_back(s == 0 ? 64 : 0);   // volume
        Put16BE(b, 0);                  // loop start
        Put16BE(b, s == 0 ? 16 : 1);    // loop length
    }
    b.push_back(1);    // one order
    b.push_back(127);
    b.insert(b.end(), 128, 0);
    b.insert(b.end(), {'M', '.', 'K', '.'});
    std::vector<uint8_t> pattern(64 * 4 * 4, 0);
    pattern[0] = 0x01;  // sample 1 (high nibble 0), period 0x1AC
    pattern[1] = 0xAC;
    pattern[2] = 0x10;
    const size_t last = size_t(rows - 1) * 16 + 4;  // channel 1 of the last row
    pattern[last + 2] = 0x0D;                        // D00: pattern break
    b.insert(b.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 32; ++i) b.push_back(i < 16 ? 0x60 : 0xA0);
    return b;
}

// A FastTracker 2 module: one instrument with a looped 32-sample square wave played at
// C-5 (523 Hz), `rows` rows at speed 6 and 125 BPM (120 ms a row).
std::vector<uint8_t> XmSong(int rows) {
    std::vector<uint8_t> b;
    PutText(b, "Extended Module: ", 17);
    PutText(b, "gc xm", 20);
    b.push_back(0x1A);
    PutText(b, "gc test", 20);
    Put16LE(b, 0x0104);
    Put32LE(b, 276);  // header size from here
    Put16LE(b, 1);    // song length
    Put16LE(b, 0);    // restart
    Put16LE(b, 2);    // channels
    Put16LE(b, 1);    // patterns
    Put16LE(b, 1);    // instruments
    Put16LE(b, 1);    // linear frequencies
    Put16LE(b, 6);    // speed
    Put16LE(b, 125);  // BPM
    b.insert(b.end(), 256, 0);
    // The pattern, packed: the note on row 0 of channel 0, every other cell empty.
    std::vector<uint8_t> data = {0x83, 61, 1, 0x80};  // C-5, instrument 1
    for (int r = 1; r < rows; ++r) data.insert(data.end(), {0x80, 0x80});
    Put32LE(b, 9);
    b.push_back(0);
    Put16LE(b, unsigned(rows));
    Put16LE(b, unsigned(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    // The instrument: 263 header bytes, one sample.
    const size_t start = b.size();
    Put32LE(b, 263);
    PutText(b, "square", 22);
    b.push_back(0);
    Put16LE(b, 1);
    Put32LE(b, 40);  // sample header size
    b.resize(start + 263, 0);
    // The sample header: 32 bytes looped forward, full volume, 8-bit delta values.
    Put32LE(b, 32);
    Put32LE(b, 0);
    Put32LE(b, 32);
    b.push_back(64);    // volume
    b.push_back(0);     // finetune
    b.push_back(1);     // forward loop
    b.push_back(128);   // panning
    b.push_back(0);     // relative note
    b.push_back(0);
    PutText(b, "", 22);
    int8_t previous = 0;
    for (int i = 0; i < 32; ++i) {
        const int8_t v = i < 16 ? 96 : -96;
        b.push_back(uint8_t(int8_t(v - previous)));
        previous = v;
    }
    return b;
}

// One note A4 (440 Hz) held for `beats` beats at 120 beats per minute.
std::vector<uint8_t> MidiSong(int beats) {
    std::vector<uint8_t> track = {0x00, 0xC0, 0x50,  // a square lead
                                  0x00, 0x90, 0x45, 0x70};
    // The length in ticks (96 a beat) as a variable-length number.
    const unsigned ticks = unsigned(beats) * 96;
    track.push_back(uint8_t(0x80 | (ticks >> 7)));
    track.push_back(uint8_t(ticks & 0x7F));
    track.insert(track.end(), {0x80, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0,
                              uint8_t(track.size())};
    // Sized first, then filled: g++ 12 at -O3 misreads an insert after the list.
    const size_t header = b.size();
    b.resize(header + track.size());
    std::copy(track.begin(), track.end(), b.begin() + std::ptrdiff_t(header));
    return b;
}

struct TBuiltShow {
    int Result = (ToolShowPlugins(), -1);
    TSlideShow Show;
    explicit TBuiltShow(const std::string& file) { Result = Show.LoadFromFile(FromPosixPath(file)); }
    TBaseBitmapSlideShowObject* Item(int i) const {
        return dynamic_cast<TBaseBitmapSlideShowObject*>(Show.RootList().GetItem(i));
    }
    TMusicPlayList& PlayList() const { return *dynamic_cast<TMusicProperties&>(*Show.MusicProperties).PlayList; }
};

// ---- pictures as ImageMagick decodes them --------------------------------------------

// Mean of each kxk block of an RGB image (bytes), one channel value per entry.
std::vector<double> Thumbnail(const std::vector<uint8_t>& rgb, int width, int height, int k) {
    const int tw = width / k, th = height / k;
    std::vector<double> out(size_t(tw) * th * 3, 0);
    for (int y = 0; y < th * k; ++y)
        for (int x = 0; x < tw * k; ++x)
            for (int c = 0; c < 3; ++c)
                out[(size_t(y / k) * tw + x / k) * 3 + c] += rgb[(size_t(y) * width + x) * 3 + c] / double(k * k);
    return out;
}

std::vector<uint8_t> RgbOf(const TBitmap32& b) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TColor32 c = b.Pixel(x, y);
            rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        }
    return rgb;
}

struct TPictureCase {
    const char* Name;
    const char* File;
    std::string Make;  // ImageMagick's arguments before the output file
    // After a yellow-green photo: none of it may show through the picture.
    bool AfterPhoto = false;
};

// 960 x 720 reaches half of a 1920 x 1080 screen's height and more, so the picture fills
// the stage; frames of 320 x 240 and thumbnails of 80 x 60 compare them. Over black means
// over black after another picture too.
TEST(UserFolder, PicturesLookAsImageMagickDecodesThemOverBlack) {
    if (!OnPath("convert")) GTEST_SKIP() << "ImageMagick's convert is missing";
    const std::string grey = "-size 720x960 gradient:'gray(20%)'-'gray(80%)' -rotate 90 -depth 16 ";
    const TPictureCase cases[] = {
        // White under fully transparent pixels, an alpha ramp over a coloured gradient.
        {"alpha-ramp", "ramp.png",
         "-size 960x720 gradient:'#ff8040'-'#4080ff' -fill white -draw 'rectangle 840,0 959,719' "
         "\\( -size 720x960 gradient:black-white -rotate 90 -fill black -draw 'rectangle 860,0 959,719' \\) "
         "-alpha off -compose CopyOpacity -composite PNG32:"},
        {"gif-transparent-colour", "logo.gif",
         "-size 960x720 xc:'#e0e0e0' -fill '#2040c0' -draw 'circle 480,360 480,60' -transparent '#e0e0e0' "},
        {"png16-grey-ramp", "grey16.png", grey + "-define png:exclude-chunk=gAMA,sRGB,cHRM,bKGD PNG48:"},
        {"png16-grey-ramp-gama", "grey16g.png", grey + "-define png:exclude-chunk=sRGB,cHRM,bKGD PNG48:"},
        {"png16-grey-ramp-srgb", "grey16s.png", grey + "-intent Perceptual PNG48:"},
        {"png16-rgba", "rgba16.png",
         "-size 960x720 gradient:'#208040'-'#e0c060' -depth 16 \\( -size 720x960 gradient:white-black -rotate 90 "
         "\\) -alpha off -compose CopyOpacity -composite PNG64:"},
        {"indexed-trns", "indexed.png",
         "-size 960x720 xc:none -fill '#30c050' -draw 'circle 480,360 480,100' -fill '#c03050' "
         "-draw 'rectangle 40,40 300,250' PNG8:"},
        {"ramp-after-photo", "ramp.png",
         "-size 960x720 xc:white \\( -size 720x960 gradient:white-black -rotate 90 \\) "
         "-alpha off -compose CopyOpacity -composite PNG32:",
         true},
    };
    const fs::path output = TestOutputFolder() / "user-folder";
    fs::create_directories(output);
    for (const TPictureCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        fs::create_directories(dir.Path() / "show");
        const std::string picture = dir / ("show/" + std::string(c.File));
        ASSERT_EQ(RunCommand("convert " + c.Make + Q(picture) + " 2>/dev/null; echo $?").out, "0\n");
        if (c.AfterPhoto)
            WriteFileBytes(dir / "show/a-photo.jpg", EncodeJpeg(960, 720, [](int, int) { return 0xFFB0D040u; }));
        const ToolRun built = RunTool(dir, "build " + Q(dir / "show") + " " + Q(dir / "show/show.kls") +
                                               " --duration 3000 --transition TAlphablendingTransitionPlugin");
        ASSERT_EQ(built.status, 0) << built.err;
        const std::string frameFile = (output / (std::string(c.Name) + ".png")).string();
        const ToolRun r = RunTool(dir, "render " + Q(dir / "show/show.kls") + " --at " + (c.AfterPhoto ? "5500" : "2500") +
                                       " --size 320x240 " + Q(frameFile));
        ASSERT_EQ(r.status, 0) << r.err;
        const TBitmap32 frame = ReadPngFile(frameFile);
        ASSERT_EQ(frame.Width(), 320);
        ASSERT_EQ(frame.Height(), 240);
        // ImageMagick's own decode over black, as 8-bit RGB.
        const std::string reference = dir / "reference.rgb";
        ASSERT_EQ(RunCommand("convert " + Q(picture) + " -background black -alpha remove -alpha off -depth 8 rgb:" +
                             Q(reference) + " 2>/dev/null; echo $?")
                      .out,
                  "0\n");
        const std::vector<uint8_t> ref = ReadFileBytes(reference);
        ASSERT_EQ(ref.size(), size_t(960) * 720 * 3);
        const std::vector<double> want = Thumbnail(ref, 960, 720, 12), got = Thumbnail(RgbOf(frame), 320, 240, 4);
        ASSERT_EQ(want.size(), got.size());
        double sum = 0;
        for (size_t i = 0; i < want.size(); ++i) sum += std::abs(want[i] - got[i]);
        EXPECT_LE(sum / double(want.size()), 3.0);
    }
}

// ---- the builder's choices -----------------------------------------------------------

TEST(UserFolder, TransparentPicturesBlendSmallOnesStaySharpAndTheStageFillsTheScreen) {
    TempDir dir;
    fs::create_directories(dir.Path() / "show");
    WriteFileBytes(dir / "show/a-photo.jpg", EncodeJpeg(1280, 720, [](int, int) { return 0xFF406080u; }));
    WriteFileBytes(dir / "show/b-dot.png", EncodePng(16, 16, [](int x, int) { return x < 8 ? 0x00FFFFFFu : 0xFFFFFFFFu; }));
    WriteFileBytes(dir / "show/c-opaque-icon.png", EncodePng(48, 24, [](int, int) { return 0xFF20C040u; }));
    const std::string show = dir / "show/show.kls";
    ASSERT_EQ(RunTool(dir, "build " + Q(dir / "show") + " " + Q(show)).status, 0);
    {
        TBuiltShow built(show);
        ASSERT_EQ(built.Result, slLoaded);
        EXPECT_EQ(built.Show.SlideShowProperties->AspectX, 0);
        EXPECT_EQ(built.Show.SlideShowProperties->AspectY, 0);
        ASSERT_EQ(built.Show.RootList().Count(), 3);
        EXPECT_EQ(built.Item(0)->BlendMode, bmOpaque);
        EXPECT_EQ(built.Item(1)->BlendMode, bmAlpha);
        EXPECT_EQ(built.Item(2)->BlendMode, bmOpaque);
        // The photograph fills the stage; the dot grows to 32 x 32 on a full-HD screen.
        EXPECT_EQ(built.Item(0)->RelativeRect, (TDoubleRect{0, 0, 1, 1}));
        const TDoubleRect& dot = built.Item(1)->RelativeRect;
        EXPECT_NEAR((dot.Right - dot.Left) * 1920, 32, 1e-6);
        EXPECT_NEAR((dot.Bottom - dot.Top) * 1080, 32, 1e-6);
        EXPECT_NEAR(dot.Left + dot.Right, 1, 1e-9);
        EXPECT_NEAR(dot.Top + dot.Bottom, 1, 1e-9);
    }
    ASSERT_EQ(RunTool(dir, "build " + Q(dir / "show") + " " + Q(show) + " --aspect 16:9 --captions").status, 0);
    TBuiltShow built(show);
    EXPECT_EQ(built.Show.SlideShowProperties->AspectX, 16);
    EXPECT_EQ(built.Show.SlideShowProperties->AspectY, 9);
    auto* captioned = dynamic_cast<TPicTextSoundCompositeSlideShowObject*>(built.Show.RootList().GetItem(1));
    ASSERT_NE(captioned, nullptr);
    EXPECT_EQ(captioned->BlendMode, bmAlpha);

    // The 16 x 16 dot on a 1920 x 1080 screen: a 32 x 32 spot in the middle, its
    // transparent half black, never a full-height blob.
    ASSERT_EQ(RunTool(dir, "build " + Q(dir / "show") + " " + Q(show) +
                               " --duration 2000 --transition TAlphablendingTransitionPlugin")
                  .status,
              0);
    const std::string frameFile = (TestOutputFolder() / "user-folder-small-dot.png").string();
    ASSERT_EQ(RunTool(dir, "render " + Q(show) + " --at 3900 --size 1920x1080 " + Q(frameFile)).status, 0);
    const TBitmap32 frame = ReadPngFile(frameFile);
    ASSERT_EQ(frame.Width(), 1920);
    int white = 0, whiteOutside = 0;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            const bool isWhite = (frame.Pixel(x, y) & 0xFFFFFF) > 0xC0C0C0;
            white += isWhite;
            whiteOutside += isWhite && (x < 944 || x >= 976 || y < 524 || y >= 556);
        }
    EXPECT_NEAR(white, 16 * 32, 64);
    EXPECT_EQ(whiteOutside, 0);
}

struct TRefusal {
    const char* Name;
    std::string Args;
    const char* Message;
};

// Every refusal names the file, exits 1 and writes nothing.
TEST(UserFolder, TheBuilderRefusesWhatCannotShowOrPlayByName) {
    TempDir dir;
    fs::create_directories(dir.Path() / "show");
    fs::create_directories(dir.Path() / "svg");
    fs::create_directories(dir.Path() / "elsewhere");
    fs::create_directories(dir.Path() / "show/eps");
    fs::create_directories(dir.Path() / "show/broken");
    fs::create_directories(dir.Path() / "show/names");
    const auto red = [](int, int) { return 0xFFE02020u; };
    WriteFileBytes(dir / "show/a.png", EncodePng(32, 24, red));
    WriteFileBytes(dir / "outside.png", EncodePng(32, 24, red));
    WriteFileBytes(dir / "elsewhere/b.png", EncodePng(32, 24, red));
    dir.Write("svg/drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg'/>");
    dir.Write("show/eps/no-preview.eps", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\nshowpage\n");
    dir.Write("show/broken/cut.png", "\x89PNG\r\n\x1a\n");
    WriteFileBytes(dir / "show/names/\xCE\xA9mega.png", EncodePng(32, 24, red));  // a Greek capital omega
    {
        // A header of 20000 x 20000 pixels, its checksum mended: refused before any pixel.
        std::vector<uint8_t> big = EncodePng(1, 1, red);
        for (int i = 0; i < 8; ++i) big[16 + size_t(i)] = i % 4 == 2 ? 0x4E : i % 4 == 3 ? 0x20 : 0;
        const uint32_t crc = uint32_t(crc32(0, big.data() + 12, 17));
        for (int i = 0; i < 4; ++i) big[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
        fs::create_directories(dir.Path() / "show/big");
        WriteFileBytes(dir / "show/big/big.png", big);
    }
    WriteFileBytes(dir / "show/tune.mid", MidiSong(2));
    WriteFileBytes(dir / "tune.mid", MidiSong(2));
    dir.Write("show/garbage.bin", std::string(3000, 'x'));
    dir.Write("show/bad.mid", "MThd");
    const std::string pics = Q(dir / "show"), out = Q(dir / "show/show.kls");
    const TRefusal cases[] = {
        {"a picture outside the show's folder", pics + " " + out + " --snow " + Q(dir / "outside.png"),
         "outside.png lies outside the show's folder"},
        {"a folder outside the show's folder", Q(dir / "elsewhere") + " " + out, "b.png lies outside the show's folder"},
        {"music outside the show's folder", pics + " " + out + " --music " + Q(dir / "tune.mid"),
         "tune.mid lies outside the show's folder"},
        {"a picture kind nothing reads", Q(dir / "svg") + " " + Q(dir / "svg/show.kls"),
         "drawing.svg: no picture format this system reads"},
        {"an EPS without preview", Q(dir / "show/eps") + " " + out, "no-preview.eps: the picture cannot be read"},
        {"a damaged PNG", Q(dir / "show/broken") + " " + out, "cut.png: the picture cannot be read"},
        {"a picture over the size limit", Q(dir / "show/big") + " " + out,
         "big.png: the picture is too large: 20000 x 20000 pixels, more than the limit of 268435456 pixels (2^28)"},
        {"a name without a Windows-1252 form", Q(dir / "show/names") + " " + out,
         "mega.png: the name has characters without a Windows-1252 form"},
        {"a file the sound library cannot play", pics + " " + out + " --music " + Q(dir / "show/garbage.bin"),
         "garbage.bin: no sound file the sound library plays"},
        {"a MIDI song without a readable length", pics + " " + out + " --music " + Q(dir / "show/bad.mid"),
         "bad.mid: a MIDI song whose playing time cannot be read"},
    };
    for (const TRefusal& c : cases) {
        const ToolRun r = RunTool(dir, "build " + c.Args);
        EXPECT_EQ(r.status, 1) << c.Name;
        EXPECT_NE(r.err.find(c.Message), std::string::npos) << c.Name << ": " << r.err;
        EXPECT_FALSE(dir.Exists("show/show.kls")) << c.Name;
        EXPECT_FALSE(dir.Exists("svg/show.kls")) << c.Name;
    }
    // The same folder with only what plays is taken.
    const ToolRun r = RunTool(dir, "build " + pics + " " + out + " --music " + Q(dir / "show/tune.mid"));
    EXPECT_EQ(r.status, 0) << r.err;
}

// ---- songs ---------------------------------------------------------------------------

TEST(UserFolder, ATrackerModuleAnXmAndAMidiSongEndWhereTheirFilesSay) {
    TempDir dir;
    fs::create_directories(dir.Path() / "show");
    WriteFileBytes(dir / "show/a.png", EncodePng(32, 24, [](int, int) { return 0xFF3050E0u; }));
    WriteFileBytes(dir / "show/1.mod", ModSong(16));
    WriteFileBytes(dir / "show/2.xm", XmSong(16));
    WriteFileBytes(dir / "show/3.mid", MidiSong(4));
    const std::string show = dir / "show/show.kls";
    const ToolRun r = RunTool(dir, "build " + Q(dir / "show") + " " + Q(show) + " --music " + Q(dir / "show/1.mod") +
                                       " --music " + Q(dir / "show/2.xm") + " --music " + Q(dir / "show/3.mid"));
    ASSERT_EQ(r.status, 0) << r.err;
    TBuiltShow built(show);
    ASSERT_EQ(built.PlayList().Count(), 3);
    // 16 rows of 120 ms; four beats at 120 per minute.
    EXPECT_EQ(built.PlayList().Item(0)->EndPoint, 1920);
    EXPECT_EQ(built.PlayList().Item(1)->EndPoint, 1920);
    EXPECT_EQ(built.PlayList().Item(2)->EndPoint, 2000);
}

// A saver whose show the builder made from dir/saver/Lumivor with options (after the
// folder and the show file), with default options and our sound library, packaged and
// run full screen until the disk driver has recorded bytes; the recording is left as
// wav in the test's output folder. firstServer: where xvfb-run looks for a display.
struct TBuiltSaverRun {
    ToolRun Build;
    TRecordedRun Run;
};
TBuiltSaverRun RecordBuiltSaver(const TempDir& dir, const std::string& options, int64_t bytes, const std::string& wav,
                                int firstServer) {
    const fs::path show = dir.Path() / "saver/Lumivor";
    TBuiltSaverRun r;
    r.Build = RunTool(dir, "build " + Q(show.string()) + " " + Q((show / "Slideshow.kls").string()) + " " + options);
    if (r.Build.status != 0) return r;
    if (RunTool(dir, "options " + Q(dir / "saver/settings.dat")).status != 0) return r;
    fs::copy_file(soundtest::LibraryPath(), dir.Path() / "saver/fmod.dll");
    const std::string saver = dir / "glowcanvas";
    if (!PackProgram(saver, dir / "saver")) return r;
    r.Run = RecordFullScreenRun(dir, "", "GC_REGISTRY_DIR=" + Q(dir / "registry") + " TMPDIR=" + Q(dir.Path().string()),
                                Q(saver) + " /s", bytes, firstServer);
    const std::vector<int16_t>& samples = r.Run.Samples;
    soundtest::WriteWav((TestOutputFolder() / wav).string(), 44100, 2, int(samples.size() / 2),
                        [&](int i, int c) { return samples[2 * size_t(i) + size_t(c)]; });
    return r;
}

// The level of freq in each 100 ms window of a recording (16-bit stereo at 44100 Hz),
// and the largest of them.
std::vector<double> WindowLevels(const std::vector<int16_t>& samples, double freq, double& peak) {
    constexpr int kRate = 44100;
    std::vector<double> level(samples.size() / 2 / (kRate / 10));
    peak = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        level[w] = ToneLevel(samples, w * kRate / 10, (w + 1) * kRate / 10, freq, kRate);
        peak = std::max(peak, level[w]);
    }
    return level;
}

// The three songs as a real saver's play list, recorded by SDL's disk driver: each
// sounds (its own pitch) in its turn.
TEST(UserFolder, ASaverPlaysAModuleAnXmAndAMidiSongInTurn) {
    if (!OnPath("xvfb-run") || !OnPath("xdotool")) GTEST_SKIP() << "xvfb-run or xdotool is missing";
    TempDir dir;
    const fs::path show = dir.Path() / "saver/Lumivor";
    fs::create_directories(show);
    WriteFileBytes((show / "a.png").string(), EncodePng(64, 48, [](int, int) { return 0xFF3050E0u; }));
    WriteFileBytes((show / "1.mod").string(), ModSong(24));
    WriteFileBytes((show / "2.xm").string(), XmSong(24));
    WriteFileBytes((show / "3.mid").string(), MidiSong(6));
    // 2.88 s, 2.88 s and 3 s of songs with a second between them: 13 s recorded is enough.
    const TBuiltSaverRun r = RecordBuiltSaver(dir,
                                              "--duration 20000 --music " + Q((show / "1.mod").string()) + " --music " +
                                                  Q((show / "2.xm").string()) + " --music " + Q((show / "3.mid").string()),
                                              2293200, "user-folder-songs.wav", 99);
    ASSERT_EQ(r.Build.status, 0) << r.Build.err;
    ASSERT_EQ(r.Run.Status, "0\n") << r.Run.Err;
    // Where each song's pitch is loudest for the first time, in 100 ms windows: each one
    // sounds, and in the play list's order.
    const double pitches[] = {259.0, 523.0, 440.0};
    double first[3];
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        double peak = 0;
        const std::vector<double> level = WindowLevels(r.Run.Samples, pitches[s], peak);
        ASSERT_GT(peak, 300) << "song " << s << " is silent";
        size_t loud = 0, w = 0;
        while (level[w] < peak / 2) ++w;
        first[s] = w / 10.0;
        for (double v : level) loud += v >= peak / 2;
        // Each sounds for more than a second (its span is about three).
        EXPECT_GE(loud, 10u);
    }
    EXPECT_LT(first[0], first[1]);
    EXPECT_LT(first[1], first[2]);
}

// Songs longer than the pictures: a saver built with the builder's defaults plays every
// song whole and in order while the two pictures cycle, instead of starting the first
// song again whenever the pictures have all been shown.
TEST(UserFolder, EverySongPlaysWholeAndInOrderPastThePicturesLength) {
    if (!OnPath("xvfb-run") || !OnPath("xdotool") || !OnPath("ffmpeg"))
        GTEST_SKIP() << "xvfb-run, xdotool or ffmpeg is missing";
    TempDir dir;
    const fs::path show = dir.Path() / "saver/Lumivor";
    fs::create_directories(show);
    WriteFileBytes((show / "a.png").string(), EncodePng(64, 48, [](int, int) { return 0xFF3050E0u; }));
    WriteFileBytes((show / "b.png").string(), EncodePng(64, 48, [](int, int) { return 0xFFE05030u; }));
    for (const char* tone : {"440", "1000"})
        ASSERT_EQ(RunCommand("ffmpeg -v quiet -f lavfi -i sine=frequency=" + std::string(tone) +
                             ":duration=6:sample_rate=44100 " + Q((show / (std::string(tone) + ".wav")).string()) +
                             "; echo $?")
                      .out,
                  "0\n");
    // 16 s of 16-bit stereo at 44100 Hz.
    const TBuiltSaverRun r = RecordBuiltSaver(dir,
                                              "--duration 2000 --music " + Q((show / "440.wav").string()) +
                                                  " --music " + Q((show / "1000.wav").string()),
                                              2822400, "user-folder-long-songs.wav", 180);
    ASSERT_EQ(r.Build.status, 0) << r.Build.err;
    EXPECT_EQ(r.Build.err, "");
    ASSERT_EQ(r.Run.Status, "0\n") << r.Run.Err;
    // The program's own order: each song started once, in turn, before the list's next pass.
    const std::vector<TTraceLine> songs = TraceOf(r.Run.Trace, "song-start");
    ASSERT_GE(songs.size(), 2u) << "the songs did not start";
    EXPECT_NE(songs[0].Detail.find("440.wav"), std::string::npos) << songs[0].Detail;
    EXPECT_NE(songs[1].Detail.find("1000.wav"), std::string::npos) << songs[1].Detail;
    // Each tone in 100 ms windows: its first stretch at half its peak or more; a whole
    // song sounds for its 6 s in one stretch, on the program's clock (the moments its sound
    // device mixed the stretch's ends: a starved device records less than it plays).
    const TRecordingClock clock(r.Run.Trace, r.Run.Samples.size() / 2);
    ASSERT_FALSE(clock.Empty()) << "no sound device in the trace";
    const double tones[] = {440.0, 1000.0};
    size_t first[2] = {0, 0}, last[2] = {0, 0};
    for (int t = 0; t < 2; ++t) {
        SCOPED_TRACE(tones[t]);
        double peak = 0;
        const std::vector<double> level = WindowLevels(r.Run.Samples, tones[t], peak);
        ASSERT_GT(peak, 1000) << "the song is silent";
        size_t w = 0;
        while (level[w] < peak / 2) ++w;
        first[t] = w;
        while (w < level.size() && level[w] >= peak / 2) ++w;
        last[t] = w - 1;
        const double played = clock.MsAt(double(last[t] + 1) * 4410) - clock.MsAt(double(first[t]) * 4410);
        // The fault this guards (the list started again with the pictures, every 4 s) cuts a
        // song by 2 s; a song that waited for its open on a starved machine loses up to half
        // a second at the end of the list's pass.
        EXPECT_GT(played, 5000) << "the song's length; " << last[t] - first[t] + 1 << " windows recorded";
        EXPECT_LT(played, 6300) << "the song's length";
    }
    // In order: the second after the first has ended.
    EXPECT_GT(first[1], last[0]);
}

// ---- every program answers --help ----------------------------------------------------

TEST(UserFolder, EveryProgramAnswersHelpOnStdoutWithoutDoingAnything) {
    TempDir dir;
    const fs::path tools = ShowTool().parent_path();
    for (const char* program : {"glowcanvas-show", "glowcanvas-pack", "glowcanvas-masks", "glowcanvas-transitions",
                                "glowcanvas-tune", "glowcanvas-video", "glowcanvas-preview-host", "glowcanvas"}) {
        SCOPED_TRACE(program);
        if (!fs::exists(tools / program)) continue;  // the masks tool builds only on request
        const ToolRun r = RunCommand("cd " + Q(dir.Path().string()) + " && " + Q((tools / program).string()) +
                                     " --help 2>/dev/null; echo \"status $?\"");
        EXPECT_NE(r.out.find("usage"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("status 0"), std::string::npos) << r.out;
        EXPECT_TRUE(fs::is_empty(dir.Path())) << "it wrote something";
    }
}

// The words a program's source takes as its commands and options: what its usage must
// name. Each is the run of lower-case letters and dashes between before and after,
// with prefix put in front.
std::set<std::string> WordsTaken(const std::vector<std::string>& sources, const std::string& before,
                                 const std::string& after, const std::string& prefix) {
    std::set<std::string> words;
    const char* data = std::getenv("GC_TEST_DATA");
    for (const std::string& source : sources) {
        std::ifstream f(fs::path(data).parent_path().parent_path() / source);
        const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(text.empty()) << source;
        for (size_t at = text.find(before); at != std::string::npos; at = text.find(before, at + 1)) {
            size_t end = at + before.size();
            while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
            if (end > at + before.size() && text.compare(end, after.size(), after) == 0)
                words.insert(prefix + text.substr(at + before.size(), end - at - before.size()));
        }
    }
    return words;
}

// Every switch, command and option a program takes is in the usage it prints for
// --help, -h (and /? for the saver), which asks for nothing else.
TEST(UserFolder, TheUsageNamesEverySwitchCommandAndOption) {
    if (!std::getenv("GC_TEST_DATA")) GTEST_SKIP() << "GC_TEST_DATA is not set";
    const fs::path tools = ShowTool().parent_path();
    std::set<std::string> saver = {"/c", "/a", "/p", "/s"};
    for (const std::string& w : WordsTaken({"shell/ScreenSaverTools.cpp"}, "HasArgument(\"", "\"", "-"))
        saver.insert(w);
    EXPECT_TRUE(saver.count("-root") && saver.count("-window-id"));
    std::set<std::string> show = WordsTaken({"tools/glowcanvas-show.cpp", "tools/ShowBuilder.cpp"},
                                            "a == \"--", "\"", "--");
    for (const std::string& w : WordsTaken({"tools/glowcanvas-show.cpp"}, "{\"", "\", ", ""))
        show.insert(w);
    EXPECT_TRUE(show.count("transitions") && show.count("--aspect") && show.count("build"));
    std::set<std::string> pack =
        WordsTaken({"tools/glowcanvas-pack.cpp"}, "{\"", "\", ", "");
    EXPECT_TRUE(pack.count("append") && pack.count("extract"));
    const struct {
        const char* Program;
        std::vector<std::string> Asks;
        const std::set<std::string>& Words;
    } programs[] = {{"glowcanvas", {"--help", "-h", "'/?'"}, saver},
                    {"glowcanvas-show", {"--help", "-h"}, show},
                    {"glowcanvas-pack", {"--help", "-h"}, pack}};
    for (const auto& p : programs)
        for (const std::string& ask : p.Asks) {
            SCOPED_TRACE(std::string(p.Program) + " " + ask);
            const ToolRun r = RunCommand(Q((tools / p.Program).string()) + " " + ask + " 2>&1; echo \"status $?\"");
            EXPECT_EQ(r.out.rfind("usage: ", 0), 0u) << r.out;
            EXPECT_NE(r.out.find("status 0"), std::string::npos) << r.out;
            for (const std::string& word : p.Words) EXPECT_NE(r.out.find(word), std::string::npos) << word;
        }
}

TEST(UserFolder, TheTransitionsCommandListsEveryClassWithItsCaption) {
    TempDir dir;
    const ToolRun r = RunTool(dir, "transitions");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("TAlphablendingTransitionPlugin\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("TRandomTransitionPlugin\t"), std::string::npos) << r.out;
    size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    // The sheet of the transitions tool shows one row per class, 44 of them.
    EXPECT_EQ(lines, 44u);
}

}  // namespace
