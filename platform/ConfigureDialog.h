// The screen saver's settings dialog as GTK widgets. The dialog knows nothing of the
// options: it shows texts and values it is given and reports every user action to
// handlers of the caller, which decide what happens (the shell keeps that logic in
// plain code that tests call without a display).
#pragma once

#include "platform/Font.h"
#include "platform/SysUtils.h"

#include <functional>

// What the widgets show. The caller's handlers change it; the dialog then shows it.
struct TConfigureDialogValues {
    bool UseSound = false;
    bool ResumeAtLastPos = false;
    bool Shuffle = false;
    AnsiString DurationText;
    // Set by a handler: select the whole duration text and give it the focus.
    bool FocusDuration = false;
};

// Texts (Windows-1252; "&" marks a mnemonic, "&&" is a plain "&").
struct TConfigureDialogTexts {
    AnsiString Caption;
    AnsiString GroupCaption;
    AnsiString UseSound;
    AnsiString ResumeAtLastPos;
    AnsiString Shuffle;
    AnsiString DurationLabel;
    AnsiString DurationUnit;
    AnsiString OkButton;
    AnsiString CancelButton;
    AnsiString Creator;
    AnsiString WebAddress;
    int DurationMaxLength = 7;
};

struct TConfigureDialogHandlers {
    // A typed character (Windows-1252) for the duration text as it is now: True lets it in.
    std::function<bool(const AnsiString& text, char key)> DurationKeyPress;
    std::function<void(TConfigureDialogValues& values, bool up)> DurationUpDownClick;
    std::function<void(TConfigureDialogValues& values)> ResumeAtLastPosClick;
    std::function<void(TConfigureDialogValues& values)> ShuffleClick;
    // True closes the dialog with OK; False keeps it open.
    std::function<bool(TConfigureDialogValues& values)> OkClick;
    std::function<void()> WebPageClick;
};

// Shows the dialog modally; returns mrOk (values then hold what the user left) or
// mrCancel (closing the window and Escape count as Cancel). Without GuiAvailable() it
// says so on stderr and returns mrNone.
int RunConfigureDialog(const TConfigureDialogTexts& texts, TConfigureDialogValues& values,
                       const TConfigureDialogHandlers& handlers);

// A caption with Windows mnemonics ("&Ok") in GTK's form ("_Ok"), as UTF-8.
std::string MnemonicToGtk(const AnsiString& caption);

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG); '.' when the
// locale is unknown or its separator is not a single Windows-1252 character.
char UserDecimalSeparator();

// A label that underlines itself and takes HoverColor while the mouse is over it.
class THoverLabel {
public:
    explicit THoverLabel(const TFont& font) : Font(font), NormalColor(font.Color) {}

    void MouseEnter() {
        Font.Style |= fsUnderline;
        Font.Color = HoverColor;
    }
    void MouseLeave() {
        Font.Style &= static_cast<uint8_t>(~fsUnderline);
        Font.Color = NormalColor;
    }

    TFont Font;
    TColor HoverColor = 0;
    TColor NormalColor;
};
