#include "platform/date_time.h"

#include <cmath>
#include <cstdio>

namespace vektrin {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian civil date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

DateParts civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return DateParts{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// 1899-12-30 relative to 1970-01-01.
constexpr int64_t EpochOffset = -25569;

} // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

std::optional<DateTime> tryEncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month))
        return std::nullopt;
    return static_cast<double>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        EpochOffset);
}

std::optional<DateTime> tryEncodeTime(int hour, int minute, int second, int ms) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
        ms > 999)
        return std::nullopt;
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / MsPerDay;
}

DateTime timePart(DateTime value) {
    double f = std::fabs(value - datePart(value));
    return f;
}

DateParts decodeDate(DateTime value) {
    if (!std::isfinite(value)) return {};
    // Rounding to the millisecond first keeps 23:59:59.9996 from decoding as the next day's 24:00.
    double ms = std::round(std::fabs(value - datePart(value)) * MsPerDay);
    int64_t days = static_cast<int64_t>(value);
    if (ms >= MsPerDay) days += value < 0 ? -1 : 1;
    return civilFromDays(days + EpochOffset);
}

TimeParts decodeTime(DateTime value) {
    if (!std::isfinite(value)) return {};
    int64_t ms = static_cast<int64_t>(std::llround(timePart(value) * MsPerDay));
    if (ms >= static_cast<int64_t>(MsPerDay)) ms = 0;
    TimeParts t;
    t.ms = static_cast<int>(ms % 1000);
    ms /= 1000;
    t.second = static_cast<int>(ms % 60);
    ms /= 60;
    t.minute = static_cast<int>(ms % 60);
    t.hour = static_cast<int>(ms / 60);
    return t;
}

int isoDayOfWeek(DateTime value) {
    // 1899-12-30 was a Saturday.
    int64_t days = static_cast<int64_t>(value);
    int64_t dow = ((days % 7) + 7 + 5) % 7; // 0 = Monday
    return static_cast<int>(dow) + 1;
}

std::int64_t msOf(DateTime value) {
    return std::llround(value * MsPerDay);
}

int secondsOfDay(DateTime value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int>(std::lround(timePart(value) * SecondsPerDay));
}

std::string isoDate(DateTime value) {
    const DateParts d = decodeDate(datePart(value));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

std::optional<DateTime> parseMoment(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s,
                    &consumed) != 6 ||
        static_cast<std::size_t>(consumed) != text.size())
        return std::nullopt;
    const auto date = tryEncodeDate(y, mo, d);
    const auto time = tryEncodeTime(h, mi, s);
    if (!date || !time) return std::nullopt;
    return *date + *time;
}

} // namespace vektrin
