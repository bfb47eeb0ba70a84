#include "support/engine_fixture.h"

#include <gmock/gmock.h>

namespace vektrin {
namespace {

using test::EngineTest;
using ::testing::ElementsAre;

class LaunchTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        start();
        scheduler->Timer1Timer(); // the start-up pause is consumed
    }
    std::vector<std::string> tail(size_t n) {
        auto lines = protocol();
        return std::vector<std::string>(lines.end() - static_cast<long>(std::min(n, lines.size())),
                                        lines.end());
    }
};

TEST_F(LaunchTest, RunNowStartsTheTaskWithItsExpandedCommandAndSettings) {
    clock.set(2024, 3, 7, 9, 5, 0);
    const auto id = addTask("report", [](TDataCtrl& d) {
        d.Table1Application.setString("make-report %tcy%-%TMM% --day=%TDD%");
        d.Table1AppDirectory.setString("/srv/reports");
        d.Table1Priority.setInteger(1);
        d.Table1RunType.setInteger(2);
        d.Table1Conflicts.setInteger(0b101);
    });
    runNow(id);
    ASSERT_EQ(processes.launches.size(), 1u);
    EXPECT_EQ(processes.launches[0].commandLine, "make-report 2024-03 --day=07");
    EXPECT_EQ(processes.launches[0].directory, "/srv/reports");
    EXPECT_EQ(processes.launches[0].priority, 1);
    EXPECT_EQ(processes.launches[0].runType, 2);
    EXPECT_EQ(code(id), 2);
    EXPECT_THAT(tail(1), ElementsAre("Executes <report>."));
    EXPECT_EQ(port.icons.back(), "XICON2");
    EXPECT_EQ(scheduler->RunningTasks.AppIndex(id), 1);
    EXPECT_EQ(scheduler->RunningTasks.CurrentUsedResources(), 0b101u);
    EXPECT_EQ(dm().Table1LastDate.asDateTime(), *tryEncodeDate(2024, 3, 7));
}

// Whatever fails between "Runs" being recorded and the process being there, the record ends in
// the launch-error state and no slot stays taken.
struct BrokenLaunch {
    const char* name;
    std::function<void(test::FakeProcesses&)> breakIt;
};

class BrokenLaunchTest : public LaunchTest, public ::testing::WithParamInterface<BrokenLaunch> {};

TEST_P(BrokenLaunchTest, NeverLeavesRunsWithoutAProcess) {
    const auto id = addTask("victim");
    select(id);
    GetParam().breakIt(processes);
    EXPECT_ANY_THROW(scheduler->RunNowClick());
    EXPECT_EQ(code(id), 12);
    EXPECT_FALSE(scheduler->RunningTasks.anyTaskRunning());
    EXPECT_EQ(scheduler->RunningTasks.freeSlot(), 1);
    EXPECT_EQ(processes.running(), 0);
}

INSTANTIATE_TEST_SUITE_P(Failures, BrokenLaunchTest,
                         ::testing::Values(BrokenLaunch{
                             "LaunchThrows",
                             [](test::FakeProcesses& p) { p.throwOnLaunch = true; }}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    LaunchFailure failure;
    int errorNumber;
    const char* text;
};

class LaunchFailureTest : public LaunchTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LaunchFailureTest, RecordsCodeTwelveAndShowsTheText) {
    const auto id = addTask("broken");
    select(id);
    processes.nextFailure = GetParam().failure;
    processes.nextErrno = GetParam().errorNumber;
    scheduler->RunNowClick();
    EXPECT_EQ(code(id), 12);
    EXPECT_THAT(tail(2), ElementsAre("Executes <broken>.",
                                     std::string("Launch error : ") + GetParam().text));
    EXPECT_EQ(port.messages.back(), GetParam().text);
    EXPECT_EQ(scheduler->RunningTasks.AppIndex(id), 0);
    EXPECT_FALSE(scheduler->RunningTasks.anyTaskRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LaunchFailureTest,
    ::testing::Values(
        FailureCase{LaunchFailure::ProgramNotFound, 2, "Program not found"},
        FailureCase{LaunchFailure::PathNotFound, 2, "Path to program not found"},
        FailureCase{LaunchFailure::BadExecutableFormat, 8, "Bad executable file format !"},
        FailureCase{LaunchFailure::BadStartupDirectory, 20, "Incorrect startup directory"},
        FailureCase{LaunchFailure::NotEnoughResources, 12,
                    "It is not enough resources for task execution !"},
        FailureCase{LaunchFailure::Other, 13, "Execution error with code 13"}));

TEST_F(LaunchTest, TwentyRunningTasksRefuseAnotherWithoutTouchingItsRecord) {
    const auto id = addTask("busy", [](TDataCtrl& d) { d.Table1EndCode.setFloat(5); });
    select(id);
    for (int i = 0; i < 20; ++i)
        scheduler->RunNowClick();
    EXPECT_EQ(processes.launches.size(), 20u);
    const auto other = addTask("one too many", [](TDataCtrl& d) { d.Table1EndCode.setFloat(11); });
    select(other);
    const size_t lines = protocol().size();
    EXPECT_EQ(scheduler->RunNowClick().outcome, RunOutcome::NoFreeSlot);
    EXPECT_EQ(port.messages.back(), "Too many tasks executes. Try later !!!");
    EXPECT_EQ(code(other), 11);
    EXPECT_EQ(protocol().size(), lines);
}

TEST_F(LaunchTest, BusyResourcesMakeTheTaskWaitOrSkip) {
    const auto holder = addTask("holder", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b10); });
    const auto waiter = addTask("waiter", [](TDataCtrl& d) {
        d.Table1Conflicts.setInteger(0b11);
        d.Table1WaitRes.setBoolean(true);
    });
    const auto skipper =
        addTask("skipper", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b110); });
    const auto free = addTask("free", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b1000); });
    std::vector<RunOutcome> outcomes;
    for (auto id : {holder, waiter, skipper, free})
        outcomes.push_back(runNow(id).outcome);
    EXPECT_THAT(outcomes, ElementsAre(RunOutcome::Launched, RunOutcome::SetWaiting,
                                      RunOutcome::SkippedResources, RunOutcome::Launched));
    EXPECT_EQ(code(holder), 2);
    EXPECT_EQ(code(waiter), 7);
    EXPECT_EQ(code(skipper), 8);
    EXPECT_EQ(code(free), 2);
    select(waiter);
    EXPECT_DOUBLE_EQ(dm().Table1WaitBeginning.asDateTime(), timePart(clock.now()));
    EXPECT_THAT(tail(4),
                ElementsAre("Executes <holder>.",
                            "Task <waiter> was set to waiting because of resources conflict.",
                            "Task execution <skipper> was skipped because of resources conflict.",
                            "Executes <free>."));
    EXPECT_EQ(processes.launches.size(), 2u);
}

TEST_F(LaunchTest, MonitoringRecordsTheExitAndFreesTheSlot) {
    const auto a = addTask("alpha");
    const auto b = addTask("beta");
    runNow(a);
    runNow(b);
    port.icons.clear();
    scheduler->Timer1Timer();
    EXPECT_TRUE(port.icons.empty()); // nothing ended: the icon is left alone

    processes.exit(1, 0);
    processes.exit(2, static_cast<std::int32_t>(0x80000001u));
    scheduler->Timer1Timer();
    EXPECT_EQ(code(a), 1);
    select(a);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), 0);
    EXPECT_EQ(dm().Table1Sost.asString(), "Completed successfully");
    select(b);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), -2147483647);
    EXPECT_THAT(tail(2), ElementsAre("Task <alpha> is completed.", "Task <beta> is completed."));
    EXPECT_THAT(port.icons, ElementsAre("XICON1")); // set once for both
    EXPECT_TRUE(processes.procs[1].closed);
    EXPECT_FALSE(scheduler->RunningTasks.anyTaskRunning());
}

TEST_F(LaunchTest, AFailingExitQueryLeavesTheSlotForTheNextPass) {
    const auto a = addTask("alpha");
    runNow(a);
    processes.exit(1, 3);
    processes.failQueries = true;
    scheduler->Timer1Timer();
    EXPECT_EQ(code(a), 2);
    processes.failQueries = false;
    scheduler->Timer1Timer();
    EXPECT_EQ(code(a), 1);
}

TEST_F(LaunchTest, TerminationConditionInterruptsEveryInstanceOfTheTask) {
    const auto a =
        addTask("twice", [](TDataCtrl& d) { d.Table1EndCondition.setString("  GT(2-1)  "); });
    const auto b =
        addTask("stays", [](TDataCtrl& d) { d.Table1EndCondition.setString("GT(1-2)"); });
    const auto c =
        addTask("malformed", [](TDataCtrl& d) { d.Table1EndCondition.setString("GT(1"); });
    for (auto id : {a, a, b, c})
        runNow(id);
    scheduler->Timer1Timer();
    EXPECT_EQ(code(a), 4);
    EXPECT_EQ(code(b), 2);
    EXPECT_EQ(code(c), 2);
    int interrupted = 0;
    for (const auto& l : protocol())
        interrupted += l == "Execution of <twice> is interrupted by program.";
    EXPECT_EQ(interrupted, 2);
    EXPECT_TRUE(processes.procs[1].terminated);
    EXPECT_TRUE(processes.procs[2].terminated);
    EXPECT_FALSE(processes.procs[3].terminated);
}

TEST_F(LaunchTest, AFailingTerminationConditionIsReportedOnceAndOtherSlotsAreStillChecked) {
    const auto bad =
        addTask("bad", [](TDataCtrl& d) { d.Table1EndCondition.setString("SQRT(-1)"); });
    const auto good = addTask("good", [](TDataCtrl& d) { d.Table1EndCondition.setString("1"); });
    for (auto id : {bad, good})
        runNow(id);
    scheduler->Timer1Timer();
    scheduler->Timer1Timer();
    scheduler->Timer1Timer();
    EXPECT_EQ(code(good), 4);
    EXPECT_EQ(code(bad), 2);
    int reports = 0;
    for (const auto& m : port.messages)
        reports += m == "Invalid floating point operation."; // the report adds the full stop
    EXPECT_EQ(reports, 1);
    int lines = 0;
    for (const auto& l : protocol())
        lines += l == "Terminate condition of <bad> failed: Invalid floating point operation";
    EXPECT_EQ(lines, 1);
}

TEST_F(LaunchTest, ADeletedTaskStillFreesItsSlotAndHandles) {
    const auto keep = addTask("keep");
    const auto gone = addTask("gone");
    runNow(gone);
    dm().Table1.deleteRecord();
    select(keep);
    processes.exit(1, 0);
    scheduler->Timer1Timer();
    EXPECT_FALSE(scheduler->RunningTasks.anyTaskRunning());
    EXPECT_TRUE(processes.procs[1].closed);
    EXPECT_EQ(dm().Table1AppName.asString(), "keep"); // the operator's record is kept
    EXPECT_THAT(tail(1), ElementsAre("Task <gone> is completed."));
}

TEST_F(LaunchTest, OperatorInterruptAndCancelWaiting) {
    const auto a = addTask("alpha");
    runNow(a);
    scheduler->RunNowClick();
    scheduler->InterruptClick();
    EXPECT_EQ(code(a), 3);
    EXPECT_THAT(tail(2), ElementsAre("Execution of <alpha> is interrupted by person",
                                     "Execution of <alpha> is interrupted by person"));
    EXPECT_EQ(port.icons.back(), "XICON1");
    scheduler->InterruptClick(); // nothing runs: only the icon
    EXPECT_EQ(tail(1)[0], "Execution of <alpha> is interrupted by person");

    dm().Table1.edit();
    dm().Table1EndCode.setFloat(7);
    dm().Table1WaitBeginning.setDateTime(0.5);
    dm().Table1.post();
    scheduler->CancelWaitingClick();
    EXPECT_EQ(code(a), 11);
    EXPECT_EQ(dm().Table1WaitBeginning.asDateTime(), 0);
    EXPECT_THAT(tail(1),
                ElementsAre("Waiting of the resource liberation for <alpha> is interrupted."));
}

// An operation whose write fails leaves no edit behind for whoever moves next.
TEST_F(LaunchTest, AFailedWriteLeavesNoEdit) {
    const auto launch = [&] { scheduler->RunNowClick(); };
    const std::pair<std::function<void()>, std::function<void()>> operations[] = {
        {[] {}, launch},
        {launch, [&] { scheduler->InterruptClick(); }},
        {[] {}, [&] { scheduler->CancelWaitingClick(); }},
        {[&] { launch(), processes.exit(processes.lastHandle, 0); },
         [&] { scheduler->Timer1Timer(); }},
    };
    for (const auto& [before, operation] : operations) {
        select(addTask("t"));
        before();
        dm().Table1.beforePost = [](Table&) { throw std::runtime_error("refused"); };
        EXPECT_THROW(operation(), std::runtime_error);
        dm().Table1.beforePost = nullptr;
        EXPECT_EQ(dm().Table1.state(), Table::State::Browse);
    }
}

TEST_F(LaunchTest, ApplicationActiveEndsInterruptibleInstances) {
    const auto plain = addTask("plain");
    const auto pending =
        addTask("pending", [](TDataCtrl& d) { d.Table1Interupt.setBoolean(true); });
    select(plain);
    EXPECT_FALSE(scheduler->ApplicationActive(plain));
    scheduler->RunNowClick();
    EXPECT_TRUE(scheduler->ApplicationActive(plain));
    runNow(pending);
    scheduler->RunNowClick();
    EXPECT_FALSE(scheduler->ApplicationActive(pending));
    EXPECT_EQ(code(pending), 4);
    EXPECT_EQ(scheduler->RunningTasks.AppIndex(pending), 0);
    EXPECT_EQ(scheduler->RunningTasks.AppIndex(plain), 1);
}

TEST_F(LaunchTest, WindowsOfTaskProcessesGetTheTaskNameAndTheirWindowMode) {
    const auto a =
        addTask(std::string(40, 'n'), [](TDataCtrl& d) { d.Table1RunType.setInteger(1); });
    runNow(a);
    const std::uint32_t pid = processes.launches.size() ? 1001 : 0;
    windows.wins = {{10, pid, "main", false},
                    {11, pid, "dialog", true},
                    {12, pid, "", false},
                    {13, 4242, "someone else", false},
                    {14, pid, "second", false}};
    scheduler->Timer1Timer();
    EXPECT_EQ(windows.find(10)->title, std::string(40, 'n'));
    EXPECT_EQ(windows.find(11)->title, "dialog");
    EXPECT_EQ(windows.find(12)->title, "");
    EXPECT_EQ(windows.find(13)->title, "someone else");
    EXPECT_EQ(windows.find(14)->title, std::string(40, 'n'));
    EXPECT_EQ(scheduler->RunningTasks.slot(1).Window, 14u); // the last one walked
    EXPECT_EQ(windows.find(10)->runType, 1);                // applied once, to the first found
    EXPECT_EQ(windows.find(14)->runType, -1);
    windows.find(10)->title = "changed by the program";
    scheduler->Timer1Timer();
    EXPECT_EQ(windows.find(10)->title, std::string(40, 'n'));
}

TEST_F(LaunchTest, AfterAPauseTheSchedulingTimerStartsAtSecondOneAndRearmsForTheNextMinute) {
    scheduler->beginPause(PauseWindow::ProtocolShow);
    scheduler->endPause(PauseWindow::ProtocolShow);
    clock.set(2026, 12, 7, 12, 0, 0, 700);
    scheduler->Timer1Timer();
    EXPECT_FALSE(port.timer2);
    clock.set(2026, 12, 7, 12, 0, 1, 700);
    scheduler->Timer1Timer();
    ASSERT_TRUE(port.timer2);
    EXPECT_EQ(port.timer2Delays.back(), 59300);
    clock.set(2026, 12, 7, 12, 1, 1, 20);
    scheduler->Timer2Timer();
    EXPECT_EQ(port.timer2Delays.back(), 59980);
}

} // namespace
} // namespace vektrin
