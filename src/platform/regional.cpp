#include "platform/regional.h"

#include "platform/text.h"

#include <cctype>
#include <cstdio>
#include <langinfo.h>
#include <locale.h>

namespace vektrin {
namespace {

bool startsWithCI(std::string_view s, size_t pos, std::string_view word) {
    if (s.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
    return true;
}

size_t runLength(std::string_view s, size_t pos, char lowerLetter) {
    size_t n = 0;
    while (pos + n < s.size() &&
           std::tolower(static_cast<unsigned char>(s[pos + n])) == lowerLetter)
        ++n;
    return n;
}

std::string format(std::string_view pattern, DateTime value) {
    const DateParts d = decodeDate(value);
    const TimeParts t = decodeTime(value);
    const bool twelveHour = pattern.find("AMPM") != std::string_view::npos ||
                            pattern.find("ampm") != std::string_view::npos;
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        if (startsWithCI(pattern, i, "AMPM")) {
            out += t.hour < 12 ? "AM" : "PM";
            i += 4;
            continue;
        }
        const size_t n = (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's')
                             ? runLength(pattern, i, c)
                             : 0;
        if (n == 0) {
            out += pattern[i++];
            continue;
        }
        if (c == 'y') {
            if (n >= 3) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%04d", d.year);
                out += buf;
            } else {
                out += text::twoDigits(d.year % 100);
            }
        } else {
            const int hour = twelveHour ? (t.hour % 12 == 0 ? 12 : t.hour % 12) : t.hour;
            const int v = c == 'd'   ? d.day
                          : c == 'm' ? d.month
                          : c == 'h' ? hour
                          : c == 'n' ? t.minute
                                     : t.second;
            // One letter: no leading zero; two or more: two digits.
            out += n >= 2 ? text::twoDigits(v) : std::to_string(v);
        }
        i += n;
    }
    return out;
}

std::string shortDatePattern(locale_t loc) {
    const std::string date = patternFromStrftime(nl_langinfo_l(D_FMT, loc));
    return date.empty() ? RegionalSettings{}.shortDateFormat : date;
}

char firstSeparator(std::string_view pattern, char fallback) {
    for (char c : pattern)
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != ' ') return c;
    return fallback;
}

} // namespace

std::string patternFromStrftime(std::string_view p) {
    std::string out;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%' || i + 1 == p.size()) {
            out += p[i];
            continue;
        }
        char c = p[++i];
        if (c == 'E' || c == 'O') { // alternative representations: use the plain one
            if (i + 1 == p.size()) break;
            c = p[++i];
        }
        switch (c) {
        case 'd':
            out += "dd";
            break;
        case 'e':
            out += "d";
            break;
        case 'm':
            out += "mm";
            break;
        case 'y':
            out += "yy";
            break;
        case 'Y':
            out += "yyyy";
            break;
        case 'H':
            out += "hh";
            break;
        case 'k':
            out += "h";
            break;
        case 'I':
            out += "hh";
            break;
        case 'l':
            out += "h";
            break;
        case 'M':
            out += "nn";
            break;
        case 'S':
            out += "ss";
            break;
        case 'p':
            out += "AMPM";
            break;
        case 'T':
            out += "hh:nn:ss";
            break;
        case 'R':
            out += "hh:nn";
            break;
        case 'r':
            out += "hh:nn:ss AMPM";
            break;
        case 'D':
            out += "mm/dd/yy";
            break;
        case 'F':
            out += "yyyy-mm-dd";
            break;
        case '%':
            out += '%';
            break;
        default:
            break; // weekday and month names have no place in a numeric short date
        }
    }
    // Trim blanks the dropped names may leave behind.
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out;
}

RegionalSettings RegionalSettings::fromLocale(const char* localeName) {
    RegionalSettings r;
    locale_t loc = newlocale(LC_ALL_MASK, localeName, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0))
        loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return r;
    const std::string time = patternFromStrftime(nl_langinfo_l(T_FMT, loc));
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    r.shortDateFormat = shortDatePattern(loc);
    if (!time.empty()) r.longTimeFormat = time;
    r.dateSeparator = firstSeparator(r.shortDateFormat, '/');
    r.timeSeparator = firstSeparator(r.longTimeFormat, ':');
    if (radix && radix[0] && !radix[1]) r.decimalSeparator = radix[0];
    freelocale(loc);
    return r;
}

std::optional<std::string> shortDateFormatOfLocale(const char* localeName) {
    // Only LC_TIME is loaded: the other categories of hundreds of locales are not needed.
    locale_t loc = newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return std::nullopt;
    std::string format = shortDatePattern(loc);
    freelocale(loc);
    return format;
}

std::string RegionalSettings::formatDate(DateTime value) const {
    return format(shortDateFormat, value);
}

std::string RegionalSettings::formatTime(DateTime value) const {
    return format(longTimeFormat, value);
}

std::string RegionalSettings::formatProtocolStamp(DateTime value) const {
    return formatDate(value) + " " + formatTime(value) + " ";
}

std::string formatDuration(DateTime value) {
    return RegionalSettings{}.formatTime(value);
}

std::optional<DateTime> parseDuration(std::string_view text) {
    return RegionalSettings{}.parseTime(text);
}

} // namespace vektrin
