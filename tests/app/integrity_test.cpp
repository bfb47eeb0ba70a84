// A change reported as written stays written: the real vektrinctl against the real scheduler that
// writes the same records, and every command that changes several table files killed at random
// moments, the tables read afterwards by a fresh connection as the next program would read them.

#include "app/control_world.h"
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sqlite3.h>
#include <thread>

namespace vektrin {
namespace {

using test::ControlWorld;

// VEKTRIN_INTEGRITY_ROUNDS, else the given number: a thousand rounds take about a minute each.
int rounds(int usual) {
    const char* wanted = std::getenv("VEKTRIN_INTEGRITY_ROUNDS");
    return wanted ? std::atoi(wanted) : usual;
}

// The first column of every row of a query (or statements) over the three table files.
std::vector<std::string> query(const std::string& tables, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    // Writable, as every program of ours opens them: a change left half done by a killed writer
    // is rolled back before anything is read.
    if (sqlite3_open_v2((tables + "/Vektrin.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open the tables";
        return rows;
    }
    sqlite3_busy_timeout(db, 10000);
    const std::string attach = "ATTACH '" + tables + "/VKResrcs.db' AS resources; ATTACH '" +
                               tables + "/SYSEXCPT.DB' AS silence";
    EXPECT_EQ(sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    for (const char* next = sql.c_str(); *next;) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, next, -1, &st, &next), SQLITE_OK) << sql;
        if (!st) break;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            rows.emplace_back(text ? text : "");
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

// Alternating --stopped and --no-stopped while the scheduler launches the task and records its
// ends as fast as it can: each value set must still be there when the next set comes.
TEST(Integrity, NoSetIsLostWhileTheSchedulerWritesTheSameRecord) {
    if (access(ControlWorld::bin("vektrin").c_str(), X_OK) != 0)
        GTEST_SKIP() << "vektrin was not built";
    std::string reason;
    test::PgServer* server = test::PgServer::shared(reason);
    for (const bool onServer : {false, true}) {
        if (onServer && !server) GTEST_SKIP() << "on a database server: " << reason;
        SCOPED_TRACE(onServer ? "on a database server" : "in table files");
        ControlWorld world;
        const std::string uri = onServer ? server->createDatabase() : "";
        if (onServer) test::writeFile(world.aliases(), "[Control]\npath=" + uri + "\n");
        // A year long gone: only the runs asked for launch it.
        ASSERT_EQ(
            world.ctl({"add", "loop", "--command", "true", "--yearly", "--from", "2001-01-01"})
                .exitCode,
            0);
        world.start();
        const std::string socket = world.socketPath();
        std::atomic<bool> done{false};
        std::thread runner([&] {
            while (!done)
                test::askSocket(socket, R"({"command": "run", "task": "loop"})"
                                        "\n");
        });
        const auto stopped = [&] {
            return onServer
                       ? std::vector<std::string>{server->query(
                             test::PgServer::databaseOf(uri),
                             R"(SELECT "Stopped" FROM vektrin."Vektrin" WHERE "AppName" = 'loop')")}
                       : query(world.tables(),
                               "SELECT Stopped FROM Vektrin WHERE AppName = 'loop'");
        };
        int lost = 0;
        std::string expected = "0";
        for (int i = 0; i < rounds(300); ++i) {
            if (stopped() != std::vector<std::string>{expected}) ++lost;
            expected = i % 2 == 0 ? "1" : "0";
            const auto o = world.ctl({"set", "loop", i % 2 == 0 ? "--stopped" : "--no-stopped"});
            ASSERT_EQ(o.exitCode, 0) << o.err;
        }
        done = true;
        runner.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the last ends are recorded
        if (stopped() != std::vector<std::string>{expected}) ++lost;
        EXPECT_EQ(lost, 0);
        EXPECT_EQ(world.stop(), 0);
    }
}

// ----------------------------------------------------------------------- killed at any moment

// A document of tasks named <mark>-<n> that need resource 1, the resource itself when asked, and
// one silence period beginning at <hour>:00.
std::string document(const std::string& mark, int tasks, bool resource, int hour) {
    std::string doc = R"({"Format": "vektrin-tables", "Tasks": [)";
    for (int i = 0; i < tasks; ++i)
        doc += std::string(i ? ", " : "") + R"({"AppName": ")" + mark + "-" + std::to_string(i) +
               R"(", "Conflicts": 1})";
    doc += "]";
    if (resource) doc += R"(, "Resources": [{"ResourceNo": 1, "ResourceName": ")" + mark + "\"}]";
    const std::string h = "0" + std::to_string(hour);
    return doc + R"(, "SilencePeriods": [{"Interval": 2, "StartTime": ")" + h +
           R"(:00:00", "EndTime": ")" + h + R"(:30:00"}]})";
}

// Each command that changes several table files, killed (SIGKILL, or every other time SIGINT)
// after a random part of the time it takes when left alone; the tables must then hold all of it
// or none of it.
TEST(KilledCommands, EveryChangeOverSeveralFilesIsAllOrNothing) {
    const struct {
        const char* family;
        std::vector<std::vector<std::string>> setup;
        std::vector<std::string> (*command)(int round);
        const char* state; // a query of one row and column
        std::vector<std::string> whole;
        const char* restoreSql; // when the state shows the command done; may be empty
    } families[] = {
        {"import --replace",
         {{"import", "--replace", "@a.json"}},
         [](int round) -> std::vector<std::string> {
             return {"import", "--replace", round % 2 ? "@a.json" : "@b.json"};
         },
         "SELECT (SELECT group_concat(DISTINCT substr(AppName, 1, 1)) || count(*) FROM Vektrin) "
         "|| (SELECT group_concat(ResourceName) FROM VKResrcs) || (SELECT group_concat(CAST("
         "round(StartTime * 24) AS INTEGER)) FROM SYSEXCPT)",
         {"a300a1", "b200b2"},
         ""},
        {"import",
         {},
         [](int) -> std::vector<std::string> {
             return {"import", "@more.json"};
         },
         "SELECT (SELECT count(*) FROM Vektrin) - 50 * (SELECT count(*) FROM SYSEXCPT)",
         {"0"},
         ""},
        {"resource rm",
         {{"import", "@many.json"}, {"resource", "add", "1", "printer"}},
         [](int) -> std::vector<std::string> {
             return {"resource", "rm", "1"};
         },
         "SELECT (SELECT count(*) FROM VKResrcs) || ':' || (SELECT sum(Conflicts) FROM Vektrin)",
         {"1:3000", "0:0"},
         "INSERT INTO VKResrcs (ResourceNo, ResourceName) VALUES (1, 'printer'); "
         "UPDATE Vektrin SET Conflicts = 1"},
    };
    std::mt19937 random(20261209);
    for (const auto& f : families) {
        ControlWorld world;
        const auto withFiles = [&](std::vector<std::string> args) {
            for (std::string& a : args)
                if (a.starts_with("@")) a = world.dir.file(a.substr(1));
            return args;
        };
        test::writeFile(world.dir.file("a.json"), document("a", 300, true, 1));
        test::writeFile(world.dir.file("b.json"), document("b", 200, true, 2));
        test::writeFile(world.dir.file("more.json"), document("m", 50, false, 3));
        test::writeFile(world.dir.file("many.json"), document("t", 3000, false, 4));
        for (const auto& args : f.setup)
            ASSERT_EQ(world.ctl(withFiles(args)).exitCode, 0) << f.family;
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(world.ctl(withFiles(f.command(0))).exitCode, 0) << f.family;
        const auto span = (std::chrono::steady_clock::now() - t0) * 6 / 5;
        if (*f.restoreSql) query(world.tables(), f.restoreSql);
        const std::string before = query(world.tables(), f.state).at(0);
        for (int round = 1; round <= rounds(100); ++round) {
            const pid_t pid = ControlWorld::spawn(
                ControlWorld::bin("vektrinctl"), withFiles(f.command(round)), world.environment(),
                world.work(), "/dev/null", "/dev/null", "/dev/null");
            std::this_thread::sleep_for(std::uniform_real_distribution<double>(0, 1)(random) *
                                        span);
            kill(pid, round % 2 ? SIGINT : SIGKILL);
            ControlWorld::waitExit(pid);
            const std::string state = query(world.tables(), f.state).at(0);
            ASSERT_NE(std::find(f.whole.begin(), f.whole.end(), state), f.whole.end())
                << f.family << ", round " << round << ": " << state;
            if (*f.restoreSql && state != before) query(world.tables(), f.restoreSql);
        }
    }
}

} // namespace
} // namespace vektrin
