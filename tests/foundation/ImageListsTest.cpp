#include "foundation/ImageLists.h"
#include "platform/SysColors.h"

#include <gtest/gtest.h>

namespace {

constexpr TColor kRed = 0x0000FF;    // Windows layout 0x00BBGGRR
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kWhite = 0xFFFFFF;

TIconBitmap Solid(int32_t w, int32_t h, TColor c) {
    TIconBitmap b;
    b.Image = TImage32(w, h, ColorToPixel(c));
    return b;
}

}  // namespace

TEST(ImageLists, SameSizeIconKeepsItsPixels) {
    TImageList list(100, 100);
    TIconBitmap icon = Solid(100, 100, kRed);
    icon.Image.SetPixel(3, 4, ColorToPixel(kBlue));
    icon.Image.SetPixel(5, 6, ColorToPixel(kWhite));  // the background colour becomes the mask
    EXPECT_EQ(AddBitmapToImageList(&icon, &list, true, kWhite), 0);
    const TImage32& img = list.Image(0);
    EXPECT_EQ(img.Pixel(0, 0), ColorToPixel(kRed));
    EXPECT_EQ(img.Pixel(3, 4), ColorToPixel(kBlue));
    EXPECT_EQ(img.Pixel(5, 6), 0u);
    EXPECT_EQ(list.MaskColor(0), kWhite);
}

TEST(ImageLists, WideIconIsCentredOnASquareAndResampled) {
    TImageList list(100, 100);
    TIconBitmap icon = Solid(200, 100, kRed);
    EXPECT_EQ(AddBitmapToImageList(&icon, &list, true, clWindow), 0);
    const TImage32& img = list.Image(0);
    ASSERT_EQ(img.Width, 100);
    ASSERT_EQ(img.Height, 100);
    // 200 x 200 with the icon in rows 50..149, halved: rows 25..74 red, the rest masked.
    EXPECT_EQ(img.Pixel(50, 24), 0u);
    EXPECT_EQ(img.Pixel(50, 25), ColorToPixel(kRed));
    EXPECT_EQ(img.Pixel(0, 74), ColorToPixel(kRed));
    EXPECT_EQ(img.Pixel(99, 75), 0u);
    EXPECT_EQ(list.MaskColor(0), GetSysColor(5));  // clWindow resolved
}

TEST(ImageLists, SmallListFitsAndAveragesABigIcon) {
    TImageList list(16, 16);
    TIconBitmap icon = Solid(32, 32, kRed);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; x += 2) icon.Image.SetPixel(x, y, ColorToPixel(kBlue));
    EXPECT_EQ(AddBitmapToImageList(&icon, &list, true, kWhite), 0);
    const uint32_t p = list.Image(0).Pixel(7, 7);
    EXPECT_EQ(p >> 24, 255u);
    EXPECT_NEAR(int((p >> 16) & 0xFF), 128, 1);  // half red
    EXPECT_NEAR(int(p & 0xFF), 128, 1);          // half blue
}

TEST(ImageLists, TransparentIconsMaskTheirOwnColour) {
    TImageList list(4, 4);
    TIconBitmap icon = Solid(4, 4, kRed);
    icon.Image.SetPixel(0, 3, ColorToPixel(kBlue));  // bottom-left decides in automatic mode
    icon.Transparent = true;
    EXPECT_EQ(AddBitmapToImageList(&icon, &list, false, kWhite), 0);
    EXPECT_EQ(list.MaskColor(0), kBlue);
    EXPECT_EQ(list.Image(0).Pixel(0, 3), 0u);
    icon.TransparentMode = TTransparentMode::tmFixed;
    icon.TransparentColor = kRed;
    EXPECT_EQ(AddBitmapToImageList(&icon, &list, false, kWhite), 1);
    EXPECT_EQ(list.MaskColor(1), kRed);
    EXPECT_EQ(list.Image(1).Pixel(1, 1), 0u);
    EXPECT_EQ(list.Image(1).Pixel(0, 3), ColorToPixel(kBlue));
    // Drawn for fitting, its transparent pixels show the background.
    TImageList big(8, 8);
    EXPECT_EQ(AddBitmapToImageList(&icon, &big, true, kWhite), 0);
    EXPECT_EQ(big.MaskColor(0), kWhite);
    EXPECT_EQ(big.Image(0).Pixel(4, 4), 0u);
    EXPECT_EQ(big.Image(0).Pixel(0, 7), ColorToPixel(kBlue));
}

TEST(ImageLists, NullAndEmptyBitmaps) {
    TImageList list(16, 16);
    EXPECT_EQ(AddBitmapToImageList(nullptr, &list, true, kWhite), -1);
    TIconBitmap empty;
    empty.Transparent = true;
    EXPECT_EQ(AddBitmapToImageList(&empty, &list, false, kWhite), -1);
    EXPECT_EQ(list.Count(), 0);
    // Fitted, an empty icon is a blank image of background colour.
    EXPECT_EQ(AddBitmapToImageList(&empty, &list, true, kWhite), 0);
    EXPECT_EQ(list.Image(0).Pixel(8, 8), 0u);
    TImageList none(0, 0);
    EXPECT_EQ(AddBitmapToImageList(&empty, &none, true, kWhite), -1);
}

TEST(ImageLists, IndexListsAndProcessWideLists) {
    TImageIndexList l;
    EXPECT_EQ(l.ImageIndexOf(TObject::StaticClassInfo()), -1);
    l.Add(TObject::StaticClassInfo(), 7);
    l.Add(TObject::StaticClassInfo(), 9);  // the first record wins
    EXPECT_EQ(l.ImageIndexOf(TObject::StaticClassInfo()), 7);
    l.Clear();
    EXPECT_EQ(l.ImageIndexOf(TObject::StaticClassInfo()), -1);

    TImageList& small = GetSmallImageList();
    EXPECT_EQ(small.Width(), 16);
    EXPECT_EQ(&small, &GetSmallImageList());
    EXPECT_EQ(GetBigImageList().Height(), 100);
    GetBigImageIndexList().Add(42, 3);
    EXPECT_EQ(GetBigImageIndexList().ImageIndexOf(42), 3);
    EXPECT_EQ(GetSmallImageIndexList().ImageIndexOf(42), -1);
    FinalizeImageLists();
    EXPECT_EQ(GetBigImageIndexList().ImageIndexOf(42), -1);
    FinalizeImageLists();
}

TEST(ImageLists, ResampleKeepsSolidColoursAndSizes) {
    const TImage32 src(3, 7, 0xFF102030u);
    for (auto [w, h] : {std::pair{1, 1}, {3, 7}, {10, 2}, {7, 31}}) {
        const TImage32 r = ResampleImage(src, w, h);
        ASSERT_EQ(r.Width, w);
        ASSERT_EQ(r.Height, h);
        for (uint32_t p : r.Pixels) EXPECT_EQ(p, 0xFF102030u);
    }
    EXPECT_TRUE(ResampleImage(TImage32(), 5, 5).Pixels == std::vector<uint32_t>(25, 0));
    EXPECT_TRUE(ResampleImage(src, 0, 5).Empty());
}
