// The window walk of the monitoring pass over a crowded desktop.
// Run under an X server: xvfb-run -a -s "-screen 0 1024x768x24" build/bench/windows_bench

#include "platform/windows.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

// A client owning `count` top-level windows, titled and with a pid, as real programs have.
class Desktop {
  public:
    explicit Desktop(int count) {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        netName_ = atom("_NET_WM_NAME");
        utf8_ = atom("UTF8_STRING");
        xcb_atom_t netPid = atom("_NET_WM_PID");
        auto pid = static_cast<std::uint32_t>(getpid());
        static const char wmClass[] = "bench\0Bench";
        for (int i = 0; i < count; ++i) {
            xcb_window_t window = xcb_generate_id(conn_);
            xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window, screen->root, i, i, 100, 50, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            std::string title = "Window number " + std::to_string(i);
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, netName_, utf8_, 8,
                                static_cast<std::uint32_t>(title.size()), title.data());
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, netPid, XCB_ATOM_CARDINAL, 32,
                                1, &pid);
            xcb_map_window(conn_, window);
            windows_.push_back(window);
        }
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    ~Desktop() { xcb_disconnect(conn_); }
    bool ready() const { return !xcb_connection_has_error(conn_); }

    // A program changing its title, as a terminal or a browser does all the time.
    void rename(std::size_t index, const std::string& title) {
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, windows_[index % windows_.size()],
                            netName_, utf8_, 8, static_cast<std::uint32_t>(title.size()),
                            title.data());
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }

  private:
    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        xcb_atom_t result = reply ? reply->atom : 0;
        std::free(reply);
        return result;
    }
    xcb_connection_t* conn_ = nullptr;
    xcb_atom_t netName_ = 0;
    xcb_atom_t utf8_ = 0;
    std::vector<xcb_window_t> windows_;
};

// What step 2 of the pass asks of every window, the retitling of one task's window included.
std::size_t walk(vektrin::WindowSystem& windows, std::uint32_t taskPid) {
    std::size_t matched = 0;
    for (vektrin::WindowId window : windows.topLevelWindows()) {
        if (windows.hasOwner(window) || windows.title(window).empty()) continue;
        if (windows.processId(window) == taskPid && ++matched == 1)
            windows.setTitle(window, "Task name");
    }
    windows.flush();
    return matched;
}

// Xvfb resets when its last client leaves, refusing connections meanwhile; one client stays.
void keepServerUp() {
    static xcb_connection_t* const keeper = xcb_connect(nullptr, nullptr);
    benchmark::DoNotOptimize(keeper);
}

// A quiet desktop: nothing changed since the last pass.
void BM_WindowWalkQuiet(benchmark::State& state) {
    keepServerUp();
    Desktop desktop(static_cast<int>(state.range(0)));
    if (!desktop.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    auto windows = vektrin::makeX11WindowSystem();
    auto taskPid = static_cast<std::uint32_t>(getpid());
    for (auto _ : state)
        benchmark::DoNotOptimize(walk(*windows, taskPid));
}
BENCHMARK(BM_WindowWalkQuiet)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

// One window renamed by its program between two passes.
void BM_WindowWalkOneRenamed(benchmark::State& state) {
    keepServerUp();
    Desktop desktop(static_cast<int>(state.range(0)));
    if (!desktop.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    auto windows = vektrin::makeX11WindowSystem();
    auto taskPid = static_cast<std::uint32_t>(getpid());
    std::size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        desktop.rename(pass, "Renamed " + std::to_string(pass));
        ++pass;
        state.ResumeTiming();
        benchmark::DoNotOptimize(walk(*windows, taskPid));
    }
}
BENCHMARK(BM_WindowWalkOneRenamed)->Arg(200)->Unit(benchmark::kMicrosecond);

// The first pass after start-up, or after the display came back: everything is new.
void BM_WindowWalkFirst(benchmark::State& state) {
    keepServerUp();
    Desktop desktop(static_cast<int>(state.range(0)));
    if (!desktop.ready()) {
        state.SkipWithError("no X display");
        return;
    }
    auto taskPid = static_cast<std::uint32_t>(getpid());
    for (auto _ : state) {
        state.PauseTiming();
        auto windows = vektrin::makeX11WindowSystem();
        state.ResumeTiming();
        benchmark::DoNotOptimize(walk(*windows, taskPid));
        state.PauseTiming();
        windows.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowWalkFirst)->Arg(200)->Unit(benchmark::kMicrosecond);

} // namespace
