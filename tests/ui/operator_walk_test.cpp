// The windows as an operator meets them: a keyboard walk per window ("key=widget that has the
// focus after it"), underlined letters that never clash, texts that fit per locale and font, a
// wait that reads as a length, and the editors over real table files with vektrinctl as a second
// writer.

#include "../ctl/in_process.h"
#include "editor_test_fixture.h"
#include "reports/report_form.h"
#include "ui/editor_support.h"
#include "ui/editors.h"
#include "ui/output_form.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTest>
#include <QToolButton>

using namespace vektrin;
using namespace vektrin::test;
using Answer = EditorForm::SaveAnswer;

namespace {

// Presses each key ("Tab=Name", "Alt+R=") on the focused widget of the window shown; says where
// the focus was not, and which underlined letters clash.
QStringList walk(QWidget* window, const QString& steps) {
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return {"not active"};
    QStringList wrong;
    for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
        const QKeyCombination key = QKeySequence(step.section('=', 0, 0))[0];
        QWidget* at = QApplication::focusWidget();
        QTest::keyClick(at && at->window() == window ? at : window, key.key(),
                        key.keyboardModifiers());
        const QString want = step.section('=', 1);
        const QString now =
            QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
        if (!want.isEmpty() && now != want) wrong << step + " went to " + now;
    }
    QString letters;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (const auto amp = b->text().indexOf('&'); b->window() == window && amp >= 0) {
            if (letters.contains(b->text()[amp + 1].toLower())) wrong << b->text() + " clashes";
            letters += b->text()[amp + 1].toLower();
        }
    return wrong;
}

// "a b" → "Tab=a Tab=b"; a step with its own key stays as it is.
QString tabs(const QString& names) {
    QStringList steps = names.split(' ');
    for (QString& step : steps)
        if (!step.contains('=')) step.prepend("Tab=");
    return steps.join(' ');
}

std::string secondWriter(EditorWorld& world, std::vector<std::string> args) {
    args.insert(args.begin(), {"--aliases", world.dir.file("aliases.ini")});
    const ProgramOutcome o = runVektrinctl(args);
    return o.exitCode == 0 ? o.out : "failed: " + o.err;
}

} // namespace

class OperatorWalkTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindowAndViewers() {
        UiEnv env;
        auto form = env.startForm();
        QVERIFY(form);
        const auto id = addTask(*form, "a");
        form->DBGrid1->setFocus();
        QStringList wrong = walk(form.get(), "Tab=DBGrid1 Ctrl+Tab=TasksBtn " +
                                                 tabs("ResourcesBtn ExceptionBtn ProtocolBtn "
                                                      "BitBtn1 DBGrid1") +
                                                 " Ctrl+Shift+Backtab=BitBtn1");
        form->DBGrid1->setFocus();
        QTest::keyClick(form->DBGrid1, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(form->PopupMenu1->isVisible());
        form->PopupMenu1->hide();
        form->TimelineClick();
        form->OutputForm->showTask(id, "a");
        for (QWidget* w : std::initializer_list<QWidget*>{form->TimelineForm, form->OutputForm})
            if (wrong += walk(w, "Esc="); w->isVisible()) wrong << w->objectName() + " stays";
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }

    // Every schedule page (kinds 0 to 5), in the order Tab visits its fields.
    void taskEditorOnEveryPage() {
        const QString pages[] = {
            "",
            "EditHourStartTime EditHourEndTime DBEditHourInterval ",
            "DBEditDayStartTime DBEditDayEndTime DBEditDayInterval ",
            "RadioGroupWeekDays2 Down=RadioGroupWeekDays3 Up=RadioGroupWeekDays2 "
            "DBEditWeekStartTime DBEditWeekEndTime DBEditWeekInterval ",
            "EditMonthStartDate DBEditMonthStartTime EditMonthEndDate DBEditMonthEndTime "
            "DBEditMonthInterval ",
            "DBEditYearStartDate DBEditYearStartTime DBEditYaerEndDate DBEditYearEndTime "
            "DBEditYearInterval "};
        for (int kind = 0; kind < 6; ++kind) {
            EditorWorld world;
            world.addTask("t", [kind](TDataCtrl& d) {
                d.Table1Interval.setInteger(kind);
                d.Table1StartDate.setDateTime(Schedule::weekDayDate(2)); // a Wednesday
            });
            auto editor = createTaskEditor(*world.scheduler, nullptr);
            const QStringList wrong =
                walk(editor.get(),
                     tabs("EditApplication EditAppDirectory EditHost ComboBoxInterval "
                          "ComboBoxRunType ComboBoxPriority " +
                          pages[kind] +
                          "CheckBoxStopped DBCheckBoxInterupt DBCheckBox1 "
                          "EditStartCondition EditEndCondition DBCheckBoxCatchUp ListBoxConflicts "
                          "ReportButton ButtonExit EditAppName"));
            QVERIFY2(wrong.isEmpty(), qPrintable(QString::number(kind) + wrong.join('\n')));
        }
    }

    // After "x" is typed and Return pressed on the second of three names: the navigator's key,
    // where the table stands (-1: inserting) and the name it shows. None closes the window.
    void navigatorKeys() {
        for (const QString& row : QString("Ctrl+Home:0:a PgUp:0:a PgDown:2:c Ctrl+End:2:c Ins:-1: "
                                          "Ctrl+Del:1:c Ctrl+Return:1:bx F5:1:bx Esc:1:b")
                                      .split(' ')) {
            EditorWorld world;
            for (const char* n : {"a", "b", "c"})
                world.addTask(n);
            world.dm().Table1.moveTo(1);
            auto editor = createTaskEditor(*world.scheduler, nullptr);
            walk(editor.get(), "End= X= Return= " + row.section(':', 0, 0) + "=");
            const Table& t = world.dm().Table1;
            const int recNo = row.section(':', 1, 1).toInt();
            QVERIFY2(recNo < 0 ? t.state() == Table::State::Insert : t.recNo() == recNo,
                     qPrintable(row));
            QCOMPARE(QString::fromStdString(world.dm().Table1AppName.asString()),
                     row.section(':', 2));
            QVERIFY(editor->isVisible());
        }
    }

    void otherEditorsAndTheirStrip() {
        EditorWorld world;
        world.addResource(1, "printer");
        world.addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(2); });
        for (const auto& [create, order] :
             {std::pair{&createExceptionEditor, "DBEditDayStartTime DBEditDayEndTime ReportButton "
                                                "ButtonExit ComboBoxInterval"},
              {&createResourceEditor,
               "EditResourceName EditMaxWait DBGrid1 ReportButton ButtonExit EditResourceNo"}}) {
            auto dialog = create(*world.scheduler, nullptr);
            auto* editor = static_cast<EditorForm*>(dialog.get());
            int reports = 0;
            editor->showReport = [&reports](ReportForm&) { ++reports; };
            const QStringList wrong = walk(editor, tabs(order) + " Alt+R= Alt+E=");
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
            QVERIFY(reports == 1 && !editor->isVisible());
        }
    }

    // At the main window's first size the titles, a 40-character name and the date and time
    // (AM/PM too) are whole and the status title in view; a wait reads as a length.
    void gridFits_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<int>("points"); // the interface font's size; 0 for the platform's
        for (const char* l : {"en_US.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8"})
            for (int points : {0, 13})
                QTest::addRow("%s, %d pt", l, points) << QByteArray(l) << points;
    }
    void gridFits() {
        QFETCH(QByteArray, locale);
        QFETCH(int, points);
        if (!shortDateFormatOfLocale(locale.constData())) QSKIP("locale not installed");
        const QFont platformFont = QApplication::font();
        QApplication::setFont(points ? QFont(platformFont.family(), points) : platformFont);
        auto restore = qScopeGuard([&] { QApplication::setFont(platformFont); });
        UiEnv env;
        env.regional = RegionalSettings::fromLocale(locale.constData());
        auto form = env.startForm();
        QVERIFY(form && QTest::qWaitForWindowExposed(form.get()));
        addTask(*form, "Nightly backup of the accounting records", [](TDataCtrl& d) {
            d.Table1LastDate.setDateTime(*tryEncodeDate(2026, 12, 28));
            d.Table1LastTime.setDateTime(*tryEncodeTime(23, 58, 58));
        });
        TDBGrid* grid = form->DBGrid1;
        QHeaderView* header = grid->horizontalHeader();
        QStyle* style = grid->style();
        const int margin = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        const int padding = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
        QStringList cut;
        for (int c = 0; c < 4; ++c) {
            const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
            const QString cell = grid->model()->index(0, c).data().toString();
            const int room = c == 3 ? grid->viewport()->width() - header->sectionPosition(c)
                                    : header->sectionSize(c);
            // The status title is left-aligned: its margin on the left alone.
            if (header->fontMetrics().horizontalAdvance(title) +
                    (c == 3 ? margin / 2 + 1 : margin) >
                room)
                cut << title;
            if (c < 3 && grid->fontMetrics().horizontalAdvance(cell) + padding > room) cut << cell;
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));

        TDataCtrl& d = form->scheduler().dataCtrl();
        d.Table2.append();
        d.Table2ResourceNo.setInteger(1);
        d.Table2MaxWait.setDateTime(*tryEncodeTime(0, 10, 0));
        d.Table2.post();
        auto editor = createResourceEditor(form->scheduler(), form.get());
        QCOMPARE(editor->findChild<QLineEdit*>("EditMaxWait")->text(), QString("00:10:00"));
        QCOMPARE(editor->findChild<DBGrid*>("DBGrid1")->cellText(0, 2), QString("00:10:00"));
    }

    // A name confirmed with Return, then the window's close: the answer, and what the file
    // holds for another program after the window has gone. An untouched record asks nothing.
    void closingAsksBeforeStoring_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("stored");
        QTest::newRow("yes") << Answer::Yes << "\tx\t";
        QTest::newRow("no") << Answer::No << "\told\t";
        QTest::newRow("cancel keeps the window, then closing drops") << Answer::Cancel << "\told\t";
    }
    void closingAsksBeforeStoring() {
        QFETCH(Answer, answer);
        QFETCH(QString, stored);
        EditorWorld world;
        world.addTask("old");
        for (const bool changed : {true, false}) {
            auto dialog = createTaskEditor(*world.scheduler, nullptr);
            auto* editor = static_cast<EditorForm*>(dialog.get());
            int asked = 0;
            editor->askSave = [&] { return ++asked, answer; };
            walk(editor, changed ? "Ctrl+A= X= Return=" : "");
            editor->close();
            QCOMPARE(asked, changed ? 1 : 0);
            QCOMPARE(editor->isVisible(), changed && answer == Answer::Cancel);
            editor->reject();
        }
        const std::string listed = secondWriter(world, {"tasks"});
        QVERIFY2(QString::fromStdString(listed).contains(stored), listed.c_str());
    }

    void anEditorShowsWhatAnotherWriterAdded() {
        EditorWorld world;
        world.addTask("first");
        world.addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(0); });
        secondWriter(world, {"silence", "add", "--daily", "--from", "12:00", "--to", "13:00"});
        secondWriter(world, {"add", "second", "--command", "true"});
        auto silence = createExceptionEditor(*world.scheduler, nullptr);
        auto tasks = createTaskEditor(*world.scheduler, nullptr);
        QCOMPARE(world.dm().Table3.recordCount() + world.dm().Table1.recordCount(), 4);
    }

    // A kind chosen for a new record in either editor opens the window `add` opens for it.
    void editorsOpenTheWindowAddOpens() {
        for (const bool silence : {false, true})
            for (const auto& [kind, option] : {std::pair{1, "--hourly"}, {2, "--daily"}}) {
                EditorWorld world;
                const std::string added =
                    secondWriter(world, silence ? std::vector<std::string>{"silence", "add", option}
                                                : std::vector<std::string>{"add", "t", "--command",
                                                                           "true", option});
                QVERIFY2(added.rfind("failed", 0) == std::string::npos, added.c_str());
                auto editor = silence ? createExceptionEditor(*world.scheduler, nullptr)
                                      : createTaskEditor(*world.scheduler, nullptr);
                editor->show();
                editor->findChild<QToolButton*>("Insert")->click();
                auto* combo = editor->findChild<QComboBox*>("ComboBoxInterval");
                combo->setCurrentIndex(kind);
                emit combo->activated(kind);
                editor->findChild<QPushButton*>("ButtonExit")->click();
                Table& t = silence ? world.dm().Table3 : world.dm().Table1;
                const ScheduleColumns c = silence ? ScheduleColumns::ofSilence(world.dm())
                                                  : ScheduleColumns::ofTasks(world.dm());
                t.first();
                const Schedule byAdd = Schedule::read(c);
                t.last();
                QCOMPARE(t.recordCount(), 2);
                QCOMPARE(Schedule::read(c), byAdd);
            }
    }
};

QTEST_MAIN(OperatorWalkTest)
#include "operator_walk_test.moc"
