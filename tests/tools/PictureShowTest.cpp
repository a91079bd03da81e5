// End to end: a show with picture items made through the document, saved, loaded again,
// prepared step by step through a fake player and drawn frame by frame into PNGs in the
// test's output folder; the show tool prints the items and saves them unchanged.
#include "ToolRunSupport.h"
#include "objects/PictureTestSupport.h"
#include "transitions/PicBoxTransitions.h"
#include "transitions/PicTransitions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A landscape: sky, sun and meadow.
TColor32 Landscape(int x, int y) {
    const int dx = x - 600, dy = y - 150;
    if (dx * dx + dy * dy < 60 * 60) return Color32(255, 220, 40);
    if (y > 400) return Color32(40, uint8_t(120 + (y - 400) / 4), 40);
    return Color32(uint8_t(60 + y / 8), uint8_t(120 + y / 6), 230);
}

// A red disc on transparent ground, with a soft rim.
TColor32 Disc(int x, int y) {
    const double d = std::hypot(x - 99.5, y - 99.5);
    const double a = std::clamp(90.0 - d, 0.0, 10.0) / 10.0;
    return Color32(220, 30, 30, uint8_t(std::lround(a * 255)));
}

std::unique_ptr<TTransitionPlugin> Transition(std::unique_ptr<TTransitionPlugin> t, int32_t duration) {
    t->Duration = duration;
    return t;
}

TEST(PictureShow, MadeSavedLoadedPreparedAndDrawn) {
    PictureTestPlugins();
    TempDir dir;
    WriteFileBytes(dir / "bild.jpg", EncodeJpeg(800, 600, Landscape));
    WriteFileBytes(dir / "logo.png", EncodePng(200, 200, Disc));
    const std::string showFile = dir.Program() + "show.kls";
    {
        TSlideShow show;
        auto* photo = new TExtPicSlideShowObject();
        photo->FileName = "bild.jpg";
        photo->Duration = 4000;
        photo->Transition = Transition(std::make_unique<TAlphablendingTransitionPlugin>(), 1000);
        auto* logo = new TExtPicSlideShowObject();
        logo->FileName = "logo.png";
        logo->Duration = 4000;
        logo->BlendMode = bmAlpha;
        logo->FillBackground = false;
        logo->RelativeRect = {0.55, 0.1, 0.95, 0.6};
        logo->Transition = Transition(std::make_unique<TBoxRadarTransitionPlugin>(), 1000);
        auto* missing = new TExtPicSlideShowObject();
        missing->FileName = "C:\\Bilder\\fehlt.jpg";
        missing->FillBackground = false;
        missing->RelativeRect = {0.05, 0.55, 0.45, 0.95};
        for (TSlideShowObject* item : {static_cast<TSlideShowObject*>(photo), static_cast<TSlideShowObject*>(logo),
                                       static_cast<TSlideShowObject*>(missing)})
            show.RootList().Add(item);
        ASSERT_TRUE(show.SaveToFile(showFile));
    }

    TSlideShow show;
    ASSERT_EQ(show.LoadFromFile(showFile), 0);
    ASSERT_EQ(show.RootList().Count(), 3);
    auto* photo = dynamic_cast<TExtPicSlideShowObject*>(show.RootList().GetItem(0));
    auto* logo = dynamic_cast<TExtPicSlideShowObject*>(show.RootList().GetItem(1));
    auto* missing = dynamic_cast<TExtPicSlideShowObject*>(show.RootList().GetItem(2));
    ASSERT_TRUE(photo && logo && missing);
    for (auto* item : {photo, logo, missing}) item->StartTime = 0;

    TFakeDrawingPlayer player;
    player.MakeBackBuffer(640, 360);
    // Step by step, stage after stage, as the player's preparation does it.
    for (auto* item : {photo, logo}) {
        for (int32_t step = 0; step != -2;) {
            item->BeginInitializationStep(&player, step);
            while (TSlideShowObjectInitialization* e = item->GetInitializationList()->First()) {
                ASSERT_TRUE(item->ExecuteInitializationStep(&player, e->Step)) << e->Step;
                item->GetInitializationList()->Remove(e);
            }
            item->NextInitializationStep();
            step = item->GetInitializationList()->CurrentStep;
        }
        EXPECT_TRUE(item->IsInitialized());
    }
    for (const char* name : {"LoadFile", "Pic2Bmp", "Scale", "iTransition"}) EXPECT_NE(player.Bench.FindList(name), nullptr);
    missing->BeginInitializationStep(&player, 1);
    EXPECT_FALSE(missing->ExecuteInitializationStep(&player, 1));
    EXPECT_EQ(missing->LoadFailed, 1);

    // The photo fills the paint box: 480 x 360 in the middle, black bands beside it.
    ASSERT_EQ(photo->Bitmap->Width(), 640);
    const TColor32 sky = photo->Bitmap->Pixel(120, 60);
    const TColor32 band = photo->Bitmap->Pixel(40, 60);
    EXPECT_EQ(band, clBlack32);
    std::vector<TExtPicSlideShowObject*> playing = {photo, logo};
    auto frame = [&](int32_t t, const std::string& name) {
        player.PlayTime = t;
        for (auto it = playing.rbegin(); it != playing.rend(); ++it) (*it)->RestoreBackground(&player);
        for (auto* item : playing) item->Play(&player, false);
        SavePng(player.OwnBackBuffer, name);
    };
    TBitmap32& back = player.OwnBackBuffer;
    frame(0, "show-0000ms.png");
    EXPECT_LT(RedComponent(back.Pixel(120, 60)) + BlueComponent(back.Pixel(120, 60)), 20);
    frame(500, "show-0500ms.png");
    EXPECT_NEAR(BlueComponent(back.Pixel(120, 60)), BlueComponent(sky) / 2, 20);
    frame(1500, "show-1500ms.png");
    EXPECT_EQ(back.Pixel(120, 60), sky);
    // The disc: red inside, the photo through its transparent corners. Its rectangle
    // (352, 36, 608, 216) holds it at 180 x 180 from (390, 36).
    EXPECT_EQ(back.Pixel(480, 126), Color32(220, 30, 30));
    EXPECT_EQ(back.Pixel(392, 38), photo->Bitmap->Pixel(392, 38));
    // The missing picture draws its placeholder into any bitmap.
    TBitmap32 withPlaceholder = back;
    EXPECT_TRUE(missing->DrawTo(withPlaceholder, false));
    SavePng(withPlaceholder, "show-missing.png");
    EXPECT_EQ(withPlaceholder.Pixel(32, 198), clWhite32);  // its frame's top-left corner
    EXPECT_EQ(withPlaceholder.Pixel(120, 60), sky);

    // The show tool lists the items and saves them unchanged.
    const ToolRun dump = RunTool(dir, "dump " + Q(dir / "show.kls"));
    EXPECT_EQ(dump.status, 0) << dump.err;
    for (const char* line : {"1 TExtPicSlideShowObject enabled=1 start=-1 duration=4000",
                             "rect=(0.55, 0.1, 0.95, 0.6) keepaspect=1 stretch=1 align=0 fill=0 color=0xFF000000 blend=1",
                             "transition=TAlphablendingTransitionPlugin duration=1000 enabled=1",
                             "transition=TBoxRadarTransitionPlugin duration=1000",
                             "opacity=none rotation=none scale=none path=none", "file=\"bild.jpg\" exif=0",
                             "file=\"C:\\Bilder\\fehlt.jpg\" exif=0"})
        EXPECT_NE(dump.out.find(line), std::string::npos) << line << "\n" << dump.out;
    // (The tool's program adds the settings groups of its own modules to a show made
    // here, so its first save may differ in those; the items may not, and from then on
    // nothing does.)
    const ToolRun resave = RunTool(dir, "resave " + Q(dir / "show.kls") + " " + Q(dir / "again.kls"));
    ASSERT_EQ(resave.status, 0) << resave.err;
    TSlideShow saved, again;
    ASSERT_EQ(saved.LoadFromFile(showFile), 0);
    ASSERT_EQ(again.LoadFromFile(dir.Program() + "again.kls"), 0);
    EXPECT_EQ(TreeBytes(again.RootList()), TreeBytes(saved.RootList()));
    ASSERT_EQ(RunTool(dir, "resave " + Q(dir / "again.kls") + " " + Q(dir / "third.kls")).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "third.kls"), ReadFileBytes(dir / "again.kls"));
}

}  // namespace
