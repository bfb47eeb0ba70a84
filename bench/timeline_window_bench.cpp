// The timeline window's first paint over a table of 200 tasks for 7 days: from creating the
// window to the end of the chart's first paint (reading the tables, the model, the SVG document,
// Qt's parsing of it and the painting). Prints the figures; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen timeline_window_bench [tasks] [runs]

#include "store/data_ctrl.h"
#include "support/fake_messages.h"
#include "support/temp_dir.h"
#include "ui/timeline_form.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace vektrin;
using Stopwatch = std::chrono::steady_clock;

namespace {

double msSince(Stopwatch::time_point t) {
    return std::chrono::duration<double, std::milli>(Stopwatch::now() - t).count();
}

// CPU time of the process (all its threads), in milliseconds.
double cpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Notes when the widget it watches has been painted.
class PaintWatch : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Every kind with random windows and steps, a tenth on resources, a third with a condition, and
// two silence periods, as the model's benchmark.
void fill(TDataCtrl& dm, int count) {
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Transaction transaction(dm.database());
    for (int i = 0; i < count; ++i) {
        dm.Table1.append();
        dm.Table1AppName.setString("task number " + std::to_string(i + 1));
        dm.Table1Application.setString("true");
        const int kind = i % 6;
        dm.Table1Interval.setInteger(kind);
        const int from = kind == 1 ? pick(0, 59) * 60 : pick(0, 23) * 3600;
        const int length = kind == 1 ? pick(0, 59) * 60 : pick(0, 8) * 3600;
        dm.Table1StartTime.setDateTime(from / SecondsPerDay);
        dm.Table1EndTime.setDateTime(std::min(from + length, kind == 1 ? 3599 : 86399) /
                                     SecondsPerDay);
        dm.Table1RepeatInterval.setInteger(pick(0, 3) * 15);
        const DateTime start =
            kind == 5 ? *tryEncodeDate(2026, 12, pick(1, 28)) : *tryEncodeDate(1, 1, pick(1, 28));
        dm.Table1StartDate.setDateTime(start);
        dm.Table1EndDate.setDateTime(kind == 5 ? start + pick(0, 30)
                                               : *tryEncodeDate(1, 1, pick(1, 31)));
        if (i % 3 == 0) dm.Table1StartCondition.setString("FE('/tmp/go')");
        dm.Table1Conflicts.setInteger(i % 10 == 0 ? 1 << pick(0, 2) : 0);
        dm.Table1.post();
    }
    dm.Table3.append();
    dm.Table3Interval.setInteger(2);
    dm.Table3StartTime.setDateTime(12 / 24.0);
    dm.Table3EndTime.setDateTime(13 / 24.0);
    dm.Table3.post();
    transaction.commit();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int tasks = argc > 1 ? std::atoi(argv[1]) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 11;

    test::TempDir dir;
    test::RecordingMessages messages;
    TDataCtrl dm(dir.path(), messages);
    fill(dm, tasks);
    RegionalSettings regional;
    const DateTime now = *tryEncodeDate(2026, 12, 7) + 10.5 / 24;

    std::vector<double> firstPaint, firstPaintCpu, refresh, paint;
    std::size_t bytes = 0;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = Stopwatch::now();
        const double c0 = cpuMs();
        TTimelineForm form(dm, regional, [now] { return now; });
        form.resize(1200, 800);
        const auto t1 = Stopwatch::now();
        form.setPeriodHours(24 * 7);
        refresh.push_back(msSince(t1));
        PaintWatch watch;
        form.View->installEventFilter(&watch);
        const auto t2 = Stopwatch::now();
        form.show();
        while (!watch.painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        // The paint event has been handled when the loop that delivered it comes back.
        QApplication::processEvents();
        paint.push_back(msSince(t2));
        firstPaint.push_back(msSince(t0));
        firstPaintCpu.push_back(cpuMs() - c0);
        if (run == 0) bytes = form.svg().size();
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("platform %s, %d tasks, 7 days, whole SVG %.1f KB, %d runs\n",
                qPrintable(QGuiApplication::platformName()), tasks, bytes / 1e3, runs);
    std::printf("first paint (window made to chart painted): median %.1f ms, best %.1f ms\n",
                median(firstPaint), best(firstPaint));
    std::printf("first paint, CPU time: median %.1f ms, best %.1f ms\n", median(firstPaintCpu),
                best(firstPaintCpu));
    std::printf("  of which reading, model and SVG (setPeriodHours): median %.1f ms\n",
                median(refresh));
    std::printf("  of which showing and painting: median %.1f ms\n", median(paint));
    return 0;
}
