#include "TestSupport.h"
#include "graphics/Bitmap32.h"
#include "picture_testsupport.h"
#include "platform/SysColors.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr TColor32 kPaper = Color32(40, 60, 80, 200);

TBitmap32 Paper(int w, int h) {
    TBitmap32 b(w, h);
    b.Clear(kPaper);
    return b;
}

void SavePng(const TBitmap32& b, const std::string& name) {
    const std::vector<uint8_t> png = EncodePng(b.Width(), b.Height(), [&](int x, int y) { return b.Pixel(x, y); });
    std::ofstream((TestOutputFolder() / name).string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
}

// The bounding box of the pixels that differ from the paper.
TRect InkBox(const TBitmap32& b) {
    TRect r{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.Pixel(x, y) != kPaper) {
                r.Left = std::min(r.Left, x);
                r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1);
                r.Bottom = std::max(r.Bottom, y + 1);
            }
    return r;
}

}  // namespace

TEST(BitmapText, TextoutSetsOpaqueFontColourWithoutAntiAliasing) {
    struct Case {
        TColor color;    // Windows colour of the font
        TColor32 pixel;  // what the covered pixels become
    } cases[] = {
        {0x000000FF, Color32(255, 0, 0)},
        {0x00FFFFFF, clWhite32},
        {0x00336699, Color32(0x99, 0x66, 0x33)},
        {clWindowText, WinColorToColor32(ColorToRGB(clWindowText))},
    };
    for (const Case& c : cases) {
        TBitmap32 b = Paper(120, 40);
        b.Font.Size = 14;
        b.Font.Color = c.color;
        b.Textout(4, 4, "Wg\xE4@");
        int ink = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                const TColor32 p = b.Pixel(x, y);
                ASSERT_TRUE(p == kPaper || p == c.pixel) << std::hex << p;
                ink += p == c.pixel;
            }
        EXPECT_GT(ink, 30);
    }
}

TEST(BitmapText, TheCellsTopLeftIsThePosition) {
    TBitmap32 b = Paper(200, 60);
    b.Font.Size = 20;
    const AnsiString text = "Hdgy";
    const TSize extent = b.TextExtent(text);
    b.Textout(30, 10, text);
    const TRect ink = InkBox(b);
    // Upright text stays inside its cell, its descenders reaching the cell's lower part.
    EXPECT_GE(ink.Left, 30);
    EXPECT_GE(ink.Top, 10);
    EXPECT_LE(ink.Right, 30 + extent.cx);
    EXPECT_LE(ink.Bottom, 10 + extent.cy);
    EXPECT_GT(ink.Bottom, 10 + extent.cy * 3 / 4);
    EXPECT_LT(ink.Top, 10 + extent.cy / 3);

}

TEST(BitmapText, ExtentsGrowWithTheText) {
    TBitmap32 b;
    b.Font.Name = "Arial";
    b.Font.Size = 8;
    const TSize empty = b.TextExtent("");
    const TSize one = b.TextExtent("Bild");
    const TSize two = b.TextExtent("Bild nicht gefunden");
    EXPECT_EQ(empty.cx, 0);
    EXPECT_GT(empty.cy, 0);
    EXPECT_GT(one.cx, 0);
    EXPECT_GT(two.cx, one.cx);
    EXPECT_EQ(one.cy, two.cy);
    // 8 points and 11 pixels are the same height.
    TBitmap32 pixels;
    pixels.Font.Size = -11;
    EXPECT_EQ(pixels.TextExtent("Bild nicht gefunden"), two);
}

TEST(BitmapText, TextIsClippedAtTheEdges) {
    const AnsiString text = "Kante \xC4\xD6\xDC";
    TBitmap32 whole = Paper(160, 40);
    whole.Font.Size = 14;
    whole.Textout(20, 10, text);
    struct Case {
        int x, y;
    } cases[] = {{-10, 10}, {100, 30}, {-5, -5}};
    for (const Case& c : cases) {
        TBitmap32 part = Paper(160, 40);
        part.Font = whole.Font;
        part.Textout(c.x, c.y, text);
        const int dx = c.x - 20, dy = c.y - 10;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 160; ++x) {
                const int sx = x - dx, sy = y - dy;
                const TColor32 expected = sx >= 0 && sx < 160 && sy >= 0 && sy < 40 ? whole.Pixel(sx, sy) : kPaper;
                ASSERT_EQ(part.Pixel(x, y), expected) << c.x << "," << c.y << " at " << x << "," << y;
            }
    }
    // Far outside, and into an empty bitmap: nothing happens.
    TBitmap32 b = Paper(10, 10);
    b.Textout(INT32_MIN, INT32_MAX, text);
    b.Textout(INT32_MAX - 5, 0, text);
    EXPECT_EQ(InkBox(b), (TRect{10, 10, 0, 0}));
    TBitmap32 none;
    none.Textout(0, 0, text);
}

TEST(BitmapText, RendersASampleSheet) {
    struct Line {
        const char* name;
        int32_t size;
        uint8_t style;
    } lines[] = {{"Arial", 8, 0},        {"Arial", -11, fsBold}, {"MS Sans Serif", -11, 0},
                 {"Arial", 14, fsItalic}, {"Arial", 24, 0},       {"Times New Roman", 20, fsBold | fsItalic}};
    const AnsiString text = "Gr\xFC\xDF" "e \xC4\xD6\xDC \xE4\xF6\xFC \x80 \x84Zitat\x93 ? Datei nicht gefunden";
    TBitmap32 b(640, 200);
    b.Clear(clWhite32);
    int y = 4;
    for (const Line& l : lines) {
        b.Font.Name = l.name;
        b.Font.Size = l.size;
        b.Font.Style = l.style;
        b.Font.Color = 0x00802000;
        b.Textout(4, y, text);
        y += b.TextHeight(text) + 2;
    }
    SavePng(b, "bitmap_text_sheet.png");
    EXPECT_LE(y, b.Height());
}
