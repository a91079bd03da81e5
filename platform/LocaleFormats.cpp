#include "platform/LocaleFormats.h"

#include "platform/Charset.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace {

// The user's time locale, or null for the C locale and for one that cannot be opened.
class TUserTimeLocale {
public:
    TUserTimeLocale() {
        loc_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (!loc_) return;
        const std::string name = nl_langinfo_l(_NL_LOCALE_NAME(LC_TIME), loc_);
        if (name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) {
            freelocale(loc_);
            loc_ = nullptr;
        }
    }
    ~TUserTimeLocale() {
        if (loc_) freelocale(loc_);
    }
    TUserTimeLocale(const TUserTimeLocale&) = delete;
    TUserTimeLocale& operator=(const TUserTimeLocale&) = delete;

    explicit operator bool() const { return loc_ != nullptr; }

    // The locale's format item applied to tm, in Windows-1252; empty when it gives nothing.
    AnsiString Format(nl_item item, const std::tm& tm) const {
        const char* format = nl_langinfo_l(item, loc_);
        if (!format || !*format) return {};
        char buf[256];
        const size_t n = strftime_l(buf, sizeof buf, format, &tm, loc_);
        if (n == 0) return {};
        return ToAnsi(std::string(buf, n));
    }

private:
    // The time texts' own character set (that of LC_TIME, which LC_CTYPE need not share)
    // to Windows-1252, by way of UTF-8.
    AnsiString ToAnsi(const std::string& text) const {
        const char* codeset = nl_langinfo_l(_NL_TIME_CODESET, loc_);
        if (!codeset || std::strcmp(codeset, "UTF-8") == 0) return Utf8ToAnsi(text);
        iconv_t cd = iconv_open("UTF-8", codeset);
        if (cd == reinterpret_cast<iconv_t>(-1)) return Utf8ToAnsi(text);
        std::string out(text.size() * 4 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* dst = out.data();
        size_t outLeft = out.size();
        const size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        iconv_close(cd);
        if (r == static_cast<size_t>(-1)) return {};
        out.resize(out.size() - outLeft);
        return Utf8ToAnsi(out);
    }

    locale_t loc_ = nullptr;
};

std::tm CalendarTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    // Week day and day of the year, for formats that name them.
    std::tm probe = tm;
    if (timegm(&probe) != static_cast<time_t>(-1)) {
        tm.tm_wday = probe.tm_wday;
        tm.tm_yday = probe.tm_yday;
    }
    return tm;
}

}  // namespace

AnsiString FormatUserShortDate(int year, int month, int day) {
    const TUserTimeLocale loc;
    if (loc) {
        const AnsiString text = loc.Format(D_FMT, CalendarTime(year, month, day, 0, 0, 0));
        if (!text.empty()) return text;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", day, month, year);
    return buf;
}

AnsiString FormatUserLongTime(int hour, int minute, int second) {
    const TUserTimeLocale loc;
    if (loc) {
        const AnsiString text = loc.Format(T_FMT, CalendarTime(2000, 1, 1, hour, minute, second));
        if (!text.empty()) return text;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}
