// Video files as pictures: the five formats in the registry and its lists, each test
// video's first frame through the registry and through a picture item, every way a
// video can fail to give a picture, and the renderer's image in each layout it may have.
#include "media/VideoImageUnit.h"

#include "objects/ObjectTestSupport.h"
#include "objects/PicSlideShowObject.h"
#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"
#include "graphics/PngWriter.h"
#include "platform/DebugOutput.h"
#include "platform/MessageQueue.h"
#include "platform/Stream.h"
#include "platform/video_testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char* const kVideos[] = {"bars.avi", "bars.mov", "bars.mpg", "bars.mpeg", "bars.wmv"};

class VideoImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        for (const char* name : kVideos) {
            std::string error;
            ASSERT_TRUE(WriteTestVideo(*dir_ / name, 160, 96, 10, 25, &error)) << name << ": " << error;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        InitializePictureFormats();
        VideoImageUnit::Initialize();
    }
    void TearDown() override {
        VideoImageUnit::Finalize();
        SetDebugOutput(nullptr);
    }
    static std::string File(const std::string& name) { return *dir_ / name; }

    TFakeMessageQueue queue_;
    TInstalled<SetMessageQueue> installedQueue_{queue_};
    static TempDir* dir_;
};
TempDir* VideoImageTest::dir_ = nullptr;

bool Near(TColor32 a, TColor32 b, int tolerance) {
    return std::abs(RedComponent(a) - RedComponent(b)) <= tolerance &&
           std::abs(GreenComponent(a) - GreenComponent(b)) <= tolerance &&
           std::abs(BlueComponent(a) - BlueComponent(b)) <= tolerance;
}

int FrameNumber(const TBitmap32& b) {
    return ReadTestFrameNumber(b.Width(), b.Height(), [&](int x, int y) { return b.Pixel(x, y); });
}

TEST_F(VideoImageTest, VideoFormatsInTableOrderCountedAndInTheLists) {
    std::vector<std::pair<AnsiString, AnsiString>> videos;
    for (const TPictureFormat& f : PictureFormats())
        if (f.FileReader) videos.push_back({f.Extension, f.Description});
    EXPECT_EQ(videos, (std::vector<std::pair<AnsiString, AnsiString>>{{"avi", "AVI-Video"},
                                                                      {"mov", "Quicktime Video"},
                                                                      {"mpg", "MPG-Video"},
                                                                      {"mpeg", "MPG-Video"},
                                                                      {"wmv", "Windows Media Video"},
                                                                      {"mp4", "MPEG-4-Video"},
                                                                      {"m4v", "MPEG-4-Video"},
                                                                      {"3gp", "3GPP-Video"},
                                                                      {"mkv", "Matroska-Video"},
                                                                      {"webm", "WebM-Video"}}));
    // Each extension once, however often the unit starts.
    VideoImageUnit::Initialize();
    const auto list = CopyPictureExtensionList(true);
    for (const char* e : {"AVI", "MOV", "MPEG", "MPG", "WMV"}) EXPECT_EQ(std::count(list.begin(), list.end(), e), 1) << e;
    AnsiString filter;
    BuildPictureFilter(true, true, filter);
    EXPECT_NE(filter.find("|MPG-Video (*.mpeg;*.mpg)|*.mpeg;*.mpg|"), AnsiString::npos) << filter;
    size_t entries = 0;
    for (size_t at = filter.find("MPG-Video"); at != AnsiString::npos; at = filter.find("MPG-Video", at + 1)) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_NE(filter.find("*.avi;"), AnsiString::npos);  // in the all-pictures entry
    // Only the last finalisation takes them out again.
    VideoImageUnit::Finalize();
    TPictureFormat f;
    EXPECT_TRUE(FindPictureFormat("wmv", f));
    VideoImageUnit::Finalize();
    EXPECT_FALSE(FindPictureFormat("wmv", f));
    EXPECT_FALSE(FindPictureFormat("avi", f));
    VideoImageUnit::Initialize();
    FinalizePictureFormatLists();
}

// The first frame at the video's size, its colours within the codec's error; a PNG of
// each goes to the test output.
TEST_F(VideoImageTest, EachVideoLoadsAsItsFirstFrame) {
    for (const char* name : kVideos) {
        SCOPED_TRACE(name);
        const TBitmap32 b = LoadPictureFromFile(File(name));
        ASSERT_EQ(b.Width(), 160);
        ASSERT_EQ(b.Height(), 96);
        EXPECT_EQ(FrameNumber(b), 0);
        std::string bar;
        EXPECT_TRUE(TestBarsMatch(0, 160, 96, [&](int x, int y) { return b.Pixel(x, y); }, 24, &bar)) << bar;
        EXPECT_EQ(AlphaComponent(b.Pixel(0, 0)), 255);
        WritePngPicture(b, (TestOutputFolder() / (std::string(name) + ".png")).string());
    }
}

// Unopenable, truncated, empty, no video at all: EInvalidGraphic with an empty message,
// the reason on the debug output, and the next load works (the lock is free).
TEST_F(VideoImageTest, FailuresRaiseInvalidGraphicAndFreeTheLock) {
    TempDir t;
    t.Write("empty.avi", "");
    const std::vector<uint8_t> whole = ReadFileBytes(File("bars.avi"));
    WriteFileBytes(t / "cut.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + 300));
    t.Write("words.mpg", "no video here, only words");
    TFakeDebugOutput debug;
    std::vector<AnsiString>& said = debug.Lines;
    SetDebugOutput(&debug);
    for (const std::string& f : {t / "missing.avi", t / "empty.avi", t / "cut.avi", t / "words.mpg"}) {
        SCOPED_TRACE(f);
        said.clear();
        try {
            (void)LoadPictureFromFile(f);
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), "");
        }
        EXPECT_TRUE(std::any_of(said.begin(), said.end(), [&](const AnsiString& s) {
            return s.find("Video picture " + f) == 0;
        }));
        TVideoImage image;
        image.SetSize(3, 3);
        EXPECT_THROW(image.LoadFromFile(f), EInvalidGraphic);
        EXPECT_EQ(image.Width(), 3);  // contents unchanged
        EXPECT_EQ(LoadPictureFromFile(File("bars.wmv")).Width(), 160);
    }
    SetDebugOutput(nullptr);
}

// In a stream a video is read as the plain bitmap would be: no BMP, no picture.
TEST_F(VideoImageTest, AVideoInAStreamIsNoPicture) {
    TFileStream stream(File("bars.avi"), fmOpenRead);
    EXPECT_THROW(LoadPictureFromStream(stream, "bars.avi"), EInvalidGraphic);
}

TEST_F(VideoImageTest, WithoutThePlayerNoVideoLoads) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.MediaPlayerAvailable = false;
    EXPECT_THROW(LoadPictureFromFile(File("bars.avi")), EInvalidGraphic);
    files.MediaPlayerAvailable = true;
    EXPECT_EQ(LoadPictureFromFile(File("bars.avi")).Width(), 160);
}

// The renderer's image in every layout it may come in: masks, colour table with
// biClrUsed 0, padded rows; a renderer that reports size 0 gives no frame.
TEST_F(VideoImageTest, EveryRendererImageLayoutDecodes) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    TFakeVideo v;
    v.Width = 13;  // odd: rows are padded at 8, 16 and 24 bits
    v.Height = 5;
    v.FrameCount = 1;
    v.Paint = [](int, uint8_t* px, int w, int h) {
        for (int i = 0; i < w * h; ++i) {
            px[4 * i] = uint8_t(i * 19);
            px[4 * i + 1] = uint8_t(i * 7 + 40);
            px[4 * i + 2] = uint8_t(255 - i * 3);
        }
    };
    files.Add("fake.avi", v);
    TFakeVideo zero = v;
    zero.ImageSizeZero = true;
    files.Add("zero.avi", zero);
    struct Case {
        TRendererImageFormat Format;
        int Tolerance;  // what the layout loses
    };
    for (const Case& c : {Case{TRendererImageFormat::Rgb32, 0}, Case{TRendererImageFormat::Rgb24, 0},
                          Case{TRendererImageFormat::Bitfields565, 8}, Case{TRendererImageFormat::Bitfields32, 0},
                          Case{TRendererImageFormat::Palette8, 43}}) {
        files.RendererImageFormat = c.Format;
        const TBitmap32 b = LoadPictureFromFile("fake.avi");
        ASSERT_EQ(b.Width(), 13);
        ASSERT_EQ(b.Height(), 5);
        for (int i = 0; i < 13 * 5; ++i) {
            const TColor32 want = Color32(uint8_t(255 - i * 3), uint8_t(i * 7 + 40), uint8_t(i * 19));
            EXPECT_PRED3(Near, b.Pixel(i % 13, i / 13), want, c.Tolerance) << int(c.Format) << " pixel " << i;
        }
    }
    files.RendererImageFormat = TRendererImageFormat::Rgb32;
    EXPECT_THROW(LoadPictureFromFile("zero.avi"), EInvalidGraphic);
}

// A picture item takes a video as any picture; a broken one fails its step quietly.
TEST_F(VideoImageTest, PictureItemsShowTheFirstFrameOrFailTheirStep) {
    TFakeDrawingPlayer player;
    player.MakeBackBuffer(320, 192);
    TPicSlideShowObject item;
    item.FileName = File("bars.mov");
    item.InitializeAll(&player);
    ASSERT_TRUE(item.IsInitialized());
    ASSERT_NE(item.Bitmap, nullptr);
    EXPECT_EQ(item.Bitmap->Width(), 320);  // fitted to the paint box
    const TBitmap32& b = *item.Bitmap;
    EXPECT_PRED3(Near, b.Pixel(TestBarCenterX(5, 320), TestBarCenterY(192)), 0xFFFF0000, 32);
    EXPECT_EQ(FrameNumber(b), 0);
    WritePngPicture(b, (TestOutputFolder() / "item-bars.mov.png").string());

    TempDir t;
    t.Write("leer.wmv", "");
    TPicSlideShowObject broken;
    broken.FileName = t / "leer.wmv";
    EXPECT_FALSE(broken.ExecuteInitializationStep(&player, 1));
    EXPECT_EQ(broken.LoadFailed, 1);
    EXPECT_TRUE(broken.IsPrepared());
    // And the next video still loads.
    TPicSlideShowObject next;
    next.FileName = File("bars.mpg");
    EXPECT_TRUE(next.ExecuteInitializationStep(&player, 1));
}

}  // namespace
