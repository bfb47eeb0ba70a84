// The scheduler with real child processes: what only the operating system can tell.

#include "support/engine_fixture.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace vektrin {
namespace {

class RealProcessTest : public test::EngineTest {
  protected:
    std::unique_ptr<ProcessControl> real = makePosixProcessControl();
    std::unique_ptr<Scheduler> live;

    void SetUp() override {
        EngineTest::SetUp();
        live =
            std::make_unique<Scheduler>(clock, *real, windows, port, *settings, regional, config());
        ASSERT_EQ(live->FormCreate(), Scheduler::StartResult::Running);
        scheduler.reset(live.release());
    }

    // Runs the monitoring pass until the task's code changes from 2 (at most ten seconds).
    void settle(std::int32_t id) {
        for (int i = 0; i < 200 && code(id) == 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            scheduler->Timer1Timer();
        }
    }
};

TEST_F(RealProcessTest, ExitCodesAndSignalsReachTheRecord) {
    const auto three =
        addTask("three", [](TDataCtrl& d) { d.Table1Application.setString("sh -c 'exit 3'"); });
    const auto killed = addTask(
        "killed", [](TDataCtrl& d) { d.Table1Application.setString("sh -c 'kill -9 $$'"); });
    for (auto id : {three, killed})
        runNow(id);
    settle(three);
    settle(killed);
    select(three);
    EXPECT_EQ(dm().Table1Sost.asString(), "Completed with a code 3");
    EXPECT_EQ(dm().Table1LastHost.asString(), platform::schedulerHost());
    select(killed);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), 128 + SIGKILL);
}

// Closing the viewer or an editor ends a running instance of an Interrupt task only when one of
// the task's launches fell into the time the window was open.
TEST_F(RealProcessTest, APauseEndsARunningInterruptTaskOnlyForALaunchInIt) {
    const struct {
        const char* name;
        int kind; // every minute, or daily from 10:00
        bool interrupt;
        int pauseFrom; // minutes after 09:00
        int pauseTo;
        bool running; // afterwards
        double code;
    } cases[] = {
        {"every minute", 0, true, 30, 31, true, 2},
        {"daily, nothing due in the pause", 2, true, 30, 31, true, 2},
        {"daily, due in the pause", 2, true, 59, 61, false, 13},
        {"daily, no interrupt, due in the pause", 2, false, 59, 61, true, 2},
    };
    for (const auto& c : cases) {
        const auto id = addTask(c.name, [&](TDataCtrl& d) {
            d.Table1Application.setString("sleep 60");
            d.Table1Interval.setInteger(c.kind);
            d.Table1StartTime.setDateTime(*tryEncodeTime(10, 0, 0));
            d.Table1EndTime.setDateTime(*tryEncodeTime(18, 0, 0));
            d.Table1Interupt.setBoolean(c.interrupt);
        });
        clock.set(2026, 12, 9, 9, 0);
        runNow(id);
        ASSERT_EQ(code(id), 2) << c.name;
        clock.value += c.pauseFrom / 1440.0;
        scheduler->beginPause(PauseWindow::ProtocolShow);
        clock.value += (c.pauseTo - c.pauseFrom) / 1440.0;
        scheduler->endPause(PauseWindow::ProtocolShow);
        scheduler->Timer1Timer();
        EXPECT_EQ(scheduler->RunningTasks.AppIndex(id) != 0, c.running) << c.name;
        EXPECT_EQ(code(id), c.code) << c.name;
        select(id);
        scheduler->InterruptClick();
    }
}

TEST_F(RealProcessTest, InterruptionEndsTheWholeProcessGroup) {
    const std::string marker = dir.file("child.pid");
    const auto id = addTask("parent", [&](TDataCtrl& d) {
        d.Table1Application.setString("sh -c 'sleep 60 & echo $! > " + marker + "; wait'");
    });
    runNow(id);
    std::string pidText;
    for (int i = 0; i < 100 && pidText.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pidText = test::readFile(marker);
    }
    ASSERT_FALSE(pidText.empty());
    const pid_t child = std::stoi(pidText);
    scheduler->InterruptClick();
    EXPECT_EQ(code(id), 3);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gone = kill(child, 0) != 0;
    }
    EXPECT_TRUE(gone);
}

struct BadCommand {
    const char* command;
    const char* directory;
    const char* text;
};

class BadCommandTest : public RealProcessTest, public ::testing::WithParamInterface<BadCommand> {};

TEST_P(BadCommandTest, IsALaunchErrorAndLeavesNoSlotTaken) {
    const auto id = addTask("bad", [](TDataCtrl& d) {
        d.Table1Application.setString(GetParam().command);
        d.Table1AppDirectory.setString(GetParam().directory);
    });
    runNow(id);
    EXPECT_EQ(code(id), 12);
    EXPECT_EQ(port.messages.back(), GetParam().text);
    EXPECT_FALSE(scheduler->RunningTasks.anyTaskRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BadCommandTest,
    ::testing::Values(BadCommand{"", "", "Program not found"},
                      BadCommand{"    ", "", "Program not found"},
                      BadCommand{"no-such-program-here", "", "Program not found"},
                      BadCommand{"/no/such/dir/prog", "", "Path to program not found"},
                      BadCommand{"/tmp", "", "Bad executable file format !"},
                      BadCommand{"true", "/no/such/directory", "Incorrect startup directory"},
                      BadCommand{"echo 'unclosed", "", "Execution error with code 22"},
                      BadCommand{"'''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''"
                                 "'''''''''''''''''''''''''''''''''''''''''''''''''''''''",
                                 "", "Program not found"}));

} // namespace
} // namespace vektrin
