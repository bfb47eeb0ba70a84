#pragma once
// A started scheduler in the test world, for the editor and report tests (QtTest, one per test
// function). Every message box the editors raise lands in port.messages.

#include "support/dates.h"
#include "support/test_world.h"

#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace vektrin::test {

struct EditorWorld : TestWorld {
    std::unique_ptr<Scheduler> scheduler;

    EditorWorld() {
        scheduler = makeScheduler();
        if (scheduler->FormCreate() != Scheduler::StartResult::Running)
            throw std::runtime_error("the scheduler did not start");
        port.messages.clear();
        port.kinds.clear();
    }

    TDataCtrl& dm() { return scheduler->dataCtrl(); }

    std::int64_t addTask(const std::string& name, const std::function<void(TDataCtrl&)>& set = {}) {
        return appendTask(dm(), name, set);
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
};

// What an editor's test functions share: a world of their own and the editor on it.
template <class Form> struct EditorHarness {
    std::unique_ptr<EditorWorld> world;
    std::unique_ptr<Form> form;

    TDataCtrl& dm() { return world->dm(); }
    std::vector<std::string>& messages() { return world->port.messages; }
    template <class W> W* child(const QString& name) {
        W* w = form->template findChild<W*>(name);
        if (!w) qFatal("no widget %s", qPrintable(name));
        return w;
    }
    void reset() {
        form.reset();
        world.reset();
    }
};

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
