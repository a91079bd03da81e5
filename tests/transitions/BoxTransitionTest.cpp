// The box family: grids, the fifteen schedules and the mask schedule, box progress and
// the ways a box grows.
#include "TransitionTestSupport.h"

#include <array>
#include <cmath>
#include <functional>

namespace {

using LD = long double;
const LD kPi = 3.14159265358979323846264338327950288L;

// Nearest integer, halves to the even one; written out rather than through the FPU mode.
int64_t HalfEven(LD x) {
    const LD f = std::floor(x);
    const LD frac = x - f;
    int64_t n = int64_t(f);
    if (frac > 0.5L || (frac == 0.5L && n % 2 != 0)) ++n;
    return n;
}

struct TGrid {
    int32_t W, H, BoxCount, Cols, Rows;
};
const TGrid kGrids[] = {{50, 40, 5, 5, 4}, {70, 60, 7, 7, 6}, {10, 10, 1, 1, 1}};

// Radar angle of box (r, c), by the quadrant table.
LD Angle(int r, int c, int R, int C, bool quarter) {
    const LD dy = r - R / 2.0L, dx = c - C / 2.0L;
    LD dist = std::sqrt(dx * dx + dy * dy);
    if (dist == 0 || (quarter && dist < 1)) dist = 1;
    const LD a0 = std::asin(std::fabs(R / 2.0L - r) / dist);
    const int hr = R / 2, hc = C / 2;
    if (r <= hr && c <= hc) return quarter ? a0 : 1.5L * kPi + a0;
    if (r <= hr) return kPi / 2 - a0;
    if (c > hc) return quarter ? a0 : kPi / 2 + a0;
    return quarter ? kPi / 2 - a0 : 1.5L * kPi - a0;
}

LD Dist(int r, int c, int R, int C) { return std::hypot(LD(r - R / 2), LD(c - C / 2)); }

using TFormula = std::function<int64_t(int r, int c, int R, int C, LD T)>;
struct TSchedule {
    const char* Name;
    TFormula Start;
};

int64_t Diag(int k, int R, int C, LD T) { return int64_t(LD(k) / (R + C - 1) * T); }
LD RMax(int R, int C) { return std::max(std::sqrt(LD((R / 2) * (R / 2) + (C / 2) * (C / 2))), 1.0L); }

const TSchedule kSchedules[] = {
    {"TBoxTopLeftToBottomRightTransitionPlugin", [](int r, int c, int R, int C, LD T) { return Diag(r + c, R, C, T); }},
    {"TBoxTopRightToBottomLeftTransitionPlugin", [](int r, int c, int R, int C, LD T) { return Diag(r + C - 1 - c, R, C, T); }},
    {"TBoxBottomLeftToTopRightTransitionPlugin", [](int r, int c, int R, int C, LD T) { return Diag(R - 1 - r + c, R, C, T); }},
    {"TBoxBottomRightToTopLeftTransitionPlugin",
     [](int r, int c, int R, int C, LD T) { return Diag(R - 1 - r + C - 1 - c, R, C, T); }},
    {"TBoxAllSimultaneousTransitionPlugin", [](int, int, int, int, LD) { return int64_t(0); }},
    {"TBoxCircleGrowTransitionPlugin",
     [](int r, int c, int R, int C, LD T) { return std::abs(HalfEven(HalfEven(Dist(r, c, R, C)) / RMax(R, C) * T)); }},
    {"TBoxCircleShrinkTransitionPlugin",
     [](int r, int c, int R, int C, LD T) {
         return int64_t(T) - std::abs(HalfEven(HalfEven(Dist(r, c, R, C)) / RMax(R, C) * T));
     }},
    {"TBoxCircleRingTransitionPlugin",
     [](int r, int c, int R, int C, LD T) { return std::abs(HalfEven(std::sin(Dist(r, c, R, C) / 10) * T)); }},
    {"TBoxSmallCirclesTransitionPlugin",
     [](int r, int c, int, int, LD T) { return std::abs(HalfEven((std::sin(r / 5.0L) + std::sin(c / 5.0L)) / 2 * T)); }},
    {"TBoxMODEffectTransitionPlugin",
     [](int r, int c, int R, int C, LD T) {
         const LD x = (std::sin(Dist(r, c, R, C) / 10) - (r % C) / (C * 0.2L)) / (C / (C * 0.2L) + 1);
         return std::abs(HalfEven(x * T));
     }},
    {"TBoxRadarTransitionPlugin",
     [](int r, int c, int R, int C, LD T) { return HalfEven(Angle(r, c, R, C, false) / (2.5L * kPi) * T); }},
    {"TBoxSpiralRadarTransitionPlugin",
     [](int r, int c, int R, int C, LD T) {
         return std::abs(HalfEven(std::sin(Dist(r, c, R, C) / 5) * Angle(r, c, R, C, false) / (2.5L * kPi) * T));
     }},
    {"TBoxQuarterRadarTransitionPlugin",
     [](int r, int c, int R, int C, LD T) { return HalfEven(Angle(r, c, R, C, true) / kPi * T); }},
    {"TBoxQuarterSpiralRadarTransitionPlugin",
     [](int r, int c, int R, int C, LD T) {
         return std::abs(HalfEven(std::sin(Dist(r, c, R, C) / 5) * Angle(r, c, R, C, true) / kPi * T));
     }},
};

TBoxTransitionPlugin& AsBox(TTransitionPlugin& t) { return dynamic_cast<TBoxTransitionPlugin&>(t); }

void InitOnGrid(TBoxTransitionPlugin& box, const TGrid& g, TBitmap32* picture = nullptr) {
    box.BoxCount = g.BoxCount;
    ASSERT_TRUE(box.Init(TRect{0, 0, g.W, g.H}, picture));
    ASSERT_EQ(box.Cols, g.Cols);
    ASSERT_EQ(box.Rows, g.Rows);
}

TEST(BoxSchedule, StartTimesFollowEachClasssFormulaAndMirrorWhenReversed) {
    for (const TSchedule& s : kSchedules) {
        for (const TGrid& g : kGrids) {
            for (bool reverse : {false, true}) {
                SCOPED_TRACE(std::string(s.Name) + " " + std::to_string(g.Cols) + "x" + std::to_string(g.Rows) +
                             (reverse ? " reversed" : ""));
                auto t = MakeTransition(s.Name);
                TBoxTransitionPlugin& box = AsBox(*t);
                box.Duration = 2344;
                box.BoxDuration = 345;
                box.BoxReverse = reverse;
                InitOnGrid(box, g);
                const LD T = 1999;
                for (int r = 0; r < g.Rows; ++r)
                    for (int c = 0; c < g.Cols; ++c) {
                        const int64_t start = s.Start(r, c, g.Rows, g.Cols, T);
                        EXPECT_EQ(box.StartTimes[size_t(r * g.Cols + c)], reverse ? 1999 - start : start) << r << "," << c;
                    }
            }
        }
    }
}

TEST(BoxSchedule, RandomBoxesDrawOneStartEachInRowOrder) {
    TBoxRandomTransitionPlugin box;
    box.Duration = 1500;
    box.BoxDuration = 300;
    RandSeed(99);
    InitOnGrid(box, kGrids[1]);
    RandSeed(99);
    for (int32_t start : box.StartTimes) EXPECT_EQ(start, Random(1200));
}

TEST(BoxSchedule, MaskScheduleSamplesTheBottomRightOfEachBoxsShare) {
    TTestMaskTransition box;
    box.Mask = TBitmap32(10, 10);
    // Only the blue byte counts; red and green say otherwise.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) box.Mask.SetPixel(x, y, Color32(uint8_t(255 - x), uint8_t(7 * y), uint8_t(20 * y + x)));
    box.Duration = 3000;
    box.BoxDuration = 500;
    const LD T = 2500;
    for (const TGrid& g : kGrids) {
        for (bool reverse : {false, true}) {
            box.BoxReverse = reverse;
            InitOnGrid(box, g);
            for (int r = 0; r < g.Rows; ++r)
                for (int c = 0; c < g.Cols; ++c) {
                    const int64_t y = HalfEven(LD(r + 1) / g.Rows * 10) - 1, x = HalfEven(LD(c + 1) / g.Cols * 10) - 1;
                    const int64_t start = HalfEven(LD(20 * y + x) * (T / 255));
                    EXPECT_EQ(box.StartTimes[size_t(r * g.Cols + c)], reverse ? 2500 - start : start);
                }
        }
    }
    // Duration - BoxDuration = 255 makes a start the sampled value itself: rows 0 and 2 of
    // four fall on halves (2.5, 7.5) and round to the even neighbour.
    box.Duration = 755;
    box.BoxReverse = false;
    InitOnGrid(box, kGrids[0]);
    EXPECT_EQ(box.StartTimes[0], 20 * 1 + 1);
    EXPECT_EQ(box.StartTimes[2 * 5 + 4], 20 * 7 + 9);
    InitOnGrid(box, kGrids[2]);
    EXPECT_EQ(box.StartTimes[0], 20 * 9 + 9);  // 1 x 1: the bottom-right pixel
    box.Mask.Clear(clWhite32);
    box.Duration = 3000;
    InitOnGrid(box, kGrids[2]);
    EXPECT_EQ(box.StartTimes[0], 2500);  // white starts last, ending with the transition
}

TEST(BoxSchedule, MaskSamplingStaysInsideAMaskSmallerThanHalfTheGrid) {
    TTestMaskTransition box;
    box.Mask = TBitmap32(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) box.Mask.SetPixel(x, y, Color32(0, 0, uint8_t(10 * y + x)));
    box.Duration = 755;
    box.BoxCount = 10;
    ASSERT_TRUE(box.Init(TRect{0, 0, 100, 100}, nullptr));
    ASSERT_EQ(box.Rows, 10);
    // Row 0 and column 0 would sample at -1: they take the first row and column.
    EXPECT_EQ(box.StartTimes[0], 0);
    EXPECT_EQ(box.StartTimes[9], 3);
    EXPECT_EQ(box.StartTimes[99], 23);
}

TEST(BoxSchedule, MissingMaskRaises) {
    EXPECT_THROW(LoadJPEGResource("TNOSUCHTRANSITIONPLUGIN"), EResNotFound);
}

struct TGridCase {
    int32_t W, H, BoxCount;
    bool Fine;
    int32_t Cols, Rows, BoxSide;
};

TEST(BoxGrid, SetupGridSizesBoxesAlongTheLongerSide) {
    const TGridCase cases[] = {
        {100, 50, 20, false, 20, 10, 5},    // landscape: W div count
        {103, 50, 20, false, 21, 10, 5},    // one extra, partly outside column
        {50, 100, 20, false, 10, 20, 5},    // portrait
        {50, 103, 20, false, 9, 18, 6},     // portrait, not a multiple: side grows by one
        {10, 10, 20, false, 10, 10, 1},     // boxes at least one pixel
        {100, 50, 0, false, 1, 1, 100},     // counts below 1 use 1
        {100, 50, -5, false, 1, 1, 100},
        {1000, 10, 1000000, false, 200, 2, 5},  // huge counts use the class's limit
        {1000, 10, 1000000, true, 334, 4, 3},
    };
    for (const TGridCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " count " + std::to_string(c.BoxCount));
        std::unique_ptr<TBoxTransitionPlugin> box(c.Fine ? static_cast<TBoxTransitionPlugin*>(new TBoxCircleGrowTransitionPlugin)
                                                         : new TBoxAllSimultaneousTransitionPlugin);
        box->BoxCount = c.BoxCount;
        box->Init(TRect{7, 3, 7 + c.W, 3 + c.H}, nullptr);
        EXPECT_EQ((std::array{box->Cols, box->Rows, box->BoxWidth, box->BoxHeight}),
                  (std::array{c.Cols, c.Rows, c.BoxSide, c.BoxSide}));
        EXPECT_EQ(box->StartTimes.size(), size_t(c.Cols * c.Rows));
        EXPECT_EQ(box->BoxCount, c.BoxCount);  // the setting itself stays
    }
}

// One 10 x 10 box at (5, 5) on a 30 x 30 target: what one frame draws. Whatever shows
// must be the picture's pixel from the same place, unless the box is squeezed.
TRect OneBox(uint8_t mode, int32_t boxDuration, int32_t time, bool stretch = false) {
    TBitmap32 picture = TestPicture(10, 10);
    TBoxAllSimultaneousTransitionPlugin box;
    box.BoxCount = 1, box.BoxMode = mode, box.BoxDuration = boxDuration, box.BoxStretch = stretch;
    const TBitmap32 target = RunFrame(box, picture, TRect{5, 5, 15, 15}, 30, 30, time);
    EXPECT_TRUE(ShowsPicture(target, picture, TRect{5, 5, 15, 15}, false, !stretch));
    const TRect r = DrawnBounds(target);
    EXPECT_EQ(DrawnCount(target), (r.Right - r.Left) * (r.Bottom - r.Top));
    return r;
}

TEST(BoxDraw, BoxProgressDecidesWhatShows) {
    const struct {
        int32_t BoxDuration, Time;
        TRect Drawn;
    } cases[] = {
        {1000, 0, {}}, {1000, -50, {}},                      // not started
        {1000, 1, {9, 9, 11, 11}},                           // just started: inset 4 of 10
        {1000, 999, {5, 5, 15, 15}}, {1000, 1000, {5, 5, 15, 15}},
        {0, 0, {}}, {0, 1, {5, 5, 15, 15}},                  // no box duration: hidden, then whole
        {-100, 0, {}}, {-100, 1, {5, 5, 15, 15}},            // a negative one counts as 0
    };
    for (const auto& c : cases) EXPECT_EQ(OneBox(1, c.BoxDuration, c.Time), c.Drawn) << c.BoxDuration << " at " << c.Time;
}

TEST(BoxDraw, EachModeDrawsItsRectangle) {
    // Half way: inset Trunc(0.5 * 10 * 0.5) = 2; mode 8 does not exist.
    const TRect drawn[9] = {{5, 5, 15, 15}, {7, 7, 13, 13}, {5, 7, 15, 13}, {7, 5, 13, 15}, {5, 5, 10, 15},
                            {5, 5, 15, 10}, {10, 5, 15, 15}, {5, 10, 15, 15}, {}};
    for (uint8_t mode = 0; mode < 9; ++mode) EXPECT_EQ(OneBox(mode, 1000, 500), drawn[mode]) << int(mode);
    EXPECT_EQ(OneBox(1, 1000, 500, true), (TRect{7, 7, 13, 13}));
}

TEST(BoxDraw, FadeBlendsWithTheBoxsProgressAndRestoresTheOpacity) {
    TBitmap32 picture = TestPicture(10, 10);
    TBoxAllSimultaneousTransitionPlugin box;
    box.BoxCount = 1, box.BoxFade = true;
    const TBitmap32 target = RunFrame(box, picture, TRect{0, 0, 10, 10}, 10, 10, 500);
    EXPECT_EQ(AlphaComponent(target.Pixel(5, 5)), 127);
    EXPECT_EQ(picture.MasterAlpha, 255);
    EXPECT_EQ(picture.DrawMode, dmBlend);
}

// Draw as the boxes are specified: one DrawBox per box.
void DrawBoxByBox(TBoxTransitionPlugin& t, TBitmap32& target, int32_t time) {
    for (int r = 0; r < t.Rows; ++r)
        for (int c = 0; c < t.Cols; ++c) {
            const int64_t e = int64_t(time) - t.StartTimes[size_t(r * t.Cols + c)];
            const LD bp = t.BoxDuration > 0 ? LD(e) / t.BoxDuration : LD(e);
            const TRect full{c * t.BoxWidth, r * t.BoxHeight, (c + 1) * t.BoxWidth, (r + 1) * t.BoxHeight};
            const int inset = bp >= 1 ? 0 : int((1 - bp) * t.BoxWidth * 0.5L);
            const TRect b{full.Left + inset, full.Top + inset, full.Right - inset, full.Bottom - inset};
            if (bp > 0 && b.Left <= b.Right && b.Top <= b.Bottom)
                t.DrawBox(b, TRect{b.Left + t.Rect.Left, b.Top + t.Rect.Top, b.Right + t.Rect.Left, b.Bottom + t.Rect.Top},
                          target, std::min(bp, 1.0L), full);
        }
}

TEST(BoxDraw, DrawingNeighboursTogetherLooksLikeDrawingEachBox) {
    // Some see-through pixels in the picture and on the target.
    TBitmap32 picture = TestPicture(40, 30), ground(50, 40);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            if ((x + y) % 7 == 0) picture.SetPixel(x, y, SetAlpha(picture.Pixel(x, y), uint8_t(x * 6)));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) ground.SetPixel(x, y, Color32(uint8_t(x * 5), 90, uint8_t(y * 6), uint8_t((x * y) % 3 * 120)));
    for (const char* name : {"TBoxCircleGrowTransitionPlugin", "TBoxTopLeftToBottomRightTransitionPlugin"})
        for (uint64_t seed = 0; seed < 12; ++seed)
            for (const TRect& rect : {TRect{5, 4, 45, 34}, TRect{-9, -7, 31, 23}, TRect{20, 18, 60, 48}})
                for (int32_t part : {1, 2, 3}) {
                    SCOPED_TRACE(std::string(name) + " seed " + std::to_string(seed) + " quarter " + std::to_string(part));
                    auto a = MakeTransition(name), b = MakeTransition(name);
                    RandSeed(seed);
                    if (seed) a->Randomize();
                    else AsBox(*a).BoxFade = true, AsBox(*a).BoxMode = 0, AsBox(*a).BoxDuration = a->Duration / 10;
                    b->Assign(*a);
                    TBitmap32 pa = picture, pb = picture, ta = ground, tb = ground;
                    a->Init(rect, &pa);
                    b->Init(rect, &pb);
                    const int32_t time = a->Duration * part / 4;
                    a->Draw(time, ta);
                    DrawBoxByBox(AsBox(*b), tb, time);
                    ASSERT_EQ(ta.ToImage32().Pixels, tb.ToImage32().Pixels);
                    EXPECT_EQ(pa.DrawMode, pb.DrawMode);
                }
}

TEST(BoxDraw, EveryFrameOfFineGridsEqualsDrawingEachBox) {
    // Pictures with see-through pixels, smaller and larger than the rectangle, which
    // reaches past every edge of the target; the target is partly see-through too.
    auto picture = [](int w, int h) {
        TBitmap32 p = TestPicture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((x + 2 * y) % 11 == 0) p.SetPixel(x, y, SetAlpha(p.Pixel(x, y), uint8_t(x * 7 + y)));
        return p;
    };
    const TBitmap32 pictures[] = {picture(500, 150), picture(700, 260)};
    TBitmap32 ground(600, 190);
    for (int y = 0; y < 190; ++y)
        for (int x = 0; x < 600; ++x)
            ground.SetPixel(x, y, Color32(uint8_t(x * 5), 90, uint8_t(y * 6), x % 97 < 90 ? 255 : uint8_t(x * y)));
    const TRect rect{-7, -5, 613, 195};
    const struct {
        const char* Class;
        uint8_t Mode;
        bool Fade, Stretch, Reverse;
        int32_t Count;
        int Master;  // the picture's master alpha when blended; -1: drawn opaque
    } cases[] = {
        {"TBoxTopLeftToBottomRightTransitionPlugin", 0, true, false, false, 13, -1},
        {"TBoxTopLeftToBottomRightTransitionPlugin", 1, false, false, false, 13, 200},
        {"TBoxTopLeftToBottomRightTransitionPlugin", 2, true, true, false, 13, -1},
        {"TBoxTopLeftToBottomRightTransitionPlugin", 3, false, true, true, 13, 255},
        {"TBoxRandomTransitionPlugin", 4, true, false, true, 13, 128},
        {"TBoxRandomTransitionPlugin", 5, false, true, false, 13, 255},
        {"TBoxBottomRightToTopLeftTransitionPlugin", 6, true, true, true, 13, -1},
        {"TBoxBottomRightToTopLeftTransitionPlugin", 6, false, true, false, 13, -1},
        {"TBoxBottomRightToTopLeftTransitionPlugin", 7, false, false, true, 13, 90},
        {"TBoxTopRightToBottomLeftTransitionPlugin", 3, true, true, false, 300, -1},
        {"TBoxCircleRingTransitionPlugin", 0, true, false, false, 300, -1},
        {"TBoxCircleGrowTransitionPlugin", 0, true, false, true, 300, 200},
        {"TBoxCircleRingTransitionPlugin", 1, true, false, true, 300, 255},
        {"TBoxSpiralRadarTransitionPlugin", 1, false, false, false, 300, 170},
        {"TBoxMarbleTransitionPlugin", 0, true, false, false, 300, -1},
        {"TBoxMarbleTransitionPlugin", 4, false, false, true, 150, 255},
    };
    for (const auto& c : cases)
        for (const TBitmap32& pic : pictures) {
            SCOPED_TRACE(std::string(c.Class) + " mode " + std::to_string(c.Mode) + " count " + std::to_string(c.Count) +
                         " picture " + std::to_string(pic.Width()));
            auto a = MakeTransition(c.Class), b = MakeTransition(c.Class);
            TBoxTransitionPlugin& box = AsBox(*a);
            box.BoxMode = c.Mode, box.BoxFade = c.Fade, box.BoxStretch = c.Stretch, box.BoxReverse = c.Reverse;
            box.BoxCount = c.Count;
            box.BoxDuration = std::min(box.BoxDuration, a->Duration / 3);
            b->Assign(*a);
            TBitmap32 pa = pic, pb = pic;
            for (TBitmap32* p : {&pa, &pb}) {
                p->DrawMode = c.Master < 0 ? dmOpaque : dmBlend;
                p->MasterAlpha = uint8_t(c.Master < 0 ? 255 : c.Master);
            }
            RandSeed(7);
            a->Init(rect, &pa);
            RandSeed(7);
            b->Init(rect, &pb);
            for (int k = 1; k < 8; ++k) {
                const int32_t time = a->Duration * k / 8;
                TBitmap32 ta = ground, tb = ground;
                a->Draw(time, ta);
                DrawBoxByBox(AsBox(*b), tb, time);
                ASSERT_EQ(ta.ToImage32().Pixels, tb.ToImage32().Pixels) << "at " << time;
                ASSERT_EQ(pa.DrawMode, pb.DrawMode);
                ASSERT_EQ(pa.MasterAlpha, pb.MasterAlpha);
            }
        }
}

TEST(BoxDraw, ClipsAtTheTargetsRightAndBottomAndAtThePicture) {
    TBitmap32 picture = TestPicture(10, 10), small = TestPicture(8, 6);
    TBoxAllSimultaneousTransitionPlugin box;
    box.BoxCount = 1, box.BoxMode = 0;
    const TBitmap32 edge = RunFrame(box, picture, TRect{25, 24, 35, 34}, 30, 30, 2000);
    EXPECT_TRUE(ShowsPicture(edge, picture, TRect{25, 24, 35, 34}));
    EXPECT_EQ(DrawnCount(edge), 5 * 6);
    // A picture smaller than the grid leaves the rest of the box alone.
    const TBitmap32 part = RunFrame(box, small, TRect{2, 2, 12, 12}, 30, 30, 2000);
    EXPECT_TRUE(ShowsPicture(part, small, TRect{2, 2, 10, 8}));
    EXPECT_EQ(DrawnCount(part), 8 * 6);
}

}  // namespace
