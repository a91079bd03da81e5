// Large pictures cost what the screen needs, and a file's claims cost no more than the
// file can hold: each read's peak on the heap, counted.
#include "graphics/JpegReader.h"
#include "graphics/PictureReader.h"
#include "graphics/PngReader.h"
#include "limits/counting_allocator.h"
#include "platform/SysUtils.h"

#include "graphics/picture_testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kMB = 1 << 20;

// A progressive JPEG of 8 x 8 whose frame header claims 8000 x 8000, cut after its first
// scan's header: a few hundred bytes.
std::vector<uint8_t> TinyJpegClaiming8000() {
    auto jpg = EncodeJpeg(8, 8, [](int, int) { return Color32(90, 90, 90); }, 90, true);
    for (size_t i = 2; i + 8 < jpg.size() && jpg[i] == 0xFF;) {
        const size_t length = size_t(jpg[i + 2] << 8 | jpg[i + 3]);
        if (jpg[i + 1] == 0xC2) {
            jpg[i + 5] = jpg[i + 7] = 8000 >> 8;
            jpg[i + 6] = jpg[i + 8] = 8000 & 0xFF;
        }
        if (jpg[i + 1] == 0xDA) {
            jpg.resize(i + 40);
            break;
        }
        i += 2 + length;
    }
    return jpg;
}

// 6000 x 4000 from navy at the top to orange at the bottom, progressive, quality 90,
// colour unsampled: it compresses to under 500 KB, and every coefficient stays until the
// last scan.
std::vector<uint8_t> ProgressiveGradient() {
    TJpegEncoding encoding;
    encoding.Quality = 90;
    encoding.Progressive = true;
    encoding.HSample = encoding.VSample = 1;
    return EncodeJpegWith(6000, 4000, [](int, int y) {
        return Color32(uint8_t(255 * y / 3999), uint8_t(165 * y / 3999), uint8_t(128 - 128 * y / 3999));
    }, encoding);
}

// 16000 x 16000 of broad bands: a few MB of PNG, 1 GB decoded whole.
std::vector<uint8_t> HugePng() {
    return EncodePngRows(16000, 16000, [](int y, uint8_t* rgba) {
        for (int x = 0; x < 16000; ++x, rgba += 4) {
            rgba[0] = uint8_t(x / 64);
            rgba[1] = uint8_t(y / 64);
            rgba[2] = uint8_t((x / 1000 + y / 1000) % 2 ? 200 : 40);
            rgba[3] = 255;
        }
    });
}

struct TCostCase {
    const char* Name;
    std::function<std::vector<uint8_t>()> Input;
    std::function<TBitmap32(const std::vector<uint8_t>&)> Read;
    // Read: the picture's size; otherwise refused.
    int Width, Height;
    int64_t MostBytes;
};

}  // namespace

TEST(PictureCost, AsMuchAsTheScreenNeedsAndTheFileHolds) {
    const std::vector<TCostCase> cases = {
        // Its coefficients, 3 x 750 x 500 blocks of 128 bytes, and the half-size picture.
        {"a progressive gradient of 6000 x 4000 in 471 KB, for 1920 x 1080", ProgressiveGradient,
         [](const auto& b) { return ReadJpegPicture(b.data(), b.size(), 1920, 1080, 1); }, 3000, 2000,
         144 * kMB + 3000 * 2000 * 4 + 16 * kMB},
        {"a few hundred bytes of progressive JPEG claiming 8000 x 8000", TinyJpegClaiming8000,
         [](const auto& b) { return ReadJpegPicture(b.data(), b.size(), 0, 0, 1); }, 0, 0, 1 * kMB},
        {"a PNG of 16000 x 16000 for 1280 x 1024", HugePng,
         [](const auto& b) { return ReadPngPicture(b.data(), b.size(), 1280, 1024); }, 1334, 1334,
         1334 * 1334 * 4 + 16 * kMB},
    };
    for (const TCostCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> input = c.Input();
        const int64_t before = heapcount::Held();
        heapcount::StartPeak();
        std::string refusal;
        TBitmap32 picture;
        try {
            picture = c.Read(input);
        } catch (const Exception& e) {
            refusal = e.Message();
        }
        const int64_t cost = heapcount::Peak() - before;
        EXPECT_LE(cost, c.MostBytes) << cost / kMB << " MB for " << input.size() << " bytes";
        if (c.Width > 0) {
            EXPECT_EQ(refusal, "");
            EXPECT_EQ(picture.Width(), c.Width);
            EXPECT_EQ(picture.Height(), c.Height);
        } else {
            EXPECT_NE(refusal.find("damaged JPEG"), std::string::npos) << refusal;
        }
        std::printf("%s: %zu bytes, %.1f MB at the peak\n", c.Name, input.size(), double(cost) / double(kMB));
    }
}
