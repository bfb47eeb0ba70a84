// Run files on a real disk: the launch that cannot open its run file, the last line a notice
// quotes, the order of kept runs, and settings that name places.

#include "platform/process.h"
#include "platform/run_output.h"
#include "support/temp_dir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>
#include <thread>

namespace vektrin {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(RunOutputLaunch, ARunFileThatCannotBeOpenedLeavesTheTaskWithDevNull) {
    test::TempDir dir;
    auto control = makePosixProcessControl();
    const std::string marker = dir.file("fd1");
    test::writeFile(dir.file("t.sh"), "echo $(readlink /proc/$$/fd/1) > " + marker + "; exit 7\n");
    LaunchRequest request;
    request.commandLine = "sh " + dir.file("t.sh");
    request.outputPath = dir.file("missing/run.log");
    const LaunchResult result = control->launch(request);
    ASSERT_EQ(result.failure, LaunchFailure::None);
    EXPECT_EQ(result.outputError, ENOENT);
    ExitQuery q;
    for (int i = 0; i < 400; ++i) {
        q = control->queryExit(result.info);
        if (q.state != ExitState::Running) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    control->close(result.info);
    EXPECT_EQ(q.status, 7);
    EXPECT_EQ(test::readFile(marker), "/dev/null\n");
}

TEST(RunOutputFiles, LastLineQuotedInANotice) {
    test::TempDir dir;
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {"", ""},
        {"\n\n  \r\n", ""},
        {"one", "one"},
        {"one\ntwo\n", "two"},
        {"one\r\ntwo \r\n\t\n", "two"},
        {"\xff\xfe raw\n", "\xff\xfe raw"},
        // At most 200 characters, never half of one.
        {std::string(199, 'a') + "\xc3\xa9\xc3\xa9\n", std::string(199, 'a') + "\xc3\xa9"},
        // Only the end of a huge file is read.
        {std::string(200000, 'x') + "\nend\n", "end"},
    };
    for (const auto& c : cases) {
        test::writeFile(dir.file("run.log"), c.text);
        EXPECT_EQ(lastOutputLine(dir.file("run.log")), c.line) << c.text.substr(0, 40);
    }
    EXPECT_EQ(lastOutputLine(dir.file("none.log")), "");
}

TEST(RunOutputFiles, RunsAreListedNewestFirstAndForeignFilesLeftAlone) {
    test::TempDir dir;
    const std::string root = dir.file("out");
    const DateTime start = *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(23, 59, 59);
    for (DateTime moment : {start, start, start + 1.0 / SecondsPerDay, start, start - 1})
        ASSERT_NE(createRunFile(root, 5, moment).path, "");
    for (const char* name : {"notes.txt", "2026.log", "20261207-235959-1.log", "x.end",
                             "20261399-000000.log", "20261207-235959-02.log"})
        test::writeFile(root + "/5/" + name, "");
    std::vector<std::string> stems;
    for (const RunInfo& run : listRuns(root, 5))
        stems.push_back(run.stem);
    EXPECT_THAT(stems, ElementsAre("20261208-000000", "20261207-235959-3", "20261207-235959-2",
                                   "20261207-235959", "20261206-235959"));
    EXPECT_TRUE(hasRuns(root, 5));
    EXPECT_FALSE(hasRuns(root, 6));
    EXPECT_FALSE(hasRuns("", 5));
    EXPECT_THAT(tasksWithRuns(root), ElementsAre(5));

    EXPECT_THAT(removeOldRuns(root, 5, 2), ElementsAre());
    stems.clear();
    for (const RunInfo& run : listRuns(root, 5))
        stems.push_back(run.stem);
    EXPECT_THAT(stems, ElementsAre("20261208-000000", "20261207-235959-3"));

    EXPECT_THAT(removeTaskRuns(root, 5), ElementsAre());
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(root + "/5"))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("2026.log", "20261207-235959-02.log", "20261207-235959-1.log",
                                  "20261399-000000.log", "notes.txt", "x.end"));
}

TEST(RunOutputFiles, StateHomeIsAnAbsoluteXdgStateHomeOrTheHomeDirectory) {
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string keptState = oldState ? oldState : "";
    const std::string keptHome = oldHome ? oldHome : "";
    setenv("HOME", "/home/op", 1);
    const struct {
        const char* state; // nullptr: unset
        const char* root;
    } cases[] = {
        {nullptr, "/home/op/.local/state/vektrin/output"},
        {"", "/home/op/.local/state/vektrin/output"},
        {"relative/state", "/home/op/.local/state/vektrin/output"},
        {"/var/state//", "/var/state/vektrin/output"},
    };
    for (const auto& c : cases) {
        if (c.state)
            setenv("XDG_STATE_HOME", c.state, 1);
        else
            unsetenv("XDG_STATE_HOME");
        EXPECT_EQ(defaultOutputRoot(), c.root) << (c.state ? c.state : "(unset)");
    }
    if (oldState)
        setenv("XDG_STATE_HOME", keptState.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
    if (oldHome)
        setenv("HOME", keptHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace
} // namespace vektrin
