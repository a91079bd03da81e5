#include "platform/Clipboard.h"

#include <gtest/gtest.h>

TEST(Clipboard, FormatsAreRegisteredOncePerName) {
    const uint32_t a = RegisterClipboardFormat("GCTestFormatA");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormat("gctestformata"), a);
    const uint32_t b = RegisterClipboardFormat("GCTestFormatB");
    EXPECT_NE(a, b);
    EXPECT_EQ(GetClipboardFormatName(a), "GCTestFormatA");
    EXPECT_EQ(GetClipboardFormatName(0), "");
    EXPECT_EQ(RegisterClipboardFormat(""), 0u);
}

TEST(Clipboard, HoldsOneEntryAndCopiesBytes) {
    const uint32_t a = RegisterClipboardFormat("GCTestFormatA");
    const uint32_t b = RegisterClipboardFormat("GCTestFormatB");
    EXPECT_FALSE(SetClipboardData(0, {1}));
    EXPECT_FALSE(SetClipboardData(0xBFFF, {1}));
    std::vector<uint8_t> data{1, 2, 3};
    ASSERT_TRUE(SetClipboardData(a, data));
    data[0] = 9;
    std::vector<uint8_t> out;
    ASSERT_TRUE(GetClipboardData(a, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(IsClipboardFormatAvailable(a));
    EXPECT_FALSE(IsClipboardFormatAvailable(b));
    ASSERT_TRUE(SetClipboardData(b, {4}));
    EXPECT_FALSE(IsClipboardFormatAvailable(a));
    EmptyClipboard();
    EXPECT_FALSE(GetClipboardData(b, out));
    EXPECT_TRUE(out.empty());
}
