// Runs the real vektrinctl binary and checks what a user sees: output, error text, exit code.

#include "ctl/in_process.h"
#include "support/run_program.h"
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vektrin {
namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome run(const std::vector<std::string>& args) {
    // The C locale: short dates mm/dd/yy, decimal point ".".
    const auto r = test::runVektrinctl(args, {"LC_ALL=C", "TZ=UTC"});
    return Outcome{r.exitCode, r.out, r.err};
}

const std::string At = "2024-03-07 09:05:04";

struct CtlCase {
    std::vector<std::string> args;
    int exitCode;
    std::string out; // exact standard output
    std::string err; // exact standard error, or a part of it when `errContains`
    bool errContains = false;
};
void PrintTo(const CtlCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.args);
}

class Vektrinctl : public ::testing::TestWithParam<CtlCase> {};

TEST_P(Vektrinctl, Run) {
    const CtlCase& c = GetParam();
    const Outcome o = run(c.args);
    std::string label;
    for (const std::string& a : c.args)
        label += a + " ";
    EXPECT_EQ(o.exitCode, c.exitCode) << label;
    EXPECT_EQ(o.out, c.out) << label;
    if (c.errContains) {
        EXPECT_NE(o.err.find(c.err), std::string::npos) << label << "\n" << o.err;
    } else {
        EXPECT_EQ(o.err, c.err) << label;
    }
}

const std::string Nested18 = std::string(18, '(') + "1" + std::string(18, ')');

INSTANTIATE_TEST_SUITE_P(
    Eval, Vektrinctl,
    ::testing::Values(
        CtlCase{{"eval", "1+2*3"}, 0, "7\n", ""},
        CtlCase{{"eval", "1/3"}, 0, "0.333333333333333\n", ""},
        CtlCase{{"eval", "1/0"}, 0, "inf\n", ""}, CtlCase{{"eval", "-(-2)"}, 0, "2\n", ""},
        CtlCase{{"eval", "--2"}, 1, "syntax error\n", ""},
        CtlCase{{"eval", "2 3"}, 1, "syntax error\n", ""},
        CtlCase{{"eval", "sqrt(-1)"}, 2, "", "Invalid floating point operation\n"},
        CtlCase{{"eval", "1E400"}, 2, "", "Floating point overflow\n"},
        CtlCase{{"eval", "fage('/no/such/file')"}, 2, "", "Invalid argument to date encode\n"},
        CtlCase{{"eval", Nested18}, 1, "syntax error\n", "Очень сложное выражение.\n"},
        // 2024-03-07 09:05 as a day count
        CtlCase{{"--at", At, "eval", "DATIM('%TMM%/%TDD%/%TYY% %TIMEH%:%TIMEM%')"},
                0,
                "45358.3784722222\n",
                ""},
        CtlCase{{"--trace", "eval", "gt(%dow%)"}, 0, "1\n", " : GT(", true},
        CtlCase{{"--at", At, "--trace", "eval", "%dow%"}, 0, "4\n", " : 4\n", true}));

INSTANTIATE_TEST_SUITE_P(
    Expand, Vektrinctl,
    ::testing::Values(
        CtlCase{{"--at", At, "expand", "%TCY%-%tmm%-%TDD% %TIMEH%:%TIMEM%:%TIMES%"},
                0,
                "2024-03-07 09:05:04\n",
                ""},
        CtlCase{{"--at", At, "expand", "run %NCY%%NCM% %KDD% %DWN%"}, 0, "run 20243 07 1\n", ""},
        CtlCase{{"expand", "-v"}, 0, "-v\n", ""}));

INSTANTIATE_TEST_SUITE_P(
    Usage, Vektrinctl,
    ::testing::Values(CtlCase{{}, 64, "", "Usage:", true},
                      CtlCase{{"help", "frobnicate"}, 64, "", "Usage:", true},
                      CtlCase{{"status", "--bogus"}, 64, "", "Usage:", true},
                      CtlCase{{"--bogus", "eval", "1"}, 64, "", "Usage:", true},
                      CtlCase{{"eval"}, 64, "", "Usage:", true},
                      CtlCase{{"eval", "1", "2"}, 64, "", "Usage:", true},
                      CtlCase{{"frobnicate", "1"}, 64, "", "Usage:", true},
                      CtlCase{{"--at", "2024-02-30 00:00:00", "eval", "1"}, 64, "", "Usage:", true},
                      CtlCase{{"--at", "noon", "expand", "x"}, 64, "", "Usage:", true}));

} // namespace
} // namespace vektrin
