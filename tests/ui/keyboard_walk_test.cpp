// Every window from the keyboard alone: per window a table of keys and where the focus is, or
// what happened, after each; and no two buttons of a window share their underlined letter.

#include "editor_test_fixture.h"
#include "reports/report_form.h"
#include "ui/editor_support.h"
#include "ui/editors.h"
#include "ui/output_form.h"
#include "ui/protocol_form.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QAbstractButton>
#include <QMenu>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

namespace {

// A key and the object name of the widget that has the focus after it ("" when only its
// effect counts).
struct Step {
    QKeyCombination key;
    const char* focus = "";
};
constexpr QKeyCombination Tab(Qt::Key_Tab);

// Presses each key on the focused widget and notes where the focus went wrong.
QStringList walk(QWidget* window, const std::vector<Step>& steps) {
    QStringList problems;
    for (const Step& s : steps) {
        QWidget* at = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keyClick(at, s.key.key(), s.key.keyboardModifiers());
        const QString now = QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                        : QStringLiteral("nothing");
        if (*s.focus && now != QLatin1String(s.focus))
            problems << QKeySequence(s.key).toString() + " from " + at->objectName() + ": " + now +
                            " instead of " + s.focus;
    }
    return problems;
}

// The underlined letter of every button of the window, each once.
QStringList mnemonicClashes(QWidget* window) {
    QStringList problems;
    QString seen;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->window() != window) continue;
        const qsizetype amp = b->text().indexOf('&');
        if (amp < 0 || amp + 1 >= b->text().size()) continue;
        const QChar letter = b->text()[amp + 1].toLower();
        if (seen.contains(letter)) problems << b->objectName() + " repeats " + letter;
        seen += letter;
    }
    return problems;
}

void shown(QWidget* window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class KeyboardWalkTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindow();
    void taskEditorOnEveryPage_data();
    void taskEditorOnEveryPage();
    void navigatorKeys_data();
    void navigatorKeys();
    void otherEditorsAndTheirStrip();
    void viewersCloseOnEsc();
};

void KeyboardWalkTest::mainWindow() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    for (const char* name : {"a", "b"})
        addTask(*form, name);
    form->ShowMainFormClick();
    shown(form.get());
    form->DBGrid1->setFocus();
    const QStringList problems =
        walk(form.get(), {{Tab, "DBGrid1"},
                          {Qt::CTRL | Qt::Key_Tab, "TasksBtn"},
                          {Tab, "ResourcesBtn"},
                          {Tab, "ExceptionBtn"},
                          {Tab, "ProtocolBtn"},
                          {Tab, "BitBtn1"},
                          {Tab, "DBGrid1"},
                          {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, "BitBtn1"},
                          {Qt::SHIFT | Qt::Key_Backtab, "ProtocolBtn"}});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QVERIFY2(mnemonicClashes(form.get()).isEmpty(),
             qPrintable(mnemonicClashes(form.get()).join('\n')));
    form->DBGrid1->setFocus();
    QTest::keyClick(form->DBGrid1, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(form->PopupMenu1->isVisible());
    form->PopupMenu1->hide();
}

// The fields of each schedule page, in the order Tab visits them.
void KeyboardWalkTest::taskEditorOnEveryPage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("page");
    QTest::newRow("every minute") << 0 << QStringList{};
    QTest::newRow("every hour") << 1
                                << QStringList{"EditHourStartTime", "EditHourEndTime",
                                               "DBEditHourInterval"};
    QTest::newRow("everyday") << 2
                              << QStringList{"DBEditDayStartTime", "DBEditDayEndTime",
                                             "DBEditDayInterval"};
    QTest::newRow("weekly") << 3
                            << QStringList{"RadioGroupWeekDays0", "DBEditWeekStartTime",
                                           "DBEditWeekEndTime", "DBEditWeekInterval"};
    QTest::newRow("every month") << 4
                                 << QStringList{"EditMonthStartDate", "DBEditMonthStartTime",
                                                "EditMonthEndDate", "DBEditMonthEndTime",
                                                "DBEditMonthInterval"};
    QTest::newRow("every year") << 5
                                << QStringList{"DBEditYearStartDate", "DBEditYearStartTime",
                                               "DBEditYaerEndDate", "DBEditYearEndTime",
                                               "DBEditYearInterval"};
}

void KeyboardWalkTest::taskEditorOnEveryPage() {
    QFETCH(int, kind);
    QFETCH(QStringList, page);
    EditorWorld world;
    world.addTask("t", [kind](TDataCtrl& d) {
        d.Table1Interval.setInteger(kind);
        d.Table1StartDate.setDateTime(*tryEncodeDate(1, 1, 3));
    });
    auto editor = createTaskEditor(*world.scheduler, nullptr);
    shown(editor.get());
    QStringList order = QStringList{"EditApplication", "EditAppDirectory", "ComboBoxInterval",
                                    "ComboBoxRunType", "ComboBoxPriority"} +
                        page +
                        QStringList{"CheckBoxStopped",    "DBCheckBoxInterupt", "DBCheckBox1",
                                    "EditStartCondition", "EditEndCondition",   "ListBoxConflicts",
                                    "ReportButton",       "ButtonExit",         "EditAppName"};
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("EditAppName"));
    std::vector<Step> steps;
    std::vector<QByteArray> names;
    for (const QString& name : order)
        names.push_back(name.toLatin1());
    for (const QByteArray& name : names)
        steps.push_back({Tab, name.constData()});
    const QStringList problems = walk(editor.get(), steps);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    editor->reject();
}

// From the second of three tasks, with the focus in the name edit: the key and where the table
// stands after it.
void KeyboardWalkTest::navigatorKeys_data() {
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("first") << (Qt::CTRL | Qt::Key_Home) << 0 << 3 << "a";
    QTest::newRow("prior") << QKeyCombination(Qt::Key_PageUp) << 0 << 3 << "a";
    QTest::newRow("next") << QKeyCombination(Qt::Key_PageDown) << 2 << 3 << "c";
    QTest::newRow("last") << (Qt::CTRL | Qt::Key_End) << 2 << 3 << "c";
    QTest::newRow("insert") << QKeyCombination(Qt::Key_Insert) << -1 << 3 << "";
    QTest::newRow("delete") << (Qt::CTRL | Qt::Key_Delete) << 1 << 2 << "c";
    QTest::newRow("post stores the typed name") << (Qt::CTRL | Qt::Key_Return) << 1 << 3 << "bx";
    QTest::newRow("Esc takes back the typed text, then the record's change")
        << QKeyCombination(Qt::Key_Escape) << 1 << 3 << "b";
    QTest::newRow("refresh stores first") << QKeyCombination(Qt::Key_F5) << 1 << 3 << "bx";
}

void KeyboardWalkTest::navigatorKeys() {
    QFETCH(QKeyCombination, key);
    QFETCH(int, recNo);
    QFETCH(int, records);
    QFETCH(QString, nameAfter);
    EditorWorld world;
    for (const char* name : {"a", "b", "c"})
        world.addTask(name);
    world.dm().Table1.moveTo(1);
    auto editor = createTaskEditor(*world.scheduler, nullptr);
    shown(editor.get());
    auto* name = editor->findChild<QLineEdit*>("EditAppName");
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClick(name, 'x');
    // The record's own change goes with the first Esc only once the edit's text is in it.
    if (key == QKeyCombination(Qt::Key_Escape)) QTest::keyClick(name, Qt::Key_Return);
    QTest::keyClick(name, key.key(), key.keyboardModifiers());
    if (key == QKeyCombination(Qt::Key_Escape))
        QCOMPARE(world.dm().Table1.state(), Table::State::Browse);
    if (recNo < 0)
        QCOMPARE(world.dm().Table1.state(), Table::State::Insert);
    else
        QCOMPARE(world.dm().Table1.recNo(), recNo);
    QCOMPARE(world.dm().Table1.recordCount(), records);
    QCOMPARE(QString::fromStdString(world.dm().Table1AppName.asString()), nameAfter);
    QVERIFY(editor->isVisible()); // no key of the navigator closes the window
    editor->reject();
}

void KeyboardWalkTest::otherEditorsAndTheirStrip() {
    EditorWorld world;
    world.addResource(1, "printer");
    world.addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(2); });
    const struct {
        std::unique_ptr<QDialog> (*create)(Scheduler&, QWidget*);
        std::vector<Step> steps;
    } editors[] = {
        {createExceptionEditor,
         {{Tab, "DBEditDayStartTime"},
          {Tab, "DBEditDayEndTime"},
          {Tab, "ReportButton"},
          {Tab, "ButtonExit"},
          {Tab, "ComboBoxInterval"}}},
        {createResourceEditor,
         {{Tab, "EditResourceName"},
          {Tab, "EditMaxWait"},
          {Tab, "DBGrid1"},
          {Tab, "ReportButton"},
          {Tab, "ButtonExit"},
          {Tab, "EditResourceNo"}}},
    };
    for (const auto& e : editors) {
        auto dialog = e.create(*world.scheduler, nullptr);
        auto* editor = static_cast<EditorForm*>(dialog.get());
        int reports = 0;
        editor->showReport = [&reports](ReportForm&) { ++reports; };
        shown(editor);
        const QStringList problems = walk(editor, e.steps) + mnemonicClashes(editor);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(reports, 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
        QVERIFY(!editor->isVisible());
    }
}

void KeyboardWalkTest::viewersCloseOnEsc() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto id = addTask(*form, "t");
    form->TimelineClick();
    form->OutputForm->showTask(id, "t");
    for (QWidget* w : std::initializer_list<QWidget*>{form->TimelineForm, form->OutputForm}) {
        shown(w);
        QVERIFY2(mnemonicClashes(w).isEmpty(), qPrintable(mnemonicClashes(w).join('\n')));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w,
                        Qt::Key_Escape);
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }
    const QStringList problems = walk(form->TimelineForm, {}) + mnemonicClashes(form->ProtocolForm);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_MAIN(KeyboardWalkTest)
#include "keyboard_walk_test.moc"
