// Message boxes and the protocol viewer on a real X server (xvfb-run), where boxes are shown
// instead of written to standard error: a box opens over the window that raised it, and the
// viewer opens centred on the screen.

#include "engine/protocol_file.h"
#include "ui/editors.h"
#include "ui/protocol_form.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

namespace {

// Over which window a box opened: its parent's name, and whether the box's centre lies in the
// middle third of that window (a box is placed before its last resize, so not exactly centred).
QString placement(QWidget* box) {
    QWidget* parent = box->parentWidget() ? box->parentWidget()->window() : nullptr;
    if (!parent) return "no parent";
    const QRect area = parent->frameGeometry();
    const QRect middle(area.x() + area.width() / 3, area.y() + area.height() / 3, area.width() / 3,
                       area.height() / 3);
    return parent->objectName() +
           (middle.contains(box->frameGeometry().center()) ? " over it" : " elsewhere");
}

void closeBox(QWidget* box) {
    static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
}

} // namespace

class BoxesTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QString("xcb")); }
    void boxOpensOverTheWindowThatRaisedIt();
    void aLaunchErrorBoxHoldsNoPass();
};

void BoxesTest::boxOpensOverTheWindowThatRaisedIt() {
    UiEnv env;
    TMainForm form(env.platform());
    QCOMPARE(form.start(), -1);
    form.Timer1.stop();
    form.move(0, 0); // far from the screen's centre, where a box without a parent would go
    addTask(form, "hourly", [](TDataCtrl& d) { d.Table1Interval.setInteger(1); });
    QStringList seen;

    // The task editor: a letter in a minute edit.
    onNextModal([&](QWidget* editor) {
        onNextModal([&](QWidget* box) {
            seen << placement(box);
            closeBox(box);
        });
        auto* minute = editor->findChild<QLineEdit*>("EditHourStartTime");
        minute->setFocus();
        QTest::keyClick(minute, Qt::Key_X);
        static_cast<QDialog*>(editor)->reject();
    });
    form.TaskParametersClick();

    // The protocol viewer: a clearing that fails.
    setRewriteStepHook([](RewriteStep step) {
        if (step == RewriteStep::LinesCopied) throw std::runtime_error("disk full");
    });
    onNextModal([&](QWidget* viewer) {
        const QPoint off = viewer->frameGeometry().center() -
                           QGuiApplication::primaryScreen()->availableGeometry().center();
        seen << (off.manhattanLength() <= 8 ? "viewer centred" : "viewer off centre");
        onNextModal([&](QWidget* box) {
            seen << placement(box);
            closeBox(box);
        });
        static_cast<TProtocolForm*>(viewer)->ClearButton->click();
        static_cast<QDialog*>(viewer)->reject();
    });
    form.ProtocolBtnClick();
    setRewriteStepHook({});

    QCOMPARE(seen, (QStringList{"TParamForm over it", "viewer centred", "ProtocolForm over it"}));
}

// Nobody answers the box of a missing program: every later minute still gets its pass, and the
// box, one for the task, counts the repeats.
void BoxesTest::aLaunchErrorBoxHoldsNoPass() {
    UiEnv env;
    TMainForm form(env.platform());
    QCOMPARE(form.start(), -1);
    form.Timer1.stop();
    for (const char* name : {"missing", "pulse"})
        addTask(form, name, [](TDataCtrl& d) { d.Table1Interval.setInteger(0); });
    std::vector<std::string> launched;
    env.processes.onLaunch = [&] {
        const std::string& command = env.processes.launches.back().commandLine;
        launched.push_back(command);
        if (command == "prog-missing") env.processes.nextFailure = LaunchFailure::ProgramNotFound;
    };
    for (int minute = 1; minute <= 3; ++minute) {
        env.clock.set(2026, 12, 9, 17, minute, 1);
        form.scheduler().Timer2Timer();
        for (auto& [handle, process] : env.processes.procs)
            process.state = ExitState::Exited;
        form.scheduler().Timer1Timer();
    }
    QCOMPARE(static_cast<int>(launched.size()), 6);
    const auto openBoxes = [] {
        QList<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) boxes << box;
        return boxes;
    };
    const QList<QMessageBox*> boxes = openBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.front()->text(), QString("Program not found\n\n3 times since 17:01"));
    closeBox(boxes.front());
    QTRY_VERIFY(openBoxes().isEmpty());
}

QTEST_MAIN(BoxesTest)
#include "boxes_xvfb_test.moc"
