#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(PictureFilterList, ExtensionsOnceUpperCaseSorted) {
    auto list = ExtensionListFromMask("*.mpg;*.avi;*.MPEG;*.mpg;*.bmp;*.mpeg;*.Jpg");
    EXPECT_EQ(list, (std::vector<AnsiString>{"AVI", "BMP", "JPG", "MPEG", "MPG"}));
    EXPECT_TRUE(ExtensionListFromMask("").empty());
    // The text ends where it no longer starts with "*".
    EXPECT_EQ(ExtensionListFromMask("*.a;b.c;*.d"), (std::vector<AnsiString>{"A"}));
}

TEST(PictureFilterList, SameDescriptionsMergeAndAllPicturesListsEveryMask) {
    const AnsiString text =
        "Alle (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|JPEG-Datei (*.jpg)|*.jpg|JPEG-Datei (*.jpeg)|*.jpeg|"
        "Bitmap-Datei (*.bmp)|*.bmp";
    EXPECT_EQ(PictureFilterFromText(text, true, true),
              "Alle Bilder|*.bmp;*.jpeg;*.jpg|Bitmap-Datei (*.bmp)|*.bmp|JPEG-Datei (*.jpeg;*.jpg)|*.jpeg;*.jpg|"
              "Alle Dateien (*.*)|*.*");
    // Three in a row merge into one; case counts for descriptions.
    const AnsiString three = "x|y|T (*.a)|*.a|T (*.b)|*.b|T (*.c)|*.c|t (*.d)|*.d";
    EXPECT_EQ(PictureFilterFromText(three, false, false), "T (*.a;*.b;*.c)|*.a;*.b;*.c|t (*.d)|*.d");
}

TEST(PictureFilterList, EqualMasksKeepTheEntryThatSortsLast) {
    const AnsiString text = "x|y|B-Datei (*.x)|*.X|A-Datei (*.x)|*.x|C\r\n-Datei (*.z)|*.z";
    EXPECT_EQ(PictureFilterFromText(text, true, false), "Alle Bilder|*.X;*.z|B-Datei (*.x)|*.X|C-Datei (*.z)|*.z");
}

TEST(PictureFilterList, StripMaskSuffix) {
    AnsiString s = "JPEG-Datei (*.jpg)";
    StripMaskSuffix(s);
    EXPECT_EQ(s, "JPEG-Datei ");
    s = "ohne Maske";
    StripMaskSuffix(s);
    EXPECT_EQ(s, "");
    s = "a (b) (c)";
    StripMaskSuffix(s);
    EXPECT_EQ(s, "a (b) ");
}

TEST(PictureFilterList, FromTheRegistry) {
    InitializePictureFormats();
    const auto& list = GetPictureExtensionList(true);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
    for (const char* e : {"JPG", "JPEG", "PNG", "TIF", "GIF", "CEL", "PSD"})
        EXPECT_NE(std::find(list.begin(), list.end(), e), list.end()) << e;
    AnsiString filter;
    BuildPictureFilter(true, true, filter);
    EXPECT_EQ(filter.rfind("Alle Bilder|", 0), 0u);
    EXPECT_NE(filter.find("|JPEG-Datei (*.jpe;*.jpeg;*.jpg)|*.jpe;*.jpeg;*.jpg|"), AnsiString::npos);
    EXPECT_NE(filter.find("|Alle Dateien (*.*)|*.*"), AnsiString::npos);
    EXPECT_EQ(filter.substr(filter.size() - 23), "|Alle Dateien (*.*)|*.*");

    // The cache keeps its list until asked to refresh; the copy is the caller's.
    RegisterPictureFormat("mpg", "MPEG-Video", nullptr);
    EXPECT_EQ(std::count(list.begin(), list.end(), "MPG"), 0);
    auto copy = CopyPictureExtensionList(true);
    EXPECT_EQ(std::count(copy.begin(), copy.end(), "MPG"), 1);
    EXPECT_EQ(std::count(list.begin(), list.end(), "MPG"), 1);  // refreshed in place
    UnregisterPictureFormat("mpg");
    FinalizePictureFormatLists();
}
