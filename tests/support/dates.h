#pragma once
// Date and time values as the tables hold them, written the short way in tests.

#include "platform/date_time.h"

namespace vektrin::test {

inline DateTime date(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}
inline DateTime hm(int h, int m, int s = 0) {
    return *tryEncodeTime(h, m, s);
}
// A moment of a day from 1899-12-30 on (before it, the time of day counts the other way).
inline DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return date(y, mo, d) + hm(h, mi, s);
}
// How the editors store a week day (1 Monday .. 7 Sunday) or a day of the month: as day d of
// January of year 1, whose first day was a Monday.
inline DateTime dayOfYearOne(int d) {
    return date(1, 1, d);
}
// The minute of the hour in which an hourly window opens or closes, stored as 00:MM:00.
inline DateTime minute(int m) {
    return hm(0, m);
}

} // namespace vektrin::test
