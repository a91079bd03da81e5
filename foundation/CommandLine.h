// The command line: the parser that splits it into tokens, keeping quoted text
// together, and answers which switches are given; the process-wide parser.
#pragma once

#include "platform/SysUtils.h"

#include <memory>
#include <vector>

// Searches subStr in what is left of s after its first offset - 1 characters,
// upper-cased (subStr is not). 0 when not found; otherwise two more than the match's
// position in s (1-based), which is what the parser's arithmetic was built on.
int ExtPos(const AnsiString& subStr, const AnsiString& s, int offset);

class TParameterParser {
public:
    // With useGivenText the text starts empty; otherwise it is the process's command
    // line. The tokens are made at once.
    explicit TParameterParser(bool useGivenText = false);
    // Parses the given text.
    explicit TParameterParser(const AnsiString& text);
    // (A literal would otherwise pick the Boolean constructor.)
    explicit TParameterParser(const char* text) : TParameterParser(AnsiString(text)) {}

    // Splits Text: quoted parts (double or single quotes) are one token without their
    // quotes, everything else splits at blanks; two blanks in a row, or a blank right
    // after a closing quote, give an empty token. A quote that opens a token and is
    // never closed makes the rest of the line one token.
    void Parse();
    // More than one token: the first is the program.
    bool HasParameters() const { return Tokens.size() > 1; }
    // The first token after the program that begins with "/" or "-", is longer than one
    // character and whose second character is letter (either case); empty when none.
    AnsiString FindSwitch(char letter) const;
    bool HasSwitch(char letter) const { return !FindSwitch(letter).empty(); }

    std::vector<AnsiString> Tokens;
    bool UseGivenText;
    AnsiString Text;
};

// The process-wide parser on the process's command line, made on first use.
TParameterParser& ParametersInstance();
bool HasParameters();
bool HasSwitch(char letter);
// Frees the process-wide parser (the next use makes a new one).
void FinalizeParameters();
