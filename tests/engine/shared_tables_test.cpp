// A scheduler on tables in a database of a private PostgreSQL server whose connection fails in
// the ways a network and a server fail.

#include "store/pg_database.h"
#include "support/engine_fixture.h"
#include "support/pg_server.h"

#include <poll.h>
#include <thread>

namespace vektrin {
namespace {

class SharedTablesTest : public test::EngineTest {
  protected:
    test::PgServer* server = nullptr;
    std::string database;

    void SetUp() override {
        std::string reason;
        server = test::PgServer::shared(reason);
        if (!server) GTEST_SKIP() << reason;
        const std::string uri = server->createDatabase();
        database = test::PgServer::databaseOf(uri);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + uri + "\n");
    }
    // Seconds of the monitoring pass, a real half second apart (the reconnection's backoff).
    void secondsUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 20 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            clock.advanceSeconds(1);
            scheduler->Timer1Timer();
        }
    }
};

// While the server cannot be reached, a task that any workstation may run is not launched (its
// moment cannot be claimed; a catch-up one is made up on the return) and one pinned here is; a
// connection cut is mended at once. Each loss and return is one protocol line, and every launch's
// claim and the lines reach the server.
TEST_F(SharedTablesTest, ALostServerLaunchesOnlyWhatIsPinnedHereAndCatchesUp) {
    const struct {
        const char* fault;
        std::function<void()> cut, mend;
        std::vector<std::string> launched, withTheReturn;
    } faults[] = {
        {"server stopped",
         [&] { server->stop(); },
         [&] { ASSERT_TRUE(server->start()); },
         {"pinned"},
         {"pinned", "any"}},
        {"connection cut",
         [&] { server->terminateSessionsOf(database); },
         [] {},
         {"any", "pinned"},
         {"any", "pinned"}},
    };
    start();
    const std::string here = scheduler->host();
    addTask("any", [](TDataCtrl& d) { d.Table1CatchUp.setBoolean(true); });
    addTask("pinned", [&](TDataCtrl& d) { d.Table1Host.setString(here); });
    scheduler->Timer1Timer();
    for (const auto& f : faults) {
        SCOPED_TRACE(f.fault);
        processes.endRunning();
        scheduler->Timer1Timer();
        const std::size_t launched = processes.launches.size();
        const int lost = protocolLines("connection to the database server is lost");
        f.cut();
        clock.advanceSeconds(60);
        scheduler->Timer2Timer();
        scheduler->Timer1Timer();
        EXPECT_EQ(processes.namesSince(launched), f.launched);
        EXPECT_EQ(protocolLines("connection to the database server is lost"), lost + 1);
        f.mend();
        secondsUntil([&] { return protocolLines("server is back") == lost + 1; });
        EXPECT_EQ(protocolLines("server is back"), lost + 1) << testing::PrintToString(protocol());
        // The catch-up task held back for want of its claim is made up once.
        EXPECT_EQ(processes.namesSince(launched), f.withTheReturn);
        const std::string claims = server->query(
            database, "SELECT count(*) FROM vektrin.claims WHERE taken_by = '" + here + "'");
        EXPECT_EQ(claims, std::to_string(processes.launches.size())) << "a claim for each launch";
        EXPECT_NE(server->query(database, "SELECT count(*) FROM vektrin.protocol WHERE line "
                                          "LIKE '%server is back%'"),
                  "0");
    }
}

// A resource's hold outlives its workstation's lost connection (its task may still run there), is
// taken again with the connection, and ends when the workstation's scheduler starts afresh.
TEST_F(SharedTablesTest, AHoldStandsThroughALostConnection) {
    const std::string uri = server->uri(database);
    auto a = std::make_unique<PgDatabase>(uri, OpenMode::ReadWrite);
    PgDatabase b(uri, OpenMode::ReadWrite);
    ASSERT_TRUE(a->registerScheduler("a", "1", 1) && b.registerScheduler("b", "1", 2));
    ASSERT_TRUE(a->holdResource(1));
    server->terminateSessionsOf(database);
    const auto lost = [](const std::function<void()>& statement) {
        EXPECT_THROW(statement(), DatabaseError);
    };
    lost([&] { b.liveSchedulers(); });
    EXPECT_FALSE(b.holdResource(1)) << "a's connection lost";
    lost([&] { a->liveSchedulers(); });
    ASSERT_TRUE(a->reconnect());
    EXPECT_FALSE(b.holdResource(1)) << "a back";
    a.reset();
    a = std::make_unique<PgDatabase>(uri, OpenMode::ReadWrite);
    ASSERT_TRUE(a->registerScheduler("a", "1", 3));
    EXPECT_TRUE(b.holdResource(1)) << "a started afresh";
}

// A second scheduler of the same host is refused by name; one of another host starts.
TEST_F(SharedTablesTest, OneSchedulerPerHost) {
    start();
    SchedulerConfig c = config();
    c.logPath = dir.file("second.log");
    Scheduler second(clock, processes, windows, port, *settings, regional, c);
    EXPECT_THROW(second.FormCreate(), FatalExit);
    ASSERT_FALSE(port.messages.empty());
    EXPECT_NE(port.messages.back().find("Another scheduler runs for the host " + c.host),
              std::string::npos)
        << port.messages.back();
    c.host = "elsewhere";
    c.logPath = dir.file("third.log");
    Scheduler third(clock, processes, windows, port, *settings, regional, c);
    EXPECT_EQ(third.FormCreate(), Scheduler::StartResult::Running);
    third.FormClose();
}

// Another workstation's change shows in the task table and its request is answered as their notices
// come: at the next second, or at once when the socket says one came.
TEST_F(SharedTablesTest, AnotherWorkstationIsHeardThroughTheNotices) {
    start();
    addTask("a");
    scheduler->answerRemoteRequestsWith([](const std::string& r) { return "answer to " + r; });
    PgDatabase other(server->uri(database), OpenMode::ReadWrite);
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "socket" : "next second");
        clock.advanceSeconds(1);
        scheduler->Timer1Timer();
        const std::string name = atOnce ? "renamed twice" : "renamed";
        server->query(database, "UPDATE vektrin.\"Vektrin\" SET \"AppName\" = '" + name + "'");
        const std::int64_t request = other.sendRequest(scheduler->host(), "status");
        pollfd p{scheduler->noticeSocket(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        if (!atOnce) clock.advanceSeconds(1);
        atOnce ? scheduler->takeServerNotices() : scheduler->Timer1Timer();
        EXPECT_EQ(dm().Table1AppName.asString(), name);
        EXPECT_EQ(other.answerOf(request).value_or("none"), "answer to status");
    }
}

// The operator's run of a task claims its minute beside the scheduled moment: not on a workstation
// the task is not for, not twice in a minute from two workstations, not without the server for a
// task of any workstation.
TEST_F(SharedTablesTest, TheOperatorsRunClaimsItsMinute) {
    start();
    const std::string here = scheduler->host();
    SchedulerConfig c = config();
    c.host = "other";
    c.logPath = dir.file("other.log");
    Scheduler second(clock, processes, windows, port, *settings, regional, c);
    ASSERT_EQ(second.FormCreate(), Scheduler::StartResult::Running);
    const std::int32_t elsewhere =
        addTask("elsewhere", [](TDataCtrl& d) { d.Table1Host.setString("other"); });
    const std::int32_t any = addTask("any");
    const std::int32_t pinned =
        addTask("pinned", [&](TDataCtrl& d) { d.Table1Host.setString(here); });
    // A record's bookmark is its number.
    const auto run = [](Scheduler& s, std::int32_t id) {
        s.dataCtrl().Table1.gotoBookmark(id);
        return s.RunNowClick().launchError;
    };
    EXPECT_EQ(runNow(elsewhere).launchError,
              "Task <elsewhere> runs on the workstation other only.");
    EXPECT_EQ(runNow(any).outcome, RunOutcome::Launched);
    EXPECT_EQ(runNow(any).outcome, RunOutcome::Launched) << "a second run from here";
    second.dataCtrl().Table1.refresh();
    EXPECT_EQ(run(second, any),
              "Task <any> was started on the workstation " + here + " this minute.");
    clock.advanceSeconds(60);
    EXPECT_EQ(run(second, any), "") << "the next minute";
    second.FormClose();
    server->stop();
    scheduler->Timer1Timer();
    EXPECT_EQ(run(*scheduler, any),
              "Task <any> is not started: the database server cannot be reached.");
    EXPECT_EQ(run(*scheduler, pinned), "");
    ASSERT_TRUE(server->start());
    secondsUntil([&] { return protocolLines("server is back") == 1; });
    EXPECT_EQ(server->query(
                  database,
                  "SELECT string_agg(taken_by, ' ' ORDER BY task, taken_at) FROM vektrin.claims"),
              here + " other " + here);
}

} // namespace
} // namespace vektrin
