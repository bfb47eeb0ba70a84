#include "support/engine_fixture.h"
#include "support/scoped_env.h"

#include <gmock/gmock.h>

namespace vektrin {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

DateTime at(int mo, int d, int h, int mi) {
    return *tryEncodeDate(2026 + (mo < 6), mo, d) + *tryEncodeTime(h, mi, 1);
}

// How the scheduler spent the gap between two passes.
enum class Gap { Down, Asleep, StepForward, Editor };

struct GapCase {
    const char* name;
    int kind;
    int startH, startM, endH, endM, repeat, weekday;
    bool catchUp;
    DateTime lastPass, nextPass;
    Gap how;
    const char* expected; // the made-up moment, "" when nothing is launched at nextPass
    const char* catchUpDays = nullptr;
    const char* zone = nullptr;
    bool silenceAt9 = false;
    const char* condition = "";
};

class CatchUpTest : public test::EngineTest, public ::testing::WithParamInterface<GapCase> {
  protected:
    std::vector<std::string> pass(DateTime moment) {
        const size_t before = processes.launches.size();
        clock.value = moment;
        scheduler->Timer2Timer();
        const auto launched = processes.namesSince(before);
        processes.endRunning();
        scheduler->Timer1Timer();
        return launched;
    }
};

TEST_P(CatchUpTest, GapAgainstLaunches) {
    const GapCase& c = GetParam();
    test::ScopedEnv zone("TZ", c.zone ? c.zone : "UTC");
    if (c.catchUpDays) settings->write("Schedule", "CatchUpDays", c.catchUpDays);
    clock.value = c.lastPass - 1.0 / 1440;
    clock.bootSeconds = 1000;
    start();
    addTask("task", [&](TDataCtrl& d) {
        d.Table1Interval.setInteger(c.kind);
        d.Table1StartDate.setDateTime(*Schedule::dayDate(c.weekday));
        d.Table1StartTime.setDateTime(*tryEncodeTime(c.startH, c.startM, 0));
        d.Table1EndTime.setDateTime(*tryEncodeTime(c.endH, c.endM, 0));
        d.Table1RepeatInterval.setInteger(c.repeat);
        d.Table1CatchUp.setBoolean(c.catchUp);
        d.Table1StartCondition.setString(c.condition);
    });
    if (c.silenceAt9) {
        dm().Table3.append();
        dm().Table3Interval.setInteger(2);
        dm().Table3StartTime.setDateTime(*tryEncodeTime(8, 45, 0));
        dm().Table3EndTime.setDateTime(*tryEncodeTime(9, 15, 0));
        dm().Table3.post();
    }
    pass(c.lastPass);
    const double gapSeconds = (c.nextPass - c.lastPass) * SecondsPerDay;
    switch (c.how) {
    case Gap::Down: // a power-off: a new scheduler reads the last pass from its file
        scheduler->FormClose();
        clock.value = c.nextPass - 2.0 / 1440;
        clock.bootSeconds = 5;
        start();
        break;
    case Gap::Asleep:
        *clock.bootSeconds += gapSeconds;
        break;
    case Gap::StepForward:
        break;
    case Gap::Editor:
        clock.value = c.lastPass + 30.0 / SecondsPerDay;
        scheduler->beginPause(PauseWindow::Tasks);
        clock.value = c.nextPass - 30.0 / SecondsPerDay;
        scheduler->endPause(PauseWindow::Tasks);
        *clock.bootSeconds += gapSeconds;
        break;
    }
    const size_t lines = protocol().size();
    const auto launched = pass(c.nextPass);
    // An every-minute task is due at the pass anyway: that launch is no make-up.
    if (*c.expected || c.kind == 0)
        EXPECT_THAT(launched, ElementsAre("task"));
    else
        EXPECT_THAT(launched, IsEmpty());
    int madeUp = 0, steps = 0;
    for (const std::string& line : protocolSince(lines)) {
        madeUp += line == std::string("Missed launch of <task> at ") + c.expected + " is made up.";
        steps += line.starts_with("The clock moved forward from ");
    }
    EXPECT_EQ(madeUp, *c.expected ? 1 : 0);
    EXPECT_EQ(steps, c.how == Gap::StepForward ? 1 : 0);
}

// Monday 2026-12-07; passes at second 1.
INSTANTIATE_TEST_SUITE_P(
    Gaps, CatchUpTest,
    ::testing::Values(
        GapCase{"DailyOverAnHour", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 30), at(12, 7, 10, 15),
                Gap::Down, "07.12.2026 09:00:00"},
        GapCase{"DailyWithoutCatchUp", 2, 9, 0, 9, 0, 0, 1, false, at(12, 7, 8, 30),
                at(12, 7, 10, 15), Gap::Down, ""},
        GapCase{"DailyOverThreeDaysOnce", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 0),
                at(12, 10, 12, 0), Gap::Down, "10.12.2026 09:00:00"},
        GapCase{"HourlyWindowLatestStep", 1, 0, 10, 0, 50, 20, 1, true, at(12, 7, 10, 55),
                at(12, 7, 13, 5), Gap::Down, "07.12.2026 12:50:00"},
        GapCase{"WeeklyOverAWeek", 3, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 0), at(12, 14, 8, 30),
                Gap::Down, "07.12.2026 09:00:00"},
        GapCase{"OlderThanCatchUpDays", 3, 9, 0, 9, 0, 0, 1, true, at(12, 7, 10, 0),
                at(12, 20, 10, 0), Gap::Down, "", "2"},
        GapCase{"AcrossMidnight", 2, 23, 30, 23, 30, 0, 1, true, at(12, 7, 23, 0), at(12, 8, 0, 30),
                Gap::Asleep, "07.12.2026 23:30:00"},
        GapCase{"SkippedHourOfSummerTime", 2, 2, 30, 2, 30, 0, 1, true, at(3, 28, 1, 50),
                at(3, 28, 3, 10), Gap::Asleep, "", nullptr, "Europe/Berlin"},
        GapCase{"BeforeSummerTime", 2, 1, 55, 1, 55, 0, 1, true, at(3, 28, 1, 50), at(3, 28, 3, 10),
                Gap::Asleep, "28.03.2027 01:55:00", nullptr, "Europe/Berlin"},
        GapCase{"InSilence", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 30), at(12, 7, 10, 15),
                Gap::Asleep, "", nullptr, nullptr, true},
        GapCase{"EditorOpen", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 55), at(12, 7, 9, 5),
                Gap::Editor, ""},
        GapCase{"ConditionFalse", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 55), at(12, 7, 9, 5),
                Gap::Asleep, "", nullptr, nullptr, false, "0"},
        GapCase{"StepForward", 2, 9, 0, 9, 0, 0, 1, true, at(12, 7, 8, 55), at(12, 7, 10, 55),
                Gap::StepForward, "07.12.2026 09:00:00"},
        GapCase{"EveryMinuteIsDueAnyway", 0, 0, 0, 0, 0, 0, 1, true, at(12, 7, 8, 55),
                at(12, 7, 9, 5), Gap::Asleep, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The clock steps +2 h and then -1 h: the minutes between are scheduled once, a launch already
// made (or made up) is not made again, and each step is said.
class ClockStepTest : public test::EngineTest {};

TEST_F(ClockStepTest, ForwardThenBackLosesNoLaunchAndRepeatsNone) {
    test::ScopedEnv zone("TZ", "UTC");
    clock.value = at(12, 7, 9, 58);
    clock.bootSeconds = 100;
    start();
    for (const auto& [name, h, m] : {std::tuple{"at-1000", 10, 0},
                                     {"at-1105", 11, 5},
                                     {"at-1107", 11, 7},
                                     {"at-1230", 12, 30},
                                     {"made-up-1106", 11, 6}})
        addTask(name, [&](TDataCtrl& d) {
            d.Table1Interval.setInteger(2);
            d.Table1StartTime.setDateTime(*tryEncodeTime(h, m, 0));
            d.Table1EndTime.setDateTime(*tryEncodeTime(h, m, 0));
            d.Table1CatchUp.setBoolean(std::string_view(name).starts_with("made-up"));
        });
    std::map<std::string, int> runs;
    const auto passes = [&](DateTime from, int minutes) {
        for (int i = 0; i < minutes; ++i) {
            const size_t before = processes.launches.size();
            clock.value = from + i / 1440.0;
            scheduler->Timer2Timer();
            for (const auto& name : processes.namesSince(before))
                ++runs[name];
            processes.endRunning();
            scheduler->Timer1Timer();
            *clock.bootSeconds += 60;
        }
    };
    passes(at(12, 7, 10, 0), 2);  // 10:00, 10:01
    passes(at(12, 7, 12, 2), 3);  // +2 h: 12:02 .. 12:04
    passes(at(12, 7, 11, 5), 90); // -1 h: 11:05 .. 12:34
    EXPECT_EQ(
        runs,
        (std::map<std::string, int>{
            {"at-1000", 1}, {"at-1105", 1}, {"at-1107", 1}, {"at-1230", 1}, {"made-up-1106", 1}}));
    EXPECT_TRUE(protocolHas("The clock moved forward from 07.12.2026 10:02:01 to 07.12.2026 "
                            "12:02:01."));
    EXPECT_TRUE(protocolHas("The clock moved back from 07.12.2026 12:05:01 to 07.12.2026 "
                            "11:05:01."));
}

} // namespace
} // namespace vektrin
