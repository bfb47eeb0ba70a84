// A scheduler on tables in a database of a private PostgreSQL server whose connection fails in
// the ways a network and a server fail.

#include "store/pg_database.h"
#include "support/engine_fixture.h"
#include "support/pg_server.h"

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
        database = uri.substr(uri.find(":///") + 4, uri.find('?') - uri.find(":///") - 4);
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
// moment cannot be claimed) and one pinned here is; a connection cut is mended at once. Each loss
// and return is one protocol line, and every launch's claim and the lines reach the server.
TEST_F(SharedTablesTest, ALostServerLaunchesOnlyWhatIsPinnedHereAndCatchesUp) {
    const struct {
        const char* fault;
        std::function<void()> cut, mend;
        std::vector<std::string> launched;
    } faults[] = {
        {"server stopped",
         [&] { server->stop(); },
         [&] { ASSERT_TRUE(server->start()); },
         {"pinned"}},
        {"connection cut",
         [&] { server->terminateSessionsOf(database); },
         [] {},
         {"any", "pinned"}},
    };
    start();
    const std::string here = scheduler->host();
    addTask("any");
    addTask("pinned", [&](TDataCtrl& d) { d.Table1Host.setString(here); });
    scheduler->Timer1Timer();
    for (const auto& f : faults) {
        SCOPED_TRACE(f.fault);
        const std::size_t launched = processes.launches.size();
        const int lost = protocolLines("connection to the database server is lost");
        f.cut();
        clock.advanceSeconds(60);
        scheduler->Timer2Timer();
        scheduler->Timer1Timer();
        EXPECT_EQ(processes.namesSince(launched), f.launched);
        EXPECT_EQ(protocolLines("connection to the database server is lost"), lost + 1);
        f.mend();
        processes.endRunning();
        secondsUntil([&] { return protocolLines("server is back") == lost + 1; });
        EXPECT_EQ(protocolLines("server is back"), lost + 1) << testing::PrintToString(protocol());
        const std::string claims = server->query(
            database, "SELECT count(*) FROM vektrin.claims WHERE taken_by = '" + here + "'");
        EXPECT_EQ(claims, std::to_string(processes.launches.size())) << "a claim for each launch";
        EXPECT_NE(server->query(database, "SELECT count(*) FROM vektrin.protocol WHERE line "
                                          "LIKE '%server is back%'"),
                  "0");
    }
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

} // namespace
} // namespace vektrin
