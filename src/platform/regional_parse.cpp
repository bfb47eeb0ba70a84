#include "platform/regional_parse.h"

#include <array>
#include <cctype>
#include <ctime>

namespace vektrin {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A left-to-right reader over one candidate text.
class Reader {
  public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool atEnd() const { return pos_ == s_.size(); }
    std::size_t position() const { return pos_; }
    std::string_view rest() const { return s_.substr(pos_); }

    // A run of 1..maxDigits digits, not followed by a further digit.
    std::optional<int> number(std::size_t maxDigits, std::size_t* count = nullptr) {
        std::size_t n = 0;
        int v = 0;
        while (pos_ + n < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + n]))) {
            if (n == maxDigits) return std::nullopt;
            v = v * 10 + (s_[pos_ + n] - '0');
            ++n;
        }
        if (n == 0) return std::nullopt;
        pos_ += n;
        if (count) *count = n;
        return v;
    }

    bool take(char c) {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool skipBlanks() {
        const std::size_t from = pos_;
        while (pos_ < s_.size() && isBlank(s_[pos_]))
            ++pos_;
        return pos_ > from;
    }

  private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

// The order of day ('d'), month ('m') and year ('y') in a short date format.
std::array<char, 3> fieldOrder(std::string_view format) {
    std::array<char, 3> order{};
    std::size_t n = 0;
    for (char raw : format) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw)));
        if (c != 'd' && c != 'm' && c != 'y') continue;
        bool seen = false;
        for (std::size_t i = 0; i < n; ++i)
            seen = seen || order[i] == c;
        if (!seen && n < 3) order[n++] = c;
    }
    if (n != 3) return {'d', 'm', 'y'};
    return order;
}

int expandYear(int year, std::size_t digits, int referenceYear) {
    if (digits > 2) return year;
    // The year ending in these digits that lies within [reference - 50, reference + 49].
    const int low = referenceYear - 50;
    int candidate = low - ((low % 100) + 100) % 100 + year;
    if (candidate < low) candidate += 100;
    return candidate;
}

std::optional<DateTime> readDate(Reader& r, const RegionalSettings& settings, int referenceYear) {
    const auto order = fieldOrder(settings.shortDateFormat);
    std::array<int, 3> values{};
    std::array<std::size_t, 3> widths{};
    std::size_t parts = 0;
    for (; parts < 3; ++parts) {
        if (parts > 0 && !r.take(settings.dateSeparator)) break;
        const auto v = r.number(order[parts] == 'y' ? 4 : 2, &widths[parts]);
        if (!v) return std::nullopt;
        values[parts] = *v;
    }
    if (parts < 2) return std::nullopt;

    int day = 0, month = 0, year = referenceYear;
    bool yearGiven = false;
    std::size_t next = 0;
    for (char field : order) {
        if (field == 'y' && parts == 2) continue; // two parts: day and month only
        if (next >= parts) return std::nullopt;
        const int v = values[next];
        const std::size_t w = widths[next];
        ++next;
        if (field == 'd') day = v;
        if (field == 'm') month = v;
        if (field == 'y') {
            year = expandYear(v, w, referenceYear);
            yearGiven = true;
        }
    }
    if (parts == 3 && !yearGiven) return std::nullopt;
    return tryEncodeDate(year, month, day);
}

std::optional<DateTime> readTime(Reader& r, const RegionalSettings& settings) {
    const auto hour = r.number(2);
    if (!hour || !r.take(settings.timeSeparator)) return std::nullopt;
    const auto minute = r.number(2);
    if (!minute) return std::nullopt;
    int second = 0;
    if (r.take(settings.timeSeparator)) {
        const auto s = r.number(2);
        if (!s) return std::nullopt;
        second = *s;
    }
    int h = *hour;
    r.skipBlanks();
    const std::string_view rest = r.rest();
    if (rest.size() >= 2 && std::toupper(static_cast<unsigned char>(rest[1])) == 'M') {
        const char ap = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        if (ap != 'A' && ap != 'P') return std::nullopt;
        if (h < 1 || h > 12) return std::nullopt;
        h = (h % 12) + (ap == 'P' ? 12 : 0);
        r.take(rest[0]);
        r.take(rest[1]);
    }
    return tryEncodeTime(h, *minute, second);
}

// A date before 1899-12-30 carries its time as a fraction below the whole day.
DateTime combine(DateTime date, DateTime time) {
    return date < 0 ? date - time : date + time;
}

} // namespace

int currentLocalYear() {
    const time_t t = std::time(nullptr);
    struct tm local {};
    if (!localtime_r(&t, &local)) return 2000;
    return local.tm_year + 1900;
}

std::optional<DateTime> parseDateFor(const RegionalSettings& settings, std::string_view text,
                                     int referenceYear) {
    Reader r(trimmed(text));
    const auto date = readDate(r, settings, referenceYear);
    if (!date || !r.atEnd()) return std::nullopt;
    return date;
}

std::optional<DateTime> parseTimeFor(const RegionalSettings& settings, std::string_view text) {
    Reader r(trimmed(text));
    const auto time = readTime(r, settings);
    if (!time || !r.atEnd()) return std::nullopt;
    return time;
}

std::optional<DateTime> parseDateTimeFor(const RegionalSettings& settings, std::string_view text,
                                         int referenceYear) {
    const std::string_view t = trimmed(text);
    {
        Reader r(t);
        if (const auto date = readDate(r, settings, referenceYear)) {
            if (r.atEnd()) return date;
            if (r.skipBlanks()) {
                if (const auto time = readTime(r, settings); time && r.atEnd())
                    return combine(*date, *time);
            }
        }
    }
    return parseTimeFor(settings, t);
}

std::optional<DateTime> RegionalSettings::parseDateTime(std::string_view text) const {
    return parseDateTimeFor(*this, text, currentLocalYear());
}

std::optional<DateTime> RegionalSettings::parseDate(std::string_view text) const {
    return parseDateFor(*this, text, currentLocalYear());
}

std::optional<DateTime> RegionalSettings::parseTime(std::string_view text) const {
    return parseTimeFor(*this, text);
}

} // namespace vektrin
