// The show builder: a folder of pictures becomes a show that loads back with its items
// in name order, their names relative to the show, durations, transitions and music.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "objects/MergeSlideShowObject.h"
#include "objects/ParticleSlideShowObject.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "graphics/ContactSheet.h"
#include "graphics/PngReader.h"
#include "graphics/PngWriter.h"
#include "graphics/VectorTextEffect.h"
#include "transitions/PicTransitions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Loads the show the builder wrote; the items' class names and file names.
struct TBuiltShow {
    // The classes first: the show makes its music group when it is made.
    int Result = (ToolShowPlugins(), -1);
    TSlideShow Show;
    explicit TBuiltShow(const std::string& file) {
        Result = Show.LoadFromFile(FromPosixPath(file));
    }
    TExtPicSlideShowObject* Item(int i) const {
        return dynamic_cast<TExtPicSlideShowObject*>(Show.RootList().GetItem(i));
    }
    TMusicPlayList& PlayList() const { return *dynamic_cast<TMusicProperties&>(*Show.MusicProperties).PlayList; }
};

// Pictures (two formats, a video), a text file, a folder, in an order the file system
// does not sort by itself. The builder reads every picture, so the video is a real one.
void WritePictures(const TempDir& dir, const std::string& folder) {
    fs::create_directories(dir.Path() / folder / "sub.jpg");
    const auto red = [](int, int) { return kShowColors[0]; };
    WriteFileBytes(dir / (folder + "/c.jpg"), EncodeJpeg(32, 24, red));
    WriteFileBytes(dir / (folder + "/A.png"), EncodePng(32, 24, red));
    WriteFileBytes(dir / (folder + "/b.png"), EncodePng(32, 24, red));
    const std::string video = (ShowTool().parent_path() / "glowcanvas-video").string();
    ASSERT_EQ(RunCommand(Q(video) + " " + Q(dir / (folder + "/clip.avi")) + " --size 32x24 --seconds 1").status, 0);
    dir.Write(folder + "/notes.txt", "no picture");
}

// Half a second of silence as a WAV file, which the sound library plays as a stream.
std::vector<uint8_t> SilentWav() {
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
    const uint32_t data = 44100;  // 22050 frames of 16-bit mono
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(data >> (8 * i)));
    b.resize(b.size() + data, 0);
    const uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return b;
}

// A tune of two beats at 96 ticks per beat: one at 120 beats per minute, then the
// tempo falls to 60 for the second; a text event after the last note ends the track.
std::vector<uint8_t> TuneWithTempoChange() {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
            'M', 'T', 'r', 'k', 0, 0, 0, 26,
            0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,   // 500000 us per beat
            0x00, 0x90, 0x3C, 0x64,                     // note on
            0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,   // after a beat: 1000000 us per beat
            0x60, 0x80, 0x3C, 0x00,                     // note off after another beat
            0x30, 0xFF, 0x2F, 0x00};                    // the end half a beat later
}

TEST(ShowBuild, PicturesInNameOrderWithDurationTransitionAndMusic) {
    TempDir dir;
    WritePictures(dir, "Lumivor");
    fs::create_directories(dir.Path() / "Lumivor/Musik");
    WriteFileBytes(dir / "Lumivor/Musik/tune.mid", TuneWithTempoChange());
    WriteFileBytes(dir / "Lumivor/song.wav", SilentWav());
    const std::string show = dir / "Lumivor/Slideshow.kls";
    const ToolRun r = RunTool(dir, "build " + Q(dir / "Lumivor") + " " + Q(show) +
                                       " --duration 4500 --transition TAlphablendingTransitionPlugin --music " +
                                       Q(dir / "Lumivor/Musik/tune.mid") + " --music " + Q(dir / "Lumivor/song.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    TBuiltShow built(show);
    ASSERT_EQ(built.Result, slLoaded);
    const char* names[] = {"A.png", "b.png", "c.jpg", "clip.avi"};
    ASSERT_EQ(built.Show.RootList().Count(), 4);
    for (int i = 0; i < 4; ++i) {
        TExtPicSlideShowObject* item = built.Item(i);
        ASSERT_NE(item, nullptr) << i;
        EXPECT_EQ(item->FileName, names[i]);
        EXPECT_EQ(item->Duration, 4500);
        ASSERT_NE(item->Transition, nullptr);
        EXPECT_EQ(item->Transition->ClassName(), "TAlphablendingTransitionPlugin");
    }
    // Names resolve beside the show.
    EXPECT_EQ(ToPosixPath(built.Item(1)->GetResolvedFileName()), dir / "Lumivor/b.png");
    TMusicPlayList& list = built.PlayList();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(0)->FileName, "Musik\\tune.mid");
    // 500 + 1000 + 500 ms: the end event comes half a slow beat after the last note.
    EXPECT_EQ(list.Item(0)->EndPoint, 2000);
    EXPECT_EQ(list.Item(1)->FileName, "song.wav");
    EXPECT_EQ(list.Item(1)->EndPoint, 0);
}

TEST(ShowBuild, DefaultsRandomTransitionShowDurationNoMusicAndNamesRelativeToTheShow) {
    TempDir dir;
    WritePictures(dir, "pics");
    const std::string show = dir / "show.kls";
    const ToolRun r = RunTool(dir, "build " + Q(dir / "pics") + " " + Q(show));
    ASSERT_EQ(r.status, 0) << r.err;
    TBuiltShow built(show);
    ASSERT_EQ(built.Result, slLoaded);
    ASSERT_EQ(built.Show.RootList().Count(), 4);
    EXPECT_EQ(built.Item(0)->FileName, "pics\\A.png");
    EXPECT_EQ(built.Item(0)->Duration, -1);
    EXPECT_EQ(built.Item(0)->Transition->ClassName(), "TRandomTransitionPlugin");
    EXPECT_EQ(fs::path(ToPosixPath(built.Item(3)->GetResolvedFileName())).lexically_normal(),
              dir.Path() / "pics/clip.avi");
    EXPECT_EQ(built.PlayList().Count(), 0);
}

// ms of silence as a 16-bit mono WAV file at 8000 Hz.
std::vector<uint8_t> SilenceOf(int ms) {
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
    const uint32_t data = uint32_t(ms) * 16;
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(data >> (8 * i)));
    b.resize(b.size() + data, 0);
    const uint32_t riff = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return b;
}

// With music the pictures cycle until the show lasts whole passes of the play list (a
// pause, the songs with a second between them), so that its restart cuts no song: a
// remainder of a second or more is a picture of its own, a shorter one goes to the
// picture before. The pause opens each pass, and the closing fade takes that long.
TEST(ShowBuild, WithMusicThePicturesCycleToWholePassesOfTheSongs) {
    struct TCase {
        const char* Name;
        int Pictures;
        std::string Duration;
        std::vector<int> Songs;
        std::vector<int32_t> Durations;  // of the items built
    } cases[] = {
        {"a remainder of its own", 2, "--duration 2000", {6000, 3500}, {2000, 2000, 2000, 2000, 2000, 1500}},
        {"a short remainder", 2, "--duration 2000", {6000, 2600}, {2000, 2000, 2000, 2000, 2600}},
        {"the pictures longer than a pass", 3, "--duration 3000", {2000}, {3000, 3000, 3000}},
        {"the show's default duration", 1, "", {8000}, {5000, 4000}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        fs::create_directories(dir.Path() / "show");
        std::string music;
        for (int i = 0; i < c.Pictures; ++i)
            WriteFileBytes(dir / ("show/" + std::to_string(i) + ".png"), EncodePng(8, 6, [](int, int) { return kShowColors[1]; }));
        for (size_t i = 0; i < c.Songs.size(); ++i) {
            const std::string song = dir / ("show/song" + std::to_string(i) + ".wav");
            WriteFileBytes(song, SilenceOf(c.Songs[i]));
            music += " --music " + Q(song);
        }
        const std::string show = dir / "show/show.kls";
        const ToolRun r = RunTool(dir, "build " + Q(dir / "show") + " " + Q(show) + " " + c.Duration + music);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        TBuiltShow built(show);
        ASSERT_EQ(built.Result, slLoaded);
        ASSERT_EQ(built.Show.RootList().Count(), int(c.Durations.size()));
        for (size_t i = 0; i < c.Durations.size(); ++i) {
            EXPECT_EQ(built.Item(int(i))->Duration, c.Durations[i]) << i;
            EXPECT_EQ(built.Item(int(i))->FileName, std::to_string(int(i) % c.Pictures) + ".png") << i;
        }
        EXPECT_EQ(built.PlayList().Item(0)->Delay, 1000);
        EXPECT_EQ(dynamic_cast<TMusicProperties&>(*built.Show.MusicProperties).EndFadeTime, 1000);
    }
}

struct RefusedCase {
    const char* Name;
    std::string Args;
    int Status;
    const char* Message;
};

TEST(ShowBuild, RefusedCallsWriteNothing) {
    TempDir dir;
    WritePictures(dir, "pics");
    dir.Write("empty/notes.txt");
    // A damaged MIDI file would never play: it is refused.
    dir.Write("bad.mid", "MThd");
    const std::string out = dir / "show.kls";
    const RefusedCase cases[] = {
        {"unknown transition", Q(dir / "pics") + " " + Q(out) + " --transition TNoSuchTransition", 2,
         "no transition class TNoSuchTransition"},
        {"a class that is no transition", Q(dir / "pics") + " " + Q(out) + " --transition TSlideShow", 2,
         "no transition class TSlideShow"},
        {"no folder", Q(dir / "nothing") + " " + Q(out), 1, "nothing: no folder"},
        {"no pictures", Q(dir / "empty") + " " + Q(out), 1, "holds no picture file"},
        {"missing music", Q(dir / "pics") + " " + Q(out) + " --music " + Q(dir / "none.mid"), 1,
         "none.mid: no music file there"},
        {"a folder as music", Q(dir / "pics") + " " + Q(out) + " --music " + Q(dir / "pics"), 1,
         "pics: a folder; each song needs its own --music FILE"},
        {"duration 0", Q(dir / "pics") + " " + Q(out) + " --duration 0", 2, "--duration takes milliseconds"},
        {"one file only", Q(dir / "pics"), 2, "build takes a folder and a show file"},
        {"a MIDI song without a length", Q(dir / "pics") + " " + Q(out) + " --music " + Q(dir / "bad.mid"), 1,
         "bad.mid: a MIDI song whose playing time cannot be read"},
        {"a wrong aspect", Q(dir / "pics") + " " + Q(out) + " --aspect wide", 2, "--aspect takes fill or W:H"},
    };
    for (const RefusedCase& c : cases) {
        const ToolRun r = RunTool(dir, "build " + c.Args);
        EXPECT_EQ(r.status, c.Status) << c.Name;
        EXPECT_NE(r.err.find(c.Message), std::string::npos) << c.Name << ": " << r.err;
        EXPECT_FALSE(dir.Exists("show.kls")) << c.Name;
    }
}

}  // namespace

namespace {

std::string TuneTool() { return (ShowTool().parent_path() / "glowcanvas-tune").string(); }

// The demo's tune: the same bytes every time, and a show built with it ends the song
// where its last event sounds: 15 bars of 4 beats at 96 bpm, two beats at 84 and two
// at 72 (tempi in whole microseconds), then five beats at 60.
TEST(ShowBuild, GeneratedTuneIsRepeatableAndEndsThroughItsTempoMap) {
    TempDir dir;
    const std::string a = dir / "Lumivor/tune.mid", b = dir / "b.mid";
    fs::create_directories(dir.Path() / "Lumivor");
    const ToolRun first = RunCommand(Q(TuneTool()) + " " + Q(a));
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(RunCommand(Q(TuneTool()) + " " + Q(b)).status, 0);
    EXPECT_EQ(ReadFileBytes(a), ReadFileBytes(b));
    const long double us = 15 * 4 * 625000.0L + 2 * 714285.0L + 2 * 833333.0L + 5 * 1000000.0L;
    const int32_t expected = static_cast<int32_t>(std::ceil(us / 1000));
    EXPECT_EQ(first.out, a + ": " + std::to_string(expected) + " ms\n");

    WriteFileBytes(dir / "Lumivor/bild.png", EncodePng(8, 8, [](int, int) { return kShowColors[1]; }));
    const std::string show = dir / "Lumivor/Slideshow.kls";
    ASSERT_EQ(RunTool(dir, "build " + Q(dir / "Lumivor") + " " + Q(show) + " --music " + Q(a)).status, 0);
    TBuiltShow built(show);
    ASSERT_EQ(built.PlayList().Count(), 1);
    EXPECT_EQ(built.PlayList().Item(0)->FileName, "tune.mid");
    EXPECT_EQ(built.PlayList().Item(0)->EndPoint, expected);
}

}  // namespace

namespace {

// Called from the show's parent folder with relative names, the tools find the
// pictures beside the show all the same.
TEST(ShowBuild, ABuiltShowRendersItsPicturesWhenNamedRelatively) {
    TempDir dir;
    fs::create_directories(dir.Path() / "Lumivor");
    WriteFileBytes(dir / "Lumivor/bild.png", EncodePng(960, 720, [](int, int) { return kShowColors[2]; }));
    const std::string cd = "cd " + Q(dir.Path().string()) + " && ";
    ASSERT_EQ(RunTool(dir, "build Lumivor Lumivor/Slideshow.kls --transition TAlphablendingTransitionPlugin", cd).status, 0);
    ASSERT_EQ(RunTool(dir, "render Lumivor/Slideshow.kls --at 2500 --size 16x12 frame.png", cd).status, 0);
    const std::vector<uint8_t> png = ReadFileBytes(dir / "frame.png");
    const TBitmap32 frame = ReadPngPicture(png.data(), png.size());
    EXPECT_EQ(frame.Pixel(8, 6), kShowColors[2]);
}

}  // namespace

namespace {

// The demo's video is a picture of the show like any other: its first frame shows.
TEST(ShowBuild, TheGeneratedVideoShowsAsAPicture) {
    TempDir dir;
    fs::create_directories(dir.Path() / "Lumivor");
    const std::string video = (ShowTool().parent_path() / "glowcanvas-video").string();
    // Large enough to fill the stage: the builder grows smaller pictures only so far.
    ASSERT_EQ(RunCommand(Q(video) + " " + Q(dir / "Lumivor/clip.avi") + " --size 960x600 --seconds 1").status, 0);
    const std::string cd = "cd " + Q(dir.Path().string()) + " && ";
    ASSERT_EQ(RunTool(dir, "build Lumivor Lumivor/Slideshow.kls --transition TAlphablendingTransitionPlugin", cd).status, 0);
    ASSERT_EQ(RunTool(dir, "render Lumivor/Slideshow.kls --at 2500 --size 64x40 frame.png", cd).status, 0);
    const std::vector<uint8_t> png = ReadFileBytes(dir / "frame.png");
    const TBitmap32 frame = ReadPngPicture(png.data(), png.size());
    // The waves of frame 0 at the centre: violet (about 54, 20, 160), not the black of
    // an empty frame.
    const TColor32 c = frame.Pixel(32, 20);
    EXPECT_NEAR(int(c >> 16 & 0xFF), 54, 20) << std::hex << c;
    EXPECT_NEAR(int(c & 0xFF), 160, 20) << std::hex << c;
}

}  // namespace

namespace {

template <class T>
T* Child(TSlideShowObject* parent, int i) {
    auto* c = Supports<ICollection>(parent);
    return c && c->GetChildList() && i < c->GetChildList()->Count()
               ? dynamic_cast<T*>(c->GetChildList()->GetItem(i))
               : nullptr;
}

// The demo's show: captioned pictures, the title over the first, a collage of a
// folder's pictures, snow over all of it for as long as it lasts.
TEST(ShowBuild, CaptionsTitleCollageAndSnow) {
    TempDir dir;
    WritePictures(dir, "Lumivor");
    fs::remove(dir.Path() / "Lumivor/clip.avi");
    fs::rename(dir.Path() / "Lumivor/b.png", dir.Path() / "Lumivor/02-Lagune.png");
    fs::create_directories(dir.Path() / "Lumivor/Collage");
    fs::create_directories(dir.Path() / "Lumivor/Partikel");
    for (const char* name : {"1.png", "2.png", "3.png", "4.png", "5.png"})
        WriteFileBytes(dir / (std::string("Lumivor/Collage/") + name), EncodePng(8, 8, [](int, int) { return kShowColors[1]; }));
    WriteFileBytes(dir / "Lumivor/Partikel/Flocke.png", EncodePng(8, 8, [](int, int) { return clWhite32; }));
    const std::string show = dir / "Lumivor/Slideshow.kls";
    const ToolRun r = RunTool(dir, "build " + Q(dir / "Lumivor") + " " + Q(show) +
                                       " --duration 3000 --captions --title 'Gr\xC3\xBC\xC3\x9F" "e' --collage " +
                                       Q(dir / "Lumivor/Collage") + " --snow " + Q(dir / "Lumivor/Partikel/Flocke.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    TBuiltShow built(show);
    ASSERT_EQ(built.Result, slLoaded);
    EXPECT_EQ(built.Show.DroppedItemCount(), 0);
    ASSERT_EQ(built.Show.RootList().Count(), 1);
    TSlideShowObject* snowGroup = built.Show.RootList().GetItem(0);
    ASSERT_NE(dynamic_cast<TParallelSlideShowObject*>(snowGroup), nullptr);
    auto* chapter = Child<TContainerSlideShowObject>(snowGroup, 0);
    auto* snow = Child<TParticleSlideShowObject>(snowGroup, 1);
    ASSERT_NE(chapter, nullptr);
    ASSERT_NE(snow, nullptr);
    EXPECT_EQ(snow->FileNames, "Partikel\\Flocke.png");
    EXPECT_EQ(snow->Transition, nullptr);
    EXPECT_FALSE(snow->FillBackground);
    // Title group, two more pictures, the collage: 4 items of 3 s each.
    ASSERT_EQ(chapter->GetChildList()->Count(), 4);
    EXPECT_EQ(snow->Duration, 12000);
    EXPECT_EQ(chapter->GetDuration(), 12000);

    TSlideShowObject* titleGroup = chapter->GetChildList()->GetItem(0);
    auto* first = Child<TPicTextSoundCompositeSlideShowObject>(titleGroup, 0);
    auto* title = Child<TTextSlideShowObject>(titleGroup, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->Text, "Gr\xFC\xDF" "e");
    ASSERT_NE(title->TextEffects, nullptr);
    for (TVectorTextEffect* e : {title->TextEffects->EntryEffect(), title->TextEffects->ExitEffect()}) {
        ASSERT_NE(dynamic_cast<TSimpleZoomVectorTextEffect*>(e), nullptr);
        EXPECT_EQ(e->Duration, 2000);
    }
    EXPECT_EQ(title->Duration, 3000);
    // Captions from the names: "02-Lagune.png" loses its number, "A.png" keeps its name.
    const char* captions[][2] = {{"02-Lagune.png", "Lagune"}, {"A.png", "A"}, {"c.jpg", "c"}};
    for (int i = 0; i < 3; ++i) {
        auto* item = i == 0 ? first
                            : dynamic_cast<TPicTextSoundCompositeSlideShowObject*>(chapter->GetChildList()->GetItem(i));
        ASSERT_NE(item, nullptr) << i;
        EXPECT_EQ(item->FileName, captions[i][0]);
        EXPECT_EQ(item->CaptionText, captions[i][1]);
        EXPECT_EQ(item->Duration, 3000);
        EXPECT_EQ(item->Transition->ClassName(), "TRandomTransitionPlugin");
    }
    // Five pictures in a grid of 3 x 2, in name order, each inside its cell.
    auto* collage = dynamic_cast<TMergeSlideShowObject*>(chapter->GetChildList()->GetItem(3));
    ASSERT_NE(collage, nullptr);
    EXPECT_EQ(collage->Title, "Collage");
    EXPECT_EQ(collage->Duration, 3000);
    ASSERT_EQ(collage->GetChildList()->Count(), 5);
    for (int i = 0; i < 5; ++i) {
        auto* cell = dynamic_cast<TExtPicSlideShowObject*>(collage->GetChildList()->GetItem(i));
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->FileName, "Collage\\" + std::to_string(i + 1) + ".png");
        EXPECT_FALSE(cell->FillBackground);
        const TDoubleRect& rect = cell->RelativeRect;
        EXPECT_NEAR(rect.Left, (i % 3) / 3.0 + 0.02, 1e-9) << i;
        EXPECT_NEAR(rect.Top, (i / 3) / 2.0 + 0.02, 1e-9) << i;
        EXPECT_NEAR(rect.Right, (i % 3 + 1) / 3.0 - 0.02, 1e-9) << i;
        EXPECT_NEAR(rect.Bottom, (i / 3 + 1) / 2.0 - 0.02, 1e-9) << i;
    }
}

TEST(ShowBuild, RefusedPiecesWriteNothing) {
    TempDir dir;
    WritePictures(dir, "pics");
    dir.Write("empty/notes.txt");
    dir.Write("flake.txt");
    const std::string out = dir / "show.kls";
    const RefusedCase cases[] = {
        {"collage without pictures", Q(dir / "pics") + " " + Q(out) + " --collage " + Q(dir / "empty"), 1,
         "holds no picture file"},
        {"collage of no folder", Q(dir / "pics") + " " + Q(out) + " --collage " + Q(dir / "none"), 1, "none: no folder"},
        {"snow of no picture", Q(dir / "pics") + " " + Q(out) + " --snow " + Q(dir / "flake.txt"), 1,
         "no picture file"},
        {"snow of nothing", Q(dir / "pics") + " " + Q(out) + " --snow " + Q(dir / "none.png"), 1, "no picture file"},
        {"empty title", Q(dir / "pics") + " " + Q(out) + " --title ''", 2, "--title takes a text"},
    };
    for (const RefusedCase& c : cases) {
        const ToolRun r = RunTool(dir, "build " + c.Args);
        EXPECT_EQ(r.status, c.Status) << c.Name;
        EXPECT_NE(r.err.find(c.Message), std::string::npos) << c.Name << ": " << r.err;
        EXPECT_FALSE(dir.Exists("show.kls")) << c.Name;
    }
}

}  // namespace

namespace {

// The pieces as the player draws them, every 500 ms into the output folder with a
// contact sheet: the title grows over the first picture, captions sit below the
// pictures, the collage shows its five cells, and flakes fall over all of it.
TEST(ShowBuild, ThePiecesPlay) {
    TempDir dir;
    fs::create_directories(dir.Path() / "Lumivor/Collage");
    fs::create_directories(dir.Path() / "Lumivor/Partikel");
    const TColor32 ground[] = {0xFF203070, 0xFF702030};
    WriteFileBytes(dir / "Lumivor/1-Abend.png", EncodePng(960, 720, [&](int, int) { return ground[0]; }));
    WriteFileBytes(dir / "Lumivor/2-Nacht.png", EncodePng(960, 720, [&](int, int) { return ground[1]; }));
    for (int i = 0; i < 5; ++i)
        WriteFileBytes(dir / ("Lumivor/Collage/" + std::to_string(i) + ".png"),
                       EncodePng(160, 120, [&](int, int) { return kShowColors[i % 3]; }));
    WriteFileBytes(dir / "Lumivor/Partikel/flake.png", EncodePng(16, 16, [](int x, int y) {
                       return (x - 7.5) * (x - 7.5) + (y - 7.5) * (y - 7.5) < 36 ? clWhite32 : 0x00FFFFFFu;
                   }));
    const std::string cd = "cd " + Q(dir.Path().string()) + " && ";
    ASSERT_EQ(RunTool(dir, "build Lumivor Lumivor/Slideshow.kls --duration 4000 --transition TAlphablendingTransitionPlugin"
                           " --captions --title Glowcanvas --collage Lumivor/Collage --snow Lumivor/Partikel/flake.png", cd).status, 0);
    const fs::path out = fs::absolute(TestOutputFolder() / "show-pieces");
    fs::remove_all(out);
    ASSERT_EQ(RunTool(dir, "render Lumivor/Slideshow.kls --at 11500 --every 500 --size 320x240 " + Q(out.string()), cd)
                  .status, 0);
    std::vector<TBitmap32> frames;
    for (int t = 0; t <= 11500; t += 500) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", t);
        const std::vector<uint8_t> png = ReadFileBytes((out / name).string());
        ASSERT_FALSE(png.empty()) << name;
        frames.push_back(ReadPngPicture(png.data(), png.size()));
    }
    std::vector<const TBitmap32*> cells;
    for (const TBitmap32& f : frames) cells.push_back(&f);
    WritePngPicture(MakeContactSheet(cells, TContactSheetLayout{}), FromPosixPath((out / "sheet.png").string()));

    auto count = [](const TBitmap32& f, auto test) {
        int n = 0;
        for (int y = 0; y < f.Height(); ++y)
            for (int x = 0; x < f.Width(); ++x) n += test(f.Pixel(x, y)) ? 1 : 0;
        return n;
    };
    auto white = [](TColor32 c) { return (c & 0xF0F0F0) == 0xF0F0F0; };
    // The title: more of its white over the first picture at the middle of its time
    // (2 s) than while it zooms in (0.5 s).
    EXPECT_GT(count(frames[4], white), count(frames[1], white));
    // Snow everywhere, the collage too: some white in every frame from 0.5 s on.
    for (size_t i = 1; i < frames.size(); ++i) EXPECT_GT(count(frames[i], white), 0) << i * 500;
    // The collage at 11.5 s: each cell's colour around its centre (3 x 2 cells), where
    // no flake lies.
    const TBitmap32& collage = frames.back();
    for (int i = 0; i < 5; ++i) {
        const int cx = (2 * (i % 3) + 1) * 320 / 6, cy = (2 * (i / 3) + 1) * 240 / 4;
        int found = 0;
        for (int dy = -20; dy <= 20; dy += 10)
            for (int dx = -20; dx <= 20; dx += 10) found += collage.Pixel(cx + dx, cy + dy) == kShowColors[i % 3];
        EXPECT_GT(found, 12) << i;
    }
}

}  // namespace

namespace {

// A folder as a phone fills it builds: what cannot be read is left out, each file named
// as typed with why, and the summary counts both.
TEST(ShowBuild, APhoneFolderBuildsWithWhatCannotBeReadLeftOut) {
    if (RunCommand("command -v ffmpeg >/dev/null 2>&1 && echo y").out != "y\n") GTEST_SKIP() << "ffmpeg is missing";
    TempDir dir;
    fs::create_directories(dir.Path() / "pics/Urlaub2023");
    const auto photo = [](int x, int) { return x < 32 ? 0xFF3050E0u : 0xFFE0B040u; };
    WriteFileBytes(dir / "pics/IMG_0001.jpg", EncodeJpeg(64, 48, photo));
    WriteFileBytes(dir / "pics/IMG_0002.jpg", EncodeJpeg(64, 48, photo));
    std::vector<uint8_t> cut = EncodeJpeg(64, 48, photo);
    cut.resize(100);  // before its first scan
    WriteFileBytes(dir / "pics/IMG_0003.jpg", cut);
    dir.Write("pics/IMG_0004.heic", std::string("\0\0\0\x18" "ftypheic", 12));
    dir.Write("pics/IMG_0005.jpg", "a note, not a photo");
    WriteFileBytes(dir / "pics/Urlaub2023/IMG_0009.jpg", EncodeJpeg(64, 48, photo));
    for (const char* clip : {"VID_0006.mp4", "VID_0007.mov"})
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=s=64x48:d=1 -c:v libx264 -pix_fmt yuv420p " +
                             Q(dir / (std::string("pics/") + clip)) + "; echo $?")
                      .out,
                  "0\n")
            << clip;
    const ToolRun r = RunTool(dir, "build pics pics/Slideshow.kls", "cd " + Q(dir.Path().string()) + " && ");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pics/Slideshow.kls: 4 pictures in the show, 3 files left out\n");
    TBuiltShow built(dir / "pics/Slideshow.kls");
    ASSERT_EQ(built.Result, slLoaded);
    const char* taken[] = {"IMG_0001.jpg", "IMG_0002.jpg", "VID_0006.mp4", "VID_0007.mov"};
    ASSERT_EQ(built.Show.RootList().Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(built.Item(i)->FileName, taken[i]);
    // One line each, the file first as typed, then why.
    const char* lines[] = {
        "glowcanvas-show: pics/IMG_0003.jpg: the picture cannot be read",
        "glowcanvas-show: pics/IMG_0004.heic: no picture format this system reads (.heic); left out\n",
        "glowcanvas-show: pics/IMG_0005.jpg: the picture cannot be read",
        "glowcanvas-show: pics/Urlaub2023: a subfolder; the build takes only the pictures lying in pics itself\n",
    };
    size_t count = 0;
    for (char c : r.err) count += c == '\n';
    EXPECT_EQ(count, 4u) << r.err;
    for (const char* line : lines) {
        const size_t at = r.err.find(line);
        ASSERT_NE(at, std::string::npos) << line << "\n" << r.err;
        EXPECT_TRUE(at == 0 || r.err[at - 1] == '\n') << line;
    }
    EXPECT_EQ(r.err.find(dir.Path().string()), std::string::npos) << r.err;
    // A folder with nothing left to show is refused.
    const ToolRun none = RunTool(dir, "build pics/Urlaub2023/.. empty.kls --collage pics/Urlaub2023",
                                 "cd " + Q(dir.Path().string()) + " && rm pics/IMG_0001.jpg pics/IMG_0002.jpg pics/VID* && ");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("glowcanvas-show: pics/Urlaub2023/..: no picture in it can be read\n"), std::string::npos)
        << none.err;
    EXPECT_FALSE(dir.Exists("empty.kls"));
}

}  // namespace
