#pragma once
// A scheduler on real tables in a temporary directory, with a fake clock, processes, windows and
// operator interface.

#include "engine/scheduler.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vektrin::test {

class EngineTest : public ::testing::Test {
  protected:
    TempDir dir;
    FakeClock clock;
    FakeProcesses processes;
    FakeWindows windows;
    FakePort port;
    std::unique_ptr<SettingsStore> settings;
    RegionalSettings regional;
    std::unique_ptr<Scheduler> scheduler;

    void SetUp() override {
        mkdir(tables().c_str(), 0755);
        writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables() + "\n");
        settings = std::make_unique<SettingsStore>(dir.file("settings.ini"));
        regional.shortDateFormat = "dd.mm.yyyy";
        regional.longTimeFormat = "hh:nn:ss";
        regional.dateSeparator = '.';
        regional.timeSeparator = ':';
        regional.decimalSeparator = '.';
        clock.set(2026, 12, 7, 10, 0, 30);
    }

    std::string tables() const { return dir.path() + "/tables"; }

    SchedulerConfig config(std::vector<std::string> args = {}) const {
        SchedulerConfig c;
        c.arguments = std::move(args);
        c.programPath = "/usr/bin/vektrin";
        c.logPath = dir.file("Vektrin.log");
        c.aliasesFile = dir.file("aliases.ini");
        c.fileVersion = "2.1.0.7";
        return c;
    }

    Scheduler& make(std::vector<std::string> args = {}) {
        scheduler = std::make_unique<Scheduler>(clock, processes, windows, port, *settings,
                                                regional, config(std::move(args)));
        return *scheduler;
    }

    Scheduler& start() {
        make();
        EXPECT_EQ(scheduler->FormCreate(), Scheduler::StartResult::Running);
        return *scheduler;
    }

    TDataCtrl& dm() { return scheduler->dataCtrl(); }

    // Appends a task; set fills its fields while the record is being inserted.
    std::int32_t addTask(const std::string& name, const std::function<void(TDataCtrl&)>& set = {}) {
        TDataCtrl& d = dm();
        d.Table1.append();
        d.Table1AppName.setString(name);
        d.Table1Application.setString("prog-" + name);
        if (set) set(d);
        d.Table1.post();
        return static_cast<std::int32_t>(d.Table1AppID.asInteger());
    }

    void select(std::int32_t appId) {
        Table& t = dm().Table1;
        for (t.first(); !t.eof(); t.next())
            if (dm().Table1AppID.asInteger() == appId) return;
        FAIL() << "no task " << appId;
    }

    double code(std::int32_t appId) {
        const auto keep = dm().Table1.getBookmark();
        select(appId);
        const double c = dm().Table1EndCode.asFloat();
        dm().Table1.gotoBookmark(keep);
        return c;
    }

    // Protocol lines without their date and time stamps.
    std::vector<std::string> protocol() const {
        const std::string text = readFile(dir.file("Vektrin.log"));
        std::vector<std::string> lines;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            // "dd.mm.yyyy hh:nn:ss " is 20 characters.
            lines.push_back(line.size() >= 20 ? line.substr(20) : line);
            pos = end + 2;
        }
        return lines;
    }

    bool protocolHas(const std::string& line) const {
        for (const auto& l : protocol())
            if (l == line) return true;
        return false;
    }
};

} // namespace vektrin::test
