#include "platform/version.h"
#include "support/engine_fixture.h"
#include "support/fake_messages.h"
#include "support/file_size_limit.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

using test::EngineTest;
using ::testing::ElementsAre;

TEST_F(EngineTest, WithoutTheControlAliasStartUpEndsBeforeAnyTable) {
    for (const std::string& aliases :
         {std::string("[Other]\npath=/tmp\n"), std::string("[Control]\n"),
          std::string("[Control]\npath=\n")}) {
        test::writeFile(dir.file("aliases.ini"), aliases);
        EXPECT_NE(failedStart(), 0) << "started with " << aliases;
        EXPECT_EQ(port.messages.back(), "You don't define Control Alias");
        EXPECT_FALSE(test::readFile(dir.file("Vektrin.log")).size());
    }
    ::unlink(dir.file("aliases.ini").c_str()); // a missing file is no alias either
    make();
    EXPECT_THROW(scheduler->FormCreate(), FatalExit);
    EXPECT_TRUE(test::readFile(tables() + "/Vektrin.db").empty());
}

struct LanguageCase {
    std::vector<std::string> args;
    const char* stored;
};

class LanguageTest : public EngineTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageTest, ArgumentRecordsTheLanguageAndEnds) {
    make(GetParam().args);
    EXPECT_EQ(scheduler->FormCreate(), Scheduler::StartResult::Finished);
    EXPECT_EQ(settings->read(LocalesKey, "/usr/bin/vektrin"), GetParam().stored);
    EXPECT_TRUE(test::readFile(dir.file("Vektrin.log")).empty());
    EXPECT_TRUE(test::readFile(tables() + "/Vektrin.db").empty());
}

INSTANTIATE_TEST_SUITE_P(Arguments, LanguageTest,
                         ::testing::Values(LanguageCase{{"rus"}, "RUS"},
                                           LanguageCase{{"RUS"}, "RUS"}, LanguageCase{{"ENG"}, ""},
                                           LanguageCase{{"rUs", "ENG"}, "RUS"},
                                           LanguageCase{{"ENG", "RUS"}, ""}));

TEST_F(EngineTest, LanguageArgumentWithoutAliasWritesNothing) {
    test::writeFile(dir.file("aliases.ini"), "");
    make({"RUS"});
    EXPECT_THROW(scheduler->FormCreate(), FatalExit);
    EXPECT_EQ(settings->read(LocalesKey, "/usr/bin/vektrin"), std::nullopt);
}

TEST_F(EngineTest, StartUpWritesTheOpeningLinesAndStartsTheOneSecondTimer) {
    start();
    EXPECT_THAT(protocol(),
                ElementsAre("The Vektrin program started ...", "Task scheduling is resumed.",
                            "Waiting of the task scheduling start."));
    EXPECT_EQ(port.title, "System monitor - Vektrin 2.1");
    EXPECT_THAT(port.icons, ElementsAre("XICON1"));
    EXPECT_THAT(port.colours, ElementsAre(StatusGreen, StatusYellow));
    EXPECT_TRUE(port.timer1);
    EXPECT_EQ(scheduler->PauseStart, 0); // the first pass misses nothing: no pause to mark
    const std::string log = test::readFile(dir.file("Vektrin.log"));
    EXPECT_EQ(log.substr(0, 41), "07.12.2026 10:00:30 The Vektrin program s");
    EXPECT_EQ(log.find('\n'), log.find("\r\n") + 1); // CR LF line ends
}

// A start at 16:59:02 schedules 17:00: the first pass comes at the first second 1, not a minute
// after it.
TEST_F(EngineTest, TheFirstPassComesAtTheFirstSecondOneAfterTheStart) {
    const struct {
        int second, ms;
        int firstDelayMs;
    } cases[] = {{2, 0, 59000}, {59, 0, 2000}, {0, 500, 500}, {1, 300, 1}, {1, 999, 1}};
    for (const auto& c : cases) {
        clock.set(2026, 12, 7, 16, 59, c.second, c.ms);
        start();
        EXPECT_TRUE(port.timer2) << c.second;
        EXPECT_EQ(port.timer2Delays.back(), c.firstDelayMs) << c.second << "." << c.ms;
        scheduler->FormClose();
        scheduler.reset();
    }
}

TEST_F(EngineTest, StartUpResetsStaleCodesAndKeepsTheirMoments) {
    start();
    std::vector<std::int32_t> ids;
    for (int c = 0; c <= 15; ++c)
        ids.push_back(addTask("t" + std::to_string(c), [c](TDataCtrl& d) {
            d.Table1EndCode.setFloat(c);
            d.Table1LastDate.setDateTime(40000);
            d.Table1LastTime.setDateTime(0.25);
        }));
    scheduler->FormClose();
    scheduler.reset();
    start();
    for (int c = 0; c <= 15; ++c) {
        const bool stale = c == 2 || c == 6 || c == 7 || c == 12 || c == 13;
        EXPECT_EQ(code(ids[c]), stale ? 9 : c) << c;
        select(ids[c]);
        EXPECT_EQ(dm().Table1LastDate.asDateTime(), 40000);
        EXPECT_EQ(dm().Table1LastTime.asDateTime(), 0.25);
    }
}

TEST_F(EngineTest, ASecondSchedulerOnTheSameLogOrTablesIsRefused) {
    start();
    test::FakePort otherPort;
    // Same log file.
    Scheduler second(clock, processes, windows, otherPort, *settings, regional, config());
    EXPECT_THROW(second.FormCreate(), FatalExit);
    EXPECT_EQ(otherPort.messages.back(),
              "You have a problem with a Log file open.\r\nMaybe Vektrin runs already?\r\n"
              "Another scheduler holds the tables in " +
                  tables() + ".");
    // Another working directory, same tables: still refused, no task code is touched and no
    // protocol is left behind.
    const auto id = addTask("running", [](TDataCtrl& d) { d.Table1EndCode.setFloat(2); });
    SchedulerConfig other = config();
    other.logPath = dir.file("other.log");
    Scheduler third(clock, processes, windows, otherPort, *settings, regional, other);
    EXPECT_THROW(third.FormCreate(), FatalExit);
    EXPECT_EQ(code(id), 2);
    EXPECT_NE(access(other.logPath.c_str(), F_OK), 0);
}

TEST_F(EngineTest, AnUnusableTableDirectoryEndsStartUpWithItsName) {
    test::writeFile(tables() + "/SYSEXCPT.DB", "garbage that is not a table");
    make();
    EXPECT_THROW(scheduler->FormCreate(), FatalExit);
    EXPECT_NE(port.messages.back().find("SYSEXCPT.DB"), std::string::npos);
    EXPECT_EQ(test::readFile(tables() + "/SYSEXCPT.DB"), "garbage that is not a table");
}

// Every shape of a table directory that cannot be used: its own message with the path, status 1,
// and not a byte created or changed in the directory.
struct DirectoryShape {
    const char* name;
    std::function<void(const std::string& tables)> make; // tables: the alias directory
    const char* message;                                 // part of the message after the path
    bool needsRoot = false;
};

std::string listing(const std::string& directory) {
    std::string out;
    DIR* d = opendir(directory.c_str());
    if (!d) return "(none)";
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        struct stat st {};
        lstat((directory + "/" + n).c_str(), &st);
        std::string content;
        if (S_ISREG(st.st_mode)) content = test::readFile(directory + "/" + n);
        out += n + ":" + std::to_string(st.st_mode) + ":" + content + "\n";
    }
    return out;
}

void sqliteFile(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

class DirectoryShapeTest : public EngineTest,
                           public ::testing::WithParamInterface<DirectoryShape> {};

TEST_P(DirectoryShapeTest, IsRefusedByNameWithNothingCreated) {
    if (GetParam().needsRoot && geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
    const std::string t = tables();
    GetParam().make(t);
    const std::string before = listing(t);
    EXPECT_EQ(failedStart(), 1);
    ASSERT_FALSE(port.messages.empty());
    const std::string& message = port.messages.back();
    EXPECT_NE(message.find(t), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
    EXPECT_EQ(message.find("Maybe Vektrin runs already"), std::string::npos) << message;
    EXPECT_EQ(listing(t), before);
    EXPECT_TRUE(test::readFile(dir.file("Vektrin.log")).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DirectoryShapeTest,
    ::testing::Values(
        DirectoryShape{"MissingDirectory", [](const std::string& t) { rmdir(t.c_str()); },
                       "does not exist"},
        DirectoryShape{"FileInPlaceOfTheDirectory",
                       [](const std::string& t) {
                           rmdir(t.c_str());
                           test::writeFile(t, "notes");
                       },
                       "is not a directory"},
        DirectoryShape{"DirectoryInPlaceOfTheTaskTable",
                       [](const std::string& t) { mkdir((t + "/Vektrin.db").c_str(), 0755); },
                       "Vektrin.db is a directory"},
        DirectoryShape{"DanglingSymlink",
                       [](const std::string& t) {
                           symlink((t + "/gone.db").c_str(), (t + "/Vektrin.db").c_str());
                       },
                       "which does not exist"},
        DirectoryShape{"ReadOnlyTableFile",
                       [](const std::string& t) {
                           sqliteFile(t + "/VKResrcs.db", "CREATE TABLE x(y); DROP TABLE x;");
                           chmod((t + "/VKResrcs.db").c_str(), 0444);
                       },
                       "VKResrcs.db is read-only"},
        DirectoryShape{"ForeignOwnedTableFile",
                       [](const std::string& t) {
                           test::writeFile(t + "/SYSEXCPT.DB", "");
                           [[maybe_unused]] int r =
                               chown((t + "/SYSEXCPT.DB").c_str(), 65534, 65534);
                       },
                       "belongs to the user", true},
        DirectoryShape{"AnotherProgramsDatabase",
                       [](const std::string& t) {
                           sqliteFile(t + "/Vektrin.db",
                                      "CREATE TABLE people(name TEXT); INSERT INTO people "
                                      "VALUES('Ann');");
                       },
                       "holds the table \"people\""},
        DirectoryShape{"OurTableWithOtherColumns",
                       [](const std::string& t) {
                           sqliteFile(t + "/Vektrin.db",
                                      "CREATE TABLE \"Vektrin\"(AppID INTEGER PRIMARY KEY, "
                                      "Title TEXT); INSERT INTO \"Vektrin\" VALUES(1, 'x');");
                       },
                       "has the column \"Title\", which is not one of Vektrin's"},
        DirectoryShape{"OurTableWithoutItsKey",
                       [](const std::string& t) {
                           sqliteFile(t + "/VKResrcs.db",
                                      "CREATE TABLE VKResrcs(ResourceName TEXT, MaxWait REAL)");
                       },
                       "lacks the column \"ResourceNo\", which cannot be added"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, AnEmptyFileOrAnEmptyDatabaseBecomesAFreshTable) {
    test::writeFile(tables() + "/Vektrin.db", "");
    sqliteFile(tables() + "/VKResrcs.db", "PRAGMA user_version=3");
    start();
    addTask("fresh");
    EXPECT_EQ(dm().Table1.recordCount(), 1);
}

// A file of an older layout that lacks columns gets them, keeps its rows, and says so once.
TEST_F(EngineTest, AnOlderLayoutGetsTheColumnsItLacksOnce) {
    sqliteFile(tables() + "/SYSEXCPT.DB",
               "CREATE TABLE SYSEXCPT(Interval INTEGER, StartDate REAL, StartTime REAL, EndDate "
               "REAL); INSERT INTO SYSEXCPT VALUES (2, 0, 0.5, 0)");
    testing::internal::CaptureStderr();
    start();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("SYSEXCPT.DB was of an older layout; added the columns EndTime"),
              std::string::npos)
        << said;
    dm().Table3.first();
    EXPECT_EQ(dm().Table3StartTime.asDateTime(), 0.5);
    EXPECT_EQ(dm().Table3EndTime.asDateTime(), 0);
    scheduler.reset();
    testing::internal::CaptureStderr();
    start();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Once the tables are open, no failure may abort the program: it is reported, written to the
// protocol when the log takes lines, and the locks are given back for the next attempt.
TEST_F(EngineTest, AHeldTableEndsStartUpWithAReportAndFreesTheLocks) {
    start();
    addTask("left running", [](TDataCtrl& d) { d.Table1EndCode.setFloat(2); });
    scheduler.reset();

    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((tables() + "/Vektrin.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(failedStart(), 1) << "started on a held table";
    EXPECT_EQ(port.kinds.back(), MessageKind::Error);
    EXPECT_NE(port.messages.back().find("locked"), std::string::npos) << port.messages.back();
    const auto lines = protocol();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("The Vektrin program could not start: ", 0), 0u) << lines.back();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    start(); // the failed attempt left no lock behind
    select(1);
    EXPECT_EQ(dm().Table1EndCode.asFloat(), 9);
}

TEST_F(EngineTest, AFullLogAtStartUpCostsNoStartAndTearsNoLine) {
    // A log of today's lines, and no room for one more byte in any file.
    std::string text;
    while (text.size() < 64 * 1024)
        text += "07.12.2026 09:00:00 An old line of today\r\n";
    test::writeFile(dir.file("Vektrin.log"), text);
    {
        test::FileSizeLimit full(text.size());
        start();
    }
    EXPECT_EQ(test::readFile(dir.file("Vektrin.log")), text); // nothing lost, nothing half-written
    scheduler->Timer1Timer();
    EXPECT_TRUE(protocolHas("The Vektrin program started ..."));
}

TEST_F(EngineTest, ShutdownInterruptsEveryRunningTaskAndWritesTheClosingLine) {
    start();
    const auto a = addTask("alpha");
    const auto b = addTask("beta");
    runNow(a);
    runNow(b);
    dm().Table1.edit();
    dm().Table1AppName.setString("beta renamed"); // dropped, as closing its editor drops it
    scheduler->FormClose();
    const auto lines = protocol();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_THAT(std::vector<std::string>(lines.end() - 3, lines.end()),
                ElementsAre("Execution of <alpha> is interrupted - end of work.",
                            "Execution of <beta> is interrupted - end of work.",
                            "The Vektrin program completed ..."));
    EXPECT_EQ(processes.running(), 0);
    for (const auto& [h, p] : processes.procs) {
        EXPECT_TRUE(p.terminated);
        EXPECT_TRUE(p.closed);
    }
    scheduler.reset();
    start();
    EXPECT_EQ(code(a), 3);
    EXPECT_EQ(code(b), 3);
}

TEST_F(EngineTest, ExitIsRefusedWhileAWindowIsOpenInAFixedOrder) {
    start();
    const std::pair<PauseWindow, const char*> cases[] = {
        {PauseWindow::ProtocolShow, "Close 'Protocol' form before exit"},
        {PauseWindow::ConflictsEdit, "Close 'Exceptions' form before exit"},
        {PauseWindow::ResourcesEdit, "Close 'Conflicts' form before exit"},
        {PauseWindow::Tasks, "Close 'Tasks' form before exit"},
    };
    for (const auto& [window, message] : cases) {
        scheduler->beginPause(window);
        scheduler->ExitBtnClick();
        EXPECT_EQ(port.messages.back(), message);
        EXPECT_FALSE(port.closeRequested);
        EXPECT_FALSE(port.timer1);
    }
    for (const auto& [window, message] : cases)
        scheduler->endPause(window);
    EXPECT_TRUE(port.timer1);
    scheduler->ExitBtnClick();
    EXPECT_TRUE(port.closeRequested);
}

TEST(VersionTextTest, KeepsMajorAndMinor) {
    EXPECT_EQ(VersionText("2.1.0.7"), "2.1");
    EXPECT_EQ(VersionText("10.20.30.40"), "10.20");
    EXPECT_EQ(VersionText("1.0"), "1.0");
    EXPECT_EQ(VersionText("3"), "3");
    EXPECT_EQ(VersionText("No such VersionInfo"), "No such VersionInfo");
}

TEST_F(EngineTest, StatusColourWritesALineOnlyOnAChange) {
    start();
    const size_t before = protocol().size();
    scheduler->SetStatusColor(StatusYellow); // yellow only from green
    scheduler->SetStatusColor(12345);        // not a colour
    EXPECT_EQ(protocol().size(), before);
    scheduler->SetStatusColor(StatusRed);
    scheduler->SetStatusColor(StatusRed);
    scheduler->SetStatusColor(StatusYellow);
    scheduler->SetStatusColor(StatusGreen);
    scheduler->SetStatusColor(StatusYellow);
    auto lines = protocol();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 3, lines.end()),
                ElementsAre("Task scheduling is stopped.", "Task scheduling is resumed.",
                            "Waiting of the task scheduling start."));
}

TEST_F(EngineTest, PauseKeepsTheFirstStartAndWritesItsLines) {
    start();
    scheduler->Timer1Timer(); // consumes the start-up pause
    EXPECT_EQ(scheduler->PauseStart, 0);
    scheduler->beginPause(PauseWindow::Tasks);
    const DateTime first = scheduler->PauseStart;
    clock.advanceSeconds(30);
    scheduler->beginPause(PauseWindow::ProtocolShow);
    EXPECT_EQ(scheduler->PauseStart, first);
    scheduler->endPause(PauseWindow::ProtocolShow);
    scheduler->endPause(PauseWindow::Tasks);
    const auto lines = protocol();
    // Each closing checks the silence periods (green from yellow) and then turns yellow again.
    EXPECT_THAT(std::vector<std::string>(lines.end() - 8, lines.end()),
                ElementsAre("Task list editing beginned ...", "Protocol viewing beginned ...",
                            "Protocol viewing completed ...", "Task scheduling is resumed.",
                            "Waiting of the task scheduling start.",
                            "Task list editing completed ...", "Task scheduling is resumed.",
                            "Waiting of the task scheduling start."));
}

} // namespace
} // namespace vektrin
