#include "platform/regional_locales.h"
#include "platform/regional_parse.h"
#include "support/scoped_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <locale.h>
#include <optional>
#include <set>
#include <string>

namespace vektrin {
namespace {

RegionalSettings settings(std::string dateFormat, char dateSeparator, char timeSeparator = ':') {
    RegionalSettings r;
    r.shortDateFormat = std::move(dateFormat);
    r.dateSeparator = dateSeparator;
    r.timeSeparator = timeSeparator;
    return r;
}

double dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s);
}

struct ParseCase {
    RegionalSettings settings;
    std::string text;
    std::optional<double> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

constexpr int ReferenceYear = 2024;

class DateTimeTexts : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DateTimeTexts, ParseDateTime) {
    const ParseCase& c = GetParam();
    const auto v = parseDateTimeFor(c.settings, c.text, ReferenceYear);
    ASSERT_EQ(v.has_value(), c.expected.has_value()) << c.text;
    if (v) {
        EXPECT_DOUBLE_EQ(*v, *c.expected) << c.text;
    }
}

const RegionalSettings Dmy = settings("dd.mm.yyyy", '.');
const RegionalSettings Mdy = settings("mm/dd/yy", '/');
const RegionalSettings Ymd = settings("yyyy-mm-dd", '-');

INSTANTIATE_TEST_SUITE_P(
    Regional, DateTimeTexts,
    ::testing::Values(
        ParseCase{Dmy, "01.02.2003", 37653}, ParseCase{Dmy, "  1.2.2003  ", 37653},
        ParseCase{Dmy, "01.02.2003 12:00", 37653.5},
        ParseCase{Dmy, "01.02.2003  06:30:15", dt(2003, 2, 1, 6, 30, 15)},
        ParseCase{Dmy, "01.02.2003 6:30 pm", dt(2003, 2, 1, 18, 30)},
        ParseCase{Dmy, "29.12.1899 06:00", -1.25}, // before day 0 the time is subtracted
        ParseCase{Dmy, "01.02", dt(ReferenceYear, 2, 1)},
        ParseCase{Dmy, "01.02.03", dt(2003, 2, 1)}, ParseCase{Dmy, "01.02.74", dt(1974, 2, 1)},
        ParseCase{Dmy, "01.02.73", dt(2073, 2, 1)}, ParseCase{Dmy, "01.02.0099", dt(99, 2, 1)},
        ParseCase{Mdy, "02/01/2003", 37653}, ParseCase{Mdy, "2/1", dt(ReferenceYear, 2, 1)},
        ParseCase{Ymd, "2003-02-01", 37653}, ParseCase{Ymd, "02-01", dt(ReferenceYear, 2, 1)},
        ParseCase{Dmy, "12:00", 0.5}, ParseCase{Dmy, "23:59:59", dt(1899, 12, 30, 23, 59, 59)},
        ParseCase{Dmy, "12:00 AM", 0}, ParseCase{Dmy, "12:30PM", dt(1899, 12, 30, 12, 30)},
        ParseCase{settings("dd.mm.yyyy", '.', '.'), "10.30", dt(1899, 12, 30, 10, 30)},
        // refused
        ParseCase{Dmy, "garbage", std::nullopt}, ParseCase{Dmy, "", std::nullopt},
        ParseCase{Dmy, "31.02.2003", std::nullopt}, ParseCase{Dmy, "01/02/2003", std::nullopt},
        ParseCase{Dmy, "01.02.2003x", std::nullopt}, ParseCase{Dmy, "01.02.", std::nullopt},
        ParseCase{Dmy, "1.2.3.4", std::nullopt}, ParseCase{Dmy, "001.02.2003", std::nullopt},
        ParseCase{Dmy, "01.02.20031", std::nullopt}, ParseCase{Dmy, "24:00", std::nullopt},
        ParseCase{Dmy, "12:60", std::nullopt}, ParseCase{Dmy, "13:00 PM", std::nullopt},
        ParseCase{Dmy, "12", std::nullopt}, ParseCase{Dmy, "12:00 XM", std::nullopt},
        ParseCase{Dmy, "01.02.2003 12", std::nullopt},
        ParseCase{Dmy, std::string("01.02\0.2003", 11), std::nullopt}));

TEST(Regional, DateAndTimeAloneRefuseTheOther) {
    EXPECT_FALSE(parseDateFor(Dmy, "01.02.2003 12:00", ReferenceYear));
    EXPECT_FALSE(parseTimeFor(Dmy, "01.02.2003"));
    EXPECT_DOUBLE_EQ(*parseDateFor(Dmy, "01.02.2003", ReferenceYear), 37653);
    EXPECT_DOUBLE_EQ(*parseTimeFor(Dmy, " 18:00 "), 0.75);
}

TEST(Regional, TwoDigitYearsFallWithinFiftyYearsOfTheReference) {
    struct Case {
        int reference;
        const char* text;
        int year;
    };
    for (const Case& c :
         {Case{2024, "1.1.74", 1974}, Case{2024, "1.1.73", 2073}, Case{2050, "1.1.00", 2000},
          Case{2050, "1.1.99", 2099}, Case{2000, "1.1.50", 1950}, Case{2000, "1.1.49", 2049}})
        EXPECT_DOUBLE_EQ(*parseDateFor(Dmy, c.text, c.reference), dt(c.year, 1, 1))
            << c.reference << " " << c.text;
}

TEST(Regional, MemberFunctionsUseTheCurrentYear) {
    EXPECT_DOUBLE_EQ(*Dmy.parseDateTime("01.02.2003"), 37653);
    EXPECT_DOUBLE_EQ(*Dmy.parseDate("01.02"), dt(currentLocalYear(), 2, 1));
    EXPECT_DOUBLE_EQ(*Dmy.parseTime("06:00"), 0.25);
}

// ------------------------------------------------------------------ installed locales

bool installed(const char* name) {
    const locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return false;
    freelocale(loc);
    return true;
}

TEST(InstalledLocales, AreTheOnesTheLocaleProgramLists) {
    FILE* p = popen("locale -a 2>/dev/null", "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> listed;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) {
        std::string name = buffer;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        if (name != "C" && name != "POSIX" && !name.empty()) listed.insert(name);
    }
    if (pclose(p) != 0 && listed.empty()) GTEST_SKIP() << "no locale program";
    const std::vector<std::string> names = installedLocaleNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), listed);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

TEST(InstalledLocales, ShortDateFormatOfEachLocaleIsTheOneItsProgramsWrite) {
    struct Case {
        const char* locale;
        std::optional<std::string> format;
    };
    const Case cases[] = {
        {"C", "mm/dd/yy"},
        {"POSIX", "mm/dd/yy"},
        {"en_US.UTF-8", "mm/dd/yyyy"},
        {"en_US.utf8", "mm/dd/yyyy"},
        {"de_DE.UTF-8", "dd.mm.yyyy"},
        {"ru_RU.UTF-8", "dd.mm.yyyy"},
        {"xx_NOWHERE.UTF-8", std::nullopt},
        {"../../etc/passwd", std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.format && !installed(c.locale)) {
            ADD_FAILURE() << c.locale << " is not installed (scripts/deps generates it)";
            continue;
        }
        EXPECT_EQ(shortDateFormatOfLocale(c.locale), c.format) << c.locale;
        if (c.format) {
            EXPECT_EQ(RegionalSettings::fromLocale(c.locale).shortDateFormat, *c.format)
                << c.locale;
        }
    }
}

TEST(InstalledLocales, PlatformFormatsStartWithTheCLocaleAndHoldEveryInstalledOne) {
    const std::vector<std::string>& formats = platformShortDateFormats();
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front(), "mm/dd/yy");
    EXPECT_EQ(std::set<std::string>(formats.begin(), formats.end()).size(), formats.size());
    for (const std::string& name : installedLocaleNames()) {
        const auto format = shortDateFormatOfLocale(name.c_str());
        ASSERT_TRUE(format) << name;
        EXPECT_THAT(formats, ::testing::Contains(*format)) << name;
    }
    // Worked out once.
    EXPECT_EQ(&platformShortDateFormats(), &formats);
}

TEST(InstalledLocales, LocpathReplacesTheDefaultPlaces) {
    test::ScopedEnv locpath("LOCPATH", "/nonexistent-vektrin-locales");
    EXPECT_TRUE(installedLocaleNames().empty());
}

} // namespace
} // namespace vektrin
