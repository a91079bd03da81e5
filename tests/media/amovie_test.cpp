// The video component on the media-player stand-in: its defaults, playback on a real
// video, the Sample Grabber put into the graph (and taken out again when that fails),
// captures one at a time and in bursts into bitmaps, BMP and JPEG files, file names,
// the layout of the surface, and freeing it while frames stream.
#include "media/AMovie.h"

#include "graphics/JpegReader.h"
#include "graphics/PackedDIB.h"
#include "platform/MessageBox.h"
#include "platform/MessageQueue.h"
#include "platform/Paths.h"
#include "platform/video_testsupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class AMovieTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        std::string error;
        ASSERT_TRUE(WriteTestVideo(*dir_ / "fifty.avi", 96, 64, 50, 25, &error)) << error;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void TearDown() override { SetMessageBoxSystem(nullptr); }

    static std::string Video() { return *dir_ / "fifty.avi"; }

    static bool RunUntil(const std::function<bool()>& done) { return RunMessagesUntil(done); }
    static void RunFor(uint32_t ms) { RunMessagesFor(ms); }

    // A component on the test video, the grabber enabled, capturing into a folder.
    static void Grabbing(TActiveMovie& m, const TempDir& out) {
        m.StoragePath = out.Program().substr(0, out.Program().size() - 1);
        m.FileName = Video();
        m.SetFGrabber_Enabled(true);
    }

    TFakeMessageQueue queue_;
    TInstalled<SetMessageQueue> installedQueue_{queue_};
    static TempDir* dir_;
};
TempDir* AMovieTest::dir_ = nullptr;

int FrameNumber(const TBitmap32& b) {
    return ReadTestFrameNumber(b.Width(), b.Height(), [&](int x, int y) { return b.Pixel(x, y); });
}

TBitmap32 ReadBmp(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    TBitmap32 b;
    if (bytes.size() > 14 && bytes[0] == 'B' && bytes[1] == 'M') PackedDIBToBitmap32(bytes.data() + 14, bytes.size() - 14, b);
    return b;
}

TEST_F(AMovieTest, DefaultsOfConstruction) {
    TActiveMovie m;
    EXPECT_TRUE(m.AutoStart);
    EXPECT_TRUE(m.ShowScrollBars());
    EXPECT_EQ(m.ScrollBarsThickness, 16);
    EXPECT_EQ(m.DisplaySize(), mpDefaultSize);
    EXPECT_EQ(m.ZoomSize(), 100);
    EXPECT_EQ(m.Rate(), 1.0);
    EXPECT_EQ(m.SelectionStart, -1.0);
    EXPECT_EQ(m.SelectionEnd, -1.0);
    EXPECT_TRUE(m.DisplayLogo);
    EXPECT_TRUE(m.Visible());
    EXPECT_EQ(m.CaptureSize, 100);
    EXPECT_EQ(m.AutoFilePrefix, "am");
    EXPECT_EQ(m.AutoFileName, fnSequential);
    EXPECT_EQ(m.JPEGQuality, 100);
    EXPECT_EQ(m.JPEGPerformance, jpBestQuality);
    EXPECT_EQ(m.Width(), 240);
    EXPECT_EQ(m.Height(), 200);
    EXPECT_FALSE(m.FGrabber_Enabled());
    EXPECT_EQ(m.GrabberStatus(), "the FGrabber_Enabled property must be enabled.");
    EXPECT_TRUE(m.GrabberAvailable());
    EXPECT_NE(m.StoragePath.back(), '\\');
    EXPECT_EQ(std::filesystem::path(ToPosixPath(m.StoragePath)), std::filesystem::current_path());
    for (int32_t id : {-500, 1112, 1103}) EXPECT_FALSE(m.GetControlBoolean(id)) << id;
    // The wrapper and the timer take numbers in turn.
    TActiveMovie n;
    const int a = std::stoi(m.MediaPlayer().Name.substr(11)), b = std::stoi(n.MediaPlayer().Name.substr(11));
    EXPECT_EQ(m.MediaPlayer().Name.substr(0, 11), "AMComponent");
    EXPECT_EQ(m.TimerName, "AMComponent" + std::to_string(a + 1));
    EXPECT_EQ(b, a + 2);
    m.SetFGrabber_Enabled(true);
    EXPECT_EQ(m.GrabberStatus(), "");
    m.SetFGrabber_BurstCount(4);
    m.SetFGrabber_BurstCount(-1);
    m.SetFGrabber_BurstInterval(-2);
    EXPECT_EQ(m.FGrabber_BurstCount(), 4);
    EXPECT_EQ(m.FGrabber_BurstInterval(), 0);
    // The control's help goes on unless its event says otherwise.
    EXPECT_EQ(SendMessage(m.Handle(), WM_HELP, 0, 0), 1);
    m.MediaPlayer().OnF1HelpInvoked = [](TDerivedMovie_*, bool& passOn) { passOn = false; };
    EXPECT_EQ(SendMessage(m.Handle(), WM_HELP, 0, 0), 0);
    // OnCreate comes once the loop runs, as the control's window does.
    int created = 0;
    n.OnCreate = [&](TActiveMovie*) { ++created; };
    ASSERT_TRUE(RunUntil([&] { return created == 1; }));
}

TEST_F(AMovieTest, WithoutThePlayerConstructionRaisesTheMessage) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.MediaPlayerAvailable = false;
    try {
        TActiveMovie m;
        ADD_FAILURE() << "constructed";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  "Microsoft Windows Media Player is not installed on this platform.\r\n"
                  "It can be downloaded from https://ffmpeg.org");
    }
    const AnsiString saved = TActiveMovie::PlayerMissingMessage();
    TActiveMovie::PlayerMissingMessage().clear();
    EXPECT_NO_THROW(TActiveMovie());
    TActiveMovie::PlayerMissingMessage() = saved;
    files.MediaPlayerAvailable = true;
    files.SampleGrabberAvailable = false;
    EXPECT_FALSE(TActiveMovie().GrabberAvailable());
}

TEST_F(AMovieTest, DurationSeeksAndPositionsInBothModes) {
    TActiveMovie m;
    m.FileName = Video();
    m.AutoStart = false;
    int opened = 0;
    m.OnOpenComplete = [&](TActiveMovie*) { ++opened; };
    m.Open();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(m.OpenState(), mpOpen);
    EXPECT_DOUBLE_EQ(m.Duration(), 2.0);
    EXPECT_EQ(m.FrameCount(), 50);
    EXPECT_EQ(m.DisplayMode(), mpTime);  // as the control had it
    m.SeekTo(1.2);
    EXPECT_DOUBLE_EQ(m.CurrentPosition(), 1.2);
    m.SetDisplayMode(mpFrames);
    EXPECT_EQ(m.CurrentPosition(), 30);
    // A seek takes seconds in either mode; past the end it does nothing.
    m.SeekTo(0.4);
    EXPECT_EQ(m.CurrentPosition(), 10);
    EXPECT_EQ(m.DisplayMode(), mpFrames);
    m.SeekTo(2.5);
    EXPECT_EQ(m.CurrentPosition(), 10);
    std::unique_ptr<TBitmap32> frame;
    ASSERT_TRUE(m.CaptureFrame(frame));
    EXPECT_EQ(FrameNumber(*frame), 10);
    // The seek guard brackets each seek.
    m.SeekGuard = true;
    m.SeekTo(0.8);
    EXPECT_TRUE(m.GetControlBoolean(AMProp::SeekGuard));
}

TEST_F(AMovieTest, PlaysPausesStopsLoopsAndStopsAtTheSelectionEnd) {
    TActiveMovie m;
    m.FileName = Video();
    m.SetRate(5.0);
    std::vector<int32_t> states;
    int ends = 0;
    std::vector<double> positions;
    m.OnPlayStateChange = [&](TActiveMovie*, int32_t, int32_t s) { states.push_back(s); };
    m.OnEndOfStream = [&](TActiveMovie*) { ++ends; };
    m.OnPositionChange = [&](TActiveMovie*, double p) { positions.push_back(p); };
    m.Open();
    // AutoStart: the control starts by itself.
    ASSERT_TRUE(RunUntil([&] { return m.PlayState() == mpPlaying; }));
    EXPECT_TRUE(m.PauseIfPlaying());
    EXPECT_EQ(m.PlayState(), mpPaused);
    EXPECT_FALSE(m.PauseIfPlaying());
    m.Play();
    ASSERT_TRUE(RunUntil([&] { return ends == 1; }));
    EXPECT_EQ(m.PlayState(), mpStopped);
    ASSERT_TRUE(RunUntil([&] { return !states.empty() && states.back() == mpStopped; }));
    EXPECT_FALSE(positions.empty());
    // With Loop the end starts it again.
    m.Loop = true;
    m.Play();
    ASSERT_TRUE(RunUntil([&] { return ends == 3; }));
    m.Loop = false;
    ASSERT_TRUE(RunUntil([&] { return ends == 4; }));
    RunFor(100);
    EXPECT_EQ(m.PlayState(), mpStopped);
    m.Stop();
    EXPECT_EQ(m.CurrentPosition(), 0.0);
    // Playback stops once the position reaches the selection's end.
    m.SelectionEnd = 0.6;
    m.Play();
    ASSERT_TRUE(RunUntil([&] { return m.PlayState() == mpStopped; }));
    EXPECT_GE(m.CurrentPosition(), 0.6);
    EXPECT_LT(m.CurrentPosition(), 1.5);
    EXPECT_EQ(ends, 4);
}

TEST_F(AMovieTest, OpenedWithoutAutoStartThePlaybackPausesAsSoonAsItStarts) {
    TActiveMovie m;
    m.FileName = Video();
    m.AutoStart = false;
    m.Open();
    ASSERT_TRUE(RunUntil([&] { return m.PlayState() == mpPaused; }));
}

TEST_F(AMovieTest, ARendererImageOfSizeZeroGivesNoFrame) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    TFakeVideo v;
    v.ImageSizeZero = true;
    files.Add("zero", v);
    TActiveMovie m;
    m.FileName = "zero";
    m.AutoStart = false;
    m.Open();
    std::unique_ptr<TBitmap32> frame;
    EXPECT_FALSE(m.CaptureFrame(frame));
    EXPECT_EQ(frame, nullptr);
}

std::vector<AnsiString> FilterNames(TActiveMovie& m) {
    std::vector<AnsiString> names;
    std::vector<IBaseFilter*> filters;
    Query<IFilterGraph>(m.MediaPlayer().Control().FilterGraph())->EnumFilters(filters);
    for (IBaseFilter* f : filters) {
        AnsiString name;
        f->QueryFilterInfo(name);
        names.push_back(name);
    }
    return names;
}

// The grabber goes between the decoder filter, whose name becomes the status text, and
// the renderer; the graph runs.
TEST_F(AMovieTest, GrabberIsInsertedBeforeTheRenderer) {
    TActiveMovie m;
    m.FileName = Video();
    m.SetFGrabber_Enabled(true);
    m.Open();
    EXPECT_TRUE(m.GrabberInserted());
    EXPECT_EQ(m.GrabberStatus(), "FFmpeg Video Decoder (MPEG-4 part 2)");
    EXPECT_EQ(FilterNames(m), (std::vector<AnsiString>{"FFmpeg Video Decoder (MPEG-4 part 2)", "Video Renderer",
                                                       "Sample Grabber"}));
    EXPECT_EQ(m.PlayState(), mpPlaying);
}

// A renderer that refuses the grabber's type: the grabber goes again and the decoder
// feeds the renderer straight, as before.
TEST_F(AMovieTest, AFailedInsertionRestoresTheRendererConnection) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    TFakeVideo v;
    v.RendererTakesOnlyRgb32 = true;
    files.Add("picky", v);
    TActiveMovie m;
    m.FileName = "picky";
    m.AutoStart = false;
    m.SetFGrabber_Enabled(true);
    m.Open();
    EXPECT_FALSE(m.GrabberInserted());
    EXPECT_EQ(m.GrabberStatus(), "");
    EXPECT_EQ(FilterNames(m), (std::vector<AnsiString>{"Fake Video Decoder", "Video Renderer"}));
    std::vector<IBaseFilter*> filters;
    Query<IFilterGraph>(m.MediaPlayer().Control().FilterGraph())->EnumFilters(filters);
    std::vector<IPin*> pins;
    filters[1]->EnumPins(pins);
    IPin* from = nullptr;
    ASSERT_EQ(pins[0]->ConnectedTo(from), S_OK);
    EXPECT_EQ(from->Filter(), filters[0]);
    std::unique_ptr<TBitmap32> frame;
    EXPECT_TRUE(m.CaptureFrame(frame));  // the renderer still shows frames
}

struct TCaptureLog {
    std::vector<AnsiString> Files;
    std::vector<bool> Success;
    std::vector<int> Numbers;
};

void Record(TActiveMovie& m, TCaptureLog& log) {
    m.OnFGrabberCaptureCompleted = [&log](TActiveMovie*, TBitmap32* b, TFrameCapture_Dest, const AnsiString& f,
                                          bool ok) {
        log.Files.push_back(f);
        log.Success.push_back(ok);
        log.Numbers.push_back(b ? FrameNumber(*b) : -1);
    };
}

// Three frames, one every five, as am000001.bmp to am000003.bmp; the numbers read back
// from the files are five apart, or more where frames went by while the last one taken
// was still being written (a loaded machine): those are not counted.
TEST_F(AMovieTest, ABurstOfThreeEveryFiveFrames) {
    TempDir out;
    TActiveMovie m;
    Grabbing(m, out);
    m.SetFGrabber_BurstMode(true);
    m.SetFGrabber_BurstCount(3);
    m.SetFGrabber_BurstInterval(5);
    TCaptureLog log;
    Record(m, log);
    m.Open();
    ASSERT_TRUE(m.GrabberInserted());
    m.RequestGrabberCapture(fcBmpFile);
    ASSERT_TRUE(RunUntil([&] { return log.Files.size() == 3; }));
    RunFor(300);
    ASSERT_EQ(log.Files.size(), 3u);
    int first = -1, last = -1;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "am00000" + std::to_string(i + 1) + ".bmp";
        EXPECT_EQ(log.Files[size_t(i)], m.StoragePath + "\\" + name);
        EXPECT_TRUE(log.Success[size_t(i)]);
        const std::vector<uint8_t> bytes = ReadFileBytes(out / name);
        ASSERT_GT(bytes.size(), 30u) << name;
        EXPECT_EQ(bytes[28], 24) << "bits per pixel";
        const TBitmap32 b = ReadBmp(out / name);
        ASSERT_EQ(b.Width(), 96);
        const int n = FrameNumber(b);
        if (i == 0) first = n;
        else EXPECT_GE(n - last, 5) << name;
        last = n;
        EXPECT_EQ(n, log.Numbers[size_t(i)]);
    }
    EXPECT_GE(first, 0);
    EXPECT_FALSE(out.Exists("am000004.bmp"));
}

// Burst count 0 goes on until the grabber is disarmed (here by stopping).
TEST_F(AMovieTest, BurstCountZeroGoesOnUntilDisarmed) {
    TempDir out;
    TActiveMovie m;
    Grabbing(m, out);
    m.SetFGrabber_BurstMode(true);
    m.SetFGrabber_BurstInterval(2);
    TBitmap32 target;
    TCaptureLog log;
    Record(m, log);
    m.Open();
    m.RequestGrabberCapture(fcTBitmap, &target);
    ASSERT_TRUE(RunUntil([&] { return log.Files.size() >= 5; }));
    m.Stop();
    RunFor(100);  // frames posted before the stop still arrive
    const size_t seen = log.Files.size();
    RunFor(200);
    EXPECT_EQ(log.Files.size(), seen);
    EXPECT_EQ(target.Width(), 96);
    for (size_t i = 1; i < log.Numbers.size(); ++i) EXPECT_EQ(log.Numbers[i], log.Numbers[i - 1] + 2);
}

TEST_F(AMovieTest, JpegCapturesAndHalfSize) {
    TempDir out;
    TActiveMovie m;
    Grabbing(m, out);
    m.JPEGQuality = 95;
    TCaptureLog log;
    Record(m, log);
    m.Open();
    m.RequestGrabberCapture(fcJpegFile);
    ASSERT_TRUE(RunUntil([&] { return log.Files.size() == 1; }));
    const std::vector<uint8_t> jpeg = ReadFileBytes(out / "am000001.jpg");
    const TBitmap32 j = ReadJpegPicture(jpeg.data(), jpeg.size());
    EXPECT_EQ(j.Width(), 96);
    EXPECT_EQ(FrameNumber(j), log.Numbers[0]);

    m.CaptureSize = 50;
    m.RequestGrabberCapture(fcBmpFile);
    ASSERT_TRUE(RunUntil([&] { return log.Files.size() == 2; }));
    // One counter for both kinds of file.
    const TBitmap32 half = ReadBmp(out / "am000002.bmp");
    EXPECT_EQ(half.Width(), 48);
    EXPECT_EQ(half.Height(), 32);
    EXPECT_EQ(FrameNumber(half), log.Numbers[1]);
}

// Without the grabber in the graph the request takes the renderer's image, pausing.
TEST_F(AMovieTest, WithoutTheGrabberTheRendererImageIsTaken) {
    TActiveMovie m;
    m.FileName = Video();
    m.Open();
    ASSERT_TRUE(RunUntil([&] { return m.PlayState() == mpPlaying; }));
    TBitmap32 target;
    TCaptureLog log;
    Record(m, log);
    m.RequestGrabberCapture(fcTBitmap, &target);
    ASSERT_TRUE(RunUntil([&] { return log.Files.size() == 1; }));
    EXPECT_EQ(m.PlayState(), mpPaused);
    EXPECT_EQ(target.Width(), 96);
    EXPECT_EQ(FrameNumber(target), log.Numbers[0]);
}

TEST_F(AMovieTest, SequentialNamesGoOnFromTheHighestNumber) {
    TempDir out;
    for (const char* f : {"am000041.bmp", "am000007.bmp", "amx.bmp", "am-1.bmp", "am000099.jpg", "other000500.bmp"})
        out.Write(f);
    TActiveMovie m;
    m.StoragePath = out.Program().substr(0, out.Program().size() - 1);
    EXPECT_EQ(m.NextCaptureFileName("bmp"), m.StoragePath + "\\am000042.bmp");
    EXPECT_EQ(m.NextCaptureFileName("bmp"), m.StoragePath + "\\am000043.bmp");
    TActiveMovie fresh;
    fresh.StoragePath = m.StoragePath;
    fresh.AutoFilePrefix = "shot";
    EXPECT_EQ(fresh.NextCaptureFileName("jpg"), m.StoragePath + "\\shot000001.jpg");
    fresh.AutoFileName = fnDateTime;
    const AnsiString stamped = fresh.NextCaptureFileName("jpg");
    // shot + yymmdd_hhmmss_zzz + .jpg
    EXPECT_EQ(stamped.size(), m.StoragePath.size() + 1 + 4 + 17 + 4) << stamped;
}

// The callback's own rules: intervals below 1 and negative counts leave it as it was;
// a short buffer gives no frame; a VIDEOINFOHEADER2 has its bitmap header at 72.
TEST_F(AMovieTest, CallbackRules) {
    TSampleGrabberCB cb;
    HWND window = AllocateHWnd([](TMessage&) {});
    cb.SetWindow(window);
    TVideoInfoHeader2 info;
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biBitCount = 24;
    TAMMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo2;
    mt.Format = EncodeVideoInfoHeader2(info);
    cb.SetMediaType(mt);
    EXPECT_EQ(cb.FormatKind(), 2);
    cb.SetBurstMode(true);
    cb.SetBurstCount(2);
    cb.SetBurstInterval(3);
    cb.SetBurstInterval(0);   // ignored
    cb.SetBurstCount(-4);     // ignored
    cb.Arm();
    const uint8_t row[8] = {0, 0, 255, 255, 0, 0, 0, 0};  // red, blue, padding
    std::vector<int> taken;
    for (int frame = 0; frame < 8; ++frame) {
        cb.BufferCB(frame / 25.0, row, 8);
        if (cb.FrameBitmap()) {
            taken.push_back(frame);
            EXPECT_EQ(cb.FrameBitmap()->Pixel(0, 0), 0xFFFF0000);
            EXPECT_EQ(cb.FrameBitmap()->Pixel(1, 0), 0xFF0000FF);
            cb.Release();
        }
    }
    EXPECT_EQ(taken, (std::vector<int>{0, 3}));
    EXPECT_FALSE(cb.Armed());
    cb.Arm();
    cb.BufferCB(0, row, 5);  // shorter than the padded row
    EXPECT_EQ(cb.FrameBitmap(), nullptr);
    EXPECT_FALSE(cb.Busy());
    mt.majortype = GUID_NULL;
    cb.SetMediaType(mt);
    EXPECT_EQ(cb.FormatKind(), 0);
    DeallocateHWnd(window);
}

// Freed while a burst streams into it: the streaming thread ends first and the frames
// it posted go with the component's window.
TEST_F(AMovieTest, FreedWhileABurstStreams) {
    TempDir out;
    int completed = 0;
    {
        TActiveMovie m;
        Grabbing(m, out);
        m.SetRate(4.0);
        m.SetFGrabber_BurstMode(true);
        m.SetFGrabber_BurstInterval(1);
        m.OnFGrabberCaptureCompleted = [&](TActiveMovie*, TBitmap32*, TFrameCapture_Dest, const AnsiString&, bool) {
            ++completed;
        };
        m.Open();
        m.RequestGrabberCapture(fcBmpFile);
        ASSERT_TRUE(RunUntil([&] { return completed >= 2; }));
    }
    const int seen = completed;
    RunFor(100);
    EXPECT_EQ(completed, seen);
}

// ---- Layout ----

class AMovieLayoutTest : public AMovieTest {
protected:
    void SetUp() override {
        TFakeVideo v;  // 64 x 48
        files_.Add("v", v);
        movie_.FileName = "v";
        movie_.AutoStart = false;
        movie_.SetShowControls(false);
        movie_.Open();
    }
    TFakeVideoFiles files_;
    TInstalled<SetVideoFiles> installedFiles_{files_};
    TActiveMovie movie_;
};

TEST_F(AMovieLayoutTest, DisplaySizesCentredOrFitted) {
    struct Case {
        TDisplaySize Size;
        int W, H;
        TRect Control;
    };
    for (const Case& c : {
             Case{mpDefaultSize, 240, 200, {88, 76, 152, 124}},
             Case{mpHalfSize, 240, 200, {104, 88, 136, 112}},
             Case{mpDoubleSize, 240, 200, {56, 52, 184, 148}},
             Case{mpDoubleSize, 120, 100, {0, 5, 120, 95}},   // does not fit: fit by width
             Case{mpDefaultSize, 50, 100, {0, 31, 50, 69}},   // 64 > 50: fit by width (37.5 -> 38)
             Case{mpFitToSize, 200, 60, {60, 0, 140, 60}},   // fit by height
             Case{mpFitToSize, 240, 200, {0, 10, 240, 190}},
         }) {
        movie_.SetBounds(c.W, c.H);
        movie_.SetDisplaySize(c.Size);
        EXPECT_EQ(movie_.ControlBounds(), c.Control) << int(c.Size) << " in " << c.W << "x" << c.H;
        EXPECT_EQ(movie_.ContainerBounds(), (TRect{0, 0, c.W, c.H}));
        EXPECT_FALSE(movie_.HorzScrollBar().Visible);
        EXPECT_EQ(movie_.MediaPlayer().GetIntegerProp(MPDispId::DisplaySize), 4);
    }
}

TEST_F(AMovieLayoutTest, CustomZoomWithAndWithoutScrollBars) {
    movie_.SetDisplaySize(mpCustomSize);
    movie_.SetZoomSize(150);
    EXPECT_EQ(movie_.ControlBounds(), (TRect{72, 64, 168, 136}));
    movie_.SetZoomSize(0);  // ignored
    EXPECT_EQ(movie_.ZoomSize(), 150);

    movie_.SetZoomSize(400);  // 256 x 192 in 240 x 200: both bars
    EXPECT_TRUE(movie_.HorzScrollBar().Visible);
    EXPECT_TRUE(movie_.VertScrollBar().Visible);
    EXPECT_TRUE(movie_.CornerVisible());
    EXPECT_EQ(movie_.ContainerBounds(), (TRect{0, 0, 224, 184}));
    EXPECT_EQ(movie_.HorzScrollBar().Bounds, (TRect{0, 184, 224, 200}));
    EXPECT_EQ(movie_.VertScrollBar().Bounds, (TRect{224, 0, 240, 184}));
    EXPECT_EQ(movie_.HorzScrollBar().Max, 32);
    EXPECT_EQ(movie_.HorzScrollBar().Position, 16);
    EXPECT_EQ(movie_.VertScrollBar().Max, 8);
    EXPECT_EQ(movie_.ControlBounds(), (TRect{-16, -4, 240, 188}));
    movie_.ScrollTo(true, 32);
    EXPECT_EQ(movie_.ControlBounds().Left, -32);
    movie_.ScrollTo(false, 0);
    EXPECT_EQ(movie_.ControlBounds().Top, 0);

    // Only the horizontal excess: one bar, which takes the height it needs.
    movie_.SetZoomSize(375);  // 240 x 180 in 230 x 200
    movie_.SetBounds(230, 200);
    EXPECT_TRUE(movie_.HorzScrollBar().Visible);
    EXPECT_FALSE(movie_.VertScrollBar().Visible);
    EXPECT_EQ(movie_.ContainerBounds(), (TRect{0, 0, 230, 184}));

    // Without bars the fractions offset the video.
    movie_.SetShowScrollBars(false);
    EXPECT_FALSE(movie_.HorzScrollBar().Visible);
    EXPECT_EQ(movie_.ContainerBounds(), (TRect{0, 0, 230, 200}));
    EXPECT_EQ(movie_.ControlBounds().Left, -10);  // fraction 1.0 from the bar before
}

TEST_F(AMovieLayoutTest, ControlsAndCustomSizeExcludeEachOther) {
    TFakeMessageBoxSystem boxes;
    SetMessageBoxSystem(&boxes);
    movie_.SetDisplaySize(mpCustomSize);
    movie_.SetShowControls(true);
    EXPECT_FALSE(movie_.ShowControls());
    movie_.SetDisplaySize(mpHalfSize);
    movie_.SetShowControls(true);
    // With its own controls the control fills the component and is told the size.
    EXPECT_EQ(movie_.ControlBounds(), (TRect{0, 0, 240, 200}));
    EXPECT_EQ(movie_.MediaPlayer().GetIntegerProp(MPDispId::DisplaySize), 1);
    movie_.SetDisplaySize(mpCustomSize);
    EXPECT_EQ(movie_.DisplaySize(), mpHalfSize);
    std::vector<AnsiString> shown;
    for (const auto& box : boxes.Boxes) shown.push_back(box.first);
    SetMessageBoxSystem(nullptr);
    EXPECT_EQ(shown, (std::vector<AnsiString>{
                         "this setting is not allowed when DisplaySize = mpCustomSize. Set DisplaySize to another "
                         "value first.",
                         "this setting is not allowed when ShowControls is enabled. Disable ShowControls first."}));
    // Full screen is display size 3, written by the timer; Escape leaves it.
    int keys = 0;
    movie_.OnFullScreenKeyPress = [&](TActiveMovie*, int) { ++keys; };
    movie_.SetFullScreen(true);
    ASSERT_TRUE(RunUntil([&] { return movie_.MediaPlayer().GetIntegerProp(MPDispId::DisplaySize) == 3; }));
    SendMessage(movie_.MediaPlayer().Control().RendererWindow(), WM_KEYUP, 65, 0);
    ASSERT_TRUE(RunUntil([&] { return keys == 1; }));
    SendMessage(movie_.MediaPlayer().Control().RendererWindow(), WM_KEYUP, 27, 0);
    ASSERT_TRUE(RunUntil([&] { return movie_.MediaPlayer().GetIntegerProp(MPDispId::DisplaySize) == 1; }));
    EXPECT_FALSE(movie_.FullScreen());
    EXPECT_EQ(keys, 1);
}

TEST_F(AMovieLayoutTest, WithoutAPictureTheContainerFillsTheComponent) {
    movie_.SetVisible(false);
    EXPECT_EQ(movie_.ControlBounds(), (TRect{0, 0, 240, 200}));
    movie_.SetVisible(true);
    EXPECT_EQ(movie_.ControlBounds(), (TRect{88, 76, 152, 124}));
    TFakeVideo sound;
    sound.HasVideo = false;
    files_.Add("sound", sound);
    movie_.DisplayLogo = false;
    movie_.FileName = "sound";
    movie_.Open();
    EXPECT_EQ(movie_.ControlBounds(), (TRect{0, 0, 240, 200}));
}

}  // namespace
