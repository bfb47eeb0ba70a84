// Ending a running task: SIGKILL to the task, its group, and every process of its session found
// in /proc, the scan repeated until it finds no one new. The cost grows with the number of
// processes on the machine (the "procs" counter), not with the task's.

#include "platform/process.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <thread>

namespace vektrin {
namespace {

void BM_TerminateSession(benchmark::State& state) {
    auto control = makePosixProcessControl();
    LaunchRequest request;
    request.commandLine = "sh -c 'timeout 1000 sleep 1000 & sleep 1000 & exec sleep 1000'";
    for (auto _ : state) {
        state.PauseTiming();
        const LaunchResult result = control->launch(request);
        // Let the shell start its children before they are looked for.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.ResumeTiming();
        control->terminate(result.info);
        state.PauseTiming();
        control->close(result.info);
        state.ResumeTiming();
    }
    std::size_t processes = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
        processes +=
            entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos;
    state.counters["procs"] = static_cast<double>(processes);
}
BENCHMARK(BM_TerminateSession)->Unit(benchmark::kMicrosecond)->Iterations(50);

} // namespace
} // namespace vektrin
