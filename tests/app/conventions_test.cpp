// What a command-line user expects of the scheduler program: help and version on standard output
// with status 0, wrong use with status 64 and the usage on standard error, an option that is never
// taken for a language. vektrinctl's own are in the usage table of tests/ctl.

#include "app/control_world.h"

#include <gtest/gtest.h>
#include <regex>

namespace vektrin {
namespace {

using test::ControlWorld;
using test::CtlOutcome;

TEST(Conventions, HelpAndVersionOfTheScheduler) {
    ControlWorld world;
    const std::string vektrin = ControlWorld::bin("vektrin");
    if (access(vektrin.c_str(), X_OK) != 0) GTEST_SKIP() << "vektrin was not built";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string out; // a part of standard output
        std::string err; // a part of standard error ("" for none at all)
    } cases[] = {
        {{"--version"}, 0, "vektrin 1.1.0", ""},
        {{"--help"}, 0, "Usage: vektrin [LANGUAGE]", ""},
        {{"-h"}, 0, "Usage: vektrin [LANGUAGE]", ""},
        {{"-x"}, 64, "", "vektrin: unknown option -x\nUsage: vektrin"},
        {{"--language=RUS"}, 64, "", "unknown option --language=RUS"},
    };
    for (const auto& c : cases) {
        const CtlOutcome o = world.runIn(vektrin, c.args, world.work());
        EXPECT_EQ(o.exitCode, c.exitCode) << c.args[0] << o.err;
        EXPECT_NE(o.out.find(c.out), std::string::npos) << c.args[0] << o.out;
        if (c.err.empty()) {
            EXPECT_EQ(o.err, "") << c.args[0];
        } else {
            EXPECT_NE(o.err.find(c.err), std::string::npos) << c.args[0] << o.err;
        }
    }
    // Both programs say the one version: the release's, or a build's after it.
    const std::string version = world.runIn(vektrin, {"--version"}, world.work()).out.substr(8);
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(1\.1\.0(\+git[0-9]+\.[0-9a-f]+)?\n)")))
        << version;
    EXPECT_EQ(world.ctl({"--version"}).out, "vektrinctl " + version);
    // None of them recorded a language choice.
    EXPECT_EQ(access((world.dir.path() + "/config/vektrin/settings.ini").c_str(), F_OK), -1);
}

} // namespace
} // namespace vektrin
