#include "shell/ScreenSaverConfigureForm.h"

#include "foundation/AppInfo.h"
#include "platform/Shell.h"
#include "resources/ScreenSaverStrings.h"
#include "shell/ScreenSaverApplicationInfo.h"
#include "shell/ScreenSaverConfigureLogic.h"
#include "shell/ScreenSaverProperties.h"

TScreenSaverConfigureForm::TScreenSaverConfigureForm()
    : DecimalSeparator(UserDecimalSeparator()),
      OpenURL([](const AnsiString& url) { ShellExecute("open", url, "", SW_SHOWNORMAL); }) {}

void TScreenSaverConfigureForm::OkButtonClick() {
    // The OK button's own modal result comes first; a refusal takes it back.
    ModalResult = mrOk;
    int32_t ms = 0;
    switch (CheckDurationText(Values.DurationText, DecimalSeparator, ms)) {
    case TDurationCheck::dcValid:
        Duration = ms;
        break;
    case TDurationCheck::dcNotANumber:
        ShowMessageBox(ScreenSaverStrings::InvalidDuration, TMsgDlgType::mtInformation);
        ModalResult = mrNone;
        break;
    case TDurationCheck::dcOutOfRange:
        ShowMessageBox(ScreenSaverStrings::DurationOutOfRange, TMsgDlgType::mtInformation);
        ModalResult = mrNone;
        break;
    }
    if (ModalResult == mrNone) Values.FocusDuration = true;
}

bool TScreenSaverConfigureForm::DurationEditKeyPress(char& key) {
    if (!DurationKeyAllowed(Values.DurationText, key, DecimalSeparator)) key = 0;
    return key != 0;
}

void TScreenSaverConfigureForm::DurationUpDownClick(bool up) {
    Values.DurationText = StepDurationText(Values.DurationText, up, DecimalSeparator);
}

void TScreenSaverConfigureForm::ResumeAtLastPosCheckBoxClick() {
    if (Values.ResumeAtLastPos) Values.Shuffle = false;
}

void TScreenSaverConfigureForm::ShuffleCheckBoxClick() {
    if (Values.Shuffle) Values.ResumeAtLastPos = false;
}

void TScreenSaverConfigureForm::WebPageHoverLabelClick() {
    if (OpenURL) OpenURL(HomePageURL);
}

TConfigureDialogTexts TScreenSaverConfigureForm::Texts() const {
    TConfigureDialogTexts t;
    t.Caption = Caption;
    t.GroupCaption = ScreenSaverStrings::GroupCaption;
    t.UseSound = ScreenSaverStrings::UseSound;
    t.ResumeAtLastPos = ScreenSaverStrings::ResumeAtLastPos;
    t.Shuffle = ScreenSaverStrings::Shuffle;
    t.DurationLabel = ScreenSaverStrings::DurationLabel;
    // Moved in whole: assigning the one-letter literal makes g++ 12 at -O3 warn falsely
    // (-Wrestrict) inside std::string's replace.
    t.DurationUnit = AnsiString(ScreenSaverStrings::DurationUnit);
    t.OkButton = ScreenSaverStrings::OkButton;
    t.CancelButton = ScreenSaverStrings::CancelButton;
    t.Creator = CreatorLabel;
    t.WebAddress = WebPageHoverLabel;
    t.DurationMaxLength = 7;
    return t;
}

int TScreenSaverConfigureForm::ShowModal() {
    TConfigureDialogHandlers h;
    h.DurationKeyPress = [this](const AnsiString& text, char key) {
        Values.DurationText = text;
        return DurationEditKeyPress(key);
    };
    h.DurationUpDownClick = [this](TConfigureDialogValues& v, bool up) {
        Values = v;
        DurationUpDownClick(up);
        v = Values;
    };
    h.ResumeAtLastPosClick = [this](TConfigureDialogValues& v) {
        Values = v;
        ResumeAtLastPosCheckBoxClick();
        v = Values;
    };
    h.ShuffleClick = [this](TConfigureDialogValues& v) {
        Values = v;
        ShuffleCheckBoxClick();
        v = Values;
    };
    h.OkClick = [this](TConfigureDialogValues& v) {
        Values = v;
        OkButtonClick();
        v = Values;
        return ModalResult == mrOk;
    };
    h.WebPageClick = [this] { WebPageHoverLabelClick(); };
    TConfigureDialogValues shown = Values;
    ModalResult = RunConfigureDialog(Texts(), shown, h);
    Values = shown;
    return ModalResult;
}

bool ExecuteConfigureForm(TScreenSaverConfigureForm& form, const AnsiString& name, TScreenSaverProperties& options) {
    (void)name;  // the options already belong to this screen saver
    std::shared_ptr<IApplicationInfo> info = GetApplicationInfo();
    if (!info) info = std::make_shared<TScreenSaverPluginApplicationInfo>();
    form.Caption = info->GetCompanyName() + " " + info->GetProductName();
    form.CreatorLabel = AnsiString(ScreenSaverStrings::CreatedWith) + " " + info->GetProductName() + " " +
                        info->GetVersion() + info->GetReleaseSuffix() + " " + info->GetCopyright();
    form.WebPageHoverLabel = info->GetWebAddress();
    form.HomePageURL = info->GetHomePageURL();
    form.Values.UseSound = options.UseSound;
    form.Values.ResumeAtLastPos = options.ResumeAtLastPos;
    form.Values.Shuffle = options.Shuffle;
    form.Values.DurationText = FormatDuration(options.DefaultDuration, form.DecimalSeparator);
    form.Values.FocusDuration = false;
    form.ModalResult = mrNone;
    if (form.ShowModal() != mrOk) return false;
    options.UseSound = form.Values.UseSound;
    options.ResumeAtLastPos = form.Values.ResumeAtLastPos;
    options.Shuffle = form.Values.Shuffle;
    options.DefaultDuration = form.Duration;
    return true;
}
