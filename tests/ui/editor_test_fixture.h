#pragma once
// A started scheduler on real tables in a temporary directory, with a fake clock, processes,
// windows and operator interface, for the editor and report tests (QtTest, one per test
// function). Every message box the editors raise lands in port.messages.

#include "engine/scheduler.h"
#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace vektrin::test {

struct EditorWorld {
    TempDir dir;
    FakeClock clock;
    FakeProcesses processes;
    FakeWindows windows;
    FakePort port;
    std::unique_ptr<SettingsStore> settings;
    RegionalSettings regional;
    std::unique_ptr<Scheduler> scheduler;

    EditorWorld() {
        const std::string tables = dir.path() + "/tables";
        mkdir(tables.c_str(), 0755);
        writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables + "\n");
        settings = std::make_unique<SettingsStore>(dir.file("settings.ini"));
        regional.shortDateFormat = "dd.mm.yyyy";
        regional.longTimeFormat = "hh:nn:ss";
        regional.dateSeparator = '.';
        regional.timeSeparator = ':';
        regional.decimalSeparator = '.';
        clock.set(2026, 12, 7, 10, 0, 30);
        SchedulerConfig c;
        c.programPath = "/usr/bin/vektrin";
        c.logPath = dir.file("Vektrin.log");
        c.aliasesFile = dir.file("aliases.ini");
        c.fileVersion = "2.1.0.7";
        scheduler =
            std::make_unique<Scheduler>(clock, processes, windows, port, *settings, regional, c);
        if (scheduler->FormCreate() != Scheduler::StartResult::Running)
            throw std::runtime_error("the scheduler did not start");
        port.messages.clear();
        port.kinds.clear();
    }

    TDataCtrl& dm() { return scheduler->dataCtrl(); }

    std::int64_t addTask(const std::string& name, const std::function<void(TDataCtrl&)>& set = {}) {
        Table& t = dm().Table1;
        t.append();
        dm().Table1AppName.setString(name);
        if (set) set(dm());
        t.post();
        return dm().Table1AppID.asInteger();
    }

    void addResource(int number, const std::string& name, DateTime maxWait = 0) {
        Table& t = dm().Table2;
        t.append();
        dm().Table2ResourceNo.setInteger(number);
        dm().Table2ResourceName.setString(name);
        if (maxWait != 0) dm().Table2MaxWait.setDateTime(maxWait);
        t.post();
    }

    void addPeriod(const std::function<void(TDataCtrl&)>& set) {
        Table& t = dm().Table3;
        t.append();
        set(dm());
        t.post();
    }

    // Number of protocol lines that end with text.
    int protocolLines(const std::string& text) const {
        const std::string log = readFile(dir.file("Vektrin.log"));
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }
};

inline DateTime minute(int m) {
    return *tryEncodeTime(0, m, 0);
}
inline DateTime dayOfYearOne(int d) {
    return *tryEncodeDate(1, 1, d);
}
inline DateTime hm(int h, int m) {
    return *tryEncodeTime(h, m, 0);
}
inline DateTime date(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}

// Focus leaving a widget as a Tab press makes it leave.
inline void leave(QWidget* widget) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(widget, &out);
}

inline void retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

} // namespace vektrin::test
