#include "platform/FontRegistry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";

// A show folder with a Fonts folder holding copies of installed DejaVu files and a text
// file, as a show brings its own fonts.
class FontRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kDejaVu + "DejaVuSans.ttf")) GTEST_SKIP() << "fonts-dejavu-core is not installed";
        dir_.Write("Fonts/readme.txt", "not a font\r\n");
    }

    // Copies an installed file into the Fonts folder; answers its program path.
    AnsiString Copy(const std::string& name) {
        std::filesystem::copy_file(kDejaVu + name, dir_.Path() / "Fonts" / name);
        return dir_.Program() + "Fonts\\" + name;
    }
    std::string Native(const std::string& name) const { return dir_ / ("Fonts/" + name); }

    static TFont Font(const char* name, uint8_t style = 0) {
        TFont f;
        f.Name = name;
        f.Size = 12;
        f.Style = style;
        return f;
    }
    static std::string FoundPath(const char* family, uint8_t style = 0) {
        TFontFile file;
        return FindFontFile(family, style, file) ? file.Path : std::string();
    }

    TempDir dir_;
};

}  // namespace

TEST_F(FontRegistryTest, ShowFontIsFoundByFamilyAtItsPathOnlyWhileAdded) {
    const AnsiString font = Copy("DejaVuSans.ttf");
    EXPECT_EQ(AddFontResource(dir_.Program() + "Fonts\\readme.txt"), 0);
    EXPECT_EQ(AddFontResource(dir_.Program() + "Fonts\\missing.ttf"), 0);
    EXPECT_EQ(AddFontResource(""), 0);

    // A face cached before the file is added must not hide it afterwards.
    std::shared_ptr<TFontFace> before = GetFontFace(Font("DejaVu Sans"));
    ASSERT_TRUE(before);
    EXPECT_NE(before->File().Path, Native("DejaVuSans.ttf"));

    ASSERT_EQ(AddFontResource(font), 1);
    TFontFile file;
    ASSERT_TRUE(FindFontFile("dejavu sans", 0, file));
    EXPECT_EQ(file.Path, Native("DejaVuSans.ttf"));
    EXPECT_EQ(file.Index, 0);
    EXPECT_EQ(file.FamilyName, "DejaVu Sans");
    EXPECT_FALSE(file.Bold);
    EXPECT_FALSE(file.Italic);
    std::shared_ptr<TFontFace> face = GetFontFace(Font("DejaVu Sans"));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->File().Path, Native("DejaVuSans.ttf"));
    EXPECT_GT(face->TextWidth("Glowcanvas"), 0);

    EXPECT_TRUE(RemoveFontResource(font));
    EXPECT_NE(FoundPath("DejaVu Sans"), Native("DejaVuSans.ttf"));
    std::shared_ptr<TFontFace> after = GetFontFace(Font("DejaVu Sans"));
    ASSERT_TRUE(after);
    EXPECT_NE(after->File().Path, Native("DejaVuSans.ttf"));
    // A face handed out while the file was added stays usable.
    EXPECT_GT(face->TextWidth("Glowcanvas"), 0);
}

TEST_F(FontRegistryTest, EachAdditionIsTakenBackOnce) {
    const AnsiString font = Copy("DejaVuSans.ttf");
    EXPECT_FALSE(RemoveFontResource(font));
    ASSERT_EQ(AddFontResource(font), 1);
    // The same file however the program spells it.
    ASSERT_EQ(AddFontResource(dir_.Program() + "fonts\\.\\DEJAVUSANS.TTF"), 1);
    EXPECT_TRUE(RemoveFontResource(font));
    EXPECT_EQ(FoundPath("DejaVu Sans"), Native("DejaVuSans.ttf"));
    EXPECT_TRUE(RemoveFontResource(font));
    EXPECT_NE(FoundPath("DejaVu Sans"), Native("DejaVuSans.ttf"));
    EXPECT_FALSE(RemoveFontResource(font));
    EXPECT_FALSE(RemoveFontResource(dir_.Program() + "Fonts\\readme.txt"));
}

TEST_F(FontRegistryTest, FamiliesGoByTheirWindowsNameAndTheNearestStyle) {
    const AnsiString regular = Copy("DejaVuSans.ttf");
    const AnsiString bold = Copy("DejaVuSans-Bold.ttf");
    // Its Windows family name differs from the typographic family fontconfig reports.
    const AnsiString light = Copy("DejaVuSans-ExtraLight.ttf");
    for (const AnsiString& f : {regular, bold, light}) ASSERT_EQ(AddFontResource(f), 1) << f;

    struct Case {
        const char* family;
        uint8_t style;
        std::string file;
        bool bold, italic;
    } cases[] = {
        {"DejaVu Sans", 0, "DejaVuSans.ttf", false, false},
        {"DejaVu Sans", fsBold, "DejaVuSans-Bold.ttf", true, false},
        {"DejaVu Sans", fsItalic, "DejaVuSans.ttf", false, false},  // slant synthesised
        {"DejaVu Sans", fsBold | fsItalic | fsUnderline, "DejaVuSans-Bold.ttf", true, false},
        {"DEJAVU SANS LIGHT", fsBold, "DejaVuSans-ExtraLight.ttf", false, false},
    };
    for (const Case& c : cases) {
        TFontFile file;
        ASSERT_TRUE(FindFontFile(c.family, c.style, file)) << c.family;
        EXPECT_EQ(file.Path, Native(c.file)) << c.family << " " << int(c.style);
        EXPECT_EQ(file.Bold, c.bold) << c.file;
        EXPECT_EQ(file.Italic, c.italic) << c.file;
    }
    TFontFile file;
    ASSERT_TRUE(FindAddedFont("dejavu sans light", 0, file));
    EXPECT_EQ(file.FamilyName, "DejaVu Sans Light");
    EXPECT_FALSE(FindAddedFont("DejaVu Serif", 0, file));

    for (const AnsiString& f : {regular, bold, light}) EXPECT_TRUE(RemoveFontResource(f));
    EXPECT_FALSE(FindAddedFont("DejaVu Sans", 0, file));
}

TEST_F(FontRegistryTest, AddsRemovesAndLooksUpFromManyThreads) {
    const AnsiString font = Copy("DejaVuSans.ttf");
    ASSERT_EQ(AddFontResource(font), 1);  // held throughout, so every lookup finds the copy
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                if (AddFontResource(font) != 1) ++wrong;
                std::shared_ptr<TFontFace> face = GetFontFace(Font("DejaVu Sans"));
                if (!face || face->File().Path != Native("DejaVuSans.ttf") || face->TextWidth("x") <= 0) ++wrong;
                if (!RemoveFontResource(font)) ++wrong;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(RemoveFontResource(font));
    EXPECT_FALSE(RemoveFontResource(font));
}
