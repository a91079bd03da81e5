#include "foundation/AppInfo.h"
#include "foundation/CommandLine.h"
#include "platform/ProcessInfo.h"

#include <gtest/gtest.h>

using Tokens = std::vector<AnsiString>;

TEST(CommandLine, QuotedProgramAndSwitches) {
    TParameterParser p("\"C:\\Programme\\Glow canvas.scr\" /p 1234");
    EXPECT_EQ(p.Tokens, (Tokens{"C:\\Programme\\Glow canvas.scr", "", "/p", "1234"}));
    EXPECT_TRUE(p.HasParameters());
    EXPECT_TRUE(p.HasSwitch('P'));
    EXPECT_TRUE(p.HasSwitch('p'));
    EXPECT_FALSE(p.HasSwitch('S'));
    EXPECT_EQ(p.FindSwitch('p'), "/p");

    TParameterParser only("C:\\x.scr");
    EXPECT_EQ(only.Tokens, Tokens{"C:\\x.scr"});
    EXPECT_FALSE(only.HasParameters());

    EXPECT_TRUE(TParameterParser("x -S").HasSwitch('s'));
    EXPECT_TRUE(TParameterParser("x /s").HasSwitch('S'));
    EXPECT_FALSE(TParameterParser("x /").HasSwitch('/'));
    EXPECT_EQ(TParameterParser("x  /c").Tokens, (Tokens{"x", "", "/c"}));
    EXPECT_TRUE(TParameterParser(AnsiString()).Tokens.empty());
    EXPECT_TRUE(TParameterParser(true).Tokens.empty());
}

TEST(CommandLine, ProgramPathIsNoSwitch) {
    TParameterParser p("/srv/screensaver/glowcanvas");
    EXPECT_FALSE(p.HasSwitch('S'));
    EXPECT_FALSE(TParameterParser("/srv/x /c").HasSwitch('s'));
    EXPECT_TRUE(TParameterParser("/srv/x /c").HasSwitch('C'));
}

TEST(CommandLine, QuotesThatDoNotPair) {
    // A quote opening a token that never closes: the rest of the line is one token.
    EXPECT_EQ(TParameterParser("\"abc 'x' /s").Tokens, (Tokens{"abc 'x' /s"}));
    // Text glued to a quoted word ends at the quote.
    EXPECT_EQ(TParameterParser("ab\"cd\"").Tokens, (Tokens{"ab", "cd"}));
    EXPECT_EQ(TParameterParser("prog 'x y' z\"w").Tokens, (Tokens{"prog", "x y", "", "z\"w"}));
    EXPECT_EQ(TParameterParser("a\"b c").Tokens, (Tokens{"a\"b", "c"}));
    EXPECT_EQ(TParameterParser("\"\"").Tokens, (Tokens{""}));
}

TEST(CommandLine, ExtPos) {
    EXPECT_EQ(ExtPos("B", "abc", 1), 4);
    EXPECT_EQ(ExtPos("X", "abc", 1), 0);
    EXPECT_EQ(ExtPos("b", "abc", 1), 0);
    EXPECT_EQ(ExtPos("C", "abc", 2), 5);  // rest "BC", match at 2
    EXPECT_EQ(ExtPos("A", "abc", 2), 0);
    EXPECT_EQ(ExtPos("", "abc", 1), 0);
    EXPECT_EQ(ExtPos("A", "abc", 9), 0);
}

TEST(CommandLine, RebuiltFromArguments) {
    EXPECT_EQ(BuildCommandLine({"/usr/bin/glow canvas", "/p", "", "12"}), "\"/usr/bin/glow canvas\" /p \"\" 12");
    EXPECT_EQ(BuildCommandLine({"prog", "\xC3\xA4"}), "prog \xE4");  // UTF-8 becomes Windows-1252
    const char* argv[] = {"/opt/glowcanvas", "/S"};
    SetProcessArguments(2, argv);
    FinalizeParameters();
    EXPECT_TRUE(HasParameters());
    EXPECT_TRUE(HasSwitch('s'));
    EXPECT_FALSE(HasSwitch('o'));
    FinalizeParameters();
    EXPECT_FALSE(GetExecutablePath().empty());
}

TEST(ApplicationInfo, AnswersFromTheCurrentProductIdentity) {
    InitializeApplicationName();
    InitializeSlideShowApplication();
    auto info = GetApplicationInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetCompanyName(), "");  // nothing installed yet
    EXPECT_EQ(info->GetCompanyProductPath(), "");

    SetProductIdentity(std::make_shared<TFixedProductInfo>("Velmorra", "Glowcanvas"));
    EXPECT_EQ(info->GetCompanyName(), "Velmorra");
    EXPECT_EQ(info->GetProductName(), "Glowcanvas");
    EXPECT_EQ(info->GetHomePageURL(), "http://www.velmorra.de");
    EXPECT_EQ(info->GetMajorVersion(), "2");
    EXPECT_EQ(info->GetVersion(), "2.0");
    EXPECT_EQ(info->GetFullVersion(), "2.0.1");
    EXPECT_EQ(info->GetRegistryBase(), "\\Software\\Velmorra\\Glowcanvas\\2.x\\");
    EXPECT_EQ(info->GetCompanyProductPath(), "Velmorra\\Glowcanvas\\");
    EXPECT_EQ(info->GetPictureFile(), "Glowcanvas.jpg");
    EXPECT_EQ(info->GetHelpFile(), "Glowcanvas.chm");
    EXPECT_EQ(info->GetReserved8() + info->GetReserved15() + info->GetReserved18(), "");

    SetProductIdentity(std::make_shared<TFixedProductInfo>("Andere", "Firma"));
    EXPECT_EQ(info->GetCompanyName(), "Andere");  // asked at the time of the call

    FinalizeSlideShowApplication();
    FinalizeApplicationName();
    EXPECT_FALSE(GetApplicationInfo());
    EXPECT_FALSE(GetProductIdentity());
    EXPECT_EQ(info->GetCompanyName(), "");
}
