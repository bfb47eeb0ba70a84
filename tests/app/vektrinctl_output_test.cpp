// Runs the real vektrinctl output against kept runs of a temporary state directory: the last run,
// an earlier one, the list, following a run while it goes on, and what is refused.

#include "app/control_world.h"
#include "platform/output_keeper.h"
#include "platform/run_output.h"
#include "store/data_ctrl.h"
#include "support/fake_messages.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

using test::readFile;
using test::writeFile;

DateTime at(int h, int m, int s) {
    return *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(h, m, s);
}

class CtlOutputTest : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.path() + "\n");
        test::RecordingMessages messages;
        TDataCtrl dm(dir.path(), messages);
        for (const char* name : {"backup", "quiet"}) {
            dm.Table1.append();
            dm.Table1AppName.setString(name);
            dm.Table1.post();
        }
    }

    std::string root() const { return dir.file("state/vektrin/output"); }

    std::vector<std::string> environment() const {
        return {"LC_ALL=C", "TZ=UTC", "XDG_STATE_HOME=" + dir.file("state"), "HOME=" + dir.path()};
    }

    std::vector<std::string> arguments(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--aliases", dir.file("aliases.ini")});
        return args;
    }

    // A kept run of task 1; without an end it still goes on.
    std::string keep(DateTime start, const std::string& text, std::optional<RunEnd> end) {
        const NewRunFile file = createRunFile(root(), 1, start);
        EXPECT_EQ(file.error, "");
        writeFile(file.path, text);
        if (end) {
            EXPECT_EQ(recordRunEnd(file.path, *end), "");
        }
        return file.path;
    }
};

struct OutputCase {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
    std::string err; // "{root}" stands for the output directory
};

TEST_F(CtlOutputTest, PrintsListsAndRefuses) {
    keep(at(9, 0, 0), "older\n", RunEnd{at(9, 0, 5), 1, 0});
    keep(at(10, 0, 0), "out\nerr \xff\xfe\n", RunEnd{at(10, 0, 2), 1, 3});
    keep(at(10, 0, 0), "second in that second\n", RunEnd{at(10, 1, 0), 3, std::nullopt});
    keep(at(11, 0, 0), "still going\n", std::nullopt);

    const OutputCase cases[] = {
        {{"output", "backup"}, 0, "still going\n", ""},
        {{"output", "1", "--run", "2"}, 0, "second in that second\n", ""},
        {{"output", "backup", "--run", "3"}, 0, "out\nerr \xff\xfe\n", ""},
        {{"output", "backup", "--list"},
         0,
         "1\t2026-12-07 11:00:00\t-\t-\tRuns\t12\n"
         "2\t2026-12-07 10:00:00\t2026-12-07 10:01:00\t-\tInterrupted by person\t22\n"
         "3\t2026-12-07 10:00:00\t2026-12-07 10:00:02\t3\tCompleted with a code 3\t11\n"
         "4\t2026-12-07 09:00:00\t2026-12-07 09:00:05\t0\tCompleted successfully\t6\n",
         ""},
        {{"output", "backup", "--run", "5"},
         1,
         "",
         "Run 5 of backup is not kept: there are 4 runs (vektrinctl output --list)\n"},
        {{"output", "quiet"}, 1, "", "No run of quiet is kept in {root}/2\n"},
        {{"output", "quiet", "--list"}, 0, "", "No run of quiet is kept in {root}/2\n"},
        {{"output", "backup", "--run", "0"}, 64, "", "*"},
        {{"output", "backup", "--list", "--run", "2"}, 64, "", "*"},
        {{"output"}, 64, "", "*"},
    };
    for (const OutputCase& c : cases) {
        const auto r = test::runProgram(std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl",
                                        arguments(c.args), environment());
        std::string label;
        for (const std::string& a : c.args)
            label += a + " ";
        EXPECT_EQ(r.exitCode, c.exitCode) << label << r.err;
        EXPECT_EQ(r.out, c.out) << label;
        if (c.err != "*") {
            std::string err = c.err;
            if (const auto p = err.find("{root}"); p != std::string::npos)
                err.replace(p, 6, root());
            EXPECT_EQ(test::withoutPrefix(r.err), err) << label;
        }
    }
    const auto missing = test::runProgram(std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl",
                                          arguments({"output", "nosuch"}), environment());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("nosuch"), std::string::npos) << missing.err;
}

// Waits for something another process does; giving up only means it never happened.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return condition();
}

// The keeper cuts the file in place while the follower reads it: what is printed goes on where the
// run's stream left off, with a marker line of its own for what was cut before it could be read.
TEST_F(CtlOutputTest, FollowGoesOnUntilTheRunEndsAndTakesUpEachCut) {
    const std::string run = createRunFile(root(), 1, at(11, 0, 0), 16).path;
    const int fd = open(run.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char move[64];
    RunFileKeeper keeper(fd, 16, move, sizeof move);
    const auto take = [&](const std::string& text) { keeper.take(text.data(), text.size()); };
    take("first\n");
    const std::string out = dir.file("follow.out");
    const pid_t pid = test::startProgram(std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl",
                                         arguments({"output", "backup", "--follow"}), environment(),
                                         {"", out, "", ""});
    ASSERT_GT(pid, 0);
    std::string expected = "first\n";
    const auto printed = [&](const std::string& more) {
        expected += more;
        EXPECT_TRUE(eventually([&] { return readFile(out) == expected; })) << readFile(out);
    };
    printed("");
    take(std::string(1000, 'x')); // the head fills up; 990 bytes are cut
    printed("xx\n... 990 bytes left out ...\n" + std::string(8, 'x'));
    take("after the cut\n");
    printed("after the cut\n");
    take(std::string(100, 'z')); // 92 bytes of it are cut before the follower sees them
    printed("... 92 bytes left out ...\n" + std::string(8, 'z'));
    keeper.finish();
    close(fd);
    ASSERT_EQ(readFile(run), "first\nxx\n... 1104 bytes left out ...\n" + std::string(8, 'z'));
    ASSERT_EQ(recordRunEnd(run, RunEnd{at(11, 0, 9), 1, 0}), "");
    int status = -1;
    bool ended = eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(ended) << "vektrinctl output --follow did not end with its run";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(out), expected);
}

// Killed while its task runs, the scheduler leaves the run going on as long as the task does (its
// keeper outlives it); then the run is over, its exit code unknown, and a follower ends with it.
TEST(CtlOutputOfAKilledScheduler, ARunIsOverOnceItsTaskHasEnded) {
    test::ControlWorld world;
    const std::string task = world.work() + "/t.sh", release = world.work() + "/release";
    writeFile(task, "echo start\nuntil [ -e " + release + " ]; do sleep 0.05; done\necho done\n");
    world.start();
    world.ctl({"add", "t", "--command", "sh " + task, "--yearly", "--from", "2001-01-01"});
    ASSERT_EQ(world.ctl({"run", "t"}).exitCode, 0);
    kill(world.vektrinPid(), SIGKILL); // reaped as the world goes
    const auto list = [&] { return world.ctl({"output", "t", "--list"}).out; };
    EXPECT_NE(list().find("\t-\t-\tRuns\t"), std::string::npos) << list();
    writeFile(release, "");
    EXPECT_TRUE(eventually([&] { return list().ends_with("\t-\t-\tUnknown\t11\n"); })) << list();
    const auto follow = world.runIn(
        "/usr/bin/timeout",
        {"60", test::ControlWorld::bin("vektrinctl"), "output", "t", "--follow"}, world.work());
    EXPECT_EQ(follow.exitCode, 0); // 124: it did not end with the run
    EXPECT_EQ(follow.out, "start\ndone\n");
}

} // namespace
} // namespace vektrin
