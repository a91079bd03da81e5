#include "shell/ScreenSaverConfigureForm.h"
#include "shell/ScreenSaverConfigureLogic.h"
#include "shell/ScreenSaverProperties.h"

#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

TEST(ConfigureLogic, FormatsWithTheLocalesSeparatorAndRoundsTheExactValue) {
    EXPECT_EQ(FormatDuration(3000, '.'), "3.00");
    EXPECT_EQ(FormatDuration(3000, ','), "3,00");
    EXPECT_EQ(FormatDuration(0, ','), "0,00");
    EXPECT_EQ(FormatDuration(3600000, '.'), "3600.00");
    EXPECT_EQ(FormatDuration(1005, '.'), "1.01");   // half away from zero, not 1.00
    EXPECT_EQ(FormatDuration(1004, '.'), "1.00");
    EXPECT_EQ(FormatDuration(-2500, '.'), "-2.50");
    EXPECT_EQ(FormatDuration(-4, '.'), "0.00");
    EXPECT_EQ(FormatDuration(INT64_MIN, '.'), "-9223372036854775.81");
}

TEST(ConfigureLogic, ParsesOnlyNumbersWrittenWithTheGivenSeparator) {
    long double v = 0;
    EXPECT_TRUE(TryStrToFloat(" 3,5 ", ',', v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 3.5);
    EXPECT_TRUE(TryStrToFloat("-2.25e1", '.', v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), -22.5);
    EXPECT_TRUE(TryStrToFloat("3600", ',', v));
    EXPECT_TRUE(TryStrToFloat(",5", ',', v));
    EXPECT_DOUBLE_EQ(static_cast<double>(v), 0.5);
    EXPECT_FALSE(TryStrToFloat("3.5", ',', v));
    EXPECT_FALSE(TryStrToFloat("", '.', v));
    EXPECT_FALSE(TryStrToFloat(".", '.', v));
    EXPECT_FALSE(TryStrToFloat("1e", '.', v));
    EXPECT_FALSE(TryStrToFloat("1.2.3", '.', v));
    EXPECT_FALSE(TryStrToFloat("abc", '.', v));
    EXPECT_FALSE(TryStrToFloat("nan", '.', v));
    EXPECT_TRUE(TryStrToFloat("1e999", '.', v));   // a number, just far too large
    EXPECT_GT(v, 1e300L);
}

TEST(ConfigureLogic, UpDownStepsHalfSecondsWithinOneHour) {
    EXPECT_EQ(StepDurationText("3599.60", true, '.'), "3600.00");
    EXPECT_EQ(StepDurationText("3600.00", true, '.'), "3600.00");
    EXPECT_EQ(StepDurationText("0.30", false, '.'), "0.00");
    EXPECT_EQ(StepDurationText("3,00", true, ','), "3,50");
    EXPECT_EQ(StepDurationText("3,00", false, ','), "2,50");
    EXPECT_EQ(StepDurationText("-7", true, '.'), "0.00");
    EXPECT_EQ(StepDurationText("-7", false, '.'), "0.00");
    EXPECT_EQ(StepDurationText("5000", true, '.'), "3600.00");
    EXPECT_EQ(StepDurationText("5000", false, '.'), "3600.00");
    EXPECT_EQ(StepDurationText("1e30", false, '.'), "3600.00");
    EXPECT_EQ(StepDurationText("3600.00", false, '.'), "3599.50");
    // Text that is no number stays for the OK check to report.
    EXPECT_EQ(StepDurationText("12x", true, '.'), "12x");
    EXPECT_EQ(StepDurationText("", false, '.'), "");
}

TEST(ConfigureLogic, OkAcceptsZeroToOneHourOnly) {
    int32_t ms = -1;
    EXPECT_EQ(CheckDurationText("3600.01", '.', ms), TDurationCheck::dcOutOfRange);
    EXPECT_EQ(CheckDurationText("3600", '.', ms), TDurationCheck::dcValid);
    EXPECT_EQ(ms, 3600000);
    EXPECT_EQ(CheckDurationText("0", '.', ms), TDurationCheck::dcValid);
    EXPECT_EQ(ms, 0);
    EXPECT_EQ(CheckDurationText("2,75", ',', ms), TDurationCheck::dcValid);
    EXPECT_EQ(ms, 2750);
    EXPECT_EQ(CheckDurationText("-0,5", ',', ms), TDurationCheck::dcOutOfRange);
    EXPECT_EQ(CheckDurationText("1e999", '.', ms), TDurationCheck::dcOutOfRange);
    EXPECT_EQ(CheckDurationText("2.75", ',', ms), TDurationCheck::dcNotANumber);
    EXPECT_EQ(CheckDurationText("", ',', ms), TDurationCheck::dcNotANumber);
}

TEST(ConfigureLogic, KeyFilterTakesDigitsBackspaceAndOneSeparator) {
    EXPECT_TRUE(DurationKeyAllowed("", '7', ','));
    EXPECT_TRUE(DurationKeyAllowed("3,5", '\b', ','));
    EXPECT_TRUE(DurationKeyAllowed("3", ',', ','));
    EXPECT_FALSE(DurationKeyAllowed("3,5", ',', ','));
    EXPECT_FALSE(DurationKeyAllowed("3", '.', ','));
    EXPECT_FALSE(DurationKeyAllowed("3", 'a', '.'));
    EXPECT_FALSE(DurationKeyAllowed("3", '-', '.'));
    EXPECT_FALSE(DurationKeyAllowed("3", ' ', '.'));
}


TEST(ConfigureForm, OkRefusesBadDurationsAndKeepsTheDialogOpen) {
    RecordedBoxes rec;
    TScreenSaverConfigureForm form;
    form.DecimalSeparator = '.';

    form.Values.DurationText = "3600.01";
    form.OkButtonClick();
    EXPECT_EQ(form.ModalResult, mrNone);
    EXPECT_TRUE(form.Values.FocusDuration);
    ASSERT_EQ(rec.Boxes.size(), 1u);
    EXPECT_EQ(rec.Boxes[0].second, TMsgDlgType::mtInformation);
    EXPECT_NE(rec.Boxes[0].first.find("3600 s"), AnsiString::npos);

    form.Values = {};
    form.Values.DurationText = "drei";
    form.OkButtonClick();
    EXPECT_EQ(form.ModalResult, mrNone);
    ASSERT_EQ(rec.Boxes.size(), 2u);
    EXPECT_EQ(rec.Boxes[1].first, "Bitte geben Sie einen g\xFCltigen Wert f\xFCr die Standard-Verweildauer an.");

    form.Values = {};
    form.Values.DurationText = "3600";
    form.OkButtonClick();
    EXPECT_EQ(form.ModalResult, mrOk);
    EXPECT_FALSE(form.Values.FocusDuration);
    EXPECT_EQ(form.Duration, 3600000);
    EXPECT_EQ(rec.Boxes.size(), 2u);
}

TEST(ConfigureForm, ResumeAndShuffleExcludeEachOther) {
    TScreenSaverConfigureForm form;
    form.Values.Shuffle = true;
    form.Values.ResumeAtLastPos = true;  // the click has just checked it
    form.ResumeAtLastPosCheckBoxClick();
    EXPECT_FALSE(form.Values.Shuffle);
    EXPECT_TRUE(form.Values.ResumeAtLastPos);

    form.Values.Shuffle = true;
    form.ShuffleCheckBoxClick();
    EXPECT_FALSE(form.Values.ResumeAtLastPos);

    // Unchecking touches nothing else.
    form.Values.Shuffle = false;
    form.ShuffleCheckBoxClick();
    EXPECT_FALSE(form.Values.ResumeAtLastPos);
    EXPECT_FALSE(form.Values.Shuffle);
}

TEST(ConfigureForm, KeyPressAndUpDownWorkOnTheEditText) {
    TScreenSaverConfigureForm form;
    form.DecimalSeparator = ',';
    form.Values.DurationText = "3,5";
    char key = ',';
    EXPECT_FALSE(form.DurationEditKeyPress(key));
    EXPECT_EQ(key, 0);
    key = '9';
    EXPECT_TRUE(form.DurationEditKeyPress(key));
    form.DurationUpDownClick(true);
    EXPECT_EQ(form.Values.DurationText, "4,00");

    AnsiString opened;
    form.HomePageURL = "http://www.velmorra.example";
    form.OpenURL = [&](const AnsiString& url) { opened = url; };
    form.WebPageHoverLabelClick();
    EXPECT_EQ(opened, "http://www.velmorra.example");
}

namespace {

// Restores one environment variable when it goes.
class EnvSetting {
public:
    EnvSetting(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvSetting() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class ShowingForm : public TScreenSaverConfigureForm {
public:
    AnsiString Shown;
    int ShowModal() override {
        Shown = Values.DurationText;
        return ModalResult = mrCancel;
    }
};

}  // namespace

TEST(ConfigureForm, GermanLocaleShowsADecimalComma) {
    // The machine need not have the German locale installed: build one of our own.
    TempDir dir;
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8/LC_NUMERIC"))
        GTEST_SKIP() << "no locale sources to build de_DE from";
    EnvSetting locpath("LOCPATH", dir.Path().string());
    EnvSetting all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(UserDecimalSeparator(), ',');

    ShowingForm form;
    TScreenSaverProperties options;
    options.DefaultDuration = 3000;
    EXPECT_FALSE(ExecuteConfigureForm(form, "sonne", options));
    EXPECT_EQ(form.Shown, "3,00");
    EXPECT_EQ(options.DefaultDuration, 3000);
}

// glibc's newlocale keeps the LOCPATH list it builds when a locale comes from there
// (only this test sets LOCPATH); that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }
