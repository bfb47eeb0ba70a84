// The timeline of 10,000 tasks over 7 days: the model (launches, windows, silence stretches,
// conflicts) and its SVG document, apart and together.

#include "engine/timeline.h"
#include "engine/timeline_svg.h"
#include "random_windows.h"

#include <benchmark/benchmark.h>

namespace {

using namespace vektrin;
using namespace vektrin::timeline;

// Every kind with random windows and repeat steps (as the launch-search benchmark), a tenth of
// them on one of three resources, a third with a launch condition, and three silence periods.
Tables tables(int count) {
    bench::RandomWindows windows;
    Tables t;
    for (int i = 0; i < count; ++i) {
        Task task;
        task.appId = i + 1;
        task.record = i + 1;
        task.name = "task number " + std::to_string(i + 1) + " & <more>";
        task.schedule = windows.window(i);
        task.conditional = i % 3 == 0;
        task.conflicts = i % 10 == 0 ? 1u << windows.pick(0, 2) : 0;
        task.waits = i % 20 == 0;
        t.tasks.push_back(std::move(task));
    }
    t.resources = {{1, "Printer", 0.5 / 24}, {2, "Modem", 0}, {3, "Tape", 2.0 / 24}};
    Schedule lunch;
    lunch.interval = 2;
    lunch.startTime = 12 * 3600 / SecondsPerDay;
    lunch.endTime = 13 * 3600 / SecondsPerDay;
    Schedule sunday;
    sunday.interval = 3;
    sunday.startDate = *tryEncodeDate(1, 1, 7);
    sunday.endTime = (86400 - 60) / SecondsPerDay;
    Schedule quarter;
    quarter.interval = 1;
    quarter.startTime = 15 * 60 / SecondsPerDay;
    quarter.endTime = 20 * 60 / SecondsPerDay;
    t.silence = {lunch, sunday, quarter};
    return t;
}

const DateTime From = *tryEncodeDate(2025, 3, 7) + 9.5 / 24;

void ModelOfTenThousandTasksForSevenDays(benchmark::State& state) {
    const Tables all = tables(10000);
    const Period period = *makePeriod(From, From + 7).period;
    std::size_t launches = 0;
    for (auto _ : state) {
        const Model model = buildModel(all, period, defaultSelection(all));
        for (const Lane& lane : model.lanes)
            launches += lane.launches.size();
    }
    benchmark::DoNotOptimize(launches);
}
BENCHMARK(ModelOfTenThousandTasksForSevenDays)->Unit(benchmark::kMillisecond);

void SvgOfTenThousandTasksForSevenDays(benchmark::State& state) {
    const Tables all = tables(10000);
    const Model model = buildModel(all, *makePeriod(From, From + 7).period, defaultSelection(all));
    RegionalSettings regional;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = renderSvg(model, regional).size();
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    std::size_t launches = 0;
    for (const Lane& lane : model.lanes)
        launches += lane.launches.size();
    state.counters["launches"] = static_cast<double>(launches);
    state.counters["conflicts"] = static_cast<double>(model.conflicts.size());
    std::size_t minutes = 0;
    for (const Conflict& c : model.conflicts)
        minutes += c.minutes.size();
    state.counters["conflict minutes"] = static_cast<double>(minutes);
}
BENCHMARK(SvgOfTenThousandTasksForSevenDays)->Unit(benchmark::kMillisecond);

void ModelAndSvgOfTenThousandTasksForSevenDays(benchmark::State& state) {
    const Tables all = tables(10000);
    const Period period = *makePeriod(From, From + 7).period;
    RegionalSettings regional;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes += renderSvg(buildModel(all, period, defaultSelection(all)), regional).size();
    benchmark::DoNotOptimize(bytes);
}
BENCHMARK(ModelAndSvgOfTenThousandTasksForSevenDays)->Unit(benchmark::kMillisecond);

} // namespace
