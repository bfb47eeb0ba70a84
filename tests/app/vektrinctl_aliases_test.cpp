// The real vektrinctl names the aliases file it could not use, and every place it looked in when
// there is none.

#include "support/run_program.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vektrin {
namespace {

TEST(VektrinctlAliases, TheFileOrThePlacesAreNamed) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.file("tables"));
    std::filesystem::create_directories(dir.file("user/vektrin/aliases.ini"));
    test::writeFile(dir.file("bom.ini"), "\xEF\xBB\xBF[control]\r\nPATH=tables\r\n");
    const std::string ctl = std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl";
    const std::vector<std::string> base = {"LC_ALL=C", "HOME=" + dir.path()};
    struct Case {
        std::vector<std::string> env;
        int exitCode;
        std::string err; // a part of standard error
    } cases[] = {
        {{"VEKTRIN_ALIASES=" + dir.file("bom.ini")}, 0, ""},
        {{"XDG_CONFIG_HOME=" + dir.file("user"), "XDG_CONFIG_DIRS=" + dir.file("system")},
         2,
         "Cannot read the aliases file " + dir.file("user/vektrin/aliases.ini") +
             ": Is a directory"},
        {{"XDG_CONFIG_HOME=" + dir.file("none"), "XDG_CONFIG_DIRS=" + dir.file("system")},
         2,
         "there is no aliases file (" + dir.file("none/vektrin/aliases.ini") + ", " +
             dir.file("system/vektrin/aliases.ini") + ")"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> env = base;
        env.insert(env.end(), c.env.begin(), c.env.end());
        const auto outcome = test::runProgram(ctl, {"tasks"}, env);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
    }
}

} // namespace
} // namespace vektrin
