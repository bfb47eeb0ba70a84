// A change reported as written stays written: the real vektrinctl against the real scheduler that
// writes the same records, and every command that changes several table files killed at random
// moments, the tables read afterwards by a fresh connection as the next program would read them.

#include "app/control_world.h"

#include <gtest/gtest.h>

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

// The first column of every row of a query over the three table files.
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
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        rows.emplace_back(text ? text : "");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

// Alternating --stopped and --no-stopped while the scheduler launches the task and records its
// ends as fast as it can: each value set must still be there when the next set comes.
TEST(Integrity, NoSetIsLostWhileTheSchedulerWritesTheSameRecord) {
    ControlWorld world;
    if (access(ControlWorld::bin("vektrin").c_str(), X_OK) != 0)
        GTEST_SKIP() << "vektrin was not built";
    // A year long gone: only the runs asked for launch it.
    ASSERT_EQ(world.ctl({"add", "loop", "--command", "true", "--yearly", "--from", "2001-01-01"})
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
        return query(world.tables(), "SELECT Stopped FROM Vektrin WHERE AppName = 'loop'");
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

// ----------------------------------------------------------------------- killed at any moment

// Kills the command after a random part of the time it takes when left alone (SIGKILL or, every
// other time, SIGINT), then asks whether the tables hold a state that is all or nothing of it.
class KilledCommands : public ::testing::Test {
  protected:
    ControlWorld world;
    std::mt19937 random{20261209};

    void ok(const std::vector<std::string>& args) {
        const auto o = world.ctl(args);
        ASSERT_EQ(o.exitCode, 0) << args[0] << ": " << o.err;
    }

    // The microseconds the command takes to its end.
    long long lasting(const std::vector<std::string>& args) {
        const auto t0 = std::chrono::steady_clock::now();
        ok(args);
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - t0)
            .count();
    }

    void killSomewhere(const std::vector<std::string>& args, long long span, int round) {
        std::vector<std::string> env = world.environment();
        const pid_t pid = ControlWorld::spawn(ControlWorld::bin("vektrinctl"), args, env,
                                              world.work(), "/dev/null", "/dev/null", "/dev/null");
        const long long after = std::uniform_int_distribution<long long>(0, span)(random);
        std::this_thread::sleep_for(std::chrono::microseconds(after));
        kill(pid, round % 2 ? SIGINT : SIGKILL);
        ControlWorld::waitExit(pid);
    }

    void writeDocument(const std::string& name, const std::string& mark, int tasks, bool resources,
                       int silenceHour) {
        std::string doc = R"({"Format": "vektrin-tables", "Tasks": [)";
        for (int i = 0; i < tasks; ++i)
            doc += std::string(i ? ", " : "") + R"({"AppName": ")" + mark + "-" +
                   std::to_string(i) + R"(", "Conflicts": 1})";
        doc += "]";
        if (resources)
            doc += R"(, "Resources": [{"ResourceNo": 1, "ResourceName": ")" + mark + R"("}])";
        doc += R"(, "SilencePeriods": [{"Interval": 2, "StartTime": "0)" +
               std::to_string(silenceHour) + R"(:00:00", "EndTime": "0)" +
               std::to_string(silenceHour) + R"(:30:00"}]})";
        test::writeFile(world.dir.file(name), doc);
    }
};

TEST_F(KilledCommands, ImportReplacingTheTablesIsAllOrNothing) {
    writeDocument("a.json", "a", 300, true, 1);
    writeDocument("b.json", "b", 200, true, 2);
    ok({"import", "--replace", world.dir.file("a.json")});
    const long long span = lasting({"import", "--replace", world.dir.file("b.json")}) * 6 / 5;
    for (int round = 0; round < rounds(100); ++round) {
        killSomewhere({"import", "--replace", world.dir.file(round % 2 ? "a.json" : "b.json")},
                      span, round);
        const auto tasks =
            query(world.tables(), "SELECT substr(AppName, 1, 1) || count(*) FROM Vektrin "
                                  "GROUP BY substr(AppName, 1, 1)");
        const auto resources = query(world.tables(), "SELECT ResourceName FROM VKResrcs");
        const auto silence = query(world.tables(), "SELECT round(StartTime * 24) FROM SYSEXCPT");
        const bool a = tasks == std::vector<std::string>{"a300"} &&
                       resources == std::vector<std::string>{"a"} &&
                       silence == std::vector<std::string>{"1.0"};
        const bool b = tasks == std::vector<std::string>{"b200"} &&
                       resources == std::vector<std::string>{"b"} &&
                       silence == std::vector<std::string>{"2.0"};
        ASSERT_TRUE(a || b) << "round " << round << ": tasks " << testing::PrintToString(tasks)
                            << ", resources " << testing::PrintToString(resources) << ", silence "
                            << testing::PrintToString(silence);
    }
}

TEST_F(KilledCommands, ImportAddingToTheTablesIsAllOrNothing) {
    writeDocument("more.json", "m", 50, false, 3);
    const long long span = lasting({"import", world.dir.file("more.json")}) * 6 / 5;
    int imports = 1;
    for (int round = 0; round < rounds(100); ++round) {
        killSomewhere({"import", world.dir.file("more.json")}, span, round);
        const auto tasks = query(world.tables(), "SELECT count(*) FROM Vektrin");
        const auto silence = query(world.tables(), "SELECT count(*) FROM SYSEXCPT");
        ASSERT_EQ(tasks.size(), 1u);
        const int n = std::stoi(tasks[0]);
        ASSERT_EQ(n % 50, 0) << "round " << round;
        ASSERT_EQ(silence, std::vector<std::string>{std::to_string(n / 50)}) << "round " << round;
        imports = n / 50;
    }
    EXPECT_GE(imports, 1);
}

// A resource goes together with its bit in every task that named it, or stays with it.
TEST_F(KilledCommands, RemovingAResourceIsAllOrNothing) {
    writeDocument("many.json", "t", 3000, false, 4);
    ok({"import", world.dir.file("many.json")});
    const auto restore = [&] {
        ok({"resource", "add", "1", "printer"});
        query(world.tables(), "UPDATE Vektrin SET Conflicts = 1 RETURNING 1");
    };
    ok({"resource", "add", "1", "printer"});
    const long long span = lasting({"resource", "rm", "1"}) * 6 / 5;
    restore();
    for (int round = 0; round < rounds(100); ++round) {
        killSomewhere({"resource", "rm", "1"}, span, round);
        const auto state = query(world.tables(), "SELECT (SELECT count(*) FROM VKResrcs) || ':' "
                                                 "|| (SELECT sum(Conflicts) FROM Vektrin)");
        ASSERT_TRUE(state == std::vector<std::string>{"1:3000"} ||
                    state == std::vector<std::string>{"0:0"})
            << "round " << round << ": " << testing::PrintToString(state);
        if (state[0] == "0:0") restore();
    }
}

} // namespace
} // namespace vektrin
