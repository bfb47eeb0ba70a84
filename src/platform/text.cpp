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

std::size_t utf8CharacterAt(std::string_view text, std::size_t at) {
    // Past the end reads as 0, which no continuation byte is.
    const auto byte = [&](std::size_t k) -> unsigned {
        return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
    };
    const unsigned lead = byte(0);
    if (at >= text.size()) return 0;
    if (lead < 0x80) return 1;
    // After E0, F0, ED and F4 the second byte's range narrows: below it lie overlong forms, above
    // it surrogates and codes beyond U+10FFFF. C0, C1 and F5..FF lead nothing.
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    return length;
}

std::size_t invalidUtf8At(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8CharacterAt(text, i);
        if (length == 0) return i;
        i += length;
    }
    return std::string_view::npos;
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
