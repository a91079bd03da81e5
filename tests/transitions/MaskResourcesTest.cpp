// The embedded masks: each decodes, is grey, uses the grey range and looks like its
// name says in the ways the transitions rely on (dark opens first).

#include "graphics/JpegReader.h"
#include "transitions/MaskResources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class TShape { Other, Ramp, Centred };

struct TMaskCase {
    const char* Name;
    int Width, Height;
    TShape Shape;
};

// Registration order of the mask transitions.
const TMaskCase kMasks[] = {
    {"TBOXDROPSTRANSITIONPLUGIN", 320, 240, TShape::Other},
    {"TBOXDROPSFADETRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT1TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT2TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT3TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT4TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT5TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT6TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECT7TRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNEFFECTKORBTRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNHAIRWAVYTRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXDOWNHAIRSMOOTHTRANSITIONPLUGIN", 320, 240, TShape::Ramp},
    {"TBOXHEARTTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXMARBLETRANSITIONPLUGIN", 320, 240, TShape::Other},
    {"TBOXDROPRADARTRANSITIONPLUGIN", 320, 240, TShape::Other},
    {"TBOXSMALLCIRCLESWILDTRANSITIONPLUGIN", 320, 200, TShape::Other},
    {"TBOXSPIDERNETTRANSITIONPLUGIN", 320, 200, TShape::Other},
    {"TBOXSTAR4EDGESTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXSTAR8EDGESTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXSTAR14EDGESTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXSTAR8EDGESWILDTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXSWIRLSHARPTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXSWIRLSMOOTHTRANSITIONPLUGIN", 320, 240, TShape::Centred},
    {"TBOXWOODTRANSITIONPLUGIN", 320, 240, TShape::Other},
};
constexpr size_t kMaskCount = std::size(kMasks);

// Every mask decoded once for the whole program; empty where a mask is missing.
const std::vector<TBitmap32>& Decoded() {
    static const std::vector<TBitmap32> pictures = [] {
        std::vector<TBitmap32> v;
        for (const TMaskCase& m : kMasks) {
            const auto bytes = FindMaskResource(m.Name);
            v.push_back(bytes.empty() ? TBitmap32() : ReadJpegPicture(bytes.data(), bytes.size()));
        }
        return v;
    }();
    return pictures;
}

// Mean of the blue bytes (the ones the schedule reads) in a rectangle.
double MeanGrey(const TBitmap32& b, int left, int top, int width, int height) {
    double sum = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) sum += BlueComponent(b.Pixel(x, y));
    return sum / (width * height);
}

// At the same relative position, so masks of different heights compare too.
double MeanDifference(const TBitmap32& a, const TBitmap32& b) {
    constexpr int kW = 160, kH = 100;
    double sum = 0;
    for (int j = 0; j < kH; ++j)
        for (int i = 0; i < kW; ++i) {
            const double u = (i + 0.5) / kW, v = (j + 0.5) / kH;
            const int va = BlueComponent(a.Pixel(int(u * a.Width()), int(v * a.Height())));
            const int vb = BlueComponent(b.Pixel(int(u * b.Width()), int(v * b.Height())));
            sum += std::abs(va - vb);
        }
    return sum / (kW * kH);
}

TEST(MaskResources, EveryMaskDecodesGreyAtItsSizeAndSpansTheGreyRange) {
    ASSERT_EQ(MaskResourceTable().size(), kMaskCount);
    for (size_t n = 0; n < kMaskCount; ++n) {
        SCOPED_TRACE(kMasks[n].Name);
        const TBitmap32& b = Decoded()[n];
        ASSERT_EQ(b.Width(), kMasks[n].Width);
        ASSERT_EQ(b.Height(), kMasks[n].Height);
        int lo = 255, hi = 0, worstTint = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                const TColor32 c = b.Pixel(x, y);
                const int r = RedComponent(c), g = GreenComponent(c), bl = BlueComponent(c);
                worstTint = std::max({worstTint, std::abs(r - g), std::abs(g - bl), std::abs(r - bl)});
                lo = std::min(lo, bl);
                hi = std::max(hi, bl);
            }
        EXPECT_LE(worstTint, 2);
        EXPECT_LE(lo, 32);
        EXPECT_GE(hi, 224);
    }
}

TEST(MaskResources, MasksDifferPairwise) {
    for (size_t a = 0; a < kMaskCount; ++a)
        for (size_t b = a + 1; b < kMaskCount; ++b)
            EXPECT_GE(MeanDifference(Decoded()[a], Decoded()[b]), 8.0)
                << kMasks[a].Name << " and " << kMasks[b].Name;
}

TEST(MaskResources, RampsAreDarkerInTheTopQuarterThanInTheBottomOne) {
    for (size_t n = 0; n < kMaskCount; ++n) {
        if (kMasks[n].Shape != TShape::Ramp) continue;
        const TBitmap32& b = Decoded()[n];
        const int quarter = b.Height() / 4;
        EXPECT_LT(MeanGrey(b, 0, 0, b.Width(), quarter) + 32,
                  MeanGrey(b, 0, b.Height() - quarter, b.Width(), quarter))
            << kMasks[n].Name;
    }
}

TEST(MaskResources, CentredShapesAreDarkerAtTheCentreThanInTheCorners) {
    constexpr int kSide = 16;
    for (size_t n = 0; n < kMaskCount; ++n) {
        if (kMasks[n].Shape != TShape::Centred) continue;
        const TBitmap32& b = Decoded()[n];
        const int w = b.Width(), h = b.Height();
        const double centre = MeanGrey(b, (w - kSide) / 2, (h - kSide) / 2, kSide, kSide);
        for (const auto& [x, y] : {std::pair{0, 0}, {w - kSide, 0}, {0, h - kSide}, {w - kSide, h - kSide}})
            EXPECT_LT(centre + 32, MeanGrey(b, x, y, kSide, kSide)) << kMasks[n].Name << " corner " << x << "," << y;
    }
}

TEST(MaskResources, NamesCompareWithoutRegardToCaseAndUnknownOnesFindNothing) {
    const auto upper = FindMaskResource("TBOXHEARTTRANSITIONPLUGIN");
    ASSERT_FALSE(upper.empty());
    for (const char* name : {"TBoxHeartTransitionPlugin", "tboxhearttransitionplugin"}) {
        const auto found = FindMaskResource(name);
        EXPECT_EQ(found.data(), upper.data()) << name;
        EXPECT_EQ(found.size(), upper.size()) << name;
    }
    for (const char* name : {"", "TBOXHEARTTRANSITIONPLUGI", "TBOXHEARTTRANSITIONPLUGINX",
                             "TBOXHEARTTRANSITIONPLUGIN.jpg", "TBOXBLINDTRANSITIONPLUGIN"})
        EXPECT_TRUE(FindMaskResource(name).empty()) << '"' << name << '"';
}

}  // namespace
