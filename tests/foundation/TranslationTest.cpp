#include "TestSupport.h"
#include "foundation/Translation.h"

#include <gtest/gtest.h>

namespace {
const char* kTable =
    "[Other]\r\n"
    "Title=Anderes\r\n"
    "[Sound.dfm]\r\n"
    "Caption=Klang\r\n"
    "\r\n"
    "Hint,12=Datei w\xE4hlen=bitte\r\n"
    "[Empty]\r\n"
    "\r\n"
    "[Last]\n"
    "Key=last";
}  // namespace

TEST(Translation, SelectsNormalisedSections) {
    TSimpleTranslation t;
    EXPECT_EQ(t.Translate("Caption", "dflt"), "dflt");  // nothing selected
    EXPECT_FALSE(t.SelectSection("Sound.dfm", false, false, true));  // no table yet
    t.SetLines(TextToLines(kTable));
    // The header is matched exactly, letter case included.
    EXPECT_FALSE(t.SelectSection("C:\\Forms\\sound.DFM", false, false, true));
    ASSERT_TRUE(t.SelectSection("C:\\Forms\\Sound.dfm", false, false, true));
    EXPECT_EQ(t.Translate("Caption", "x"), "Klang");
    EXPECT_EQ(t.Translate("hint", "x"), "Datei w\xE4hlen=bitte");
    EXPECT_EQ(t.Translate("Title", "x"), "x");  // other section
    EXPECT_EQ(t.Translate("Missing", "x"), "x");
    ASSERT_EQ(t.Section()->size(), 2u);
    // Without normalising the extra part stays in the name.
    ASSERT_TRUE(t.SelectSection("Sound.dfm", false, false, false));
    EXPECT_EQ(t.Translate("Hint", "x"), "x");
    EXPECT_EQ(t.Translate("Hint,12", "x"), "Datei w\xE4hlen=bitte");
    // A section without lines, or none at all, selects nothing.
    EXPECT_FALSE(t.SelectSection("Empty", false, false, true));
    EXPECT_FALSE(t.HasSection());
    EXPECT_FALSE(t.SelectSection("Nowhere", true, false, true));
    ASSERT_TRUE(t.SelectSection("Last", false, false, true));
    EXPECT_EQ(t.Translate("KEY", "x"), "last");
    t.SetLines({});
    EXPECT_FALSE(t.HasSection());
}

TEST(Translation, LineHelpers) {
    TSimpleTranslation t;
    EXPECT_EQ(t.NormalizeLine("A,b=c,d"), "A=c,d");
    EXPECT_EQ(t.NormalizeLine("A=b,c"), "A=b,c");
    EXPECT_EQ(t.NormalizeLine("A,b"), "A,b");
    AnsiString k, e, v;
    t.SplitLine("Key,Ex=Val=ue", k, e, v);
    EXPECT_EQ(k, "Key");
    EXPECT_EQ(e, "Ex");
    EXPECT_EQ(v, "Val=ue");
    t.SplitLine("Key=V,x", k, e, v);
    EXPECT_EQ(k, "Key");
    EXPECT_EQ(e, "");
    EXPECT_EQ(v, "V,x");
    t.SplitLine("Plain", k, e, v);
    EXPECT_EQ(k, "Plain");
    EXPECT_EQ(v, "");
    EXPECT_EQ(t.GetValue({"a=", "A=2"}, "a", "d"), "d");  // the first match is empty
    EXPECT_EQ(TextToLines("a\r\nb\nc\rd\r\n"), (TStringLines{"a", "b", "c", "d"}));
    EXPECT_EQ(TextToLines("\n\n"), (TStringLines{"", ""}));
}

TEST(Translation, FilesAsTablesAndSections) {
    TempDir tmp;
    tmp.Write("lang.txt", kTable);
    tmp.Write("section.txt", "b=2\r\nA=1\r\nc=3");
    TSimpleTranslation t;
    EXPECT_TRUE(t.LoadFromFile(tmp.Program() + "lang.txt"));
    EXPECT_TRUE(t.SelectSection("Other", false, false, false));
    EXPECT_EQ(t.Translate("Title", ""), "Anderes");
    EXPECT_FALSE(t.LoadFromFile(tmp.Program() + "missing.txt", true, 1));
    EXPECT_FALSE(t.HasTable());
    EXPECT_FALSE(t.LoadFromFile(tmp.Program()));  // a folder
    EXPECT_FALSE(t.LoadFromFile(""));
    ASSERT_TRUE(t.SelectSection(tmp.Program() + "section.txt", false, true, false));
    EXPECT_EQ(*t.Section(), (TStringLines{"A=1", "b=2", "c=3"}));  // sorted
    EXPECT_EQ(t.Translate("C", ""), "3");
    EXPECT_FALSE(t.SelectSection(tmp.Program() + "nope.txt", false, true, false));
    EXPECT_FALSE(t.HasSection());
}

TEST(Translation, ProcessWideInstance) {
    InitializeTranslation();
    ASSERT_NE(GetTranslation(), nullptr);
    EXPECT_EQ(GetTranslation()->Translate("x", "y"), "y");
    FinalizeTranslation();
    EXPECT_EQ(GetTranslation(), nullptr);
}

TEST(FilterExtensions, ParsesPairsSortsAndDeduplicates) {
    EXPECT_EQ(GetFilterExtensions("Bilder|*.jpg;*.JPEG|Alle|*.*"), (TStringLines{"*", "JPEG", "JPG"}));
    EXPECT_TRUE(GetFilterExtensions("").empty());
    EXPECT_TRUE(GetFilterExtensions("Nur Text").empty());
    EXPECT_EQ(GetFilterExtensions("A|*.mp3;*.wav|B|*.MP3|C|x.ogg"), (TStringLines{"MP3", "OGG", "WAV"}));
    EXPECT_EQ(GetFilterExtensions("A|*.;noext;dir.d\\file|B"), (TStringLines{}));
    EXPECT_EQ(GetFilterExtensions("A|*.tar.gz;*.\xE4q"), (TStringLines{"GZ", "\xC4Q"}));
    EXPECT_EQ(GetFilterExtensions("|*.b||*.a|"), (TStringLines{"A", "B"}));
}
