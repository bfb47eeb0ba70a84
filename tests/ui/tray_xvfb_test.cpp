// The tray icon in a real notification area: an X server from xvfb-run and trayer as the tray
// host. The icon docks and switches, its tool tip is cut, a double click toggles the main window,
// and the tray menu stays usable while an editor or the viewer is open, with their items disabled.
// A second start of the real program brings the running one's window forward.

#include "support/run_program.h"
#include "support/temp_dir.h"
#include "ui/editors.h"
#include "ui/output_form.h"
#include "ui/protocol_form.h"
#include "ui/tray_icon.h"
#include "ui_fixture.h"

#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <csignal>
#include <sys/stat.h>

using namespace vektrin;
using namespace vektrin::test;

namespace {

QWidget* trayWidget() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys") return w;
    return nullptr;
}

// Pixels of the icon's green "running" sector in what the screen shows at the tray icon (asked
// each time: the tray host may still be placing it).
int greenPixels(QSystemTrayIcon* icon) {
    const QRect area = icon->geometry();
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage();
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            n += c.green() > 140 && c.red() < 120 && c.blue() < 120;
        }
    return n;
}

// Clicks go to the widget's window as the X server's would, so a modal window that blocks it
// swallows them.
void click(QWidget* widget, Qt::MouseButton button, QPoint at) {
    QWindow* window = widget->window()->windowHandle();
    QTest::mouseClick(window, button, {}, window->mapFromGlobal(widget->mapToGlobal(at)));
}

// A few tries, as a busy X server may be slow to show the window it was just asked for; a modal
// window that blocks the icon blocks every try.
QMenu* openTrayMenu() {
    QWidget* sys = trayWidget();
    for (int attempt = 0; attempt < 3; ++attempt) {
        click(sys, Qt::RightButton, sys->rect().center());
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && menu->isVisible()) return menu;
        QTest::qWait(200);
    }
    return nullptr;
}

void chooseFromMenu(QMenu* menu, QAction* item) {
    click(menu, Qt::LeftButton, menu->actionGeometry(item).center());
}

QString enabledItems(TMainForm& form) {
    QString s;
    for (auto w : {PauseWindow::Tasks, PauseWindow::ResourcesEdit, PauseWindow::ConflictsEdit,
                   PauseWindow::ProtocolShow})
        s += form.trayItem(w)->isEnabled() ? '1' : '0';
    return s;
}

// Whether a window of the process that shows the scheduler's title is mapped.
bool windowShown(pid_t pid) {
    const auto x11 = makeX11WindowSystem();
    for (WindowId w : x11->topLevelWindows())
        if (x11->processId(w) == static_cast<std::uint32_t>(pid) &&
            x11->title(w).starts_with("System monitor") && x11->isVisible(w))
            return true;
    return false;
}

} // namespace

class TrayTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void iconDocksAndSwitches();
    void toolTipIsCut();
    void doubleClickTogglesTheMainWindow();
    void menuItemsAreDisabledWhileTheirWindowIsOpen();
    void menuStaysUsableWhileAReportPreviewIsOpen();
    void rightClickWhileANotificationShowsOpensTheMenu();
    void aSecondStartBringsTheRunningWindowForward();

  private:
    QProcess trayer_;
    UiEnv env_;
    std::unique_ptr<TestForm> form_;
};

void TrayTest::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    trayer_.start(VEKTRIN_TRAYER,
                  {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                   "--transparent", "false", "--tint", "0xffffff"});
    QVERIFY(trayer_.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 15000);
    form_ = env_.startForm();
    QVERIFY(form_);
    QVERIFY(form_->trayAvailable());
    // With a notification area the main window starts hidden.
    QVERIFY(!form_->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(trayWidget() && trayWidget()->isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!form_->TrayIcon1->geometry().isEmpty(), 10000);
}

void TrayTest::cleanupTestCase() {
    form_.reset();
    trayer_.terminate();
    trayer_.waitForFinished(5000);
}

void TrayTest::iconDocksAndSwitches() {
    QTRY_VERIFY(form_->TrayIcon1->geometry().width() >= 16);
    QVERIFY(form_->TrayIcon1->geometry().height() >= 16);
    TTrayIcon* const area = form_->TrayIcon1;
    QCOMPARE(form_->TrayIcon1->iconName(), QString("XICON1"));
    QTRY_COMPARE(greenPixels(area), 0);
    const auto id = addTask(*form_, "runner");
    selectTask(*form_, id);
    form_->RunNowClick(); // a task runs: the scheduler sets XICON2
    QCOMPARE(form_->TrayIcon1->iconName(), QString("XICON2"));
    QTRY_VERIFY_WITH_TIMEOUT(greenPixels(area) > 4, 5000);
    form_->InterruptClick(); // none runs any more: XICON1
    QCOMPARE(form_->TrayIcon1->iconName(), QString("XICON1"));
    QTRY_COMPARE_WITH_TIMEOUT(greenPixels(area), 0, 5000);
}

void TrayTest::toolTipIsCut() {
    QCOMPARE(trayWidget()->toolTip(), QString("System monitor - Vektrin 2.1"));
    const QString seventy =
        "System monitor - Vektrin 2.1 with a title far longer than the area keeps";
    QVERIFY(seventy.size() > 62);
    form_->setApplicationTitle(seventy.toStdString());
    QCOMPARE(trayWidget()->toolTip(), seventy.left(62));
    form_->setApplicationTitle("System monitor - Vektrin 2.1");
}

void TrayTest::doubleClickTogglesTheMainWindow() {
    QWidget* sys = trayWidget();
    QVERIFY(!form_->isVisible());
    QTest::mouseDClick(sys, Qt::LeftButton, {}, sys->rect().center());
    QTRY_VERIFY(form_->isVisible());
    QCOMPARE(form_->ShowMainForm->text(), QString("Hide main window"));
    QTest::mouseDClick(sys, Qt::LeftButton, {}, sys->rect().center());
    QTRY_VERIFY(!form_->isVisible());
    QCOMPARE(form_->ShowMainForm->text(), QString("Show main window"));
}

void TrayTest::menuItemsAreDisabledWhileTheirWindowIsOpen() {
    form_->setEditorFactory(PauseWindow::Tasks, fakeEditor());
    const auto none = [](Scheduler&, QWidget*) { return std::unique_ptr<QDialog>(); };
    form_->setEditorFactory(PauseWindow::ResourcesEdit, none);
    form_->setEditorFactory(PauseWindow::ConflictsEdit, none);
    QMenu* menu = openTrayMenu();
    QVERIFY(menu);
    QCOMPARE(menu, form_->PopupMenu2.get());
    QCOMPARE(enabledItems(*form_), QString("1001")); // only the task editor exists here
    QStringList seen;
    onNextModal([&](QWidget* editor) {
        // The editor blocks the main window, not the tray.
        QMenu* inner = openTrayMenu();
        seen << (inner ? enabledItems(*form_) : QString("no menu"));
        onNextModal([&](QWidget* viewer) {
            QMenu* third = openTrayMenu();
            seen << (third ? enabledItems(*form_) : QString("no menu"));
            if (third) third->hide();
            // Exit from the tray is refused while both are open.
            form_->TaskExit->trigger();
            seen << QString::fromStdString(form_->messages.empty() ? "" : form_->messages.back());
            static_cast<QDialog*>(viewer)->reject();
        });
        if (inner) chooseFromMenu(inner, form_->ProtocolShow);
        static_cast<QDialog*>(editor)->reject();
    });
    chooseFromMenu(menu, form_->Tasks);
    QTRY_COMPARE(seen.size(), 3);
    QCOMPARE(seen, (QStringList{"0001", "0000", "Close 'Tasks' form before exit"}));
    QCOMPARE(enabledItems(*form_), QString("1001"));
    QVERIFY(!form_->isShutDown());
}

void TrayTest::menuStaysUsableWhileAReportPreviewIsOpen() {
    form_->setEditorFactory(PauseWindow::Tasks, createTaskEditor);
    form_->setEditorFactory(PauseWindow::ResourcesEdit, createResourceEditor);
    form_->setEditorFactory(PauseWindow::ConflictsEdit, createExceptionEditor);
    addTask(*form_, "reported");
    QStringList seen;
    onNextModal([&](QWidget* editor) {
        onNextModal([&](QWidget* preview) {
            // The preview blocks its editor (and the main window), not the tray.
            QMenu* menu = openTrayMenu();
            seen << (menu ? enabledItems(*form_) : QString("no menu"));
            if (menu) chooseFromMenu(menu, form_->TaskExit);
            seen << QString::fromStdString(form_->messages.empty() ? "" : form_->messages.back());
            static_cast<QDialog*>(preview)->reject();
        });
        editor->findChild<QPushButton*>("ReportButton")->click();
        static_cast<QDialog*>(editor)->reject();
    });
    form_->TaskParametersClick();
    QCOMPARE(seen, (QStringList{"0111", "Close 'Tasks' form before exit"}));
    QVERIFY(!form_->isShutDown());
}

// The right button on the icon is not a click on the notification: the menu opens and stays, and
// no output viewer comes up over it.
void TrayTest::rightClickWhileANotificationShowsOpensTheMenu() {
    const auto id = addTask(*form_, "failing");
    form_->notifyFailure({static_cast<std::int32_t>(id), "failing", "Completed with code 1", ""});
    const auto balloon = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (QByteArray(w->metaObject()->className()) == "QBalloonTip" && w->isVisible())
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(balloon(), 5000);
    QMenu* menu = openTrayMenu();
    QVERIFY(menu);
    QTest::qWait(300);
    QVERIFY(menu->isVisible());
    QVERIFY(!form_->OutputForm->isVisible());
    menu->hide();
}

void TrayTest::aSecondStartBringsTheRunningWindowForward() {
    TempDir dir;
    for (const char* sub : {"/tables", "/work", "/run"})
        QVERIFY(mkdir((dir.path() + sub).c_str(), 0700) == 0);
    writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.path() + "/tables\n");
    const std::string display = "DISPLAY=" + qgetenv("DISPLAY").toStdString();
    const std::vector<std::string> environment{display,
                                               "QT_QPA_PLATFORM=xcb",
                                               "LC_ALL=C.UTF-8",
                                               "HOME=" + dir.path(),
                                               "DBUS_SESSION_BUS_ADDRESS=disabled:",
                                               "XDG_RUNTIME_DIR=" + dir.path() + "/run",
                                               "VEKTRIN_ALIASES=" + dir.file("aliases.ini")};
    const ProgramPlaces places{"", "", dir.file("first.err"), dir.path() + "/work"};
    const pid_t first = startProgram(VEKTRIN_PROGRAM, {}, environment, places);
    QVERIFY(first > 0);
    QTRY_VERIFY_WITH_TIMEOUT(runProgram(VEKTRIN_CTL, {"status"}, environment).exitCode == 0, 15000);
    // With the notification area the running one starts hidden.
    QVERIFY(!windowShown(first));
    const std::string runs = "Vektrin runs already (PID " + std::to_string(first) + ") ";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
        bool shown;
    } starts[] = {
        {{"--headless"}, 1, runs, false}, // no window to bring: it says which one runs
        {{}, 0, "", true},
        {{}, 0, "", true}, // in front already: still no refusal
    };
    for (const auto& start : starts) {
        const ProgramOutcome second = runProgram(VEKTRIN_PROGRAM, start.args, environment);
        QCOMPARE(second.exitCode, start.status);
        QVERIFY2(start.said.empty() ? second.err.empty()
                                    : second.err.find(start.said) != std::string::npos,
                 second.err.c_str());
        QTRY_COMPARE_WITH_TIMEOUT(windowShown(first), start.shown, 5000);
    }
    kill(first, SIGTERM);
    QCOMPARE(waitProgram(first), 0);
}

QTEST_MAIN(TrayTest)
#include "tray_xvfb_test.moc"
