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
