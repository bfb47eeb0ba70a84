// vektrinctl timeline: its launches against `vektrinctl next` for every kind of
// schedule (also across a clock change), and what it says to bad input, an empty table and a
// table of 10,000 tasks.

#include "ctl/in_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace vektrin {
namespace {

using test::readFile;
using test::writeFile;
using Json = nlohmann::ordered_json;

using Outcome = test::ProgramOutcome;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// An alias directory whose tables hold a document imported by vektrinctl.
class Tables : public test::AliasDir {
  public:
    explicit Tables(const Json& document) {
        Json doc = document;
        doc["Format"] = "vektrin-tables";
        doc["Version"] = 1;
        writeFile(file("doc.json"), doc.dump());
        const Outcome o = ctl({"import", file("doc.json")});
        EXPECT_EQ(o.exitCode, 0) << o.err;
    }
    Outcome ctl(std::vector<std::string> args, const std::string& tz = "UTC") const {
        return AliasDir::ctl(std::move(args), {"TZ=" + tz});
    }
};

Json task(const std::string& name, int interval, const char* startTime, const char* endTime,
          int repeat, Json startDate = nullptr, Json endDate = nullptr) {
    return Json{{"AppName", name},        {"Application", "true"},   {"Interval", interval},
                {"StartDate", startDate}, {"StartTime", startTime},  {"EndDate", endDate},
                {"EndTime", endTime},     {"RepeatInterval", repeat}};
}

// Every kind, with windows that cross the clock change of the last Sunday of March in Berlin,
// starts with seconds, and silence periods that cut into them.
Json everyKind() {
    Json tasks = Json::array({
        task("every minute", 0, "00:00:00", "00:00:00", 0),
        task("hourly 10 to 50 by 20", 1, "00:10:00", "00:50:00", 20),
        task("daily 01:30 to 03:30 by 15", 2, "01:30:00", "03:30:00", 15),
        task("daily with seconds", 2, "08:00:30", "09:00:00", 7),
        task("weekly on Sundays", 3, "02:00:00", "02:59:00", 10, "0001-01-07"),
        task("monthly 29th to 31st", 4, "12:00:00", "13:00:00", 30, "0001-01-29", "0001-01-31"),
        task("yearly into April", 5, "23:00:00", "23:59:00", 0, "2024-03-30", "2024-04-02"),
        task("kind 6", 0, "00:00:00", "23:59:00", 1), // made 6 in the table: never due
        task("repeat of a day and a half", 2, "00:00:00", "23:59:00", 2160),
    });
    Json silence = Json::array({
        Json{{"Interval", 2},
             {"StartDate", nullptr},
             {"StartTime", "02:30:00"},
             {"EndDate", nullptr},
             {"EndTime", "02:45:00"}},
        Json{{"Interval", 3},
             {"StartDate", "0001-01-06"},
             {"StartTime", "00:00:00"},
             {"EndDate", nullptr},
             {"EndTime", "12:00:00"}},
    });
    return Json{{"Tasks", tasks}, {"Resources", Json::array()}, {"SilencePeriods", silence}};
}

class TimelineAgainstNext : public ::testing::TestWithParam<const char*> {};

TEST_P(TimelineAgainstNext, SameMomentsForEveryKind) {
    const std::string tz = GetParam();
    const Tables tables(everyKind());
    // A change no command makes: import refuses what the editors cannot store.
    tables.sql("UPDATE \"Vektrin\" SET \"Interval\" = 6 WHERE \"AppName\" = 'kind 6'");
    const std::string at = "2024-03-27 10:00:30";
    // Seven days from --at; the minutes the period ends with begin before 2024-04-03 10:00:30.
    const std::string end = "2024-04-03 10:00";
    for (int id = 1; id <= 9; ++id) {
        const Outcome next =
            tables.ctl({"--at", at, "next", std::to_string(id), "-n", "20000"}, tz);
        ASSERT_EQ(next.exitCode, 0) << next.err;
        std::vector<std::string> expected;
        for (const std::string& m : lines(next.out))
            if (m <= end) expected.push_back(m);

        const Outcome timeline = tables.ctl(
            {"--at", at, "timeline", "--text", "--days", "7", "--task", std::to_string(id)}, tz);
        ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
        std::vector<std::string> launches;
        for (const std::string& line : lines(timeline.out)) {
            const auto tab = line.rfind('\t');
            if (line.compare(tab + 1, std::string::npos, "launch") == 0)
                launches.push_back(line.substr(0, 16));
        }
        EXPECT_EQ(launches, expected) << "task " << id << " in " << tz;
        EXPECT_EQ(timeline.err, expected.empty() ? "No task is due in this period.\n" : "")
            << "task " << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, TimelineAgainstNext,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York"));

struct BadCase {
    std::vector<std::string> args;
    int exitCode;
    std::string err; // the start of standard error
};

TEST(VektrinctlTimeline, BadInputIsNamedAndWritesNothing) {
    const Tables tables(Json{{"Tasks", Json::array({task("backup", 2, "22:00:00", "22:00:00", 0),
                                                    task("twin", 2, "01:00:00", "01:00:00", 0),
                                                    task("twin", 2, "02:00:00", "02:00:00", 0)})}});
    const std::string out = tables.file("out.svg");
    writeFile(out, "the old chart");
    const BadCase cases[] = {
        {{"--from", "2024-03-01", "--to", "2024-04-02"},
         64,
         "The period from 2024-03-01 00:00 to 2024-04-02 00:00 is longer than 31 days.\n"},
        {{"--from", "2024-03-02 10:00", "--to", "2024-03-02 09:59"},
         64,
         "The period must end after it begins: from 2024-03-02 10:00 to 2024-03-02 09:59.\n"},
        {{"--days", "32"}, 64, "--days takes a whole number from 1 to 31, not '32'"},
        {{"--hours", "0"}, 64, "--hours takes a whole number from 1 to 744, not '0'"},
        {{"--to", "2024-03-02", "--days", "2"}, 64, "--to excludes --days"},
        {{"--from", "2024-02-30"}, 64, "--from takes a moment (YYYY-MM-DD, "},
        {{"--from", "2024-03-01 25:00"}, 64, "--from takes a moment (YYYY-MM-DD, "},
        {{"--task", "nosuch", "--task", "backup", "--task", "twin", "--task", "7"},
         1,
         "No task has the AppID or AppName nosuch\n2 tasks are named twin; give the AppID\nNo "
         "task has the AppID or AppName 7\n"},
    };
    for (const BadCase& c : cases) {
        std::vector<std::string> args = {"timeline", "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome o = tables.ctl(args);
        const std::string label = test::joined(c.args);
        EXPECT_EQ(o.exitCode, c.exitCode) << label << o.err;
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err) << label;
        EXPECT_EQ(o.out, "") << label;
        EXPECT_EQ(readFile(out), "the old chart") << label;
    }

    const Outcome unwritable = tables.ctl({"timeline", "-o", tables.file("no/such/dir/out.svg")});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_EQ(unwritable.err, "Cannot write " + tables.file("no/such/dir/out.svg") +
                                  ": No such file or directory\n");

    // AppIDs find what names cannot tell apart; the file is replaced whole.
    const Outcome ok = tables.ctl(
        {"--at", "2024-03-02 00:00:30", "timeline", "--task", "3", "-o", out, "--hours", "3"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    const std::string svg = readFile(out);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("data-app-id=\"3\""), std::string::npos);
    EXPECT_EQ(svg.find("data-app-id=\"2\""), std::string::npos);
}

TEST(VektrinctlTimeline, AnEmptyTableGivesAChartThatSaysSo) {
    const Tables tables(Json{{"Tasks", Json::array()}});
    const Outcome o = tables.ctl({"timeline"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NE(o.out.find(">There are no tasks to show.</text>"), std::string::npos);
    EXPECT_EQ(o.err, "There are no tasks to show.\n");
    const Outcome text = tables.ctl({"timeline", "--text"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "");
}

TEST(VektrinctlTimeline, TenThousandTasksAreDrawnInSections) {
    Json tasks = Json::array();
    for (int i = 0; i < 10000; ++i) {
        const std::string t = (i % 24 < 10 ? "0" : "") + std::to_string(i % 24) + ":00:00";
        Json one = task("task " + std::to_string(i), i % 3 == 0 ? 1 : 2, "00:05:00", t.c_str(),
                        i % 7 * 10);
        one["Conflicts"] = i % 5 == 0 ? 1 : 0;
        tasks.push_back(one);
    }
    const Tables tables(Json{{"Tasks", tasks}});
    const Outcome o = tables.ctl(
        {"--at", "2024-03-04 00:00:30", "timeline", "--days", "7", "-o", tables.file("big.svg")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::string svg = readFile(tables.file("big.svg"));
    EXPECT_NE(svg.find("<g id=\"section-167\""), std::string::npos);
    EXPECT_EQ(svg.find("<g id=\"section-168\""), std::string::npos);
    EXPECT_NE(svg.find("<g id=\"lane-10000\""), std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

} // namespace
} // namespace vektrin
