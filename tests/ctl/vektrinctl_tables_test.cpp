// vektrinctl against temporary alias directories: predictions, the pass's reasons, the task lines,
// export and import, the protocol filter, and tables that another connection holds open.

#include "ctl/in_process.h"
#include "engine/held_launches.h"
#include "engine/pass_history.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vektrin {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using Json = nlohmann::ordered_json;

using Outcome = test::ProgramOutcome;

DateTime day(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}
DateTime at(int h, int m, int s = 0) {
    return *tryEncodeTime(h, m, s);
}

struct TaskRow {
    std::string name{};
    int interval = 0;
    DateTime startDate = 0, startTime = 0, endDate = 0, endTime = 0;
    int repeat = 0;
    std::string condition{};
    bool stopped = false;
    double endCode = 0;
};

struct SilenceRow {
    int interval = 0;
    DateTime startDate = 0, startTime = 0, endDate = 0, endTime = 0;
};

// An alias directory whose tables are filled through the data module, as the editors fill them.
class Tables : public test::AliasDir {
  public:
    void add(const std::vector<TaskRow>& tasks, const std::vector<SilenceRow>& silence = {}) {
        test::RecordingMessages messages;
        TDataCtrl dm(path(), messages);
        Transaction written(dm.database()); // one commit, not one a record
        for (const TaskRow& t : tasks) {
            dm.Table1.append();
            dm.Table1AppName.setString(t.name);
            dm.Table1Interval.setInteger(t.interval);
            dm.Table1StartDate.setDateTime(t.startDate);
            dm.Table1StartTime.setDateTime(t.startTime);
            dm.Table1EndDate.setDateTime(t.endDate);
            dm.Table1EndTime.setDateTime(t.endTime);
            dm.Table1RepeatInterval.setInteger(t.repeat);
            dm.Table1StartCondition.setString(t.condition);
            dm.Table1Stopped.setBoolean(t.stopped);
            dm.Table1EndCode.setFloat(t.endCode);
            dm.Table1.post();
        }
        for (const SilenceRow& s : silence) {
            dm.Table3.append();
            dm.Table3Interval.setInteger(s.interval);
            dm.Table3StartDate.setDateTime(s.startDate);
            dm.Table3StartTime.setDateTime(s.startTime);
            dm.Table3EndDate.setDateTime(s.endDate);
            dm.Table3EndTime.setDateTime(s.endTime);
            dm.Table3.post();
        }
        written.commit();
    }

    Outcome ctl(std::vector<std::string> args, const std::string& tz = "UTC") const {
        return AliasDir::ctl(std::move(args), {"TZ=" + tz});
    }
};

// ------------------------------------------------------------------------------------- next

struct NextCase {
    std::string label;
    TaskRow task;
    std::vector<SilenceRow> silence;
    std::string at;
    int count;
    std::string out;
    std::string errPart{}; // empty: no standard error at all
    std::string tz = "UTC";
};

TEST(NextMoments, AsTheScheduleRulesGiveThem) {
    const NextCase cases[] = {
        {"every minute",
         {"", 0},
         {},
         "2024-03-07 09:05:04",
         3,
         "2024-03-07 09:06\n2024-03-07 09:07\n2024-03-07 09:08\n"},
        {"every hour, minutes 15 to 45 by 10, into the next hour",
         {"", 1, 0, at(0, 15), 0, at(0, 45), 10},
         {},
         "2024-03-07 09:40:00",
         3,
         "2024-03-07 09:45\n2024-03-07 10:15\n2024-03-07 10:25\n"},
        {"every day from 08:00:30: first due a minute later, none after the end",
         {"", 2, 0, at(8, 0, 30), 0, at(17, 0), 30},
         {},
         "2024-03-07 16:40:00",
         3,
         "2024-03-08 08:01\n2024-03-08 08:31\n2024-03-08 09:01\n"},
        {"every day, no repeat: once per window",
         {"", 2, 0, at(8, 0), 0, at(17, 0), 0},
         {},
         "2024-03-07 09:05:04",
         2,
         "2024-03-08 08:00\n2024-03-09 08:00\n"},
        {"weekly on day 3: Wednesdays",
         {"", 3, day(1, 1, 3), at(10, 0), 0, at(10, 0)},
         {},
         "2024-03-07 09:05:04",
         2,
         "2024-03-13 10:00\n2024-03-20 10:00\n"},
        {"monthly 28 to 31 in a leap February",
         {"", 4, day(1, 1, 28), at(6, 30), day(1, 1, 31), at(6, 30)},
         {},
         "2024-02-27 12:00:00",
         3,
         "2024-02-28 06:30\n2024-02-29 06:30\n2024-03-28 06:30\n"},
        {"monthly with the first day after the last: never",
         {"", 4, day(1, 1, 20), at(6, 30), day(1, 1, 10), at(6, 30)},
         {},
         "2024-02-27 12:00:00",
         2,
         "",
         "No next moment"},
        {"yearly across the new year, then over",
         {"", 5, day(2024, 12, 31), at(23, 0), day(2025, 1, 1), at(23, 30), 30},
         {},
         "2024-03-07 09:05:04",
         5,
         "2024-12-31 23:00\n2024-12-31 23:30\n2025-01-01 23:00\n2025-01-01 23:30\n",
         "No further moment"},
        {"kind 6: never",
         {"", 6, 0, at(8, 0), 0, at(9, 0)},
         {},
         "2024-03-07 09:05:04",
         1,
         "",
         "No next moment"},
        {"Interval 130 is kind 2 (low seven bits)",
         {"", 130, 0, at(9, 0), 0, at(9, 0)},
         {},
         "2024-03-07 09:05:04",
         1,
         "2024-03-08 09:00\n"},
        {"a silence period swallows the 12:00 launch",
         {"", 2, 0, at(8, 0), 0, at(17, 0), 120},
         {{2, 0, at(12, 0), 0, at(12, 0)}},
         "2024-03-07 09:05:04",
         3,
         "2024-03-07 10:00\n2024-03-07 14:00\n2024-03-07 16:00\n"},
        {"a silence period that is always in force",
         {"", 0},
         {{0}},
         "2024-03-07 09:05:04",
         1,
         "",
         "No next moment"},
        {"a stopped task is never launched",
         {"", 0, 0, 0, 0, 0, 0, "", true},
         {},
         "2024-03-07 09:05:04",
         2,
         "",
         "stopped"},
        {"02:30 does not exist when summer time begins",
         {"", 2, 0, at(2, 30), 0, at(2, 30)},
         {},
         "2024-03-30 12:00:00",
         2,
         "2024-04-01 02:30\n2024-04-02 02:30\n",
         "",
         "Europe/Berlin"}};
    for (const NextCase& c : cases) {
        Tables tables;
        TaskRow task = c.task;
        task.name = "t";
        tables.add({task}, c.silence);
        const Outcome o =
            tables.ctl({"--at", c.at, "next", "t", "-n", std::to_string(c.count)}, c.tz);
        EXPECT_EQ(o.exitCode, 0) << c.label << o.err;
        EXPECT_EQ(o.out, c.out) << c.label;
        if (c.errPart.empty())
            EXPECT_EQ(o.err, "") << c.label;
        else
            EXPECT_NE(o.err.find(c.errPart), std::string::npos) << c.label << ": " << o.err;
    }
}

// -------------------------------------------------------------------------------------- due

TEST(VektrinctlDue, FirstReasonInThePassOrder) {
    Tables tables;
    tables.add({
        {"stopped", 0, 0, 0, 0, 0, 0, "0", true, 7},
        {"waiting", 0, 0, 0, 0, 0, 0, "", false, 7},
        {"false outside", 2, 0, at(10, 0), 0, at(11, 0), 0, "0"},
        {"malformed", 0, 0, 0, 0, 0, 0, "2 3"},
        {"outside", 2, 0, at(10, 0), 0, at(11, 0)},
        {"off step", 2, 0, at(9, 0), 0, at(10, 0), 2},
        {"never", 6},
        {"due", 2, 0, at(9, 5), 0, at(9, 5), 0, " \t1 "},
        {"high bits", 128},
    });
    const std::string expected = "1\tstopped\tstopped\n"
                                 "2\twaiting\twaiting\n"
                                 "3\tfalse outside\tcondition-false\n"
                                 "4\tmalformed\tcondition-error\n"
                                 "5\toutside\toutside-window\n"
                                 "6\toff step\toff-step\n"
                                 "7\tnever\tnever-due\n"
                                 "8\tdue\tdue\n"
                                 "9\thigh bits\tdue\n";
    Outcome o = tables.ctl({"--at", "2024-03-07 09:05:04", "due"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, expected);
    EXPECT_EQ(o.err, "");

    o = tables.ctl({"--at", "2024-03-07 09:05:04", "due", "--json"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json json = Json::parse(o.out);
    ASSERT_EQ(json.size(), 9u);
    EXPECT_EQ(json[5], Json({{"AppID", 6}, {"AppName", "off step"}, {"Reason", "off-step"}}));

    // In a silence period only the stopped and the waiting tasks keep their own reason.
    tables.add({}, {{2, 0, at(9, 0), 0, at(9, 10)}});
    o = tables.ctl({"--at", "2024-03-07 09:05:04", "due"});
    EXPECT_EQ(o.out, "1\tstopped\tstopped\n2\twaiting\twaiting\n3\tfalse outside\tsilence\n"
                     "4\tmalformed\tsilence\n5\toutside\tsilence\n6\toff step\tsilence\n"
                     "7\tnever\tsilence\n8\tdue\tsilence\n9\thigh bits\tsilence\n");
    // The same tables a minute after the silence ends.
    o = tables.ctl({"--at", "2024-03-07 09:11:00", "due"});
    EXPECT_NE(o.out.find("9\thigh bits\tdue\n"), std::string::npos) << o.out;
}

TEST(VektrinctlDue, FloatingPointErrorIsAConditionErrorAndExitCodeTwo) {
    Tables tables;
    tables.add({{"root", 0, 0, 0, 0, 0, 0, "sqrt(-1)"}, {"after", 0}});
    const Outcome o = tables.ctl({"--at", "2024-03-07 09:05:04", "due"});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.out, "1\troot\tcondition-error\n2\tafter\tdue\n");
    EXPECT_EQ(o.err, "root: Invalid floating point operation\n");
}

TEST(VektrinctlDue, FileSearchesSharedByTheTasksKeepTheirOwnPatterns) {
    // One reading of each search serves every task of the minute; searches of one directory
    // with other patterns, or of a file and its directory, still get their own answers.
    Tables tables;
    const std::string in = tables.dir.file("in");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    writeFile(in + "/a.dat", "12345");
    const struct {
        const char* name;
        std::string condition;
        const char* reason;
    } cases[] = {
        {"dat", "FE('" + in + "/*.dat')", "due"},
        {"txt", "FE('" + in + "/*.txt')", "condition-false"},
        {"dat again", "FE('" + in + "/*.dat')&GT(FSK('" + in + "/*.dat'))", "due"},
        {"dir", "DE('" + in + "')", "condition-false"}, // a directory is no file
        {"dir files", "DE('" + in + "/*')", "due"},
        {"name", "NFE('" + in + "/a.dat')", "condition-false"},
    };
    std::vector<TaskRow> rows;
    std::string expected;
    int id = 0;
    for (const auto& c : cases) {
        rows.push_back({c.name, 0, 0, 0, 0, 0, 0, c.condition});
        expected += std::to_string(++id) + "\t" + c.name + "\t" + c.reason + "\n";
    }
    tables.add(rows);
    const Outcome o = tables.ctl({"--at", "2024-03-07 09:05:04", "due"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, expected);
}

// ------------------------------------------------------------------------------------ tasks

TEST(VektrinctlTasks, LinesAndJsonShowTheRecordAsTheReportDoes) {
    Tables tables;
    tables.add({{"year end", 5, day(2024, 12, 31), at(23, 0), day(2025, 1, 1), at(23, 30), 30},
                {"weekly", 3, day(1, 1, 10), at(7, 5), 0, at(8, 0), 15, "", true}});
    Outcome o = tables.ctl({"--at", "2024-03-07 09:05:04", "tasks"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "AppID\tAppName\tSchedule\tRunType\tStopped\tStatus\tLastChange\tNext\n"
                     "1\tyear end\tEvery year, beginning from 2024-12-31 23:00:00 to "
                     "2025-01-01 23:30:00 with an interval of 30 minute.\tNormal\tFalse\t"
                     "Have not executed yet\t-\t2024-12-31 23:00\n"
                     "2\tweekly\tWeekly on wednesdays from 07:05:00 to 08:00:00 with an interval "
                     "of 15 minute.\tNormal\tTrue\tStopped\t-\t-\n");

    o = tables.ctl({"--at", "2024-03-07 09:05:04", "tasks", "--json"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json json = Json::parse(o.out);
    ASSERT_EQ(json.size(), 2u);
    const Json& weekly = json[1];
    EXPECT_EQ(weekly["AppID"], 2);
    EXPECT_EQ(weekly["Sost"], "Stopped");
    EXPECT_EQ(weekly["StartDate"], "0001-01-10");
    EXPECT_EQ(weekly["StartTime"], "07:05:00");
    EXPECT_EQ(weekly["Stopped"], true);
    EXPECT_EQ(weekly["Next"], nullptr);
    // Day 10 is Wednesday for the pass as in the description (10 modulo 7).
    EXPECT_EQ(weekly["Schedule"]["Weekday"], 3);
    EXPECT_EQ(json[0]["Next"], "2024-12-31 23:00");
    EXPECT_EQ(json[0]["EndDate"], "2025-01-01");

    // Whole seconds, whatever the record holds.
    Tables imported;
    writeFile(imported.file("doc.json"),
              R"({"Format": "vektrin-tables", "Version": 1, "Tasks": [
                  {"AppName": "t", "Interval": 2, "StartTime": "10:00:00.250",
                   "EndTime": "11:00:00", "LastDate": "2026-12-07",
                   "LastTime": "09:59:58.999", "EndCode": 1, "ExitCode": 0}]})");
    ASSERT_EQ(imported.ctl({"import", imported.file("doc.json")}).exitCode, 0);
    EXPECT_EQ(imported.ctl({"--at", "2026-12-07 09:00:00", "tasks"}).out,
              "AppID\tAppName\tSchedule\tRunType\tStopped\tStatus\tLastChange\tNext\n"
              "1\tt\tEvery day, beginning from 10:00:00 to 11:00:00 with an interval of 0 "
              "minute.\tNormal\tFalse\tCompleted successfully\t2026-12-07 09:59:58\t"
              "2026-12-07 10:00\n");
}

// ---------------------------------------------------------------------- export and import

// Every field type, empty fields, a gap in the AppIDs, text beyond ASCII.
const char* FullDocument = R"json({
  "Format": "vektrin-tables",
  "Version": 1,
  "Tasks": [
    {"AppID": 3, "AppName": "Отчёт", "Application": "report %TDD%", "AppDirectory": "/tmp",
     "Interval": 5, "StartDate": "2024-12-24", "StartTime": "12:00:00.250", "EndDate": "2025-01-02",
     "EndTime": "13:00:00", "RepeatInterval": 60, "Priority": 1, "StartCondition": "GT(1)",
     "EndCondition": "", "RunType": 3, "Stopped": false, "Interupt": true, "LastDate": "2024-03-01",
     "LastTime": "09:00:00", "EndCode": 1, "ExitCode": -3, "Conflicts": 5, "WaitResources": 7,
     "IntResources": -1, "WaitBeginning": "00:00:00", "WaitRes": true, "Host": "ws-2.lan",
     "LastHost": "ws-1"},
    {"AppID": 9, "AppName": "bare"},
    {"AppID": 10, "AppName": "on day 15", "Interval": 3, "StartDate": "0001-01-15"}
  ],
  "Resources": [
    {"ResourceNo": 31, "ResourceName": "modem", "MaxWait": "00:10:00"},
    {"ResourceNo": 1, "ResourceName": null, "MaxWait": null}
  ],
  "SilencePeriods": [
    {"Interval": 3, "StartDate": "0001-01-03", "StartTime": "12:00:00", "EndDate": null,
     "EndTime": "13:00:00"}
  ]
})json";

TEST(VektrinctlTransfer, ExportImportExportIsIdentical) {
    Tables source;
    writeFile(source.dir.file("doc.json"), FullDocument);
    Outcome o = source.ctl({"import", source.dir.file("doc.json")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Outcome first = source.ctl({"export"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const Json exported = Json::parse(first.out);
    EXPECT_EQ(exported["Tasks"][0]["AppID"], 3);
    EXPECT_EQ(exported["Tasks"][0]["AppName"], "Отчёт");
    EXPECT_EQ(exported["Tasks"][0]["StartTime"], "12:00:00.250");
    EXPECT_EQ(exported["Tasks"][1]["AppID"], 9);
    // A document of before the workstations: any one runs the task.
    EXPECT_EQ(exported["Tasks"][1]["Host"], nullptr);
    EXPECT_NE(source.ctl({"tasks"}).out.find("\tHost\t"), std::string::npos);
    // A weekly task's day above 7 is stored as the week day every view shows: 15 is Monday.
    EXPECT_EQ(exported["Tasks"][2]["StartDate"], "0001-01-01");
    EXPECT_EQ(exported["Resources"][0]["ResourceNo"], 1); // the table's order

    Tables copy;
    o = source.ctl({"export", "-o", copy.dir.file("copy.json")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    o = copy.ctl({"import", copy.dir.file("copy.json")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(copy.ctl({"export"}).out, first.out);

    // Replacing with the same document changes nothing either.
    o = source.ctl({"import", "--replace", copy.dir.file("copy.json")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(source.ctl({"export"}).out, first.out);
}

struct BadImport {
    std::string label;
    std::string section;
    std::string record; // JSON object
    std::string message;
};

// One table for every refused document: each refusal leaves it as it was.
TEST(ImportRefused, NothingIsWrittenAndTheProblemIsNamed) {
    Tables tables;
    tables.add({{"existing", 0}});
    const std::string before = tables.ctl({"export"}).out;
    const BadImport cases[] = {
        {"hour 25", "Tasks", R"({"AppName": "late", "StartTime": "25:00:00"})",
         "Tasks record 3 (AppName \"late\"), field \"StartTime\": expected a time"},
        {"day 30 of February", "Tasks", R"({"AppName": "x", "StartDate": "2023-02-30"})",
         "field \"StartDate\": expected a date YYYY-MM-DD"},
        {"41 characters", "Tasks", R"({"AppName": "12345678901234567890123456789012345678901"})",
         "field \"AppName\": longer than 40 characters"},
        {"16-bit overflow", "Tasks", R"({"AppName": "x", "Interval": 40000})",
         "field \"Interval\": out of range -32768 to 32767"},
        {"text for a number", "Tasks", R"({"AppName": "x", "RepeatInterval": "5"})",
         "field \"RepeatInterval\": expected a whole number"},
        {"text for a boolean", "Tasks", R"({"AppName": "x", "Stopped": "yes"})",
         "field \"Stopped\": expected true or false"},
        {"misspelt field", "Tasks", R"({"AppName": "x", "Interrupt": true})",
         "field \"Interrupt\": no such stored field"},
        {"calculated field", "Tasks", R"({"AppName": "x", "Sost": "Runs"})",
         "field \"Sost\": no such stored field"},
        {"AppID taken", "Tasks", R"({"AppID": 1, "AppName": "x"})",
         "field \"AppID\": 1 is already taken"},
        {"resource 32", "Resources", R"({"ResourceNo": 32})",
         "Resources record 2, field \"ResourceNo\": must be 1 to 31"},
        {"resource twice", "Resources", R"({"ResourceNo": 2})",
         "Resources record 2, field \"ResourceNo\": 2 is already used"},
        {"resource without number", "Resources", R"({"ResourceName": "x"})",
         "field \"ResourceNo\": required"},
        {"silence time", "SilencePeriods", R"({"Interval": 2, "EndTime": 0.5})",
         "SilencePeriods record 1, field \"EndTime\": expected a time"},
        // What add and set refuse, import refuses too.
        {"a line end in a name", "Tasks", R"({"AppName": "x\r\n01/01/25 forged"})",
         "Tasks record 3 (AppName \"x\\r\\n01/01/25 forged\"), field \"AppName\": "
         "holds a control character"},
        {"an escape in a command", "Tasks", R"({"AppName": "x", "Application": "\u001b"})",
         "field \"Application\": holds a control character"},
        {"a condition that does not parse", "Tasks", R"({"AppName": "x", "StartCondition": "GT("})",
         "field \"StartCondition\": Error in launch or termination condition notation"},
        {"a condition ended by an error", "Tasks",
         R"j({"AppName": "x", "EndCondition": "SQRT(0-1)"})j",
         "field \"EndCondition\": Invalid floating point operation"},
        {"a host with a blank", "Tasks", R"({"AppName": "x", "Host": "ws 1"})",
         "field \"Host\": expected a host name"},
        {"an unknown kind", "Tasks", R"({"AppName": "x", "Interval": 6})",
         "field \"Interval\": expected 0 to 5 (every-minute, hourly"},
        {"priority 4", "Tasks", R"({"AppName": "x", "Priority": 4})",
         "field \"Priority\": expected 0 to 3 (normal, low, high, realtime), not 4"},
        {"run type -1", "Tasks", R"({"AppName": "x", "RunType": -1})",
         "field \"RunType\": expected 0 to 3 (normal, hidden"},
        {"resource 32 in a mask", "Tasks", R"({"AppName": "x", "Conflicts": -1})",
         "field \"Conflicts\": names a resource above 31"},
        {"no completion code", "Tasks", R"({"AppName": "x", "EndCode": 15})",
         "field \"EndCode\": is no completion code"},
        {"resource 0", "Resources", R"({"ResourceNo": 0})",
         "Resources record 2, field \"ResourceNo\": must be 1 to 31, not 0"},
        {"a tab in a resource name", "Resources", R"({"ResourceNo": 3, "ResourceName": "a\tb"})",
         "field \"ResourceName\": holds a control character"},
        {"an unknown silence kind", "SilencePeriods", R"({"Interval": 7})",
         "SilencePeriods record 1, field \"Interval\": expected 0 to 5"}};
    for (const BadImport& c : cases) {
        Json doc = {{"Format", "vektrin-tables"}, {"Version", 1}};
        doc["Tasks"] = Json::array({{{"AppName", "good one"}}, {{"AppName", "good two"}}});
        doc["Resources"] = Json::array({{{"ResourceNo", 2}}});
        doc[c.section].push_back(Json::parse(c.record));
        writeFile(tables.file("bad.json"), doc.dump());

        const Outcome o = tables.ctl({"import", tables.file("bad.json")});
        EXPECT_EQ(o.exitCode, 2) << c.label;
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.label << ": " << o.err;
        EXPECT_NE(o.err.find("Nothing was imported"), std::string::npos) << c.label;
        EXPECT_EQ(tables.ctl({"export"}).out, before) << c.label;
    }
}

TEST(VektrinctlTransfer, ReplaceTakesAnAppIdThatAddingRefuses) {
    Tables tables;
    tables.add({{"old", 0}, {"older", 0}});
    writeFile(tables.dir.file("doc.json"),
              R"({"Format": "vektrin-tables", "Tasks": [{"AppID": 1, "AppName": "new"}]})");
    EXPECT_EQ(tables.ctl({"import", tables.dir.file("doc.json")}).exitCode, 2);
    ASSERT_EQ(tables.ctl({"import", "--replace", tables.dir.file("doc.json")}).exitCode, 0);
    EXPECT_EQ(tables.ctl({"tasks"}).out.substr(62, 6), "1\tnew\t"); // after the header
    EXPECT_EQ(Json::parse(tables.ctl({"export"}).out)["Tasks"].size(), 1u);
}

// --------------------------------------------------------------------------------- protocol

TEST(VektrinctlProtocol, SinceAndTaskFilterTheLines) {
    TempDir dir;
    const std::string log = dir.file("Vektrin.log"), mixed = dir.file("mixed.log");
    // Written in the C locale: short dates mm/dd/yy.
    writeFile(log, "03/05/24 10:00:00 Executes <a>.\r\n"
                   "03/06/24 23:59:59 Task <b> is completed.\r\n"
                   "Input = 1 : continuation of the line before\r\n"
                   "03/07/24 00:00:01 Executes <a>.\r\n"
                   "03/07/24 00:01:00 Task <a> is completed.\r\n"
                   "03/08/24 08:00:00 Task <ab> is completed.");
    // A log outlives changes of locale: a line in the German format after one in the C format is
    // dated by its own format, not by the line before it.
    writeFile(mixed, "12/01/26 09:00:00 old, C\r\n"
                     "12/07/26 09:00:00 new, C\r\n"
                     "05.12.2026 09:00:00 old, German\r\n"
                     "08.12.2026 09:00:00 new, German\r\n"
                     "  a continuation line\r\n");
    const test::CtlCase cases[] = {
        {{log, "--since", "2024-03-06"},
         0,
         "03/06/24 23:59:59 Task <b> is completed.\n"
         "Input = 1 : continuation of the line before\n"
         "03/07/24 00:00:01 Executes <a>.\n03/07/24 00:01:00 Task <a> is completed.\n"
         "03/08/24 08:00:00 Task <ab> is completed.\n"},
        {{log, "--since", "2024-03-07", "--task", "a"},
         0,
         "03/07/24 00:00:01 Executes <a>.\n03/07/24 00:01:00 Task <a> is completed.\n"},
        {{log, "--task", "b"}, 0, "03/06/24 23:59:59 Task <b> is completed.\n"},
        {{log, "--since", "2024-03-09"}, 0, ""},
        {{mixed, "--since", "2026-12-06"},
         0,
         "12/07/26 09:00:00 new, C\n08.12.2026 09:00:00 new, German\n  a continuation line\n"},
        {{mixed, "-n", "1"}, 0, "  a continuation line\n"},
        {{dir.file("none.log")}, 2, "", "", false, true},
        {{log, "--since", "07.03.2024"}, 64, "", "Usage:", false, true},
    };
    for (test::CtlCase c : cases) {
        c.args.insert(c.args.begin(), {"protocol", "--log"});
        test::expectOutcome(c, test::runVektrinctl(c.args));
    }
}

TEST(VektrinctlProtocol, FollowPrintsNewLinesAndCarriesOnAfterClearing) {
    TempDir dir;
    const std::string log = dir.file("Vektrin.log");
    writeFile(log, "03/05/24 10:00:00 Executes <a>.\r\n03/06/24 10:00:00 Executes <b>.\r\n");
    const std::string outPath = dir.file("out");
    const pid_t pid = test::startProgram(std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl",
                                         {"protocol", "--log", log, "--follow", "--task", "b"},
                                         {"LC_ALL=C"}, {"", outPath, "", ""});
    ASSERT_GT(pid, 0);

    std::string expected;
    const auto printed = [&](const std::string& more) {
        expected += more;
        EXPECT_TRUE(test::eventually([&] { return readFile(outPath) == expected; }))
            << readFile(outPath);
    };
    printed("03/06/24 10:00:00 Executes <b>.\n");
    // A line written in pieces is printed once it is whole.
    {
        std::ofstream append(log, std::ios::app | std::ios::binary);
        append << "03/07/24 10:00:00 Task <b> is ";
    }
    usleep(300000);
    {
        std::ofstream append(log, std::ios::app | std::ios::binary);
        append << "completed.\r\n";
    }
    printed("03/07/24 10:00:00 Task <b> is completed.\n");
    // Clearing: the kept lines come back in a new file, which is not printed twice.
    writeFile(dir.file("Vektrin.tmp"), "03/06/24 10:00:00 Executes <b>.\r\n"
                                       "03/07/24 10:00:00 Task <b> is completed.\r\n"
                                       "03/08/24 10:00:00 Executes <b>.\r\n");
    ASSERT_EQ(rename(dir.file("Vektrin.tmp").c_str(), log.c_str()), 0);
    printed("03/08/24 10:00:00 Executes <b>.\n");
    kill(pid, SIGTERM);
    test::waitProgram(pid);
}

// ----------------------------------------------------------------- tables held by another

class HeldTables : public ::testing::Test {
  protected:
    void SetUp() override {
        tables.add({{"first", 0}});
        ASSERT_EQ(sqlite3_open(tables.dir.file("Vektrin.db").c_str(), &other), SQLITE_OK);
        writeFile(tables.dir.file("doc.json"),
                  R"({"Format": "vektrin-tables", "Tasks": [{"AppName": "second"}]})");
    }
    void TearDown() override { sqlite3_close(other); }
    void exec(const char* sql) {
        ASSERT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), 0);
    }

    Tables tables;
    sqlite3* other = nullptr;
};

// Readers share the files; a writer's commit waits for a reader's transaction to end (within the
// busy timeout), so that it never sees half of it.
TEST_F(HeldTables, AWriterWaitsForAReaderInTheMiddleOfATransaction) {
    exec("BEGIN; SELECT count(*) FROM \"Vektrin\";");
    EXPECT_EQ(tables.ctl({"tasks"}).exitCode, 0);
    std::thread reader([this] {
        usleep(500000);
        exec("COMMIT");
    });
    const Outcome o = tables.ctl({"import", tables.dir.file("doc.json")});
    reader.join();
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(Json::parse(tables.ctl({"export"}).out)["Tasks"].size(), 2u);
}

TEST_F(HeldTables, AWriterKeepsTheImportOutButNotTheReaders) {
    exec("BEGIN IMMEDIATE; UPDATE \"Vektrin\" SET \"AppName\" = 'renamed';");
    // The last committed state, after the header.
    EXPECT_EQ(tables.ctl({"tasks"}).out.substr(62, 8), "1\tfirst\t");
    const Outcome o = tables.ctl({"import", tables.dir.file("doc.json")});
    EXPECT_EQ(o.exitCode, 2); // after the busy timeout
    EXPECT_NE(o.err.find("Nothing was imported"), std::string::npos) << o.err;
    exec("COMMIT");
    const Json tasks = Json::parse(tables.ctl({"export"}).out)["Tasks"];
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0]["AppName"], "renamed");
}

// ------------------------------------------------------------------------- missed launches

TEST(MissedLaunches, CatchUpIsSetAndTheGapsOfThePassesAreListed) {
    Tables t;
    ASSERT_EQ(t.ctl({"add", "backup", "--command", "true", "--daily", "--from", "09:00", "--to",
                     "09:00", "--catch-up"})
                  .exitCode,
              0);
    ASSERT_EQ(t.ctl({"add", "report", "--command", "true", "--hourly", "--from", "30", "--to", "30",
                     "--catch-up"})
                  .exitCode,
              0);
    ASSERT_EQ(t.ctl({"set", "report", "--no-catch-up"}).exitCode, 0);
    // The record the scheduler keeps: its last pass, then the gaps between passes.
    const std::string state = t.dir.file("state");
    mkdir(state.c_str(), 0700);
    mkdir((state + "/vektrin").c_str(), 0700);
    writeFile(PassHistory::fileFor(state + "/vektrin", t.dir.path()),
              "2026-12-07 08:00\n2026-12-06 06:40 2026-12-06 07:35\n");
    // And what it held back, with lines it cannot read and one older than --since.
    writeFile(HeldLaunches::fileFor(state + "/vektrin", t.dir.path()),
              "2026-12-06 06:00 2 no-slot\n2026-12-06 08:30 2 no-slot\ngarbage\n"
              "2026-12-06 09:30 2 sunspots\n2026-12-07 10:30 1 pause\n");
    const Outcome o =
        t.ctl({"--at", "2026-12-07 11:00:00", "due", "--missed", "--since", "2026-12-06 07:00:00"});
    EXPECT_EQ(o.out, "AppID\tAppName\tMissed\tMoments\tCatchUp\tReason\n"
                     "1\tbackup\t2026-12-07 10:30\t1\tno\tpause\n"
                     "1\tbackup\t2026-12-07 09:00\t1\tyes\tno-pass\n"
                     "2\treport\t2026-12-06 08:30\t1\tno\tno-slot\n"
                     "2\treport\t2026-12-06 07:30\t1\tno\tno-pass\n"
                     "2\treport\t2026-12-07 10:30\t3\tno\tno-pass\n")
        << o.err;
    // Older than CatchUpDays when the gap ends: missed, and not made up.
    mkdir(t.file("config0").c_str(), 0700);
    mkdir(t.file("config0/vektrin").c_str(), 0700);
    writeFile(t.file("config0/vektrin/settings.ini"), "[Schedule]\nCatchUpDays=0\n");
    EXPECT_NE(t.AliasDir::ctl({"--at", "2026-12-07 11:00:00", "due", "--missed"},
                              {"XDG_CONFIG_HOME=" + t.file("config0")})
                  .out.find("1\tbackup\t2026-12-07 09:00\t1\tno\tno-pass\n"),
              std::string::npos);

    // The timeline marks the launch that makes the gap up, for the catch-up task only: at the
    // next pass while the gap lasts, at the pass that ended it when that was in the last hours.
    for (const auto& [history, line] : std::vector<std::pair<std::string, std::string>>{
             {"2026-12-07 08:00\n", "2026-12-07 11:00\tbackup\tmade-up launch of the missed "
                                    "2026-12-07 09:00"},
             {"2026-12-07 10:59\n2026-12-07 08:50 2026-12-07 09:10\n",
              "2026-12-07 09:10\tbackup\tmade-up launch of the missed 2026-12-07 09:00"}}) {
        writeFile(PassHistory::fileFor(state + "/vektrin", t.dir.path()), history);
        for (const bool text : {true, false}) {
            std::vector<std::string> args{"--at", "2026-12-07 11:00:00", "timeline"};
            if (text) args.push_back("--text");
            const std::string out = t.ctl(args).out;
            const std::string mark = text ? "made-up" : "Made-up launch of the missed 12/07/26";
            EXPECT_EQ(out.find(mark), out.rfind(mark)) << out;
            EXPECT_NE(out.find(text ? line : mark), std::string::npos) << out;
        }
    }
}

// A table file of an earlier version, without the newest columns: reading commands read them as
// empty and write nothing; the first writing command adds them.
TEST(MissedLaunches, AnOlderTableFileIsReadWithoutTheNewColumn) {
    Tables t;
    ASSERT_EQ(t.ctl({"add", "old", "--command", "true"}).exitCode, 0);
    for (const char* column : {"CatchUp", "Host", "LastHost"})
        t.sql("ALTER TABLE \"Vektrin\" DROP COLUMN \"" + std::string(column) + "\"");
    for (const std::vector<std::string>& reading :
         {std::vector<std::string>{"tasks"}, {"export"}, {"next", "old", "-n", "1"}}) {
        const Outcome o = t.ctl(reading);
        EXPECT_EQ(o.exitCode, 0) << reading.front() << ": " << o.err;
    }
    EXPECT_EQ(t.ctl({"set", "old", "--catch-up", "--run-on", "ws-1"}).exitCode, 0);
    const std::string exported = t.ctl({"export"}).out;
    for (const char* added : {"\"CatchUp\": true", "\"Host\": \"ws-1\"", "\"LastHost\": null"})
        EXPECT_NE(exported.find(added), std::string::npos) << added;
}

} // namespace
} // namespace vektrin
