// Two workstations' schedulers on one task list in a database of a private PostgreSQL server: the
// real programs, a real minute.

#include "app/control_world.h"
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace vektrin {
namespace {

using test::ControlWorld;

// For three minutes, each moment of twenty tasks for any workstation runs once (in the runs and in
// both protocols together), one for each of them on each, one pinned only where it is pinned; two
// tasks that share a resource never run at once, wherever they run.
TEST(RealMinute, TwoWorkstationsRunEachMomentOnceAndShareTheirResources) {
    std::string reason;
    test::PgServer* server = test::PgServer::shared(reason);
    if (!server) GTEST_SKIP() << reason;
    const std::string uri = server->createDatabase();
    ControlWorld alpha, beta;
    for (ControlWorld* w : {&alpha, &beta})
        test::writeFile(w->aliases(), "[Control]\npath=" + uri + "\n");
    const std::string runs = alpha.dir.file("runs");
    const auto add = [&](const std::string& name, const std::string& script,
                         std::vector<std::string> more) {
        std::vector<std::string> args{"add", name, "--command",
                                      "/bin/sh -c '{ " + script + "; } >> " + runs + "'"};
        args.insert(args.end(), more.begin(), more.end());
        const auto o = alpha.ctl(args);
        ASSERT_EQ(o.exitCode, 0) << o.err;
    };
    ASSERT_EQ(alpha.ctl({"resource", "add", "1", "printer"}).exitCode, 0);
    for (int i = 1; i <= 20; ++i)
        add("any" + std::to_string(i), "echo any" + std::to_string(i) + " $VEKTRIN_HOST", {});
    add("each", "echo each $VEKTRIN_HOST", {"--run-on", "*"});
    add("pinned", "echo pinned $VEKTRIN_HOST", {"--run-on", "beta"});
    for (const char* name : {"print1", "print2"})
        add(name, std::string("echo start; sleep 2; echo end"), {"--conflicts", "1"});
    alpha.start(0, {}, {"VEKTRIN_HOST=alpha"});
    beta.start(0, {}, {"VEKTRIN_HOST=beta"});
    const auto status = alpha.ctl({"status"}, {}, {"VEKTRIN_HOST=alpha"});
    EXPECT_NE(status.out.find("  alpha  PID"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("  beta  PID"), std::string::npos) << status.out;
    // A control command for the other workstation's scheduler goes through the database.
    const auto remote = alpha.ctl({"-H", "beta", "status", "--json"}, {}, {"VEKTRIN_HOST=alpha"});
    EXPECT_EQ(remote.exitCode, 0) << remote.err;
    EXPECT_NE(remote.out.find("\"pid\": " + std::to_string(beta.vektrinPid())), std::string::npos)
        << remote.out;
    EXPECT_EQ(alpha.ctl({"-H", "gamma", "status"}, {}, {"VEKTRIN_HOST=alpha"}).exitCode, 3);
    // Three minutes' passes and the runs they launched.
    for (int i = 0; i < 2500 && test::occurrences(test::readFile(runs), "each alpha") < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::seconds(4));
    // A request sent later is heard too.
    EXPECT_EQ(alpha.ctl({"-H", "beta", "status"}, {}, {"VEKTRIN_HOST=alpha"}).exitCode, 0);
    EXPECT_EQ(alpha.stop(), 0);
    EXPECT_EQ(beta.stop(), 0);

    std::map<std::string, int> ran;
    int open = 0, most = 0;
    std::istringstream lines(test::readFile(runs));
    for (std::string line; std::getline(lines, line);) {
        ++ran[line];
        if (line == "start") most = std::max(most, ++open);
        if (line == "end") --open;
    }
    // Three minutes, or four when the start fell so late in one that the next one's pass came too.
    const int minutes = ran["each alpha"];
    ASSERT_GE(minutes, 1);
    EXPECT_EQ(ran["each beta"], minutes);
    const std::string protocols = alpha.log() + beta.log();
    for (int i = 1; i <= 20; ++i) {
        const std::string name = "any" + std::to_string(i);
        EXPECT_EQ(ran[name + " alpha"] + ran[name + " beta"], minutes) << name;
        EXPECT_EQ(test::occurrences(protocols, "Executes <" + name + ">"), minutes)
            << name << " in both logs";
    }
    EXPECT_EQ(ran["pinned beta"], minutes);
    EXPECT_EQ(ran["pinned alpha"], 0);
    EXPECT_EQ(most, 1) << test::readFile(runs);
    EXPECT_GE(ran["start"], minutes);
}

} // namespace
} // namespace vektrin
