#include "platform/FontFace.h"
#include "platform/FontRegistry.h"
#include "platform/GlyphOutline.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>
#include <vector>

namespace {

TFont MakeFont(const char* name, int32_t size = -64, uint8_t style = 0) {
    TFont f;
    f.Name = name;
    f.Size = size;
    f.Style = style;
    return f;
}

bool HasFamily(const AnsiString& family) {
    TFontFile file;
    return FindFontFile(family, 0, file) && file.FamilyName == family;
}

// The buffer read back on its own terms: contours, record types and every point.
struct TParsed {
    bool WellFormed = true;
    int Contours = 0;
    std::map<int, int> Records;  // type -> count
    std::vector<std::pair<int32_t, int32_t>> Points;
};

int32_t I32(const std::vector<uint8_t>& b, size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}
int U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

TParsed Parse(const std::vector<uint8_t>& b) {
    TParsed p;
    size_t at = 0;
    while (at < b.size()) {
        if (at + 16 > b.size()) return p.WellFormed = false, p;
        const size_t cb = size_t(uint32_t(I32(b, at)));
        if (cb < 16 || at + cb > b.size() || I32(b, at + 4) != 24) return p.WellFormed = false, p;
        ++p.Contours;
        p.Points.emplace_back(I32(b, at + 8), I32(b, at + 12));
        size_t r = at + 16;
        while (r < at + cb) {
            const int type = U16(b, r), n = U16(b, r + 2);
            if (r + 4 + size_t(n) * 8 > at + cb || n == 0) return p.WellFormed = false, p;
            if (type == 3 && n % 3 != 0) p.WellFormed = false;
            if (type == 2 && n < 2) p.WellFormed = false;
            ++p.Records[type];
            for (int i = 0; i < n; ++i) p.Points.emplace_back(I32(b, r + 4 + size_t(i) * 8), I32(b, r + 8 + size_t(i) * 8));
            r += 4 + size_t(n) * 8;
        }
        at += cb;
    }
    return p;
}

struct TOutline {
    uint32_t Size = 0;
    TGlyphOutlineMetrics Metrics;
    std::vector<uint8_t> Buffer;
};

TOutline Fetch(const TFont& font, uint8_t code) {
    TOutline o;
    o.Size = GetGlyphOutline(font, code, o.Metrics, nullptr, 0);
    if (o.Size == 0 || o.Size == kGlyphOutlineError) return o;
    o.Buffer.assign(o.Size, 0);
    TGlyphOutlineMetrics again;
    EXPECT_EQ(GetGlyphOutline(font, code, again, o.Buffer.data(), o.Size), o.Size);
    EXPECT_EQ(again, o.Metrics);
    return o;
}

}  // namespace

// The extent of the points equals the black box: the bottom edge is minus OriginY (y is
// flipped), and "A" stands on the baseline.
TEST(GlyphOutline, MetricsMatchThePointsInBothFaces) {
    for (const char* family : {"Liberation Sans", "DejaVu Sans"}) {
        if (!HasFamily(family)) GTEST_SKIP() << family << " is not installed";
        for (uint8_t code : {uint8_t('A'), uint8_t('g'), uint8_t('o'), uint8_t('j'), uint8_t(0xC4)}) {
            SCOPED_TRACE(std::string(family) + " " + char(code));
            const TOutline o = Fetch(MakeFont(family), code);
            ASSERT_GT(o.Size, 0u);
            TParsed p = Parse(o.Buffer);
            ASSERT_TRUE(p.WellFormed);
            int32_t minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;
            for (auto [x, y] : p.Points) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
            // Outlines put points on their extremes, so the points reach the black box.
            EXPECT_NEAR(minX, o.Metrics.OriginX, 1024);
            EXPECT_NEAR(maxY, o.Metrics.OriginY, 1024);
            EXPECT_NEAR(maxX - minX, o.Metrics.BlackBoxX, 2048);
            EXPECT_NEAR(maxY - minY, o.Metrics.BlackBoxY, 2048);
            EXPECT_EQ(o.Metrics.CellIncY, 0);
            EXPECT_GT(o.Metrics.CellIncX, 10);
            if (code == 'A') {
                EXPECT_NEAR(o.Metrics.OriginY, 0, 1024);
            }
            if (code == 'g') {
                EXPECT_GT(o.Metrics.OriginY, 8 * 65536);  // the descender
            }
            EXPECT_EQ(p.Records.count(3), 0u) << "TrueType has no cubic pieces";
            EXPECT_GT(p.Records[2] + p.Records[1], 0);
        }
    }
}

// Windows-1252 codes reach the right characters; unassigned codes have none.
TEST(GlyphOutline, Windows1252CodesInLiberationSans) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    const TFont font = MakeFont("Liberation Sans");
    const TOutline a = Fetch(font, 'A'), zero = Fetch(font, '0'), comma = Fetch(font, ',');
    const TOutline aUml = Fetch(font, 0xC4), sz = Fetch(font, 0xDF), euro = Fetch(font, 0x80), quote = Fetch(font, 0x84);
    // "Ä" is "A" with two dots, as wide as "A".
    EXPECT_EQ(Parse(aUml.Buffer).Contours, Parse(a.Buffer).Contours + 2);
    EXPECT_EQ(aUml.Metrics.CellIncX, a.Metrics.CellIncX);
    EXPECT_GT(aUml.Metrics.BlackBoxY, a.Metrics.BlackBoxY);
    // "ß" is one stroke reaching above the x height.
    EXPECT_EQ(Parse(sz.Buffer).Contours, 1);
    EXPECT_GT(sz.Metrics.BlackBoxY, a.Metrics.BlackBoxY / 2);
    // The euro sign has the figures' width.
    EXPECT_GT(euro.Size, 0u);
    EXPECT_EQ(euro.Metrics.CellIncX, zero.Metrics.CellIncX);
    // The low double quote: two commas, at the comma's height.
    EXPECT_EQ(Parse(quote.Buffer).Contours, 2 * Parse(comma.Buffer).Contours);
    EXPECT_NEAR(quote.Metrics.OriginY, comma.Metrics.OriginY, 65536);

    for (uint8_t code : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        TGlyphOutlineMetrics m;
        EXPECT_EQ(GetGlyphOutline(font, code, m, nullptr, 0), kGlyphOutlineError) << int(code);
    }
}

TEST(GlyphOutline, SpaceHasNoOutlineButItsAdvance) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    TGlyphOutlineMetrics m;
    EXPECT_EQ(GetGlyphOutline(MakeFont("Liberation Sans", -100), ' ', m, nullptr, 0), 0u);
    // 569 of 2048 units at 100 pixels.
    EXPECT_EQ(m.CellIncX, 28);
    EXPECT_EQ(m.BlackBoxX, 0);
    EXPECT_EQ(m.BlackBoxY, 0);
}

TEST(GlyphOutline, SizesScaleAndPointsAre96Dpi) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    // 48 points are 64 pixels at 96 dpi.
    const TOutline points = Fetch(MakeFont("Liberation Sans", 48), 'H');
    const TOutline pixels = Fetch(MakeFont("Liberation Sans", -64), 'H');
    EXPECT_EQ(points.Buffer, pixels.Buffer);
    const TOutline twice = Fetch(MakeFont("Liberation Sans", -128), 'H');
    EXPECT_NEAR(twice.Metrics.BlackBoxY, 2 * pixels.Metrics.BlackBoxY, 2);
    // "H" of Liberation Sans is 1409 of 2048 units high.
    EXPECT_NEAR(pixels.Metrics.BlackBoxY, 1409.0 * 64 / 2048 * 65536, 1);
}

TEST(GlyphOutline, ArialGivesLiberationSans) {
    if (!HasFamily("Liberation Sans")) GTEST_SKIP() << "fonts-liberation2 is not installed";
    for (uint8_t code : {uint8_t('A'), uint8_t('g'), uint8_t(0xDF)}) {
        EXPECT_EQ(Fetch(MakeFont("arial"), code).Buffer, Fetch(MakeFont("Liberation Sans"), code).Buffer);
    }
}

TEST(GlyphOutline, CffFontGivesCubicPieces) {
    if (!HasFamily("Cantarell")) GTEST_SKIP() << "fonts-cantarell is not installed";
    for (uint8_t code : {uint8_t('O'), uint8_t('g'), uint8_t('S')}) {
        const TOutline o = Fetch(MakeFont("Cantarell"), code);
        TParsed p = Parse(o.Buffer);
        ASSERT_TRUE(p.WellFormed);
        EXPECT_GT(p.Records[3], 0) << char(code);
        EXPECT_EQ(p.Records.count(2), 0u);
    }
}

// A face of the show's own Fonts folder is the one read: once the copy's content changes,
// so do the outlines, while the installed face stays as it was.
TEST(GlyphOutline, ShowFontWinsOverTheInstalledOne) {
    const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
    if (!std::filesystem::exists(dejavu + "DejaVuSans.ttf") || !std::filesystem::exists(dejavu + "DejaVuSansMono.ttf"))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Fonts");
    const std::filesystem::path copy = dir.Path() / "Fonts" / "DejaVuSans.ttf";
    std::filesystem::copy_file(dejavu + "DejaVuSans.ttf", copy);
    const AnsiString program = dir.Program() + "Fonts\\DejaVuSans.ttf";
    const TFont font = MakeFont("DejaVu Sans");
    const TOutline installed = Fetch(font, 'm');
    ASSERT_EQ(AddFontResource(program), 1);
    EXPECT_EQ(Fetch(font, 'm').Buffer, installed.Buffer);
    std::filesystem::copy_file(dejavu + "DejaVuSansMono.ttf", copy, std::filesystem::copy_options::overwrite_existing);
    EXPECT_NE(Fetch(font, 'm').Buffer, installed.Buffer);
    EXPECT_TRUE(RemoveFontResource(program));
    EXPECT_EQ(Fetch(font, 'm').Buffer, installed.Buffer);
}

TEST(GlyphOutline, FakeSourceStandsIn) {
    TFakeGlyphOutlineSource fake;
    SetGlyphOutlineSource(&fake);
    const TOutline box = Fetch(MakeFont("Anything", -16), 'H');
    const TOutline low = Fetch(MakeFont("Anything", -16), 'g');
    TGlyphOutlineMetrics m;
    EXPECT_EQ(GetGlyphOutline(MakeFont("Anything", -16), 7, m, nullptr, 0), kGlyphOutlineError);
    SetGlyphOutlineSource(nullptr);
    EXPECT_EQ(Parse(box.Buffer).Contours, 2);
    EXPECT_EQ(box.Metrics, (TGlyphOutlineMetrics{8 * 65536, 16 * 65536, 0, 0, 10, 0}));
    EXPECT_EQ(low.Metrics.OriginY, 4 * 65536);
    EXPECT_EQ(fake.Calls, 5);
}
