#include "condition/condition_errors.h"
#include "condition/evaluator.h"
#include "condition/keyword_table.h"
#include "condition_test_env.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

using FpKind = FloatingPointError::Kind;
constexpr double NoVolume = -1.0 / 1048576.0;

struct Fixture {
    test::RecordingEnvironment env;
    ConditionEvaluator evaluator{env};
    double eval(const std::string& text) {
        const double v = evaluator.EvaluateCondition(text);
        EXPECT_FALSE(evaluator.ConditionError()) << text;
        return v;
    }
};

struct ValueCase {
    const char* text;
    double value;
};

class MathFunctions : public ::testing::TestWithParam<ValueCase> {};

TEST_P(MathFunctions, Value) {
    Fixture f;
    EXPECT_DOUBLE_EQ(f.eval(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Builtins, MathFunctions,
    ::testing::Values(
        ValueCase{"ABS(-2.5)", 2.5}, ValueCase{"ACOS(-1)", M_PI}, ValueCase{"ASIN(1)", M_PI / 2},
        ValueCase{"ATAN(1)", M_PI / 4}, ValueCase{"COSH(1)", std::cosh(1.0)},
        ValueCase{"COS(0)", 1}, ValueCase{"COS(9223372036854775808)", 0}, ValueCase{"EXP(1)", M_E},
        ValueCase{"EXP(-1000)", 0}, ValueCase{"LOG10(1000)", 3}, ValueCase{"LOG(EXP(2))", 2},
        ValueCase{"POW10(2)", 100}, ValueCase{"POW10(-1)", 0.1}, ValueCase{"POW10(0)", 1},
        ValueCase{"POW10(-400)", 0}, ValueCase{"ROUND(2.5)", 2}, ValueCase{"ROUND(3.5)", 4},
        ValueCase{"ROUND(-2.5)", -2}, ValueCase{"ROUND(-2.6)", -3},
        ValueCase{"ROUND(0.49999999999999994)", 0},
        ValueCase{"ROUND(-9223372036854775808)", -9223372036854775808.0},
        ValueCase{"SINH(1)", std::sinh(1.0)}, ValueCase{"SIN(1E19)", 0},
        ValueCase{"SIN(1)", std::sin(1.0)}, ValueCase{"SQRT(16)", 4}, ValueCase{"SQR(-3)", 9},
        ValueCase{"TANH(1000)", 1}, ValueCase{"TANH(-1000)", -1},
        ValueCase{"TAN(1)", std::tan(1.0)}, ValueCase{"TAN(1E19)", 0}, ValueCase{"TRUNC(-2.7)", -2},
        ValueCase{"TRUNC(2.7)", 2}, ValueCase{"EQ(0.000009)", 1}, ValueCase{"EQ(-0.000009)", 1},
        ValueCase{"EQ(0.00001)", 0}, ValueCase{"GT(0)", 0}, ValueCase{"GT(1)", 1},
        ValueCase{"GE(0)", 1}, ValueCase{"GE(-1)", 0}, ValueCase{"LT(0)", 0},
        ValueCase{"LT(-1)", 1}, ValueCase{"LE(0)", 1}, ValueCase{"LE(1)", 0}));

struct ErrorCase {
    const char* text;
    FpKind kind;
};

class DomainErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DomainErrors, Raise) {
    Fixture f;
    try {
        f.evaluator.EvaluateCondition(GetParam().text);
        ADD_FAILURE() << GetParam().text << " returned";
    } catch (const FloatingPointError& e) {
        EXPECT_EQ(e.kind(), GetParam().kind) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Builtins, DomainErrors,
    ::testing::Values(
        ErrorCase{"SQRT(-1)", FpKind::InvalidOperation},
        ErrorCase{"ASIN(1.5)", FpKind::InvalidOperation},
        ErrorCase{"ACOS(-1.01)", FpKind::InvalidOperation},
        ErrorCase{"LOG(-1)", FpKind::InvalidOperation}, ErrorCase{"LOG(0)", FpKind::DivisionByZero},
        ErrorCase{"LOG10(-1)", FpKind::InvalidOperation},
        ErrorCase{"LOG10(0)", FpKind::DivisionByZero},
        ErrorCase{"ROUND(1E19)", FpKind::InvalidOperation},
        ErrorCase{"TRUNC(-1E19)", FpKind::InvalidOperation},
        ErrorCase{"ROUND(9223372036854775807)", FpKind::InvalidOperation},
        ErrorCase{"TRUNC(1/0)", FpKind::InvalidOperation}, ErrorCase{"EXP(710)", FpKind::Overflow},
        ErrorCase{"POW10(309)", FpKind::Overflow}, ErrorCase{"COSH(711)", FpKind::Overflow},
        ErrorCase{"SINH(-711)", FpKind::Overflow}, ErrorCase{"SQR(1E200)", FpKind::Overflow}));

TEST(Builtins, ErrorTextsAreTheOperatorTexts) {
    EXPECT_STREQ(FloatingPointError(FpKind::InvalidOperation).what(),
                 "Invalid floating point operation");
    EXPECT_STREQ(FloatingPointError(FpKind::DivisionByZero).what(),
                 "Floating point division by zero");
    EXPECT_STREQ(FloatingPointError(FpKind::Overflow).what(), "Floating point overflow");
    EXPECT_STREQ(DateEncodeError().what(), "Invalid argument to date encode");
}

TEST(Builtins, DateTextsFollowTheRegionalSettings) {
    Fixture f;
    f.env.settings.shortDateFormat = "dd.mm.yyyy";
    f.env.settings.dateSeparator = '.';
    const ValueCase cases[] = {
        {"DATIM('01.02.2003')", 37653},
        {"DATE('01.02.2003 12:00')", 37653.5},
        {"TIME('18:00')", 0.75},
        {"DATIM('garbage')", 0},
        {"DATIM('')", 0},
        {"DATIM('31.02.2003')", 0},
        {"DATIM('01.01.1899 06:00')", -363.25},
    };
    for (const ValueCase& c : cases)
        EXPECT_DOUBLE_EQ(f.eval(c.text), c.value) << c.text;
}

// A real directory, written in lower case and named by the conditions in upper case.
class FileFunctions : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vkcond.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        makeFile("a.dat", 1000);
        makeFile("b.dat", 1000);
        makeFile(".hidden.dat", 24);
        makeFile("notes.txt", 10);
        std::filesystem::create_directories(dir + "/sub.dat");
        std::filesystem::create_directories(dir + "/empty/inner");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void makeFile(const std::string& name, off_t size) {
        const int fd = open((dir + "/" + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    std::string upper(std::string s) const {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    // The call with the directory in front of `relative`, as an operator would type it.
    std::string call(const std::string& function, const std::string& relative) const {
        return function + "('" + upper(dir) + relative + "')";
    }

    Fixture f;
    std::string dir;
};

TEST_F(FileFunctions, CountsAndSizes) {
    const ValueCase cases[] = {
        {"FC", 3}, // a, b and the hidden file; the directory sub.dat never counts
        {"FSB", 2024},
        {"FSK", 2024.0 / 1024},
        {"FSIZE", 2024.0 / 1048576},
        {"FE", 1},
        {"NFE", 0},
        {"DE", 1},
        {"NDE", 0},
    };
    for (const ValueCase& c : cases)
        EXPECT_DOUBLE_EQ(f.eval(call(c.text, "/*.DAT")), c.value) << c.text;

    const ValueCase patterns[] = {
        {"/?.DAT", 2},  {"/*.*", 4},     {"/*", 4},        {"\\NOTES.TXT", 1},
        {"", 0},        {"/", 0},        {"/EMPTY/*", 0},  {"/SUB.DAT", 0},
        {"/NONE/*", 0}, {"/*.DAT/X", 0}, {"/[AB].DAT", 0},
    };
    for (const ValueCase& c : patterns)
        EXPECT_DOUBLE_EQ(f.eval(call("FC", c.text)), c.value) << c.text;
    EXPECT_DOUBLE_EQ(f.eval(call("FSK", "/?.DAT")), 1.953125);
    EXPECT_DOUBLE_EQ(f.eval("FC('D:" + upper(dir) + "/*')"), 0);
}

TEST_F(FileFunctions, FileAgeAtTwoSecondResolution) {
    struct tm local {};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_min = 34;
    local.tm_sec = 57;
    local.tm_isdst = -1;
    const time_t stamp = mktime(&local);
    const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/a.dat").c_str(), times, 0), 0);
    const double expected = *tryEncodeDate(2021, 6, 15) + *tryEncodeTime(12, 34, 56);

    EXPECT_DOUBLE_EQ(f.eval(call("FAGE", "/A.DAT")), expected);
    EXPECT_DOUBLE_EQ(f.eval(call("FDATE", "/A.DAT")), *tryEncodeDate(2021, 6, 15));
    EXPECT_DOUBLE_EQ(f.eval(call("FDATE", "/A.DAT") + "+" + call("FTIME", "/A.DAT")), expected);
    // The first match in name order decides, whatever comes after it.
    EXPECT_DOUBLE_EQ(f.eval(call("FAGE", "/A.*")), expected);
}

TEST_F(FileFunctions, FileAgeWithoutAFileFails) {
    const struct timespec old[2] = {{0, 0}, {0, 0}}; // 1970: before the DOS calendar
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/notes.txt").c_str(), old, 0), 0);
    for (const std::string& text :
         {call("FAGE", "/MISSING"), call("FDATE", "/SUB.DAT"), call("FTIME", "/NOTES.TXT"),
          call("FE", "/MISSING") + "&GT(" + call("FAGE", "/MISSING") + ")"}) {
        EXPECT_THROW(f.evaluator.EvaluateCondition(text), DateEncodeError) << text;
    }
}

TEST_F(FileFunctions, DiskSpace) {
    const double free = f.eval(call("DFREE", ""));
    const double total = f.eval(call("DSIZE", "/NOTES.TXT"));
    EXPECT_GT(free, 0);
    EXPECT_GE(total, free);
    for (const char* path : {"Q:\\", "\\\\SERVER\\SHARE", "/NO/SUCH/PATH", ""})
        EXPECT_DOUBLE_EQ(f.eval(std::string("DFREE('") + path + "')"), NoVolume) << path;
    EXPECT_DOUBLE_EQ(f.eval("DSIZE('Q:\\')"), NoVolume);
}

} // namespace
} // namespace vektrin
