#include "platform/FontFace.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

namespace {

TFont MakeFont(const char* name, int32_t size, uint8_t style = 0) {
    TFont f;
    f.Name = name;
    f.Size = size;
    f.Style = style;
    return f;
}

// Whether fontconfig has the family itself (the font package may be missing).
bool HasFamily(const AnsiString& family) {
    TFontFile file;
    return FindFontFile(family, 0, file) && file.FamilyName == family;
}

int CountInk(const TTextCoverage& c) {
    int n = 0;
    for (uint8_t a : c.Alpha) n += a != 0;
    return n;
}

}  // namespace

TEST(FontFace, PixelSizeFromPointsOrPixels) {
    struct Case {
        int32_t size;
        int32_t pixels;
    } cases[] = {
        {8, 11},  {10, 13}, {12, 16}, {9, 12}, {72, 96},  // points at 96 dpi, MulDiv rounding
        {-11, 11}, {-1, 1},                                // negative: pixels
        {0, 13},                                           // default 10 points
        {INT_MAX, kMaxFontPixelSize}, {INT_MIN, kMaxFontPixelSize},
    };
    for (const Case& c : cases) EXPECT_EQ(FontPixelSize(MakeFont("Arial", c.size)), c.pixels) << c.size;
}

TEST(FontFace, ArialFindsLiberationSans) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    TFontFile regular, bold, italic;
    ASSERT_TRUE(FindFontFile("Arial", 0, regular));
    EXPECT_EQ(regular.FamilyName, "Liberation Sans");
    EXPECT_FALSE(regular.Bold);
    EXPECT_FALSE(regular.Italic);
    // Family names are matched without regard to case.
    TFontFile lower;
    ASSERT_TRUE(FindFontFile("arial", 0, lower));
    EXPECT_EQ(lower, regular);
    ASSERT_TRUE(FindFontFile("Arial", fsBold, bold));
    EXPECT_TRUE(bold.Bold);
    EXPECT_NE(bold.Path, regular.Path);
    ASSERT_TRUE(FindFontFile("Arial", fsItalic | fsUnderline, italic));
    EXPECT_TRUE(italic.Italic);
}

TEST(FontFace, UnknownFamiliesStillFindAFace) {
    TFontFile file;
    ASSERT_TRUE(FindFontFile("MS Sans Serif", 0, file));
    EXPECT_FALSE(file.Path.empty());
    ASSERT_TRUE(FindFontFile("No Such Family \xC4\xD6\xDC", 0, file));
    auto face = GetFontFace(MakeFont("MS Sans Serif", -11));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->PixelSize(), 11);
    EXPECT_GT(face->CellHeight(), 11);
}

TEST(FontFace, FacesAreSharedPerFileSizeAndStyle) {
    auto a = GetFontFace(MakeFont("Arial", 8));
    auto b = GetFontFace(MakeFont("arial", -11, fsUnderline));  // same pixels; underline is no face style
    ASSERT_TRUE(a);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, GetFontFace(MakeFont("Arial", 9)));
    EXPECT_NE(a, GetFontFace(MakeFont("Arial", 8, fsBold)));
    TFontFile missing;
    missing.Path = "/nonexistent/font.ttf";
    EXPECT_EQ(GetFontFaceFromFile(missing, 12, 0), nullptr);
}

TEST(FontFace, MonoCoverageIsOnOrOffAntiAliasedIsNot) {
    auto face = GetFontFace(MakeFont("Arial", 20));
    ASSERT_TRUE(face);
    const TTextCoverage mono = face->RenderText("Sog", TGlyphMode::Mono);
    const TTextCoverage aa = face->RenderText("Sog", TGlyphMode::AntiAliased);
    ASSERT_GT(CountInk(mono), 0);
    bool monoPartial = false, aaPartial = false;
    for (uint8_t a : mono.Alpha) monoPartial |= a != 0 && a != 255;
    for (uint8_t a : aa.Alpha) aaPartial |= a != 0 && a != 255;
    EXPECT_FALSE(monoPartial);
    EXPECT_TRUE(aaPartial);
}

TEST(FontFace, WidthsAddUpWithoutKerning) {
    auto face = GetFontFace(MakeFont("Arial", 24));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->TextWidth(""), 0);
    for (const char* pair : {"AV", "To", "Wa", "ab"}) {
        const AnsiString s(pair);
        EXPECT_EQ(face->TextWidth(s), face->TextWidth(s.substr(0, 1)) + face->TextWidth(s.substr(1))) << s;
    }
    EXPECT_LT(face->TextWidth("Hello"), face->TextWidth("Hello World"));
    // Upright glyphs stay inside the cell of advances by line height.
    const TTextCoverage c = face->RenderText("Hxg", TGlyphMode::Mono);
    EXPECT_EQ((std::vector<int>{c.OriginX, c.OriginY, c.Width, c.Height}),
              (std::vector<int>{0, 0, face->TextWidth("Hxg"), face->CellHeight()}));
}

TEST(FontFace, WindowsCharactersFindTheirGlyphs) {
    auto face = GetFontFace(MakeFont("Arial", 24));
    ASSERT_TRUE(face);
    // 0x81 has no character in Windows-1252, so it shows the missing-glyph box.
    const TTextCoverage missing = face->RenderText("\x81", TGlyphMode::Mono);
    struct Case {
        const char* text;
        const char* base;  // a different character it must not look like
    } cases[] = {{"\xC4", "A"}, {"\xF6", "o"}, {"\xDF", "B"}, {"\x80", "C"}, {"\x84", ","}};
    for (const Case& c : cases) {
        const TTextCoverage glyph = face->RenderText(c.text, TGlyphMode::Mono);
        EXPECT_GT(CountInk(glyph), 0) << c.text;
        EXPECT_NE(glyph.Alpha, missing.Alpha) << c.text;
        EXPECT_NE(glyph.Alpha, face->RenderText(c.base, TGlyphMode::Mono).Alpha) << c.text;
    }
    // The umlaut's dots sit above the plain letter, which is otherwise the same.
    const TTextCoverage a = face->RenderText("A", TGlyphMode::Mono);
    const TTextCoverage ae = face->RenderText("\xC4", TGlyphMode::Mono);
    ASSERT_EQ(a.Width, ae.Width);
    ASSERT_EQ(a.Height, ae.Height);
    int firstRowA = a.Height, firstRowAe = ae.Height;
    for (int y = a.Height - 1; y >= 0; --y)
        for (int x = 0; x < a.Width; ++x) {
            if (a.At(x, y)) firstRowA = y;
            if (ae.At(x, y)) firstRowAe = y;
        }
    EXPECT_LT(firstRowAe, firstRowA);
}

TEST(FontFace, MissingStylesAreSynthesised) {
    TFontFile file;
    ASSERT_TRUE(FindFontFile("Arial", 0, file));
    ASSERT_FALSE(file.Bold);
    auto regular = GetFontFaceFromFile(file, 24, 0);
    auto bold = GetFontFaceFromFile(file, 24, fsBold);
    auto italic = GetFontFaceFromFile(file, 24, fsItalic);
    ASSERT_TRUE(regular && bold && italic);
    const TTextCoverage r = regular->RenderText("Hello", TGlyphMode::Mono);
    const TTextCoverage b = bold->RenderText("Hello", TGlyphMode::Mono);
    const TTextCoverage i = italic->RenderText("Hello", TGlyphMode::Mono);
    EXPECT_GT(CountInk(b), CountInk(r) * 11 / 10);
    EXPECT_NE(i.Alpha, r.Alpha);
}

TEST(FontFace, ThreadsShareFaces) {
    auto face = GetFontFace(MakeFont("Arial", 16));
    ASSERT_TRUE(face);
    const TTextCoverage expected = face->RenderText("Gr\xFC\xDF" "e", TGlyphMode::Mono);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                // Other sizes come and go in the cache meanwhile.
                auto other = GetFontFace(MakeFont("Arial", 10 + (t * 50 + i) % 40));
                if (other) other->TextWidth("x\xE4y");
                if (face->RenderText("Gr\xFC\xDF" "e", TGlyphMode::Mono).Alpha != expected.Alpha) ++mismatches[t];
            }
        });
    for (auto& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}
