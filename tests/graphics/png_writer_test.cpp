#include "graphics/PngReader.h"
#include "graphics/PngWriter.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

size_t FileCount(const std::filesystem::path& folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

// Every channel varies independently, alpha included (0, partial and opaque).
TBitmap32 Card(int w, int h) {
    TBitmap32 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, Color32(uint8_t(x * 37 + y), uint8_t(y * 11 + 3), uint8_t(x * y), uint8_t(x * 29 + y * 53 + 1)));
    return b;
}

TEST(PngWriter, RoundTripsPixelsAndStraightAlpha) {
    for (auto [w, h] : {std::pair{1, 1}, {17, 5}, {64, 48}}) {
        const TBitmap32 card = Card(w, h);
        const TBitmap32 back = [&] {
            const auto png = EncodePngPicture(card);
            return ReadPngPicture(png.data(), png.size());
        }();
        ASSERT_EQ(back.Width(), w);
        ASSERT_EQ(back.Height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(back.Pixel(x, y), card.Pixel(x, y)) << std::hex << x << "," << y;
            }
    }
}

// Read byte by byte, not through the reader: signature, then IHDR with the size,
// bit depth 8 and colour type 6 (RGB with alpha).
TEST(PngWriter, HeaderNamesSizeAndRgba) {
    const auto png = EncodePngPicture(Card(300, 7));
    ASSERT_GE(png.size(), 33u);
    const std::vector<uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 8), signature);
    EXPECT_EQ(BigEndian32(png, 8), 13u);
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), 300u);
    EXPECT_EQ(BigEndian32(png, 20), 7u);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 6);
}

TEST(PngWriter, WritesTheFileAndReplacesAnOldOne) {
    TempDir t;
    t.Write("out.png", "old contents");
    const TBitmap32 card = Card(9, 4);
    WritePngPicture(card, t.Program() + "out.png");
    EXPECT_EQ(FileBytes(t / "out.png"), EncodePngPicture(card));
    EXPECT_EQ(FileCount(t.Path()), 1u);  // no temporary left beside it
}

TEST(PngWriter, FailureLeavesNothingBehind) {
    TempDir t;
    EXPECT_THROW(WritePngPicture(TBitmap32(), t.Program() + "empty.png"), EPngWriteError);
    EXPECT_THROW(EncodePngPicture(TBitmap32(0, 5)), EPngWriteError);
    EXPECT_THROW(WritePngPicture(Card(2, 2), t.Program() + "missing\\out.png"), Exception);
    EXPECT_EQ(FileCount(t.Path()), 0u);
}

}  // namespace
