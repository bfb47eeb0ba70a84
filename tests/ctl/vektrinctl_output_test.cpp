// vektrinctl output against kept runs of the state directory: the last run, an earlier one, the
// list, and what is refused.

#include "ctl/in_process.h"
#include "platform/run_output.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

TEST(VektrinctlOutput, PrintsListsAndRefuses) {
    test::AliasDir tables;
    for (const char* name : {"backup", "quiet"})
        ASSERT_EQ(tables.ctl({"add", name, "--command", "x"}).exitCode, 0);
    const std::string root = tables.state() + "/vektrin/output";
    // A kept run of task 1; without an end it still goes on.
    const auto keep = [&](int h, const std::string& text, std::optional<RunEnd> end) {
        const NewRunFile file =
            createRunFile(root, 1, *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(h, 0, 0));
        EXPECT_EQ(file.error, "");
        test::writeFile(file.path, text);
        if (end) {
            EXPECT_EQ(recordRunEnd(file.path, *end), "");
        }
    };
    const auto at = [](int h, int m, int s) {
        return *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(h, m, s);
    };
    keep(9, "older\n", RunEnd{at(9, 0, 5), 1, 0});
    keep(10, "out\nerr \xff\xfe\n", RunEnd{at(10, 0, 2), 1, 3});
    keep(10, "second in that second\n", RunEnd{at(10, 1, 0), 3, std::nullopt});
    keep(11, "still going\n", std::nullopt);

    const test::CtlCase cases[] = {
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
        {{"output", "quiet"}, 1, "", "No run of quiet is kept in " + root + "/2\n"},
        {{"output", "quiet", "--list"}, 0, "", "No run of quiet is kept in " + root + "/2\n"},
        {{"output", "nosuch"}, 1, "", "nosuch", false, true},
        {{"output", "backup", "--run", "0"}, 64, "", "Usage:", false, true},
        {{"output", "backup", "--list", "--run", "2"}, 64, "", "Usage:", false, true},
        {{"output"}, 64, "", "Usage:", false, true},
    };
    for (const test::CtlCase& c : cases)
        test::expectOutcome(c, tables.ctl(c.args));
}

} // namespace
} // namespace vektrin
