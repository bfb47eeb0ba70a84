// The grid menu's commands as the control socket gives them: the same rules and protocol lines,
// refusals as answers instead of boxes, and the operator's record left where it was.

#include "engine/operator_commands.h"
#include "support/engine_fixture.h"

#include <gmock/gmock.h>

namespace vektrin {
namespace {

using test::EngineTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class OperatorCommandsTest : public EngineTest {
  public:
    // For the cases' set-up steps.
    using EngineTest::addTask;
    using EngineTest::dm;
    using EngineTest::processes;
    using EngineTest::runNow;
    using EngineTest::scheduler;
    using EngineTest::select;
    std::int32_t a = 0, b = 0;

  protected:
    void SetUp() override {
        EngineTest::SetUp();
        start();
        scheduler->Timer1Timer(); // the start-up pause is consumed
        a = addTask("alpha", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(1); });
        b = addTask("beta");
    }
};

struct CommandCase {
    const char* name;
    std::function<void(OperatorCommandsTest&)> before;
    OperatorCommand command;
    std::string task; // "" stands for alpha's AppID
    bool ok;
    std::string answer;
    std::vector<std::string> lines; // written by the command
    double code;                    // alpha's EndCode afterwards
};

void runAlpha(OperatorCommandsTest& t) {
    t.runNow(t.a);
}

void stopAlpha(OperatorCommandsTest& t) {
    t.select(t.a);
    t.scheduler->StoppedInverting();
}

// A running task holds alpha's resource; alpha waits when it is run.
void holdAlphasResource(OperatorCommandsTest& t) {
    const auto holder = t.addTask("holder", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(1); });
    t.select(t.a);
    t.dm().Table1.edit();
    t.dm().Table1WaitRes.setBoolean(true);
    t.dm().Table1.post();
    t.runNow(holder);
}

std::vector<CommandCase> cases() {
    using enum OperatorCommand;
    const auto everySlotTaken = [](OperatorCommandsTest& t) {
        for (int n = 0; n < RunningTaskSlots; ++n)
            t.runNow(t.b);
    };
    const auto waiting = [](OperatorCommandsTest& t) {
        holdAlphasResource(t);
        runAlpha(t);
    };
    const std::string executes = "Executes <alpha>.", notFound = "Launch error : Program not found",
                      setWaiting = "Task <alpha> was set to waiting because of resources conflict.",
                      interrupted = "Execution of <alpha> is interrupted by person",
                      cancelled = "Waiting of the resource liberation for <alpha> is interrupted.";
    // clang-format off
    return {
        // name, before, command, task, ok, answer, lines written, alpha's EndCode afterwards
        {"run_by_name", {}, RunNow, "alpha", true, executes, {executes}, 2},
        {"run_by_AppID", {}, RunNow, "", true, executes, {executes}, 2},
        {"run_every_slot_taken", everySlotTaken, RunNow, "alpha", false,
         "Too many tasks executes. Try later !!!", {}, 0},
        {"run_program_missing",
         [](OperatorCommandsTest& t) { t.processes.nextFailure = LaunchFailure::ProgramNotFound; },
         RunNow, "alpha", false, notFound, {executes, notFound}, 12},
        {"run_resource_held_waits", holdAlphasResource, RunNow, "alpha", false, setWaiting,
         {setWaiting}, 7},
        {"interrupt_running", runAlpha, Interrupt, "alpha", true, interrupted, {interrupted}, 3},
        {"interrupt_not_running", {}, Interrupt, "alpha", false, "Task <alpha> is not running.",
         {}, 0},
        {"cancel_waiting", waiting, CancelWaiting, "alpha", true, cancelled, {cancelled}, 11},
        {"cancel_waiting_not_waiting", {}, CancelWaiting, "alpha", false,
         "Task <alpha> is not waiting for resources.", {}, 0},
        {"stop", {}, Stop, "alpha", true, "Scheduling of <alpha> is stopped.",
         {"Scheduling of <alpha> is stopped."}, 5},
        {"stop_stopped_already", stopAlpha, Stop, "alpha", true,
         "Scheduling of <alpha> is stopped already.", {}, 5},
        {"resume", stopAlpha, Resume, "alpha", true, "Scheduling of <alpha> is resumed.",
         {"Scheduling of <alpha> is resumed."}, 6},
        {"resume_not_stopped", {}, Resume, "alpha", true, "Scheduling of <alpha> is not stopped.",
         {}, 0},
        {"no_such_task", {}, RunNow, "gamma", false, "No task has the AppID or AppName gamma.", {},
         0},
        {"a_shared_name", [](OperatorCommandsTest& t) { t.addTask("alpha"); }, Stop, "alpha",
         false, "Several tasks are named <alpha>: give the AppID, one of 1, 3.", {}, 0},
        {"an_editor_is_open",
         [](OperatorCommandsTest& t) { t.scheduler->beginPause(PauseWindow::ConflictsEdit); },
         RunNow, "alpha", false, "Close 'Exceptions' form before exit", {}, 0},
        {"the_viewer_is_open",
         [](OperatorCommandsTest& t) { t.scheduler->beginPause(PauseWindow::ProtocolShow); },
         Stop, "alpha", false, "Close 'Protocol' form before exit", {}, 0},
    };
    // clang-format on
}

class OperatorCommandCases : public OperatorCommandsTest,
                             public ::testing::WithParamInterface<CommandCase> {};

TEST_P(OperatorCommandCases, FollowTheMenusRulesAndAnswerInWords) {
    const CommandCase& c = GetParam();
    if (c.before) c.before(*this);
    const auto launches = processes.launches.size();
    const std::size_t lines = protocol().size();
    // The operator stands on beta; the command must leave the grid there.
    select(b);
    const OperatorAnswer answer =
        operatorCommand(*scheduler, c.command, c.task.empty() ? std::to_string(a) : c.task);
    EXPECT_EQ(answer.ok, c.ok);
    EXPECT_EQ(answer.text, c.answer);
    EXPECT_EQ(protocolSince(lines), c.lines);
    EXPECT_EQ(code(a), c.code);
    EXPECT_EQ(dm().Table1AppID.asInteger(), b);
    // Whatever the scheduler would have shown in a box went into the answer instead.
    EXPECT_THAT(port.messages, IsEmpty());
    if (!c.ok && c.lines.empty()) {
        EXPECT_EQ(processes.launches.size(), launches);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, OperatorCommandCases, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OperatorCommandsTest, TheBoxesComeBackAfterACommand) {
    operatorCommand(*scheduler, OperatorCommand::RunNow, "nosuch");
    processes.nextFailure = LaunchFailure::ProgramNotFound;
    runNow(a); // from the grid menu: a box
    EXPECT_THAT(port.messages, ElementsAre("Program not found"));
}

TEST_F(OperatorCommandsTest, StatusNamesTheColourThePauseAndTheRunningTasks) {
    clock.set(2026, 12, 7, 10, 1, 5);
    runNow(a);
    runNow(b);
    scheduler->RunNowClick(); // beta twice: its record holds the later launch only
    SchedulerStatus s = schedulerStatus(*scheduler);
    EXPECT_EQ(s.colour, "yellow");
    EXPECT_FALSE(s.paused);
    ASSERT_EQ(s.running.size(), 3u);
    EXPECT_EQ(s.running[0].slot, 1);
    EXPECT_EQ(s.running[0].appId, a);
    EXPECT_EQ(s.running[0].appName, "alpha");
    EXPECT_EQ(s.running[0].processId, 1001u);
    ASSERT_TRUE(s.running[0].since);
    EXPECT_EQ(*s.running[0].since, *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(10, 1, 5));
    EXPECT_EQ(s.running[2].appName, "beta");
    EXPECT_EQ(dm().Table1AppID.asInteger(), b);

    scheduler->beginPause(PauseWindow::Tasks);
    scheduler->beginPause(PauseWindow::ProtocolShow);
    s = schedulerStatus(*scheduler);
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.pausedBy, "the task editor is open, the protocol viewer is open");
    EXPECT_THAT(s.openWindows, ElementsAre("Tasks", "Protocol"));
    scheduler->endPause(PauseWindow::ProtocolShow);
    scheduler->endPause(PauseWindow::Tasks);

    // A silence period in force: red, paused.
    dm().Table3.append();
    dm().Table3Interval.setInteger(0);
    dm().Table3.post();
    scheduler->WorkEnabled();
    s = schedulerStatus(*scheduler);
    EXPECT_EQ(s.colour, "red");
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.pausedBy, "a silence period is in force");
}

TEST(ProcessStartMoment, OfThisProcessAndOfNone) {
    const auto own = processStartMoment(static_cast<std::uint32_t>(getpid()));
    ASSERT_TRUE(own);
    EXPECT_GT(*own, *tryEncodeDate(2000, 1, 1));
    EXPECT_FALSE(processStartMoment(0));
    EXPECT_FALSE(processStartMoment(0x7FFFFFF0u));
}

} // namespace
} // namespace vektrin
