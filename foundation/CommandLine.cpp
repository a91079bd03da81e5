#include "foundation/CommandLine.h"

#include "platform/Names.h"
#include "platform/ProcessInfo.h"

#include <mutex>

int ExtPos(const AnsiString& subStr, const AnsiString& s, int offset) {
    const size_t skip = offset > 1 ? static_cast<size_t>(offset - 1) : 0;
    if (subStr.empty() || skip >= s.size()) return 0;
    const AnsiString rest = UpperCaseAscii(std::string_view(s).substr(skip));
    const size_t p = rest.find(subStr);
    if (p == AnsiString::npos) return 0;
    return offset + static_cast<int>(p + 1) + 1;
}

TParameterParser::TParameterParser(bool useGivenText) : UseGivenText(useGivenText) {
    if (!UseGivenText) Text = GetCommandLineText();
    Parse();
}

TParameterParser::TParameterParser(const AnsiString& text) : UseGivenText(true), Text(text) { Parse(); }

namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Whether some quote character is followed later by the same character.
bool HasQuotedPart(const AnsiString& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (IsQuote(s[i]) && s.find(s[i], i + 1) != AnsiString::npos) return true;
    return false;
}

}  // namespace

void TParameterParser::Parse() {
    Tokens.clear();
    if (Text.empty()) return;
    AnsiString rest = Text;
    while (!rest.empty() && HasQuotedPart(rest)) {
        size_t qpos = 0;
        while (!IsQuote(rest[qpos])) ++qpos;
        const char q = rest[qpos];
        if (qpos > 0) {
            // Text before the quote: the token runs up to the first blank. Without any
            // blank, the text up to the quote is the token, so the parser moves on.
            const size_t blank = rest.find(' ');
            if (blank != AnsiString::npos) {
                Tokens.push_back(rest.substr(0, blank));
                rest.erase(0, blank + 1);
            } else {
                Tokens.push_back(rest.substr(0, qpos));
                rest.erase(0, qpos);
            }
            continue;
        }
        const size_t close = rest.find(q, 1);
        if (close == AnsiString::npos) {
            // Never closed: the rest of the line is one token.
            Tokens.push_back(rest.substr(1));
            rest.clear();
            break;
        }
        Tokens.push_back(rest.substr(1, close - 1));
        rest.erase(0, close + 1);
    }
    while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        if (blank == AnsiString::npos) break;
        Tokens.push_back(rest.substr(0, blank));
        rest.erase(0, blank + 1);
    }
    if (!rest.empty()) Tokens.push_back(rest);
}

AnsiString TParameterParser::FindSwitch(char letter) const {
    // Token 0 is the program: a path like "/srv/x" is no switch.
    for (size_t i = 1; i < Tokens.size(); ++i) {
        const AnsiString& t = Tokens[i];
        if (t.size() > 1 && (t[0] == '/' || t[0] == '-') && UpCaseAscii(t[1]) == UpCaseAscii(letter)) return t;
    }
    return AnsiString();
}

namespace {
std::mutex parserLock;
std::unique_ptr<TParameterParser> parser;
}  // namespace

TParameterParser& ParametersInstance() {
    std::lock_guard<std::mutex> g(parserLock);
    if (!parser) parser = std::make_unique<TParameterParser>(false);
    return *parser;
}

bool HasParameters() { return ParametersInstance().HasParameters(); }
bool HasSwitch(char letter) { return ParametersInstance().HasSwitch(letter); }

void FinalizeParameters() {
    std::lock_guard<std::mutex> g(parserLock);
    parser.reset();
}
