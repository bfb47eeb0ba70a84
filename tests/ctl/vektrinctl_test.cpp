// What a user of vektrinctl sees: eval and expand, and the one table of usage errors, exit codes
// and their messages.

#include "ctl/in_process.h"
#include "platform/version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vektrin {
namespace {

using test::CtlCase;

const std::string At = "2024-03-07 09:05:04";
const std::string Nested18 = std::string(18, '(') + "1" + std::string(18, ')');

TEST(Vektrinctl, EvalAndExpand) {
    const CtlCase cases[] = {
        {{"eval", "1+2*3"}, 0, "7\n", ""},
        {{"eval", "1/3"}, 0, "0.333333333333333\n", ""},
        {{"eval", "1/0"}, 0, "inf\n", ""},
        {{"eval", "-(-2)"}, 0, "2\n", ""},
        {{"eval", "--2"}, 1, "syntax error\n", ""},
        {{"eval", "2 3"}, 1, "syntax error\n", ""},
        {{"eval", "sqrt(-1)"}, 2, "", "Invalid floating point operation\n"},
        {{"eval", "1E400"}, 2, "", "Floating point overflow\n"},
        {{"eval", "fage('/no/such/file')"}, 2, "", "Invalid argument to date encode\n"},
        {{"eval", Nested18}, 1, "syntax error\n", "Очень сложное выражение.\n"},
        // 2024-03-07 09:05 as a day count
        {{"--at", At, "eval", "DATIM('%TMM%/%TDD%/%TYY% %TIMEH%:%TIMEM%')"},
         0,
         "45358.3784722222\n",
         ""},
        {{"--trace", "eval", "gt(%dow%)"}, 0, "1\n", " : GT(", false, true},
        {{"--at", At, "--trace", "eval", "%dow%"}, 0, "4\n", " : 4\n", false, true},
        {{"--at", At, "expand", "%TCY%-%tmm%-%TDD% %TIMEH%:%TIMEM%:%TIMES%"},
         0,
         "2024-03-07 09:05:04\n",
         ""},
        {{"--at", At, "expand", "run %NCY%%NCM% %KDD% %DWN%"}, 0, "run 20243 07 1\n", ""},
        {{"expand", "-v"}, 0, "-v\n", ""},
        // Global options after the command.
        {{"expand", "%TDD%", "--at", "2024-03-07"}, 0, "07\n", ""},
    };
    // The C locale: short dates mm/dd/yy, decimal point ".".
    for (const CtlCase& c : cases)
        test::expectOutcome(c, test::runVektrinctl(c.args));
}

// Wrong use is status 64 with the usage on standard error and nothing on standard output; a task
// or table not found is 1, a refusal of the tables 2; help and versions go to standard output.
// Standard error as it is printed, with its "vektrinctl: ".
TEST(VektrinctlUsage, ExitCodesAndMessages) {
    test::AliasDir tables;
    tables.write([](TDataCtrl& dm) {
        for (const char* name : {"twin", "twin", "7"}) {
            dm.Table1.append();
            dm.Table1AppName.setString(name);
            dm.Table1.post();
        }
    });
    test::writeFile(tables.file("orlimb.ini"), "[Orlimb]\npath=/tmp\n");
    const std::string usage = "Usage:";
    const CtlCase cases[] = {
        {{}, 64, "", usage, false, true},
        {{"help", "frobnicate"}, 64, "", usage, false, true},
        {{"help", "nosuch"}, 64, "", "vektrinctl: unknown command 'nosuch'", false, true},
        {{"status", "--bogus"}, 64, "", usage, false, true},
        {{"--bogus", "eval", "1"}, 64, "", usage, false, true},
        {{"eval"}, 64, "", usage, false, true},
        {{"frobnicate", "1"}, 64, "", usage, false, true},
        {{"--at", "2024-02-30 00:00:00", "eval", "1"}, 64, "", usage, false, true},
        {{"--at", "noon", "expand", "x"}, 64, "", usage, false, true},
        {{"add"}, 64, "", usage, false, true},
        {{"next"}, 64, "", "vektrinctl: next needs a TASK or a schedule", false, true},
        {{"next", "twin", "-n", "0"}, 64, "", usage, false, true},
        {{"tasks", "--bogus"}, 64, "", usage, false, true},
        {{"import"}, 64, "", usage, false, true},
        {{"due", "--bogus"}, 64, "", usage, false, true},
        // The word that is wrong named, with what was meant.
        {{"tsks"},
         64,
         "",
         "vektrinctl: unknown command 'tsks'; did you mean 'tasks'?\nUsage: vektrinctl [OPTIONS] "
         "COMMAND [ARGS]\nTry 'vektrinctl --help' for more information.\n"},
        {{"resource", "lst"},
         64,
         "",
         "vektrinctl: unknown command 'lst'; did you mean 'list'?\nUsage: vektrinctl resource "
         "[OPTIONS] COMMAND [ARGS]\nTry 'vektrinctl resource --help' for more information.\n"},
        {{"tasks", "--jsn"},
         64,
         "",
         "vektrinctl: unknown option '--jsn' for 'tasks'; did you mean '--json'?\nUsage: "
         "vektrinctl tasks [OPTIONS]\nTry 'vektrinctl tasks --help' for more information.\n"},
        {{"next", "-n", "abc", "x"},
         64,
         "",
         "vektrinctl: -n takes a whole number from 1 to 100000, not 'abc'\nUsage: vektrinctl "
         "next [OPTIONS] [TASK]\nTry 'vektrinctl next --help' for more information.\n"},
        {{"help", "ad"},
         64,
         "",
         "vektrinctl: unknown command 'ad'; did you mean 'add'?\nUsage: vektrinctl [OPTIONS] "
         "COMMAND [ARGS]\nTry 'vektrinctl --help' for more information.\n"},
        {{"eval", "1", "2"},
         64,
         "",
         "vektrinctl: unexpected argument '2' for 'eval'\nUsage: vektrinctl eval [OPTIONS] "
         "CONDITION\nTry 'vektrinctl eval --help' for more information.\n"},
        {{"rm"},
         64,
         "",
         "vektrinctl: missing TASK\nUsage: vektrinctl rm [OPTIONS] TASK\nTry 'vektrinctl rm "
         "--help' for more information.\n"},
        {{"next", "nosuch"}, 1, "", "No task has the AppID or AppName nosuch", false, true},
        {{"next", "twin"}, 1, "", "twin", false, true}, // two tasks of that name
        {{"--aliases", tables.file("orlimb.ini"), "tasks"},
         2,
         "",
         "alias Control is not defined",
         false,
         true},
        {{"--at", At, "next", "2", "-n", "1"}, 0, "2024-03-07 09:06\n", ""},
        // No AppID 7: the name "7" is looked for instead.
        {{"--at", At, "next", "7", "-n", "1"}, 0, "2024-03-07 09:06\n", ""},
        // Help names the whole command and its own options, and no parser marks.
        {{"--help"}, 0, "Usage: vektrinctl", "", true},
        {{"--version"}, 0, "vektrinctl " + fileVersion() + "\n", ""},
        {{"help"}, 0, "Subcommands:", "", true},
        {{"add", "--help"}, 0, "--command", "", true},
        {{"help", "add"}, 0, "--wait-if-busy", "", true},
        {{"help", "resource", "add"}, 0, "--max-wait", "", true},
        {{"next", "--help"}, 0, "--count", "", true},
        {{"help", "set"}, 0, "Usage: vektrinctl set ", "", true},
    };
    for (const CtlCase& c : cases) {
        const auto o =
            test::runVektrinctl(c.args,
                                {"LC_ALL=C", "TZ=UTC", "VEKTRIN_ALIASES=" + tables.aliases(),
                                 "XDG_CONFIG_HOME=" + tables.file("config")},
                                true);
        test::expectOutcome(c, o);
        EXPECT_EQ(o.out.find('{'), std::string::npos) << test::joined(c.args) << "\n" << o.out;
    }
    // None of them recorded a language choice.
    EXPECT_EQ(access(tables.file("config/vektrin/settings.ini").c_str(), F_OK), -1);
}

} // namespace
} // namespace vektrin
