#pragma once
// Date-time values as the tables store them: days since 1899-12-30, time of day as the fraction.

#include <cstdint>
#include <optional>
#include <string>

namespace vektrin {

using DateTime = double;

constexpr double SecondsPerDay = 86400.0;
constexpr double MsPerDay = 86400000.0;

struct DateParts {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct TimeParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int ms = 0;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);

// Empty when the parts name no calendar day (years 1..9999).
std::optional<DateTime> tryEncodeDate(int year, int month, int day);
// Empty unless hour < 24, minute < 60, second < 60, ms < 1000 and none negative.
std::optional<DateTime> tryEncodeTime(int hour, int minute, int second, int ms = 0);

DateParts decodeDate(DateTime value);
TimeParts decodeTime(DateTime value);

// "YYYY-MM-DD HH:MM:SS" as written by the run files and taken by vektrinctl --at; empty when the
// text is anything else or names no moment.
std::optional<DateTime> parseMoment(const std::string& text);

// "YYYY-MM-DD", the date form of vektrinctl, the same in every locale.
std::string isoDate(DateTime value);

// Whole-day part, cut toward zero as the tables store dates.
inline DateTime datePart(DateTime value) {
    return static_cast<double>(static_cast<int64_t>(value));
}
// The time of day as a positive fraction.
DateTime timePart(DateTime value);

// 1 Monday .. 7 Sunday.
int isoDayOfWeek(DateTime value);

// Whole seconds since midnight, rounded, of a time field's fraction.
int secondsOfDay(DateTime value);

// The value in whole milliseconds, rounded (moments compared without the doubles' dust).
std::int64_t msOf(DateTime value);

} // namespace vektrin
