// A scheduler on tables in a database of a private PostgreSQL server whose connection fails in
// the ways a network and a server fail.

#include "engine/task_host.h"
#include "store/pg_database.h"
#include "support/engine_fixture.h"
#include "support/pg_server.h"

#include <algorithm>
#include <map>
#include <poll.h>
#include <random>
#include <set>
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

// ------------------------------------------------------------------ several workstations, played

// Workstations on one task list played in steps of five seconds against the real server, their
// clocks minutes apart, with a scheduler killed and started again, the server restarted and
// the connections cut. Each moment runs once (once on each host for a task of each), no two runs
// that need a resource overlap anywhere, nor two of a task for any workstation, every launch has
// its claim, every moment of a minute without a fault is claimed unless the task still runs, and
// no change committed meanwhile is lost.
TEST(SharedTablesSimulation, SeveralWorkstationsKeepTheInvariantsThroughFaults) {
    std::string reason;
    test::PgServer* server = test::PgServer::shared(reason);
    if (!server) GTEST_SKIP() << reason;
    for (const int stations : {2, 3}) {
        SCOPED_TRACE(std::to_string(stations) + " workstations");
        const std::string uri = server->createDatabase();
        const std::string database = test::PgServer::databaseOf(uri);
        std::mt19937_64 chance(static_cast<std::uint64_t>(stations));
        const auto below = [&](int n) {
            return static_cast<int>(chance() % static_cast<unsigned>(n));
        };
        struct Station {
            test::TestWorld world;
            std::string host;
            int skew = 0; // seconds its clock is ahead
            std::unique_ptr<Scheduler> s;
            std::intptr_t seen = 0;
            std::int64_t lastMinute = -1;
            std::string passMoment;
        };
        std::vector<std::unique_ptr<Station>> at;
        const auto start = [&](Station& st) {
            SchedulerConfig c = st.world.config();
            c.host = st.host;
            st.s = std::make_unique<Scheduler>(st.world.clock, st.world.processes, st.world.windows,
                                               st.world.port, *st.world.settings, st.world.regional,
                                               c);
            ASSERT_EQ(st.s->FormCreate(), Scheduler::StartResult::Running);
        };
        for (int i = 0; i < stations; ++i) {
            at.push_back(std::make_unique<Station>());
            Station& st = *at.back();
            st.host = "h" + std::to_string(i);
            st.skew = i * 160; // minutes apart
            test::writeFile(st.world.dir.file("aliases.ini"), "[Control]\npath=" + uri + "\n");
            st.world.clock.set(2026, 12, 7, 10, 0, 0);
            st.world.clock.advanceSeconds(st.skew);
        }
        // Twelve every-minute tasks: for any workstation, each, or one named; needing resource
        // 1, 2, both or none.
        start(*at[0]);
        struct TaskInfo {
            std::string host;
            ResourceMask mask;
        };
        std::map<std::int32_t, TaskInfo> tasks;
        std::map<std::string, std::int32_t> ids;
        for (int i = 0; i < 12; ++i) {
            const std::string host = std::vector<std::string>{"", "*", "h0", "h1"}[i % 4];
            const ResourceMask mask = static_cast<ResourceMask>(below(4) == 0 ? 0 : 1 + below(3));
            const std::string name = "t" + std::to_string(i);
            const std::int32_t id =
                test::TestWorld::appendTask(at[0]->s->dataCtrl(), name, [&](TDataCtrl& d) {
                    d.Table1Application.setString("prog-" + name);
                    d.Table1Host.setString(host);
                    d.Table1Conflicts.setInteger(mask);
                });
            tasks[id] = {host, mask};
            ids[name] = id;
        }
        for (std::size_t i = 1; i < at.size(); ++i)
            start(*at[i]);
        // An operator's program sets each task's priority now and then, as vektrinctl set does,
        // while the schedulers write the tasks' states: every value committed stays (one whose
        // commit the fault left unknown may or may not).
        test::FakePort writerMessages;
        TDataCtrl writer(uri, writerMessages);
        std::map<std::int32_t, std::set<std::int64_t>> priorities;

        struct Run {
            std::int32_t task;
            std::size_t station;
            int from, to; // seconds of the play; a killed workstation's runs end with it
        };
        std::vector<Run> runs;
        std::map<std::pair<std::size_t, std::intptr_t>, std::size_t> running; // → runs
        std::map<std::string, int> launches;                                  // per claim key
        std::set<std::string> launchedKeys;
        std::set<int> faultMinutes;
        std::map<std::size_t, int> downUntil; // killed workstations: the second they start again
        const auto keyOf = [&](std::int32_t task, const std::string& moment,
                               const std::string& host) {
            return std::to_string(task) + "@" + moment + "#" +
                   (tasks[task].host == "*" ? host : "");
        };
        const int seconds = 20 * 60;
        for (int t = 0; t < seconds; t += 5) {
            if (t % 60 == 30 && t > 60 && below(4) == 0) {
                faultMinutes.insert(t / 60);
                faultMinutes.insert(t / 60 + 1);
                switch (below(3)) {
                case 0: {
                    // kill -9 of a workstation: its session ends, and with it its runs.
                    const std::size_t k = static_cast<std::size_t>(below(stations));
                    if (!at[k]->s) break;
                    at[k]->s.reset();
                    for (auto& [where, run] : running)
                        if (where.first == k && runs[run].to > t) runs[run].to = t;
                    downUntil[k] = t + 120;
                    for (int m = t / 60; m <= (t + 150) / 60; ++m)
                        faultMinutes.insert(m);
                    break;
                }
                case 1:
                    server->restart();
                    break;
                default:
                    server->terminateSessionsOf(database);
                }
            }
            const std::int32_t set = ids["t" + std::to_string(below(12))];
            try {
                if (writer.Table1.writeFields(set, {{"Priority", std::int64_t{t % 30}}}))
                    priorities[set] = {t % 30};
            } catch (const DatabaseError&) {
                priorities[set].insert(t % 30);
            }
            for (std::size_t k = 0; k < at.size(); ++k) {
                Station& st = *at[k];
                st.world.clock.value = *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(10, 0, 0) +
                                       (t + st.skew) / SecondsPerDay;
                if (!st.s && downUntil.count(k) && t >= downUntil[k]) {
                    start(st);
                    downUntil.erase(k);
                    st.seen = st.world.processes.lastHandle;
                }
                if (!st.s) continue;
                for (auto& [where, run] : running)
                    if (where.first == k && runs[run].to >= 0 && runs[run].to <= t)
                        st.world.processes.exit(where.second, 0);
                const std::int64_t minute = (t + st.skew) / 60;
                const bool pass = minute != st.lastMinute && (t + st.skew) % 60 >= 1;
                if (pass) {
                    st.lastMinute = minute;
                    st.passMoment = task_host::claimMoment(st.world.clock.value);
                    st.s->Timer2Timer();
                }
                st.s->Timer1Timer();
                for (; st.seen < st.world.processes.lastHandle; ++st.seen) {
                    const auto& request = st.world.processes.procs[st.seen + 1].request;
                    const std::int32_t task = ids[request.commandLine.substr(5)];
                    ASSERT_TRUE(pass) << "a launch outside a pass";
                    const std::string key = keyOf(task, st.passMoment, st.host);
                    ++launches[key];
                    launchedKeys.insert(key + "=" + st.host);
                    running[{k, st.seen + 1}] = runs.size();
                    runs.push_back({task, k, t, t + 10 + 5 * below(24)});
                }
            }
        }
        for (const auto& [id, values] : priorities)
            EXPECT_TRUE(values.count(std::stoll(server->query(
                database, "SELECT \"Priority\" FROM vektrin.\"Vektrin\" WHERE \"AppID\" = " +
                              std::to_string(id)))))
                << "a priority set is lost for t" << id;
        // Each moment once.
        for (const auto& [key, n] : launches)
            EXPECT_EQ(n, 1) << key;
        // No resource held twice at once.
        for (std::size_t a = 0; a < runs.size(); ++a)
            for (std::size_t b = a + 1; b < runs.size(); ++b) {
                const int endA = runs[a].to, endB = runs[b].to;
                const bool together = runs[a].from < endB && runs[b].from < endA;
                const bool oneAnyTask =
                    runs[a].task == runs[b].task && tasks[runs[a].task].host.empty();
                EXPECT_TRUE(!together ||
                            (!(tasks[runs[a].task].mask & tasks[runs[b].task].mask) && !oneAnyTask))
                    << "t" << runs[a].task << " on h" << runs[a].station << " and t" << runs[b].task
                    << " on h" << runs[b].station << " at " << runs[b].from;
            }
        for (auto& st : at)
            if (st->s) st->s->Timer1Timer(); // claims made while the server was away
        // Every launch has its claim, taken by the workstation that launched.
        const std::string claims = server->query(
            database, "SELECT string_agg(task || '@' || moment || '#' || host_key || '=' || "
                      "taken_by, ',') FROM vektrin.claims");
        std::set<std::string> claimed;
        for (std::size_t from = 0; from < claims.size();) {
            const std::size_t comma = std::min(claims.find(',', from), claims.size());
            claimed.insert(claims.substr(from, comma - from));
            from = comma + 1;
        }
        for (const std::string& key : launchedKeys)
            EXPECT_TRUE(claimed.count(key)) << key;
        // Every minute without a fault: each task's moment claimed by a workstation that ran.
        for (int minute = 2; minute < seconds / 60 - 1; ++minute) {
            // A fault's minute reaches the moments of the clocks ahead of it too.
            const int reach = (stations - 1) * 160 / 60 + 1;
            if (faultMinutes.lower_bound(minute - reach) != faultMinutes.upper_bound(minute))
                continue;
            char moment[32];
            std::snprintf(moment, sizeof moment, "2026-12-07 %02d:%02d", 10 + minute / 60,
                          minute % 60);
            for (const auto& [id, info] : tasks) {
                if (info.host == "*" ||
                    (!info.host.empty() && info.host >= "h" + std::to_string(stations)))
                    continue;
                // Still running at the pass (on any workstation): that instance stands for it.
                const bool running = std::any_of(runs.begin(), runs.end(), [&](const Run& r) {
                    return r.task == id && r.from < minute * 60 + 20 &&
                           r.to > minute * 60 - (stations - 1) * 160 - 20;
                });
                if (running) continue;
                const std::string prefix = std::to_string(id) + "@" + moment + "#=";
                EXPECT_TRUE(std::any_of(claimed.begin(), claimed.end(), [&](const std::string& c) {
                    return c.starts_with(prefix);
                })) << prefix;
            }
        }
        for (auto& st : at)
            if (st->s) st->s->FormClose();
    }
}

} // namespace
} // namespace vektrin
