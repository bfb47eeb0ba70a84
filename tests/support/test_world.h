#pragma once
// The one world the scheduler, main-window and editor tests live in: real tables in a temporary
// directory reached through its own aliases file, a settings file, the regional settings
// dd.mm.yyyy and hh:nn:ss, a fake clock at Monday 2026-12-07 10:00:30, fake processes, windows and
// operator interface, and the configuration a scheduler in this world starts with.

#include "engine/scheduler.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vektrin::test {

struct TestWorld {
    TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    TempDir dir;
    FakeClock clock;
    FakeProcesses processes;
    FakeWindows windows;
    FakePort port;
    std::unique_ptr<SettingsStore> settings;
    RegionalSettings regional;

    // The directory the Control alias names, and the protocol file.
    std::string tables() const { return dir.path() + "/tables"; }
    std::string log() const { return dir.file("Vektrin.log"); }

    SchedulerConfig config(std::vector<std::string> args = {}) const;
    // A scheduler of this world with that configuration, not yet started.
    std::unique_ptr<Scheduler> makeScheduler(std::vector<std::string> args = {});

    // Protocol lines without their date and time stamps ("dd.mm.yyyy hh:nn:ss ").
    std::vector<std::string> protocol() const;
    std::vector<std::string> protocolSince(std::size_t from) const;
    bool protocolHas(const std::string& line) const;
    // How often text occurs in the protocol.
    int protocolLines(const std::string& text) const;

    // Appends a task with this name; set fills its other fields while the record is inserted.
    static std::int32_t appendTask(TDataCtrl& dm, const std::string& name,
                                   const std::function<void(TDataCtrl&)>& set = {});
};

} // namespace vektrin::test
