#pragma once
// The user's regional settings: how dates, times and numbers are written and read.

#include "platform/date_time.h"

#include <optional>
#include <string>
#include <string_view>

namespace vektrin {

// Patterns use the letters d dd m mm yy yyyy (date) and h hh n nn s ss AMPM (time); every other
// character is copied as it stands.
struct RegionalSettings {
    std::string shortDateFormat = "dd.mm.yyyy";
    std::string longTimeFormat = "hh:nn:ss";
    char dateSeparator = '.';
    char timeSeparator = ':';
    char decimalSeparator = '.';

    // From the process locale (LC_TIME, LC_NUMERIC) without changing the global locale.
    static RegionalSettings fromLocale(const char* localeName = "");

    std::string formatDate(DateTime value) const;
    std::string formatTime(DateTime value) const;
    // The "c " format of the protocol: short date, blank, long time, and a trailing blank.
    std::string formatProtocolStamp(DateTime value) const;

    // Text to date-time as an operator types it: a date in the short date format's order with the
    // date separator, optionally followed by a blank and a time; or a time alone (hours and
    // minutes, optionally seconds, with the time separator, optionally AM/PM).
    std::optional<DateTime> parseDateTime(std::string_view text) const;
    std::optional<DateTime> parseDate(std::string_view text) const;
    std::optional<DateTime> parseTime(std::string_view text) const;
};

// A length of time kept in a time-of-day field (a resource's longest wait): HH:MM:SS in every
// locale, since "12:10:00 AM" reads as a moment, not as ten minutes. Read back from hours and
// minutes, optionally seconds.
std::string formatDuration(DateTime value);
std::optional<DateTime> parseDuration(std::string_view text);

// Translates a C-library strftime pattern (nl_langinfo D_FMT / T_FMT) to the letters above.
std::string patternFromStrftime(std::string_view strftimePattern);

// The short date format a program running under the named locale writes (its LC_TIME, read as
// RegionalSettings::fromLocale reads it); nullopt when no such locale is installed.
std::optional<std::string> shortDateFormatOfLocale(const char* localeName);

} // namespace vektrin
