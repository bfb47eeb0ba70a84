// Measures the protocol viewer on a large log (loading, scrolling, clearing) and the task grid on
// a large task table. Prints the figures; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen protocol_viewer_bench [lines] [tasks]

#include "engine/scheduler.h"
#include "store/data_ctrl.h"
#include "support/fake_clock.h"
#include "support/fake_messages.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "ui/protocol_form.h"
#include "ui/task_grid_model.h"

#include <QApplication>
#include <QListView>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <vector>

using namespace vektrin;
using Stopwatch = std::chrono::steady_clock;

namespace {

double msSince(Stopwatch::time_point t) {
    return std::chrono::duration<double, std::milli>(Stopwatch::now() - t).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void writeLog(const std::string& path, const RegionalSettings& regional, long lines) {
    static const char* messages[] = {
        "Executes <nightly backup of the accounting database>.",
        "Task <nightly backup of the accounting database> is completed.",
        "Task scheduling is resumed.", "Execution of <report> is interrupted by program.",
        "Waiting of the task scheduling start."};
    std::ofstream out(path, std::ios::binary);
    const DateTime first = *tryEncodeDate(2026, 11, 7);
    for (long i = 0; i < lines; ++i) {
        const DateTime at = first + 30.0 * static_cast<double>(i) / static_cast<double>(lines);
        out << regional.formatProtocolStamp(at) << messages[i % 5] << "\r\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int tasks = argc > 2 ? std::atoi(argv[2]) : 10000;

    test::TempDir dir;
    RegionalSettings regional;
    test::FakeClock clock;
    clock.set(2026, 12, 7, 12, 0, 0);
    test::FakeProcesses processes;
    test::FakeWindows windows;
    test::FakePort port;
    SettingsStore settings(dir.file("settings.ini"));
    SchedulerConfig config;
    config.logPath = dir.file("Vektrin.log");
    Scheduler scheduler(clock, processes, windows, port, settings, regional, config);

    writeLog(config.logPath, regional, lines);
    struct stat st {};
    stat(config.logPath.c_str(), &st);
    std::printf("protocol: %ld lines, %.1f MB\n", lines, static_cast<double>(st.st_size) / 1e6);

    TProtocolForm viewer(scheduler);
    viewer.show();
    QApplication::processEvents();
    std::vector<double> loads;
    for (int run = 0; run < 5; ++run) {
        viewer.StringsDestroy();
        const auto t = Stopwatch::now();
        viewer.StringsCreate();
        loads.push_back(msSince(t));
    }
    std::printf("load (StringsCreate): median %.0f ms, best %.0f ms over %zu runs\n", median(loads),
                *std::min_element(loads.begin(), loads.end()), loads.size());

    // Scrolling: every step repaints the visible rows at once, as dragging the thumb does.
    QScrollBar* bar = viewer.StringGrid1->verticalScrollBar();
    std::vector<double> steps;
    const int count = 400;
    for (int i = 0; i < count; ++i) {
        // Alternating far jumps (thumb drags) and single pages.
        const int value = i % 2 ? static_cast<int>(static_cast<long long>(bar->maximum()) *
                                                   (i * 7919 % count) / count)
                                : std::min(bar->maximum(), bar->value() + bar->pageStep());
        const auto t = Stopwatch::now();
        bar->setValue(value);
        viewer.StringGrid1->viewport()->repaint();
        steps.push_back(msSince(t));
    }
    std::printf("scroll step with repaint: median %.2f ms, worst %.2f ms over %d steps\n",
                median(steps), *std::max_element(steps.begin(), steps.end()), count);

    // Sideways, between the lines' start and their end.
    QScrollBar* across = viewer.StringGrid1->horizontalScrollBar();
    std::vector<double> sideways;
    for (int i = 0; i < 200; ++i) {
        const auto t = Stopwatch::now();
        across->setValue(i % 2 ? 0 : across->maximum());
        viewer.StringGrid1->viewport()->repaint();
        sideways.push_back(msSince(t));
    }
    std::printf("sideways step with repaint (range %d px): median %.2f ms, worst %.2f ms\n",
                across->maximum(), median(sideways),
                *std::max_element(sideways.begin(), sideways.end()));

    {
        const auto t = Stopwatch::now();
        viewer.ClearButtonClick(); // 10 days back from the newest line, then loads again
        std::printf("clear 10 days of 30 and reload: %.0f ms, %d lines kept\n", msSince(t),
                    viewer.lines().lineCount());
    }

    // The task grid over a large task table.
    const std::string tables = dir.file("tables");
    mkdir(tables.c_str(), 0755);
    test::RecordingMessages messages;
    TDataCtrl data(tables, messages);
    {
        Transaction tx(data.database());
        data.Table1.disableControls();
        for (int i = 0; i < tasks; ++i) {
            data.Table1.append();
            data.Table1AppName.setString("task " + std::to_string(i));
            data.Table1LastDate.setDateTime(*tryEncodeDate(2026, 12, 7));
            data.Table1LastTime.setDateTime(0.5);
            data.Table1EndCode.setFloat(1);
            data.Table1.post();
        }
        tx.commit();
        data.Table1.enableControls();
    }
    TaskGridModel model(data, regional);
    std::vector<double> rebuilds;
    for (int run = 0; run < 5; ++run) {
        // What a pass does: detach, move, come back, attach; the grid reads every row again.
        const auto t = Stopwatch::now();
        data.Table1.disableControls();
        data.Table1.moveTo(run + 1);
        data.Table1.moveTo(0);
        data.Table1.enableControls();
        rebuilds.push_back(msSince(t));
    }
    std::vector<double> moves;
    for (int i = 0; i < 1000; ++i) {
        const auto t = Stopwatch::now();
        data.Table1.moveTo(i * 7 % tasks);
        moves.push_back(msSince(t));
    }
    std::printf(
        "task grid, %d tasks: full read median %.1f ms (%d reads); cursor move median %.3f ms\n",
        tasks, median(rebuilds), model.rebuilds(), median(moves));
    return 0;
}
