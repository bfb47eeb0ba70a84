// The two passes at scale: the scheduling pass over 10,000 tasks, and the monitoring pass with 0
// and 20 running tasks. For the window walk on a crowded desktop run it under an X server:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/release/bench/pass_bench

#include "engine/scheduler.h"
#include "first_instruction.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace vektrin {
namespace {

class Tables {
  public:
    test::TempDir dir;
    std::string tables = dir.path() + "/tables";

    Tables() {
        mkdir(tables.c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables + "\n");
    }
    SchedulerConfig config() const {
        SchedulerConfig c;
        c.logPath = dir.file("Vektrin.log");
        c.aliasesFile = dir.file("aliases.ini");
        return c;
    }
    void sql(const std::string& file, const std::string& statement) const {
        sqlite3* db = nullptr;
        sqlite3_open((tables + "/" + file).c_str(), &db);
        sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
};

// A scheduler whose tables already exist.
struct Rig {
    Tables t;
    test::FakeClock clock;
    test::FakeWindows fakeWindows;
    test::FakeProcesses fakeProcesses;
    test::FakePort port;
    SettingsStore settings{t.dir.file("settings.ini")};
    std::unique_ptr<Scheduler> s;

    Rig(ProcessControl* processes = nullptr, WindowSystem* windows = nullptr) {
        clock.set(2026, 12, 8, 12, 0, 1);
        auto make = [&] {
            return std::make_unique<Scheduler>(clock, processes ? *processes : fakeProcesses,
                                               windows ? *windows : fakeWindows, port, settings,
                                               RegionalSettings{}, t.config());
        };
        s = make();
        s->FormCreate();
        s->FormClose();
        s = make();
    }
    void start() {
        s->FormCreate();
        s->Timer1Timer();
    }
};

std::string insertTasks(int count, const std::string& values) {
    std::string sql = "BEGIN;";
    for (int i = 0; i < count; ++i)
        sql += "INSERT INTO Vektrin (AppName, Application, Interval, StartTime, EndTime, "
               "StartCondition, EndCondition, RepeatInterval) VALUES ('task " +
               std::to_string(i) + "', 'true', " + values + ");";
    return sql + "COMMIT;";
}

void BM_SchedulingPassNoneDue(benchmark::State& state) {
    Rig rig;
    // Everyday tasks between 03:00 and 03:05; silence rows in the night.
    rig.t.sql("Vektrin.db", insertTasks(10000, "2, 0.125, 0.1284, '', '', 0"));
    std::string silence = "BEGIN;";
    for (int i = 0; i < 100; ++i)
        silence += "INSERT INTO SYSEXCPT VALUES (2, 0, 0.0416, 0, 0.0625);";
    rig.t.sql("SYSEXCPT.DB", silence + "COMMIT;");
    rig.start();
    for (auto _ : state) {
        rig.clock.advanceSeconds(60);
        rig.s->Timer2Timer();
    }
    if (!rig.fakeProcesses.launches.empty()) state.SkipWithError("a task was launched");
}
BENCHMARK(BM_SchedulingPassNoneDue)->Unit(benchmark::kMillisecond);

void BM_SchedulingPassFileConditions(benchmark::State& state) {
    Rig rig;
    const std::string files = rig.t.dir.path() + "/in";
    mkdir(files.c_str(), 0755);
    for (int i = 0; i < 1000; ++i)
        test::writeFile(files + "/f" + std::to_string(i) + ".dat", "x");
    const std::string condition =
        "FE(''" + files + "/*.DAT'')&LT(FSK(''" + files + "/*.DAT'')-500)";
    rig.t.sql("Vektrin.db", insertTasks(1000, "2, 0.125, 0.1284, '" + condition + "', '', 0"));
    rig.t.sql("Vektrin.db", insertTasks(9000, "2, 0.125, 0.1284, '', '', 0"));
    rig.start();
    for (auto _ : state) {
        rig.clock.advanceSeconds(60);
        rig.s->Timer2Timer();
    }
}
BENCHMARK(BM_SchedulingPassFileConditions)->Unit(benchmark::kMillisecond);

// 2,000 every-minute tasks and 20 slots whose tasks end at once: each repetition is one minute,
// its pass (20 launches, 1,980 tasks set to wait for a slot) and the slot checks that launch the
// waiting ones as slots free. The figures are of the pass alone; p99 over the repetitions.
void BM_SchedulingPassAllDueFewSlots(benchmark::State& state) {
    Rig rig;
    rig.t.sql("Vektrin.db", insertTasks(2000, "0, 0, 0, '', '', 0"));
    rig.start();
    std::size_t launched = 0;
    for (auto _ : state) {
        rig.clock.advanceSeconds(60);
        rig.s->Timer2Timer();
        state.PauseTiming();
        while (rig.s->tasksWaitForSlots()) {
            for (auto& [handle, process] : rig.fakeProcesses.procs)
                process.state = ExitState::Exited;
            rig.s->slotCheck();
        }
        for (auto& [handle, process] : rig.fakeProcesses.procs)
            process.state = ExitState::Exited;
        rig.s->Timer1Timer();
        state.ResumeTiming();
    }
    launched = rig.fakeProcesses.launches.size();
    state.counters["launches/minute"] =
        static_cast<double>(launched) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SchedulingPassAllDueFewSlots)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(100)
    ->ComputeStatistics("p99",
                        [](const std::vector<double>& v) {
                            std::vector<double> sorted = v;
                            std::sort(sorted.begin(), sorted.end());
                            return sorted[(sorted.size() * 99) / 100 - 1];
                        })
    ->ReportAggregatesOnly(true);

// Top-level windows of another client, titled and with a pid, as real programs have.
class Desktop {
  public:
    explicit Desktop(int count) {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        const xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING"),
                         netPid = atom("_NET_WM_PID");
        const std::uint32_t pid = 1; // nobody the scheduler started
        static const char wmClass[] = "bench\0Bench";
        for (int i = 0; i < count; ++i) {
            const xcb_window_t w = xcb_generate_id(conn_);
            xcb_create_window(conn_, XCB_COPY_FROM_PARENT, w, screen->root, i, i, 100, 50, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const std::string title = "Window " + std::to_string(i);
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                                8, sizeof wmClass, wmClass);
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, netName, utf8, 8,
                                static_cast<std::uint32_t>(title.size()), title.data());
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, netPid, XCB_ATOM_CARDINAL, 32, 1,
                                &pid);
            xcb_map_window(conn_, w);
        }
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    ~Desktop() { xcb_disconnect(conn_); }

  private:
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }
    xcb_connection_t* conn_ = nullptr;
};

void BM_MonitoringPass(benchmark::State& state) {
    const bool display = std::getenv("DISPLAY") != nullptr;
    Desktop desktop(display ? 200 : 0);
    auto processes = makePosixProcessControl();
    auto windows = display ? makeX11WindowSystem() : makeNullWindowSystem();
    {
        Rig rig(processes.get(), windows.get());
        const auto running = static_cast<int>(state.range(0));
        rig.t.sql("Vektrin.db",
                  insertTasks(running, "0, 0, 0, '', 'GT(FC(''/nonexistent/*'')-1)', 0"));
        rig.start();
        TDataCtrl& dm = rig.s->dataCtrl();
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next()) {
            dm.Table1.edit();
            dm.Table1Application.setString("sleep 600");
            dm.Table1.post();
            rig.s->RunNowClick();
        }
        for (auto _ : state)
            rig.s->Timer1Timer();
        state.counters["windows"] = display ? 200 : 0;
        rig.s->FormClose();
    }
}
BENCHMARK(BM_MonitoringPass)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

// From RunNowClick to the first instruction of the child's main().
void BM_LaunchToFirstInstruction(benchmark::State& state) {
    auto processes = makePosixProcessControl();
    auto windows = makeNullWindowSystem();
    Rig rig(processes.get(), windows.get());
    const std::string stamp = rig.t.dir.file("stamp");
    rig.t.sql("Vektrin.db", insertTasks(1, "0, 0, 0, '', '', 0"));
    rig.start();
    TDataCtrl& dm = rig.s->dataCtrl();
    dm.Table1.first();
    dm.Table1.edit();
    dm.Table1Application.setString(std::string(FIRST_INSTRUCTION) + " " + stamp);
    dm.Table1.post();
    std::vector<double> micros;
    for (auto _ : state) {
        micros.push_back(bench::microsToFirstInstruction(*rig.s, stamp));
        state.PauseTiming();
        while (rig.s->RunningTasks.anyTaskRunning())
            rig.s->Timer1Timer();
        state.ResumeTiming();
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(BM_LaunchToFirstInstruction)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace
} // namespace vektrin
