// Every reader of stored data, given a small file whose headers claim far more than it
// holds, decodes it or refuses it while holding little more than the pixels it makes.
#include "graphics/CelReader.h"
#include "graphics/JpegReader.h"
#include "graphics/MagickReader.h"
#include "graphics/PackedDIB.h"
#include "graphics/PictureReader.h"
#include "graphics/PngReader.h"
#include "limits/counting_allocator.h"
#include "media/MidiFile.h"
#include "platform/SysUtils.h"

#include "TestSupport.h"
#include "graphics/picture_testsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kMB = 1 << 20;

std::vector<uint8_t> Regression(const std::string& target, const std::string& name) {
    auto bytes = ReadFileBytes(std::string(GC_FUZZ_REGRESSIONS) + "/" + target + "/" + name);
    if (bytes.empty()) ADD_FAILURE() << "no regression input " << target << "/" << name;
    return bytes;
}

void PutBE16(std::vector<uint8_t>& b, size_t at, unsigned v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}

// A progressive JPEG of 8 x 8 whose frame header claims 8000 x 8000, cut after its first
// scan: the decoder would keep every coefficient of the claimed picture before its end.
std::vector<uint8_t> ProgressiveJpegClaiming8000() {
    auto jpg = EncodeJpeg(8, 8, [](int, int) { return Color32(90, 90, 90); }, 90, true);
    size_t sos = 0;
    for (size_t i = 2; i + 3 < jpg.size();) {
        if (jpg[i] != 0xFF) break;
        const unsigned marker = jpg[i + 1], length = unsigned(jpg[i + 2] << 8 | jpg[i + 3]);
        if (marker == 0xC2) {
            PutBE16(jpg, i + 5, 8000);
            PutBE16(jpg, i + 7, 8000);
        }
        if (marker == 0xDA) {
            sos = i;
            break;
        }
        i += 2 + length;
    }
    if (sos == 0) ADD_FAILURE() << "no scan in the JPEG";
    jpg.resize(std::min(jpg.size(), sos + 40));
    return jpg;
}

// An uncompressed 24-bit BMP claiming 16000 x 16000 pixels (768 MB of rows) in 100 bytes.
std::vector<uint8_t> BmpClaimingRows() {
    Bytes b;
    b.u8('B').u8('M').u32(100).u32(0).u32(54);
    b.u32(40).i32(16000).i32(16000).u8(1).u8(0).u8(24).u8(0).u32(0).u32(0).u32(2835).u32(2835).u32(0).u32(0);
    while (b.size() < 100) b.u8(0x40);
    return b.vec();
}

// A GIF whose screen and picture claim 65535 x 65535, with one block of data.
std::vector<uint8_t> GifClaimingScreen() {
    Bytes b;
    b.raw("GIF89a").u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u8(0x80).u8(0).u8(0);
    b.u8(0).u8(0).u8(0).u8(255).u8(255).u8(255);
    b.u8(',').u8(0).u8(0).u8(0).u8(0).u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u8(0);
    b.u8(2).u8(2).u8(0x4C).u8(0x01).u8(0).u8(';');
    return b.vec();
}

// A packed DIB of 8 bits claiming 2^31 palette entries and 30000 x 30000 pixels.
std::vector<uint8_t> DibClaimingPalette() {
    Bytes b;
    b.u32(40).i32(30000).i32(30000).u8(1).u8(0).u8(8).u8(0).u32(0).u32(0).u32(0).u32(0).u32(0x80000000u).u32(0);
    for (int i = 0; i < 64; ++i) b.u8(uint8_t(i));
    return b.vec();
}

// An Autodesk CEL claiming 65535 x 65535 pixels over its palette alone.
std::vector<uint8_t> CelClaimingPixels() {
    Bytes b;
    b.u8(0x19).u8(0x91).u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF).u32(0).u8(8).u8(0).u32(0xFFFE0001u);
    while (b.size() < 32 + 768 + 16) b.u8(1);
    return b.vec();
}

// A MIDI file claiming 65535 tracks, the first 4 GB long.
std::vector<uint8_t> MidiClaimingTracks() {
    std::vector<uint8_t> m = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0xFF, 0xFF, 0, 96,
                              'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xF0, 0, 0x90, 60, 100};
    return m;
}

struct TClaimCase {
    const char* Name;
    std::function<std::vector<uint8_t>()> Input;
    std::function<void(const std::vector<uint8_t>&)> Read;
    // The pixels the claim may make for real, within the picture size limit.
    int64_t PixelBytes;
};

void Picture(TBitmap32 (*read)(const uint8_t*, size_t), const std::vector<uint8_t>& b) { (void)read(b.data(), b.size()); }

}  // namespace

TEST(ClaimedSizes, CostLittleMoreThanThePixelsMade) {
    const std::vector<TClaimCase> cases = {
        {"PNG, a text chunk claiming 1.9 GB", [] { return Regression("picture_png", "text-chunk-claims-1.9GB.png"); },
         [](const auto& b) { Picture(ReadPngPicture, b); }, 0},
        {"PNG, a compressed text chunk claiming 1.9 GB",
         [] { return Regression("picture_png", "ztxt-chunk-claims-1.9GB.png"); },
         [](const auto& b) { Picture(ReadPngPicture, b); }, 0},
        {"PNG, an EXIF chunk claiming 1.9 GB", [] { return Regression("picture_png", "exif-chunk-claims-1.9GB.png"); },
         [](const auto& b) { Picture(ReadPngPicture, b); }, 64 * 48 * 4},
        {"JPEG, progressive, claiming 8000 x 8000", ProgressiveJpegClaiming8000,
         [](const auto& b) { (void)ReadJpegPicture(b.data(), b.size(), 0, 0, 1); }, int64_t(8000) * 8000 * 4},
        {"BMP, rows claimed", BmpClaimingRows, [](const auto& b) { (void)ReadMagickPicture(b.data(), b.size(), "BMP"); },
         0},
        {"GIF, screen claimed", GifClaimingScreen,
         [](const auto& b) { (void)ReadMagickPicture(b.data(), b.size(), "GIF"); }, 0},
        {"packed DIB, palette and rows claimed", DibClaimingPalette,
         [](const auto& b) {
             TBitmap32 out;
             (void)PackedDIBToBitmap32(b.data(), b.size(), out);
         },
         0},
        {"Autodesk CEL, pixels claimed", CelClaimingPixels, [](const auto& b) { Picture(ReadCelPicture, b); }, 0},
        {"MIDI, tracks claimed", MidiClaimingTracks, [](const auto& b) { (void)MidiPlayingTime(b.data(), b.size()); },
         0},
    };
    // ImageMagick's start (its configuration and coders) is paid once, not by a picture.
    auto warm = EncodeMagick(4, 4, [](int, int) { return Color32(1, 2, 3); }, "GIF");
    (void)ReadMagickPicture(warm.data(), warm.size(), "GIF");
    for (const TClaimCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> input = c.Input();
        const int64_t before = heapcount::Held();
        heapcount::StartPeak();
        try {
            c.Read(input);
        } catch (const Exception&) {
            // Refused: as good as decoded, if it cost little.
        }
        const int64_t cost = heapcount::Peak() - before;
        EXPECT_LE(cost, c.PixelBytes + 16 * kMB) << cost / kMB << " MB for " << input.size() << " bytes";
    }
}
