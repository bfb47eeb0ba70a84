// Definitions from the command line: add, set, rm, resource, silence and edit, against real
// tables, checked through tasks --json, export and the table files themselves.

#include "ctl/in_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <tuple>

namespace vektrin {
namespace {

using test::ProgramOutcome;
using Json = nlohmann::json;

class DefineTest : public ::testing::Test {
  protected:
    test::AliasDir tables;

    ProgramOutcome ctl(const std::vector<std::string>& args, const std::string& input = "",
                       const std::vector<std::string>& environment = {}) {
        return tables.ctl(args, environment, input);
    }
    ProgramOutcome ok(const std::vector<std::string>& args) {
        ProgramOutcome o = ctl(args);
        EXPECT_EQ(o.exitCode, 0) << args[0] << ": " << o.err;
        return o;
    }
    Json exported() { return Json::parse(ok({"export"}).out); }
    Json task(const std::string& name) {
        const Json all = exported();
        for (const Json& t : all["Tasks"])
            if (t["AppName"] == name) return t;
        ADD_FAILURE() << "no task " << name;
        return Json::object();
    }
    std::map<std::string, std::string> tableFiles() const { return tables.contents(); }
    // An editor that runs a shell script on the file ("$1").
    std::string editor(const std::string& name, const std::string& script) {
        const std::string path = tables.file(name);
        test::writeFile(path, "#!/bin/sh\n" + script + "\n");
        chmod(path.c_str(), 0755);
        return "EDITOR=" + path;
    }
};

struct AddCase {
    std::vector<std::string> options;
    Json expected; // fields of the exported record
};

TEST_F(DefineTest, AddTakesEveryFieldInTheOperatorsWords) {
    ok({"resource", "add", "1", "modem", "--max-wait", "00:10"});
    ok({"resource", "add", "2", "printer"});
    const AddCase cases[] = {
        {{}, {{"Interval", 0}, {"Stopped", false}, {"EndCode", nullptr}, {"Host", nullptr}}},
        {{"--run-on", "PC-1.lan"}, {{"Host", "PC-1.lan"}}},
        {{"--run-on", "*"}, {{"Host", "*"}}},
        {{"--run-on", " Any "}, {{"Host", nullptr}}},
        {{"--hourly", "--from", "5", "--to", "50", "--repeat", "15"},
         {{"Interval", 1},
          {"StartTime", "00:05:00"},
          {"EndTime", "00:50:00"},
          {"RepeatInterval", 15}}},
        {{"--hourly"}, {{"Interval", 1}, {"StartTime", "00:00:00"}, {"EndTime", "00:59:00"}}},
        {{"--daily", "--from", "22:00"},
         {{"Interval", 2},
          {"StartTime", "22:00:00"},
          {"EndTime", "23:59:00"},
          {"RepeatInterval", 0}}},
        {{"--daily", "--from", "7:30", "--to", "9:05:30"},
         {{"StartTime", "07:30:00"}, {"EndTime", "09:05:30"}}},
        {{"--weekly", "Fri", "--from", "07:30:15", "--to", "08:00"},
         {{"Interval", 3},
          {"StartDate", "0001-01-05"},
          {"StartTime", "07:30:15"},
          {"EndTime", "08:00:00"}}},
        {{"--weekly", "7"}, {{"Interval", 3}, {"StartDate", "0001-01-07"}}},
        {{"--monthly", "1-5"},
         {{"Interval", 4}, {"StartDate", "0001-01-01"}, {"EndDate", "0001-01-05"}}},
        {{"--monthly", "31"},
         {{"Interval", 4}, {"StartDate", "0001-01-31"}, {"EndDate", "0001-01-31"}}},
        {{"--yearly", "--from", "2026-12-24 10:00"},
         {{"Interval", 5},
          {"StartDate", "2026-12-24"},
          {"StartTime", "10:00:00"},
          {"EndDate", "2026-12-24"},
          {"EndTime", "23:59:00"}}},
        {{"--yearly", "--from", "2026-12-24", "--to", "2027-01-02 06:00"},
         {{"StartTime", "00:00:00"}, {"EndDate", "2027-01-02"}, {"EndTime", "06:00:00"}}},
        {{"--dir", "/srv", "--window", "hidden", "--priority", "RealTime", "--if", " GT(1) ",
          "--until", "LT(1)", "--interrupt", "--wait-if-busy", "--conflicts", "printer, 1"},
         {{"AppDirectory", "/srv"},
          {"RunType", 1},
          {"Priority", 3},
          {"StartCondition", " GT(1) "},
          {"EndCondition", "LT(1)"},
          {"Interupt", true},
          {"WaitRes", true},
          {"Conflicts", 3}}},
        {{"--stopped"}, {{"Stopped", true}, {"EndCode", 5.0}}},
    };
    int n = 0;
    for (const AddCase& c : cases) {
        const std::string name = "task " + std::to_string(++n);
        std::vector<std::string> args = {"add", name, "--command", "run %TDD%"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProgramOutcome o = ok(args);
        EXPECT_EQ(o.out, std::to_string(n) + "\n");
        const Json t = task(name);
        EXPECT_EQ(t["Application"], "run %TDD%");
        for (const auto& [field, value] : c.expected.items())
            EXPECT_EQ(t[field], value) << name << " " << field;
    }
}

TEST_F(DefineTest, SetChangesOnlyTheGivenFieldsAndRmRemoves) {
    ok({"add", "backup", "--command", "tar", "--daily", "--from", "22:00", "--to", "23:00"});
    ok({"add", "other", "--command", "x"});
    const Json before = task("backup");
    ProgramOutcome o =
        ok({"set", "backup", "--from", "21:30", "--repeat", "10", "--name", "nightly"});
    EXPECT_EQ(o.out, "Changed task 1 (backup): AppName, StartTime, RepeatInterval.\n");
    Json after = task("nightly");
    for (const auto& [field, value] : before.items()) {
        if (field == "AppName" || field == "StartTime" || field == "RepeatInterval") continue;
        EXPECT_EQ(after[field], value) << field;
    }
    EXPECT_EQ(after["StartTime"], "21:30:00");
    // A new kind keeps the window it finds: the hourly page reads minute 30.
    ok({"set", "1", "--hourly"});
    EXPECT_EQ(task("nightly")["StartTime"], "21:30:00");
    EXPECT_EQ(ok({"set", "1", "--hourly"}).out, "Nothing to change in task 1 (nightly).\n");
    // Stopped as the suspend command leaves it.
    ok({"set", "nightly", "--stopped"});
    EXPECT_EQ(task("nightly")["EndCode"], 5);
    ok({"set", "nightly", "--no-stopped"});
    EXPECT_EQ(task("nightly")["EndCode"], 6);
    // A task that never had a window gets the whole day for what it lacks.
    ok({"set", "other", "--daily", "--from", "07:30"});
    EXPECT_EQ(task("other")["StartTime"], "07:30:00");
    EXPECT_EQ(task("other")["EndTime"], "23:59:00");
    o = ok({"rm", "nightly"});
    EXPECT_EQ(o.out, "Removed task 1 (nightly).\n");
    EXPECT_EQ(exported()["Tasks"].size(), 1u);
    EXPECT_EQ(ctl({"rm", "nightly"}).exitCode, 1);
}

struct Refusal {
    std::vector<std::string> args;
    int exitCode;
    std::string error; // a part of standard error
};

TEST_F(DefineTest, EveryRefusalSaysWhyAndWritesNothing) {
    ok({"add", "twin", "--command", "x", "--yearly", "--from", "2001-01-01"});
    ok({"add", "twin", "--command", "x"});
    ok({"add", "friday", "--command", "x", "--weekly", "friday"});
    ok({"resource", "add", "3", "modem"});
    ok({"silence", "add", "--daily", "--from", "12:00", "--to", "13:00"});
    const std::string longName(41, 'n');
    const auto add = [](std::vector<std::string> more) {
        more.insert(more.begin(), {"add", "t", "--command", "x"});
        return more;
    };
    const Refusal cases[] = {
        {add({"--hourly", "--from", "75"}), 2, "--from: Time cannot be greater than 60 min. !"},
        {add({"--hourly", "--to", "x5"}), 2, "--to: Only digit characters allowed !"},
        {add({"--hourly", "--from", "-5"}), 2, "--from: Only digit characters allowed !"},
        {add({"--monthly", "32"}), 2, "--monthly: Day of month cannot be greater than 31 !"},
        {add({"--monthly", "0-5"}), 2, "--monthly: Only digit characters allowed !"},
        {add({"--weekly", "funday"}), 2, "--weekly: expected a week day"},
        {add({"--daily", "--from", "25:00"}), 2, "--from: '25:00' is not a valid time"},
        {add({"--yearly", "--from", "2026-02-30"}), 2, "--from: '2026-02-30' is not a valid date"},
        {add({"--yearly"}), 2, "--from: a yearly task needs its first day"},
        // Its StartDate holds the week day, no year's date.
        {{"set", "friday", "--yearly"}, 2, "--from: a yearly task needs its first day"},
        {add({"--from", "10:00"}), 2, "--from: has no meaning for a task of every minute"},
        {add({"--if", "GT("}), 2, "--if: Error in launch or termination condition notation !"},
        {add({"--until", "SQRT(0-1)"}), 2, "--until: Invalid floating point operation"},
        {add({"--daily", "--repeat", "x"}), 2, "--repeat: 'x' is not a valid integer value"},
        {add({"--daily", "--repeat", "40000"}), 2, "--repeat: "},
        {add({"--priority", "urgent"}), 2,
         "--priority: expected normal, low, high or realtime, not \"urgent\""},
        {add({"--window", "huge"}), 2, "--window: expected normal"},
        {add({"--run-on", "pc 1"}), 2, "--run-on: expected a host name (letters, digits"},
        {add({"--run-on", "pc_1"}), 2, "--run-on: expected a host name"},
        {add({"--run-on", std::string(65, 'p')}), 2, "--run-on: expected a host name"},
        {add({"--conflicts", "modem,fax"}), 2,
         "--conflicts: no resource has the number or name \"fax\""},
        {{"add", longName, "--command", "x"}, 2, "--name: is longer than 40 characters"},
        {{"add", "a\tb", "--command", "x"}, 2, "--name: holds a control character"},
        {{"add", "t", "--command", "\xff"}, 2, "--command: is not UTF-8 text"},
        // A surrogate: what export could not write is refused where it is entered.
        {{"add", "t", "--command", "run \xed\xa0\x80"}, 2, "--command: is not UTF-8 text"},
        {{"add", "t", "--command", ""}, 2, "--command: is empty"},
        // Every launch would fail: the quote is named, and its place in characters.
        {{"add", "t", "--command", "echo 'it is"},
         2,
         "--command: has an unclosed quote ' at character 6"},
        {{"set", "1", "--command", "printf \"\xc3\xa9 %s"},
         2,
         "--command: has an unclosed quote \" at character 8"},
        {{"add", "t"}, 64, "missing --command"},
        {add({"--daily", "--hourly"}), 64, "excludes"},
        {add({"--bogus"}), 64, "--bogus"},
        {{"set", "twin", "--repeat", "1"},
         1,
         "Several tasks are named <twin>: give the AppID, one of 1, 2."},
        {{"set", "nosuch", "--repeat", "1"}, 1, "No task has the AppID or AppName nosuch."},
        {{"set", "1", "--from", "10:00", "--to", "99"}, 2, "--from: '10:00' is not a valid date"},
        {{"rm", "twin"}, 1, "Several tasks are named <twin>"},
        {{"resource", "add", "32", "x"}, 2, "--number: May be 31 conflicting resource maximum !!!"},
        {{"resource", "add", "0", "x"}, 2, "--number: must be 1 to 31"},
        {{"resource", "add", "3", "x"},
         2,
         "--number: Resource number must be unique. Unable repetition !!!"},
        {{"resource", "add", "4", "x", "--max-wait", "1:0"},
         2,
         "--max-wait: '1:0' is not a valid time"},
        {{"resource", "set", "fax", "--name", "y"}, 1, "No resource has the number or name fax."},
        {{"resource", "rm", "9"}, 1, "No resource has the number or name 9."},
        {{"silence", "add", "--hourly", "--from", "60"},
         2,
         "--from: Invalid argument to time encode"},
        {{"silence", "add", "--hourly", "--from", "x"},
         2,
         "--from: Only digit characters allowed !"},
        {{"silence", "add", "--monthly", "32"}, 2, "--monthly: Invalid argument to date encode"},
        {{"silence", "add"}, 64, "Give the kind"},
        {{"silence", "set", "2", "--to", "14:00"}, 1, "No silence period has the number 2"},
        {{"silence", "rm", "x"}, 1, "No silence period has the number x"},
    };
    const auto files = tableFiles();
    for (const Refusal& c : cases) {
        const std::string label = test::joined(c.args);
        const ProgramOutcome o = ctl(c.args);
        EXPECT_EQ(o.exitCode, c.exitCode) << label << o.err;
        EXPECT_NE(o.err.find(c.error), std::string::npos) << label << o.err;
        if (c.exitCode == 2) {
            EXPECT_NE(o.err.find("Nothing was written."), std::string::npos) << label;
        }
        EXPECT_EQ(o.out, "") << label;
        EXPECT_TRUE(tableFiles() == files) << label;
    }
}

// What a shell would have read, and the program gets as written, is written with a warning.
TEST_F(DefineTest, ShellSyntaxInACommandIsWrittenWithAWarning) {
    const auto warning = [](const std::string& syntax) {
        return "--command: holds shell syntax that reaches the program as written, since no shell "
               "runs it: " +
               syntax + " (for a shell, write sh -c '...')\n";
    };
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"add", "a", "--command", "cp ~/.profile ~/p.bak"}, warning("~")},
        {{"add", "b", "--command", "date >> /tmp/d && echo \"$HOME\" | wc -l *.txt"},
         warning("> && $HOME | *")},
        {{"set", "a", "--command", "echo ${USER}`id`; ls"}, warning("${ ` ;")},
        {{"add", "c", "--command", "sh -c 'date > /tmp/d' \\~ a~b \\$HOME \\*"}, ""},
        {{"add", "d", "--quiet", "--command", "ls *"}, ""},
        {{"set", "d", "--quiet", "--command", "ls *"}, ""},
    };
    for (const auto& c : cases) {
        const ProgramOutcome o = ctl(c.args);
        EXPECT_EQ(o.exitCode, 0) << test::joined(c.args) << o.err;
        EXPECT_EQ(o.err, c.err) << test::joined(c.args);
    }
    EXPECT_EQ(task("b")["Application"], "date >> /tmp/d && echo \"$HOME\" | wc -l *.txt");
    // An imported task the same: warned of, or refused with its quote.
    for (const auto& [command, exitCode, said] :
         {std::tuple{"ls | wc", 0, "holds shell syntax that reaches the program as written"},
          std::tuple{"ls 'a", 2, "has an unclosed quote ' at character 4"}}) {
        const std::string doc = tables.file("doc.json");
        test::writeFile(doc, Json{{"Format", "vektrin-tables"},
                                  {"Tasks", {{{"AppName", "i"}, {"Application", command}}}}}
                                 .dump());
        const ProgramOutcome o = ctl({"import", doc});
        EXPECT_EQ(o.exitCode, exitCode) << o.err;
        EXPECT_NE(o.err.find(said), std::string::npos) << o.err;
    }
}

TEST_F(DefineTest, ResourcesAndSilencePeriodsHaveTheSameThreeVerbs) {
    ok({"resource", "add", "1", "modem", "--max-wait", "00:10"});
    ok({"resource", "add", "5", "printer"});
    ok({"add", "t", "--command", "x", "--conflicts", "1,5"});
    ok({"resource", "set", "printer", "--name", "laser", "--max-wait", "01:30"});
    EXPECT_EQ(ok({"resource", "list"}).out,
              "ResourceNo\tResourceName\tMaxWait\n1\tmodem\t00:10:00\n5\tlaser\t01:30:00\n");
    // Renumbered: the task still names number 5, and is told so.
    ProgramOutcome o = ok({"resource", "set", "laser", "--number", "6"});
    EXPECT_NE(o.err.find("1 task names resource 5 by its number"), std::string::npos) << o.err;
    // Removed: no task needs it any more, as after the editor's deletion.
    ok({"resource", "rm", "modem"});
    EXPECT_EQ(task("t")["Conflicts"], 16);
    EXPECT_EQ(exported()["Resources"].size(), 1u);

    ok({"silence", "add", "--weekly", "sunday"});
    ok({"silence", "add", "--hourly", "--from", "0", "--to", "5"});
    ok({"silence", "set", "1", "--from", "08:00", "--to", "09:00"});
    EXPECT_EQ(ok({"silence", "list"}).out,
              "No\tSchedule\tFrom\tTo\n1\tweekly sunday\t08:00\t09:00\n2\thourly\t0\t5\n");
    ok({"silence", "rm", "1"});
    EXPECT_EQ(ok({"silence", "list"}).out, "No\tSchedule\tFrom\tTo\n1\thourly\t0\t5\n");
    o = ok({"silence", "add", "--every-minute"});
    EXPECT_NE(o.err.find("no task is launched while it exists"), std::string::npos);
}

TEST_F(DefineTest, EditWritesWhatChangedAndAsksAgainOnAnError) {
    ok({"add", "backup", "--command", "tar", "--daily", "--from", "22:00", "--to", "23:00"});
    ok({"add", "other", "--command", "x", "--hourly"});
    const Json other = task("other");

    // No change: nothing written.
    auto files = tableFiles();
    ProgramOutcome o = ctl({"edit"}, "", {editor("same.sh", "true")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "No changes were made.\n");
    EXPECT_TRUE(tableFiles() == files);

    // The editor fails: nothing written, whatever it did to the file.
    o = ctl({"edit"}, "",
            {editor("fails.sh", "sed -i 's/^from = 22:00$/from = 21:00/' \"$1\"; exit 3")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("ended with status 3: nothing was written."), std::string::npos);
    EXPECT_TRUE(tableFiles() == files);

    // A good change: that field alone; a new block adds a task.
    o = ctl({"edit"}, "",
            {editor("good.sh", "sed -i 's/^from = 22:00$/from = 21:30/' \"$1\"\n"
                               "printf '[task new]\\nname = fresh\\ncommand = y\\n"
                               "schedule = weekly monday\\n' >> \"$1\"")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "Changed task 1 (backup): StartTime.\nAdded task 3 (fresh).\n");
    EXPECT_EQ(task("backup")["StartTime"], "21:30:00");
    EXPECT_EQ(task("other"), other);
    EXPECT_EQ(task("fresh")["StartDate"], "0001-01-01");

    // A bad change, then a good one after "y": the second run sees the problems on top.
    const std::string count = tables.file("count");
    const std::string twice =
        editor("twice.sh",
               "n=$(cat " + count + " 2>/dev/null || echo 0); n=$((n+1)); echo $n > " + count +
                   "\nif [ $n = 1 ]; then sed -i 's/^from = 21:30$/from = 25:00/; "
                   "s/^priority = normal$/priority = urgent/' \"$1\"; else cp \"$1\" " +
                   tables.file("second") +
                   "; sed -i 's/^from = 25:00$/from = 20:00/; s/^priority = urgent$/priority = "
                   "low/' \"$1\"; fi");
    o = ctl({"edit", "backup"}, "y\n", {twice});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "Changed task 1 (backup): StartTime, Priority.\n");
    EXPECT_NE(o.err.find("[task 1] backup, from: '25:00' is not a valid time"), std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("Edit again? [Y/n]"), std::string::npos);
    EXPECT_EQ(test::readFile(tables.file("second"))
                  .rfind("# ! [task 1] backup, from: '25:00' is not a valid time\n", 0),
              0u);
    EXPECT_EQ(task("backup")["StartTime"], "20:00:00");

    // --no-retry: the problem, nothing written, the text kept.
    files = tableFiles();
    o = ctl({"edit", "--no-retry"}, "",
            {editor("bad.sh",
                    "sed -i 's/^to = 23:00$/to = 23:61/; s/^repeat = 0$/rpeat = 1/' \"$1\"")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("no setting is called \"rpeat\""), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Your text is kept in "), std::string::npos);
    EXPECT_TRUE(tableFiles() == files);
    // No answer to the question is no.
    o = ctl({"edit"}, "", {editor("bad2.sh", "sed -i 's/^to = 23:00$/to = 23:61/' \"$1\"")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("[task 1] backup, to: '23:61' is not a valid time"), std::string::npos)
        << o.err;
    EXPECT_TRUE(tableFiles() == files);
}

// Without a scheduler: status says so, stop and resume change the record, the rest is refused.
TEST_F(DefineTest, WithoutASchedulerStopAndResumeChangeTheRecord) {
    ProgramOutcome o = ctl({"status"});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.out, "vektrin is not running for the tables in " + tables.path() + ".\n");
    ok({"add", "nightly", "--command", "true", "--yearly", "--from", "2001-01-01"});
    o = ok({"stop", "nightly"});
    EXPECT_NE(o.out.find("Scheduling of <nightly> is stopped."), std::string::npos);
    EXPECT_EQ(task("nightly")["Stopped"], true);
    EXPECT_EQ(task("nightly")["EndCode"], 5);
    ok({"resume", "nightly"});
    EXPECT_EQ(task("nightly")["Stopped"], false);
    EXPECT_EQ(task("nightly")["EndCode"], 6);
    for (const char* command : {"run", "interrupt", "cancel-wait"}) {
        o = ctl({command, "nightly"});
        EXPECT_EQ(o.exitCode, 3) << command;
        EXPECT_NE(o.err.find("No scheduler runs"), std::string::npos) << command;
    }
}

} // namespace
} // namespace vektrin
