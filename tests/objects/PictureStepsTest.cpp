// Preparing picture items step by step through a fake player: the steps and their
// estimates, what the benchmark records, loading failures, reduced decoding, and the
// deciphering branch.
#include "PictureTestSupport.h"

#include "document/SlideShow.h"
#include "foundation/FileResolver.h"
#include "foundation/StopWatch.h"
#include "platform/DebugOutput.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

TColor32 Gradient(int x, int y, int w, int h) {
    return Color32(uint8_t(x * 255 / std::max(w - 1, 1)), uint8_t(y * 255 / std::max(h - 1, 1)), 96);
}

class PictureStepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        player.MakeBackBuffer(320, 240);
    }

    std::string WriteJpeg(const std::string& name, int w, int h) {
        const std::string path = dir / name;
        WriteFileBytes(path, EncodeJpeg(w, h, [&](int x, int y) { return Gradient(x, y, w, h); }));
        return path;
    }

    // The steps of the item's next stage, by step number.
    static std::vector<int> StepsOf(IPlayable& p) {
        std::vector<int> steps;
        TSlideShowObjectInitializationList* list = p.GetInitializationList();
        for (int i = 0; list && i < list->Count(); ++i) steps.push_back(list->GetItem(i)->Step);
        return steps;
    }
    int32_t Estimate(IPlayable& p, int step) {
        TSlideShowObjectInitializationList* list = p.GetInitializationList();
        for (int i = 0; list && i < list->Count(); ++i)
            if (list->GetItem(i)->Step == step) return list->GetItem(i)->EstimatedTime;
        return -1;
    }
    bool Recorded(const char* name) { return player.Bench.FindList(name) != nullptr; }

    TempDir dir;
    TFakeDrawingPlayer player;
};

TEST_F(PictureStepsTest, StepsAndTheirDefaultEstimates) {
    TPicSlideShowObject still;
    TExtPicSlideShowObject effects;
    still.BeginInitializationStep(&player, -3);
    effects.BeginInitializationStep(&player, -3);
    EXPECT_EQ(StepsOf(still), (std::vector<int>{1, 2, 10}));
    EXPECT_EQ(StepsOf(effects), (std::vector<int>{1, 2, 10, 11}));
    EXPECT_EQ(Estimate(effects, 1), 500);
    EXPECT_EQ(Estimate(effects, 2), 50);
    EXPECT_EQ(Estimate(effects, 10), 500);
    EXPECT_EQ(Estimate(effects, 11), 20);
    // One stage at a time.
    effects.BeginInitializationStep(&player, 2);
    EXPECT_EQ(StepsOf(effects), (std::vector<int>{2}));
    effects.BeginInitializationStep(&player, 0);
    EXPECT_TRUE(StepsOf(effects).empty());
}

TEST_F(PictureStepsTest, AJpegPreparedStepByStepRecordsEveryStep) {
    TExtPicSlideShowObject item;
    item.FileName = WriteJpeg("bild.jpg", 64, 48);
    item.InitializeAll(&player);
    ASSERT_TRUE(item.IsInitialized());
    ASSERT_NE(item.Bitmap, nullptr);
    // Fitted with the background fill: the whole paint box.
    EXPECT_EQ(item.Bitmap->Width(), 320);
    EXPECT_EQ(item.Bitmap->Height(), 240);
    EXPECT_EQ(item.Picture, nullptr);
    for (const char* name : {"LoadFile", "Pic2Bmp", "Scale", "iTransition"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Recorded(name));
    }
    EXPECT_EQ(player.Bench.FindList("LoadFile")->Items(0).GetKey(), int64_t(std::filesystem::file_size(item.FileName)));
    EXPECT_EQ(player.Bench.FindList("Pic2Bmp")->Items(0).GetKey(), 64 * 48);
    // Estimates now come from what was measured.
    player.Bench.Add("iTransition", [] {
        auto v = TIntegerBenchmarkValue::CreateValue(0);
        v->SetTime(77);
        return v;
    }());
    item.BeginInitializationStep(&player, -3);
    EXPECT_EQ(Estimate(item, 11), 77);
    // Reset lets go of everything prepared.
    item.Reset();
    EXPECT_EQ(item.Bitmap, nullptr);
    EXPECT_EQ(item.PlayHelper, nullptr);
    EXPECT_FALSE(item.IsInitialized());
}

// Counts the look-ups of one name and answers them as the default resolver does.
class TCountingResolver : public IFileResolver {
public:
    AnsiString Resolve(const AnsiString& name, const AnsiString& baseFile) const override {
        if (name == Counted) ++Count;
        return Files.Resolve(name, baseFile);
    }
    AnsiString OpenableName(const AnsiString& stored, const AnsiString& found) const override {
        return Files.OpenableName(stored, found);
    }
    TFileResolver Files;
    AnsiString Counted;
    mutable int Count = 0;
};

// The file a picture's load step reads is looked up once for the step, however many of
// its parts (the estimate, whether it may be read aside, the read) need the name.
TEST_F(PictureStepsTest, TheLoadStepLooksItsFileUpOnce) {
    const struct {
        const char* Name;
        bool Effects;
        bool Exists;
    } cases[] = {{"still", false, true}, {"effects", true, true}, {"missing", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSlideShow show;
        TCountingResolver files;
        show.SetFileResolver(&files);
        const AnsiString file = AnsiString(c.Exists ? WriteJpeg("bild.jpg", 16, 12) : dir / "weg.jpg");
        TSlideShowObject* object = nullptr;
        if (c.Effects) {
            auto* item = new TExtPicSlideShowObject();
            item->FileName = file;
            object = item;
        } else {
            auto* item = new TPicSlideShowObject();
            item->FileName = file;
            object = item;
        }
        show.RootList().Add(object);
        files.Counted = file;
        IPlayable& playable = *::Supports<IPlayable>(object);
        playable.BeginInitializationStep(&player, -3);
        EXPECT_TRUE(playable.ExecuteInitializationStep(&player, 1) || !c.Exists);
        EXPECT_EQ(files.Count, 1);
    }
}

TEST_F(PictureStepsTest, BrokenPicturesFailTheirStepWithoutThrowing) {
    WriteFileBytes(dir / "leer.jpg", {});
    std::vector<uint8_t> jpg = EncodeJpeg(64, 48, [](int x, int y) { return Gradient(x, y, 64, 48); });
    jpg.resize(jpg.size() / 2);
    WriteFileBytes(dir / "halb.jpg", jpg);
    // A PNG whose header says 0 x 0.
    std::vector<uint8_t> png = EncodePng(1, 1, [](int, int) { return clWhite32; });
    for (int i = 16; i < 24; ++i) png[size_t(i)] = 0;
    WriteFileBytes(dir / "null.png", png);
    WriteFileBytes(dir / "text.jpg", std::vector<uint8_t>(100, 'x'));
    for (const std::string name : {"fehlt.jpg", "leer.jpg", "halb.jpg", "null.png", "text.jpg", "bild.xyz"}) {
        SCOPED_TRACE(name);
        TExtPicSlideShowObject item;
        item.FileName = dir / name;
        player.Bench = TBenchmark();
        item.BeginInitializationStep(&player, 1);
        TFakeDebugOutput debug;
        SetDebugOutput(&debug);
        EXPECT_FALSE(item.ExecuteInitializationStep(&player, 1));
        SetDebugOutput(nullptr);
        EXPECT_EQ(item.LoadFailed, 1);
        EXPECT_EQ(item.Picture, nullptr);
        // The debug output names the file: a show of missing pictures does not play black
        // without a word.
        const std::string said = std::string(name == "fehlt.jpg" || name == "bild.xyz" ? "Picture not found" : "Picture not read") +
                                 ": \"" + (dir / name) + "\"";
        ASSERT_EQ(debug.Lines.size(), 1u);
        EXPECT_EQ(debug.Lines[0].rfind(said, 0), 0u) << debug.Lines[0];
        // The later steps have nothing to work on and fail too.
        EXPECT_FALSE(item.ExecuteInitializationStep(&player, 2));
        EXPECT_FALSE(item.ExecuteInitializationStep(&player, 10));
        EXPECT_FALSE(item.ExecuteInitializationStep(&player, 11));
        EXPECT_EQ(player.Bench.Count(), 0);
        // The item still counts as prepared for drawing elsewhere: the placeholder shows.
        TBitmap32 target(100, 80);
        EXPECT_TRUE(item.Prepare(target));
        EXPECT_TRUE(item.IsPrepared());
    }
}

TEST_F(PictureStepsTest, ReducedDecodingPlacesAndLooksLikeTheFullPicture) {
    const std::string file = WriteJpeg("gross.jpg", 4001, 3001);
    player.MakeBackBuffer(1000, 700);
    // Reduced: through the steps, which know the paint box.
    TExtPicSlideShowObject reduced;
    reduced.FileName = file;
    reduced.FillBackground = false;
    reduced.CreatePlayHelper();
    ASSERT_TRUE(reduced.ExecuteInitializationStep(&player, 1));
    ASSERT_NE(reduced.Picture, nullptr);
    EXPECT_EQ(reduced.Picture->Width(), 1001);  // a quarter, rounded up
    EXPECT_EQ(reduced.FullPictureSize, (TSize{4001, 3001}));
    ASSERT_TRUE(reduced.ExecuteInitializationStep(&player, 2));
    ASSERT_TRUE(reduced.ExecuteInitializationStep(&player, 10));
    // Full: the same operations without the paint box's size.
    TExtPicSlideShowObject full;
    full.FileName = file;
    full.FillBackground = false;
    full.CreatePlayHelper();
    ASSERT_TRUE(full.LoadPicture(file, false, full.Picture));
    EXPECT_EQ(full.Picture->Width(), 4001);
    ASSERT_TRUE(full.PictureToBitmap(full.Picture, true, full.Bitmap));
    ASSERT_TRUE(full.FitBitmapToRect(player.ClientRect, ShowPropertiesOf(nullptr).GetStretchFilter(), false, full.Bitmap));

    ASSERT_EQ(reduced.Bitmap->Width(), full.Bitmap->Width());
    ASSERT_EQ(reduced.Bitmap->Height(), full.Bitmap->Height());
    TBitmap32 a(1000, 700), b(1000, 700);
    reduced.DrawTo(a, false);
    full.DrawTo(b, false);
    int64_t diff[3] = {0, 0, 0};
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 1000; ++x) {
            const TColor32 p = a.Pixel(x, y), q = b.Pixel(x, y);
            diff[0] += std::abs(RedComponent(p) - RedComponent(q));
            diff[1] += std::abs(GreenComponent(p) - GreenComponent(q));
            diff[2] += std::abs(BlueComponent(p) - BlueComponent(q));
        }
    for (int64_t d : diff) EXPECT_LE(double(d) / (1000.0 * 700.0), 2.0);
    // Not reduced without Stretch: the natural size needs every pixel.
    TExtPicSlideShowObject natural;
    natural.FileName = file;
    natural.Stretch = false;
    ASSERT_TRUE(natural.ExecuteInitializationStep(&player, 1));
    EXPECT_EQ(natural.Picture->Width(), 4001);
    EXPECT_EQ(natural.FullPictureSize, (TSize{}));
}

// A package whose items are all enciphered: the stored name's extension picks the reader.
class TFakeDecipher : public IPictureDecipher {
public:
    bool IsEnciphered(const AnsiString&) override { return true; }
    AnsiString GetStoredFileName(const AnsiString&) override { return StoredName; }
    std::unique_ptr<TStream> OpenPicture(const AnsiString&) override { return std::make_unique<TMemoryStream>(Bytes); }
    AnsiString StoredName;
    std::vector<uint8_t> Bytes;
};

TEST_F(PictureStepsTest, EncipheredPicturesReadThroughTheDecipher) {
    TFakeDecipher decipher;
    decipher.Bytes = EncodePng(6, 4, [](int, int) { return Color32(1, 2, 3, 128); });
    SetPictureDecipher(&decipher);
    const std::string packaged = dir / "item.dat";  // the file must exist to be resolved
    WriteFileBytes(packaged, {1, 2, 3});
    TExtPicSlideShowObject item;
    std::unique_ptr<TBitmap32> picture;
    decipher.StoredName = "Bilder\\blume.png";
    EXPECT_TRUE(item.LoadPicture(packaged, false, picture));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 6);
    EXPECT_EQ(picture->Pixel(0, 0), Color32(1, 2, 3, 128));
    // An extension no reader knows: "Falsches Dateiformat", a load failure.
    decipher.StoredName = "Bilder\\blume.xyz";
    EXPECT_FALSE(item.LoadPicture(packaged, false, picture));
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(item.LoadFailed, 1);
    SetPictureDecipher(nullptr);
    EXPECT_FALSE(PictureDecipher().IsEnciphered(packaged));
    try {
        TMemoryStream s(decipher.Bytes);
        LoadPictureFromStream(s, "blume.xyz");
        ADD_FAILURE();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Falsches Dateiformat: blume.xyz");
    }
}

TEST_F(PictureStepsTest, LoadingHoldsThePictureLock) {
    TExtPicSlideShowObject item;
    item.FileName = WriteJpeg("bild.jpg", 32, 32);
    std::unique_ptr<TBitmap32> picture;
    {
        std::unique_lock held(PictureLock());
        std::thread loader([&] { item.LoadPicture(item.FileName, false, picture); });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(picture, nullptr);  // waiting for the lock
        held.unlock();
        loader.join();
    }
    EXPECT_NE(picture, nullptr);
}

}  // namespace
