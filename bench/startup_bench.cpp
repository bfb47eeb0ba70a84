// Start-up to timers enabled over 10,000 tasks of which 1,000 need the stale reset, and the cost of
// one post (edit + post of a task record).

#include "engine/scheduler.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sqlite3.h>
#include <sys/stat.h>

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

} // namespace
} // namespace vektrin
