#include "graphics/CelReader.h"
#include "graphics/JpegReader.h"
#include "graphics/PictureOrientation.h"
#include "graphics/PictureRegistry.h"
#include "platform/DebugOutput.h"
#include "platform/Stream.h"
#include "picture_testsupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <Magick++.h>
#include <jpeglib.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>

namespace {

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override { InitializePictureFormats(); }
    void TearDown() override { SetMaxPicturePixels(int64_t(1) << 28); }
};

void ExpectColour(TColor32 got, TColor32 want, int tol) {
    for (int s = 0; s < 32; s += 8)
        EXPECT_LE(std::abs(int((got >> s) & 0xFF) - int((want >> s) & 0xFF)), tol)
            << std::hex << got << " vs " << want;
}

void ExpectCorners(const TBitmap32& b, int w, int h, int tol) {
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    ExpectColour(b.Pixel(0, 0), Color32(255, 0, 0), tol);
    ExpectColour(b.Pixel(w - 1, 0), Color32(0, 255, 0), tol);
    ExpectColour(b.Pixel(0, h - 1), Color32(0, 0, 255), tol);
    ExpectColour(b.Pixel(w - 1, h - 1), Color32(255, 255, 255), tol);
    ExpectColour(b.Pixel(w / 2, h / 2), Color32(128, 128, 128), tol);
}

auto Corners(int w, int h) {
    return [w, h](int x, int y) { return CornerPattern(x, y, w, h); };
}

}  // namespace

TEST_F(PictureTest, JpegDecodesOpaqueWithTheRightCorners) {
    auto jpg = EncodeJpeg(64, 48, Corners(64, 48));
    ExpectCorners(LoadPictureFromMemory(jpg.data(), jpg.size(), "bild.JPG"), 64, 48, 12);
    auto prog = EncodeJpeg(64, 48, Corners(64, 48), 90, true);
    ExpectCorners(LoadPictureFromMemory(prog.data(), prog.size(), "C:\\Bilder\\bild.jpeg"), 64, 48, 12);
}

TEST_F(PictureTest, JpegScalesWhileDecodingButNeverBelowTheTarget) {
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 1440, 1080), 4);  // not 3/8: slower than 4/8
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 1000, 750), 2);
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 1501, 1080), 4);
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 500, 375), 1);
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 501, 375), 2);
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 2001, 1440), 8);  // not 5/8 to 7/8: slower than the whole
    EXPECT_EQ(JpegScaleEighths(4000, 3000, 0, 0), 8);
    EXPECT_EQ(JpegScaleEighths(100, 100, 200, 200), 8);
    auto jpg = EncodeJpeg(256, 192, Corners(256, 192));
    TPictureLoadOptions o;
    o.TargetWidth = 60;
    o.TargetHeight = 40;
    TBitmap32 b = LoadPictureFromMemory(jpg.data(), jpg.size(), "a.jpg", o);
    EXPECT_EQ(b.Width(), 64);
    EXPECT_EQ(b.Height(), 48);
    ExpectColour(b.Pixel(0, 0), Color32(255, 0, 0), 16);
    ExpectColour(b.Pixel(63, 47), Color32(255, 255, 255), 16);
}

TEST_F(PictureTest, JpegBandsGiveTheBytesOfAWholeDecode) {
    // Noise, so that the entropy coding has something to carry across band edges.
    const auto noise = [](int x, int y) {
        const uint32_t v = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
        return Color32(uint8_t(v >> 5), uint8_t(x * 3 + (v >> 13 & 31)), uint8_t(y * 2 + (v >> 21 & 63)));
    };
    struct TCase {
        const char* Name;
        int Width, Height;
        TJpegEncoding Encoding;
    };
    const TCase cases[] = {
        {"4:2:0", 333, 251, {}},
        {"4:4:4", 333, 251, {95, false, 1, 1}},
        {"4:2:2", 333, 251, {95, false, 2, 1}},
        {"4:1:1", 333, 251, {95, false, 4, 1}},
        {"4:4:0", 250, 333, {95, false, 1, 2}},
        {"grey", 333, 251, {95, false, 1, 1, true}},
        {"restart markers", 320, 240, {80, false, 2, 2, false, 1}},
    };
    // A band that failed would be covered by the whole decode; it says so.
    TFakeDebugOutput debug;
    SetDebugOutput(&debug);
    for (const TCase& c : cases) {
        const std::vector<uint8_t> jpg = EncodeJpegWith(c.Width, c.Height, noise, c.Encoding);
        // Whole size, then 1/2, 1/4 and 1/8.
        for (int eighths : {8, 4, 2, 1}) {
            const int tw = c.Width * eighths / 8, th = c.Height * eighths / 8;
            const TBitmap32 whole = ReadJpegPicture(jpg.data(), jpg.size(), tw, th, 1);
            for (int bands = 2; bands <= 4; ++bands) {
                const TBitmap32 banded = ReadJpegPicture(jpg.data(), jpg.size(), tw, th, bands);
                ASSERT_EQ(banded.Width(), whole.Width());
                ASSERT_EQ(banded.Height(), whole.Height());
                EXPECT_EQ(0, std::memcmp(banded.Bits(), whole.Bits(), size_t(whole.Width()) * whole.Height() * 4))
                    << c.Name << ", " << eighths << "/8, " << bands << " bands";
            }
        }
        EXPECT_TRUE(debug.Lines.empty()) << c.Name << ": " << (debug.Lines.empty() ? "" : debug.Lines[0]);
        // A truncated file stays refused, bands or not.
        const std::vector<uint8_t> cut(jpg.begin(), jpg.begin() + std::ptrdiff_t(jpg.size() * 2 / 3));
        EXPECT_THROW(ReadJpegPicture(cut.data(), cut.size(), 0, 0, 4), EInvalidGraphic) << c.Name;
        debug.Lines.clear();
    }
    SetDebugOutput(nullptr);
    // A progressive file is decoded whole, whatever is asked.
    TJpegEncoding progressive;
    progressive.Progressive = true;
    const std::vector<uint8_t> prog = EncodeJpegWith(333, 251, noise, progressive);
    const TBitmap32 whole = ReadJpegPicture(prog.data(), prog.size(), 0, 0, 1);
    const TBitmap32 asked = ReadJpegPicture(prog.data(), prog.size(), 0, 0, 4);
    EXPECT_EQ(0, std::memcmp(asked.Bits(), whole.Bits(), size_t(whole.Width()) * whole.Height() * 4));
}

TEST_F(PictureTest, JpegSizeComesFromTheHeaderAlone) {
    auto jpg = EncodeJpeg(256, 192, Corners(256, 192));
    int w = -1, h = -1;
    // The header is all it needs: the rest of the file may be missing.
    ASSERT_TRUE(ReadJpegPictureSize(jpg.data(), jpg.size() / 2, w, h));
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 192);
    auto png = EncodePng(8, 8, Corners(8, 8));
    EXPECT_FALSE(ReadJpegPictureSize(png.data(), png.size(), w, h));
    EXPECT_EQ(w, 0);
    EXPECT_FALSE(ReadJpegPictureSize(jpg.data(), 20, w, h));
    EXPECT_FALSE(ReadJpegPictureSize(nullptr, 0, w, h));

    // A caller whose target depends on the picture's size learns that size first.
    TPictureLoadOptions o;
    int askedW = 0, askedH = 0;
    o.TargetForSize = [&](int pw, int ph, int& tw, int& th) {
        askedW = pw;
        askedH = ph;
        tw = pw / 4;
        th = ph / 4;
    };
    TBitmap32 b = LoadPictureFromMemory(jpg.data(), jpg.size(), "a.jpg", o);
    EXPECT_EQ(askedW, 256);
    EXPECT_EQ(askedH, 192);
    EXPECT_EQ(b.Width(), 64);
    EXPECT_EQ(b.Height(), 48);
    // Readers that cannot scale never ask.
    askedW = 0;
    const auto gif = EncodeMagick(8, 8, Corners(8, 8), "GIF");
    TBitmap32 p = LoadPictureFromMemory(gif.data(), gif.size(), "a.gif", o);
    EXPECT_EQ(askedW, 0);
    EXPECT_EQ(p.Width(), 8);
}

TEST_F(PictureTest, BrokenFilesRaiseInvalidGraphic) {
    auto jpg = EncodeJpeg(64, 48, Corners(64, 48));
    auto png = EncodePng(20, 10, Corners(20, 10));
    auto gif = EncodeMagick(20, 10, Corners(20, 10), "GIF");
    auto bmp = EncodeMagick(20, 10, Corners(20, 10), "BMP");
    std::vector<uint8_t> garbage(300, 0x5A);
    for (auto [bytes, name] : {std::pair{&jpg, "a.jpg"}, std::pair{&png, "a.png"}, std::pair{&gif, "a.gif"},
                               std::pair{&bmp, "a.bmp"}}) {
        EXPECT_THROW(LoadPictureFromMemory(bytes->data(), bytes->size() / 2, name), EInvalidGraphic) << name;
        EXPECT_THROW(LoadPictureFromMemory(bytes->data(), 0, name), EInvalidGraphic) << name;
        EXPECT_THROW(LoadPictureFromMemory(garbage.data(), garbage.size(), name), EInvalidGraphic) << name;
        // A flipped byte in the middle: either a picture or the error, never a crash.
        auto bad = *bytes;
        bad[bad.size() / 3] ^= 0xFF;
        try {
            LoadPictureFromMemory(bad.data(), bad.size(), name);
        } catch (const EInvalidGraphic&) {
        }
    }
    // Every ImageMagick format: cut in half, or nothing but its first bytes.
    for (auto [format, name] : {std::pair{"TGA", "x.tga"}, std::pair{"PCX", "x.pcx"}, std::pair{"PPM", "x.ppm"},
                                std::pair{"SGI", "x.sgi"}, std::pair{"PSD", "x.psd"}, std::pair{"TIFF", "x.tif"},
                                std::pair{"ICO", "x.ico"}}) {
        auto bytes = EncodeMagick(40, 30, Corners(40, 30), format);
        EXPECT_THROW(LoadPictureFromMemory(bytes.data(), bytes.size() / 2, name), EInvalidGraphic) << name;
        EXPECT_THROW(LoadPictureFromMemory(bytes.data(), 12, name), EInvalidGraphic) << name;
    }
    EXPECT_THROW(LoadPictureFromMemory(jpg.data(), jpg.size(), "bild.xyz"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromMemory(jpg.data(), jpg.size(), "bild"), EInvalidGraphic);
}

// A 1-bit BMP, 8 x 2, whose header gives a file size that is not the file's (such files
// ship with this machine's packages): the size field is only informative.
TEST_F(PictureTest, ABmpWhoseHeaderMissizesTheFileIsShown) {
    for (int delta : {-1, 0, 1}) {
        Bytes b;
        b.raw("BM").u32(uint32_t(70 + delta)).u32(0).u32(14 + 40 + 8);
        b.u32(40).i32(8).i32(2).u8(1).u8(0).u8(1).u8(0).u32(0).u32(8).i32(2835).i32(2835).u32(2).u32(0);
        b.u32(0x000000).u32(0xFFFFFF);                       // black, white
        b.u8(0xF0).u8(0).u8(0).u8(0).u8(0x0F).u8(0).u8(0).u8(0);  // bottom row first
        ASSERT_EQ(b.size(), 70u);
        const TBitmap32 p = LoadPictureFromMemory(b.vec().data(), b.size(), "kurz.bmp");
        ASSERT_EQ(p.Width(), 8) << delta;
        ASSERT_EQ(p.Height(), 2) << delta;
        ExpectColour(p.Pixel(0, 0), Color32(0, 0, 0), 0);
        ExpectColour(p.Pixel(7, 0), Color32(255, 255, 255), 0);
        ExpectColour(p.Pixel(0, 1), Color32(255, 255, 255), 0);
        ExpectColour(p.Pixel(7, 1), Color32(0, 0, 0), 0);
        // Missing pixels still refuse it.
        EXPECT_THROW(LoadPictureFromMemory(b.vec().data(), 66, "kurz.bmp"), EInvalidGraphic) << delta;
    }
}

// A file under another format's extension is read by the reader its first bytes name,
// once the extension's reader has failed.
TEST_F(PictureTest, AFileUnderAnotherFormatsExtensionIsReadByItsSignature) {
    const auto png = EncodePng(20, 16, Corners(20, 16));
    const auto ico = EncodeMagick(20, 16, Corners(20, 16), "ICO");
    const auto jpg = EncodeJpeg(24, 16, Corners(24, 16));
    const auto gif = EncodeMagick(20, 16, Corners(20, 16), "GIF");
    const auto tif = EncodeMagick(20, 16, Corners(20, 16), "TIFF");
    const auto bmp = EncodeMagick(20, 16, Corners(20, 16), "BMP");
    const struct {
        const std::vector<uint8_t>& bytes;
        const char* name;
        int w, h, tol;
    } cases[] = {{png, "bild.ico", 20, 16, 0}, {ico, "bild.png", 20, 16, 0}, {jpg, "bild.gif", 24, 16, 12},
                 {gif, "bild.bmp", 20, 16, 0}, {tif, "bild.jpg", 20, 16, 0}, {bmp, "bild.tif", 20, 16, 0},
                 {png, "bild.tga", 20, 16, 0}};
    TFakeDebugOutput debug;
    std::vector<AnsiString>& said = debug.Lines;
    SetDebugOutput(&debug);
    for (const auto& c : cases) {
        said.clear();
        ExpectCorners(LoadPictureFromMemory(c.bytes.data(), c.bytes.size(), c.name), c.w, c.h, c.tol);
        EXPECT_FALSE(said.empty()) << c.name;
    }
    SetDebugOutput(nullptr);
    // The error stands when the signature's reader fails too, or names nothing we read.
    auto cut = png;
    cut.resize(40);
    EXPECT_THROW(LoadPictureFromMemory(cut.data(), cut.size(), "bild.ico"), EInvalidGraphic);
    std::vector<uint8_t> text(200, 'x');
    EXPECT_THROW(LoadPictureFromMemory(text.data(), text.size(), "bild.png"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromMemory(png.data(), png.size(), "bild.txt"), EInvalidGraphic);
}

TEST_F(PictureTest, PixelLimitIsCheckedBeforeDecoding) {
    auto jpg = EncodeJpeg(64, 48, Corners(64, 48));
    auto png = EncodePng(64, 48, Corners(64, 48));
    auto tga = EncodeMagick(64, 48, Corners(64, 48), "TGA");
    SetMaxPicturePixels(64 * 48 - 1);
    EXPECT_THROW(LoadPictureFromMemory(jpg.data(), jpg.size(), "a.jpg"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromMemory(png.data(), png.size(), "a.png"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromMemory(tga.data(), tga.size(), "a.tga"), EInvalidGraphic);
    SetMaxPicturePixels(64 * 48);
    EXPECT_NO_THROW(LoadPictureFromMemory(jpg.data(), jpg.size(), "a.jpg"));
    EXPECT_NO_THROW(LoadPictureFromMemory(png.data(), png.size(), "a.png"));
    EXPECT_NO_THROW(LoadPictureFromMemory(tga.data(), tga.size(), "a.tga"));
}

TEST_F(PictureTest, PngKeepsStraightAlpha) {
    auto pixel = [](int x, int y) {
        if (x == 0 && y == 0) return Color32(200, 100, 50, 128);
        if (x == 1 && y == 0) return Color32(10, 20, 30, 0);
        return CornerPattern(x, y, 20, 10);
    };
    auto png = EncodePng(20, 10, pixel);
    TBitmap32 b = LoadPictureFromMemory(png.data(), png.size(), "a.PNG");
    ASSERT_EQ(b.Width(), 20);
    EXPECT_EQ(b.Pixel(0, 0), Color32(200, 100, 50, 128));
    EXPECT_EQ(AlphaComponent(b.Pixel(1, 0)), 0);
    EXPECT_EQ(b.Pixel(19, 9), Color32(255, 255, 255));
    EXPECT_EQ(b.Pixel(0, 9), Color32(0, 0, 255));
}

TEST_F(PictureTest, MagickFormatsDecodeWithTheRightCorners) {
    const std::pair<const char*, const char*> formats[] = {
        {"TGA", "x.tga"}, {"PCX", "x.pcx"}, {"PPM", "x.ppm"}, {"GIF", "x.gif"}, {"SGI", "x.sgi"},
        {"PSD", "x.psd"}, {"BMP", "x.bmp"}, {"TIFF", "x.tif"}, {"ICO", "x.ico"}, {"TGA", "x.vst"},
    };
    for (auto [format, name] : formats) {
        SCOPED_TRACE(name);
        auto bytes = EncodeMagick(32, 24, Corners(32, 24), format);
        TBitmap32 b = LoadPictureFromMemory(bytes.data(), bytes.size(), name);
        ExpectCorners(b, 32, 24, 1);
        EXPECT_EQ(AlphaComponent(b.Pixel(5, 5)), 255);
    }
    // Grey and black-and-white formats.
    auto grey = [](int x, int) { return x < 4 ? Color32(0, 0, 0) : Color32(255, 255, 255); };
    for (auto [format, name] : {std::pair{"PGM", "x.pgm"}, std::pair{"PBM", "x.pbm"}}) {
        auto bytes = EncodeMagick(8, 2, grey, format);
        TBitmap32 b = LoadPictureFromMemory(bytes.data(), bytes.size(), name);
        ASSERT_EQ(b.Width(), 8);
        EXPECT_EQ(b.Pixel(0, 1), Color32(0, 0, 0)) << name;
        EXPECT_EQ(b.Pixel(7, 0), Color32(255, 255, 255)) << name;
    }
    // Real alpha survives.
    auto alpha = EncodeMagick(4, 4, [](int, int) { return Color32(255, 0, 0, 0); }, "TGA", true);
    EXPECT_EQ(AlphaComponent(LoadPictureFromMemory(alpha.data(), alpha.size(), "a.tga").Pixel(1, 1)), 0);
}

TEST_F(PictureTest, AMultiFrameFileShowsItsFirstFrameAlone) {
    const std::vector<TPlainFrame> frames = {
        {20, 10, Color32(255, 0, 0)}, {12, 8, Color32(0, 0, 255)}, {6, 6, Color32(0, 255, 0)}};
    for (auto [format, name] : {std::pair{"GIF", "x.gif"}, std::pair{"TIFF", "x.tif"}, std::pair{"ICO", "x.ico"}}) {
        SCOPED_TRACE(name);
        const auto bytes = EncodeMagickFrames(frames, format);
        const TBitmap32 b = LoadPictureFromMemory(bytes.data(), bytes.size(), name);
        ASSERT_EQ(b.Width(), 20);
        ASSERT_EQ(b.Height(), 10);
        ExpectColour(b.Pixel(10, 5), Color32(255, 0, 0), 0);
    }
    // The frames after the first are never read: one cut short does no harm.
    const auto gif = EncodeMagickFrames(frames, "GIF");
    EXPECT_EQ(LoadPictureFromMemory(gif.data(), gif.size() - 12, "x.gif").Width(), 20);
}

TEST_F(PictureTest, AnUnreadableFileSaysWhatTheLibraryFoundThere) {
    const auto tga = EncodeMagick(40, 30, Corners(40, 30), "TGA");
    try {
        LoadPictureFromMemory(tga.data(), tga.size() / 2, "x.tga");
        ADD_FAILURE() << "decoded";
    } catch (const EInvalidGraphic& e) {
        // The library's words, without the program's name or the place in its sources.
        const std::string start = "damaged picture: ";
        EXPECT_EQ(e.Message().rfind(start, 0), 0u) << e.Message();
        EXPECT_GT(e.Message().size(), start.size() + 10) << e.Message();
        EXPECT_EQ(e.Message().find(program_invocation_short_name), std::string::npos) << e.Message();
        EXPECT_EQ(e.Message().find(" @ "), std::string::npos) << e.Message();
    }
}

// An Autodesk CEL header and palette for 3 x 2 pixels, without the pixels.
std::vector<uint8_t> CelHeaderOnly() {
    Bytes cel;
    cel.u8(0x19).u8(0x91).u8(3).u8(0).u8(2).u8(0).u8(0).u8(0).u8(0).u8(0).u8(8).u8(0).u32(6);
    for (int i = 0; i < 16 + 768; ++i) cel.u8(0);
    return cel.vec();
}

// A reader's reason is short English that a tool's line can end with ("FILE: reason").
TEST_F(PictureTest, ReadersGiveTheirReasonInShortEnglish) {
    const auto jpg = EncodeJpeg(64, 48, Corners(64, 48));
    auto png = EncodePng(20, 10, Corners(20, 10));
    auto badCrc = png;
    badCrc[30] ^= 0xFF;  // the header chunk's checksum
    const std::vector<uint8_t> text = {'E', 'i', 'n', ' ', 'B', 'r', 'i', 'e', 'f', '\n', 'x', 'x'};
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* File;
        std::string Says;
    } cases[] = {
        {"text as a JPEG", text, "a.jpg", "not a JPEG file"},
        {"text as a PNG", text, "a.png", "not a PNG file"},
        {"a JPEG cut short", std::vector<uint8_t>(jpg.begin(), jpg.begin() + std::ptrdiff_t(jpg.size() / 2)), "a.jpg",
         "damaged JPEG: Premature end of JPEG file"},
        {"a PNG with a wrong checksum", badCrc, "a.png", "damaged PNG: IHDR: CRC error"},
        {"a PNG cut short", std::vector<uint8_t>(png.begin(), png.begin() + 40), "a.png", "damaged PNG: file cut short"},
        {"an empty file", {}, "a.gif", "empty file"},
        {"an unknown kind", jpg, "a.xyz", "unknown picture kind (.xyz)"},
        {"too large", jpg, "b.jpg", "picture too large: 64 x 48 pixels exceed the limit of 3000"},
        {"a plain EPS", std::vector<uint8_t>(200, '%'), "a.eps", "not an EPS file with a preview"},
        {"a CEL without its pixels", CelHeaderOnly(), "a.cel", "damaged Autodesk CEL: its pixels are missing"},
    };
    SetMaxPicturePixels(3000);
    for (const TCase& c : cases) {
        try {
            LoadPictureFromMemory(c.Bytes.data(), c.Bytes.size(), c.File);
            ADD_FAILURE() << c.Name << ": read";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), c.Says) << c.Name;
        }
    }
}

// w x h pixels of one grey, as a PGM or an uncompressed Targa; only the first rows when cut.
std::vector<uint8_t> GreyPicture(bool targa, int w, int h, bool cut) {
    const std::string pgm = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<uint8_t> bytes(pgm.begin(), pgm.end());
    if (targa) bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 24, 0};
    bytes.resize(bytes.size() + size_t(w) * size_t(targa ? 3 : 1) * size_t(cut ? 2 : h), 0x40);
    return bytes;
}

// The system's ImageMagick policy caps the library's memory, which this program cannot
// raise: a picture read through it whose cache would pass that cap is too large for this
// system, said so from its header; one within it reads.
TEST_F(PictureTest, APicturePastTheImageMagickPolicyIsTooLargeNotDamaged) {
    auto warm = EncodeMagick(4, 4, Corners(4, 4), "TGA");
    (void)LoadPictureFromMemory(warm.data(), warm.size(), "a.tga");
    // The PNM coder takes twice the cache.
    for (const auto& [name, bytesPerPixel] : {std::pair{"gross.tga", 8}, std::pair{"gross.pgm", 16}}) {
        SCOPED_TRACE(name);
        const bool targa = std::string(name) == "gross.tga";
        const int64_t pixels = int64_t(MagickCore::GetMagickResourceLimit(MagickCore::MemoryResource)) / bytesPerPixel;
        if (pixels >= MaxPicturePixels() / 2) GTEST_SKIP() << "this system's ImageMagick policy allows " << pixels << " pixels";
        const int side = int(std::sqrt(double(pixels)));
        const auto over = GreyPicture(targa, side + 8, side + 8, true);
        try {
            LoadPictureFromMemory(over.data(), over.size(), name);
            ADD_FAILURE() << "read";
        } catch (const EInvalidGraphic& e) {
            const std::string size = std::to_string(side + 8) + " x " + std::to_string(side + 8);
            EXPECT_EQ(e.Message().rfind("picture too large: " + size + " pixels exceed what this system's ImageMagick policy allows", 0), 0u)
                << e.Message();
        }
        const auto within = GreyPicture(targa, side - 8, side - 8, false);
        const TBitmap32 read = LoadPictureFromMemory(within.data(), within.size(), name);
        EXPECT_EQ(read.Width(), side - 8);
        EXPECT_EQ(read.Pixel(side / 2, side / 2), Color32(0x40, 0x40, 0x40));
    }
}

TEST_F(PictureTest, EpsShowsItsTiffPreview) {
    auto tiff = EncodeMagick(24, 24, Corners(24, 24), "TIFF");
    const std::string ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 16 16\nshowpage\n";
    Bytes eps;
    eps.u32(0xC6D3D0C5).u32(30).u32(uint32_t(ps.size())).u32(0).u32(0).u32(uint32_t(30 + ps.size()))
        .u32(uint32_t(tiff.size())).u8(0xFF).u8(0xFF).raw(ps).raw(tiff);
    ExpectCorners(LoadPictureFromMemory(eps.vec().data(), eps.size(), "a.eps"), 24, 24, 1);
    // No preview, or a preview reaching past the end.
    Bytes noPreview;
    noPreview.u32(0xC6D3D0C5).u32(30).u32(uint32_t(ps.size())).u32(0).u32(0).u32(0).u32(0).u8(0).u8(0).raw(ps);
    EXPECT_THROW(LoadPictureFromMemory(noPreview.vec().data(), noPreview.size(), "a.eps"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromMemory(eps.vec().data(), eps.size() - 10, "a.eps"), EInvalidGraphic);
    std::vector<uint8_t> plain(ps.begin(), ps.end());
    EXPECT_THROW(LoadPictureFromMemory(plain.data(), plain.size(), "a.eps"), EInvalidGraphic);
}

TEST_F(PictureTest, AutodeskCel) {
    Bytes cel;
    cel.u8(0x19).u8(0x91).u8(3).u8(0).u8(2).u8(0).u8(0).u8(0).u8(0).u8(0).u8(8).u8(0).u32(6);
    for (int i = 0; i < 16; ++i) cel.u8(0);
    for (int i = 0; i < 256; ++i) cel.u8(uint8_t(i == 1 ? 63 : 0)).u8(uint8_t(i == 2 ? 63 : 0)).u8(uint8_t(i == 3 ? 32 : 0));
    cel.u8(1).u8(2).u8(3).u8(0).u8(1).u8(1);
    TBitmap32 b = LoadPictureFromMemory(cel.vec().data(), cel.size(), "a.cel");
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    EXPECT_EQ(b.Pixel(0, 0), Color32(255, 0, 0));
    EXPECT_EQ(b.Pixel(1, 0), Color32(0, 255, 0));
    EXPECT_EQ(b.Pixel(2, 0), Color32(0, 0, 130));
    EXPECT_EQ(b.Pixel(0, 1), Color32(0, 0, 0));
    EXPECT_THROW(LoadPictureFromMemory(cel.vec().data(), cel.size() - 1, "a.pic"), EInvalidGraphic);
    auto wrongSize = cel.vec();
    wrongSize[12] = 7;
    EXPECT_THROW(ReadCelPicture(wrongSize.data(), wrongSize.size()), EInvalidGraphic);
}

TEST_F(PictureTest, LoadsFilesByExtension) {
    TempDir dir;
    auto jpg = EncodeJpeg(64, 48, Corners(64, 48));
    WriteFileBytes(dir / "Bild.Jpeg", jpg);
    ExpectCorners(LoadPictureFromFile(dir / "Bild.Jpeg"), 64, 48, 12);
    EXPECT_THROW(LoadPictureFromFile(dir / "fehlt.jpg"), EStreamError);
    WriteFileBytes(dir / "leer.png", {});
    EXPECT_THROW(LoadPictureFromFile(dir / "leer.png"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureFromFile(dir / "Bild.qqq"), EInvalidGraphic);
    TMemoryStream stream(jpg);
    ExpectCorners(LoadPictureFromStream(stream, "Bilder\\Urlaub.JPG"), 64, 48, 12);
    stream.SetPosition(0);
    try {
        LoadPictureFromStream(stream, "Bilder\\Urlaub.xyz");
        ADD_FAILURE();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "Falsches Dateiformat: Bilder\\Urlaub.xyz");
    }
    EXPECT_EQ(PictureExtension("C:\\a.b\\datei"), "");
    EXPECT_EQ(PictureExtension("datei.TIFF"), "tiff");
}

TEST_F(PictureTest, RegistryReplacesAndRemoves) {
    RegisterPictureFormat(".QQQ", "Test-Datei", [](const uint8_t*, size_t, const TPictureLoadOptions&) {
        return TBitmap32(2, 2);
    });
    TPictureFormat f;
    ASSERT_TRUE(FindPictureFormat("qqq", f));
    EXPECT_EQ(f.Description, "Test-Datei");
    uint8_t one = 1;
    EXPECT_EQ(LoadPictureFromMemory(&one, 1, "a.qqq").Width(), 2);
    EXPECT_NE(GraphicFilter().find("|Test-Datei (*.qqq)|*.qqq"), std::string::npos);
    UnregisterPictureFormat("QQQ");
    EXPECT_FALSE(FindPictureFormat("qqq", f));
    EXPECT_EQ(GraphicFileMask().find("qqq"), std::string::npos);
    EXPECT_EQ(GraphicFilter().rfind("Alle (*.bmp;", 0), 0u);
}

namespace {

// A grey or an Adobe-style CMYK JPEG (inks stored inverted, as Photoshop writes them).
std::vector<uint8_t> EncodeSpecialJpeg(bool cmyk) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = 16;
    c.image_height = 16;
    c.input_components = cmyk ? 4 : 1;
    c.in_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 98, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(16 * size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < 16; ++x) {
            if (cmyk) {
                const uint8_t px[4] = {255, 0, 0, 255};  // no cyan, full magenta and yellow, no black
                std::copy(px, px + 4, &row[size_t(x) * 4]);
            } else {
                row[size_t(x)] = 200;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

}  // namespace

TEST_F(PictureTest, GreyAndCmykJpegs) {
    auto grey = EncodeSpecialJpeg(false);
    ExpectColour(LoadPictureFromMemory(grey.data(), grey.size(), "g.jpg").Pixel(5, 5), Color32(200, 200, 200), 2);
    auto cmyk = EncodeSpecialJpeg(true);
    ExpectColour(LoadPictureFromMemory(cmyk.data(), cmyk.size(), "c.jpg").Pixel(5, 5), Color32(255, 0, 0), 3);
}

TEST_F(PictureTest, DrHaloCutWithoutPalette) {
    // 4 x 2: header, then per row a byte count and run-length packets ending in 0.
    Bytes cut;
    cut.u8(4).u8(0).u8(2).u8(0).u8(0).u8(0);
    cut.u8(5).u8(0).u8(0x82).u8(0).u8(0x82).u8(255).u8(0);   // two black, two white
    cut.u8(6).u8(0).u8(4).u8(255).u8(255).u8(0).u8(0).u8(0); // literal: white, white, black, black
    TBitmap32 b = LoadPictureFromMemory(cut.vec().data(), cut.size(), "a.cut");
    ASSERT_EQ(b.Width(), 4);
    ASSERT_EQ(b.Height(), 2);
    EXPECT_LT(RedComponent(b.Pixel(0, 0)), RedComponent(b.Pixel(3, 0)));
    EXPECT_LT(RedComponent(b.Pixel(3, 1)), RedComponent(b.Pixel(0, 1)));
    EXPECT_EQ(AlphaComponent(b.Pixel(0, 0)), 255);
}

TEST_F(PictureTest, WindowsMetafile) {
    // A placeable metafile: a red solid brush and one rectangle over a 20 x 10 window.
    auto rec = [](Bytes& b, uint16_t func, std::initializer_list<int16_t> params) {
        b.u32(uint32_t(3 + params.size())).u8(uint8_t(func)).u8(uint8_t(func >> 8));
        for (int16_t p : params) b.u8(uint8_t(p)).u8(uint8_t(uint16_t(p) >> 8));
    };
    Bytes body;
    rec(body, 0x020B, {0, 0});
    rec(body, 0x020C, {10, 20});
    body.u32(7).u8(0xFC).u8(0x02).u8(0).u8(0).u32(0x000000FF).u8(0).u8(0);
    rec(body, 0x012D, {0});
    rec(body, 0x041B, {10, 20, 0, 0});
    rec(body, 0x0000, {});
    Bytes placeable;
    placeable.u32(0x9AC6CDD7).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(20).u8(0).u8(10).u8(0).u8(96).u8(0).u32(0);
    uint16_t check = 0;
    for (size_t i = 0; i < 20; i += 2) check ^= uint16_t(placeable.vec()[i] | (placeable.vec()[i + 1] << 8));
    placeable.u8(uint8_t(check)).u8(uint8_t(check >> 8));
    Bytes wmf;
    const uint32_t words = uint32_t(18 + body.size()) / 2;
    wmf.raw(placeable.vec()).u8(1).u8(0).u8(9).u8(0).u8(0).u8(3).u32(words).u8(1).u8(0).u32(6).u8(0).u8(0).raw(body.vec());
    TBitmap32 b = LoadPictureFromMemory(wmf.vec().data(), wmf.size(), "a.WMF");
    ASSERT_FALSE(b.Empty());
    const TColor32 c = b.Pixel(b.Width() / 2, b.Height() / 2);
    EXPECT_GT(RedComponent(c), GreenComponent(c));
    EXPECT_GT(RedComponent(c), BlueComponent(c));
}

TEST_F(PictureTest, HugeHeadersAreRefusedBeforeDecoding) {
    // A Targa header claiming 65535 x 65535 true-colour pixels, with almost no data.
    Bytes tga;
    tga.u8(0).u8(0).u8(2);
    for (int i = 0; i < 9; ++i) tga.u8(0);
    tga.u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u8(24).u8(0);
    for (int i = 0; i < 64; ++i) tga.u8(0x40);
    SetMaxPicturePixels(int64_t(1) << 20);
    const std::string ppm = "P6\n# gross\n100000 100000\n255\n\x01\x02\x03";
    EXPECT_THROW(LoadPictureFromMemory(reinterpret_cast<const uint8_t*>(ppm.data()), ppm.size(), "a.ppm"),
                 EInvalidGraphic);
    // The same for PNG: an IHDR of 100000 x 100000.
    auto png = EncodePng(4, 4, Corners(4, 4));
    png[16] = 0; png[17] = 1; png[18] = 0x86; png[19] = 0xA0;
    png[20] = 0; png[21] = 1; png[22] = 0x86; png[23] = 0xA0;
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), png.data() + 12, 17));
    png[29] = uint8_t(crc >> 24); png[30] = uint8_t(crc >> 16); png[31] = uint8_t(crc >> 8); png[32] = uint8_t(crc);
    try {
        LoadPictureFromMemory(png.data(), png.size(), "a.png");
        ADD_FAILURE() << "decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("too large"), std::string::npos) << e.Message();
    }
    try {
        LoadPictureFromMemory(tga.vec().data(), tga.size(), "a.tga");
        ADD_FAILURE() << "decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("too large"), std::string::npos) << e.Message();  // from the header alone
    }
}

namespace {

void PutBE32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBE32(png, uint32_t(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBE32(png, uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

// A PNG of one row of pixels given as raw sample bytes, with chunks before the data.
std::vector<uint8_t> RawPng(int width, int depth, int colourType, const std::vector<uint8_t>& row,
                            const std::vector<std::pair<const char*, std::vector<uint8_t>>>& chunks) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBE32(header, uint32_t(width));
    PutBE32(header, 1);
    header.insert(header.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
    PutChunk(png, "IHDR", header);
    for (const auto& [type, data] : chunks) PutChunk(png, type, data);
    std::vector<uint8_t> raw = {0};  // filter: none
    raw.insert(raw.end(), row.begin(), row.end());
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(size);
    compress(packed.data(), &size, raw.data(), uLong(raw.size()));
    packed.resize(size);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}

struct TRawPngCase {
    const char* Name;
    int Depth, ColourType;
    std::vector<uint8_t> Row;
    std::vector<std::pair<const char*, std::vector<uint8_t>>> Chunks;
    std::vector<TColor32> Want;
};

}  // namespace

// Samples show as stored, scaled to 8 bits, whatever gAMA or sRGB say: ImageMagick
// decodes them so, and 16-bit files came out lifted by a 1/2.2 gamma before.
TEST_F(PictureTest, PngSamplesShowAsStoredAtEveryDepthAndGamma) {
    const std::vector<uint8_t> gamma22 = {0, 0, 0xB1, 0x8F};     // 45455: 1/2.2
    const std::vector<uint8_t> gamma10 = {0, 0x01, 0x86, 0xA0};  // 100000: linear
    const TRawPngCase cases[] = {
        {"16-bit grey", 16, 0, {0x80, 0x80, 0x40, 0x00, 0xFF, 0xFF}, {}, {0xFF808080, 0xFF404040, 0xFFFFFFFF}},
        {"16-bit grey with gAMA", 16, 0, {0x80, 0x80, 0x40, 0x00}, {{"gAMA", gamma22}}, {0xFF808080, 0xFF404040}},
        {"16-bit grey with sRGB", 16, 0, {0x80, 0x80}, {{"sRGB", {0}}, {"gAMA", gamma22}}, {0xFF808080}},
        {"8-bit grey with a linear gAMA", 8, 0, {0x80, 0x20}, {{"gAMA", gamma10}}, {0xFF808080, 0xFF202020}},
        {"16-bit RGB", 16, 2, {0x20, 0x20, 0x80, 0x80, 0xC0, 0xC0}, {{"gAMA", gamma10}}, {0xFF2080C0}},
        {"16-bit RGBA, straight", 16, 6, {0x40, 0x40, 0x80, 0x80, 0xC0, 0xC0, 0x80, 0x80}, {}, {0x804080C0}},
        {"16-bit grey and alpha", 16, 4, {0x80, 0x80, 0x00, 0x00}, {}, {0x00808080}},
        {"palette with tRNS", 8, 3, {0, 1}, {{"PLTE", {255, 255, 255, 0x20, 0x40, 0xC0}}, {"tRNS", {0}}},
         {0x00FFFFFF, 0xFF2040C0}},
        {"2-bit grey", 2, 0, {0x1B}, {}, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
        {"16-bit grey with a tRNS colour", 16, 0, {0x12, 0x34, 0x80, 0x80}, {{"tRNS", {0x12, 0x34}}},
         {0x00121212, 0xFF808080}},
    };
    for (const TRawPngCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> png = RawPng(int(c.Want.size()), c.Depth, c.ColourType, c.Row, c.Chunks);
        const TBitmap32 b = LoadPictureFromMemory(png.data(), png.size(), "a.png");
        ASSERT_EQ(b.Width(), int(c.Want.size()));
        for (size_t x = 0; x < c.Want.size(); ++x)
            EXPECT_EQ(b.Pixel(int(x), 0), c.Want[x]) << x << ": " << std::hex << b.Pixel(int(x), 0);
    }
}

namespace {

// A TIFF structure holding the one tag an orientation needs, little-endian.
std::vector<uint8_t> ExifWithOrientation(int orientation) {
    return {'I', 'I', 42, 0, 8, 0, 0, 0,        // header, first directory at 8
            1, 0,                               // one entry
            0x12, 0x01, 3, 0, 1, 0, 0, 0,       // 0x0112, SHORT, one value
            uint8_t(orientation), 0, 0, 0,      // the value
            0, 0, 0, 0};                        // no next directory
}

// The JPEG with an Exif segment right after its start marker.
std::vector<uint8_t> JpegWithExif(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& exif) {
    std::vector<uint8_t> segment = {0xFF, 0xE1, uint8_t((exif.size() + 8) >> 8), uint8_t(exif.size() + 8),
                                    'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), exif.begin(), exif.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// The PNG with an eXIf chunk after its header chunk (8 + 25 bytes).
std::vector<uint8_t> PngWithExif(std::vector<uint8_t> png, const std::vector<uint8_t>& exif) {
    const uint32_t n = uint32_t(exif.size());
    std::vector<uint8_t> chunk = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 'e', 'X', 'I', 'f'};
    chunk.insert(chunk.end(), exif.begin(), exif.end());
    const uint32_t crc = uint32_t(crc32(0, chunk.data() + 4, uInt(chunk.size() - 4)));
    for (int s = 24; s >= 0; s -= 8) chunk.push_back(uint8_t(crc >> s));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return png;
}

// The mean absolute difference of two pictures' colour samples, 0 to 1; 1 when their
// sizes differ.
double MeanAbsoluteError(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty()) return 1;
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int s = 0; s < 24; s += 8)
                sum += std::abs(int((a.Pixel(x, y) >> s) & 0xFF) - int((b.Pixel(x, y) >> s) & 0xFF));
    return sum / (3.0 * 255 * a.Width() * a.Height());
}

}  // namespace

// A photo's EXIF orientation turns it upright in every reader that sees one (ours for JPEG
// and PNG, ImageMagick's for TIFF), as `convert -auto-orient` turns it; the size the
// header gives the loader is the upright one.
TEST_F(PictureTest, ExifOrientationsComeOutUprightAsImageMagickTurnsThem) {
    if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
    constexpr int w = 48, h = 32;
    // No two corners alike and no symmetry: every turn and mirror tells.
    const auto picture = [](int x, int y) {
        return Color32(uint8_t(x * 5), uint8_t(y * 7), uint8_t(x < 12 && y < 8 ? 255 : (x + 2 * y) & 0x3F));
    };
    const auto jpeg = EncodeJpeg(w, h, picture, 98);
    const auto png = EncodePng(w, h, picture);
    const std::string kNames[] = {"TopLeft",  "TopRight",    "BottomRight", "BottomLeft",
                                  "LeftTop",  "RightTop",    "RightBottom", "LeftBottom"};
    Magick::InitializeMagick(nullptr);
    TempDir dir;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::vector<uint8_t> exif = ExifWithOrientation(orientation);
        Magick::Image tiffImage(Magick::Blob(png.data(), png.size()));
        tiffImage.orientation(Magick::OrientationType(orientation));
        tiffImage.magick("TIFF");
        Magick::Blob tiffBlob;
        tiffImage.write(&tiffBlob);
        const auto* t = static_cast<const uint8_t*>(tiffBlob.data());
        const struct {
            const char* Name;
            std::vector<uint8_t> Bytes;
        } files[] = {{"bild.jpg", JpegWithExif(jpeg, exif)},
                     {"bild.png", PngWithExif(png, exif)},
                     {"bild.tif", std::vector<uint8_t>(t, t + tiffBlob.length())}};
        for (const auto& f : files) {
            SCOPED_TRACE(std::string(f.Name) + " orientation " + std::to_string(orientation));
            const std::string file = dir / f.Name, reference = dir / "upright.ppm";
            {
                std::ofstream out(file, std::ios::binary);
                out.write(reinterpret_cast<const char*>(f.Bytes.data()), std::streamsize(f.Bytes.size()));
            }
            // ImageMagick 6 leaves a PNG's eXIf unread: it is told the orientation.
            const std::string orient = std::string(f.Name) == "bild.png" ? " -orient " + kNames[orientation - 1] : "";
            ASSERT_EQ(std::system(("convert '" + file + "'" + orient + " -auto-orient -strip '" + reference + "'").c_str()),
                      0);
            const std::vector<uint8_t> ref = ReadFileBytes(reference);
            const TBitmap32 upright = LoadPictureFromMemory(ref.data(), ref.size(), "upright.ppm");
            ASSERT_EQ(upright.Width(), orientation >= 5 ? h : w);
            int seenW = 0, seenH = 0;
            TPictureLoadOptions options;
            options.TargetForSize = [&](int fw, int fh, int& tw, int& th) {
                seenW = fw;
                seenH = fh;
                tw = fw;
                th = fh;
            };
            const TBitmap32 got = LoadPictureFromMemory(f.Bytes.data(), f.Bytes.size(), f.Name, options);
            EXPECT_LE(MeanAbsoluteError(got, upright), 0.03);
            if (std::string(f.Name) == "bild.jpg") {
                EXPECT_EQ(seenW, upright.Width());
                EXPECT_EQ(seenH, upright.Height());
            }
        }
    }
}

// A CMYK TIFF shows the colours of the RGB picture it was made from, not its inks read as
// red, green and blue.
TEST_F(PictureTest, ACmykTiffHasTheMeanColourOfItsRgbSource) {
    Magick::InitializeMagick(nullptr);
    constexpr int w = 40, h = 30;
    const auto picture = [](int x, int y) { return Color32(uint8_t(200 - x * 3), uint8_t(60 + y * 4), uint8_t(90)); };
    const auto png = EncodePng(w, h, picture);
    Magick::Image image(Magick::Blob(png.data(), png.size()));
    image.colorSpace(Magick::CMYKColorspace);
    image.magick("TIFF");
    Magick::Blob blob;
    image.write(&blob);
    const auto* t = static_cast<const uint8_t*>(blob.data());
    const TBitmap32 got = LoadPictureFromMemory(t, blob.length(), "druck.tif");
    ASSERT_EQ(got.Width(), w);
    ASSERT_EQ(got.Height(), h);
    for (int s = 0; s < 24; s += 8) {
        double want = 0, have = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                want += (picture(x, y) >> s) & 0xFF;
                have += (got.Pixel(x, y) >> s) & 0xFF;
            }
        EXPECT_NEAR(have / (w * h), want / (w * h), 3) << "channel at bit " << s;
    }
}

// The orientation tag in either byte order and type; anything that runs out of the
// bytes, names no orientation or an unknown one counts as upright.
TEST_F(PictureTest, ExifOrientationReadsBothByteOrdersAndStaysInsideItsBytes) {
    const struct {
        const char* Name;
        std::vector<uint8_t> Tiff;
        int Orientation;
    } cases[] = {
        {"little-endian SHORT", ExifWithOrientation(6), 6},
        {"big-endian SHORT", {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0, 0}, 8},
        {"little-endian LONG", {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 4, 0, 1, 0, 0, 0, 3, 0, 0, 0}, 3},
        {"another tag first",
         {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0, 0x0F, 0x01, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0,
          0x12, 0x01, 3, 0, 1, 0, 0, 0, 5, 0, 0, 0}, 5},
        {"value 9", ExifWithOrientation(9), 1},
        {"value 0", ExifWithOrientation(0), 1},
        {"directory beyond the end", {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF, 1, 0}, 1},
        {"entries beyond the end", {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0x12, 0x01, 3, 0}, 1},
        {"no TIFF", {'X', 'X', 42, 0, 8, 0, 0, 0}, 1},
        {"nothing", {}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExifOrientation(c.Tiff.data(), c.Tiff.size()), c.Orientation) << c.Name;
        const auto jpeg = JpegWithExif(EncodeJpeg(8, 8, [](int, int) { return 0xFF808080u; }), c.Tiff);
        EXPECT_EQ(JpegExifOrientation(jpeg.data(), jpeg.size()), c.Orientation) << c.Name;
    }
    // A segment longer than the file and a PNG chunk longer than the file end the search.
    std::vector<uint8_t> jpeg = JpegWithExif(EncodeJpeg(8, 8, [](int, int) { return 0xFF808080u; }), ExifWithOrientation(6));
    jpeg[4] = 0xFF;
    EXPECT_EQ(JpegExifOrientation(jpeg.data(), 40), 1);
    std::vector<uint8_t> png = PngWithExif(EncodePng(4, 4, [](int, int) { return 0xFF808080u; }), ExifWithOrientation(6));
    EXPECT_EQ(PngExifOrientation(png.data(), png.size()), 6);
    png[33] = 0x7F;
    EXPECT_EQ(PngExifOrientation(png.data(), png.size()), 1);
}
