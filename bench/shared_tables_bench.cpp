// The tables in a PostgreSQL database (a private server on a Unix socket, as the tests start
// one): the scheduling pass, the claims, a change seen by another workstation, and how long a
// killed workstation's resource holds outlive it.

#include "engine/scheduler.h"
#include "store/data_ctrl.h"
#include "store/pg_database.h"
#include "support/fake_clock.h"
#include "support/fake_messages.h"
#include "support/fake_platform.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

std::string serverDatabase(benchmark::State& state) {
    std::string reason;
    test::PgServer* server = test::PgServer::shared(reason);
    if (!server) {
        state.SkipWithError(reason.c_str());
        return {};
    }
    return server->createDatabase();
}

// 10,000 everyday tasks between 03:00 and 03:05, none due at noon.
void addTasks(const std::string& uri, int count) {
    test::RecordingMessages messages;
    TDataCtrl dm(uri, messages);
    Transaction transaction(dm.database());
    for (int i = 0; i < count; ++i) {
        dm.Table1.append();
        dm.Table1AppName.setString("task " + std::to_string(i));
        dm.Table1Application.setString("true");
        dm.Table1Interval.setInteger(2);
        dm.Table1StartTime.setFloat(0.125);
        dm.Table1EndTime.setFloat(0.1284);
        dm.Table1.post();
    }
    transaction.commit();
}

void BM_ServerSchedulingPassNoneDue(benchmark::State& state) {
    const std::string uri = serverDatabase(state);
    if (uri.empty()) return;
    addTasks(uri, 10000);
    test::TempDir dir;
    test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + uri + "\n");
    test::FakeClock clock;
    clock.set(2026, 12, 10, 12, 0, 1);
    test::FakeWindows windows;
    test::FakeProcesses processes;
    test::FakePort port;
    SettingsStore settings{dir.file("settings.ini")};
    SchedulerConfig config;
    config.logPath = dir.file("Vektrin.log");
    config.aliasesFile = dir.file("aliases.ini");
    Scheduler s(clock, processes, windows, port, settings, RegionalSettings{}, config);
    s.FormCreate();
    s.Timer1Timer();
    for (auto _ : state) {
        clock.advanceSeconds(60);
        s.Timer2Timer();
    }
    if (!processes.launches.empty()) state.SkipWithError("a task was launched");
    s.FormClose();
}
BENCHMARK(BM_ServerSchedulingPassNoneDue)->Unit(benchmark::kMillisecond);

// 1,000 due moments claimed one after the other (each a round trip), a new minute each time.
void BM_ClaimThousandMoments(benchmark::State& state) {
    const std::string uri = serverDatabase(state);
    if (uri.empty()) return;
    PgDatabase db(uri, OpenMode::ReadWrite);
    db.registerScheduler("bench", "1", getpid());
    int minute = 0;
    for (auto _ : state) {
        const std::string moment = "2026-12-10 " + std::to_string(minute++);
        std::string takenBy;
        for (int task = 1; task <= 1000; ++task)
            if (!db.claim(task, moment, "", takenBy)) state.SkipWithError("claimed twice");
    }
}
BENCHMARK(BM_ClaimThousandMoments)->Unit(benchmark::kMillisecond);

// From one workstation's commit until another's task table shows it: the table's version asked in
// a loop (0), or the notice waited for on the connection's socket (1), as a scheduler's event loop
// does.
void BM_ChangeShownOnAnotherWorkstation(benchmark::State& state) {
    const std::string uri = serverDatabase(state);
    if (uri.empty()) return;
    addTasks(uri, 1);
    test::RecordingMessages messages;
    TDataCtrl writer(uri, messages), reader(uri, messages);
    SharedTables& notices = *reader.database().shared();
    reader.Table1.first();
    int round = 0;
    for (auto _ : state) {
        writer.Table1.first();
        writer.Table1.edit();
        writer.Table1ExitCode.setInteger(++round);
        writer.Table1.post();
        if (state.range(0) == 0) {
            while (!reader.Table1.changedOnDisk()) {
            }
        }
        for (pollfd p{notices.noticeSocket(), POLLIN, 0}; state.range(0) && !notices.takeNotices();)
            if (poll(&p, 1, 5000) != 1) return state.SkipWithError("no notice came");
        reader.Table1.refreshIfChanged();
        if (reader.Table1ExitCode.asInteger() != round) return state.SkipWithError("not shown");
    }
}
BENCHMARK(BM_ChangeShownOnAnotherWorkstation)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A workstation killed while its task holds resource 1: how long until another one may take it
// (the session's end, and the grace a hold stands after it).
void BM_KilledWorkstationsHoldEnds(benchmark::State& state) {
    const std::string uri = serverDatabase(state);
    if (uri.empty()) return;
    PgDatabase other(uri, OpenMode::ReadWrite);
    other.registerScheduler("waiting", "bench", getpid());
    for (auto _ : state) {
        int ready[2];
        if (pipe(ready) != 0) return state.SkipWithError("pipe");
        const pid_t child = fork();
        if (child == 0) {
            PgDatabase held(uri, OpenMode::ReadWrite);
            held.registerScheduler("killed", "bench", getpid());
            held.holdResource(1);
            (void)!write(ready[1], "x", 1);
            pause();
            _exit(0);
        }
        char c;
        (void)!read(ready[0], &c, 1);
        close(ready[0]);
        close(ready[1]);
        const auto killed = std::chrono::steady_clock::now();
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        while (!other.holdResource(1))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count());
        other.releaseResource(1);
    }
}
BENCHMARK(BM_KilledWorkstationsHoldEnds)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vektrin
