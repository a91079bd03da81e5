#include "shell/ScreenSaverConfigureLogic.h"

#include <charconv>
#include <cmath>
#include <cstdio>

AnsiString FormatDuration(int64_t ms, char decimalSeparator) {
    const bool negative = ms < 0;
    // Magnitude without overflow for the most negative value.
    const uint64_t magnitude = negative ? static_cast<uint64_t>(-(ms + 1)) + 1 : static_cast<uint64_t>(ms);
    const uint64_t hundredths = magnitude / 10 + (magnitude % 10 >= 5 ? 1 : 0);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s%llu%c%02llu", negative && hundredths != 0 ? "-" : "",
                  static_cast<unsigned long long>(hundredths / 100), decimalSeparator,
                  static_cast<unsigned long long>(hundredths % 100));
    return buf;
}

bool TryStrToFloat(const AnsiString& text, char decimalSeparator, long double& value) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    // Rewritten into the one form from_chars reads, whatever the separator.
    std::string plain;
    size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    int digits = 0;
    bool separator = false;
    for (; i < e; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            plain += c;
            ++digits;
        } else if (c == decimalSeparator && !separator) {
            plain += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        int expDigits = 0;
        for (; i < e && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits) plain += text[i];
        if (expDigits == 0) return false;
    }
    if (i != e) return false;
    double d = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), d);
    if (end != plain.data() + plain.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large: an infinity of the right sign; too small: zero. Both are numbers.
        const bool tiny = plain.find("e-") != std::string::npos;
        d = tiny ? 0.0 : (plain[0] == '-' ? -HUGE_VAL : HUGE_VAL);
    } else if (ec != std::errc()) {
        return false;
    }
    value = d;
    return true;
}

bool DurationTextToMs(const AnsiString& text, char decimalSeparator, long double& ms) {
    long double seconds = 0;
    if (!TryStrToFloat(text, decimalSeparator, seconds)) return false;
    ms = std::nearbyint(seconds * 1000.0L);
    return true;
}

bool DurationKeyAllowed(const AnsiString& text, char key, char decimalSeparator) {
    if (key == '\b' || (key >= '0' && key <= '9')) return true;
    return key == decimalSeparator && text.find(decimalSeparator) == AnsiString::npos;
}

AnsiString StepDurationText(const AnsiString& text, bool up, char decimalSeparator) {
    long double ms = 0;
    if (!DurationTextToMs(text, decimalSeparator, ms)) return text;
    int64_t next = 0;
    if (up) {
        if (ms < 0) next = 0;
        else if (ms > kMaxDefaultDuration - kDurationStep) next = kMaxDefaultDuration;
        else next = static_cast<int64_t>(ms) + kDurationStep;
    } else {
        if (ms > kMaxDefaultDuration) next = kMaxDefaultDuration;
        else if (ms < kDurationStep) next = 0;
        else next = static_cast<int64_t>(ms) - kDurationStep;
    }
    return FormatDuration(next, decimalSeparator);
}

TDurationCheck CheckDurationText(const AnsiString& text, char decimalSeparator, int32_t& ms) {
    long double value = 0;
    if (!DurationTextToMs(text, decimalSeparator, value)) return TDurationCheck::dcNotANumber;
    if (!(value >= 0 && value <= kMaxDefaultDuration)) return TDurationCheck::dcOutOfRange;
    ms = static_cast<int32_t>(value);
    return TDurationCheck::dcValid;
}
