#include "support/engine_fixture.h"

#include <gmock/gmock.h>
#include <random>
#include <ranges>
#include <sqlite3.h>

namespace vektrin {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s);
}
DateTime dayOfJanuaryYear1(int d) {
    return *tryEncodeDate(1, 1, d);
}
DateTime hm(int h, int m, int s = 0) {
    return *tryEncodeTime(h, m, s);
}

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
        std::vector<std::string> launched;
        for (size_t i = before; i < processes.launches.size(); ++i)
            launched.push_back(processes.launches[i].commandLine.substr(5)); // "prog-"
        if (endProcesses) {
            for (auto& [h, p] : processes.procs)
                if (p.state == ExitState::Running) p.state = ExitState::Exited;
            clock.value += 1.0 / 86400;
            scheduler->Timer1Timer();
        }
        return launched;
    }

    // "HH:MM name" for every launch between from and from + minutes.
    std::vector<std::string> run(DateTime from, int minutes) {
        std::vector<std::string> out;
        for (int i = 0; i < minutes; ++i) {
            const DateTime m = from + i / 1440.0;
            const TimeParts t = decodeTime(m + 1e-9);
            char stamp[8];
            std::snprintf(stamp, sizeof stamp, "%02d:%02d", t.hour, t.minute);
            for (const auto& name : pass(m))
                out.push_back(std::string(stamp) + " " + name);
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

TEST_F(SchedulingTest, EverydayWindowWithRepeatStep) {
    task("half-hourly", 2, 0, hm(8, 0), 0, hm(17, 0), 30);
    task("once", 2, 0, hm(8, 0), 0, hm(17, 0), 0);
    task("late-start", 2, 0, hm(8, 0, 30), 0, hm(9, 0), 0);
    const auto launches = run(at(2026, 12, 8), 1440);
    std::vector<std::string> expected;
    for (int m = 8 * 60; m <= 17 * 60; m += 30) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02d:%02d half-hourly", m / 60, m % 60);
        expected.push_back(buf);
        if (m == 8 * 60) expected.push_back("08:00 once");
    }
    expected.insert(expected.begin() + 2, "08:01 late-start");
    EXPECT_THAT(launches, ElementsAreArray(expected));
}

TEST_F(SchedulingTest, HourlyWindowEveryHour) {
    task("hourly", 1, 0, hm(0, 15), 0, hm(0, 45), 10);
    const auto launches = run(at(2026, 12, 8, 10, 0), 120);
    EXPECT_THAT(launches,
                ElementsAre("10:15 hourly", "10:25 hourly", "10:35 hourly", "10:45 hourly",
                            "11:15 hourly", "11:25 hourly", "11:35 hourly", "11:45 hourly"));
}

TEST_F(SchedulingTest, WeeklyMonthlyAndYearlyDays) {
    task("wednesday", 3, dayOfJanuaryYear1(3), hm(6, 0), 0, hm(6, 0), 0);
    // Day 10 shows as Wednesday (10 modulo 7) in every view, and runs so.
    task("day-ten", 3, dayOfJanuaryYear1(10), hm(6, 0), 0, hm(6, 0), 0);
    task("tenth-to-twelfth", 4, dayOfJanuaryYear1(10), hm(6, 0), dayOfJanuaryYear1(12), hm(6, 0),
         0);
    task("tenth-to-fifth", 4, dayOfJanuaryYear1(10), hm(6, 0), dayOfJanuaryYear1(5), hm(6, 0), 0);
    task("in-2020", 5, at(2020, 1, 1), hm(6, 0), at(2020, 12, 31), hm(6, 0), 0);
    task("christmas", 5, at(2026, 12, 24), hm(6, 0), at(2026, 12, 26), hm(6, 0), 0);
    std::vector<std::string> launches;
    for (int day = 1; day <= 31; ++day) {
        const DateTime d = at(2026, 12, day, 6, 0);
        for (const auto& name : pass(d))
            launches.push_back(std::to_string(day) + " " + name);
    }
    // December 2026: Wednesdays are the 2nd, 9th, 16th, 23rd and 30th.
    EXPECT_THAT(launches, ElementsAre("2 wednesday", "2 day-ten", "9 wednesday", "9 day-ten",
                                      "10 tenth-to-twelfth", "11 tenth-to-twelfth",
                                      "12 tenth-to-twelfth", "16 wednesday", "16 day-ten",
                                      "23 wednesday", "23 day-ten", "24 christmas", "25 christmas",
                                      "26 christmas", "30 wednesday", "30 day-ten"));
}

TEST_F(SchedulingTest, AYearOfMorningsForTheYearlyAndMonthlyKinds) {
    task("easter-week", 5, at(2026, 3, 30), hm(6, 0), at(2026, 4, 2), hm(6, 0), 0);
    task("last-year", 5, at(2025, 1, 1), hm(6, 0), at(2025, 12, 31), hm(6, 0), 0);
    task("month-end", 4, dayOfJanuaryYear1(30), hm(6, 0), dayOfJanuaryYear1(31), hm(6, 0), 0);
    std::map<std::string, std::vector<std::string>> days;
    for (DateTime d = at(2026, 1, 1); d < at(2027, 1, 1); d += 1) {
        for (const auto& name : pass(d + hm(6, 0))) {
            const DateParts p = decodeDate(d);
            days[name].push_back(std::to_string(p.month) + "/" + std::to_string(p.day));
        }
    }
    EXPECT_THAT(days["easter-week"], ElementsAre("3/30", "3/31", "4/1", "4/2"));
    EXPECT_TRUE(days["last-year"].empty());
    // Every month has a 30th but February; seven months have a 31st.
    EXPECT_EQ(days["month-end"].size(), 11u + 7u);
}

TEST_F(SchedulingTest, KindsSixAndUpAndTheLowSevenBits) {
    task("kind-6", 6, 0, 0, 0, 0, 0);
    task("kind-127", 127, 0, 0, 0, 0, 0);
    task("kind-128-is-0", 128, 0, 0, 0, 0, 0);
    task("negative-repeat", 2, 0, hm(9, 0), 0, hm(9, 40), -20);
    task("huge-repeat", 2, 0, hm(9, 0), 0, hm(9, 40), 32767);
    const auto launches = run(at(2026, 12, 8, 9, 0), 3);
    EXPECT_THAT(launches,
                ElementsAre("09:00 kind-128-is-0", "09:00 negative-repeat", "09:00 huge-repeat",
                            "09:01 kind-128-is-0", "09:02 kind-128-is-0"));
}

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
    const auto monthly = task("monthly", 4, dayOfJanuaryYear1(10), hm(8, 0), dayOfJanuaryYear1(20),
                              hm(9, 0), 0, [](TDataCtrl& d) { d.Table1Interupt.setBoolean(true); });
    select(monthly);
    scheduler->RunNowClick();
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

TEST_F(SchedulingTest, SilencePeriodsOfEachKind) {
    task("minutely", 0, 0, 0, 0, 0, 0);
    silence(2, 0, hm(12, 0), 0, hm(13, 0));
    silence(2, 0, hm(22, 0), 0, hm(6, 0)); // end before start: never silent
    const auto launches = run(at(2026, 12, 8, 11, 58), 64);
    EXPECT_EQ(launches.front(), "11:58 minutely");
    EXPECT_EQ(launches[1], "11:59 minutely");
    EXPECT_EQ(launches[2], "13:01 minutely");
    EXPECT_EQ(launches.size(), 3u);
    EXPECT_TRUE(protocolHas("Task scheduling is stopped."));
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

TEST_F(SchedulingTest, SilenceOfWeekMonthYearAndAlways) {
    task("minutely", 0, 0, 0, 0, 0, 0);
    silence(3, dayOfJanuaryYear1(2), hm(0, 0), 0, hm(23, 59)); // Tuesdays
    silence(4, dayOfJanuaryYear1(24), hm(0, 0), dayOfJanuaryYear1(26), hm(23, 59));
    silence(5, at(2026, 12, 31), hm(10, 0), at(2026, 12, 31), hm(11, 0));
    std::vector<std::string> days;
    for (int day : {7, 8, 9, 23, 24, 26, 27})
        days.push_back(std::to_string(day) + ":" +
                       std::to_string(pass(at(2026, 12, day, 9, 0)).size()));
    days.push_back("31/10:30:" + std::to_string(pass(at(2026, 12, 31, 10, 30)).size()));
    days.push_back("31/11:01:" + std::to_string(pass(at(2026, 12, 31, 11, 1)).size()));
    EXPECT_THAT(days, ElementsAre("7:1", "8:0", "9:1", "23:1", "24:0", "26:0", "27:1", "31/10:30:0",
                                  "31/11:01:1"));
    silence(0, 0, 0, 0, 0);
    EXPECT_TRUE(pass(at(2026, 12, 27, 9, 0)).empty());
}

class WaitingTest : public SchedulingTest {
  protected:
    std::int32_t holder = 0, waiter = 0;
    void SetUp() override {
        SchedulingTest::SetUp();
        Table& r = dm().Table2;
        for (auto [no, wait] : {std::pair{1, hm(0, 5)}, std::pair{2, hm(0, 20)}}) {
            r.append();
            dm().Table2ResourceNo.setInteger(no);
            dm().Table2MaxWait.setDateTime(wait);
            r.post();
        }
        scheduler->resourceTable.load(r);
        holder = task("holder", 2, 0, hm(0, 0), 0, hm(0, 0), 0,
                      [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b11); });
        waiter = task("waiter", 2, 0, hm(10, 0), 0, hm(10, 0), 0, [](TDataCtrl& d) {
            d.Table1Conflicts.setInteger(0b11);
            d.Table1WaitRes.setBoolean(true);
        });
        clock.value = at(2026, 12, 8, 9, 0);
        select(holder);
        scheduler->RunNowClick(); // holds resources 1 and 2
    }
};

TEST_F(WaitingTest, GivesUpAfterTheLongestWait) {
    EXPECT_TRUE(pass(at(2026, 12, 8, 10, 0), false).empty());
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 19), false);
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 20), false);
    EXPECT_EQ(code(waiter), 10);
    EXPECT_TRUE(protocolHas("Waiting time of <waiter> is over."));
}

TEST_F(WaitingTest, AWaitEndsOnTimeWhileTheClockMovesDuringThePass) {
    clock.creepSeconds = 0.004; // every reading of the clock is four milliseconds later
    pass(at(2026, 12, 8, 10, 0), false);
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 19), false);
    EXPECT_EQ(code(waiter), 7);
    pass(at(2026, 12, 8, 10, 20), false);
    EXPECT_EQ(code(waiter), 10);
}

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
    const auto launchedSince = [&](size_t from) {
        std::vector<std::string> names;
        for (size_t i = from; i < processes.launches.size(); ++i)
            names.push_back(processes.launches[i].commandLine.substr(5));
        return names;
    };
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 0), false), ElementsAre("a", "b"));
    EXPECT_EQ(waits("c") + waits("d"), 2);
    EXPECT_TRUE(scheduler->tasksWaitForSlots());
    size_t seen = processes.launches.size();
    processes.exit(1, 0); // a ends: c, first to fall due, takes its slot at once
    scheduler->slotCheck();
    EXPECT_THAT(launchedSince(seen), ElementsAre("c"));
    // 10:01: b and c still run; a falls due behind d, and d, due again, is not queued twice.
    seen = processes.launches.size();
    EXPECT_THAT(pass(at(2026, 12, 8, 10, 1), false), ElementsAre());
    EXPECT_EQ(waits("d"), 1);
    EXPECT_EQ(waits("a"), 1);
    processes.exit(2, 0);
    processes.exit(3, 0);
    scheduler->slotCheck();
    EXPECT_THAT(launchedSince(seen), ElementsAre("d", "a"));
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
    auto first = run(at(2026, 10, 25, 2, 0), 60);
    // Summer time ends: 03:00 becomes 02:00 again.
    auto again = run(at(2026, 10, 25, 2, 0), 60);
    int daily = 0, minutely = 0;
    for (const auto& l : first)
        (l.find("daily") != std::string::npos ? daily : minutely)++;
    for (const auto& l : again)
        (l.find("daily") != std::string::npos ? daily : minutely)++;
    EXPECT_EQ(daily, 1);
    EXPECT_EQ(minutely, 120);
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
