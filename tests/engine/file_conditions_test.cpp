// File conditions in the scheduling pass: every task of one pass sees the same listing of a
// directory, and the next pass sees the disk as it is then.

#include "support/engine_fixture.h"

#include <cmath>
#include <filesystem>
#include <gmock/gmock.h>

namespace vektrin {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class FileConditionsTest : public test::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        clock.set(2026, 12, 7, 0, 0, 10);
        start();
        scheduler->Timer1Timer();
        in = dir.path() + "/in";
        mkdir(in.c_str(), 0755);
    }

    // A task due in every pass.
    std::int32_t task(const std::string& name, const std::string& launchCondition,
                      const std::string& terminationCondition = "") {
        return addTask(name, [&](TDataCtrl& d) {
            d.Table1StartCondition.setString(launchCondition);
            d.Table1EndCondition.setString(terminationCondition);
        });
    }

    // One scheduling pass at second 1 of the next minute; the names of the tasks it launched.
    std::vector<std::string> pass(bool endProcesses) {
        const size_t before = processes.launches.size();
        clock.value = (std::floor(clock.value * 1440 + 1e-7) + 1) / 1440 + 1.0 / 86400;
        scheduler->Timer2Timer();
        const auto launched = processes.namesSince(before);
        if (endProcesses) processes.endRunning();
        clock.value += 1.0 / 86400;
        scheduler->Timer1Timer();
        return launched;
    }

    // Runs inside the launch of `name` only.
    void onLaunchOf(const std::string& name, std::function<void()> action) {
        processes.onLaunch = [this, name, action = std::move(action)] {
            if (processes.launches.back().commandLine == "prog-" + name) action();
        };
    }

    std::string in;
};

TEST_F(FileConditionsTest, OnePassSharesEachSearchTheNextReadsTheDiskAgain) {
    std::filesystem::create_directories(in + "/дата");
    std::filesystem::create_directories(in + "/ДАТА");
    test::writeFile(in + "/дата/a.dat", "x");
    struct Row {
        std::string name;
        std::string condition; // "@" stands for the directory
        bool firstPass;
        bool secondPass;
    };
    const Row rows[] = {
        // Its launch writes NEW.DAT and LATER/X.DAT; the rest of the pass does not see them.
        {"writer", "NFE('@/NEW.DAT')&NFE('@/LATER/*.*')", true, false},
        {"other-separators", "NFE('@\\NEW.DAT')", true, false},
        {"doubled-separators", "FE('@//NEW.DAT')", false, true},
        {"new-directory", "FE('@\\LATER\\*.*')", false, true},
        // Upper-casing leaves these letters alone: two directories, two searches.
        {"lower-case-directory", "FE('@/дата/*')", true, true},
        {"upper-case-directory", "FE('@/ДАТА/*')", false, false},
    };
    std::vector<std::string> first, second;
    for (const Row& r : rows) {
        std::string condition = r.condition;
        for (size_t at; (at = condition.find('@')) != std::string::npos;)
            condition.replace(at, 1, in);
        task(r.name, condition);
        if (r.firstPass) first.push_back(r.name);
        if (r.secondPass) second.push_back(r.name);
    }
    onLaunchOf("writer", [&] {
        test::writeFile(in + "/new.dat", "x");
        std::filesystem::create_directories(in + "/later");
        test::writeFile(in + "/later/x.dat", "x");
    });

    EXPECT_THAT(pass(true), ElementsAreArray(first));
    EXPECT_THAT(pass(true), ElementsAreArray(second));
}

TEST_F(FileConditionsTest, MonitoringAndEditorInsideThePassReadTheDisk) {
    const std::int32_t watched = task("watched", "", "FE('" + in + "/STOP.FLG')");
    task("reader", "NFE('" + in + "/STOP.FLG')");
    task("trigger", "");
    task("late-reader", "FE('" + in + "/STOP.FLG')");
    runNow(watched);
    const std::intptr_t watchedHandle = processes.lastHandle;

    // The monitoring pass and an editor's condition check may run while the scheduling pass
    // waits, e.g. in the event loop of a box it shows about a launch.
    double editorValue = -1;
    bool interrupted = false;
    onLaunchOf("trigger", [&] {
        test::writeFile(in + "/stop.flg", "");
        clock.value += 1.0 / 86400;
        scheduler->Timer1Timer();
        interrupted = processes.procs[watchedHandle].terminated;
        scheduler->beginPause(PauseWindow::Tasks);
        editorValue = scheduler->EvaluateCondition("FE('" + in + "/STOP.FLG')");
        scheduler->endPause(PauseWindow::Tasks);
    });
    EXPECT_THAT(pass(false), ElementsAre("reader", "trigger"));
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(editorValue, 1);
    // ... while the pass itself went on with the listing it had read.
}

} // namespace
} // namespace vektrin
