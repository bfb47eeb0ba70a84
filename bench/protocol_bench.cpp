// Protocol clearing on a log of 1,000,000 lines over 30 days, cleared to 10 days: written under
// the current locale alone, and written under four locales with a dateless line now and then.
// Also what one line's date costs in each case, the one-time look at the installed locales, and
// what one protocol line costs on a file that takes it and on one that takes no more.

#include "engine/protocol_file.h"
#include "engine/scheduler.h"
#include "platform/regional_locales.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace vektrin {
namespace {

constexpr long Lines = 1000000;

const RegionalSettings& current() {
    static const RegionalSettings r = RegionalSettings::fromLocale("de_DE.UTF-8");
    return r;
}

// Every fourth line in each of C, en_US, de_DE and ru_RU when mixed; one in 50 without a date.
void writeLog(const std::string& path, bool mixed) {
    static const char* messages[] = {
        "Executes <nightly backup of the accounting database>.",
        "Task <nightly backup of the accounting database> is completed.",
        "Task scheduling is resumed.", "Execution of <report> is interrupted by program.",
        "Waiting of the task scheduling start."};
    const RegionalSettings writers[] = {
        RegionalSettings::fromLocale("C"), RegionalSettings::fromLocale("en_US.UTF-8"),
        RegionalSettings::fromLocale("de_DE.UTF-8"), RegionalSettings::fromLocale("ru_RU.UTF-8")};
    std::ofstream out(path, std::ios::binary);
    const DateTime first = *tryEncodeDate(2026, 11, 7);
    for (long i = 0; i < Lines; ++i) {
        const DateTime at = first + 30.0 * static_cast<double>(i) / static_cast<double>(Lines);
        if (mixed && i % 50 == 49)
            out << "  a continuation without a date\r\n";
        else
            out << (mixed ? writers[i % 4] : current()).formatProtocolStamp(at) << messages[i % 5]
                << "\r\n";
    }
}

void clearing(benchmark::State& state, bool mixed) {
    test::TempDir dir;
    test::FakeClock clock;
    clock.set(2026, 12, 7, 12, 0, 0);
    test::FakeProcesses processes;
    test::FakeWindows windows;
    test::FakePort port;
    SettingsStore settings(dir.file("settings.ini"));
    SchedulerConfig config;
    config.logPath = dir.file("Vektrin.log");
    Scheduler scheduler(clock, processes, windows, port, settings, current(), config);
    long long bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scheduler.protocolFile().close();
        writeLog(config.logPath, mixed);
        struct stat st {};
        stat(config.logPath.c_str(), &st);
        bytes += st.st_size;
        scheduler.protocolFile().open();
        state.ResumeTiming();
        scheduler.ProtocolClearing(10, *tryEncodeDate(2026, 12, 7));
    }
    if (!port.messages.empty()) state.SkipWithError(port.messages.front().c_str());
    state.SetBytesProcessed(bytes);
}

void BM_ClearingOneLocale(benchmark::State& state) {
    clearing(state, false);
}
BENCHMARK(BM_ClearingOneLocale)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ClearingFourLocales(benchmark::State& state) {
    clearing(state, true);
}
BENCHMARK(BM_ClearingFourLocales)->Unit(benchmark::kMillisecond)->Iterations(5);

void lineDate(benchmark::State& state, const char* line) {
    const ProtocolLineDates dates(current().shortDateFormat, 2026);
    for (auto _ : state)
        benchmark::DoNotOptimize(dates.read(line));
}
void BM_LineDateCurrentFormat(benchmark::State& state) {
    lineDate(state, "07.12.2026 10:00:30 Task scheduling is resumed.");
}
BENCHMARK(BM_LineDateCurrentFormat);
void BM_LineDateCFormat(benchmark::State& state) {
    lineDate(state, "12/07/26 10:00:30 Task scheduling is resumed.");
}
BENCHMARK(BM_LineDateCFormat);
void BM_LineDateNone(benchmark::State& state) {
    lineDate(state, "  a continuation without a date");
}
BENCHMARK(BM_LineDateNone);

// What the first clearing of a run spends on finding the formats (later ones reuse the list).
void BM_InstalledShortDateFormats(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> formats;
        for (const std::string& name : installedLocaleNames())
            formats.push_back(shortDateFormatOfLocale(name.c_str()).value_or(""));
        benchmark::DoNotOptimize(formats);
    }
    state.counters["locales"] = static_cast<double>(installedLocaleNames().size());
    state.counters["formats"] = static_cast<double>(platformShortDateFormats().size());
}
BENCHMARK(BM_InstalledShortDateFormats)->Unit(benchmark::kMicrosecond);

// One line through WriteProtocol. Full: a file size limit at the log's size refuses every byte, as
// a full disk does; each line first tries the held ones again, then is held (the first 1 MiB) or
// counted.
void writeLines(benchmark::State& state, bool full) {
    test::TempDir dir;
    test::FakeClock clock;
    test::FakeProcesses processes;
    test::FakeWindows windows;
    test::FakePort port;
    SettingsStore settings(dir.file("settings.ini"));
    SchedulerConfig config;
    config.logPath = dir.file("Vektrin.log");
    Scheduler scheduler(clock, processes, windows, port, settings, current(), config);
    scheduler.protocolFile().open();
    scheduler.WriteProtocol("The Vektrin program started ...");
    std::optional<test::FileSizeLimit> limit;
    if (full) {
        struct stat st {};
        stat(config.logPath.c_str(), &st);
        limit.emplace(static_cast<rlim_t>(st.st_size));
    }
    for (auto _ : state)
        scheduler.WriteProtocol("Executes <nightly backup of the accounting database>.");
    state.counters["held"] = static_cast<double>(scheduler.protocolFile().unwritten());
}
void BM_WriteProtocolLine(benchmark::State& state) {
    writeLines(state, false);
}
BENCHMARK(BM_WriteProtocolLine);
void BM_WriteProtocolLineFullDisk(benchmark::State& state) {
    writeLines(state, true);
}
BENCHMARK(BM_WriteProtocolLineFullDisk);

} // namespace
} // namespace vektrin
