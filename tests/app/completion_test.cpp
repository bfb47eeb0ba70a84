// The completions as bash runs them: commands, options, and the tasks and resources of the
// tables vektrinctl would use; and the zsh and fish ones, generated alike, offer the same.

#include "app/control_world.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>
#include <sstream>

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

// The three shells' completions as generated: the same commands and the same options of each.
TEST(Completion, BashZshAndFishOfferTheSameCommandsAndOptions) {
    using Offered = std::set<std::string>; // "add", "resource add", "add --command"
    const auto read = [](const char* shell, const std::function<void(const std::string&)>& take) {
        std::istringstream in(
            test::readFile(std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl." + shell));
        for (std::string line; std::getline(in, line);)
            take(line);
    };
    const auto words = [](const std::string& prefix, const std::string& list, Offered& into) {
        std::istringstream in(list);
        for (std::string word; in >> word;)
            into.insert(prefix + word);
    };
    Offered bash, zsh, fish;
    std::smatch m;
    read("bash", [&](const std::string& line) {
        if (std::regex_match(line, m, std::regex(R"re(\s+local commands="(.*)")re")))
            words("", m[1], bash);
        else if (std::regex_match(line, m, std::regex(R"re(\s+\['?([^']+)'?\]='(.*)')re")))
            words(m[1].str() + " ", m[2], bash); // options, or the members of a group
    });
    std::string array;
    read("zsh", [&](const std::string& line) {
        if (std::regex_match(line, m, std::regex(R"re(\s+(\w+)=\()re")))
            array = m[1];
        else if (array == "commands" &&
                 std::regex_match(line, m, std::regex(R"re(\s+'([^:]+):.*)re")))
            zsh.insert(m[1]);
        else if (std::regex_match(line, m, std::regex(R"re(\s+'(.+)' '(.*)')re")))
            words(m[1].str() + " ", m[2], zsh);
    });
    read("fish", [&](const std::string& line) {
        if (std::regex_search(line, m,
                              std::regex(R"re(-n '__vektrinctl_at ?(.*)' -a '(.+)' -d )re")))
            fish.insert(m[1].str() + (m[1].length() ? " " : "") + m[2].str());
        else if (std::regex_search(line, m,
                                   std::regex(R"re(-n '__vektrinctl_at (.+)' -l (\S+))re")))
            fish.insert(m[1].str() + " --" + m[2].str());
    });
    EXPECT_TRUE(bash.contains("resource add --max-wait") && bash.contains("set --no-stopped"));
    EXPECT_EQ(zsh, bash);
    EXPECT_EQ(fish, bash);
}

} // namespace
} // namespace vektrin
