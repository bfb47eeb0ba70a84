// The bash completion as bash runs it: commands, options, and the tasks and resources of the
// tables vektrinctl would use.

#include "app/control_world.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

using test::ControlWorld;

TEST(Completion, OffersCommandsOptionsAndTheNamesInTheTables) {
    if (access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "no bash";
    ControlWorld world;
    ASSERT_EQ(world.ctl({"resource", "add", "3", "modem"}).exitCode, 0);
    ASSERT_EQ(world.ctl({"add", "night backup", "--command", "x"}).exitCode, 0);
    ASSERT_EQ(world.ctl({"add", "noon", "--command", "x"}).exitCode, 0);
    const std::string script = std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl.bash";
    const struct {
        std::string line;
        std::string offered; // the words, one per line
    } cases[] = {
        {"vektrinctl ca", "cancel-wait\n"},
        {"vektrinctl run n", "night\\ backup\nnoon\n"},
        {"vektrinctl stop 1", "1\n"},
        {"vektrinctl set noon --wa", "--wait-if-busy\n"},
        {"vektrinctl add x --window m", "minimized\nmaximized\n"},
        {"vektrinctl add x --conflicts ", "3\nmodem\n"},
        {"vektrinctl silence ", "list\nadd\nset\nrm\n"},
        {"vektrinctl help re", "resource\nresume\n"},
        {"vektrinctl output noon --l", "--list\n"},
        {"vektrinctl timeline --task n", "night\\ backup\nnoon\n"},
        {"vektrinctl o", "output\n"},
        {"vektrinctl protocol --task n", "night\\ backup\nnoon\n"},
        {"vektrinctl protocol --u", "--until\n"},
        {"vektrinctl next -n 1", "1\n10\n100\n"},
        {"vektrinctl next --weekly --from 07:30 --r", "--repeat\n"},
        {"vektrinctl tasks --no", "--no-header\n"},
        {"vektrinctl due --m", "--missed\n"},
        {"vektrinctl import --crontab --s", "--skip-unsupported\n"},
    };
    for (const auto& c : cases) {
        const std::string program = "source " + script +
                                    "\nread -ra COMP_WORDS <<<\"$1\"\n"
                                    "[[ $1 == *' ' ]] && COMP_WORDS+=('')\n"
                                    "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                                    "_vektrinctl\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
        const auto o = world.runIn("/bin/bash", {"-c", program, "bash", c.line}, world.work(), "",
                                   {"PATH=" + std::string(VEKTRIN_BINARY_DIR) + ":/usr/bin:/bin"});
        EXPECT_EQ(o.out, c.offered) << c.line << "\n" << o.err;
    }
}

} // namespace
} // namespace vektrin
