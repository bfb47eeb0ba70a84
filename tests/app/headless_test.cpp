// The headless scheduler, however it is asked for: it never maps the widgets' libraries, and it
// is what it was with them: commanded through its socket, launching tasks, ending on SIGTERM.

#include "app/control_world.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <thread>

namespace vektrin {
namespace {

using test::ControlWorld;

TEST(Headless, NoWidgetsHoweverItIsAskedFor) {
    const struct {
        const char* why;
        std::vector<std::string> args, env;
    } cases[] = {
        {"no display", {}, {"QT_QPA_PLATFORM="}},
        {"--headless on a display", {"--headless"}, {"QT_QPA_PLATFORM=", "DISPLAY=:99"}},
        {"-platform offscreen", {"-platform", "offscreen"}, {"QT_QPA_PLATFORM=", "DISPLAY=:99"}},
        {"QT_QPA_PLATFORM=offscreen", {}, {"WAYLAND_DISPLAY=wayland-99"}},
        // As a service manager may start it: Qt's own complaints must not reach the journal.
        {"no runtime directory", {}, {"XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM="}},
    };
    for (const auto& c : cases) {
        ControlWorld world;
        ASSERT_EQ(world.ctl({"add", "t", "--command", "true", "--yearly", "--from", "2001-01-01"})
                      .exitCode,
                  0);
        world.start(0, c.args, c.env);
        const std::string maps =
            test::readFile("/proc/" + std::to_string(world.vektrinPid()) + "/maps");
        EXPECT_NE(maps.find("libQt6Core"), std::string::npos) << c.why;
        EXPECT_EQ(maps.find("libQt6Gui"), std::string::npos) << c.why;
        EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos) << c.why;
        // From a shell of the usual environment, whatever runtime directory the scheduler had.
        EXPECT_EQ(world.ctl({"run", "t"}).exitCode, 0) << c.why;
        EXPECT_TRUE(world.waitForLog("Task <t> is completed.")) << c.why << world.log();
        EXPECT_EQ(world.stop(), 0) << c.why;
        EXPECT_NE(world.log().find("The Vektrin program completed ..."), std::string::npos);
        EXPECT_EQ(test::readFile(world.dir.file("vektrin.err")), "") << c.why;
    }
}

// A machine asleep across two minute boundaries, as a stopped process is: on waking the pass runs
// at once, the minute it slept through is a gap, a catch-up task due in it is made up and a task
// without catch-up is not launched for it. Real time: it takes two to four minutes.
TEST(RealMinute, AStoppedSchedulerWakesAndMakesUpTheMinuteItSlept) {
    using Clock = std::chrono::system_clock;
    ControlWorld world;
    ASSERT_EQ(world.ctl({"add", "pulse", "--every-minute", "--command", "true"}).exitCode, 0);
    world.start();
    const auto waitLog = [&](const std::string& text, int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (world.log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    // The first pass; once its task has ended the scheduler holds no table.
    ASSERT_TRUE(waitLog("Task <pulse> is completed.", 150)) << world.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(kill(world.vektrinPid(), SIGSTOP), 0);
    const auto minute = std::chrono::floor<std::chrono::minutes>(Clock::now());
    const std::time_t slept = Clock::to_time_t(minute + std::chrono::minutes(1));
    char at[8];
    std::strftime(at, sizeof at, "%H:%M", std::gmtime(&slept));
    for (const char* task : {"made-up", "plain"}) {
        std::vector<std::string> add = {"add", task, "--daily", "--from", at, "--command", "true"};
        if (task == std::string("made-up")) add.push_back("--catch-up");
        ASSERT_EQ(world.ctl(add).exitCode, 0) << task;
    }
    std::this_thread::sleep_until(minute + std::chrono::seconds(123));
    const std::size_t before = world.log().size();
    ASSERT_EQ(kill(world.vektrinPid(), SIGCONT), 0);
    ASSERT_TRUE(waitLog("Task <made-up> is completed.", 20)) << world.log();
    const std::string after = world.log().substr(before);
    EXPECT_NE(after.find("Missed launch of <made-up> at "), std::string::npos) << after;
    EXPECT_NE(after.find("Task <pulse> is completed."), std::string::npos) << after;
    EXPECT_EQ(world.log().find("<plain>"), std::string::npos) << world.log();
    EXPECT_EQ(world.stop(), 0);
}

// Started ten seconds before a minute, with another program holding the task file across that
// minute's second 1: the first minute after the start is scheduled all the same, from the tables
// as start-up read them, and the pass says why it read nothing.
TEST(RealMinute, TheFirstMinuteIsScheduledThoughAnotherProgramHoldsTheTables) {
    using Clock = std::chrono::system_clock;
    ControlWorld world;
    ASSERT_EQ(world.ctl({"add", "pulse", "--every-minute", "--command", "true"}).exitCode, 0);
    auto minute = std::chrono::ceil<std::chrono::minutes>(Clock::now());
    if (minute - Clock::now() < std::chrono::seconds(12)) minute += std::chrono::minutes(1);
    std::this_thread::sleep_until(minute - std::chrono::seconds(10));
    world.start();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((world.tables() + "/Vektrin.db").c_str(), &other), SQLITE_OK);
    std::this_thread::sleep_until(minute - std::chrono::seconds(2));
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::this_thread::sleep_until(minute + std::chrono::seconds(5));
    const std::string held = world.log();
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    const std::time_t first = Clock::to_time_t(minute);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:0", std::gmtime(&first));
    const std::size_t executes = held.find("Executes <pulse>.");
    ASSERT_NE(executes, std::string::npos) << held;
    EXPECT_NE(held.rfind(stamp, executes), std::string::npos) << held; // at its second 0 to 9
    EXPECT_NE(held.find("The scheduling pass could not use the tables: database is locked."),
              std::string::npos)
        << held;
    EXPECT_TRUE(world.waitForLog("Task <pulse> is completed.")) << world.log();
    EXPECT_EQ(world.stop(), 0);
}

} // namespace
} // namespace vektrin
