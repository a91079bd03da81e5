// The settings dialog of the configure mode: its controls' state and handlers in plain
// code; ShowModal hands them to the GTK dialog of platform/ (tests override it and
// play the user's part).
#pragma once

#include "platform/ConfigureDialog.h"
#include "platform/MessageBox.h"
#include "platform/SysUtils.h"

#include <functional>

class TScreenSaverProperties;

class TScreenSaverConfigureForm {
public:
    TScreenSaverConfigureForm();
    virtual ~TScreenSaverConfigureForm() = default;

    // What the controls show.
    AnsiString Caption;
    AnsiString CreatorLabel;
    AnsiString WebPageHoverLabel;
    AnsiString HomePageURL;  // what the link opens
    TConfigureDialogValues Values;
    int ModalResult = mrNone;
    char DecimalSeparator;
    // The duration in milliseconds computed by the last accepted OK.
    int32_t Duration = 0;
    // Opens the link's address; the desktop's opener unless a test sets another.
    std::function<void(const AnsiString&)> OpenURL;

    // The handlers, as the widgets call them.
    void OkButtonClick();
    // Clears key to 0 when it may not pass; True when it passes.
    bool DurationEditKeyPress(char& key);
    void DurationUpDownClick(bool up);
    void ResumeAtLastPosCheckBoxClick();
    void ShuffleCheckBoxClick();
    void WebPageHoverLabelClick();

    // Shows the dialog modally and returns the modal result (mrOk or mrCancel).
    virtual int ShowModal();

    TConfigureDialogTexts Texts() const;
};

// Fills the form from the application information and Options, shows it, and on OK
// copies the check boxes and the duration back: True. Otherwise False and Options
// stay as they were.
bool ExecuteConfigureForm(TScreenSaverConfigureForm& form, const AnsiString& name,
                          TScreenSaverProperties& options);
