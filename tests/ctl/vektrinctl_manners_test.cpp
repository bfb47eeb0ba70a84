// The command line's manners: one moment syntax, output that cannot be written reported, init on a
// fresh account, and the aliases file named, against real files.

#include "ctl/in_process.h"
#include "ctl/json.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(VektrinctlManners, OneMomentSyntax) {
    const DateTime now = *tryEncodeDate(2024, 3, 7) + *tryEncodeTime(9, 5, 4);
    const DateTime day = *tryEncodeDate(2024, 3, 7);
    const struct {
        const char* text;
        std::optional<DateTime> moment;
    } cases[] = {
        {"2024-03-01", *tryEncodeDate(2024, 3, 1)},
        {"2024-03-01 10:30", *tryEncodeDate(2024, 3, 1) + *tryEncodeTime(10, 30, 0)},
        {"2024-03-01T10:30:15", *tryEncodeDate(2024, 3, 1) + *tryEncodeTime(10, 30, 15)},
        {"07:30", day + *tryEncodeTime(7, 30, 0)},
        {"7:30", day + *tryEncodeTime(7, 30, 0)},
        {"2024-03-01 7:30:15", *tryEncodeDate(2024, 3, 1) + *tryEncodeTime(7, 30, 15)},
        {"7:3", std::nullopt},
        {"now", now},
        {"today", day},
        {"yesterday", day - 1},
        {"tomorrow", day + 1},
        {"2024-02-30", std::nullopt},
        {"25:00", std::nullopt},
        {"2024-03-01 10", std::nullopt},
        {"noon", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto moment = ctl::readMoment(c.text, now);
        ASSERT_EQ(moment.has_value(), c.moment.has_value()) << c.text;
        if (moment) {
            EXPECT_EQ(msOf(*moment), msOf(*c.moment)) << c.text;
        }
    }
}

// Every --json list is one array, an empty one too; only a followed protocol streams its objects.
TEST(VektrinctlManners, EveryJsonListIsOneArray) {
    test::AliasDir tables;
    ASSERT_EQ(tables.ctl({"add", "t", "--command", "true", "--daily", "--from", "7:30"}).exitCode,
              0);
    const std::string log = tables.file("Vektrin.log");
    writeFile(log, "03/07/24 09:05:04 Executes <t>.\r\nno date\r\n"
                   "03/07/24 09:06:00 Task <t> is completed.\r\n");
    const struct {
        std::vector<std::string> args;
        std::size_t elements;
    } cases[] = {
        {{"tasks", "--json"}, 1},
        {{"next", "t", "-n", "3", "--json"}, 3},
        {{"due", "--json"}, 1},
        {{"due", "--missed", "--json"}, 0},
        {{"resource", "list", "--json"}, 0},
        {{"output", "t", "--list", "--json"}, 0},
        {{"protocol", "--log", log, "--json"}, 3},
        {{"protocol", "--log", log, "--task", "t", "-n", "1", "--json"}, 1},
        {{"protocol", "--log", log, "--since", "2030-01-01", "--json"}, 0},
    };
    for (const auto& c : cases) {
        const auto o = tables.ctl(c.args);
        EXPECT_EQ(o.exitCode, 0) << test::joined(c.args) << o.err;
        const ctl::Json all = ctl::Json::parse(o.out, nullptr, false);
        EXPECT_TRUE(all.is_array()) << test::joined(c.args) << "\n" << o.out;
        EXPECT_EQ(all.size(), c.elements) << test::joined(c.args);
    }
}

// Every way vektrinctl prints: lines, help, JSON, the chart, and a protocol being followed.
TEST(VektrinctlManners, OutputThatCannotBeWrittenIsAnError) {
    TempDir dir;
    writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.path() + "\n");
    writeFile(dir.file("Vektrin.log"), "03/07/24 09:05:04 The Vektrin program started ...\r\n");
    const std::vector<std::vector<std::string>> families = {
        {"tasks"},
        {"--help"},
        {"export"},
        {"timeline"},
        {"protocol", "--follow", "--log", dir.file("Vektrin.log")},
    };
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    for (auto args : families) {
        args.insert(args.begin(), {"--aliases", dir.file("aliases.ini")});
        const auto o = test::runVektrinctlOnto(full, args);
        EXPECT_EQ(o.exitCode, 1) << args[2];
        EXPECT_TRUE(o.err.ends_with("vektrinctl: write error: No space left on device\n")) << o.err;
        const auto closed = test::runVektrinctlOnto(-1, args);
        EXPECT_EQ(closed.exitCode, 1) << args[2];
        EXPECT_TRUE(closed.err.ends_with("vektrinctl: write error: Bad file descriptor\n"))
            << closed.err;
    }
    close(full);
}

TEST(VektrinctlInit, AFreshAccountGetsTheAliasAndEmptyTables) {
    TempDir home;
    test::ScopedEnv env;
    env.set("XDG_DATA_HOME", home.file("data"));
    const std::string aliases = home.file("aliases.ini");
    const std::string kept = "; mine\r\n[Orlimb]\r\npath=/srv/orlimb\r\n";
    writeFile(aliases, kept);
    const auto init = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--aliases", aliases, "init"});
        return test::runVektrinctl(args);
    };

    const std::string tables = home.file("data") + "/vektrin/tables";
    auto o = init({});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "Aliases file: " + aliases + "\nTables:       " + tables + "\n");
    EXPECT_EQ(readFile(aliases), kept + "\r\n[Control]\r\npath=" + tables + "\r\n");
    struct stat st {};
    ASSERT_EQ(stat(tables.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(test::runVektrinctl({"--aliases", aliases, "tasks", "--no-header"}).out, "");

    // Defined already: kept byte for byte, unless forced.
    const std::string defined = readFile(aliases);
    o = init({home.file("other")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("defined already"), std::string::npos) << o.err;
    EXPECT_EQ(readFile(aliases), defined);
    o = init({"--if-missing", home.file("other")});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out + o.err, "");
    EXPECT_EQ(access(home.file("other").c_str(), F_OK), -1);

    // A place that cannot be made: nothing written anywhere.
    writeFile(home.file("plain"), "");
    o = init({"--force", home.file("plain") + "/tables"});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(readFile(aliases), defined);
    o = test::runVektrinctl(
        {"--aliases", home.file("plain") + "/aliases.ini", "init", home.file("new")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(access(home.file("new").c_str(), F_OK), -1);

    o = init({"--force", home.file("other")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(aliases), kept + "\r\n[Control]\r\npath=" + home.file("other") + "\r\n");

    // A system file without Control: the user's new file starts from it, keeping its aliases.
    env.set("VEKTRIN_ALIASES", nullptr);
    env.set("XDG_CONFIG_HOME", home.file("config"));
    env.set("XDG_CONFIG_DIRS", home.path());
    mkdir(home.file("vektrin").c_str(), 0755);
    writeFile(home.file("vektrin/aliases.ini"), "[Archive]\npath=/srv/archive\n");
    o = test::runVektrinctl({"init", home.file("mine")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(home.file("config/vektrin/aliases.ini")),
              "[Archive]\npath=/srv/archive\n\n[Control]\npath=" + home.file("mine") + "\n");
}

// A fresh account, in order: every command that needs the alias names init; once it is made, the
// commands for the scheduler say how to start one.
TEST(VektrinctlInit, AFreshAccountIsToldWhatToDo) {
    TempDir home;
    const std::string init = "Run \"vektrinctl init\" to define it with empty tables.\n";
    const std::string start = "Start one with \"vektrin --headless &\", or with \"systemctl --user "
                              "start vektrin\" where its user unit is installed.\n";
    const std::string tables = home.file("data") + "/vektrin/tables";
    const test::CtlCase cases[] = {
        {{"status"}, 2, "", init, false, true},
        {{"add", "t", "--command", "true"}, 2, "", init, false, true},
        {{"init"}, 0, "Aliases file: ", "", true},
        {{"status"}, 3, "vektrin is not running for the tables in " + tables + ".\n", start},
        {{"add", "t", "--command", "true"}, 0, "1\n", ""},
        {{"run", "t"},
         3,
         "",
         "No scheduler runs for the tables in " + tables + ": nothing was done.\n" + start},
        {{"stop", "t"}, 0, "Scheduling of <t> is stopped.", start, true},
    };
    for (const test::CtlCase& c : cases)
        test::expectOutcome(
            c, test::runVektrinctl(
                   c.args,
                   {"LC_ALL=C", "TZ=UTC", "VEKTRIN_ALIASES", "HOME=" + home.path(),
                    "XDG_CONFIG_HOME=" + home.file("config"), "XDG_CONFIG_DIRS=" + home.file("etc"),
                    "XDG_DATA_HOME=" + home.file("data"), "XDG_STATE_HOME=" + home.file("state"),
                    "XDG_RUNTIME_DIR=" + home.file("run")}));
}

// The aliases file that could not be used is named, and every place looked in when there is none.
TEST(VektrinctlAliases, TheFileOrThePlacesAreNamed) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("tables"));
    std::filesystem::create_directories(dir.file("user/vektrin/aliases.ini"));
    writeFile(dir.file("bom.ini"), "\xEF\xBB\xBF[control]\r\nPATH=tables\r\n");
    const struct {
        std::vector<std::string> env;
        int exitCode;
        std::string err; // a part of standard error
    } cases[] = {
        {{"VEKTRIN_ALIASES=" + dir.file("bom.ini")}, 0, ""},
        {{"XDG_CONFIG_HOME=" + dir.file("user"), "XDG_CONFIG_DIRS=" + dir.file("system")},
         2,
         "Cannot read the aliases file " + dir.file("user/vektrin/aliases.ini") +
             ": Is a directory"},
        {{"XDG_CONFIG_HOME=" + dir.file("none"), "XDG_CONFIG_DIRS=" + dir.file("system")},
         2,
         "there is no aliases file (" + dir.file("none/vektrin/aliases.ini") + ", " +
             dir.file("system/vektrin/aliases.ini") + ")"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> env = {"LC_ALL=C", "HOME=" + dir.path(), "VEKTRIN_ALIASES",
                                        "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"};
        env.insert(env.end(), c.env.begin(), c.env.end());
        const auto o = test::runVektrinctl({"tasks"}, env);
        EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    }
}

} // namespace
} // namespace vektrin
