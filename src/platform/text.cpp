#include "platform/text.h"

#include <cstdio>

namespace vektrin::text {

std::string_view trimmed(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view trimmedOfControls(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace {
std::string shifted(std::string_view text, char from, char to) {
    std::string out(text);
    for (char& c : out)
        if (c >= from && c <= from + 25) c = static_cast<char>(c - from + to);
    return out;
}
} // namespace

std::string lower(std::string_view text) {
    return shifted(text, 'A', 'a');
}

std::string upper(std::string_view text) {
    return shifted(text, 'a', 'A');
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string twoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string isoStamp(DateTime value, Stamp precision) {
    const DateParts d = decodeDate(datePart(value));
    const TimeParts t = decodeTime(value);
    char buffer[48];
    if (precision == Stamp::Date)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    else if (precision == Stamp::Minutes)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day,
                      t.hour, t.minute);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month,
                      d.day, t.hour, t.minute, t.second);
    return buffer;
}

} // namespace vektrin::text
