// A show of picture items played end to end by the off-screen host on the driven clock:
// four solid-colour JPEGs revealed by the cross-fade.
#include "PlayerTestSupport.h"

#include "playback/PaintBoxPlacement.h"
#include "transitions/PicTransitions.h"

#include <cmath>
#include <cstdlib>

namespace {

TBitmap32 ToBitmap(const TImage32& image) {
    TBitmap32 b;
    b.SetSize(image.Width, image.Height);
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) b.SetPixel(x, y, image.Pixel(x, y));
    return b;
}

// Every pixel within tolerance of the colour; the first that is not, else -1.
int FirstOffPixel(const TImage32& image, TColor32 color, int tolerance) {
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        const TColor32 p = image.Pixels[i];
        for (int shift : {16, 8, 0})
            if (std::abs(int((p >> shift) & 0xFF) - int((color >> shift) & 0xFF)) > tolerance)
                return static_cast<int>(i);
        if ((p >> 24) != 0xFF) return static_cast<int>(i);
    }
    return -1;
}

// The new picture drawn at alpha a over the old one.
TColor32 Mix(TColor32 oldColor, TColor32 newColor, uint32_t a) {
    auto channel = [&](int shift) {
        const uint32_t o = (oldColor >> shift) & 0xFF, n = (newColor >> shift) & 0xFF;
        return uint32_t(std::lround((n * a + o * (255 - a)) / 255.0));
    };
    return 0xFF000000u | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

struct EndToEndTest : ::testing::Test {
    static constexpr int kWidth = 160, kHeight = 120;
    TempDir Dir;
    TPlayerRig Rig{nullptr, kWidth, kHeight};
    std::vector<TExtPicSlideShowObject*> Items;
    std::vector<TColor32> Colors;  // as each picture decodes

    void Build(int32_t duration) {
        PlayerTestPlugins();
        Rig.Settings().PreloadTime = 0;
        const TColor32 wanted[] = {0xFFE02020, 0xFF20C040, 0xFF3050E0, 0xFFF0D010};
        for (int i = 0; i < 4; ++i) {
            const std::string name = "picture" + std::to_string(i) + ".jpg";
            WriteFileBytes(Dir / name, EncodeJpeg(kWidth, kHeight, [&](int, int) { return wanted[i]; }));
            auto* item = new TExtPicSlideShowObject();
            item->SetFileName(AnsiString(Dir.Program()) + name);
            item->SetDuration(duration);
            auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
            fade->Duration = 1000;
            item->Transition = std::move(fade);
            Rig.Show.RootList().Add(item);
            Items.push_back(item);
        }
    }
    // The picture's colour as it was decoded and fitted.
    TColor32 ColorOf(int i) {
        if (Colors.empty()) Colors.assign(Items.size(), 0);
        if (!Colors[i]) {
            TExtPicSlideShowObject* item = Items[i];
            EXPECT_NE(item->Bitmap, nullptr) << i;
            if (item->Bitmap) Colors[i] = item->Bitmap->Pixel(kWidth / 2, kHeight / 2) | 0xFF000000u;
        }
        return Colors[i];
    }
    void Save(const std::string& name) { SavePng(ToBitmap(Rig.Host.ClientImage()), "e2e_" + name + ".png"); }
    void RunTo(int32_t showTime) { Rig.Host.RunFor(showTime - Rig.Player->GetCurrentPlayTime()); }
};

TEST_F(EndToEndTest, StillPhasesShowEachPictureExactlyAndTheFadeMixesThem) {
    Build(3000);
    Rig.Host.Play(&Rig.Show);
    for (int i = 0; i < 4; ++i) {
        const int32_t start = i * 3000;
        RunTo(start + 500);
        ASSERT_EQ(Rig.Player->GetPlayTime(), start + 500);
        const TColor32 before = i == 0 ? clBlack32 : ColorOf(i - 1);
        const TColor32 mid = Mix(before, ColorOf(i), 127);
        EXPECT_EQ(FirstOffPixel(Rig.Host.ClientImage(), mid, 1), -1) << i;
        Save(std::to_string(i) + "_fade");
        RunTo(start + 2000);
        EXPECT_EQ(FirstOffPixel(Rig.Host.ClientImage(), ColorOf(i), 0), -1) << i;
        Save(std::to_string(i) + "_still");
    }
    // Over the end the show starts again with its first picture.
    RunTo(12000);
    Rig.Host.RunFor(2500);
    EXPECT_EQ(Rig.Player->Restarts, 1);
    EXPECT_EQ(FirstOffPixel(Rig.Host.ClientImage(), ColorOf(0), 0), -1);
}

TEST_F(EndToEndTest, AStartAt30sShowsTheObjectDueThereFirst) {
    Build(10000);
    Rig.Host.PlayFromTime(&Rig.Show, 30000);
    Rig.Host.Tick();
    ASSERT_EQ(Rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(Rig.Player->PlayingObjects[0], Items[3]);
    Rig.Host.RunFor(1500);
    EXPECT_EQ(FirstOffPixel(Rig.Host.ClientImage(), ColorOf(3), 0), -1);
    Save("start30");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Items[i]->Bitmap, nullptr) << i;
}

}  // namespace

namespace {

// ---- the host ----

TEST(PaintBoxPlacement, TheShowsAspectIsFittedAndCentredAndNoAspectFillsTheClient) {
    struct TCase {
        int32_t AspectX, AspectY;
        TRect Client, Box;
    };
    for (const TCase& c : {TCase{4, 3, {0, 0, 800, 600}, {0, 0, 800, 600}},
                           TCase{4, 3, {0, 0, 1280, 1024}, {0, 32, 1280, 992}},
                           TCase{16, 9, {0, 0, 400, 400}, {0, 87, 400, 312}},
                           TCase{0, 3, {0, 0, 640, 480}, {0, 0, 640, 480}},
                           TCase{4, -1, {0, 0, 640, 480}, {0, 0, 640, 480}}})
        EXPECT_EQ(PaintBoxPlacement(c.AspectX, c.AspectY, c.Client), c.Box) << c.AspectX << ":" << c.AspectY;
}

TEST(OffscreenHost, ThePaintBoxSitsWhereTheWindowPutsItAndTheRestOfTheClientStaysBlack) {
    TPlayerRig rig(nullptr, 80, 80);
    rig.Add(1000, kGreen32);
    rig.Host.Play(&rig.Show);
    EXPECT_EQ(rig.Host.PaintBox().BoundsRect(), (TRect{0, 10, 80, 70}));
    EXPECT_EQ(rig.Player->GetClientRect(), (TRect{0, 0, 80, 60}));
    rig.Host.Tick();
    EXPECT_EQ(rig.Pixel(40, 5), clBlack32);
    EXPECT_EQ(rig.Pixel(40, 40), kGreen32);
    EXPECT_EQ(rig.Pixel(40, 75), clBlack32);
}

TEST(OffscreenHost, RunsNeverPassTheirTargetAndTheLoopEndsWhenTheWindowCloses) {
    TPlayerRig rig;
    rig.Add(10000)->Animates = true;
    rig.ShowSettings().EndAction = 1;
    rig.Host.Play(&rig.Show);
    rig.Host.FrameStep = 30;
    rig.Host.RunFor(1000);
    EXPECT_EQ(rig.Player->GetPlayTime(), 1000);
    rig.Host.RunFor(7);
    EXPECT_EQ(rig.Player->GetPlayTime(), 1007);
    EXPECT_EQ(rig.Host.RunModalLoop(), 2);
    EXPECT_TRUE(rig.Host.Closed());
    EXPECT_GT(rig.Player->GetPlayTime(), 10000);
    EXPECT_LT(rig.Player->GetPlayTime(), 10100);
}

}  // namespace
