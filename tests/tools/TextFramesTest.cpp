// Frames for review: a title over a picture, zoomed in and out character by character,
// with an opacity curve and a motion path, saved and rendered by the show tool every
// 100 ms into the test output's text-frames/ with a contact sheet of them all.
#include "ColourShow.h"
#include "ToolRunSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "graphics/ContactSheet.h"
#include "graphics/PngWriter.h"

#include <gtest/gtest.h>

namespace {

constexpr int W = 640, H = 480;
constexpr int32_t kEffect = 2000, kText = 8000, kShow = 9000;

// A dark gradient, so that both the text and its outline show.
TColor32 Ground(int x, int y) { return Color32(uint8_t(40 + x * 60 / W), uint8_t(60 + y * 80 / H), 120); }

// The picture under the title for the whole show, the title for its first 8 s.
std::string WriteTitleShow(const TempDir& dir) {
    ToolShowPlugins();
    WriteFileBytes(dir / "grund.png", EncodePng(W, H, Ground));
    TSlideShow show;
    auto* group = new TParallelSlideShowObject();
    show.RootList().Add(group);
    auto* picture = new TExtPicSlideShowObject();
    picture->FileName = "grund.png";
    picture->Duration = kShow;
    picture->FreeTransition();  // there from the first frame
    auto* title = new TTextSlideShowObject();
    title->Duration = kText;
    title->SetText("Glowcanvas");
    TFont font = title->GetFont();
    font.Size = 72;
    title->SetFont(font);
    title->SetRelativeRect({0.1, 0.35, 0.9, 0.65});
    title->SetAlignment(2);
    title->TextEffects = std::make_unique<TComplexVectorTextEffect>();
    for (auto* effect : {&title->TextEffects->FirstEffect, &title->TextEffects->SecondEffect}) {
        effect->reset(new TSimpleZoomVectorTextEffect());
        (*effect)->Duration = kEffect;
    }
    TTimeToIntegerValue* opacity = title->CreateOpacityCurve();
    for (auto [t, v] : {std::pair{2000, 255}, std::pair{4000, 90}, std::pair{6000, 255}}) {
        auto key = std::make_unique<TTimeIntegerValue>();
        key->Time = t;
        key->Value = v;
        opacity->AddKey(std::move(key));
    }
    auto last = std::make_unique<TTimeVector2DValue>();
    last->Time = kText;
    last->Value = {500000, 300000};
    title->CreateMotionPath()->AddKey(std::move(last));
    group->CreateChildList();
    group->GetChildList()->Add(picture);
    group->GetChildList()->Add(title);
    EXPECT_TRUE(show.SaveToFile(dir.Program() + "titel.kls"));
    return dir / "titel.kls";
}

// Pixels where a colour component differs by more than threshold.
int CountChanged(const TBitmap32& a, const TBitmap32& b, int threshold) {
    int n = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const TColor32 p = a.Pixel(x, y), q = b.Pixel(x, y);
            int d = 0;
            for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs(int(p >> s & 0xFF) - int(q >> s & 0xFF)));
            n += d > threshold;
        }
    return n;
}

// The title as the player draws it between its effects at show time t: prepared for the
// frame's size, with the curve's opacity, centred on the path.
TBitmap32 DrawTitleDirectly(const std::string& showFile, const TBitmap32& ground, int32_t t) {
    TSlideShow show;
    EXPECT_EQ(show.LoadFromFile(FromPosixPath(showFile)), 0);
    auto* group = dynamic_cast<TParallelSlideShowObject*>(show.RootList().GetItem(0));
    auto* title = dynamic_cast<TTextSlideShowObject*>(group->GetChildList()->GetItem(1));
    TBitmap32 direct(ground);
    EXPECT_TRUE(title->PrepareText(direct));
    TVector2D p;
    title->MotionPath->GetScaledValue(t, W, p, H);
    const TFixedRect r = title->GetTextRect(direct);
    const TFixed w = r.Right - r.Left, h = r.Bottom - r.Top;
    const TFixed left = p.X * FixedOne - w / 2, top = p.Y * FixedOne - h / 2;
    title->VectorText->Alpha = uint8_t(title->OpacityCurve->GetValue(t));
    TFixedRect bounds;
    title->VectorText->DrawInRect(MakeFixedRect(left, top, left + w, top + h), &direct, bounds, false);
    return direct;
}

TEST(TextFrames, TheTitleZoomsInFollowsItsCurvesAndZoomsOut) {
    TempDir dir;
    const std::string show = WriteTitleShow(dir);
    const std::filesystem::path folder = TestOutputFolder() / "text-frames";
    std::filesystem::remove_all(folder);
    const ToolRun r = RunTool(dir, "render " + Q(show) + " --at " + std::to_string(kShow) +
                                       " --every 100 --size 640x480 " + Q(folder.string()));
    ASSERT_EQ(r.status, 0) << r.err;

    std::vector<TBitmap32> frames;
    for (int32_t t = 0; t <= kShow; t += 100) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", t);
        frames.push_back(ReadPngFile((folder / name).string()));
        ASSERT_EQ(frames.back().Width(), W) << name;
    }
    std::vector<const TBitmap32*> cells;
    for (const TBitmap32& f : frames) cells.push_back(&f);
    WritePngPicture(MakeContactSheet(cells, TContactSheetLayout{10, W / 4, H / 4, 4, 0xFF000000}),
                    (folder / "contact-sheet.png").string());

    TBitmap32 ground(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ground.SetPixel(x, y, Ground(x, y));
    auto at = [&](int32_t t) -> const TBitmap32& { return frames[size_t(t / 100)]; };
    // A frame from the whole run equals a render of that moment alone.
    const ToolRun one = RunTool(dir, "render " + Q(show) + " --at 3000 --size 640x480 " + Q(dir / "one.png"));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(ReadFileBytes(dir / "one.png"), EncodePngPicture(at(3000)));

    // Glyph pixels (near the text's colour) grow through the entry, as the characters
    // come in one after the other and shrink to their size.
    int before = CountChanged(at(100), ground, 96);
    for (int32_t t = 500; t <= kEffect; t += 400) {
        const int now = CountChanged(at(t), ground, 96);
        EXPECT_GT(now, before) << t;
        before = now;
    }
    // Between the effects a frame is the text drawn directly with that frame's opacity
    // and place.
    for (int32_t t : {3000, 4000, 5500}) {
        EXPECT_EQ(CountChanged(at(t), DrawTitleDirectly(show, ground, t), 2), 0) << t;
        EXPECT_GT(CountChanged(at(t), ground, 60), 500) << t;
    }
    // Nothing is left after the exit.
    EXPECT_EQ(CountChanged(at(kText + 500), ground, 0), 0);
}

}  // namespace
