#include "graphics/VectorText.h"

#include "TestSupport.h"
#include "graphics/PngWriter.h"
#include "platform/FontFace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr TFixed kPx = 65536;
constexpr TColor32 kGround = Color32(30, 60, 90);

// Boxes from the fake source: at -16 pixels a glyph is 8 wide and 16 high with a hole
// inset by 2, advancing 10; lower-case letters reach 4 below the baseline; a space has
// no outline and advances 8.
class VectorTextFake : public ::testing::Test {
protected:
    void SetUp() override { SetGlyphOutlineSource(&fake_); }
    void TearDown() override { SetGlyphOutlineSource(nullptr); }

    static std::unique_ptr<TVectorText> Text(const AnsiString& s, int32_t size = -16, uint8_t mode = vdmPlain) {
        auto t = std::make_unique<TVectorText>();
        t->Font.Size = size;
        t->DrawMode = mode;
        t->SetText(s);
        return t;
    }
    static TFixedRect Px(int l, int t, int r, int b) { return {l * kPx, t * kPx, r * kPx, b * kPx}; }

    TFakeGlyphOutlineSource fake_;
};

bool HasFamily(const AnsiString& family) {
    TFontFile file;
    return FindFontFile(family, 0, file) && file.FamilyName == family;
}

int MaxDifference(const TBitmap32& a, const TBitmap32& b) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int s = 0; s < 32; s += 8)
                worst = std::max(worst, std::abs(int((a.Pixel(x, y) >> s) & 0xFF) - int((b.Pixel(x, y) >> s) & 0xFF)));
    return worst;
}

}  // namespace

TEST_F(VectorTextFake, EmptyTextAndLineBreaks) {
    auto t = Text("");
    TFixedRect bounds;
    t->Draw(0, 0, bounds, true, 0, nullptr);
    EXPECT_TRUE(t->Chars.empty());
    EXPECT_EQ(bounds, Px(-2, -2, 2, 2));

    t = Text("A\r\nB");
    ASSERT_EQ(t->Chars.size(), 3u);
    EXPECT_EQ(t->LineCount, 1);
    EXPECT_EQ(t->LineHeight, 16 * kPx);
    t->Draw(5 * kPx, 7 * kPx, bounds, true, 0, nullptr);
    EXPECT_EQ(t->Chars[1]->Kind, ckLineBreak);
    EXPECT_FALSE(t->Chars[1]->Visible);
    EXPECT_EQ(t->Chars[2]->X, 0);
    EXPECT_EQ(t->Chars[2]->Y, 16 * kPx + 16 * kPx / 5);
    // Glyph boxes grown by one pixel, the whole by two more, moved to (5, 7).
    EXPECT_EQ(bounds, (TFixedRect{5 * kPx - 3 * kPx, 7 * kPx - 3 * kPx, 5 * kPx + 11 * kPx,
                                  7 * kPx + 16 * kPx + 16 * kPx / 5 + 19 * kPx}));
}

TEST_F(VectorTextFake, CharacterKindsAndAdvances) {
    auto t = Text("A-b g");
    TFixedRect bounds;
    t->Draw(0, 0, bounds, true, 0, nullptr);
    const uint8_t kinds[] = {ckGlyph, ckHyphen, ckGlyph, ckSpace, ckGlyph};
    const int xs[] = {0, 10, 20, 30, 38};  // the space has no outline but its advance
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(t->Chars[i]->Kind, kinds[i]) << i;
        EXPECT_EQ(t->Chars[i]->X, xs[i] * kPx) << i;
    }
    EXPECT_TRUE(t->Chars[3]->Polygon->Points[0].empty());
    EXPECT_EQ(t->Chars[3]->Width(), 0);
    // The line is as high as the tallest glyph: 16, also for descending letters.
    EXPECT_EQ(t->LineHeight, 16 * kPx);
    EXPECT_EQ(t->Chars[2]->Metrics.OriginY, 4 * kPx);
}

TEST_F(VectorTextFake, WordWrapAndAlignment) {
    struct Case {
        const char* text;
        uint8_t mode;
        uint8_t alignment;
        int maxWidth;
        std::vector<std::pair<int, int>> xLine;  // per character: x and line
        std::vector<bool> visible;
    };
    const Case cases[] = {
        // "AA AA" needs 49 pixels: at 40 the second word moves down, its space vanishes.
        {"AA AA", vdmPlain, 0, 40, {{0, 0}, {10, 0}, {20, 1}, {0, 1}, {10, 1}}, {true, true, false, true, true}},
        {"AA AA", vdmPlain, 0, 47, {{0, 0}, {10, 0}, {20, 0}, {28, 0}, {38, 0}}, {true, true, true, true, true}},
        // Drop shadows take two pixels off the width.
        {"AA AA", vdmDropShadow, 0, 48, {{0, 0}, {10, 0}, {20, 1}, {0, 1}, {10, 1}}, {true, true, false, true, true}},
        // A hyphen ends a word.
        {"AA-AA", vdmPlain, 0, 35, {{0, 0}, {10, 0}, {20, 0}, {0, 1}, {10, 1}}, {true, true, true, true, true}},
        // A word wider than the box is broken where it must, without an empty line first.
        {"AAAA", vdmPlain, 0, 25, {{0, 0}, {10, 0}, {0, 1}, {10, 1}}, {true, true, true, true}},
        // Right: each line's last glyph ends at the width; centred: halfway.
        {"AA AA A", vdmPlain, 1, 40, {{21, 0}, {31, 0}, {23, 1}, {3, 1}, {13, 1}, {23, 1}, {31, 1}},
         {true, true, false, true, true, true, true}},
        {"AA\rA", vdmPlain, 2, 41, {{11, 0}, {21, 0}, {0, 1}, {16, 1}}, {true, true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto t = Text(c.text, -16, c.mode);
        t->Alignment = c.alignment;
        TFixedRect bounds;
        t->Draw(0, 0, bounds, true, c.maxWidth * kPx, nullptr);
        const TFixed advance = 16 * kPx + 16 * kPx / 5;
        ASSERT_EQ(t->Chars.size(), c.xLine.size());
        for (size_t i = 0; i < c.xLine.size(); ++i) {
            if (c.visible[i]) {
                EXPECT_EQ(t->Chars[i]->X, c.xLine[i].first * kPx) << i;
                EXPECT_EQ(t->Chars[i]->Y, c.xLine[i].second * advance) << i;
            }
            EXPECT_EQ(t->Chars[i]->Visible, c.visible[i]) << i;
        }
    }
}

TEST_F(VectorTextFake, SetTextOfTheSameTextOnlyWhileItHasCharacters) {
    auto t = Text("AB");
    const int calls = fake_.Calls;
    t->SetText("AB");
    EXPECT_EQ(fake_.Calls, calls);
    // Another height: the owner clears the characters, and the same text builds anew.
    t->Font.Size = -32;
    t->ClearGlyphCache();
    t->SetText("AB");
    EXPECT_GT(fake_.Calls, calls);
    EXPECT_EQ(t->LineHeight, 32 * kPx);
}

// Inside a glyph's bar, in its hole and in the shadow's bar, each mode draws its colours.
TEST_F(VectorTextFake, DrawModesInsideGlyphs) {
    const TColor32 fill = Color32(250, 200, 0), outline = Color32(0, 0, 160);
    struct Case {
        uint8_t mode;
        TColor32 bar, hole, shadowInHole, edge;
    } cases[] = {
        {vdmPlain, fill, kGround, kGround, fill},
        {vdmOutlined, fill, kGround, kGround, fill},
        {vdmShadedEdges, fill, kGround, kGround, 0},
        {vdmDropShadow, fill, kGround, outline, fill},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        // At -64 a glyph is 32 x 64 with bars 8 wide; drawn at (10, 10).
        auto t = Text("H", -64, c.mode);
        t->Color = fill;
        t->OutlineColor = outline;
        TBitmap32 b(80, 100);
        b.Clear(kGround);
        TFixedRect bounds;
        t->Draw(10 * kPx, 10 * kPx, bounds, false, 0, &b);
        EXPECT_EQ(b.Pixel(14, 40), c.bar);
        EXPECT_EQ(b.Pixel(30, 40), c.hole);
        EXPECT_EQ(b.Pixel(19, 40), c.shadowInHole);
        if (c.mode == vdmShadedEdges) {
            // The light comes from the upper left: the left edge is lit, the right one dark.
            EXPECT_GT(GreenComponent(b.Pixel(10, 40)), GreenComponent(fill));
            EXPECT_LT(RedComponent(b.Pixel(41, 40)), RedComponent(fill));
        } else {
            EXPECT_EQ(b.Pixel(10, 40) & 0xFFFFFF, c.edge & 0xFFFFFF);
        }
        if (c.mode == vdmOutlined) {
            // The outline runs along the edge and one pixel up and left; the fill covers its
            // inner half.
            EXPECT_LT(RedComponent(b.Pixel(9, 40)), RedComponent(kGround));
            EXPECT_GT(BlueComponent(b.Pixel(9, 40)), BlueComponent(kGround));
        }
        EXPECT_EQ(b.Pixel(60, 40), kGround);
        // Alpha makes both colours translucent.
        t->Alpha = 128;
        b.Clear(kGround);
        t->Draw(10 * kPx, 10 * kPx, bounds, false, 0, &b);
        EXPECT_EQ(b.Pixel(11, 40), BlendPixel(SetAlpha(fill, 128), kGround));
    }
}

// A character from the cache looks as it does drawn from its outline, on an opaque and on
// a transparent ground. With Alpha below 255 that holds for plain fills only: drawn from
// the outline, a translucent fill lets its own shadow or outline show through.
TEST_F(VectorTextFake, CachedCharactersEqualUncachedOnes) {
    for (uint8_t mode : {vdmPlain, vdmOutlined, vdmDropShadow})
        for (TColor32 ground : {kGround, TColor32(0x00FFFFFF)})
            for (uint8_t alpha : {uint8_t(255), uint8_t(140)}) {
                if (alpha != 255 && mode != vdmPlain) continue;
                SCOPED_TRACE(std::to_string(mode) + " " + std::to_string(ground) + " " + std::to_string(alpha));
                auto t = Text("Hg H", -20, mode);
                t->Color = Color32(250, 200, 0, 230);
                t->OutlineColor = Color32(0, 0, 160);
                t->Alpha = alpha;
                TBitmap32 plain(120, 60), cached(120, 60);
                plain.Clear(ground);
                cached.Clear(ground);
                TFixedRect bounds;
                t->Draw(7 * kPx, 9 * kPx, bounds, false, 0, &plain);
                t->LayoutGlyphs();
                ASSERT_TRUE(t->GlyphCache['H'].Bitmap);
                ASSERT_FALSE(t->GlyphCache[' '].Bitmap);
                t->Draw(7 * kPx, 9 * kPx, bounds, false, 0, &cached);
                EXPECT_LE(MaxDifference(plain, cached), 2);
            }
}

TEST(VectorText, DefaultsAndRealGlyphsShareABaseline) {
    TVectorText t;
    EXPECT_EQ(t.Font.Name, "Arial");
    EXPECT_EQ(t.Font.Size, 16);
    EXPECT_EQ(t.DrawMode, vdmDropShadow);
    EXPECT_EQ(t.Color, 0xFFFFFFFFu);
    EXPECT_EQ(t.OutlineColor, 0xFF000000u);
    EXPECT_TRUE(t.Antialiased);
    for (const char* family : {"Liberation Sans", "DejaVu Sans"}) {
        if (!HasFamily(family)) GTEST_SKIP() << family << " is not installed";
        TVectorText v;
        v.Font.Name = family;
        v.Font.Size = -72;
        v.SetText("Ag");
        TFixedRect bounds;
        v.Draw(0, 0, bounds, true, 0, nullptr);
        // Where each glyph's own baseline lands: its drawn top less its top in the outline.
        TFixed baseline[2];
        for (int i = 0; i < 2; ++i) {
            const TCharVector& c = *v.Chars[size_t(i)];
            const TFixed top = c.Y + v.LineHeight - c.Height() + c.Metrics.OriginY;
            baseline[i] = top - c.MinY;
            size_t points = 0;
            for (const auto& contour : c.SavedPoints) points += contour.size();
            EXPECT_GT(points, 12u);
        }
        EXPECT_NEAR(baseline[0], baseline[1], 1024) << family;
        EXPECT_NEAR(baseline[0], v.LineHeight, 1024) << family;
    }
}

TEST(VectorText, RenderedSheet) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    TBitmap32 sheet(900, 660);
    for (int y = 0; y < sheet.Height(); ++y)
        for (int x = 0; x < sheet.Width(); ++x)
            sheet.SetPixel(x, y, Color32(uint8_t(40 + x / 8), uint8_t(60 + y / 8), 120));
    int y = 10;
    for (uint8_t mode : {vdmPlain, vdmOutlined, vdmShadedEdges, vdmDropShadow})
        for (bool cached : {false, true}) {
            TVectorText t;
            t.Font.Size = -48;
            t.DrawMode = mode;
            t.Color = Color32(255, 230, 120);
            t.OutlineColor = Color32(20, 20, 60);
            t.SetText("Glowcanvas \xC4\xDF\x80\x84 \"g\" 0123");
            if (cached) t.LayoutGlyphs();
            TFixedRect bounds;
            t.Draw(10 * kPx, y * kPx, bounds, false, 0, &sheet);
            y += 64;
        }
    for (const char* family : {"Cantarell", "DejaVu Sans"}) {
        TVectorText t;
        t.Font.Name = family;
        t.Font.Size = -28;
        t.DrawMode = vdmPlain;
        t.Alignment = 2;
        t.SetText("Wrapped and centred text in a box\rof 420 pixels, second paragraph.");
        TFixedRect bounds;
        t.DrawInRect({(family[0] == 'C' ? 10 : 460) * kPx, 530 * kPx, (family[0] == 'C' ? 430 : 880) * kPx, 610 * kPx},
                     &sheet, bounds, false);
    }
    WritePngPicture(sheet, (TestOutputFolder() / "vector_text_sheet.png").string());
}

// Without anti-aliasing, glyphs are filled with whole pixels only, also from the cache.
TEST(VectorText, PlainFillsWithoutAntialiasing) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    for (bool cached : {false, true}) {
        TVectorText t;
        t.Font.Size = -40;
        t.DrawMode = vdmPlain;
        t.Antialiased = false;
        t.Color = Color32(255, 230, 120);
        t.SetText("Sog 8");
        if (cached) t.LayoutGlyphs();
        TBitmap32 b(200, 70);
        b.Clear(kGround);
        TFixedRect bounds;
        t.Draw(5 * kPx + kPx / 3, 5 * kPx, bounds, false, 0, &b);
        int ink = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                const TColor32 p = b.Pixel(x, y);
                ASSERT_TRUE(p == kGround || p == t.Color) << x << "," << y;
                ink += p == t.Color;
            }
        EXPECT_GT(ink, 500) << cached;
    }
}
