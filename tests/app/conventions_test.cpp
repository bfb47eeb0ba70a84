// What a command-line user expects of both programs: help and versions on standard output with
// status 0, wrong use with status 64 and the usage on standard error, an option that is never
// taken for a language, tasks with a header and whole seconds, protocol dates in every format.

#include "app/control_world.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

using test::ControlWorld;
using test::CtlOutcome;

struct Expectation {
    std::vector<std::string> args;
    int exitCode;
    std::string out; // a part of standard output
    std::string err; // a part of standard error ("" for none at all)
};

TEST(Conventions, HelpAndVersionOfBothPrograms) {
    ControlWorld world;
    const std::string ctl = ControlWorld::bin("vektrinctl"), vektrin = ControlWorld::bin("vektrin");
    const struct {
        std::string program;
        Expectation e;
    } cases[] = {
        {ctl, {{"--help"}, 0, "Usage: vektrinctl", ""}},
        {ctl, {{"--version"}, 0, "vektrinctl 1.0.0\n", ""}},
        {ctl, {{"add", "--help"}, 0, "--command", ""}},
        {ctl, {{"help", "add"}, 0, "--wait-if-busy", ""}},
        {ctl, {{"help", "resource", "add"}, 0, "--max-wait", ""}},
        {ctl, {{"help"}, 0, "Subcommands:", ""}},
        {ctl, {{"help", "nosuch"}, 64, "", "vektrinctl: unknown command 'nosuch'"}},
        {ctl, {{"add"}, 64, "", "Usage:"}},
        {vektrin, {{"--version"}, 0, "vektrin 1.0.0\n", ""}},
        {vektrin, {{"--help"}, 0, "Usage: vektrin [LANGUAGE]", ""}},
        {vektrin, {{"-h"}, 0, "Usage: vektrin [LANGUAGE]", ""}},
        {vektrin, {{"-x"}, 64, "", "vektrin: unknown option -x\nUsage: vektrin"}},
        {vektrin, {{"--language=RUS"}, 64, "", "unknown option --language=RUS"}},
    };
    for (const auto& [program, e] : cases) {
        if (access(program.c_str(), X_OK) != 0) continue;
        const CtlOutcome o = world.runIn(program, e.args, world.work());
        const std::string label = program + " " + e.args[0];
        EXPECT_EQ(o.exitCode, e.exitCode) << label << o.err;
        EXPECT_NE(o.out.find(e.out), std::string::npos) << label << o.out;
        if (e.err.empty()) {
            EXPECT_EQ(o.err, "") << label;
        } else {
            EXPECT_NE(o.err.find(e.err), std::string::npos) << label << o.err;
        }
    }
    // None of them recorded a language choice.
    EXPECT_EQ(access((world.dir.path() + "/config/vektrin/settings.ini").c_str(), F_OK), -1);
}

TEST(Conventions, TasksHasAHeaderAndWholeSeconds) {
    ControlWorld world;
    test::writeFile(world.dir.file("doc.json"),
                    R"({"Format": "vektrin-tables", "Version": 1, "Tasks": [
                        {"AppName": "t", "Interval": 2, "StartTime": "10:00:00.250",
                         "EndTime": "11:00:00", "LastDate": "2026-12-07",
                         "LastTime": "09:59:58.999", "EndCode": 1, "ExitCode": 0}]})");
    ASSERT_EQ(world.ctl({"import", world.dir.file("doc.json")}).exitCode, 0);
    const CtlOutcome o = world.ctl({"--at", "2026-12-07 09:00:00", "tasks"});
    EXPECT_EQ(o.out, "AppID\tAppName\tSchedule\tRunType\tStopped\tStatus\tLastChange\tNext\n"
                     "1\tt\tEvery day, beginning from 10:00:00 to 11:00:00 with an interval of 0 "
                     "minute.\tNormal\tFalse\tCompleted successfully\t2026-12-07 09:59:58\t"
                     "2026-12-07 10:00\n");
}

// A log outlives changes of locale: a line in the German format after one in the C format is
// dated by its own format, not by the line before it.
TEST(Conventions, ProtocolSinceReadsEveryDateFormat) {
    ControlWorld world;
    test::writeFile(world.dir.file("Vektrin.log"), "12/01/26 09:00:00 old, C\r\n"
                                                   "12/07/26 09:00:00 new, C\r\n"
                                                   "05.12.2026 09:00:00 old, German\r\n"
                                                   "08.12.2026 09:00:00 new, German\r\n"
                                                   "  a continuation line\r\n");
    const CtlOutcome o =
        world.ctl({"protocol", "--log", world.dir.file("Vektrin.log"), "--since", "2026-12-06"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "12/07/26 09:00:00 new, C\n08.12.2026 09:00:00 new, German\n"
                     "  a continuation line\n");
    EXPECT_EQ(world.ctl({"protocol", "--log", world.dir.file("Vektrin.log"), "-n", "1"}).out,
              "  a continuation line\n");
}

} // namespace
} // namespace vektrin
