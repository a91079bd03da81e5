// What the transitions leave on the target: the finished picture for every class and
// setting, the stripes and slats on the way, and the faults of odd settings.
#include "TransitionTestSupport.h"

#include <set>

namespace {

// Every class but the random one (whose choices the random tests cover).
std::vector<AnsiString> DrawnClasses() {
    std::vector<AnsiString> names;
    TPlugins& plugins = TransitionPlugins();
    for (int i = 0; i < plugins.GetCount(); ++i)
        if (&plugins.GetItem(i)->PluginClass() != &TRandomTransitionPlugin::StaticClassInfo())
            names.push_back(plugins.GetItem(i)->PluginClass().Name);
    return names;
}

// The blind's direction 1 rounds its slats and may leave a line per slat open.
bool MayLeaveLinesOpen(TTransitionPlugin& t) {
    auto* blind = dynamic_cast<TBlindTransitionPlugin*>(&t);
    return blind && blind->CurrentDirection == 1;
}

void ExpectFinishedPicture(TTransitionPlugin& t, const TRect& rect, const std::string& what) {
    TBitmap32 picture = TestPicture(rect.Right - rect.Left, rect.Bottom - rect.Top), target(60, 44);
    ASSERT_TRUE(t.Init(rect, &picture)) << what;
    EXPECT_TRUE(DrawFrame(t, target, 2 * t.Duration)) << what;
    EXPECT_TRUE(ShowsPicture(target, picture, rect, true, !MayLeaveLinesOpen(t))) << what;
}

TEST(TransitionDraw, EveryClassEndsWithThePictureExactlyInItsRectangle) {
    for (const AnsiString& name : DrawnClasses()) {
        ExpectFinishedPicture(*MakeTransition(name), TRect{3, 2, 53, 39}, name + " defaults");
        // Partly off the left and top edges: the visible part, in place.
        ExpectFinishedPicture(*MakeTransition(name), TRect{-7, -5, 43, 32}, name + " off the edges");
        for (uint64_t seed = 1; seed <= 20; ++seed) {
            auto t = MakeTransition(name);
            RandSeed(seed);
            t->Randomize();
            ExpectFinishedPicture(*t, TRect{3, 2, 53, 39}, name + " seed " + std::to_string(seed));
        }
    }
}

TEST(TransitionDraw, EmptyOrInvertedRectanglesDrawNothing) {
    for (const AnsiString& name : DrawnClasses()) {
        for (const TRect& rect : {TRect{5, 5, 5, 20}, TRect{5, 5, 20, 5}, TRect{20, 20, 5, 5}}) {
            auto t = MakeTransition(name);
            TBitmap32 picture = TestPicture(15, 15), target(30, 30);
            ASSERT_TRUE(t->Init(rect, &picture));
            for (int32_t time : {0, t->Duration / 2, 2 * t->Duration}) {
                if (name == "TAlphablendingTransitionPlugin") continue;  // draws the picture at its own size
                EXPECT_TRUE(DrawFrame(*t, target, time)) << name;
            }
            EXPECT_EQ(DrawnCount(target), 0) << name << " " << rect;
        }
    }
}

TEST(TransitionDraw, ProgressIsWholeForDurationsOfZeroOrLessAndNeverLeavesItsRange) {
    TBitmap32 picture = TestPicture(20, 10);
    for (int32_t duration : {0, -10}) {
        TMovePictureTransitionPlugin move;
        move.Duration = duration;
        EXPECT_TRUE(ShowsPicture(RunFrame(move, picture, TRect{0, 0, 20, 10}, 20, 10, 0), picture, TRect{0, 0, 20, 10}));
    }
    TMovePictureTransitionPlugin move;
    EXPECT_EQ(DrawnCount(RunFrame(move, picture, TRect{0, 0, 20, 10}, 20, 10, -300)), 0);
    // The cross-fade's opacity neither wraps before the start nor passes 255; it keeps blending.
    TAlphablendingTransitionPlugin fade;
    for (auto [time, alpha] : {std::pair{-300, 0}, {1000, 127}, {99999, 255}}) {
        RunFrame(fade, picture, TRect{0, 0, 20, 10}, 20, 10, time);
        EXPECT_EQ(picture.MasterAlpha, alpha) << time;
        EXPECT_EQ(picture.DrawMode, dmBlend);
    }
}

TEST(TransitionDraw, MoveSlidesInFromEachSideRoundingHalvesToEven) {
    // A quarter of 10 is 2.5: two columns or rows show, from the picture's far or near side.
    const struct {
        uint8_t Direction;
        TRect Drawn;
        int SrcX, SrcY;
    } cases[] = {{0, {0, 0, 2, 10}, 8, 0}, {1, {0, 0, 10, 2}, 0, 8}, {2, {8, 0, 10, 10}, 0, 0}, {3, {0, 8, 10, 10}, 0, 0}};
    for (const auto& c : cases) {
        TBitmap32 picture = TestPicture(10, 10);
        TMovePictureTransitionPlugin move;
        move.Duration = 1000;
        move.Direction = c.Direction;
        const TBitmap32 target = RunFrame(move, picture, TRect{0, 0, 10, 10}, 10, 10, 250);
        EXPECT_EQ(DrawnBounds(target), c.Drawn) << int(c.Direction);
        EXPECT_EQ(target.Pixel(c.Drawn.Left, c.Drawn.Top), picture.Pixel(c.SrcX, c.SrcY)) << int(c.Direction);
    }
}

// Counts how often each pixel of a 50 x 30 rectangle is drawn by one stripe Draw.
std::vector<int> StripeCounts(uint8_t pattern, int32_t stripes, int32_t time) {
    TBitmap32 picture(50, 30);
    CountDraws(picture);
    TStripeTransitionPlugin t;
    t.Direction = pattern;
    t.StripeCount = stripes;
    const TBitmap32 target = RunFrame(t, picture, TRect{0, 0, 50, 30}, 50, 30, time);
    std::vector<int> counts;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) counts.push_back(int(target.Pixel(x, y)));
    return counts;
}

TEST(StripeDraw, EveryPatternDrawsEachStripeOnceForOddAndEvenCounts) {
    // Along 50 columns: 5 stripes of 10, 4 of 13 (the last cut), 12 giving 10 of 5;
    // along 30 rows: 5 of 6, 4 of 8 (the last cut), 7 giving 6 of 5.
    for (uint8_t pattern = 0; pattern < 6; ++pattern)
        for (int32_t stripes : {5, 4, 12, 7, 0}) {
            const std::vector<int> counts = StripeCounts(pattern, stripes, 1000);
            EXPECT_EQ(std::count(counts.begin(), counts.end(), 1), 50 * 30)
                << "pattern " << int(pattern) << ", " << stripes << " stripes";
        }
    const std::vector<int> none = StripeCounts(7, 5, 1000);  // no such pattern
    EXPECT_EQ(std::count(none.begin(), none.end(), 0), 50 * 30);
}

TEST(StripeDraw, PatternsFillTheirStripesInTheirOwnOrder) {
    // Five vertical stripes of 10 (patterns 0, 2, 5) at 40 % of 1000 ms: which are drawn.
    const struct {
        uint8_t Pattern;
        int32_t Time;
        std::set<int> Stripes;
    } cases[] = {
        {0, 200, {0, 2}},        // even stripes from the start side
        {0, 600, {0, 2, 4, 3}},  // then odd ones back from the far side
        {2, 400, {3, 1}},        // odd stripes from the far side
        {2, 800, {3, 1, 0, 2}},  // then even ones from the start side
        {5, 200, {4, 1}},        // odd ones in place, even ones from the far side
        {5, 600, {4, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        const std::vector<int> counts = StripeCounts(c.Pattern, 5, c.Time);
        std::set<int> drawn;
        for (int s = 0; s < 5; ++s)
            if (counts[size_t(s * 10)] != 0) drawn.insert(s);
        EXPECT_EQ(drawn, c.Stripes) << int(c.Pattern) << " at " << c.Time;
    }
    // Pattern 4 fills rows the same way.
    const std::vector<int> rows = StripeCounts(4, 5, 200);
    EXPECT_EQ(rows[size_t(24 * 50)], 1);
    EXPECT_EQ(rows[size_t(6 * 50)], 1);
    EXPECT_EQ(rows[0], 0);
}

TEST(BlindDraw, SlatsOpenFromTheirSide) {
    // Half open: slats of 10 along 50 columns (directions 0, 2) or 6 along 30 rows (1, 3);
    // no slats count as one.
    const struct {
        uint8_t Direction;
        int32_t Count;
        TRect FirstSlat;
    } cases[] = {{0, 5, {0, 0, 5, 30}}, {2, 5, {5, 0, 10, 30}}, {1, 5, {0, 0, 50, 3}}, {3, 5, {0, 3, 50, 6}},
                 {0, 0, {0, 0, 25, 30}}};
    for (const auto& c : cases) {
        TBitmap32 picture = TestPicture(50, 30);
        TBlindTransitionPlugin blind;
        blind.Direction = c.Direction;
        blind.StripeCount = c.Count;
        const TBitmap32 target = RunFrame(blind, picture, TRect{0, 0, 50, 30}, 50, 30, 500);
        const TRect& r = c.FirstSlat;
        EXPECT_EQ(DrawnCount(target), std::max(c.Count, 1) * (r.Right - r.Left) * (r.Bottom - r.Top)) << int(c.Direction);
        EXPECT_NE(target.Pixel(r.Left, r.Top), 0u) << int(c.Direction);
        EXPECT_TRUE(ShowsPicture(target, picture, TRect{0, 0, 50, 30}, false));
    }
}

}  // namespace
