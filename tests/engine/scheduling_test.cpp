#include "support/dates.h"
#include "support/engine_fixture.h"

#include <algorithm>
#include <cmath>
#include <gmock/gmock.h>
#include <random>
#include <ranges>
#include <sqlite3.h>

namespace vektrin {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using test::at;
using test::dayOfYearOne;
using test::hm;

class SchedulingTest : public test::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        clock.set(2026, 12, 7, 0, 0, 10);
        start();
        scheduler->Timer1Timer();
    }

    // One scheduling pass at second 1 of the minute, then every process ends before the next one.
    std::vector<std::string> pass(DateTime minute, bool endProcesses = true) {
        const size_t before = processes.launches.size();
        clock.value = minute + 1.0 / 86400;
        scheduler->Timer2Timer();
        const auto launched = processes.namesSince(before);
        if (endProcesses) {
            processes.endRunning();
            clock.value += 1.0 / 86400;
            scheduler->Timer1Timer();
        }
        return launched;
    }

    // The names each of the minutes launched, after its stamp, joined by ", ". A stamp is the time
    // when the minutes fall on one day, the date when they fall at one time of day, else both.
    std::string launches(const std::vector<DateTime>& minutes) {
        const auto same = [&](auto part) {
            return std::ranges::all_of(minutes,
                                       [&](DateTime m) { return part(m) == part(minutes[0]); });
        };
        const bool oneDay = same([](DateTime m) { return datePart(m + 1e-9); });
        const bool oneTime = same([](DateTime m) { return secondsOfDay(m + 1e-9) / 60; });
        std::string out;
        for (const DateTime m : minutes) {
            const auto names = pass(m);
            if (names.empty()) continue;
            const DateParts d = decodeDate(m + 1e-9);
            const TimeParts t = decodeTime(m + 1e-9);
            char day[8], time[8];
            std::snprintf(day, sizeof day, "%d/%d", d.month, d.day);
            std::snprintf(time, sizeof time, "%02d:%02d", t.hour, t.minute);
            out += (out.empty() ? "" : ", ") + (oneDay    ? time
                                                : oneTime ? day
                                                          : std::string(day) + " " + time);
            for (const auto& name : names)
                out += " " + name;
        }
        return out;
    }

    std::int32_t task(const std::string& name, int interval, DateTime startDate, DateTime startTime,
                      DateTime endDate, DateTime endTime, int repeat,
                      const std::function<void(TDataCtrl&)>& more = {}) {
        return addTask(name, [&](TDataCtrl& d) {
            d.Table1Interval.setInteger(interval);
            d.Table1StartDate.setDateTime(startDate);
            d.Table1StartTime.setDateTime(startTime);
            d.Table1EndDate.setDateTime(endDate);
            d.Table1EndTime.setDateTime(endTime);
            d.Table1RepeatInterval.setInteger(repeat);
            if (more) more(d);
        });
    }

    void silence(int interval, DateTime startDate, DateTime startTime, DateTime endDate,
                 DateTime endTime) {
        Table& t = dm().Table3;
        t.append();
        dm().Table3Interval.setInteger(interval);
        dm().Table3StartDate.setDateTime(startDate);
        dm().Table3StartTime.setDateTime(startTime);
        dm().Table3EndDate.setDateTime(endDate);
        dm().Table3EndTime.setDateTime(endTime);
        t.post();
    }
};

std::vector<DateTime> every(DateTime from, int stepMinutes, int count) {
    std::vector<DateTime> minutes;
    for (int i = 0; i < count; ++i)
        minutes.push_back(from + i * stepMinutes / 1440.0);
    return minutes;
}

// One row per kind: its tasks (and silence periods, unnamed) over the row's minutes, and what
// they launched.
struct Window {
    std::string name;
    int interval;
    DateTime startDate, startTime, endDate, endTime;
    int repeat = 0;
};
struct KindRow {
    std::string kinds;
    std::vector<Window> windows;
    std::vector<DateTime> minutes;
    std::string launches, said = {};
};

std::vector<KindRow> kindRows() {
    return {
        {"EveryDayWithARepeatStep",
         {{"30m", 2, 0, hm(8, 0), 0, hm(17, 0), 30},
          {"once", 2, 0, hm(8, 0), 0, hm(17, 0), 0},
          {"late", 2, 0, hm(8, 0, 30), 0, hm(9, 0), 0}},
         every(at(2026, 12, 8), 1, 1440),
         "08:00 30m once, 08:01 late, 08:30 30m, 09:00 30m, 09:30 30m, 10:00 30m, 10:30 30m, "
         "11:00 30m, 11:30 30m, 12:00 30m, 12:30 30m, 13:00 30m, 13:30 30m, 14:00 30m, 14:30 30m, "
         "15:00 30m, 15:30 30m, 16:00 30m, 16:30 30m, 17:00 30m"},
        {"EveryHour",
         {{"hourly", 1, 0, hm(0, 15), 0, hm(0, 45), 10}},
         every(at(2026, 12, 8, 10, 0), 1, 120),
         "10:15 hourly, 10:25 hourly, 10:35 hourly, 10:45 hourly, 11:15 hourly, 11:25 hourly, "
         "11:35 hourly, 11:45 hourly"},
        // December 2026: Wednesdays are the 2nd, 9th, 16th, 23rd and 30th. Day 10 shows as
        // Wednesday (10 modulo 7) in every view, and runs so.
        {"WeeklyMonthlyAndYearly",
         {{"wed", 3, dayOfYearOne(3), hm(6, 0), 0, hm(6, 0)},
          {"day-10", 3, dayOfYearOne(10), hm(6, 0), 0, hm(6, 0)},
          {"10-to-12", 4, dayOfYearOne(10), hm(6, 0), dayOfYearOne(12), hm(6, 0)},
          {"10-to-5", 4, dayOfYearOne(10), hm(6, 0), dayOfYearOne(5), hm(6, 0)},
          {"in-2020", 5, at(2020, 1, 1), hm(6, 0), at(2020, 12, 31), hm(6, 0)},
          {"christmas", 5, at(2026, 12, 24), hm(6, 0), at(2026, 12, 26), hm(6, 0)}},
         every(at(2026, 12, 1, 6, 0), 1440, 31),
         "12/2 wed day-10, 12/9 wed day-10, 12/10 10-to-12, 12/11 10-to-12, 12/12 10-to-12, "
         "12/16 wed day-10, 12/23 wed day-10, 12/24 christmas, 12/25 christmas, 12/26 christmas, "
         "12/30 wed day-10"},
        // Every month has a 30th but February; seven months have a 31st.
        {"AYearOfMorningsForTheYearlyAndMonthly",
         {{"easter", 5, at(2026, 3, 30), hm(6, 0), at(2026, 4, 2), hm(6, 0)},
          {"last-year", 5, at(2025, 1, 1), hm(6, 0), at(2025, 12, 31), hm(6, 0)},
          {"end", 4, dayOfYearOne(30), hm(6, 0), dayOfYearOne(31), hm(6, 0)}},
         every(at(2026, 1, 1, 6, 0), 1440, 365),
         "1/30 end, 1/31 end, 3/30 easter end, 3/31 easter end, 4/1 easter, 4/2 easter, 4/30 end, "
         "5/30 end, 5/31 end, 6/30 end, 7/30 end, 7/31 end, 8/30 end, 8/31 end, 9/30 end, "
         "10/30 end, 10/31 end, 11/30 end, 12/30 end, 12/31 end"},
        // Kinds 6 and up never run; the kind is the low seven bits.
        {"KindsSixAndUpAndOddSteps",
         {{"kind-6", 6, 0, 0, 0, 0},
          {"kind-127", 127, 0, 0, 0, 0},
          {"kind-128-is-0", 128, 0, 0, 0, 0},
          {"negative-repeat", 2, 0, hm(9, 0), 0, hm(9, 40), -20},
          {"huge-repeat", 2, 0, hm(9, 0), 0, hm(9, 40), 32767}},
         every(at(2026, 12, 8, 9, 0), 1, 3),
         "09:00 kind-128-is-0 negative-repeat huge-repeat, 09:01 kind-128-is-0, "
         "09:02 kind-128-is-0"},
        // A silence period that ends before it starts is never in force.
        {"SilenceOfADay",
         {{"minutely", 0, 0, 0, 0, 0},
          {"", 2, 0, hm(12, 0), 0, hm(13, 0)},
          {"", 2, 0, hm(22, 0), 0, hm(6, 0)}},
         every(at(2026, 12, 8, 11, 58), 1, 64),
         "11:58 minutely, 11:59 minutely, 13:01 minutely",
         "Task scheduling is stopped."},
        // Tuesdays, the 24th to 26th of each month, 31 December 2026 10:00 to 11:00.
        {"SilenceOfAWeekDayDaysOfTheMonthAndADate",
         {{"minutely", 0, 0, 0, 0, 0},
          {"", 3, dayOfYearOne(2), hm(0, 0), 0, hm(23, 59)},
          {"", 4, dayOfYearOne(24), hm(0, 0), dayOfYearOne(26), hm(23, 59)},
          {"", 5, at(2026, 12, 31), hm(10, 0), at(2026, 12, 31), hm(11, 0)}},
         {at(2026, 12, 7, 9, 0), at(2026, 12, 8, 9, 0), at(2026, 12, 9, 9, 0),
          at(2026, 12, 23, 9, 0), at(2026, 12, 24, 9, 0), at(2026, 12, 26, 9, 0),
          at(2026, 12, 27, 9, 0), at(2026, 12, 31, 10, 30), at(2026, 12, 31, 11, 1)},
         "12/7 09:00 minutely, 12/9 09:00 minutely, 12/23 09:00 minutely, 12/27 09:00 minutely, "
         "12/31 11:01 minutely"},
        {"SilenceAlways",
         {{"minutely", 0, 0, 0, 0, 0}, {"", 0, 0, 0, 0, 0}},
         {at(2026, 12, 27, 9, 0)},
         ""},
    };
}

class KindTest : public SchedulingTest, public ::testing::WithParamInterface<KindRow> {};

TEST_P(KindTest, LaunchesInTheMinutesItsWindowsName) {
    const KindRow& row = GetParam();
    for (const Window& w : row.windows) {
        if (w.name.empty())
            silence(w.interval, w.startDate, w.startTime, w.endDate, w.endTime);
        else
            task(w.name, w.interval, w.startDate, w.startTime, w.endDate, w.endTime, w.repeat);
    }
    EXPECT_EQ(launches(row.minutes), row.launches);
    EXPECT_TRUE(row.said.empty() || protocolHas(row.said)) << row.said;
}

INSTANTIATE_TEST_SUITE_P(SchedulingTest, KindTest, ::testing::ValuesIn(kindRows()),
                         [](const auto& info) { return info.param.kinds; });

TEST_F(SchedulingTest, EveryMinuteRunningTaskWithAndWithoutInterrupt) {
    const auto keep = task("keeps-running", 0, 0, 0, 0, 0, 0);
    const auto renew =
        task("renewed", 0, 0, 0, 0, 0, 0, [](TDataCtrl& d) { d.Table1Interupt.setBoolean(true); });
    EXPECT_THAT(pass(at(2026, 12, 8, 9, 0), false), ElementsAre("keeps-running", "renewed"));
    EXPECT_THAT(pass(at(2026, 12, 8, 9, 1), false), ElementsAre("renewed"));
    EXPECT_EQ(code(keep), 2);
    EXPECT_EQ(code(renew), 2);
    EXPECT_TRUE(protocolHas("Execution of <renewed> is interrupted by program."));
}

TEST_F(SchedulingTest, StopCheckEndsAnInterruptibleTaskAfterItsWindow) {
    const auto monthly = task("monthly", 4, dayOfYearOne(10), hm(8, 0), dayOfYearOne(20), hm(9, 0),
                              0, [](TDataCtrl& d) { d.Table1Interupt.setBoolean(true); });
    runNow(monthly);
    pass(at(2026, 12, 19, 10, 0), false); // day 19 is before the last day: no stop
    EXPECT_EQ(code(monthly), 2);
    pass(at(2026, 12, 20, 8, 59), false);
    EXPECT_EQ(code(monthly), 2);
    pass(at(2026, 12, 20, 9, 1), false);
    EXPECT_EQ(code(monthly), 4);
}

TEST_F(SchedulingTest, StoppedTasksAndLaunchConditions) {
    task("stopped", 0, 0, 0, 0, 0, 0, [](TDataCtrl& d) { d.Table1Stopped.setBoolean(true); });
    task("blank-condition", 0, 0, 0, 0, 0, 0,
         [](TDataCtrl& d) { d.Table1StartCondition.setString("   "); });
    task("false-condition", 0, 0, 0, 0, 0, 0,
         [](TDataCtrl& d) { d.Table1StartCondition.setString("GT(0)"); });
    task("malformed", 0, 0, 0, 0, 0, 0,
         [](TDataCtrl& d) { d.Table1StartCondition.setString("GT(("); });
    task("true-condition", 0, 0, 0, 0, 0, 0,
         [](TDataCtrl& d) { d.Table1StartCondition.setString("gt(1)|gt(0)"); });
    EXPECT_THAT(pass(at(2026, 12, 8, 9, 0)), ElementsAre("blank-condition", "true-condition"));
    // What holds the malformed one back is said once per text, not once a minute; the stopped
    // and the false ones are the operator's own settings and stay silent.
    pass(at(2026, 12, 8, 9, 1));
    EXPECT_EQ(protocolLines("The launch condition of <malformed> cannot be read: GT(("), 1);
    EXPECT_EQ(protocolLines("<stopped>") + protocolLines("<false-condition>"), 0);
}

TEST_F(SchedulingTest, ASilencePeriodAddedByAnotherProcessMidPassSilencesTheRestOfIt) {
    task("first", 0, 0, 0, 0, 0, 0);
    task("second", 0, 0, 0, 0, 0, 0);
    processes.onLaunch = [this] {
        processes.onLaunch = nullptr;
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open((tables() + "/SYSEXCPT.DB").c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "INSERT INTO SYSEXCPT(Interval) VALUES (0)", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(other);
    };
    EXPECT_THAT(pass(at(2026, 12, 8, 9, 0)), ElementsAre("first"));
    EXPECT_TRUE(protocolHas("Task scheduling is stopped."));
}

class WaitingTest : public SchedulingTest {
  protected:
    std::int32_t holder = 0, waiter = 0;
    void SetUp() override {
        SchedulingTest::SetUp();
        addResource(1, hm(0, 5));
        addResource(2, hm(0, 20));
        holder = task("holder", 2, 0, hm(0, 0), 0, hm(0, 0), 0,
                      [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b11); });
        waiter = task("waiter", 2, 0, hm(10, 0), 0, hm(10, 0), 0, [](TDataCtrl& d) {
            d.Table1Conflicts.setInteger(0b11);
            d.Table1WaitRes.setBoolean(true);
        });
        clock.value = at(2026, 12, 8, 9, 0);
        runNow(holder); // holds resources 1 and 2
    }
};

// Also when every reading of the clock during the pass is four milliseconds later.
class WaitLengthTest : public WaitingTest, public ::testing::WithParamInterface<double> {};

TEST_P(WaitLengthTest, GivesUpAfterTheLongestWait) {
    clock.creepSeconds = GetParam();
    EXPECT_TRUE(pass(at(2026, 12, 8, 10, 0), false).empty());
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 19), false);
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 20), false);
    EXPECT_EQ(code(waiter), 10);
    EXPECT_TRUE(protocolHas("Waiting time of <waiter> is over."));
}

INSTANTIATE_TEST_SUITE_P(SchedulingTest, WaitLengthTest, ::testing::Values(0.0, 0.004));

TEST_F(WaitingTest, LaunchesWhenFreedEvenInSilence) {
    pass(at(2026, 12, 8, 10, 0), false);
    silence(0, 0, 0, 0, 0);
    processes.exit(1, 0);
    clock.value = at(2026, 12, 8, 10, 3);
    scheduler->Timer1Timer();
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 4), false), ElementsAre("waiter"));
    EXPECT_EQ(code(waiter), 2);
    select(waiter);
    EXPECT_EQ(dm().Table1WaitBeginning.asDateTime(), 0);
}

// Resources free, every slot taken: the cleared beginning is stored by the task's own turn.
TEST_F(WaitingTest, FreedResourcesWithoutAFreeSlotClearTheBeginning) {
    pass(at(2026, 12, 8, 10, 0), false);
    processes.exit(1, 0);
    scheduler->Timer1Timer();
    select(task("filler", 6, 0, 0, 0, 0, 0));
    while (scheduler->RunningTasks.freeSlot() != 0)
        scheduler->RunNowClick();
    pass(at(2026, 12, 8, 10, 1), false);
    dm().Table1.refresh(); // what the file holds
    select(waiter);
    EXPECT_EQ(dm().Table1EndCode.asFloat(), 7);
    EXPECT_EQ(dm().Table1WaitBeginning.asDateTime(), 0);
}

TEST_F(WaitingTest, AWaitAcrossMidnightEndsAfterTheLongestWait) {
    // The wait began at 23:50; twenty minutes later it is over, on the next day.
    dm().Table1.gotoBookmark(0);
    select(waiter);
    dm().Table1.edit();
    dm().Table1EndCode.setFloat(7);
    dm().Table1LastDate.setDateTime(at(2026, 12, 8));
    dm().Table1WaitBeginning.setDateTime(hm(23, 50));
    dm().Table1.post();
    pass(at(2026, 12, 9, 0, 5), false);
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 9, 0, 10), false);
    EXPECT_EQ(code(waiter), 10);
}

TEST_F(WaitingTest, TieBreakInTableOrder) {
    const auto second = task("second-waiter", 2, 0, hm(10, 0), 0, hm(10, 0), 0, [](TDataCtrl& d) {
        d.Table1Conflicts.setInteger(0b1);
        d.Table1WaitRes.setBoolean(true);
    });
    pass(at(2026, 12, 8, 10, 0), false);
    EXPECT_EQ(code(second), 7);
    processes.exit(1, 0);
    scheduler->Timer1Timer();
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 1), false), ElementsAre("waiter"));
    EXPECT_EQ(code(second), 7);
}

// Another program holding a lock on the tables: a pass that cannot read them launches from the
// tables as it last read them and says so once per episode; one that cannot write launches all the
// same and records the statuses when the lock goes. Nothing waits for the lock longer than the
// busy timeout.
TEST_F(SchedulingTest, AHeldLockCostsNoLaunchAndNoStatus) {
    const auto id = task("minutely", 0, 0, 0, 0, 0, 0);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((tables() + "/Vektrin.db").c_str(), &other), SQLITE_OK);
    const auto hold = [&](const char* sql) {
        ASSERT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    };
    const std::string said = "The scheduling pass could not use the tables: database is locked.";
    const struct {
        const char* lock; // held over two passes
        int launches;     // in them
        int lines;        // of the episode, in all
    } cases[] = {
        {"BEGIN EXCLUSIVE", 2, 1}, // nothing can be read: launched from the last read
        {"BEGIN IMMEDIATE; UPDATE Vektrin SET AppName = AppName", 2, 2}, // reads go on
    };
    int minute = 0;
    for (const auto& c : cases) {
        hold(c.lock);
        size_t launched = pass(at(2026, 12, 8, 10, minute++)).size();
        launched += pass(at(2026, 12, 8, 10, minute++)).size();
        EXPECT_EQ(launched, static_cast<size_t>(c.launches)) << c.lock;
        hold("COMMIT");
        EXPECT_EQ(protocolLines(said), c.lines) << c.lock;
        EXPECT_THAT(pass(at(2026, 12, 8, 10, minute++)), ElementsAre("minutely")) << c.lock;
        EXPECT_EQ(code(id), 1) << c.lock;
    }
    EXPECT_FALSE(dm().Table1.hasDeferred()); // what was kept in memory reached the file
    sqlite3_close(other);
}

// Due while every slot is taken: the task waits for one, in the order the tasks fell due, is not
// queued twice, takes the first slot that frees without waiting for a pass, and gives up after
// SlotWaitMinutes with a line. The pass itself shows no "Too many tasks" box.
TEST_F(SchedulingTest, TasksDueWhileEverySlotIsTakenWaitForOneInTurn) {
    settings->write("Schedule", "MaxRunning", "2");
    settings->write("Schedule", "SlotWaitMinutes", "2");
    scheduler->FormClose();
    scheduler.reset();
    start();
    for (const char* name : {"a", "b", "c", "d"})
        task(name, 0, 0, 0, 0, 0, 0);
    const auto waits = [&](const char* name) {
        return protocolLines("No free slot for <" + std::string(name) + ">; it waits for one.");
    };
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 0), false), ElementsAre("a", "b"));
    EXPECT_EQ(waits("c") + waits("d"), 2);
    EXPECT_TRUE(scheduler->tasksWaitForSlots());
    size_t seen = processes.launches.size();
    processes.exit(1, 0); // a ends: c, first to fall due, takes its slot at once
    scheduler->slotCheck();
    EXPECT_THAT(processes.namesSince(seen), ElementsAre("c"));
    // 10:01: b and c still run; a falls due behind d, and d, due again, is not queued twice.
    seen = processes.launches.size();
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 1), false), ElementsAre());
    EXPECT_EQ(waits("d"), 1);
    EXPECT_EQ(waits("a"), 1);
    processes.exit(2, 0);
    processes.exit(3, 0);
    scheduler->slotCheck();
    EXPECT_THAT(processes.namesSince(seen), ElementsAre("d", "a"));
    EXPECT_FALSE(scheduler->tasksWaitForSlots());
    // Nobody ends for three minutes: b and c wait, and give up after two.
    for (int minute = 2; minute <= 5; ++minute) {
        pass(at(2026, 12, 8, 10, minute), false);
        clock.value += 1.0 / 86400;
        scheduler->Timer1Timer();
    }
    EXPECT_EQ(protocolLines("No slot came free for <b> within 2 minutes; its launch at "
                            "08.12.2026 10:02:00 is skipped."),
              1);
    EXPECT_TRUE(port.messages.empty());
    // What vektrinctl due --missed lists after the scheduler has gone.
    const auto held = HeldLaunches::read(HeldLaunches::fileFor(dir.file("state"), tables()));
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.front(), (HeldLaunch{2, PassHistory::minuteOf(at(2026, 12, 8, 10, 2)),
                                        std::string(held::NoSlot)}));
}

TEST_F(SchedulingTest, PauseMarksLaunchesThatFellIntoIt) {
    const auto day = task("ten-to-six", 2, 0, hm(10, 0), 0, hm(18, 0), 0);
    const auto later = task("at-noon", 2, 0, hm(12, 0), 0, hm(18, 0), 0);
    const auto hourly = task("hourly", 1, 0, hm(0, 0), 0, hm(0, 0), 60);
    const auto stopped = task("stopped", 2, 0, hm(10, 0), 0, hm(18, 0), 0,
                              [](TDataCtrl& d) { d.Table1Stopped.setBoolean(true); });
    clock.value = at(2026, 12, 8, 9, 58);
    scheduler->beginPause(PauseWindow::Tasks);
    clock.value = at(2026, 12, 8, 10, 3);
    scheduler->endPause(PauseWindow::Tasks);
    scheduler->Timer1Timer();
    EXPECT_EQ(code(day), 13);
    EXPECT_EQ(code(later), 0);
    EXPECT_EQ(code(hourly), 13);
    EXPECT_EQ(code(stopped), 0);
    EXPECT_EQ(scheduler->PauseStart, 0);
    EXPECT_EQ(protocolLines("The launch of <ten-to-six> at 08.12.2026 10:00:00 fell into a pause "
                            "of scheduling."),
              1);
    EXPECT_EQ(protocolLines("<at-noon>") + protocolLines("<stopped>"), 0);
    // The next pass turns 13 into 14 and launches only at the next due moment.
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 5)), ElementsAre());
    EXPECT_EQ(code(day), 14);
}

// Each minute of the pause is read on its own date: the next day's launch fell into it.
TEST_F(SchedulingTest, APauseAcrossMidnightMarksTheNextDaysLaunch) {
    const auto day = task("midnight", 2, 0, hm(0, 0), 0, hm(0, 30), 0);
    clock.value = at(2026, 12, 8, 23, 58);
    scheduler->beginPause(PauseWindow::ProtocolShow);
    clock.value = at(2026, 12, 9, 0, 3);
    scheduler->endPause(PauseWindow::ProtocolShow);
    scheduler->Timer1Timer();
    EXPECT_EQ(code(day), 13);
}

TEST_F(SchedulingTest, ClockGoingBackNeverRepeatsAFixedTimeLaunch) {
    task("daily-0230", 2, 0, hm(2, 30), 0, hm(2, 30), 0);
    task("minutely", 0, 0, 0, 0, 0, 0);
    // Summer time ends: 03:00 becomes 02:00 again.
    const auto hour = every(at(2026, 10, 25, 2, 0), 1, 60);
    const std::string both = launches(hour) + launches(hour);
    EXPECT_EQ(test::occurrences(both, "daily"), 1);
    EXPECT_EQ(test::occurrences(both, "minutely"), 120);
    // A large step back is a new time: the daily task runs at its time again.
    EXPECT_THAT(pass(at(2026, 10, 20, 2, 30)), ElementsAre("daily-0230", "minutely"));
}

TEST_F(SchedulingTest, TimerAlignmentOverTwoDaysWithJitter) {
    // Its launch condition is evaluated once per pass, and every evaluation leaves a trace line.
    task("counted", 0, 0, 0, 0, 0, 0, [](TDataCtrl& d) { d.Table1StartCondition.setString("0"); });
    std::mt19937 random(7);
    std::uniform_int_distribution<int> jitter(-1500, 1500);
    clock.value = at(2026, 12, 8, 0, 0, 0);
    while (!port.timer2) { // Timer1 ticks until it starts the scheduling timer
        clock.advanceSeconds(0.25);
        scheduler->Timer1Timer();
    }
    const DateTime end = at(2026, 12, 10);
    while (clock.value < end) {
        const int delay = port.timer2Delays.back() + jitter(random);
        clock.advanceSeconds(std::max(delay, 1) / 1000.0);
        scheduler->Timer2Timer();
    }
    std::map<std::string, int> passesPerMinute;
    for (const auto& line :
         test::readFile(dir.file("Vektrin.log")) | std::views::split(std::string_view("\r\n"))) {
        std::string l(line.begin(), line.end());
        if (l.find("Input = ") != std::string::npos) passesPerMinute[l.substr(0, 16)]++;
    }
    EXPECT_GE(passesPerMinute.size(), 2u * 1440 - 1);
    for (const auto& [minute, count] : passesPerMinute)
        EXPECT_EQ(count, 1) << minute;
}

} // namespace
} // namespace vektrin
