// The timeline model on small tables of known answers: the stretches of each kind of silence
// period, which of two tasks due in the same minute is skipped or waits, the period's bounds, the
// lanes' order and windows, and the text lines.

#include "engine/timeline.h"

#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace vektrin::timeline {
namespace {

DateTime day(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}
DateTime at(int h, int m, int s = 0) {
    return *tryEncodeTime(h, m, s);
}
DateTime weekday(int d) { // the editors' encoding: day d of January of year 1
    return day(1, 1, d);
}

std::string iso(Minute m) {
    const schedule::LaunchMoment moment = launchMoment(m);
    const DateParts d = decodeDate(static_cast<double>(moment.day));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day,
                  moment.minute / 60, moment.minute % 60);
    return buffer;
}

// A stretch as its first and last minute.
std::string text(const Stretch& s) {
    return iso(s.begin) + ".." + iso(s.end - 1);
}

Period period(DateTime from, DateTime to) {
    const PeriodOrProblem p = makePeriod(from, to);
    EXPECT_TRUE(p.period) << p.problem;
    return p.period.value_or(Period{});
}

class Timeline : public ::testing::Test {
    // Known answers need a clock without summer time.
    test::ScopedEnv utc_{"TZ", "UTC"};
};

// ------------------------------------------------------------------------- silence stretches

struct SilenceCase {
    const char* label;
    Schedule row;
    DateTime from, to;
    std::vector<std::string> stretches;
};

TEST_F(Timeline, SilenceStretchesOfEachKind) {
    const DateTime monday = day(2024, 3, 4);
    // Schedule{kind, start date, start time, end date, end time}
    // clang-format off
    const SilenceCase cases[] = {
        {"a day's window holds both its ends", Schedule{2, 0, at(12, 0), 0, at(13, 0)}, monday,
         monday + 1, {"2024-03-04 12:00..2024-03-04 13:00"}},
        {"a day's window that ends before it begins silences nothing",
         Schedule{2, 0, at(22, 0), 0, at(6, 0)}, monday, monday + 2, {}},
        {"a start with seconds begins at the next minute",
         Schedule{2, 0, at(12, 0, 30), 0, at(12, 2)}, monday, monday + 1,
         {"2024-03-04 12:01..2024-03-04 12:02"}},
        {"weekly on Sundays", Schedule{3, weekday(7), at(8, 0), 0, at(12, 0)}, monday, monday + 7,
         {"2024-03-10 08:00..2024-03-10 12:00"}},
        {"the minutes 10 to 20 of every hour", Schedule{1, 0, at(0, 10), 0, at(0, 20)},
         monday + at(9, 0), monday + at(12, 0),
         {"2024-03-04 09:10..2024-03-04 09:20", "2024-03-04 10:10..2024-03-04 10:20",
          "2024-03-04 11:10..2024-03-04 11:20"}},
        {"kind 0 silences the whole period", Schedule{0}, monday + at(9, 0), monday + at(12, 0),
         {"2024-03-04 09:00..2024-03-04 11:59"}},
        {"whole days of a year's window are one stretch",
         Schedule{5, day(2024, 3, 5), at(0, 0), day(2024, 3, 7), at(23, 59)}, monday, monday + 5,
         {"2024-03-05 00:00..2024-03-07 23:59"}},
        {"a year's window of another year silences nothing",
         Schedule{5, day(2023, 3, 5), at(0, 0), day(2023, 3, 7), at(23, 59)}, monday, monday + 5,
         {}},
        {"days 5 and 6 of the month, cut at the period's beginning",
         Schedule{4, weekday(5), at(22, 0), weekday(6), at(23, 59)}, monday + 1 + at(23, 0),
         monday + 3, {"2024-03-05 23:00..2024-03-05 23:59", "2024-03-06 22:00..2024-03-06 23:59"}},
        {"a kind above 5 is never in force", Schedule{6, 0, at(0, 0), 0, at(23, 59)}, monday,
         monday + 1, {}},
        {"the low seven bits count: 130 is every day", Schedule{130, 0, at(1, 0), 0, at(1, 30)},
         monday, monday + 1, {"2024-03-04 01:00..2024-03-04 01:30"}},
    };
    // clang-format on
    for (const SilenceCase& c : cases) {
        Tables tables;
        tables.silence = {c.row};
        const Model model = buildModel(tables, period(c.from, c.to), {});
        std::vector<std::string> got;
        for (const SilenceStretch& s : model.silence) {
            EXPECT_EQ(s.row, 0) << c.label;
            got.push_back(text(s.stretch));
        }
        EXPECT_EQ(got, c.stretches) << c.label;
    }
}

// ------------------------------------------------------------------------------- conflicts

struct DailyTask {
    std::string name;
    DateTime time; // daily at this time
    std::uint32_t conflicts;
    bool waits = false;
    bool conditional = false;
    bool stopped = false;
};

struct ConflictCase {
    const char* label;
    std::vector<DailyTask> tasks; // in the table's order
    std::vector<std::string> conflicts;
    std::vector<Schedule> silence = {};
};

Task daily(const DailyTask& d, int appId) {
    Task t;
    t.appId = appId;
    t.name = d.name;
    t.schedule.interval = 2;
    t.schedule.startTime = t.schedule.endTime = d.time;
    t.conflicts = d.conflicts;
    t.waits = d.waits;
    t.conditional = d.conditional;
    t.stopped = d.stopped;
    return t;
}

std::string describe(const Model& m, const Conflict& c) {
    std::string minutes;
    for (const Minute minute : c.minutes)
        minutes += iso(minute).substr(11) + ' ';
    std::string s = minutes + m.tables.tasks[c.holder].name + '>' + m.tables.tasks[c.other].name +
                    " on " + std::to_string(c.resources);
    s += c.waits ? " waits " + std::to_string(c.waitSeconds) + "s" : " skipped";
    if (c.conditional) s += " if";
    return s;
}

TEST_F(Timeline, ConflictsFollowThePassOrderAndTheWaitingTimes) {
    const DateTime t22 = at(22, 0);
    // clang-format off
    const ConflictCase cases[] = {
        {"the later task in the table is skipped", {{"A", t22, 1}, {"B", t22, 1}},
         {"22:00 A>B on 1 skipped"}},
        {"the table's order decides, not the name", {{"B", t22, 1}, {"A", t22, 1}},
         {"22:00 B>A on 1 skipped"}},
        {"a waiting task waits for the longest wait of all its resources",
         {{"A", t22, 1}, {"B", t22, 1 | 2, true}}, {"22:00 A>B on 1 waits 1800s"}},
        {"a resource without a waiting time gives up at the next pass",
         {{"A", t22, 4}, {"B", t22, 4, true}}, {"22:00 A>B on 4 waits 0s"}},
        {"other resources never conflict", {{"A", t22, 1}, {"B", t22, 2}}, {}},
        {"other minutes never conflict", {{"A", t22, 1}, {"B", at(22, 1), 1}}, {}},
        {"both later tasks find the first one's resource busy",
         {{"A", t22, 1}, {"B", t22, 1}, {"C", t22, 1}},
         {"22:00 A>B on 1 skipped", "22:00 A>C on 1 skipped"}},
        {"a task that needs two held resources conflicts with both holders",
         {{"A", t22, 1}, {"B", t22, 2}, {"C", t22, 3}},
         {"22:00 A>C on 1 skipped", "22:00 B>C on 2 skipped"}},
        {"a skipped task holds nothing", {{"A", t22, 1}, {"B", t22, 3}, {"C", t22, 2}},
         {"22:00 A>B on 1 skipped"}},
        {"a launch condition on either side makes it conditional",
         {{"A", t22, 1, false, true}, {"B", t22, 1}}, {"22:00 A>B on 1 skipped if"}},
        {"nothing is launched in a silenced minute", {{"A", t22, 1}, {"B", t22, 1}}, {},
         {Schedule{2, 0, t22, 0, t22}}},
        {"a stopped task is passed by", {{"A", t22, 1, false, false, true}, {"B", t22, 1}}, {}},
        {"tasks without resources never conflict", {{"A", t22, 0}, {"B", t22, 0}}, {}},
    };
    // clang-format on
    const DateTime monday = day(2024, 3, 4);
    for (const ConflictCase& c : cases) {
        Tables tables;
        tables.resources = {{1, "Printer", at(0, 30)}, {2, "Modem", at(0, 5)}, {3, "Tape", 0}};
        for (std::size_t i = 0; i < c.tasks.size(); ++i)
            tables.tasks.push_back(daily(c.tasks[i], static_cast<int>(i) + 1));
        tables.silence = c.silence;
        const Model model =
            buildModel(tables, period(monday, monday + 1), defaultSelection(tables));
        std::vector<std::string> got;
        for (const Conflict& k : model.conflicts)
            got.push_back(describe(model, k));
        EXPECT_EQ(got, c.conflicts) << c.label;
    }
}

TEST_F(Timeline, AConflictWithATaskNotShownIsKeptAndSaysWhoHoldsTheResource) {
    Tables tables;
    tables.resources = {{1, "Printer", at(0, 30)}};
    tables.tasks = {daily({"backup", at(22, 0), 1}, 1), daily({"print run", at(22, 0), 1}, 2),
                    daily({"unrelated", at(22, 0), 2}, 3)};
    const DateTime monday = day(2024, 3, 4);
    const Model model = buildModel(tables, period(monday, monday + 1), {1});
    ASSERT_EQ(model.lanes.size(), 1u);
    ASSERT_EQ(model.conflicts.size(), 1u);
    EXPECT_EQ(conflictText(model, model.conflicts[0]), "skipped: Printer (1) held by <backup>");
    // Tasks shown nowhere and conflicting with nothing shown are not even searched.
    EXPECT_EQ(buildModel(tables, period(monday, monday + 1), {2}).conflicts.size(), 0u);
}

// -------------------------------------------------------------------------------- periods

TEST_F(Timeline, PeriodBoundsAndRefusals) {
    const DateTime monday = day(2024, 3, 4);
    struct Case {
        const char* label;
        DateTime from, to;
        std::string problemStart{};  // empty: accepted
        std::string first{}, last{}; // its first and last minute
    };
    const Case cases[] = {
        {"a day from midnight", monday, monday + 1, "", "2024-03-04 00:00", "2024-03-04 23:59"},
        {"seconds move the start to the next minute", monday + at(10, 23, 17),
         monday + at(11, 23, 17), "", "2024-03-04 10:24", "2024-03-04 11:23"},
        {"31 days are allowed", monday, monday + 31, "", "2024-03-04 00:00", "2024-04-03 23:59"},
        {"31 days and a minute are not", monday, monday + 31 + at(0, 1),
         "The period from 2024-03-04 00:00 to 2024-04-04 00:01 is longer than 31 days"},
        {"an end before the beginning", monday + 1, monday,
         "The period must end after it begins: from 2024-03-05 00:00 to 2024-03-04 00:00"},
        {"an end at the beginning", monday, monday, "The period must end after it begins"},
        {"before the tables' first day", -3, 1, "The period from ? to 1899-12-31 00:00 lies"},
        {"not a number", std::nan(""), monday, "The period from ? to 2024-03-04 00:00 lies"},
    };
    for (const Case& c : cases) {
        const PeriodOrProblem p = makePeriod(c.from, c.to);
        if (c.problemStart.empty()) {
            ASSERT_TRUE(p.period) << c.label << ": " << p.problem;
            EXPECT_EQ(iso(p.period->begin), c.first) << c.label;
            EXPECT_EQ(iso(p.period->end - 1), c.last) << c.label;
        } else {
            EXPECT_FALSE(p.period) << c.label;
            EXPECT_EQ(p.problem.substr(0, c.problemStart.size()), c.problemStart) << c.label;
        }
    }
}

TEST_F(Timeline, TheTablesFirstDayHasItsFirstMinute) {
    Tables tables;
    Task every;
    every.name = "every minute";
    tables.tasks = {every};
    const Model model = buildModel(tables, period(0, at(0, 3)), {0});
    ASSERT_EQ(model.lanes.size(), 1u);
    std::vector<std::string> launches;
    for (const Minute m : model.lanes[0].launches)
        launches.push_back(iso(m));
    EXPECT_EQ(launches, (std::vector<std::string>{"1899-12-30 00:00", "1899-12-30 00:01",
                                                  "1899-12-30 00:02"}));
}

// ---------------------------------------------------------------- lanes, windows, text lines

TEST_F(Timeline, LanesBySortedFirstLaunchWithTheirWindows) {
    Tables tables;
    auto task = [](const char* name, int interval, DateTime s, DateTime e, int repeat) {
        Task t;
        t.name = name;
        t.schedule.interval = interval;
        t.schedule.startTime = s;
        t.schedule.endTime = e;
        t.schedule.repeatInterval = repeat;
        return t;
    };
    tables.tasks = {task("late", 2, at(2, 30), at(2, 30), 0), task("never", 6, 0, 0, 0),
                    task("hourly", 1, at(0, 15), at(0, 45), 10),
                    task("seconds", 2, at(1, 0, 30), at(1, 3), 1),
                    task("stopped", 2, at(0, 0), at(23, 0), 0)};
    tables.tasks[4].stopped = true;
    const DateTime monday = day(2024, 3, 4);
    const Model model =
        buildModel(tables, period(monday, monday + at(3, 0)), defaultSelection(tables));
    std::vector<std::string> names;
    for (const Lane& l : model.lanes)
        names.push_back(tables.tasks[l.task].name);
    EXPECT_EQ(names, (std::vector<std::string>{"hourly", "seconds", "late", "never"}));

    std::vector<std::string> windows, launches;
    for (const Stretch& s : model.lanes[0].windows)
        windows.push_back(text(s));
    for (const Minute m : model.lanes[0].launches)
        launches.push_back(iso(m).substr(11));
    EXPECT_EQ(windows, (std::vector<std::string>{"2024-03-04 00:15..2024-03-04 00:45",
                                                 "2024-03-04 01:15..2024-03-04 01:45",
                                                 "2024-03-04 02:15..2024-03-04 02:45"}));
    EXPECT_EQ(launches,
              (std::vector<std::string>{"00:15", "00:25", "00:35", "00:45", "01:15", "01:25",
                                        "01:35", "01:45", "02:15", "02:25", "02:35", "02:45"}));
    ASSERT_EQ(model.lanes[1].windows.size(), 1u);
    EXPECT_EQ(text(model.lanes[1].windows[0]), "2024-03-04 01:01..2024-03-04 01:03");
    EXPECT_TRUE(model.lanes[3].launches.empty());
    EXPECT_TRUE(model.lanes[3].windows.empty());
}

// ------------------------------------------------------------------------- made-up launches

struct MadeUpCase {
    const char* label;
    DateTime now;
    bool pending; // the gap from 08:30 lasts until now, else a pass ended it at 10:15
    int catchUpDays;
    bool silence;                      // 10:00 to 10:30
    std::vector<std::string> expected; // task, the pass, the moment made up
    DateTime chartBegins;
};

// A daily and an hourly catch-up task and a daily one without: made up where the pass would, and a
// chart from now begins at a make-up of the last hours.
TEST_F(Timeline, MadeUpLaunchesWhereThePassMakesThem) {
    const DateTime monday = day(2024, 3, 4);
    const std::vector<MadeUpCase> cases = {
        {"ended: the hourly task is due at that pass anyway",
         at(11, 0),
         false,
         7,
         false,
         {"daily 10:15 09:00"},
         at(10, 15)},
        {"older than the chart", at(17, 0), false, 7, false, {}, at(17, 0)},
        {"lasting: made up at the next pass",
         at(10, 20, 30),
         true,
         7,
         false,
         {"hourly 10:21 10:15", "daily 10:21 09:00"},
         at(10, 20, 30)},
        {"no days back", at(11, 0), false, 0, false, {}, at(11, 0)},
        {"silenced", at(11, 0), false, 7, true, {}, at(11, 0)},
    };
    for (const MadeUpCase& c : cases) {
        Tables tables;
        for (const auto& [name, interval, time, catchUp] : {std::tuple{"daily", 2, at(9, 0), true},
                                                            {"hourly", 1, at(0, 15), true},
                                                            {"off", 2, at(9, 0), false}}) {
            Task t;
            t.name = name;
            t.schedule.interval = interval;
            t.schedule.startTime = t.schedule.endTime = time;
            t.catchUp = catchUp;
            tables.tasks.push_back(t);
        }
        if (c.silence) {
            tables.silence.emplace_back();
            tables.silence.back().interval = 2;
            tables.silence.back().startTime = at(10, 0);
            tables.silence.back().endTime = at(10, 30);
        }
        const Minute first = static_cast<Minute>(monday) * 1440;
        const PassGap gap{first + 8 * 60 + 30,
                          c.pending ? first + 10 * 60 + 20 : first + 10 * 60 + 15, c.pending};
        const std::vector<int> shown = defaultSelection(tables);
        const auto madeUp = madeUpLaunches(tables, shown, {gap}, c.catchUpDays, monday + c.now);
        const DateTime from = chartBegin(madeUp, monday + c.now);
        EXPECT_NEAR(from, monday + c.chartBegins, 1e-9) << c.label;
        const Model model = buildModel(tables, period(from, monday + c.now + 1), shown, madeUp);
        std::vector<std::string> got;
        for (const Lane& lane : model.lanes)
            for (const MadeUp& m : lane.madeUp)
                got.push_back(tables.tasks[m.task].name + " " + iso(m.at).substr(11) + " " +
                              iso(m.missed).substr(11));
        EXPECT_EQ(got, c.expected) << c.label;
    }
}

TEST_F(Timeline, TextLinesInTimeOrderWithNamesKeptOnOneLine) {
    Tables tables;
    tables.resources = {{1, "Printer", at(0, 30)}};
    Task backup = daily({"backup", at(22, 0), 1}, 1);
    Task print = daily({"print\trun", at(22, 0), 1, true, true}, 2);
    tables.tasks = {backup, print};
    Schedule quiet;
    quiet.interval = 2;
    quiet.startTime = at(21, 58);
    quiet.endTime = at(21, 59);
    tables.silence = {quiet};
    const DateTime monday = day(2024, 3, 4);
    const Model model = buildModel(tables, period(monday + at(21, 58), monday + at(22, 1)),
                                   defaultSelection(tables));
    EXPECT_EQ(textLines(model),
              "2024-03-04 21:58\t\tsilence begins (Every day)\n"
              "2024-03-04 21:59\t\tsilence ends (Every day)\n"
              "2024-03-04 22:00\tbackup\twindow begins\n"
              "2024-03-04 22:00\tprint\\trun\twindow begins\n"
              "2024-03-04 22:00\tbackup\tlaunch\n"
              "2024-03-04 22:00\tprint\\trun\tlaunch if its condition holds\n"
              "2024-03-04 22:00\tprint\\trun\twaits up to 30 min: Printer (1) held by <backup> "
              "(if the launch conditions hold)\n"
              "2024-03-04 22:00\tbackup\twindow ends\n"
              "2024-03-04 22:00\tprint\\trun\twindow ends\n");
}

} // namespace
} // namespace vektrin::timeline
