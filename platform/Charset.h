// Windows-1252 <-> UTF-8: text stays Windows-1252 inside the program and becomes UTF-8
// only where it meets Linux (file names, window and dialog texts, font lookup).
#pragma once

#include "platform/SysUtils.h"

#include <string>

// Every Windows-1252 byte maps to one code point; the five unassigned bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so
// the round trip is exact for any byte string.
std::string AnsiToUtf8(const AnsiString& text);

// Characters with no Windows-1252 form, and malformed UTF-8 sequences, become '?'.
AnsiString Utf8ToAnsi(const std::string& text);

// The code point of one Windows-1252 byte.
char32_t AnsiCharToCodePoint(char c);

// The Windows-1252 byte of a code point; False when the code page lacks it.
bool CodePointToAnsiChar(char32_t cp, char& c);

// Text for a terminal (UTF-8 in, UTF-8 out): control characters in cat -v's notation
// ("^A", "^?", "M-^A" for the C1 controls), so that no name can send escape sequences.
std::string PrintableUtf8(const std::string& text);
// A Windows-1252 name as a terminal shows it, for debug lines and messages.
AnsiString PrintableName(const AnsiString& name);
