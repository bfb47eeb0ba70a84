// What keeping a task's output costs: the launch with capture on and off, what capture adds to a
// launch by itself (also with a 50 MB settings file), the CPU the keeper spends per GiB a task
// writes, and both passes while a task writes as fast as it can.
//   build/default/bench/output_bench --benchmark_repetitions=3

#include "engine/scheduler.h"
#include "first_instruction.h"
#include "platform/output_keeper.h"
#include "store/database.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

    Rig(bool capture, const std::string& command, int others = 0) {
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
        // Tasks for the scheduling pass to look at, none of them due.
        Transaction transaction(dm.database());
        for (int i = 0; i < others; ++i) {
            dm.Table1.append();
            dm.Table1AppName.setString("other " + std::to_string(i));
            dm.Table1Application.setString("true");
            dm.Table1StartCondition.setString("FE('/nonexistent/*.dat')");
            dm.Table1.post();
        }
        transaction.commit();
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

// What capture adds to a launch, without the record's disk flush around it: the settings (read
// again only when their files changed: a stat), the run file and its end made. The keeper's fork
// is part of the launch above.
void BM_CaptureSetup(benchmark::State& state) {
    test::TempDir dir;
    SettingsStore settings(dir.file("settings.ini"));
    settings.write("Output", "MaxBytes", "1M");
    test::FakeProcesses processes;
    TaskOutput output(dir.file("output"), processes);
    test::FakeClock clock;
    clock.set(2026, 12, 8, 12, 0, 1);
    std::vector<double> cost;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::string> problems;
        LaunchRequest request;
        output.begin(1, 1, clock.now(), output.settings(settings, problems), request);
        cost.push_back(micros(std::chrono::steady_clock::now() - t0));
        state.PauseTiming();
        output.abandon(1);
        state.ResumeTiming();
    }
    percentiles(state, cost, "capture");
}
BENCHMARK(BM_CaptureSetup)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// A settings file of 50 MB (comments, and the output settings at its end): the first reading, and
// the look at it that each further launch makes.
void BM_BigSettingsFile(benchmark::State& state) {
    test::TempDir dir;
    std::string text;
    while (text.size() < (50u << 20))
        text += "; a line of comment that makes the settings file large, as a generated one is\n";
    test::writeFile(dir.file("settings.ini"), text + "[Output]\nMaxBytes=1M\n");
    SettingsStore settings(dir.file("settings.ini"));
    test::FakeProcesses processes;
    for (auto _ : state) {
        TaskOutput output(dir.file("output"), processes);
        std::vector<std::string> problems;
        auto t0 = std::chrono::steady_clock::now();
        output.settings(settings, problems);
        state.counters["first_ms"] = micros(std::chrono::steady_clock::now() - t0) / 1000;
        std::vector<double> again;
        for (int i = 0; i < 1000; ++i) {
            t0 = std::chrono::steady_clock::now();
            output.settings(settings, problems);
            again.push_back(micros(std::chrono::steady_clock::now() - t0));
        }
        percentiles(state, again, "each_launch");
    }
}
BENCHMARK(BM_BigSettingsFile)->Unit(benchmark::kMillisecond)->Iterations(1);

// A process's CPU seconds so far (utime + stime), and its parent.
double cpuOf(pid_t pid, pid_t* parent = nullptr) {
    const std::string stat = test::readFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty()) return 0;
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 4 && parent) *parent = static_cast<pid_t>(std::stol(field));
        if (i >= 14) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Of a process that has ended, before it is reaped.
double cpuOfZombie(pid_t pid) {
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    return cpuOf(pid);
}

// The keeper this process forked last.
pid_t ownKeeper() {
    pid_t found = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t parent = 0;
        cpuOf(std::stoi(name), &parent);
        if (parent == getpid() &&
            test::readFile(entry.path().string() + "/comm") == "vektrin-output\n")
            found = std::max(found, static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

// 1 GiB written as fast as `head` goes, kept by MaxBytes = state.range(0): the keeper's CPU (what
// drains the pipe), the writer's own, the bench process's (the scheduler's side: nothing but the
// launch), and the wall time.
void BM_KeeperPerGiB(benchmark::State& state) {
    const auto maxBytes = static_cast<std::uint64_t>(state.range(0));
    auto control = makePosixProcessControl();
    for (auto _ : state) {
        test::TempDir dir;
        LaunchRequest request;
        request.commandLine = "head -c 1073741824 /dev/zero";
        request.outputPath = createRunFile(dir.path(), 1, 0, maxBytes).path;
        request.outputMaxBytes = maxBytes;
        const double own0 = cpuMicros();
        const auto t0 = std::chrono::steady_clock::now();
        const LaunchResult run = control->launch(request);
        const double task = cpuOfZombie(static_cast<pid_t>(run.info.processId));
        const double keeper = cpuOfZombie(static_cast<pid_t>(run.keeper.processId));
        state.counters["wall_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        state.counters["own_cpu_ms"] = (cpuMicros() - own0) / 1000;
        state.counters["keeper_cpu_ms"] = keeper * 1000;
        state.counters["writer_cpu_ms"] = task * 1000;
        state.counters["kept_bytes"] = static_cast<double>(
            listRuns(dir.path(), 1).empty() ? 0 : listRuns(dir.path(), 1)[0].size);
        control->close(run.info);
        control->close(run.keeper);
    }
}
BENCHMARK(BM_KeeperPerGiB)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Arg(64 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Both passes while the task writes as fast as it can (`yes`, 1) or sleeps (0), beside 1,000
// tasks that are not due: the scheduling pass over them (once a minute of the fake clock) and the
// monitoring pass, back to back for about eight seconds; the scheduler's CPU; the keeper's CPU and
// what the task wrote meanwhile (its marker's count); the largest the run file grew to.
void BM_PassesWhileATaskWrites(benchmark::State& state) {
    const bool writes = state.range(0) != 0;
    for (auto _ : state) {
        Rig rig(true, writes ? "yes" : "sleep 100", 1000);
        rig.settings.write("Output", "MaxBytes", "1M");
        rig.s->Timer1Timer();
        rig.s->dataCtrl().Table1.first();
        rig.s->RunNowClick();
        const std::string file = listRuns(rig.dir.file("output"), 1).at(0).path;
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        const std::uint64_t left0 = readMarker(fd, 1 << 19).leftOut;
        const auto task = static_cast<pid_t>(rig.s->RunningTasks.slot(1).ProcessId);
        const pid_t keeper = ownKeeper();
        const double task0 = cpuOf(task);
        const double keeper0 = cpuOf(keeper);
        const double cpu0 = cpuMicros();
        std::vector<double> scheduling;
        std::vector<double> monitoring;
        std::uint64_t peak = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        while (std::chrono::steady_clock::now() < until) {
            rig.clock.advanceSeconds(60);
            auto t0 = std::chrono::steady_clock::now();
            rig.s->Timer2Timer();
            scheduling.push_back(micros(std::chrono::steady_clock::now() - t0));
            for (int i = 0; i < 10; ++i) {
                t0 = std::chrono::steady_clock::now();
                rig.s->Timer1Timer();
                monitoring.push_back(micros(std::chrono::steady_clock::now() - t0));
                struct stat st {};
                if (::fstat(fd, &st) == 0)
                    peak = std::max<std::uint64_t>(peak, static_cast<std::uint64_t>(st.st_size));
            }
        }
        state.counters["scheduler_cpu_ms"] = (cpuMicros() - cpu0) / 1000;
        state.counters["keeper_cpu_ms"] = (cpuOf(keeper) - keeper0) * 1000;
        state.counters["task_cpu_ms"] = (cpuOf(task) - task0) * 1000;
        state.counters["written_MiB"] =
            static_cast<double>(readMarker(fd, 1 << 19).leftOut - left0) / (1 << 20);
        state.counters["peak_bytes"] = static_cast<double>(peak);
        state.counters["passes"] = static_cast<double>(scheduling.size());
        ::close(fd);
        percentiles(state, scheduling, "scheduling");
        percentiles(state, monitoring, "monitoring");
    }
}
BENCHMARK(BM_PassesWhileATaskWrites)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace vektrin
