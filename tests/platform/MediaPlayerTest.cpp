// The media-player stand-in on videos written at test time, and its scripted fake: the
// control's properties and events, the graph's pins and filters, the renderer's image and
// the Sample Grabber's frames on the streaming thread.
#include "platform/Clock.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageQueue.h"

#include "TestSupport.h"
#include "video_testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

class MediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        for (const char* name : {"bars.avi", "bars.mov", "bars.mpg", "bars.mpeg", "bars.wmv"}) {
            std::string error;
            ASSERT_TRUE(WriteTestVideo(*dir_ / name, 96, 64, 50, 25, &error)) << name << ": " << error;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string File(const std::string& name) { return *dir_ / name; }
    static bool RunUntil(const std::function<bool()>& done) { return RunMessagesUntil(done); }

    TFakeMessageQueue queue_;
    TInstalled<SetMessageQueue> installedQueue_{queue_};
    static TempDir* dir_;
};
TempDir* MediaPlayerTest::dir_ = nullptr;

// The renderer's image as 0xAARRGGBB pixels, read from a 32-bit BI_RGB packed DIB.
struct TImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Dib;
    uint32_t Pixel(int x, int y) const {
        const uint8_t* p = Dib.data() + 40 + size_t(Height - 1 - y) * size_t(Width) * 4 + size_t(x) * 4;
        return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    int FrameNumber() const {
        return ReadTestFrameNumber(Width, Height, [this](int x, int y) { return Pixel(x, y); });
    }
};

TImage CurrentImage(TMediaPlayer& player) {
    TImage image;
    auto* video = Query<IBasicVideo>(player.FilterGraph());
    if (!video) return image;
    int32_t size = 0;
    if (Failed(video->GetCurrentImage(size, nullptr)) || size < 40) return image;
    image.Dib.resize(size_t(size));
    if (Failed(video->GetCurrentImage(size, image.Dib.data()))) return {};
    image.Width = int32_t(GetLE32(&image.Dib[4]));
    image.Height = int32_t(GetLE32(&image.Dib[8]));
    return image;
}

// ---- Records ----

TEST(MediaRecords, VideoInfoHeadersCarryTheBitmapHeaderAt48And72) {
    TVideoInfoHeader v1;
    v1.rcSource = {1, 2, 3, 4};
    v1.AvgTimePerFrame = 400000;
    v1.bmiHeader.biWidth = 320;
    v1.bmiHeader.biHeight = 240;
    v1.bmiHeader.biBitCount = 24;
    const std::vector<uint8_t> b1 = EncodeVideoInfoHeader(v1);
    Bytes e1;
    e1.u32(1).u32(2).u32(3).u32(4).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u64(400000);
    e1.u32(40).u32(320).u32(240).u8(1).u8(0).u8(24).u8(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    EXPECT_EQ(b1, e1.vec());

    TVideoInfoHeader2 v2;
    v2.dwPictAspectRatioX = 4;
    v2.dwPictAspectRatioY = 3;
    v2.bmiHeader = v1.bmiHeader;
    const std::vector<uint8_t> b2 = EncodeVideoInfoHeader2(v2);
    ASSERT_EQ(b2.size(), 112u);
    EXPECT_EQ(GetLE32(&b2[56]), 4u);
    EXPECT_EQ(GetLE32(&b2[72 + 4]), 320u);
    TVideoInfoHeader2 back;
    ASSERT_TRUE(DecodeVideoInfoHeader2(b2, back));
    EXPECT_EQ(back.bmiHeader, v1.bmiHeader);
    EXPECT_FALSE(DecodeVideoInfoHeader(std::vector<uint8_t>(87), v1));
}

TEST(MediaRecords, GuidsAndVariants) {
    uint8_t bytes[16];
    WriteGUID(MEDIATYPE_Video, bytes);
    EXPECT_EQ(bytes[0], 'v');
    EXPECT_EQ(bytes[3], 's');
    EXPECT_EQ(ReadGUID(bytes), MEDIATYPE_Video);
    EXPECT_EQ(GUIDToString(CLSID_MediaPlayer), "{22D6F312-B0F6-11D0-94AB-0080C74C7E95}");
    EXPECT_EQ(TVariant::FromBool(true).boolVal, VARIANT_TRUE);
    EXPECT_EQ(TVariant::FromBool(true).AsInteger(), -1);
    EXPECT_EQ(TVariant::FromDouble(2.5).AsInteger(), 2);  // half to even
    EXPECT_EQ(TVariant::FromString("1.5").AsDouble(), 1.5);
    EXPECT_EQ(TVariant::FromInt(7).AsString(), "7");
    EXPECT_FALSE(TVariant{}.AsBoolean());
}

// ---- The control on real files ----

// Every open-state change up to 6 arrives before the write returns; the renderer holds
// frame 0 of each container's video, in its colours.
TEST_F(MediaPlayerTest, OpensEachContainerSynchronouslyWithFrameZeroShown) {
    for (const char* name : {"bars.avi", "bars.mov", "bars.mpg", "bars.mpeg", "bars.wmv"}) {
        SCOPED_TRACE(name);
        TMediaPlayer player;
        std::vector<int32_t> states;
        player.Events.OnOpenStateChange = [&](int32_t, int32_t s) { states.push_back(s); };
        player.SetProperty(MPDispId::FileName, TVariant::FromString(File(name)));
        EXPECT_EQ(states, (std::vector<int32_t>{mpLocating, mpConnecting, mpOpening, mpOpen}));
        EXPECT_EQ(player.GetProperty(MPDispId::OpenState).AsInteger(), mpOpen);
        EXPECT_TRUE(player.GetProperty(MPDispId::HasPicture).AsBoolean());
        EXPECT_EQ(player.GetProperty(MPDispId::PlayState).AsInteger(), mpStopped);
        int32_t w = 0, h = 0;
        ASSERT_EQ(Query<IBasicVideo>(player.FilterGraph())->GetVideoSize(w, h), S_OK);
        EXPECT_EQ(w, 96);
        EXPECT_EQ(h, 64);
        const TImage image = CurrentImage(player);
        ASSERT_EQ(image.Width, 96);
        EXPECT_EQ(image.FrameNumber(), 0);
        std::string bar;
        EXPECT_TRUE(TestBarsMatch(0, 96, 64, [&](int x, int y) { return image.Pixel(x, y); }, 24, &bar)) << bar;
    }
}

TEST_F(MediaPlayerTest, DurationAndPositionInSecondsAndFrames) {
    TMediaPlayer player;
    player.SetProperty(MPDispId::FileName, TVariant::FromString(File("bars.avi")));
    EXPECT_DOUBLE_EQ(player.GetProperty(MPDispId::Duration).AsDouble(), 2.0);
    player.SetProperty(MPDispId::DisplayMode, TVariant::FromInt(1));
    EXPECT_EQ(player.GetProperty(MPDispId::Duration).AsDouble(), 50);

    struct Case {
        int Mode;
        double Write, Seconds, Frame;
    };
    for (const Case& c : {Case{0, 1.0, 1.0, 25}, Case{1, 30, 1.2, 30}, Case{0, 0.5, 0.5, 12}, Case{1, 49, 1.96, 49},
                          Case{1, 3, 0.12, 3}}) {
        player.SetProperty(MPDispId::DisplayMode, TVariant::FromInt(c.Mode));
        player.SetProperty(MPDispId::CurrentPosition, TVariant::FromDouble(c.Write));
        player.SetProperty(MPDispId::DisplayMode, TVariant::FromInt(0));
        EXPECT_NEAR(player.GetProperty(MPDispId::CurrentPosition).AsDouble(), c.Seconds, 1e-9) << c.Write;
        player.SetProperty(MPDispId::DisplayMode, TVariant::FromInt(1));
        EXPECT_EQ(player.GetProperty(MPDispId::CurrentPosition).AsDouble(), c.Frame) << c.Write;
        // The renderer shows the frame of that position (P-frames decoded from the key frame).
        EXPECT_EQ(CurrentImage(player).FrameNumber(), int(c.Frame)) << c.Write;
    }
}

TEST_F(MediaPlayerTest, PlaysPausesStopsAndReportsTheEnd) {
    TMediaPlayer player;
    std::vector<int32_t> states;
    int ends = 0;
    player.Events.OnPlayStateChange = [&](int32_t, int32_t s) { states.push_back(s); };
    player.Events.OnEndOfStream = [&](int32_t) { ++ends; };
    player.SetProperty(MPDispId::Rate, TVariant::FromDouble(4.0));
    player.SetProperty(MPDispId::FileName, TVariant::FromString(File("bars.avi")));
    // The control starts by itself once the loop runs, as its own AutoStart does.
    ASSERT_TRUE(RunUntil([&] { return !states.empty(); }));
    EXPECT_EQ(player.GetProperty(MPDispId::PlayState).AsInteger(), mpPlaying);
    ASSERT_TRUE(RunUntil([&] { return player.GetProperty(MPDispId::CurrentPosition).AsDouble() > 0.2; }));
    EXPECT_EQ(player.Pause(), S_OK);
    const double paused = player.GetProperty(MPDispId::CurrentPosition).AsDouble();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.GetProperty(MPDispId::CurrentPosition).AsDouble(), paused);
    EXPECT_EQ(CurrentImage(player).FrameNumber(), int(std::lround(paused * 25)));
    player.Play();
    ASSERT_TRUE(RunUntil([&] { return ends == 1; }));
    EXPECT_EQ(player.GetProperty(MPDispId::PlayState).AsInteger(), mpStopped);
    EXPECT_DOUBLE_EQ(player.GetProperty(MPDispId::CurrentPosition).AsDouble(), 2.0);
    EXPECT_EQ(CurrentImage(player).FrameNumber(), 49);
    EXPECT_EQ(states, (std::vector<int32_t>{mpPlaying, mpPaused, mpPlaying, mpStopped}));
    // Played to the end, it starts over; Stop keeps the position.
    player.Play();
    ASSERT_TRUE(RunUntil([&] { return player.GetProperty(MPDispId::CurrentPosition).AsDouble() < 1.0; }));
    player.Stop();
    EXPECT_EQ(player.GetProperty(MPDispId::PlayState).AsInteger(), mpStopped);
    EXPECT_LT(player.GetProperty(MPDispId::CurrentPosition).AsDouble(), 2.0);
}

TEST_F(MediaPlayerTest, FilesThatDoNotOpenLeaveTheControlClosed) {
    TempDir t;
    t.Write("empty.avi", "");
    const std::vector<uint8_t> whole = ReadFileBytes(File("bars.avi"));
    WriteFileBytes(t / "cut.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + 200));
    t.Write("text.mpg", "this is no video at all, just some words in a file");
    for (const std::string& f : {t / "missing.avi", t / "empty.avi", t / "cut.avi", t / "text.mpg"}) {
        SCOPED_TRACE(f);
        TMediaPlayer player;
        int errors = 0;
        player.Events.OnError = [&] { ++errors; };
        player.SetProperty(MPDispId::FileName, TVariant::FromString(f));
        const bool open = player.GetProperty(MPDispId::OpenState).AsInteger() == mpOpen;
        // A file that opens at all must still have no picture to give.
        if (open) EXPECT_TRUE(CurrentImage(player).Dib.empty());
        else EXPECT_EQ(errors, 1);
        EXPECT_EQ(player.GetProperty(MPDispId::ReadyState).AsInteger(), mpReadyStateComplete);
    }
}

// ---- The graph ----

struct TFrameLog : public ISampleGrabberCB {
    HRESULT SampleCB(double, const uint8_t*, int32_t) override { return S_OK; }
    HRESULT BufferCB(double time, const uint8_t* buffer, int32_t length) override {
        std::lock_guard lock(Lock);
        Times.push_back(time);
        Lengths.push_back(length);
        Threads.push_back(std::this_thread::get_id());
        // The frame number from the bottom-up RGB24 rows, padded to words.
        const int w = 64, h = 48, stride = (w * 3 + 3) / 4 * 4;
        Numbers.push_back(ReadTestFrameNumber(w, h, [&](int x, int y) {
            const uint8_t* p = buffer + size_t(h - 1 - y) * stride + size_t(x) * 3;
            return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }));
        return S_OK;
    }
    std::mutex Lock;
    std::vector<double> Times;
    std::vector<int32_t> Lengths;
    std::vector<int> Numbers;
    std::vector<std::thread::id> Threads;
};

// The decoder's frames painted with their numbers, as the test videos carry them.
TFakeVideo NumberedFake(int frames) {
    TFakeVideo v;
    v.FrameCount = frames;
    v.Paint = [](int n, uint8_t* px, int w, int h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = TestVideoColor(n, x, y, w, h);
                uint8_t* p = px + (size_t(y) * size_t(w) + size_t(x)) * 4;
                p[0] = uint8_t(c);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c >> 16);
            }
    };
    return v;
}

IPin* PinOf(IBaseFilter* filter, TPinDirection dir) {
    std::vector<IPin*> pins;
    filter->EnumPins(pins);
    for (IPin* p : pins) {
        TPinDirection d;
        p->QueryDirection(d);
        if (d == dir) return p;
    }
    return nullptr;
}

// The component's insertion, step by step: the renderer found by its one connected video
// input, a grabber put before it in RGB24, each frame on the streaming thread in order.
TEST_F(MediaPlayerTest, GrabberBetweenDecoderAndRendererGetsEveryFrameOnTheStreamingThread) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.Add("numbers", NumberedFake(20));
    TMediaPlayer player;
    player.SetProperty(MPDispId::Rate, TVariant::FromDouble(8.0));
    player.SetProperty(MPDispId::FileName, TVariant::FromString("numbers"));
    auto* builder = Query<IGraphBuilder>(player.FilterGraph());
    auto* control = Query<IMediaControl>(player.FilterGraph());
    ASSERT_TRUE(builder && control);
    std::vector<IBaseFilter*> filters;
    builder->EnumFilters(filters);
    ASSERT_EQ(filters.size(), 2u);
    AnsiString name;
    filters[0]->QueryFilterInfo(name);
    EXPECT_EQ(name, "Fake Video Decoder");
    IPin* rendererIn = PinOf(filters[1], PINDIR_INPUT);
    IPin* upstream = nullptr;
    ASSERT_EQ(rendererIn->ConnectedTo(upstream), S_OK);
    EXPECT_EQ(upstream->Filter(), filters[0]);
    TAMMediaType mt;
    ASSERT_EQ(rendererIn->ConnectionMediaType(mt), S_OK);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);

    std::shared_ptr<ISampleGrabber> grabber;
    ASSERT_EQ(CreateSampleGrabber(grabber), S_OK);
    auto grabberFilter = std::dynamic_pointer_cast<IBaseFilter>(grabber);
    ASSERT_TRUE(grabberFilter);
    TFrameLog log;
    grabber->SetBufferSamples(false);
    grabber->SetOneShot(false);
    grabber->SetCallback(&log, 1);
    TAMMediaType want;
    want.majortype = MEDIATYPE_Video;
    want.subtype = MEDIASUBTYPE_RGB24;
    want.formattype = FORMAT_VideoInfo;
    grabber->SetMediaType(want);
    EXPECT_EQ(grabber->GetConnectedMediaType(mt), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(builder->Connect(upstream, PinOf(grabberFilter.get(), PINDIR_INPUT)), VFW_E_NOT_IN_GRAPH);
    ASSERT_EQ(builder->AddFilter(grabberFilter, "Sample Grabber"), S_OK);
    EXPECT_EQ(builder->Connect(upstream, PinOf(grabberFilter.get(), PINDIR_INPUT)), VFW_E_ALREADY_CONNECTED);
    upstream->Disconnect();
    rendererIn->Disconnect();
    ASSERT_EQ(builder->Connect(upstream, PinOf(grabberFilter.get(), PINDIR_INPUT)), S_OK);
    ASSERT_EQ(builder->Connect(PinOf(grabberFilter.get(), PINDIR_OUTPUT), rendererIn), S_OK);
    ASSERT_EQ(grabber->GetConnectedMediaType(mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    TVideoInfoHeader info;
    ASSERT_TRUE(DecodeVideoInfoHeader(mt.Format, info));
    EXPECT_EQ(info.bmiHeader.biBitCount, 24);
    EXPECT_EQ(info.bmiHeader.biWidth, 64);

    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(upstream->Disconnect(), VFW_E_NOT_STOPPED);
    int ends = 0;
    player.Events.OnEndOfStream = [&](int32_t) { ++ends; };
    ASSERT_TRUE(RunUntil([&] { return ends == 1; }));
    grabber->SetCallback(nullptr, 1);
    std::lock_guard lock(log.Lock);
    ASSERT_EQ(log.Numbers.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(log.Numbers[size_t(i)], i);
        EXPECT_DOUBLE_EQ(log.Times[size_t(i)], i / 25.0);
        EXPECT_EQ(log.Lengths[size_t(i)], 64 * 3 * 48);
        EXPECT_NE(log.Threads[size_t(i)], std::this_thread::get_id());
    }
    // The renderer got the frames through the grabber.
    EXPECT_EQ(CurrentImage(player).FrameNumber(), 19);
}

// Frames come at the rate in real time: 10 frames at 25 fps and rate 2 take 0.2 s less
// one frame interval at least.
TEST_F(MediaPlayerTest, FramesArePacedAtTheRate) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.Add("ten", NumberedFake(10));
    TMediaPlayer player;
    player.SetProperty(MPDispId::Rate, TVariant::FromDouble(2.0));
    player.SetProperty(MPDispId::FileName, TVariant::FromString("ten"));
    int ends = 0;
    player.Events.OnEndOfStream = [&](int32_t) { ++ends; };
    const auto t0 = std::chrono::steady_clock::now();
    player.Play();
    ASSERT_TRUE(RunUntil([&] { return ends == 1; }));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(took, 9 * 0.04 / 2 - 0.005);
}

TEST_F(MediaPlayerTest, RendererImageFormatsOnTheTestSwitch) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.Add("v", NumberedFake(1));
    TMediaPlayer player;
    player.SetProperty(MPDispId::FileName, TVariant::FromString("v"));
    auto* video = Query<IBasicVideo>(player.FilterGraph());
    struct Case {
        TRendererImageFormat Format;
        uint16_t Bits;
        uint32_t Compression;
        int32_t Size;
    };
    const int stride24 = 64 * 3, stride16 = 64 * 2;
    for (const Case& c : {Case{TRendererImageFormat::Rgb32, 32, BI_RGB, 40 + 64 * 4 * 48},
                          Case{TRendererImageFormat::Rgb24, 24, BI_RGB, 40 + stride24 * 48},
                          Case{TRendererImageFormat::Bitfields565, 16, BI_BITFIELDS, 40 + 12 + stride16 * 48},
                          Case{TRendererImageFormat::Bitfields32, 32, BI_BITFIELDS, 40 + 12 + 64 * 4 * 48},
                          Case{TRendererImageFormat::Palette8, 8, BI_RGB, 40 + 1024 + 64 * 48}}) {
        files.RendererImageFormat = c.Format;
        int32_t size = 0;
        ASSERT_EQ(video->GetCurrentImage(size, nullptr), S_OK);
        EXPECT_EQ(size, c.Size);
        std::vector<uint8_t> dib(static_cast<size_t>(size));
        int32_t tooSmall = size - 1;
        EXPECT_EQ(video->GetCurrentImage(tooSmall, dib.data()), E_OUTOFMEMORY);
        ASSERT_EQ(video->GetCurrentImage(size, dib.data()), S_OK);
        EXPECT_EQ(GetLE16(&dib[14]), c.Bits);
        EXPECT_EQ(GetLE32(&dib[16]), c.Compression);
        EXPECT_EQ(GetLE32(&dib[32]), 0u);  // biClrUsed 0: a full table at 8 bits
    }
}

TEST_F(MediaPlayerTest, ScriptedFailures) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    TFakeVideo zero = NumberedFake(5);
    zero.ImageSizeZero = true;
    files.Add("zero", zero);
    TFakeVideo fails = NumberedFake(5);
    fails.OpenFails = true;
    files.Add("fails", fails);
    TFakeVideo uncounted = NumberedFake(50);
    uncounted.CanCountFrames = false;
    files.Add("uncounted", uncounted);

    TMediaPlayer player;
    player.SetProperty(MPDispId::FileName, TVariant::FromString("zero"));
    int32_t size = -1;
    EXPECT_EQ(Query<IBasicVideo>(player.FilterGraph())->GetCurrentImage(size, nullptr), S_OK);
    EXPECT_EQ(size, 0);

    player.SetProperty(MPDispId::FileName, TVariant::FromString("fails"));
    EXPECT_EQ(player.GetProperty(MPDispId::OpenState).AsInteger(), mpClosed);
    EXPECT_EQ(player.FilterGraph(), nullptr);

    // Without a frame count both display modes read the same.
    player.SetProperty(MPDispId::FileName, TVariant::FromString("uncounted"));
    player.SetProperty(MPDispId::DisplayMode, TVariant::FromInt(1));
    EXPECT_DOUBLE_EQ(player.GetProperty(MPDispId::Duration).AsDouble(), 2.0);

    files.SampleGrabberAvailable = false;
    std::shared_ptr<ISampleGrabber> grabber;
    EXPECT_EQ(CreateSampleGrabber(grabber), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(grabber);
    files.SampleGrabberAvailable = true;
    files.MediaPlayerAvailable = false;
    EXPECT_FALSE(TMediaPlayer::Available());
    files.MediaPlayerAvailable = true;
    EXPECT_TRUE(TMediaPlayer::Available());
}

TEST_F(MediaPlayerTest, OtherIdsAreStored) {
    TMediaPlayer player;
    EXPECT_TRUE(player.GetProperty(MPDispId::ShowControls).AsBoolean());
    player.SetProperty(1102, TVariant::FromInt(0x123456));
    player.SetProperty(MPDispId::DisplaySize, TVariant::FromInt(3));
    EXPECT_EQ(player.GetProperty(1102).AsInteger(), 0x123456);
    EXPECT_EQ(player.GetProperty(MPDispId::DisplaySize).AsInteger(), 3);
    EXPECT_EQ(player.GetProperty(1099).vt, VT_EMPTY);
    EXPECT_EQ(player.SetProperty(MPDispId::OpenState, TVariant::FromInt(6)), E_FAIL);
    EXPECT_EQ(player.SetProperty(MPDispId::Rate, TVariant::FromDouble(0)), E_INVALIDARG);
}

// Freed while frames stream into a callback: the streaming thread has ended and nothing
// queued reaches the freed control.
TEST_F(MediaPlayerTest, FreedWhileStreaming) {
    TFakeVideoFiles files;
    TInstalled<SetVideoFiles> installedFiles(files);
    files.Add("long", NumberedFake(500));
    TFrameLog log;
    {
        TMediaPlayer player;
        player.SetProperty(MPDispId::Rate, TVariant::FromDouble(10.0));
        player.SetProperty(MPDispId::FileName, TVariant::FromString("long"));
        auto* builder = Query<IGraphBuilder>(player.FilterGraph());
        std::vector<IBaseFilter*> filters;
        builder->EnumFilters(filters);
        IPin* in = PinOf(filters[1], PINDIR_INPUT);
        IPin* out = nullptr;
        in->ConnectedTo(out);
        in->Disconnect();
        out->Disconnect();
        std::shared_ptr<ISampleGrabber> grabber;
        CreateSampleGrabber(grabber);
        auto f = std::dynamic_pointer_cast<IBaseFilter>(grabber);
        builder->AddFilter(f, "Sample Grabber");
        grabber->SetCallback(&log, 1);
        ASSERT_EQ(builder->Connect(out, PinOf(f.get(), PINDIR_INPUT)), S_OK);
        player.Play();
        ASSERT_TRUE(RunUntil([&] {
            std::lock_guard lock(log.Lock);
            return log.Numbers.size() >= 3;
        }));
    }
    std::lock_guard lock(log.Lock);
    const size_t seen = log.Numbers.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(log.Numbers.size(), seen);
    TMessage m;
    while (PeekMessage(m)) DispatchMessage(m);
}

}  // namespace
