#include "engine/command_string.h"

#include <gtest/gtest.h>

#include <string>

namespace vektrin {
namespace {

double at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s);
}

struct ExpandCase {
    std::string text;
    std::string expected;
};
void PrintTo(const ExpandCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text);
}

class Placeholders : public ::testing::TestWithParam<ExpandCase> {};

// N 1997-12-01, K 1997-10-31, now Thursday 2024-03-07 09:05:04.
TEST_P(Placeholders, Expand) {
    const ExpandCase& c = GetParam();
    EXPECT_EQ(
        UnpackCommandString(c.text, at(1997, 12, 1), at(1997, 10, 31), at(2024, 3, 7, 9, 5, 4)),
        c.expected)
        << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    CommandString, Placeholders,
    ::testing::Values(
        // every placeholder once, in table order
        ExpandCase{"%NDD%|%NMM%|%NYY%|%NCM%", "01|12|97|c"},
        ExpandCase{"%KDD%|%KMM%|%KYY%|%KCM%", "31|10|97|a"},
        ExpandCase{"%TDD%|%TMM%|%TYY%|%TCM%", "07|03|24|3"},
        ExpandCase{"%TIMEH%:%TIMEM%:%TIMES%", "09:05:04"},
        ExpandCase{"%DOW%|%NCY%|%KCY%|%TCY%|%DWN%", "4|1997|1997|2024|1"},
        // case, repetition, neighbours
        ExpandCase{"%tcy%-%TMM%", "2024-03"}, ExpandCase{"%Ndd%%nMm%", "0112"},
        ExpandCase{"a%TDD%b%TDD%c%TDD%", "a07b07c07"},
        ExpandCase{"%NDD%-%KDD%-%NCY%", "01-31-1997"},
        ExpandCase{"copy c:\\data\\%NDD%%NMM%.txt", "copy c:\\data\\0112.txt"},
        // overlapping and partial texts: the first placeholder in table order takes its characters
        ExpandCase{"%NDD%MM%", "01MM%"}, ExpandCase{"%%NDD%%", "%01%"}, ExpandCase{"%NDD", "%NDD"},
        ExpandCase{"%TIME%", "%TIME%"}, ExpandCase{"no placeholders", "no placeholders"},
        ExpandCase{"", ""},
        // characters of code 1 go, like the filler
        ExpandCase{"a\x01"
                   "b",
                   "ab"},
        ExpandCase{std::string("\0%DOW%\x80", 7), std::string("\0"
                                                              "4\x80",
                                                              3)}));

TEST(CommandString, WeekOfMonthAndWeekday) {
    struct Case {
        int day;
        const char* dwn;
    };
    for (const Case& c : {Case{1, "1"}, Case{7, "1"}, Case{8, "2"}, Case{15, "3"}, Case{28, "4"},
                          Case{29, "5"}, Case{31, "5"}}) {
        const double n = at(2024, 3, c.day);
        EXPECT_EQ(UnpackCommandString("%DWN%", n, n, n), c.dwn) << c.day;
    }
    EXPECT_EQ(UnpackCommandString("%DOW%", 0, 0, at(2024, 3, 10)), "7"); // a Sunday
    EXPECT_EQ(UnpackCommandString("%DOW%", 0, 0, at(2024, 3, 11)), "1"); // a Monday
}

TEST(CommandString, MonthCharacters) {
    const std::string expected = "123456789abc";
    for (int m = 1; m <= 12; ++m) {
        const double d = at(2024, m, 1);
        EXPECT_EQ(UnpackCommandString("%TCM%", d, d, d), std::string(1, expected[m - 1])) << m;
    }
}

TEST(CommandString, LongTextsStayLinearAndComplete) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "%tdd%";
    const std::string out = UnpackCommandString(text, 0, 0, at(2024, 3, 7));
    EXPECT_EQ(out.size(), 40000u);
    EXPECT_EQ(out.find_first_not_of("07"), std::string::npos);
}

} // namespace
} // namespace vektrin
