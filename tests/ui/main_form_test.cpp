// The main window under the offscreen platform: buttons, the grid menu on tasks in each state,
// the status indicator and its protocol lines, the opening sequence of editors and the viewer,
// the refused exit, deleting a task, and life without a notification area.

#include "ui/protocol_form.h"
#include "ui/task_grid.h"
#include "ui/tray_icon.h"
#include "ui_fixture.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
QStringList q(const std::vector<std::string>& v) {
    QStringList out;
    for (const auto& s : v)
        out << q(s);
    return out;
}

// Object name and text of every item of a menu, separators as "-".
QStringList items(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->objectName() + "=" + (a->isSeparator() ? QString("-") : a->text());
    return out;
}

QColor buttonText(QPushButton* b) {
    return b->palette().color(QPalette::Active, QPalette::ButtonText);
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT
  private slots:
    void buttonsAndMenuItems();
    void editorsThatDoNotExistLeaveTheirCommandsDisabled();
    void gridMenuFollowsTheTaskState_data();
    void gridMenuFollowsTheTaskState();
    void resumeAndSuspendToggleTheTask();
    void visualizeHidesAndShowsTheTaskWindow();
    void emptyTableOffersNoTaskCommands();
    void statusColourSequenceAndItsProtocolLines();
    void nestedOpeningsKeepTheFirstPauseAndTheTimersOff();
    void exitIsRefusedWhileAWindowIsOpen_data();
    void exitIsRefusedWhileAWindowIsOpen();
    void ctrlDeleteAsksBeforeDeleting();
    void iconAndToolTip();
    void withoutNotificationAreaTheWindowShowsAndClosingAsks();
};

void MainFormTest::buttonsAndMenuItems() {
    UiEnv env;
    {
        // Before start-up, as the window is built.
        TestForm fresh(env.platform());
        QCOMPARE(items(fresh.PopupMenu2.get()).front(), QString("ShowMainForm=Show main form"));
    }
    auto form = env.startForm();
    QVERIFY(form);
    const std::pair<const char*, QStringList> buttons[] = {
        {"TasksBtn", {"&Tasks", "Tasks parameters editing"}},
        {"ResourcesBtn", {"&Conflicts", "Conflicting resources editing"}},
        {"ExceptionBtn", {"&Exceptions", "Editing of \"silence\" periods"}},
        {"ProtocolBtn", {"&Protocol", "Protocol view"}},
        {"BitBtn1", {"E&xit", "Program exit"}},
    };
    for (const auto& [name, texts] : buttons) {
        auto* b = form->findChild<QPushButton*>(name);
        QVERIFY2(b, name);
        QCOMPARE((QStringList{b->text(), b->toolTip()}), texts);
    }
    QCOMPARE(
        items(form->findChild<QMenu*>("PopupMenu1")),
        (QStringList{"TaskParameters=Task parameters", "ConflRes=Conflicting resources", "N4=-",
                     "RunNow=Run now", "Interrupt=Interrupt execution",
                     "CancelWaiting=Cancel waiting", "Visualize=Unhide", "N6=-", "Resume=Suspend",
                     "N7=-", "Timeline=Timeline...", "Output=Output...", "N9=-",
                     "Language=Language", "HelpItem=Help", "AboutItem=About Vektrin"}));
    QCOMPARE(
        items(form->PopupMenu2.get()),
        (QStringList{"ShowMainForm=Hide main window", "N5=-", "Tasks=Tasks",
                     "ResourcesEdit=Conflicts", "ConflictsEdit=Exceptions", "ProtocolShow=Protocol",
                     "TimelineShow=Timeline...", "N8=-", "Language=Language", "HelpItem=Help",
                     "AboutItem=About Vektrin", "N2=-", "TaskExit=Exit"}));
    QCOMPARE(form->TrayIcon1->contextMenu(), form->PopupMenu2.get());
    QCOMPARE(form->windowTitle(), QString("System monitor - Vektrin 2.1"));
}

void MainFormTest::editorsThatDoNotExistLeaveTheirCommandsDisabled() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto nothing = [](Scheduler&, QWidget*) { return std::unique_ptr<QDialog>(); };
    for (auto w : {PauseWindow::Tasks, PauseWindow::ResourcesEdit, PauseWindow::ConflictsEdit})
        form->setEditorFactory(w, nothing);
    for (QObject* o : std::initializer_list<QObject*>{
             form->TasksBtn, form->ResourcesBtn, form->ExceptionBtn, form->TaskParameters,
             form->ConflRes, form->Tasks, form->ResourcesEdit, form->ConflictsEdit})
        QVERIFY2(!o->property("enabled").toBool(), qPrintable(o->objectName()));
    QVERIFY(form->ProtocolBtn->isEnabled());
    QVERIFY(form->ProtocolShow->isEnabled());
    // Choosing one anyway changes nothing: no pause, no protocol line.
    const size_t before = env.protocol().size();
    form->TaskParametersClick();
    QCOMPARE(env.protocol().size(), before);

    int created = 0;
    form->setEditorFactory(PauseWindow::Tasks, fakeEditor(&created));
    QVERIFY(form->TasksBtn->isEnabled());
    QVERIFY(form->Tasks->isEnabled());
    QVERIFY(form->TaskParameters->isEnabled());
    QVERIFY(!form->ResourcesBtn->isEnabled());
}

void MainFormTest::gridMenuFollowsTheTaskState_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("resume");
    QTest::addColumn<bool>("cancelWaiting");
    QTest::addColumn<bool>("visualize");
    QTest::addColumn<QString>("visualizeText");
    // clang-format off
    QTest::newRow("completed") << "completed" << "Suspend" << false << false << "";
    QTest::newRow("stopped") << "stopped" << "Resume" << false << false << "";
    QTest::newRow("waiting") << "waiting" << "Suspend" << true << false << "";
    QTest::newRow("running, window visible") << "visible" << "Suspend" << false << true << "Hide";
    QTest::newRow("running, window hidden") << "hidden" << "Suspend" << false << true << "Unhide";
    QTest::newRow("running, no window found yet") << "nowindow" << "Suspend" << false << true
        << "Unhide";
    // clang-format on
}

void MainFormTest::gridMenuFollowsTheTaskState() {
    QFETCH(QString, state);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "other");
    const auto id = addTask(*form, "subject", [&](TDataCtrl& d) {
        d.Table1EndCode.setFloat(state == "waiting" ? 7 : 1);
        d.Table1Stopped.setBoolean(state == "stopped");
    });
    selectTask(*form, id);
    if (state == "visible" || state == "hidden" || state == "nowindow") {
        form->RunNowClick();
        const int slot = form->scheduler().RunningTasks.AppIndex(id);
        QVERIFY(slot != 0);
        if (state != "nowindow") {
            auto& s = form->scheduler().RunningTasks.slot(slot);
            s.Window = 77;
            env.windows.wins.push_back({77, s.ProcessId, "subject", false, state == "visible"});
        }
    }
    // The menu reads the record the grid shows as selected.
    QCOMPARE(form->DBGrid1->currentIndex().row(), form->scheduler().dataCtrl().Table1.recNo());
    form->PopupMenu1Popup();
    QTEST(form->Resume->text(), "resume");
    QTEST(form->CancelWaiting->isVisible(), "cancelWaiting");
    QTEST(form->Visualize->isVisible(), "visualize");
    if (form->Visualize->isVisible()) QTEST(form->Visualize->text(), "visualizeText");
    QVERIFY(form->RunNow->isEnabled());
    QVERIFY(form->Interrupt->isEnabled());
}

void MainFormTest::resumeAndSuspendToggleTheTask() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto id =
        addTask(*form, "nightly", [](TDataCtrl& d) { d.Table1Stopped.setBoolean(true); });
    selectTask(*form, id);
    auto* model = form->DBGrid1->model();
    const int row = form->DBGrid1->currentIndex().row();
    QCOMPARE(model->index(row, 3).data().toString(), QString("Stopped"));
    form->PopupMenu1Popup();
    QCOMPARE(form->Resume->text(), QString("Resume"));
    form->Resume->trigger();
    QCOMPARE(env.protocol().back(), std::string("Scheduling of <nightly> is resumed."));
    QCOMPARE(model->index(row, 3).data().toString(), QString("Resumed"));
    QCOMPARE(model->index(row, 1).data().toString(), QString("07.12.2026"));
    QCOMPARE(model->index(row, 2).data().toString(), QString("10:00:30"));
    form->PopupMenu1Popup();
    QCOMPARE(form->Resume->text(), QString("Suspend"));
    form->Resume->trigger();
    QCOMPARE(env.protocol().back(), std::string("Scheduling of <nightly> is stopped."));
    QCOMPARE(model->index(row, 3).data().toString(), QString("Stopped"));
}

void MainFormTest::visualizeHidesAndShowsTheTaskWindow() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto id = addTask(*form, "viewer");
    selectTask(*form, id);
    form->RunNowClick();
    // The monitoring pass finds the task's window and gives it the task's name.
    auto& slot = form->scheduler().RunningTasks.slot(form->scheduler().RunningTasks.AppIndex(id));
    env.windows.wins.push_back({501, slot.ProcessId, "untitled", false, true});
    form->scheduler().Timer1Timer();
    QCOMPARE(slot.Window, WindowId(501));
    form->PopupMenu1Popup();
    QCOMPARE(form->Visualize->text(), QString("Hide"));
    form->Visualize->trigger();
    QVERIFY(!env.windows.find(501)->visible);
    form->PopupMenu1Popup();
    QCOMPARE(form->Visualize->text(), QString("Unhide"));
    form->Visualize->trigger();
    QVERIFY(env.windows.find(501)->visible);
}

void MainFormTest::emptyTableOffersNoTaskCommands() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    form->PopupMenu1Popup();
    QVERIFY(!form->RunNow->isEnabled());
    QVERIFY(!form->Interrupt->isEnabled());
    QVERIFY(!form->Resume->isEnabled());
    QVERIFY(!form->CancelWaiting->isVisible());
    QVERIFY(!form->Visualize->isVisible());
    // Even when asked directly, nothing makes a record out of nothing.
    form->RunNowClick();
    form->InterruptClick();
    form->CancelWaitingClick();
    form->ResumeClick();
    QCOMPARE(form->scheduler().dataCtrl().Table1.recordCount(), 0);
    QVERIFY(env.processes.launches.empty());
}

void MainFormTest::statusColourSequenceAndItsProtocolLines() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    // Yellow in meaning, a dark amber on the button so that it reads.
    const QColor yellow(0x8A, 0x5A, 0x00), green(0, 128, 0), red(255, 0, 0);
    QCOMPARE(q(env.protocol()),
             (QStringList{"The Vektrin program started ...", "Task scheduling is resumed.",
                          "Waiting of the task scheduling start."}));
    QCOMPARE(form->statusColour(), StatusYellow);
    QCOMPARE(buttonText(form->ExceptionBtn), yellow);

    addTask(*form, "daily"); // a pass looks at the silence periods for the tasks it walks
    env.clock.advanceSeconds(60);
    form->scheduler().Timer2Timer(); // the first scheduling pass
    QCOMPARE(env.protocol().back(), std::string("Task scheduling is resumed."));
    QCOMPARE(buttonText(form->ExceptionBtn), green);

    form->setEditorFactory(PauseWindow::Tasks, fakeEditor());
    size_t mark = env.protocol().size();
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    form->TaskParametersClick();
    QCOMPARE(q(env.protocolSince(mark)),
             (QStringList{"Task list editing beginned ...", "Task list editing completed ...",
                          "Waiting of the task scheduling start."}));
    QCOMPARE(buttonText(form->ExceptionBtn), yellow);

    // A silence period in force: red, and closing a window then leaves it red.
    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table3.append();
    d.Table3Interval.setInteger(0);
    d.Table3.post();
    mark = env.protocol().size();
    env.clock.advanceSeconds(60);
    form->scheduler().Timer2Timer();
    QCOMPARE(q(env.protocolSince(mark)), QStringList{"Task scheduling is stopped."});
    QCOMPARE(buttonText(form->ExceptionBtn), red);
    mark = env.protocol().size();
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    form->ProtocolBtnClick();
    QCOMPARE(q(env.protocolSince(mark)),
             (QStringList{"Protocol viewing beginned ...", "Protocol viewing completed ..."}));
    QCOMPARE(buttonText(form->ExceptionBtn), red);

    // The silence ends: the next closing finds it over, green, then yellow.
    d.Table3.first();
    d.Table3.deleteRecord();
    mark = env.protocol().size();
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    form->ProtocolBtnClick();
    QCOMPARE(q(env.protocolSince(mark)),
             (QStringList{"Protocol viewing beginned ...", "Protocol viewing completed ...",
                          "Task scheduling is resumed.", "Waiting of the task scheduling start."}));
    QCOMPARE(buttonText(form->ExceptionBtn), yellow);
}

void MainFormTest::nestedOpeningsKeepTheFirstPauseAndTheTimersOff() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    form->scheduler().Timer1Timer(); // consumes the start-up pause
    form->scheduler().Timer1Timer();
    QCOMPARE(form->scheduler().PauseStart, 0.0);
    form->Timer1.start();
    form->setEditorFactory(PauseWindow::Tasks, fakeEditor());
    const DateTime opened = env.clock.value;
    const size_t mark = env.protocol().size();
    QStringList seen;

    onNextModal([&](QWidget* editor) {
        seen << QString("editor: tasks item %1, timers %2/%3, pause %4, timeline %5%6")
                    .arg(form->Tasks->isEnabled())
                    .arg(form->Timer1.isActive())
                    .arg(form->Timer2.isActive())
                    .arg(form->scheduler().PauseStart == opened)
                    .arg(form->TimelineShow->isEnabled())
                    .arg(form->Timeline->isEnabled());
        env.clock.advanceSeconds(40);
        // The tray menu stays usable: the viewer opens on top of the editor.
        onNextModal([&](QWidget* viewer) {
            seen << QString("viewer: items %1%2, pause %3")
                        .arg(form->Tasks->isEnabled())
                        .arg(form->ProtocolShow->isEnabled())
                        .arg(form->scheduler().PauseStart == opened);
            static_cast<QDialog*>(viewer)->reject();
        });
        form->ProtocolShow->trigger();
        // The viewer has closed, the editor has not: the passes still wait.
        seen << QString("back in editor: timer1 %1, protocol item %2")
                    .arg(form->Timer1.isActive())
                    .arg(form->ProtocolShow->isEnabled());
        static_cast<QDialog*>(editor)->reject();
    });
    form->Tasks->trigger();
    QCOMPARE(seen, (QStringList{"editor: tasks item 0, timers 0/0, pause 1, timeline 00",
                                "viewer: items 00, pause 1",
                                "back in editor: timer1 0, protocol item 1"}));
    QVERIFY(form->Timer1.isActive());
    QVERIFY(form->Tasks->isEnabled());
    QVERIFY(form->TimelineShow->isEnabled());
    QCOMPARE(form->scheduler().PauseStart, opened);
    const auto lines = env.protocolSince(mark);
    QCOMPARE(q(std::vector<std::string>(lines.begin(), lines.begin() + 3)),
             (QStringList{"Task list editing beginned ...", "Protocol viewing beginned ...",
                          "Protocol viewing completed ..."}));
    QVERIFY(std::find(lines.begin(), lines.end(), "Task list editing completed ...") !=
            lines.end());
    QCOMPARE(lines.back(), std::string("Waiting of the task scheduling start."));
}

void MainFormTest::exitIsRefusedWhileAWindowIsOpen_data() {
    QTest::addColumn<int>("window");
    QTest::addColumn<QString>("message");
    QTest::newRow("tasks") << int(PauseWindow::Tasks) << "Close 'Tasks' form before exit";
    QTest::newRow("conflicts") << int(PauseWindow::ResourcesEdit)
                               << "Close 'Conflicts' form before exit";
    QTest::newRow("exceptions") << int(PauseWindow::ConflictsEdit)
                                << "Close 'Exceptions' form before exit";
    QTest::newRow("protocol") << int(PauseWindow::ProtocolShow)
                              << "Close 'Protocol' form before exit";
}

void MainFormTest::exitIsRefusedWhileAWindowIsOpen() {
    QFETCH(int, window);
    QFETCH(QString, message);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    for (auto w : {PauseWindow::Tasks, PauseWindow::ResourcesEdit, PauseWindow::ConflictsEdit})
        form->setEditorFactory(w, fakeEditor());
    bool stillRunning = false;
    onNextModal([&](QWidget* w) {
        form->TaskExit->trigger();
        stillRunning = !form->isShutDown() && !form->Timer1.isActive();
        static_cast<QDialog*>(w)->reject();
    });
    form->trayItem(static_cast<PauseWindow>(window))->trigger();
    QVERIFY(stillRunning);
    QVERIFY(!form->messages.empty());
    QCOMPARE(q(form->messages.back()), message);
    QVERIFY(form->Timer1.isActive()); // the closing window started it again
    form->TaskExit->trigger();
    QVERIFY(form->isShutDown());
    QCOMPARE(env.protocol().back(), std::string("The Vektrin program completed ..."));
}

void MainFormTest::ctrlDeleteAsksBeforeDeleting() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "keep");
    const auto id = addTask(*form, "drop");
    selectTask(*form, id);
    Table& t = form->scheduler().dataCtrl().Table1;
    form->answers = {false};
    QTest::keyClick(form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(form->questions, QStringList{"Delete the task <drop>?"});
    QCOMPARE(t.recordCount(), 2);
    form->answers = {true};
    QTest::keyClick(form->DBGrid1, Qt::Key_Delete); // Delete alone asks too
    QCOMPARE(form->questions.size(), 2);
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(form->DBGrid1->model()->rowCount(), 1);
    QCOMPARE(form->DBGrid1->model()->index(0, 0).data().toString(), QString("keep"));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 0);
}

void MainFormTest::iconAndToolTip() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    QCOMPARE(form->TrayIcon1->iconName(), QString("XICON1"));
    QCOMPARE(form->TrayIcon1->toolTip(), QString("System monitor - Vektrin 2.1"));
    const auto id = addTask(*form, "runner");
    selectTask(*form, id);
    form->RunNowClick();
    QCOMPARE(form->TrayIcon1->iconName(), QString("XICON2"));
    const QImage shown = form->TrayIcon1->icon().pixmap(16).toImage();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, QImage(":/icons/XICON2-16.png").convertToFormat(shown.format()));
    form->InterruptClick();
    QCOMPARE(form->TrayIcon1->iconName(), QString("XICON1"));
    const QString seventy = QString(70, QChar('t'));
    form->setApplicationTitle(seventy.toStdString());
    QCOMPARE(form->TrayIcon1->toolTip(), seventy.left(62));
    QCOMPARE(form->windowTitle(), seventy);
}

void MainFormTest::withoutNotificationAreaTheWindowShowsAndClosingAsks() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    QVERIFY(!form->trayAvailable());
    QVERIFY(form->isVisible());
    QCOMPARE(form->ShowMainForm->text(), QString("Hide main window"));
    // "Show main form" and the icon's double click toggle it.
    form->ShowMainForm->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(form->ShowMainForm->text(), QString("Show main window"));
    form->TrayIcon1DblClick();
    QVERIFY(form->isVisible());
    QCOMPARE(form->ShowMainForm->text(), QString("Hide main window"));
    form->answers = {false};
    QVERIFY(!form->close());
    QCOMPARE(form->questions.size(), 1);
    QVERIFY(form->questions.front().contains("notification area"));
    QVERIFY(!form->isShutDown());
    QCOMPARE(env.protocol().back(), std::string("Waiting of the task scheduling start."));
    form->answers = {true};
    QVERIFY(form->close());
    QVERIFY(form->isShutDown());
    QCOMPARE(env.protocol().back(), std::string("The Vektrin program completed ..."));
    // The exit command and a signal end it without asking.
    UiEnv env2;
    auto second = env2.startForm();
    QVERIFY(second);
    second->closeMainWindow();
    QVERIFY(second->isShutDown());
    QCOMPARE(second->questions.size(), 0);
}

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
