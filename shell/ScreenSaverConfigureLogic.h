// The settings dialog's rules in plain code: how the default duration is shown and
// read back, which keys the duration edit takes, the up-down steps and the check on
// OK. The dialog's widgets only bind these; tests call them without a display.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>

// The longest default duration the dialog accepts: one hour.
constexpr int32_t kMaxDefaultDuration = 3600000;
// One click of the up-down control.
constexpr int32_t kDurationStep = 500;

// Milliseconds as seconds with two decimals and the given separator ("3,00"). The
// hundredths are rounded half away from zero from the exact value, so the text never
// depends on binary floating point.
AnsiString FormatDuration(int64_t ms, char decimalSeparator);

// A number as the user may type it: blanks around it, a sign, digits with at most one
// decimal separator (the given one), an exponent. False for anything else.
bool TryStrToFloat(const AnsiString& text, char decimalSeparator, long double& value);

// Round(text * 1000), half to even. False when the text is no number.
bool DurationTextToMs(const AnsiString& text, char decimalSeparator, long double& ms);

// Whether a typed character passes into the duration edit holding Text: backspace and
// digits always, the decimal separator only when Text holds none yet.
bool DurationKeyAllowed(const AnsiString& text, char key, char decimalSeparator);

// The text after one up or down click. A text that is no number stays as it is.
AnsiString StepDurationText(const AnsiString& text, bool up, char decimalSeparator);

enum class TDurationCheck { dcValid, dcNotANumber, dcOutOfRange };
// The check of the OK button; ms holds the duration when it is valid.
TDurationCheck CheckDurationText(const AnsiString& text, char decimalSeparator, int32_t& ms);
