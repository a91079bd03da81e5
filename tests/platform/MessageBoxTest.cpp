#include "platform/ConfigureDialog.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Tests never have a display: message boxes must print and return at once.
TEST(MessageBox, WithoutADisplayPrintsToStderrAndReturnsOk) {
    ::setenv("GC_NO_DISPLAY", "1", 1);
    ASSERT_FALSE(GuiAvailable());
    testing::internal::CaptureStderr();
    const int result = ShowMessageBox("Der Bildschirmschoner wurde nicht korrekt installiert.", TMsgDlgType::mtError);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(err, "Fehler: Der Bildschirmschoner wurde nicht korrekt installiert.\n");

    // Windows-1252 text reaches the terminal as UTF-8.
    testing::internal::CaptureStderr();
    ShowMessageBox("g\xFCltig", TMsgDlgType::mtInformation);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Information: g\xC3\xBCltig\n");

    // Nor does the settings dialog wait for anyone: it answers that it showed nothing.
    TConfigureDialogValues values;
    EXPECT_EQ(RunConfigureDialog(TConfigureDialogTexts{}, values, TConfigureDialogHandlers{}), mrNone);
}

TEST(MessageBox, AnInstalledSystemSeesEveryBox) {
    TFakeMessageBoxSystem fake;
    SetMessageBoxSystem(&fake);
    EXPECT_EQ(ShowMessageBox("x", TMsgDlgType::mtWarning), mrOk);
    SetMessageBoxSystem(nullptr);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].first, "x");
    EXPECT_EQ(fake.Boxes[0].second, TMsgDlgType::mtWarning);
    EXPECT_EQ(MessageBoxTitle(TMsgDlgType::mtWarning), "Warnung");
}

TEST(ConfigureDialog, MnemonicsBecomeGtkUnderscores) {
    EXPECT_EQ(MnemonicToGtk("&Ok"), "_Ok");
    EXPECT_EQ(MnemonicToGtk("&Abbrechen"), "_Abbrechen");
    EXPECT_EQ(MnemonicToGtk("Sound && Bild"), "Sound & Bild");
    EXPECT_EQ(MnemonicToGtk("a_b &c"), "a__b _c");
    EXPECT_EQ(MnemonicToGtk("zuf\xE4llig"), "zuf\xC3\xA4llig");
}

TEST(ConfigureDialog, DecimalSeparatorFollowsTheUsersLocale) {
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(UserDecimalSeparator(), '.');
    ::setenv("LC_ALL", "no_such_LOCALE.UTF-8", 1);
    EXPECT_EQ(UserDecimalSeparator(), '.');
    if (saved) ::setenv("LC_ALL", keep.c_str(), 1); else ::unsetenv("LC_ALL");
}

TEST(ConfigureDialog, HoverLabelUnderlinesAndColoursWhileHovered) {
    TFont font;
    font.Color = 0x00FF0000;
    THoverLabel label(font);
    EXPECT_EQ(label.NormalColor, 0x00FF0000u);
    label.HoverColor = 0x000000FF;
    label.MouseEnter();
    EXPECT_TRUE(label.Font.Style & fsUnderline);
    EXPECT_EQ(label.Font.Color, 0x000000FFu);
    label.MouseLeave();
    EXPECT_FALSE(label.Font.Style & fsUnderline);
    EXPECT_EQ(label.Font.Color, 0x00FF0000u);
}
