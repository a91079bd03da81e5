// Case-insensitive comparison of names.
#pragma once

#include "platform/SysUtils.h"

#include <string_view>

// Class names: only the ASCII letters fold.
char UpCaseAscii(char c);
AnsiString UpperCaseAscii(std::string_view s);
bool SameText(std::string_view a, std::string_view b);

// File and package item names: ASCII letters and the letters of the Windows-1252
// upper half fold (a-grave to A-grave, s-caron to S-caron, y-diaeresis to Y-diaeresis, ...).
char AnsiUpCase(char c);
AnsiString AnsiUpperCase(std::string_view s);
AnsiString AnsiLowerCase(std::string_view s);
bool AnsiSameText(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, on upper-cased names.
int AnsiCompareText(std::string_view a, std::string_view b);
