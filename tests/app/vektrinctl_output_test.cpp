// The real vektrinctl output following a run while its keeper writes it, and after the scheduler
// that started it was killed.

#include "app/control_world.h"
#include "platform/output_keeper.h"
#include "platform/run_output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vektrin {
namespace {

using test::readFile;
using test::writeFile;

DateTime at(int h, int m, int s) {
    return *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(h, m, s);
}

// The keeper cuts the file in place while the follower reads it: what is printed goes on where the
// run's stream left off, with a marker line of its own for what was cut before it could be read.
TEST(CtlOutput, FollowGoesOnUntilTheRunEndsAndTakesUpEachCut) {
    test::ControlWorld world;
    ASSERT_EQ(world.ctl({"add", "backup", "--command", "x"}).exitCode, 0);
    const std::string run =
        createRunFile(world.dir.file("state/vektrin/output"), 1, at(11, 0, 0), 16).path;
    const int fd = open(run.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char move[64];
    RunFileKeeper keeper(fd, 16, move, sizeof move);
    const auto take = [&](const std::string& text) { keeper.take(text.data(), text.size()); };
    take("first\n");
    const std::string out = world.dir.file("follow.out");
    const pid_t pid = test::ControlWorld::spawn(test::ControlWorld::bin("vektrinctl"),
                                                {"output", "backup", "--follow"},
                                                world.environment(), world.work(), "", out, "");
    ASSERT_GT(pid, 0);
    std::string expected = "first\n";
    const auto printed = [&](const std::string& more) {
        expected += more;
        EXPECT_TRUE(test::eventually([&] { return readFile(out) == expected; })) << readFile(out);
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
    bool ended = test::eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; });
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
    EXPECT_TRUE(test::eventually([&] { return list().ends_with("\t-\t-\tUnknown\t11\n"); }))
        << list();
    const auto follow = world.runIn(
        "/usr/bin/timeout",
        {"60", test::ControlWorld::bin("vektrinctl"), "output", "t", "--follow"}, world.work());
    EXPECT_EQ(follow.exitCode, 0); // 124: it did not end with the run
    EXPECT_EQ(follow.out, "start\ndone\n");
}

} // namespace
} // namespace vektrin
