#pragma once
// How the schedule pages translate the operator's minute of the hour, day of the week and day of
// the month into the date and time fields the scheduling pass reads, and back.

#include "platform/date_time.h"

#include <optional>
#include <string_view>

namespace vektrin::encoding {

// Minute m as the time of day 00:m:00; empty when m is not 0..59.
std::optional<DateTime> minuteTime(int minute);
// The minute component of a stored time; hours and seconds are ignored.
int minuteOf(DateTime time);

// Day d as year 1, January, day d; empty when d is not 1..31.
std::optional<DateTime> dayDate(int day);

// Radio item 0 (Monday) .. 6 (Sunday) as year 1, January, day item + 1, which falls on that very
// week day.
DateTime weekDayDate(int item);
// The radio item a stored date reads as: its day of month modulo 7 (0 taken as 7), minus 1.
int weekDayItem(DateTime date);

// The text of an edit as a 32-bit integer, surrounding blanks allowed; empty when it is none.
std::optional<int> toInteger(std::string_view text);

} // namespace vektrin::encoding
