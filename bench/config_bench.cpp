// Reading the aliases file: the cost per byte stays the same from a few sections to a file of
// tens of megabytes, and the alias the scheduler wants comes last (the worst place).

#include "platform/aliases.h"
#include "platform/ini_file.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>

namespace vektrin {
namespace {

std::string aliasesText(std::int64_t sections) {
    std::string text;
    for (std::int64_t i = 0; i < sections; ++i)
        text += "[Alias" + std::to_string(i) + "]\npath=/srv/tables/" + std::to_string(i) + "\n";
    return text + "[Control]\npath=/srv/tables\n";
}

// Parsing from memory, per section count; bytes/s shows whether the cost is linear.
void BM_ParseSections(benchmark::State& state) {
    const std::string text = aliasesText(state.range(0));
    for (auto _ : state) {
        IniFile ini = IniFile::parse(text);
        benchmark::DoNotOptimize(ini.value("control", "path"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSections)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond);

// The whole lookup from a real file of about 50 MB, as start-up does it.
void BM_LookupInLargeFile(benchmark::State& state) {
    test::TempDir dir;
    const std::string file = dir.file("aliases.ini");
    const std::string text = aliasesText(state.range(0));
    test::writeFile(file, text);
    for (auto _ : state)
        benchmark::DoNotOptimize(lookupAlias("Control", file));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_LookupInLargeFile)->Arg(1500000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace vektrin
