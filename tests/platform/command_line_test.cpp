#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* line;
    Words expected;
};

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, SplitsLikeTheShellWithoutExpanding) {
    SplitCommandLine split = splitCommandLine(GetParam().line);
    EXPECT_FALSE(split.unclosedQuote);
    EXPECT_EQ(split.arguments, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineSplit,
    ::testing::Values(
        SplitCase{"", {}}, SplitCase{" \t  ", {}}, SplitCase{"ls", {"ls"}},
        SplitCase{"  cp   a\tb  ", {"cp", "a", "b"}},
        // Single quotes keep everything, backslashes and double quotes included.
        SplitCase{R"(echo 'a  b' 'c\d' '"')", {"echo", "a  b", R"(c\d)", "\""}},
        // Double quotes: only \" \\ \$ \` are escapes; other backslashes stay.
        SplitCase{R"(echo "a \"b\" \\ \$x \` \n")", {"echo", R"(a "b" \ $x ` \n)"}},
        SplitCase{R"(echo "it's")", {"echo", "it's"}},
        // Outside quotes a backslash takes the next character literally.
        SplitCase{R"(echo a\ b \'c \\ \")", {"echo", "a b", "'c", "\\", "\""}},
        SplitCase{"echo trailing\\", {"echo", "trailing\\"}},
        // Quoted parts join the word they touch; empty quotes make an empty word.
        SplitCase{R"(x"y"'z' '' "")", {"xyz", "", ""}}, SplitCase{"''", {""}},
        // Nothing is expanded.
        SplitCase{"echo $HOME ~ * `id` $(id) %TDD%",
                  {"echo", "$HOME", "~", "*", "`id`", "$(id)", "%TDD%"}},
        // A backslash before a line break joins the lines; a bare line break separates.
        SplitCase{"a\\\nb c\nd", {"ab", "c", "d"}}, SplitCase{"\"a\\\nb\"", {"ab"}},
        SplitCase{"prog --opt=\"two words\"", {"prog", "--opt=two words"}},
        SplitCase{"/opt/my\\ app/run 'Отчёт.txt'", {"/opt/my app/run", "Отчёт.txt"}}));

TEST(CommandLineSplit, UnclosedQuoteMakesTheLineUnusable) {
    for (const char* line :
         {"'", "\"", "echo 'abc", "echo \"abc", "echo \"a\\\"", "echo 'a\"", "a\"b'c"}) {
        SplitCommandLine split = splitCommandLine(line);
        EXPECT_TRUE(split.unclosedQuote) << line;
        EXPECT_TRUE(split.arguments.empty()) << line;
    }
}

TEST(CommandLineSplit, LongRunsOfQuotes) {
    for (char quote : {'"', '\''}) {
        SplitCommandLine even = splitCommandLine(std::string(120, quote));
        EXPECT_FALSE(even.unclosedQuote);
        EXPECT_EQ(even.arguments, Words{""});
        EXPECT_TRUE(splitCommandLine(std::string(119, quote)).unclosedQuote);
    }
    std::string mixed;
    for (int i = 0; i < 60; ++i)
        mixed += i % 2 ? "'\"" : "\"'";
    // "'  '"  "'  '" ...: each double-quoted part holds two apostrophes.
    SplitCommandLine split = splitCommandLine(mixed);
    EXPECT_FALSE(split.unclosedQuote);
    EXPECT_EQ(split.arguments, Words{std::string(60, '\'')});
}

} // namespace
} // namespace vektrin
