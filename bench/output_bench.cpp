// What keeping a task's output costs the scheduler: the launch with capture on and off, what
// capture adds to a launch by itself, and the monitoring pass while a task writes 1 GiB.
//   build/default/bench/output_bench --benchmark_repetitions=3

#include "engine/scheduler.h"
#include "first_instruction.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

double micros(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Of the whole process, or of the calling thread alone.
double cpuMicros(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

void percentiles(benchmark::State& state, std::vector<double> values, const std::string& name) {
    std::sort(values.begin(), values.end());
    state.counters[name + "_median_us"] = values[values.size() / 2];
    state.counters[name + "_p99_us"] = values[values.size() * 99 / 100];
    state.counters[name + "_max_us"] = values.back();
}

// A started scheduler on one task, with real processes and its runs kept in the temporary
// directory.
struct Rig {
    test::TempDir dir;
    test::FakeClock clock;
    test::FakeWindows windows;
    test::FakePort port;
    std::unique_ptr<ProcessControl> processes = makePosixProcessControl();
    SettingsStore settings{dir.file("settings.ini")};
    std::unique_ptr<Scheduler> s;

    Rig(bool capture, const std::string& command) {
        mkdir(dir.file("tables").c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.file("tables") + "\n");
        settings.write("Output", "Capture", capture ? "true" : "false");
        clock.set(2026, 12, 8, 12, 0, 1);
        SchedulerConfig c;
        c.logPath = dir.file("Vektrin.log");
        c.aliasesFile = dir.file("aliases.ini");
        c.outputDirectory = dir.file("output");
        s = std::make_unique<Scheduler>(clock, *processes, windows, port, settings,
                                        RegionalSettings::fromLocale(), c);
        s->FormCreate();
        TDataCtrl& dm = s->dataCtrl();
        dm.Table1.append();
        dm.Table1AppName.setString("bench");
        dm.Table1Application.setString(command);
        dm.Table1.post();
    }
    ~Rig() { s->FormClose(); }
};

// From RunNowClick to the first instruction of the child's main(), capture off and on. The two
// schedulers launch in turn, so that the disk's changing flush times fall on both alike.
void BM_LaunchToFirstInstruction(benchmark::State& state) {
    test::TempDir stamps;
    const std::string stamp = stamps.file("stamp");
    Rig off(false, std::string(FIRST_INSTRUCTION) + " " + stamp);
    Rig on(true, std::string(FIRST_INSTRUCTION) + " " + stamp);
    std::vector<double> latency[2];
    int turn = 0;
    for (auto _ : state) {
        Rig& rig = turn == 0 ? off : on;
        latency[turn].push_back(bench::microsToFirstInstruction(*rig.s, stamp));
        state.PauseTiming();
        while (rig.s->RunningTasks.anyTaskRunning())
            rig.s->Timer1Timer();
        rig.clock.advanceSeconds(1);
        turn = 1 - turn;
        state.ResumeTiming();
    }
    percentiles(state, latency[0], "off");
    percentiles(state, latency[1], "on");
}
BENCHMARK(BM_LaunchToFirstInstruction)->Unit(benchmark::kMicrosecond)->Iterations(600);

// What capture adds to a launch, without the record's disk flush around it: the settings read,
// the run file made, and the launch opening it for the child.
void BM_CaptureSetup(benchmark::State& state) {
    test::TempDir dir;
    SettingsStore settings(dir.file("settings.ini"));
    settings.write("Output", "MaxBytes", "1M");
    test::FakeClock clock;
    clock.set(2026, 12, 8, 12, 0, 1);
    std::vector<double> cost;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::string> problems;
        benchmark::DoNotOptimize(readOutputSettings(settings, problems));
        const NewRunFile file = createRunFile(dir.file("output"), 1, clock.now());
        const int fd = ::open(file.path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ::close(fd);
        cost.push_back(micros(std::chrono::steady_clock::now() - t0));
        state.PauseTiming();
        ::unlink(file.path.c_str());
        state.ResumeTiming();
    }
    percentiles(state, cost, "capture");
}
BENCHMARK(BM_CaptureSetup)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The monitoring pass once a second while the task runs: a task that sleeps (0), one that writes
// 1 GiB (1). The scheduler's CPU time (its main thread, where the passes run, and the whole
// process, whose other threads free what a cut takes off the file), the passes' times, the
// largest the run file grew to between passes, and its size once capped.
void BM_PassWhileATaskWrites(benchmark::State& state) {
    const bool writes = state.range(0) != 0;
    for (auto _ : state) {
        Rig rig(true, writes ? "head -c 1073741824 /dev/zero" : "sleep 4");
        rig.s->Timer1Timer();
        rig.s->dataCtrl().Table1.first();
        const double cpu0 = cpuMicros();
        const double main0 = cpuMicros(RUSAGE_THREAD);
        const auto started = std::chrono::steady_clock::now();
        rig.s->RunNowClick();
        const std::string dir = rig.dir.file("output/1");
        std::vector<double> passes;
        std::uint64_t peak = 0;
        while (rig.s->RunningTasks.anyTaskRunning()) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            for (const RunInfo& run : listRuns(rig.dir.file("output"), 1))
                peak = std::max<std::uint64_t>(peak, run.size);
            rig.clock.advanceSeconds(1);
            const auto t0 = std::chrono::steady_clock::now();
            rig.s->Timer1Timer();
            passes.push_back(micros(std::chrono::steady_clock::now() - t0));
        }
        const double main = cpuMicros(RUSAGE_THREAD) - main0;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        // What the threads beside the pass still free is counted too.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double cpu = cpuMicros() - cpu0;
        state.counters["run_s"] = seconds;
        state.counters["passes"] = static_cast<double>(passes.size());
        state.counters["cpu_ms"] = cpu / 1000;
        state.counters["cpu_main_thread_ms"] = main / 1000;
        state.counters["peak_bytes"] = static_cast<double>(peak);
        state.counters["capped_bytes"] =
            static_cast<double>(listRuns(rig.dir.file("output"), 1).at(0).size);
        percentiles(state, passes, "pass");
    }
}
BENCHMARK(BM_PassWhileATaskWrites)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace vektrin
