// Start-up to timers enabled over 10,000 tasks of which 1,000 need the stale reset, the cost of
// one post (edit + post of a task record), a pass whose launches and ends write their records, and
// what a reader of all tasks (vektrinctl tasks) pays while the scheduler writes.

#include "engine/scheduler.h"
#include "support/fake_clock.h"
#include "support/fake_messages.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

namespace vektrin {
namespace {

struct Fixture {
    test::TempDir dir;
    test::FakeClock clock;
    test::FakeProcesses processes;
    test::FakeWindows windows;
    test::FakePort port;
    SettingsStore settings{dir.file("settings.ini")};
    SchedulerConfig config;

    Fixture() {
        const std::string tables = dir.path() + "/tables";
        mkdir(tables.c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables + "\n");
        config.logPath = dir.file("Vektrin.log");
        config.aliasesFile = dir.file("aliases.ini");
        clock.set(2026, 12, 7, 10, 0, 0);
        // Create the files once, then fill them in one transaction.
        {
            auto s = make();
            s->FormCreate();
            s->FormClose();
        }
        sqlite3* db = nullptr;
        sqlite3_open((tables + "/Vektrin.db").c_str(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO Vektrin (AppName, Application, Interval, EndCode) VALUES "
                           "(?, 'true', 2, ?)",
                           -1, &st, nullptr);
        for (int i = 0; i < 10000; ++i) {
            const std::string name = "task " + std::to_string(i);
            sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 2, i % 10 == 0 ? 2 : 1);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    std::unique_ptr<Scheduler> make() {
        return std::make_unique<Scheduler>(clock, processes, windows, port, settings,
                                           RegionalSettings{}, config);
    }
    void markStale() {
        sqlite3* db = nullptr;
        sqlite3_open((dir.path() + "/tables/Vektrin.db").c_str(), &db);
        sqlite3_exec(db, "UPDATE Vektrin SET EndCode = 2 WHERE AppID % 10 = 1", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    }
};

void BM_StartUpTenThousandTasks(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        f.markStale();
        auto s = f.make();
        state.ResumeTiming();
        s->FormCreate();
        state.PauseTiming();
        if (!f.port.timer1) state.SkipWithError("timers not enabled");
        s->FormClose();
        s.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpTenThousandTasks)->Unit(benchmark::kMillisecond)->Iterations(10);

// Every post is one committed, flushed write; the counters give the median and the 99th percentile.
void BM_PostOneTask(benchmark::State& state) {
    Fixture f;
    auto s = f.make();
    s->FormCreate();
    TDataCtrl& dm = s->dataCtrl();
    dm.Table1.first();
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        dm.Table1.edit();
        dm.Table1LastTime.setDateTime((++i % 1000) / 1440.0);
        dm.Table1.post();
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    s->FormClose();
}
BENCHMARK(BM_PostOneTask)->Unit(benchmark::kMicrosecond)->Iterations(1000);

// A scheduling pass that launches 20 every-minute tasks (20 records say "Runs") and the monitoring
// pass that records their ends (20 more), among 10,000 tasks.
void BM_PassWritingFortyRecords(benchmark::State& state) {
    Fixture f;
    sqlite3* db = nullptr;
    sqlite3_open((f.dir.path() + "/tables/Vektrin.db").c_str(), &db);
    sqlite3_exec(db, "UPDATE Vektrin SET Interval = 0, EndCode = 1 WHERE AppID <= 20", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    auto s = f.make();
    s->FormCreate();
    int minute = 0;
    for (auto _ : state) {
        f.clock.set(2026, 12, 7, 11, ++minute % 60, 1);
        s->Timer2Timer();
        for (auto& [handle, proc] : f.processes.procs)
            proc.state = ExitState::Exited;
        s->Timer1Timer();
    }
    if (f.processes.launches.size() != static_cast<std::size_t>(20 * state.iterations()))
        state.SkipWithError("not every pass launched the 20 tasks");
    s->FormClose();
}
BENCHMARK(BM_PassWritingFortyRecords)->Unit(benchmark::kMillisecond)->Iterations(50);

// Opening the tables read-only and reading every task, as `vektrinctl tasks` does, while the
// scheduler posts a status every 2 ms on its own thread (a busy minute, far above the usual).
void BM_ReadAllTasksWhileTheSchedulerWrites(benchmark::State& state) {
    Fixture f;
    auto s = f.make();
    s->FormCreate();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        TDataCtrl& dm = s->dataCtrl();
        dm.Table1.first();
        for (int i = 0; !done; ++i) {
            dm.Table1.edit();
            dm.Table1LastTime.setDateTime((i % 1000) / 1440.0);
            dm.Table1.postDeferring();
            dm.Table1.writeDeferred();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::vector<double> millis;
    test::RecordingMessages messages;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        TDataCtrl reader(f.dir.path() + "/tables", messages, OpenMode::ReadOnly);
        std::size_t names = 0;
        for (reader.Table1.first(); !reader.Table1.eof(); reader.Table1.next())
            names += reader.Table1AppName.asString().size();
        benchmark::DoNotOptimize(names);
        millis.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    done = true;
    writer.join();
    std::sort(millis.begin(), millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
    state.counters["p99_ms"] = millis[millis.size() * 99 / 100];
    s->FormClose();
}
BENCHMARK(BM_ReadAllTasksWhileTheSchedulerWrites)->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace
} // namespace vektrin
