#include "graphics/JpegReader.h"
#include "graphics/JpegWriter.h"
#include "graphics/PackedDIB.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr TColor32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
                   kBlack = 0xFF000000;

// A plain 40-byte header, written field by field.
Bytes Header(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0, uint32_t clrUsed = 0,
             uint32_t size = 40) {
    Bytes b;
    b.u32(size).i32(w).i32(h).u8(1).u8(0).u8(uint8_t(bits)).u8(uint8_t(bits >> 8)).u32(compression).u32(0);
    b.i32(2835).i32(2835).u32(clrUsed).u32(0);
    return b;
}

Bytes& Entry(Bytes& b, TColor32 c) { return b.u8(BlueComponent(c)).u8(GreenComponent(c)).u8(RedComponent(c)).u8(0); }
Bytes& Word16(Bytes& b, uint16_t v) { return b.u8(uint8_t(v)).u8(uint8_t(v >> 8)); }

TBitmap32 Decode(const std::vector<uint8_t>& dib) {
    TBitmap32 b;
    EXPECT_TRUE(PackedDIBToBitmap32(dib.data(), dib.size(), b));
    return b;
}

void ExpectPixels(const TBitmap32& b, int w, int h, const std::vector<TColor32>& topDownPixels) {
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_EQ(b.Pixel(x, y), topDownPixels[size_t(y * w + x)]) << x << "," << y;
}

// Rows bottom-up, each 3 x 3 bytes padded with junk to 12, which must be skipped.
TEST(PackedDIB, TwentyFourBitsAtOddWidthSkipsThePadding) {
    Bytes b = Header(3, 2, 24);
    b.u8(0xFF).u8(0xFF).u8(0xFF).u8(0).u8(0).u8(0).u8(0xFF).u8(0).u8(0).u8(0xEE).u8(0xEE).u8(0xEE);  // bottom
    b.u8(0).u8(0).u8(0xFF).u8(0).u8(0xFF).u8(0).u8(0x30).u8(0x20).u8(0x10).u8(0xEE).u8(0xEE).u8(0xEE);  // top
    ExpectPixels(Decode(b), 3, 2, {kRed, kGreen, 0xFF102030, kWhite, kBlack, kBlue});
}

TEST(PackedDIB, SixteenBitsFiveSixFiveFromMasksAfterTheHeader) {
    Bytes b = Header(2, 1, 16, BI_BITFIELDS);
    b.u32(0xF800).u32(0x07E0).u32(0x001F);
    Word16(b, 0xF800);
    Word16(b, 0x07E0 | 0x0010);  // full green, blue at 16 of 31
    ExpectPixels(Decode(b), 2, 1, {kRed, Color32(0, 255, 132)});
}

TEST(PackedDIB, SixteenBitsWithoutMasksAreFiveFiveFive) {
    Bytes b = Header(2, 1, 16);
    Word16(b, 0x7C00);
    Word16(b, 0x03E0 | 0x001F);
    ExpectPixels(Decode(b), 2, 1, {kRed, Color32(0, 255, 255)});
}

// Masks in an unusual order prove they are read, not assumed; alpha comes out 255.
TEST(PackedDIB, ThirtyTwoBitBitfieldsAndPlainThirtyTwoBits) {
    Bytes b = Header(2, 1, 32, BI_BITFIELDS);
    b.u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000);
    b.u8(0x11).u8(0x22).u8(0x33).u8(0x00);
    b.u8(0xFF).u8(0x00).u8(0x00).u8(0x7F);
    ExpectPixels(Decode(b), 2, 1, {Color32(0x11, 0x22, 0x33), kRed});

    Bytes plain = Header(1, 1, 32);
    plain.u8(0x33).u8(0x22).u8(0x11).u8(0x00);
    ExpectPixels(Decode(plain), 1, 1, {Color32(0x11, 0x22, 0x33)});
}

// Plain 32-bit rows go several pixels at a time: every width around that step, from a
// buffer at an odd address, keeps each pixel in place and opaque whatever its X byte.
TEST(PackedDIB, PlainThirtyTwoBitRowsOfEveryWidth) {
    for (int w = 1; w <= 13; ++w) {
        Bytes b = Header(w, 2, 32);
        std::vector<TColor32> topDown(size_t(2 * w));
        for (int y = 1; y >= 0; --y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = uint8_t(16 * y + x + 1);
                b.u8(v).u8(uint8_t(v + 100)).u8(uint8_t(v + 200)).u8(uint8_t(x * 37));
                topDown[size_t(y * w + x)] = Color32(uint8_t(v + 200), uint8_t(v + 100), v);
            }
        std::vector<uint8_t> shifted(1);
        shifted.insert(shifted.end(), b.vec().begin(), b.vec().end());
        TBitmap32 out;
        ASSERT_TRUE(PackedDIBToBitmap32(shifted.data() + 1, b.size(), out)) << w;
        ExpectPixels(out, w, 2, topDown);
    }
}

// The table's length decides where the pixels start: biClrUsed entries, or all 256
// when it is 0.
TEST(PackedDIB, EightBitsWithAShortTableAndWithAFullOne) {
    Bytes used = Header(3, 1, 8, BI_RGB, 3);
    Entry(Entry(Entry(used, kRed), kGreen), kBlue);
    used.u8(2).u8(0).u8(1).u8(0xEE);
    ExpectPixels(Decode(used), 3, 1, {kBlue, kRed, kGreen});

    Bytes full = Header(3, 1, 8);
    for (int i = 0; i < 256; ++i) Entry(full, Color32(uint8_t(i), uint8_t(255 - i), 7));
    full.u8(0).u8(200).u8(255).u8(0xEE);
    ExpectPixels(Decode(full), 3, 1, {Color32(0, 255, 7), Color32(200, 55, 7), Color32(255, 0, 7)});
}

TEST(PackedDIB, IndexesPastTheTableAreBlack) {
    Bytes b = Header(2, 1, 8, BI_RGB, 1);
    Entry(b, kWhite);
    b.u8(0).u8(9).u8(0).u8(0);
    ExpectPixels(Decode(b), 2, 1, {kWhite, kBlack});
}

// Nine pixels cross a byte; the second row starts on the next word.
TEST(PackedDIB, OneAndFourBits) {
    Bytes one = Header(9, 2, 1);
    Entry(Entry(one, kBlack), kWhite);
    one.u8(0b00000000).u8(0b10000000).u8(0).u8(0);  // bottom: only x = 8 white
    one.u8(0b10100000).u8(0b00000000).u8(0).u8(0);  // top: x = 0 and 2 white
    std::vector<TColor32> px(18, kBlack);
    px[0] = px[2] = px[9 + 8] = kWhite;
    ExpectPixels(Decode(one), 9, 2, px);

    Bytes four = Header(3, 1, 4, BI_RGB, 16);
    for (int i = 0; i < 16; ++i) Entry(four, Color32(uint8_t(i * 17), 0, 0));
    four.u8(0x1F).u8(0x20).u8(0).u8(0);
    ExpectPixels(Decode(four), 3, 1, {Color32(17, 0, 0), Color32(255, 0, 0), Color32(34, 0, 0)});
}

TEST(PackedDIB, NegativeHeightIsTopDown) {
    Bytes b = Header(1, -2, 24);
    b.u8(0).u8(0).u8(0xFF).u8(0);  // first row is the top one
    b.u8(0xFF).u8(0).u8(0).u8(0);
    ExpectPixels(Decode(b), 1, 2, {kRed, kBlue});
}

// A 108-byte header holds the masks itself at offset 40; the pixels follow it.
TEST(PackedDIB, LongHeaderHoldsItsMasks) {
    Bytes b = Header(1, 1, 16, BI_BITFIELDS, 0, 108);
    b.u32(0xF800).u32(0x07E0).u32(0x001F).u32(0);  // masks, alpha mask
    while (b.size() < 108) b.u8(0xAB);               // colour space and gamma
    Word16(b, 0x001F);
    b.u8(0).u8(0);
    ExpectPixels(Decode(b), 1, 1, {kBlue});

    Bytes rgb = Header(1, 1, 24, BI_RGB, 0, 108);
    while (rgb.size() < 108) rgb.u8(0xAB);
    rgb.u8(0xFF).u8(0).u8(0).u8(0);
    ExpectPixels(Decode(rgb), 1, 1, {kBlue});
}

// Every shorter prefix of good buffers fails and reads nothing outside (under ASan
// each prefix sits in a buffer of its own size).
TEST(PackedDIB, EveryTruncationFails) {
    Bytes pal = Header(3, 2, 8, BI_RGB, 2);
    Entry(Entry(pal, kRed), kBlue).u8(0).u8(1).u8(0).u8(0).u8(1).u8(0).u8(1).u8(0);
    Bytes masks = Header(2, 2, 16, BI_BITFIELDS);
    masks.u32(0xF800).u32(0x07E0).u32(0x001F).u32(0).u32(0);
    for (const std::vector<uint8_t>& whole : {pal.vec(), masks.vec()}) {
        ASSERT_FALSE(Decode(whole).Empty());
        for (size_t n = 0; n < whole.size(); ++n) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(n));
            TBitmap32 b(1, 1);
            EXPECT_FALSE(PackedDIBToBitmap32(cut.data(), cut.size(), b)) << n;
            EXPECT_EQ(b.Width(), 1);  // untouched
        }
    }
}

TEST(PackedDIB, MalformedHeadersFail) {
    struct Case {
        const char* Name;
        Bytes Dib;
    };
    std::vector<Case> cases{
        {"absurd size", Header(INT_MAX, INT_MAX, 1)},
        {"over 2^28 pixels", Header(1 << 15, (1 << 13) + 1, 1)},
        {"height INT_MIN", Header(1, INT_MIN, 24)},
        {"zero width", Header(0, 1, 24)},
        {"zero height", Header(1, 0, 24)},
        {"negative width", Header(-1, 1, 24)},
        {"two bits", Header(1, 1, 2)},
        {"bitfields at 24 bits", Header(1, 1, 24, BI_BITFIELDS)},
        {"run-length", Header(1, 1, 8, 1)},
        {"header longer than the buffer", Header(1, 1, 24, BI_RGB, 0, 200)},
        {"header shorter than 40", Header(1, 1, 24, BI_RGB, 0, 12)},
        {"masks cut inside a long header", Header(1, 1, 16, BI_BITFIELDS, 0, 44)},
        {"huge colour table", Header(1, 1, 8, BI_RGB, 0xFFFFFFFF)},
        {"split mask", Header(1, 1, 16, BI_BITFIELDS)},
    };
    for (auto& c : cases) c.Dib.u32(0x00FF).u32(0xF00F).u32(0x0F00).u32(0).u32(0).u32(0);
    std::vector<uint8_t> twoPlanes = Header(1, 1, 24).u32(0).vec();
    twoPlanes[12] = 2;
    cases.push_back({"two planes", Bytes().raw(twoPlanes)});
    for (const auto& c : cases) {
        TBitmap32 b;
        EXPECT_FALSE(PackedDIBToBitmap32(c.Dib.vec().data(), c.Dib.size(), b)) << c.Name;
    }
    TBitmap32 b;
    EXPECT_FALSE(PackedDIBToBitmap32(nullptr, 0, b));
}

// A video frame: rows of 3 x 3 bytes padded to 12, bottom-up; a buffer one byte short
// of the last row's padding gives no frame.
TEST(PackedDIB, RowsApartFromTheirHeader) {
    TBitmapInfoHeader h;
    h.biWidth = 3;
    h.biHeight = 2;
    h.biBitCount = 24;
    Bytes rows;
    for (int i = 0; i < 2; ++i) {
        const uint8_t v = i == 0 ? 0xFF : 0x00;
        for (int x = 0; x < 3; ++x) rows.u8(v).u8(0).u8(uint8_t(x));
        rows.u8(0xEE).u8(0xEE).u8(0xEE);
    }
    TBitmap32 b;
    ASSERT_TRUE(DIBBitsToBitmap32(h, rows.vec().data(), rows.size(), b));
    ExpectPixels(b, 3, 2, {kBlack, Color32(1, 0, 0), Color32(2, 0, 0), kBlue, Color32(1, 0, 255), Color32(2, 0, 255)});
    std::vector<uint8_t> shortRows(rows.vec().begin(), rows.vec().end() - 1);
    TBitmap32 none;
    EXPECT_FALSE(DIBBitsToBitmap32(h, shortRows.data(), shortRows.size(), none));
    h.biBitCount = 8;  // no colour table to go with it
    EXPECT_FALSE(DIBBitsToBitmap32(h, rows.vec().data(), rows.size(), none));
}

TBitmap32 Card(int w, int h) {
    TBitmap32 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(uint8_t(x * 40), uint8_t(y * 60), uint8_t(x * y * 7), 0x40));
    return b;
}

// File header and info header byte by byte, then bottom-up rows padded with zeros.
TEST(BmpWriter, TwentyFourBitFileLayout) {
    const TBitmap32 card = Card(3, 2);
    const std::vector<uint8_t> bmp = EncodeBmp24(card);
    Bytes expect;
    expect.u8('B').u8('M').u32(14 + 40 + 24).u32(0).u32(54);
    expect.u32(40).i32(3).i32(2).u8(1).u8(0).u8(24).u8(0).u32(0).u32(24).u32(0).u32(0).u32(0).u32(0);
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 3; ++x) {
            const TColor32 c = card.Pixel(x, y);
            expect.u8(BlueComponent(c)).u8(GreenComponent(c)).u8(RedComponent(c));
        }
        expect.u8(0).u8(0).u8(0);
    }
    EXPECT_EQ(bmp, expect.vec());
    EXPECT_THROW(EncodeBmp24(TBitmap32()), EBmpWriteError);
}

TEST(BmpWriter, WritesAFileThatDecodesBack) {
    TempDir t;
    const TBitmap32 card = Card(17, 5);
    WriteBmpPicture(card, t.Program() + "card.bmp");
    const std::vector<uint8_t> file = ReadFileBytes(t / "card.bmp");
    ASSERT_GT(file.size(), 14u);
    TBitmap32 back;
    ASSERT_TRUE(PackedDIBToBitmap32(file.data() + 14, file.size() - 14, back));
    ASSERT_EQ(back.Width(), 17);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 17; ++x) EXPECT_EQ(back.Pixel(x, y), SetAlpha(card.Pixel(x, y), 255));
}

bool HasMarker(const std::vector<uint8_t>& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
    return false;
}

TEST(JpegWriter, EncodesWhatTheReaderDecodesBaselineOrProgressive) {
    TBitmap32 card(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) card.SetPixel(x, y, x < 32 ? (y < 24 ? kRed : kGreen) : (y < 24 ? kBlue : kWhite));
    for (bool progressive : {false, true}) {
        const auto jpeg = EncodeJpegPicture(card, {95, progressive});
        EXPECT_EQ(HasMarker(jpeg, 0xC2), progressive);  // progressive frame header
        EXPECT_EQ(HasMarker(jpeg, 0xC0), !progressive);
        const TBitmap32 back = ReadJpegPicture(jpeg.data(), jpeg.size());
        ASSERT_EQ(back.Width(), 64);
        ASSERT_EQ(back.Height(), 48);
        for (auto [x, y] : {std::pair{8, 8}, {56, 8}, {8, 40}, {56, 40}}) {
            const TColor32 a = back.Pixel(x, y), e = card.Pixel(x, y);
            EXPECT_NEAR(RedComponent(a), RedComponent(e), 6);
            EXPECT_NEAR(GreenComponent(a), GreenComponent(e), 6);
            EXPECT_NEAR(BlueComponent(a), BlueComponent(e), 6);
        }
    }
}

TEST(JpegWriter, QualityChangesTheSizeAndFilesAreWritten) {
    const TBitmap32 card = Card(64, 64);
    EXPECT_LT(EncodeJpegPicture(card, {10, false}).size(), EncodeJpegPicture(card, {100, false}).size());
    EXPECT_EQ(EncodeJpegPicture(card, {500, false}), EncodeJpegPicture(card, {100, false}));
    TempDir t;
    WriteJpegPicture(card, t.Program() + "card.jpg", {80, false});
    EXPECT_EQ(ReadFileBytes(t / "card.jpg"), EncodeJpegPicture(card, {80, false}));
    EXPECT_THROW(EncodeJpegPicture(TBitmap32()), EJpegWriteError);
    EXPECT_FALSE(t.Exists("none.jpg"));
    EXPECT_THROW(WriteJpegPicture(TBitmap32(), t.Program() + "none.jpg"), EJpegWriteError);
    EXPECT_FALSE(t.Exists("none.jpg"));
}

}  // namespace
