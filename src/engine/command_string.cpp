#include "engine/command_string.h"

#include "platform/text.h"

#include <iterator>

namespace vektrin {
namespace {

// Stands in for the characters of a placeholder beyond its value; removed at the end.
constexpr char Filler = '\x01';

// At least `width` characters, zero-padded (no printf: this runs for every evaluated condition).
std::string digits(int value, int width) {
    const bool negative = value < 0;
    unsigned magnitude =
        negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char buf[16];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n < width - (negative ? 1 : 0) && n < 12)
        buf[n++] = '0';
    if (negative) buf[n++] = '-';
    return std::string(std::make_reverse_iterator(buf + n), std::make_reverse_iterator(buf));
}

std::string monthCharacter(int month) {
    static constexpr std::string_view Months = "123456789abc";
    if (month < 1 || month > 12) return "0";
    return std::string(1, Months[static_cast<std::size_t>(month - 1)]);
}

// Year modulo 100 stays two digits also for a year before 1 that a strange date may decode to.
int lastTwoDigits(int year) {
    return ((year % 100) + 100) % 100;
}

std::array<std::string, PlaceholderTable.size()> placeholderValues(DateTime nDate, DateTime kDate,
                                                                   DateTime now) {
    const DateParts n = decodeDate(nDate);
    const DateParts k = decodeDate(kDate);
    const DateParts t = decodeDate(now);
    const TimeParts time = decodeTime(now);
    std::array<std::string, PlaceholderTable.size()> values;
    std::size_t at = 0;
    // The table's order: day, month, two-digit year and month character of each of the dates,
    // the time, the week day, the four-digit years and the week of the month.
    for (const DateParts* date : {&n, &k, &t}) {
        values[at++] = digits(date->day, 2);
        values[at++] = digits(date->month, 2);
        values[at++] = digits(lastTwoDigits(date->year), 2);
        values[at++] = monthCharacter(date->month);
    }
    for (std::string value : {digits(time.hour, 2), digits(time.minute, 2), digits(time.second, 2),
                              digits(isoDayOfWeek(now), 1), digits(n.year, 4), digits(k.year, 4),
                              digits(t.year, 4), digits((n.day - 1) / 7 + 1, 1)})
        values[at++] = std::move(value);
    return values;
}

} // namespace

std::string UnpackCommandString(std::string_view text, DateTime nDate, DateTime kDate,
                                DateTime now) {
    std::string out(text);
    if (text.find('%') == std::string_view::npos) { // the common case: nothing to replace
        std::erase(out, Filler);
        return out;
    }
    const auto values = placeholderValues(nDate, kDate, now);
    std::string upper = text::upper(text);

    // A value never holds a "%" or a capital letter, so a replacement cannot create a new
    // occurrence of any placeholder: each one's search may resume where its last match was,
    // which keeps long texts linear without changing what the repeated sweeps replace.
    std::array<std::size_t, PlaceholderTable.size()> searchFrom{};
    bool found = true;
    while (found) {
        found = false;
        for (std::size_t i = 0; i < PlaceholderTable.size(); ++i) {
            const std::string_view placeholder = PlaceholderTable[i];
            const std::size_t p = upper.find(placeholder, searchFrom[i]);
            if (p == std::string::npos) {
                searchFrom[i] = upper.size();
                continue;
            }
            found = true;
            searchFrom[i] = p + 1;
            const std::string& value = values[i];
            for (std::size_t j = 0; j < placeholder.size(); ++j) {
                const char c = j < value.size() ? value[j] : Filler;
                upper[p + j] = c;
                out[p + j] = c;
            }
        }
    }

    std::erase(out, Filler);
    return out;
}

} // namespace vektrin
