// The pure schedule rules, one table each: a task's window and the pass's minute in, the answer
// out. The calendar of the rows is December 2026, whose 7th is a Monday; the week days and days of
// the month of weekly and monthly windows are stored as days of January of year 1, as the editors
// store them.

#include "engine/next_launch.h"
#include "engine/pass_verdict.h"
#include "engine/schedule.h"
#include "support/dates.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace vektrin::schedule {
namespace {

using test::at;
using test::date;
using test::dayOfYearOne;
using test::hm;
using test::minute;

constexpr Reason Due = Reason::Due;
constexpr Reason Out = Reason::OutsideWindow;
constexpr Reason Off = Reason::OffStep;
constexpr Reason Never = Reason::NeverDue;
constexpr bool Stop = true; // the stop check applies
constexpr bool Go = false;

// A minute of December 2026.
DateTime dec(int day, int h, int m, int s = 0) {
    return at(2026, 12, day, h, m, s);
}
DateTime d1(int d) {
    return dayOfYearOne(d);
}

std::string text(DateTime value) {
    const DateParts d = decodeDate(value);
    const TimeParts t = decodeTime(value);
    char out[40];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hour,
                  t.minute, t.second);
    return out;
}

std::string text(const Schedule& w) {
    return "interval " + std::to_string(w.interval) + ", " + text(w.startDate) + " " +
           text(w.startTime) + " to " + text(w.endDate) + " " + text(w.endTime) + ", repeat " +
           std::to_string(w.repeatInterval);
}

// ------------------------------------------------------------------------ the pass's minute

struct MomentCase {
    DateTime now;
    int nowTime, hourStart, weekday, dayOfMonth;
};

TEST(ScheduleRules, PassMoment) {
    const MomentCase cases[] = {
        {dec(7, 10, 0, 30), 36000, 36000, 1, 7}, // the seconds do not count
        {dec(7, 10, 0, 59) + 0.999 / SecondsPerDay, 36000, 36000, 1, 7},
        {dec(8, 0, 0), 0, 0, 2, 8},
        {dec(13, 23, 59, 59), 86340, 82800, 7, 13},
        {at(2024, 2, 29, 12, 34, 56), 45240, 43200, 4, 29},
        {at(1899, 12, 30, 6, 0), 21600, 21600, 6, 30}, // day 0
        {at(1900, 1, 1), 0, 0, 1, 1},
    };
    for (const MomentCase& c : cases) {
        const PassMoment m = passMoment(c.now);
        EXPECT_EQ(m.nowDateTime, c.now) << text(c.now);
        EXPECT_EQ(m.today, datePart(c.now)) << text(c.now);
        EXPECT_EQ(m.nowTime, c.nowTime) << text(c.now);
        EXPECT_EQ(m.hourStart, c.hourStart) << text(c.now);
        EXPECT_EQ(m.weekday, c.weekday) << text(c.now);
        EXPECT_EQ(m.dayOfMonth, c.dayOfMonth) << text(c.now);
    }
}

// The stored week days and days of the month: day d of January of year 1 is week day d for the
// first week (year 1 began on a Monday) and day of the month d throughout.
TEST(ScheduleRules, DayEncodings) {
    struct DayCase {
        DateTime date;
        int dayOf, weekday;
    };
    // clang-format off
    const DayCase cases[] = {
        {d1(1), 1, 1}, {d1(2), 2, 2}, {d1(3), 3, 3}, {d1(4), 4, 4}, {d1(5), 5, 5}, {d1(6), 6, 6},
        {d1(7), 7, 7}, {d1(8), 8, 1}, {d1(10), 10, 3}, {d1(31), 31, 3},
        {date(1, 12, 31), 31, 1}, {date(2, 1, 1), 1, 2}, {date(2026, 12, 3), 3, 4},
        {date(2024, 2, 29), 29, 4}, {0, 30, 6}, {date(9999, 12, 31), 31, 5},
    };
    // clang-format on
    for (const DayCase& c : cases) {
        EXPECT_EQ(Schedule::dayOf(c.date), c.dayOf) << text(c.date);
        EXPECT_EQ(isoDayOfWeek(c.date), c.weekday) << text(c.date);
    }
}

// ---------------------------------------------------------------------------------- decide

struct DecideCase {
    Schedule task;
    DateTime now;
    Reason reason;
    bool stopCheck;
};

// The kind's rule: inside the window (both ends included), on the repeat step, on a day the kind
// names; otherwise the stop check once the window's end has been reached on a day it applies.
TEST(ScheduleRules, Decide) {
    const DecideCase cases[] = {
        // every minute, whatever the other fields hold; the kind is the low seven bits
        {{0}, dec(8, 0, 0), Due, Go},
        {{0, d1(3), hm(8, 0), d1(5), hm(9, 0), 30}, dec(8, 12, 17), Due, Go},
        {{128}, dec(8, 12, 17), Due, Go},
        {{-128}, dec(8, 12, 17), Due, Go},
        {{130, 0, hm(8, 0), 0, hm(17, 0)}, dec(8, 8, 0), Due, Go},
        {{-126, 0, hm(8, 0), 0, hm(17, 0)}, dec(8, 8, 0), Due, Go},
        // kinds 6 to 127: never due, no stop check
        {{6, 0, hm(8, 0), 0, hm(17, 0)}, dec(8, 8, 0), Never, Go},
        {{6, 0, hm(8, 0), 0, hm(17, 0)}, dec(8, 17, 30), Never, Go},
        {{127}, dec(8, 8, 0), Never, Go},
        {{-1}, dec(8, 8, 0), Never, Go},
        {{134}, dec(8, 8, 0), Never, Go},

        // every day, 08:00 to 17:00 every 30 minutes
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 0, 0), Out, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 7, 59), Out, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 8, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 8, 1), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 8, 29), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 8, 30), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 16, 30), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 17, 0), Due, Go}, // due: no stop check
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 17, 1), Out, Stop},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 23, 59), Out, Stop},
        // repeat 0: once, at the start
        {{2, 0, hm(8, 0), 0, hm(17, 0), 0}, dec(8, 8, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 0}, dec(8, 8, 30), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 0}, dec(8, 16, 59), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 0}, dec(8, 17, 0), Off, Stop},
        // other steps: every minute, 7 (539 minutes after 08:00 is 16:59), 90, a day and more
        {{2, 0, hm(8, 0), 0, hm(17, 0), 1}, dec(8, 8, 1), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 1}, dec(8, 17, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 7}, dec(8, 8, 7), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 7}, dec(8, 8, 8), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 7}, dec(8, 16, 59), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 7}, dec(8, 17, 0), Off, Stop},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 90}, dec(8, 9, 30), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 90}, dec(8, 10, 0), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 90}, dec(8, 11, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 1440}, dec(8, 8, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 1440}, dec(8, 9, 0), Off, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 32767}, dec(8, 8, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 32767}, dec(8, 17, 0), Off, Stop},
        // a negative step: the remainder keeps the sign of the time since the start
        {{2, 0, hm(8, 0), 0, hm(17, 0), -20}, dec(8, 8, 20), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0), -20}, dec(8, 8, 21), Off, Go},
        // times with seconds: the window opens at 08:00:30, so the first due minute is 08:01
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 0}, dec(8, 8, 0), Out, Go},
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 0}, dec(8, 8, 1), Due, Go},
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 0}, dec(8, 8, 2), Off, Go},
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 30}, dec(8, 8, 30), Off, Go},
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 30}, dec(8, 8, 31), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0, 30), 30}, dec(8, 17, 0), Due, Go},
        {{2, 0, hm(8, 0), 0, hm(17, 0, 30), 0}, dec(8, 17, 0), Off, Go}, // before 17:00:30
        {{2, 0, hm(8, 0), 0, hm(17, 0, 30), 0}, dec(8, 17, 1), Out, Stop},
        // only the time of day of a time field counts
        {{2, 0, at(2020, 5, 5, 8, 0), 0, at(2020, 5, 5, 17, 0)}, dec(8, 8, 0), Due, Go},
        // a window that ends before it starts is never entered; one of a single minute is
        {{2, 0, hm(22, 0), 0, hm(6, 0), 1}, dec(8, 22, 0), Out, Stop},
        {{2, 0, hm(22, 0), 0, hm(6, 0), 1}, dec(8, 23, 0), Out, Stop},
        {{2, 0, hm(22, 0), 0, hm(6, 0), 1}, dec(8, 5, 0), Out, Go},
        {{2, 0, hm(6, 0), 0, hm(6, 0), 0}, dec(8, 6, 0), Due, Go},
        {{2, 0, hm(6, 0), 0, hm(6, 0), 0}, dec(8, 6, 1), Out, Stop},

        // every hour, minutes 15 to 45 every 10, in every hour of the day
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 14), Out, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 15), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 20), Off, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 25), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 45), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 46), Out, Stop},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 11, 5), Out, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 11, 15), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 0, 15), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 23, 45), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 0}, dec(8, 10, 15), Due, Go},
        {{1, 0, minute(15), 0, minute(45), 0}, dec(8, 10, 25), Off, Go},
        {{1, 0, minute(15), 0, minute(45), 0}, dec(8, 10, 45), Off, Stop},
        {{1, 0, minute(0), 0, minute(0), 60}, dec(8, 10, 0), Due, Go},
        {{1, 0, minute(0), 0, minute(0), 60}, dec(8, 10, 1), Out, Stop},
        // an hour in the stored time moves the whole window by that hour
        {{1, 0, hm(1, 15), 0, hm(1, 45)}, dec(8, 10, 15), Out, Go},
        {{1, 0, hm(1, 15), 0, hm(1, 45)}, dec(8, 11, 15), Out, Go},

        // weekly: the week day is the day of the month of StartDate, 1 Monday .. 7 Sunday
        {{3, d1(1), hm(6, 0), 0, hm(6, 0)}, dec(7, 6, 0), Due, Go},
        {{3, d1(2), hm(6, 0), 0, hm(6, 0)}, dec(8, 6, 0), Due, Go},
        {{3, d1(3), hm(6, 0), 0, hm(6, 0)}, dec(9, 6, 0), Due, Go},
        {{3, d1(4), hm(6, 0), 0, hm(6, 0)}, dec(10, 6, 0), Due, Go},
        {{3, d1(5), hm(6, 0), 0, hm(6, 0)}, dec(11, 6, 0), Due, Go},
        {{3, d1(6), hm(6, 0), 0, hm(6, 0)}, dec(12, 6, 0), Due, Go},
        {{3, d1(7), hm(6, 0), 0, hm(6, 0)}, dec(13, 6, 0), Due, Go},
        {{3, d1(1), hm(6, 0), 0, hm(6, 0)}, dec(13, 6, 0), Out, Go}, // a Sunday: no stop check
        {{3, d1(2), hm(6, 0), 0, hm(6, 0)}, dec(7, 6, 0), Out, Go},
        {{3, d1(3), hm(6, 0), 0, hm(6, 0)}, dec(8, 6, 0), Out, Go},
        {{3, d1(4), hm(6, 0), 0, hm(6, 0)}, dec(9, 6, 0), Out, Go},
        {{3, d1(5), hm(6, 0), 0, hm(6, 0)}, dec(10, 6, 0), Out, Go},
        {{3, d1(6), hm(6, 0), 0, hm(6, 0)}, dec(11, 6, 0), Out, Go},
        {{3, d1(7), hm(6, 0), 0, hm(6, 0)}, dec(12, 6, 0), Out, Go},
        {{3, d1(3), hm(6, 0), 0, hm(6, 0)}, dec(16, 6, 0), Due, Go},
        {{3, date(2026, 12, 3), hm(6, 0), 0, hm(6, 0)}, dec(9, 6, 0), Due, Go}, // day 3: Wednesday
        {{3, date(2026, 12, 3), hm(6, 0), 0, hm(6, 0)}, dec(3, 6, 0), Out, Go},
        // a day above 7 is read modulo 7 (0 as 7), as every view shows it
        {{3, d1(10), hm(6, 0), 0, hm(6, 0)}, dec(9, 6, 0), Due, Go},
        {{3, d1(10), hm(6, 0), 0, hm(6, 0)}, dec(10, 6, 0), Out, Go},
        {{3, d1(14), hm(6, 0), 0, hm(6, 0)}, dec(13, 6, 0), Due, Go},
        {{3, date(2026, 5, 15), hm(6, 0), 0, hm(6, 0)}, dec(7, 6, 0), Due, Go},
        {{3, 0, hm(6, 0), 0, hm(6, 0)}, dec(8, 6, 0), Due, Go}, // never set: day 30, Tuesday
        {{3, 0, hm(6, 0), 0, hm(6, 0)}, dec(9, 6, 0), Out, Go},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0), 30}, dec(9, 6, 30), Due, Go},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0), 30}, dec(9, 6, 59), Off, Go},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0), 30}, dec(9, 7, 0), Due, Go},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0), 30}, dec(9, 7, 1), Out, Stop},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0), 30}, dec(10, 7, 1), Out, Go},

        // every month, days 10 to 20, 08:00 to 09:00
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(9, 8, 0), Out, Go},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(10, 8, 0), Due, Go},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 8, 0), Due, Go},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(21, 8, 0), Out, Go},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 8, 59), Off, Go},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 9, 0), Off, Stop},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(19, 9, 1), Out, Go}, // before the last day
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 9, 1), Out, Stop},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(21, 9, 1), Out, Stop},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(31, 23, 59), Out, Stop},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(5, 10, 0), Out, Go},
        // only the days of the dates count, whatever their month and year
        {{4, date(2026, 2, 10), hm(8, 0), date(2025, 7, 20), hm(9, 0)}, dec(15, 8, 0), Due, Go},
        {{4, d1(31), hm(8, 0), d1(31), hm(9, 0)}, dec(31, 8, 0), Due, Go},
        {{4, d1(31), hm(8, 0), d1(31), hm(9, 0)}, at(2026, 11, 30, 8, 0), Out, Go},
        {{4, d1(1), hm(8, 0), d1(31), hm(9, 0)}, dec(1, 8, 0), Due, Go},
        // first day 10, last day 5: never due, yet stopped from the 5th on once the end is past
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(10, 8, 0), Out, Go},
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(5, 8, 0), Out, Go},
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(7, 8, 0), Out, Go},
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(4, 9, 30), Out, Go},
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(10, 9, 30), Out, Stop},

        // every year, 2026-12-24 to 2026-12-26 at 06:00: full dates, years included
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(23, 6, 0), Out, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(24, 6, 0), Due, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(26, 6, 0), Due, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(25, 7, 0), Out, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(26, 7, 0), Out, Stop},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(27, 6, 0), Out, Stop},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, dec(27, 5, 59), Out, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         at(2027, 12, 25, 6, 0),
         Out,
         Stop},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         at(2025, 12, 25, 6, 0),
         Out,
         Go},
        {{5, date(2020, 1, 1), hm(6, 0), date(2020, 12, 31), hm(6, 0)}, dec(8, 6, 0), Out, Stop},
        {{5, date(2020, 1, 1), hm(6, 0), date(2020, 12, 31), hm(6, 0)}, dec(8, 5, 0), Out, Go},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 24), hm(7, 0), 30},
         dec(24, 6, 30),
         Due,
         Go},
        {{5, date(2026, 12, 26), hm(6, 0), date(2026, 12, 24), hm(6, 0)}, dec(25, 6, 0), Out, Stop},
    };
    int row = 0;
    for (const DecideCase& c : cases) {
        ++row;
        const KindDecision d = c.task.decide(passMoment(c.now));
        EXPECT_EQ(d.reason, c.reason)
            << "row " << row << ": " << text(c.task) << " at " << text(c.now);
        EXPECT_EQ(d.stopCheck, c.stopCheck)
            << "row " << row << ": " << text(c.task) << " at " << text(c.now);
    }
}

// ---------------------------------------------------------------------------------- silence

struct SilenceCase {
    Schedule row;
    DateTime now;
    bool inForce;
};

// A silence row is in force inside its window (both ends included) on the days its kind names;
// it has no repetition.
TEST(ScheduleRules, SilenceInForce) {
    const SilenceCase cases[] = {
        {{0}, dec(8, 3, 17), true},
        {{0, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 20, 0), true},
        {{128}, dec(8, 3, 17), true},
        {{6, 0, hm(0, 0), 0, hm(23, 59)}, dec(8, 12, 0), false},
        {{127}, dec(8, 12, 0), false},
        // every day, 12:00 to 13:00
        {{2, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 11, 59), false},
        {{2, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 12, 0), true},
        {{2, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 12, 37), true},
        {{2, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 13, 0), true},
        {{2, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 13, 1), false},
        {{2, 0, hm(12, 0), 0, hm(13, 0), 30}, dec(8, 12, 1), true}, // a repeat means nothing here
        {{2, 0, hm(12, 0, 30), 0, hm(13, 0)}, dec(8, 12, 0), false},
        {{2, 0, hm(12, 0, 30), 0, hm(13, 0)}, dec(8, 12, 1), true},
        {{2, 0, hm(22, 0), 0, hm(6, 0)}, dec(8, 22, 0), false}, // ends before it starts
        {{2, 0, hm(22, 0), 0, hm(6, 0)}, dec(8, 23, 0), false},
        {{2, 0, hm(22, 0), 0, hm(6, 0)}, dec(8, 3, 0), false},
        {{130, 0, hm(12, 0), 0, hm(13, 0)}, dec(8, 12, 0), true},
        // every hour, minutes 15 to 45
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 10, 14), false},
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 10, 15), true},
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 10, 45), true},
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 10, 46), false},
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 23, 30), true},
        // Tuesdays, all day
        {{3, d1(2), hm(0, 0), 0, hm(23, 59)}, dec(7, 12, 0), false},
        {{3, d1(2), hm(0, 0), 0, hm(23, 59)}, dec(8, 0, 0), true},
        {{3, d1(2), hm(0, 0), 0, hm(23, 59)}, dec(8, 23, 59), true},
        {{3, d1(2), hm(0, 0), 0, hm(23, 59)}, dec(9, 0, 0), false},
        {{3, d1(2), hm(0, 0), 0, hm(23, 59)}, dec(15, 9, 0), true},
        {{3, date(2026, 12, 2), hm(0, 0), 0, hm(23, 59)}, dec(8, 9, 0), true}, // day 2: Tuesday
        {{3, date(2026, 12, 2), hm(0, 0), 0, hm(23, 59)}, dec(2, 9, 0), false},
        {{3, d1(9), hm(0, 0), 0, hm(23, 59)}, dec(9, 9, 0), false},
        {{3, d1(9), hm(0, 0), 0, hm(23, 59)}, dec(8, 9, 0), false}, // its day as it stands
        {{3, d1(7), hm(9, 0), 0, hm(10, 0)}, dec(13, 9, 30), true},
        {{3, d1(7), hm(9, 0), 0, hm(10, 0)}, dec(13, 10, 1), false},
        // days 24 to 26 of every month
        {{4, d1(24), hm(0, 0), d1(26), hm(23, 59)}, dec(23, 23, 59), false},
        {{4, d1(24), hm(0, 0), d1(26), hm(23, 59)}, dec(24, 0, 0), true},
        {{4, d1(24), hm(0, 0), d1(26), hm(23, 59)}, dec(26, 23, 59), true},
        {{4, d1(24), hm(0, 0), d1(26), hm(23, 59)}, dec(27, 0, 0), false},
        {{4, d1(24), hm(0, 0), d1(26), hm(23, 59)}, at(2026, 11, 25, 12, 0), true},
        {{4, d1(26), hm(0, 0), d1(24), hm(23, 59)}, dec(25, 12, 0), false},
        // 2024-12-24 to 2024-12-26, all day, and nothing in other years
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2024, 12, 23, 23, 59),
         false},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2024, 12, 24, 0, 0),
         true},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2024, 12, 25, 12, 0),
         true},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2024, 12, 26, 23, 59),
         true},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2024, 12, 27, 0, 0),
         false},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2025, 12, 25, 12, 0),
         false},
        {{5, date(2024, 12, 24), hm(0, 0), date(2024, 12, 26), hm(23, 59)},
         at(2023, 12, 25, 12, 0),
         false},
        {{5, date(2026, 12, 31), hm(10, 0), date(2026, 12, 31), hm(11, 0)}, dec(31, 9, 59), false},
        {{5, date(2026, 12, 31), hm(10, 0), date(2026, 12, 31), hm(11, 0)}, dec(31, 10, 30), true},
        {{5, date(2026, 12, 31), hm(10, 0), date(2026, 12, 31), hm(11, 0)}, dec(31, 11, 1), false},
    };
    int row = 0;
    for (const SilenceCase& c : cases) {
        ++row;
        EXPECT_EQ(c.row.silenceInForce(passMoment(c.now)), c.inForce)
            << "row " << row << ": " << text(c.row) << " at " << text(c.now);
    }

    // Every row is looked at; a task is silenced when any is in force, and every row silences
    // every task.
    const Schedule noon{2, 0, hm(12, 0), 0, hm(13, 0)};
    const Schedule lunch{2, 0, hm(12, 30), 0, hm(13, 30)};
    const Schedule never{2, 0, hm(22, 0), 0, hm(6, 0)};
    struct RowsCase {
        std::vector<Schedule> rows;
        DateTime now;
        std::size_t inForce;
    };
    const RowsCase tables[] = {
        {{}, dec(8, 12, 45), 0},
        {{never}, dec(8, 12, 45), 0},
        {{never, noon}, dec(8, 12, 45), 1},
        {{noon, lunch}, dec(8, 12, 45), 2},
        {{lunch, never, noon, lunch}, dec(8, 12, 45), 3},
        {{noon, lunch}, dec(8, 13, 31), 0},
    };
    TaskState task;
    TaskState stopped;
    stopped.schedule.interval = 6;
    stopped.stopped = true;
    row = 0;
    for (const RowsCase& c : tables) {
        ++row;
        const std::vector<Schedule> inForce = silencesInForce(c.rows, passMoment(c.now));
        EXPECT_EQ(inForce.size(), c.inForce) << "table " << row;
        EXPECT_EQ(silenced(task, inForce), c.inForce > 0) << "table " << row;
        EXPECT_EQ(silenced(stopped, inForce), c.inForce > 0) << "table " << row;
    }
}

// -------------------------------------------------------------- a launch fallen into a pause

struct SkippedCase {
    Schedule task;
    DateTime from, to; // the pause
    bool skipped;
};

// Whether a launch of the task fell between the pause's start and one minute after its end: a
// minute in which the kind's rule makes the task due, each minute on its own date. Every-minute
// tasks are never marked.
TEST(ScheduleRules, LaunchSkipped) {
    const SkippedCase cases[] = {
        {{0}, dec(8, 9, 58), dec(8, 10, 3), false},
        {{128}, dec(8, 9, 58), dec(8, 10, 3), false},
        {{6, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 9, 58), dec(8, 10, 3), false},
        // every day, 10:00 to 18:00, once
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 9, 58), dec(8, 10, 3), true},
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 9, 50), dec(8, 9, 58), false},
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 9, 50), dec(8, 9, 59), true}, // to + 1 minute
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 10, 0), dec(8, 10, 5), true},
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 10, 0, 1), dec(8, 10, 5), false},
        {{2, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 11, 0), dec(8, 18, 0), false},
        {{2, 0, hm(12, 0), 0, hm(18, 0)}, dec(8, 9, 58), dec(8, 10, 3), false},
        {{130, 0, hm(10, 0), 0, hm(18, 0)}, dec(8, 9, 58), dec(8, 10, 3), true},
        {{2, 0, hm(0, 0), 0, hm(0, 30)}, dec(8, 23, 58), dec(9, 0, 3), true}, // over midnight
        {{2, 0, hm(0, 0), 0, hm(23, 59)}, dec(8, 23, 50), dec(8, 23, 58), false},
        {{2, 0, hm(0, 0), 0, hm(23, 59, 59)}, dec(8, 23, 58), dec(8, 23, 58, 59), false}, // 00:00
        // every 30 minutes from 08:00 to 17:00
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 10, 10), dec(8, 10, 20), false},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 10, 10), dec(8, 10, 29), true},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 16, 59), dec(8, 17, 30), true},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 30}, dec(8, 17, 1), dec(8, 17, 30), false},
        // every 90 minutes (1 hour 30): 08:00, 09:30, 11:00 ...
        {{2, 0, hm(8, 0), 0, hm(17, 0), 90}, dec(8, 10, 50), dec(8, 10, 58), false},
        {{2, 0, hm(8, 0), 0, hm(17, 0), 90}, dec(8, 10, 50), dec(8, 10, 59), true},
        // every 1439 minutes (23 hours 59): 00:00 and 23:59
        {{2, 0, hm(0, 0), 0, hm(23, 59), 1439}, dec(8, 23, 50), dec(8, 23, 58), true},
        {{2, 0, hm(0, 0), 0, hm(23, 59), 1439}, dec(8, 12, 0), dec(8, 13, 0), false},
        // every hour, minutes 15 to 45
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 16), dec(8, 10, 20), false},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 16), dec(8, 10, 24), true},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 46), dec(8, 10, 50), false},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 10, 50), dec(8, 11, 10), false}, // 11:15
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 10, 0), dec(8, 10, 20), true},
        {{1, 0, minute(15), 0, minute(45)}, dec(8, 9, 58), dec(8, 10, 20), true}, // 10:15
        {{1, 0, minute(0), 0, minute(0), 60}, dec(8, 9, 58), dec(8, 10, 3), true},
        {{1, 0, minute(15), 0, minute(45), 10}, dec(8, 23, 58), dec(9, 0, 20), true},
        // weekly, Wednesdays at 06:00
        {{3, d1(3), hm(6, 0), 0, hm(7, 0)}, dec(9, 5, 58), dec(9, 6, 3), true},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0)}, dec(10, 5, 58), dec(10, 6, 3), false},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0)}, dec(8, 23, 58), dec(9, 6, 30), true},
        {{3, date(2026, 12, 3), hm(6, 0), 0, hm(7, 0)}, dec(9, 5, 58), dec(9, 6, 3), true},
        {{3, d1(7), hm(6, 0), 0, hm(7, 0)}, dec(13, 5, 58), dec(13, 6, 3), true},
        {{3, d1(2), hm(6, 0), 0, hm(7, 0)}, dec(8, 5, 0), dec(9, 6, 30), true},
        {{3, d1(3), hm(6, 0), 0, hm(7, 0)}, dec(8, 5, 0), dec(9, 6, 30), true},
        {{3, d1(10), hm(6, 0), 0, hm(7, 0)}, dec(9, 5, 58), dec(9, 6, 3), true}, // 10: Wednesday
        // monthly, days 10 to 20 at 08:00
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(9, 7, 58), dec(9, 8, 3), false},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(10, 7, 58), dec(10, 8, 3), true},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 7, 58), dec(20, 8, 3), true},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(21, 7, 58), dec(21, 8, 3), false},
        {{4, d1(10), hm(8, 0), d1(5), hm(9, 0)}, dec(10, 7, 58), dec(10, 8, 3), false},
        {{4, d1(10), hm(8, 0), d1(20), hm(9, 0)}, dec(20, 7, 0), dec(21, 8, 30), true},
        {{4, d1(21), hm(8, 0), d1(25), hm(9, 0)}, dec(20, 7, 0), dec(21, 8, 30), true},
        // yearly, 2026-12-24 to 26 at 06:00: full dates
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         dec(24, 5, 58),
         dec(24, 6, 3),
         true},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         dec(25, 5, 58),
         dec(25, 6, 3),
         true},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         dec(23, 23, 0),
         dec(24, 6, 10),
         true},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)},
         at(2025, 12, 24, 5, 58),
         at(2025, 12, 24, 6, 3),
         false},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 24), hm(8, 0), 60},
         dec(24, 6, 30),
         dec(24, 6, 58),
         false},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 24), hm(8, 0), 60},
         dec(24, 6, 30),
         dec(24, 6, 59),
         true},
    };
    int row = 0;
    for (const SkippedCase& c : cases) {
        ++row;
        EXPECT_EQ(c.task.launchSkipped(c.from, c.to), c.skipped)
            << "row " << row << ": " << text(c.task) << " paused " << text(c.from) << " to "
            << text(c.to);
    }
}

// ------------------------------------------------------------- every reader against decide

// Random windows of every kind, read minute by minute over three days: decide follows the time
// rule, the window's spans hold every due minute, the launch search finds exactly the due minutes,
// a pause holds a launch exactly when one of its minutes is due, and a silence period is in force
// exactly inside the window on its day (its week day as stored).
TEST(ScheduleRules, EveryReaderAgreesWithDecide) {
    test::ScopedEnv utc("TZ", "UTC"); // no clock changes for the launch search
    constexpr unsigned Seed = 20261208;
    constexpr int Days = 3, Minutes = Days * 1440, Seconds = Minutes * 60;
    std::mt19937 random(Seed);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(random() % (hi - lo + 1u)); };
    const int intervals[] = {0, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 6, 7, 127, 129, 131, 132, -1};
    const int repeats[] = {0, 0, 1, 7, 10, 60, 90, 1439, 1440, 5000, -1, -25};
    for (int round = 0; round < 60; ++round) {
        const auto day0 = static_cast<std::int64_t>(date(2020, 1, 1)) + pick(0, 3650);
        Schedule w{intervals[pick(0, 17)]};
        const bool hourly = w.kind() == ScheduleKind::EveryHour;
        const int span = hourly && pick(0, 3) > 0 ? 3600 : 86400;
        w.startTime = pick(0, span - 1) / SecondsPerDay;
        w.endTime = pick(0, span - 1) / SecondsPerDay;
        w.repeatInterval = repeats[pick(0, 11)];
        w.startDate = w.kind() == ScheduleKind::EveryYear ? day0 + pick(-2, 1) : d1(pick(1, 31));
        w.endDate =
            w.kind() == ScheduleKind::EveryYear ? w.startDate + pick(0, 2) : d1(pick(1, 31));
        SCOPED_TRACE("seed " + std::to_string(Seed) + ", round " + std::to_string(round) + ": " +
                     text(w) + ", from " + text(static_cast<double>(day0)));

        const bool windowed = w.kind() && w.kind() != ScheduleKind::EveryMinute; // kinds 1 to 5
        std::vector<char> spanned(1440, 0);
        for (const Schedule::MinuteSpan& sp : w.windowMinutes())
            std::fill(spanned.begin() + sp.first, spanned.begin() + sp.last + 1, 1);
        const std::int64_t step = w.repeatInterval ? std::int64_t{w.repeatInterval} * 60 : 86400;
        const bool silenceDay =
            w.kind() != ScheduleKind::Weekly || Schedule::dayOf(w.startDate) <= 7;
        std::vector<LaunchMoment> due;
        std::vector<int> dueBefore(Minutes + 1, 0), dueAt;
        PassMoment m;
        for (int i = 0; i < Minutes; ++i) {
            const LaunchMoment at{day0 + i / 1440, i % 1440};
            if (at.minute == 0) m = passMoment(at.toDateTime());
            m.nowDateTime = at.toDateTime();
            m.nowTime = at.minute * 60;
            m.hourStart = at.minute / 60 * 3600;
            const Reason r = w.decide(m).reason;
            const bool inWindow = windowed && (r == Due || r == Off);
            const int s = (hourly ? m.hourStart : 0) + secondsOfDay(w.startTime);
            const int e = (hourly ? m.hourStart : 0) + secondsOfDay(w.endTime);
            const bool ok =
                (!inWindow || (s <= m.nowTime && m.nowTime <= e)) &&
                (!inWindow || (r == Due) == ((m.nowTime - s) % step < 60)) &&
                (r != Due || spanned[static_cast<std::size_t>(at.minute)] || !windowed) &&
                w.silenceInForce(m) ==
                    (w.kind() == ScheduleKind::EveryMinute || (inWindow && silenceDay));
            ASSERT_TRUE(ok) << "at " << text(at.toDateTime());
            if (r == Due) {
                due.push_back(at);
                dueAt.push_back(i * 60);
            }
            dueBefore[i + 1] = static_cast<int>(due.size());
        }

        NextLaunchSearch search({}, Days + 1);
        EXPECT_TRUE(search.between(w, LaunchMoment{day0 - 1, 1439}.toDateTime(),
                                   LaunchMoment{day0 + Days, 0}.toDateTime()) == due);

        // Pauses of seconds to a day and a half, a third of them with an end near a due minute.
        for (int p = 0; p < 30; ++p) {
            int from = pick(0, Seconds), to = from + (p % 2 ? pick(0, 600) : pick(0, 36 * 3600));
            if (p % 3 == 0 && !dueAt.empty()) {
                const int d =
                    dueAt[static_cast<std::size_t>(pick(0, static_cast<int>(dueAt.size()) - 1))];
                std::tie(from, to) = std::minmax(d + pick(-90, 30), d + pick(-90, 30));
            }
            from = std::clamp(from, 0, Seconds - 61);
            to = std::clamp(to, from, Seconds - 61);
            const int first = (from + 59) / 60, last = (to + 60) / 60;
            ASSERT_EQ(w.launchSkipped(day0 + from / SecondsPerDay, day0 + to / SecondsPerDay),
                      windowed && dueBefore[last + 1] > dueBefore[first])
                << "paused " << text(day0 + from / SecondsPerDay) << " to "
                << text(day0 + to / SecondsPerDay);
        }
    }
}

// ---------------------------------------------------------------------- the pass's verdict

struct VerdictCase {
    bool stopped;
    std::optional<CompletionCode> code;
    bool silenced;
    LaunchConditionOutcome condition;
    Schedule window;
    bool running, interruptible, repeatedMinute;
    Verdict verdict;
    bool endsRunning;
    bool askedSilence, askedCondition;
};

// The pass's tests in their order: stopped, waiting, silence, condition, the kind's rule, the
// repeated minute, then the running instance. What the order does not reach is not asked.
TEST(ScheduleRules, PassVerdict) {
    // At Tuesday 2026-12-08 10:00.
    const Schedule due{2, 0, hm(10, 0), 0, hm(18, 0)};
    const Schedule offStep{2, 0, hm(9, 0), 0, hm(18, 0)};
    const Schedule offAtEnd{2, 0, hm(8, 0), 0, hm(10, 0)};
    const Schedule before{2, 0, hm(11, 0), 0, hm(12, 0)};
    const Schedule after{2, 0, hm(8, 0), 0, hm(9, 0)};
    const Schedule minutely{0};
    const Schedule hourly{1, 0, minute(0), 0, minute(30)};
    const Schedule never{6};
    constexpr bool yes = true, no = false;
    const std::optional<CompletionCode> none, waits = CompletionCode::WaitingForResources,
                                              paused = CompletionCode::WaitingForScheduling,
                                              done = CompletionCode::Completed;
    constexpr auto Holds = LaunchConditionOutcome::True, Fails = LaunchConditionOutcome::False,
                   Bad = LaunchConditionOutcome::Malformed;
    using enum Verdict;
    // clang-format off
    const VerdictCase cases[] = {
        // stopped, code, silenced, condition, window, running, interruptible, repeated minute
        //   -> verdict, ends the running instance, silence asked, condition asked
        {yes, waits,  yes, Bad,   due,      yes, yes, yes, Stopped,        no,  no,  no},
        {yes, none,   no,  Holds, due,      no,  no,  no,  Stopped,        no,  no,  no},
        {no,  waits,  yes, Fails, due,      no,  no,  no,  Waiting,        no,  no,  no},
        {no,  waits,  no,  Holds, after,    yes, yes, no,  Waiting,        no,  no,  no},
        {no,  none,   yes, Bad,   due,      no,  no,  no,  Silenced,       no,  yes, no},
        {no,  paused, yes, Holds, due,      no,  no,  no,  Silenced,       no,  yes, no},
        {no,  none,   no,  Bad,   due,      no,  no,  no,  ConditionError, no,  yes, yes},
        {no,  none,   no,  Fails, due,      yes, yes, no,  ConditionFalse, no,  yes, yes},
        {no,  none,   no,  Holds, never,    yes, yes, no,  NeverDue,       no,  yes, yes},
        {no,  none,   no,  Holds, before,   yes, yes, no,  OutsideWindow,  no,  yes, yes},
        {no,  none,   no,  Holds, after,    no,  yes, no,  OutsideWindow,  no,  yes, yes},
        {no,  none,   no,  Holds, after,    yes, no,  no,  OutsideWindow,  no,  yes, yes},
        {no,  none,   no,  Holds, after,    yes, yes, no,  OutsideWindow,  yes, yes, yes},
        {no,  none,   no,  Holds, after,    yes, yes, yes, OutsideWindow,  yes, yes, yes},
        {no,  none,   no,  Holds, offStep,  yes, yes, no,  OffStep,        no,  yes, yes},
        {no,  none,   no,  Holds, offAtEnd, yes, yes, no,  OffStep,        yes, yes, yes},
        {no,  none,   no,  Holds, offStep,  no,  no,  yes, OffStep,        no,  yes, yes},
        {no,  none,   no,  Holds, due,      no,  no,  no,  Launch,         no,  yes, yes},
        {no,  paused, no,  Holds, due,      no,  no,  no,  Launch,         no,  yes, yes},
        {no,  done,   no,  Holds, due,      no,  no,  no,  Launch,         no,  yes, yes},
        {no,  none,   no,  Holds, due,      yes, yes, no,  Replace,        no,  yes, yes},
        {no,  none,   no,  Holds, due,      yes, no,  no,  StillRunning,   no,  yes, yes},
        {no,  none,   no,  Holds, due,      no,  no,  yes, RepeatedMinute, no,  yes, yes},
        {no,  none,   no,  Holds, due,      yes, yes, yes, RepeatedMinute, no,  yes, yes},
        {no,  none,   no,  Holds, minutely, no,  no,  yes, Launch,         no,  yes, yes},
        {no,  none,   no,  Holds, minutely, yes, yes, no,  Replace,        no,  yes, yes},
        {no,  none,   no,  Holds, minutely, yes, no,  no,  StillRunning,   no,  yes, yes},
        {no,  none,   no,  Holds, hourly,   no,  no,  yes, Launch,         no,  yes, yes},
        {no,  none,   no,  Holds, hourly,   yes, yes, yes, Replace,        no,  yes, yes},
    };
    // clang-format on
    const PassMoment moment = passMoment(dec(8, 10, 0));
    int row = 0;
    for (const VerdictCase& c : cases) {
        ++row;
        TaskState task;
        task.schedule = c.window;
        task.stopped = c.stopped;
        task.code = c.code;
        task.running = c.running;
        task.interruptible = c.interruptible;
        bool askedSilence = false, askedCondition = false;
        PassQuestions ask;
        ask.silenced = [&] {
            askedSilence = true;
            return c.silenced;
        };
        ask.condition = [&] {
            askedCondition = true;
            return c.condition;
        };
        const PassDecision d = passVerdict(task, moment, c.repeatedMinute, ask);
        EXPECT_EQ(d.verdict, c.verdict) << "row " << row;
        EXPECT_EQ(d.endsRunningInstance, c.endsRunning) << "row " << row;
        EXPECT_EQ(askedSilence, c.askedSilence) << "row " << row;
        EXPECT_EQ(askedCondition, c.askedCondition) << "row " << row;
    }
}

} // namespace
} // namespace vektrin::schedule
