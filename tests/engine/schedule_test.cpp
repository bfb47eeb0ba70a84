// A window through Schedule and back, one line per case: a stored row, vektrinctl's words, and the
// launch minutes the search finds. Week days and days of the month are stored as days of January
// of year 1, as the editors store them; December 2026 begins on a Tuesday.

#include "engine/next_launch.h"
#include "engine/schedule.h"
#include "engine/task_fields.h"
#include "platform/strings.h"
#include "store/data_ctrl.h"
#include "support/dates.h"
#include "support/fake_messages.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vektrin {
namespace {

using test::at;
using test::date;
using test::dayOfYearOne;
using test::hm;
using test::minute;

// Row -> Schedule -> row, in both tables: each column by its name, so that a column read from or
// written to the wrong field shows.
TEST(Schedule, RowsRoundTrip) {
    const char* names[] = {"StartDate", "StartTime", "EndDate", "EndTime"};
    DateTime Schedule::*const dates[] = {&Schedule::startDate, &Schedule::startTime,
                                         &Schedule::endDate, &Schedule::endTime};
    const Schedule rows[] = {
        {0},
        {1, 0, minute(15), 0, minute(45), 10},
        {3, dayOfYearOne(15), hm(6, 0), dayOfYearOne(2), hm(7, 0, 30), 30},
        {4, dayOfYearOne(10), hm(8, 0), dayOfYearOne(20), hm(9, 0), -5},
        {5, date(2026, 12, 24), hm(6, 0), date(2027, 1, 2), hm(18, 0), 1440},
        {131, date(1, 12, 31), hm(23, 59, 59), date(9999, 12, 31), hm(0, 0, 1), 32767},
    };
    test::TempDir dir;
    test::RecordingMessages messages;
    TDataCtrl dm(dir.path(), messages);
    for (const bool task : {true, false}) {
        Table& t = task ? dm.Table1 : dm.Table3;
        const ScheduleColumns columns =
            task ? ScheduleColumns::ofTasks(dm) : ScheduleColumns::ofSilence(dm);
        for (const Schedule& row : rows) {
            t.append();
            t.field("Interval").setInteger(row.interval);
            for (int i = 0; i < 4; ++i)
                t.field(names[i]).setDateTime(row.*dates[i]);
            if (task) t.field("RepeatInterval").setInteger(row.repeatInterval);
            t.post();
            const Schedule read = Schedule::read(columns);
            Schedule expected = row;
            if (!task) expected.repeatInterval = 0; // a silence period has none
            EXPECT_EQ(read, expected) << row.interval;

            t.append();
            read.write(columns);
            t.post();
            EXPECT_EQ(t.field("Interval").asInteger(), row.interval);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(t.field(names[i]).asDateTime(), row.*dates[i]) << names[i];
            if (task) {
                EXPECT_EQ(t.field("RepeatInterval").asInteger(), row.repeatInterval);
            }
        }
    }
    // Writing some columns leaves the others as they were, nothing included.
    dm.Table1.append();
    rows[4].write(ScheduleColumns::ofTasks(dm), schedule::StartDateColumn);
    dm.Table1.post();
    EXPECT_EQ(dm.Table1StartDate.asDateTime(), rows[4].startDate);
    EXPECT_TRUE(dm.Table1EndDate.isNull() && dm.Table1Interval.isNull());
}

struct WordsCase {
    const char *schedule, *from, *to;
    schedule::Words words; // given back
    const char* problem = "";
};

// Words -> Schedule -> words, taken into a monthly task of days 15 to 20: the kind and its days,
// then the window in the new kind's words. A task made weekly stores its day as 1..7.
TEST(Schedule, WordsRoundTrip) {
    const std::string badTime = fields::invalidTimeMessage("8 o'clock");
    // clang-format off
    const WordsCase cases[] = {
        {"every-minute", "", "", {"every-minute"}},
        {"HOURLY", " 0 ", "59", {"hourly", "0", "59"}},
        {"daily", "08:00", "17:30:15", {"daily", "08:00", "17:30:15"}},
        {"weekly Fri", "07:30", "08:00", {"weekly friday", "07:30", "08:00"}},
        {"weekly 7", "", "", {"weekly sunday", "09:00", "10:00"}},
        {" monthly 1 - 5 ", "", "", {"monthly 1-5", "09:00", "10:00"}},
        {"monthly 31-31", "", "", {"monthly 31", "09:00", "10:00"}},
        {"yearly", "2024-12-24", "2024-12-26 18:00",
         {"yearly", "2024-12-24 00:00", "2024-12-26 18:00"}},
        {"yearly", "2024-12-24 08:00:30", "2024-12-24", {"yearly", "2024-12-24 08:00:30",
                                                         "2024-12-24 23:59"}},
        {"weekly funday", "", "", {}, "expected a week day (monday .. sunday, or 1 .. 7), not \"funday\""},
        {"weekly", "", "", {}, "weekly needs a day"},
        {"daily 3", "", "", {}, "daily takes no day"},
        {"monthly 32", "", "", {}, str::DayAboveThirtyOne.data()},
        {"fortnightly", "", "", {}, "expected every-minute, hourly, daily, weekly DAY, monthly "
                                    "DAY[-DAY] or yearly, not \"fortnightly\""},
        {"hourly", "60", "", {}, str::MinuteAboveSixty.data()},
        {"daily", "8 o'clock", "", {}, badTime.c_str()},
        {"every-minute", "08:00", "", {}, "has no meaning for a task of every minute"},
    };
    // clang-format on
    for (const WordsCase& c : cases) {
        Schedule s{4, dayOfYearOne(15), hm(9, 0), dayOfYearOne(20), hm(10, 0)};
        std::vector<std::string> problems =
            s.takeScheduleWords(c.schedule, fields::TaskDay).problems;
        for (const bool from : {true, false}) {
            const std::string words = from ? c.from : c.to;
            if (words.empty() || !problems.empty()) continue;
            for (const std::string& p :
                 s.takeWindowWords(from, words, fields::TaskMinute, "task").problems)
                problems.push_back(p);
        }
        if (*c.problem) {
            EXPECT_EQ(problems, std::vector<std::string>{c.problem}) << c.schedule;
            continue;
        }
        EXPECT_EQ(problems, std::vector<std::string>{}) << c.schedule;
        const schedule::Words w = s.words();
        EXPECT_EQ(w.schedule + "|" + w.from + "|" + w.to,
                  c.words.schedule + "|" + c.words.from + "|" + c.words.to);
        if (s.kind() == ScheduleKind::Weekly) {
            EXPECT_LE(Schedule::dayOf(s.startDate), 7) << c.schedule;
        }
    }
}

struct NextCase {
    Schedule task;
    std::vector<Schedule> silence;
    DateTime after;
    std::vector<std::string> launches; // the first three at most
};

std::string text(const schedule::LaunchMoment& m) {
    char hhmm[16];
    std::snprintf(hhmm, sizeof hhmm, " %02d:%02d", m.minute / 60, m.minute % 60);
    return isoDate(static_cast<double>(m.day)) + hhmm;
}

// The launch search: the minutes in which the pass will launch the task.
TEST(Schedule, NextLaunches) {
    test::ScopedEnv utc("TZ", "UTC");
    const Schedule lunch{2, 0, hm(12, 0), 0, hm(13, 0)};
    // clang-format off
    const NextCase cases[] = {
        {{1, 0, minute(15), 0, minute(45), 10}, {}, at(2026, 12, 8, 10, 20),
         {"2026-12-08 10:25", "2026-12-08 10:35", "2026-12-08 10:45"}},
        {{2, 0, hm(8, 0, 30), 0, hm(9, 0), 30}, {}, at(2026, 12, 8, 8, 31),
         {"2026-12-09 08:01", "2026-12-09 08:31", "2026-12-10 08:01"}},
        {{2, 0, hm(11, 30), 0, hm(13, 30), 30}, {lunch}, at(2026, 12, 8, 10, 0),
         {"2026-12-08 11:30", "2026-12-08 13:30", "2026-12-09 11:30"}},
        // a weekly day above 7 launches on the week day the views show: 15 is a Monday
        {{3, date(2026, 5, 15), hm(6, 0), 0, hm(6, 0)}, {}, at(2026, 12, 8, 0, 0),
         {"2026-12-14 06:00", "2026-12-21 06:00", "2026-12-28 06:00"}},
        {{3, dayOfYearOne(14), hm(6, 0), 0, hm(6, 0)}, {}, at(2026, 12, 8, 0, 0),
         {"2026-12-13 06:00", "2026-12-20 06:00", "2026-12-27 06:00"}},
        {{4, dayOfYearOne(31), hm(6, 0), dayOfYearOne(31), hm(6, 0)}, {}, at(2026, 10, 31, 12, 0),
         {"2026-12-31 06:00", "2027-01-31 06:00", "2027-03-31 06:00"}},
        {{5, date(2026, 12, 24), hm(6, 0), date(2026, 12, 26), hm(6, 0)}, {},
         at(2026, 12, 25, 7, 0), {"2026-12-26 06:00"}},
        {{6, 0, hm(6, 0), 0, hm(7, 0)}, {}, at(2026, 12, 8, 0, 0), {}},
    };
    // clang-format on
    for (const NextCase& c : cases) {
        schedule::NextLaunchSearch search(c.silence);
        std::vector<std::string> found;
        for (const schedule::LaunchMoment& m : search.next(c.task, c.after, 3))
            found.push_back(text(m));
        EXPECT_EQ(found, c.launches) << "kind " << c.task.interval;
    }
}

} // namespace
} // namespace vektrin
