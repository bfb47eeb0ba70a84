#pragma once
// Reading dates and times as the regional settings write them, with the year that two-digit and
// missing years are taken relative to given explicitly (RegionalSettings::parse* pass the
// current year).
//
// Accepted, with blanks around the whole text:
// - a date: day, month and year in the order of the short date format, joined by the date
//   separator; two parts are day and month of the reference year; a year of one or two digits
//   is the year with those last digits within [reference - 50, reference + 49]; three or four
//   digits are the year itself;
// - a date, one or more blanks, and a time;
// - a time alone: hours and minutes, optionally seconds, joined by the time separator, and
//   optionally "AM" or "PM" (any case, a blank before it allowed); with a designator the hour
//   is 1..12.
// Day, month, hour, minute and second have one or two digits. Anything else is refused.

#include "platform/regional.h"

namespace vektrin {

std::optional<DateTime> parseDateFor(const RegionalSettings& settings, std::string_view text,
                                     int referenceYear);
std::optional<DateTime> parseTimeFor(const RegionalSettings& settings, std::string_view text);
std::optional<DateTime> parseDateTimeFor(const RegionalSettings& settings, std::string_view text,
                                         int referenceYear);

// The year of the local date now.
int currentLocalYear();

} // namespace vektrin
