// The launch search of vektrinctl: the next 5 moments of each of 10,000 tasks of every kind, with
// two silence periods. bench/ctl_bench.sh times the program itself on a table of that size.

#include "engine/next_launch.h"
#include "random_windows.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace vektrin;
using namespace vektrin::schedule;

std::vector<Schedule> tasks(int count) {
    bench::RandomWindows windows;
    std::vector<Schedule> out;
    for (int i = 0; i < count; ++i)
        out.push_back(windows.window(i));
    return out;
}

std::vector<Schedule> silence() {
    Schedule lunch;
    lunch.interval = 2;
    lunch.startTime = 12 * 3600 / SecondsPerDay;
    lunch.endTime = 13 * 3600 / SecondsPerDay;
    Schedule holidays;
    holidays.interval = 5;
    holidays.startDate = *tryEncodeDate(2025, 12, 24);
    holidays.endDate = *tryEncodeDate(2025, 12, 26);
    holidays.endTime = (86400 - 60) / SecondsPerDay;
    return {lunch, holidays};
}

void NextFiveOfTenThousandTasks(benchmark::State& state) {
    const std::vector<Schedule> all = tasks(10000);
    const DateTime now = *tryEncodeDate(2025, 3, 7) + 9.5 / 24;
    std::size_t found = 0;
    for (auto _ : state) {
        // A new search object each time: the silence of each day is worked out afresh.
        NextLaunchSearch search(silence());
        for (const Schedule& w : all)
            found += search.next(w, now, 5).size();
    }
    benchmark::DoNotOptimize(found);
}
BENCHMARK(NextFiveOfTenThousandTasks)->Unit(benchmark::kMillisecond);

} // namespace
