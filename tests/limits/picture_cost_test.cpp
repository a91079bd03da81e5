// Large pictures cost what the screen needs, and a file's claims no more than the file
// can hold: each read's peak on the heap, counted.
#include "graphics/JpegReader.h"
#include "graphics/PngReader.h"
#include "limits/counting_allocator.h"
#include "platform/SysUtils.h"

#include "TestSupport.h"
#include "graphics/picture_testsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kMB = 1 << 20;

// 6000 x 4000 from navy to orange, progressive, quality 90, colour unsampled: about
// 470 KB, whose coefficients all stay until the last scan.
std::vector<uint8_t> ProgressiveGradient() {
    const TJpegEncoding encoding{90, true, 1, 1};
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

}  // namespace

TEST(PictureCost, AsMuchAsTheScreenNeedsAndTheFileHolds) {
    const struct {
        const char* Name;
        std::function<std::vector<uint8_t>()> Input;
        std::function<TBitmap32(const std::vector<uint8_t>&)> Read;
        int Width, Height;  // 0: refused
        int64_t MostBytes;
    } cases[] = {
        // Its coefficients (3 x 750 x 500 blocks of 128 bytes) and the half-size picture.
        {"a progressive gradient of 6000 x 4000, for 1920 x 1080", ProgressiveGradient,
         [](const auto& b) { return ReadJpegPicture(b.data(), b.size(), 1920, 1080, 1); }, 3000, 2000,
         144 * kMB + 3000 * 2000 * 4 + 16 * kMB},
        {"a few hundred bytes of progressive JPEG claiming 8000 x 8000",
         [] { return ReadFileBytes(std::string(GC_FUZZ_REGRESSIONS) + "/picture_jpeg/progressive-claims-8000x8000"); },
         [](const auto& b) { return ReadJpegPicture(b.data() + 1, b.size() - 1, 0, 0, 1); }, 0, 0, 1 * kMB},
        {"a PNG of 16000 x 16000, for 1280 x 1024", HugePng,
         [](const auto& b) { return ReadPngPicture(b.data(), b.size(), 1280, 1024); }, 1334, 1334, 1334 * 1334 * 4 + 16 * kMB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> input = c.Input();
        ASSERT_GT(input.size(), 1u);
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
        EXPECT_EQ(refusal.empty(), c.Width > 0) << refusal;
        EXPECT_EQ(picture.Width(), c.Width);
        EXPECT_EQ(picture.Height(), c.Height);
    }
}
