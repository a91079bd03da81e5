#include "platform/Names.h"

#include <algorithm>

char UpCaseAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

AnsiString UpperCaseAscii(std::string_view s) {
    AnsiString r(s);
    for (char& c : r) c = UpCaseAscii(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpCaseAscii(a[i]) != UpCaseAscii(b[i])) return false;
    return true;
}

char AnsiUpCase(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
    switch (c) {
        case 0x9A: return static_cast<char>(0x8A);  // s caron
        case 0x9C: return static_cast<char>(0x8C);  // oe
        case 0x9E: return static_cast<char>(0x8E);  // z caron
        case 0xFF: return static_cast<char>(0x9F);  // y diaeresis
        default: break;
    }
    // Latin-1 lower-case letters, except the division sign (0xF7).
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char>(c - 32);
    return ch;
}

namespace {
char AnsiLowCase(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
    switch (c) {
        case 0x8A: return static_cast<char>(0x9A);
        case 0x8C: return static_cast<char>(0x9C);
        case 0x8E: return static_cast<char>(0x9E);
        case 0x9F: return static_cast<char>(0xFF);
        default: break;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 32);
    return ch;
}
}  // namespace

AnsiString AnsiUpperCase(std::string_view s) {
    AnsiString r(s);
    std::transform(r.begin(), r.end(), r.begin(), AnsiUpCase);
    return r;
}

AnsiString AnsiLowerCase(std::string_view s) {
    AnsiString r(s);
    std::transform(r.begin(), r.end(), r.begin(), AnsiLowCase);
    return r;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AnsiUpCase(a[i]) != AnsiUpCase(b[i])) return false;
    return true;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(AnsiUpCase(a[i]));
        const unsigned char y = static_cast<unsigned char>(AnsiUpCase(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}
