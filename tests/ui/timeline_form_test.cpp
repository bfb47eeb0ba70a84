// The timeline window over a real main window and tables: opened from the tray and the grid menu
// without pausing the scheduler, showing the chart, a click on a lane selecting that task in the
// grid (but not while an editor has the table), the period, saving and printing.

#include "engine/pass_history.h"
#include "engine/timeline_svg.h"
#include "platform/strings.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSvgRenderer>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

namespace {

using Page = timeline::SvgPage;

// Daily at the given time.
std::int32_t addDaily(TMainForm& form, const std::string& name, int hour, int minute,
                      bool stopped = false) {
    return addTask(form, name, [&](TDataCtrl& d) {
        d.Table1StartTime.setDateTime(*tryEncodeTime(hour, minute, 0));
        d.Table1EndTime.setDateTime(*tryEncodeTime(hour, minute, 0));
        d.Table1Stopped.setBoolean(stopped);
    });
}

// The middle of a lane's row, in the view's coordinates.
QPoint laneCentre(const TTimelineForm& f, int lane) {
    const timeline::SvgLayout& l = f.View->layout();
    const double y = l.pitch() * (lane / l.lanesPerSection) + Page::LaneTop +
                     l.laneHeight * (lane % l.lanesPerSection + 0.5);
    return QPoint(static_cast<int>((Page::PlotLeft + 40) * f.View->scale()),
                  static_cast<int>(y * f.View->scale()));
}

std::int64_t currentAppId(TMainForm& form) {
    return form.scheduler().dataCtrl().Table1AppID.asInteger();
}

} // namespace

class TimelineFormTest : public QObject {
    Q_OBJECT
  private slots:
    void opensWithoutPausingAndShowsTheChart();
    void aClickOnALaneSelectsItsTaskInTheGrid();
    void noSelectionWhileAnEditorHasTheTable();
    void periodSavingAndPrinting();
};

void TimelineFormTest::opensWithoutPausingAndShowsTheChart() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addDaily(*form, "evening <report>", 18, 0);
    addDaily(*form, "morning", 11, 0);
    addDaily(*form, "suspended", 12, 0, true);
    form->Timer1.start();
    const std::size_t lines = env.protocol().size();

    form->TimelineShow->trigger();
    TTimelineForm* f = form->TimelineForm;
    QVERIFY(f);
    QVERIFY(f->isVisible());
    QVERIFY(!f->isModal());
    // Only reading: the passes go on, nothing is written to the protocol.
    QVERIFY(form->Timer1.isActive());
    QCOMPARE(env.protocol().size(), lines);

    QCOMPARE(f->View->pageCount(), 1);
    QVERIFY(f->View->pageRenderer(0)->isValid());
    QCOMPARE(f->model().lanes.size(), std::size_t(2));
    QCOMPARE(f->model().period.end - f->model().period.begin, timeline::Minute(24 * 60));
    const QString svg = QString::fromStdString(f->svg());
    QVERIFY(svg.contains("evening &lt;report&gt;"));
    QVERIFY(!svg.contains("suspended"));
    // Hovering a launch shows its moment, the rest of its lane the task, as the document's
    // tool tips do; at every width the chart fills the window and its text stays as large as the
    // interface's.
    int lane = 0;
    while (f->model().tables.tasks[f->model().lanes[lane].task].name != "evening <report>")
        ++lane;
    for (const int width : {1280, 1900}) {
        f->resize(width, 800);
        QApplication::processEvents();
        QCOMPARE(f->View->width(), f->findChild<QScrollArea*>()->viewport()->width());
        QVERIFY(f->View->scale() * Page::FontSize >= QFontInfo(f->font()).pixelSize());
        const timeline::Period& period = f->model().period;
        const timeline::Minute evening = period.begin / 1440 * 1440 + 18 * 60;
        const int launchX =
            static_cast<int>(timeline::xOf(period, evening, f->View->layout()) * f->View->scale());
        const QPoint centre = laneCentre(*f, lane);
        QVERIFY2(f->View->tipAt({launchX, centre.y()}).contains("18:00"),
                 qPrintable(f->View->tipAt({launchX, centre.y()})));
        QCOMPARE(f->View->tipAt({launchX - 60, centre.y()}), QString("evening <report>"));
    }

    // A launch made up after a gap between passes: a mark at the pass that ended the gap, where
    // the chart now begins, its tooltip naming the moment missed.
    const std::int64_t now = PassHistory::minuteOf(form->scheduler().clock().now());
    const DateTime missed = PassHistory::minuteStart(now - 120);
    addTask(*form, "catching up", [&](TDataCtrl& d) {
        d.Table1StartTime.setDateTime(timePart(missed));
        d.Table1EndTime.setDateTime(timePart(missed));
        d.Table1CatchUp.setBoolean(true);
    });
    f->setGapSource([&](DateTime) { return TTimelineForm::Gaps{{{now - 180, now - 60}}, 7}; });
    QVERIFY(f->refresh());
    QCOMPARE(f->model().period.begin, now - 60);
    lane = 0;
    while (f->model().tables.tasks[f->model().lanes[lane].task].name != "catching up")
        ++lane;
    const QString tip = f->View->tipAt(
        {static_cast<int>(Page::PlotLeft * f->View->scale()), laneCentre(*f, lane).y()});
    QVERIFY2(tip.startsWith("Made-up launch of the missed "), qPrintable(tip));

    // The grid menu opens the same window again, read anew.
    addDaily(*form, "later", 19, 0);
    form->Timeline->trigger();
    QCOMPARE(form->TimelineForm, f);
    QCOMPARE(f->model().lanes.size(), std::size_t(4));
}

void TimelineFormTest::aClickOnALaneSelectsItsTaskInTheGrid() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto late = addDaily(*form, "late", 20, 0);
    const auto early = addDaily(*form, "early", 11, 0);
    selectTask(*form, late);
    form->ShowMainFormClick();
    form->TimelineClick();
    TTimelineForm* f = form->TimelineForm;
    QVERIFY(QTest::qWaitForWindowExposed(f));
    // Lanes by first launch: early (11:00) above late (20:00).
    QTest::mouseClick(f->View, Qt::LeftButton, {}, laneCentre(*f, 0));
    QCOMPARE(currentAppId(*form), std::int64_t(early));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 1);
    QTest::mouseClick(f->View, Qt::LeftButton, {}, laneCentre(*f, 1));
    QCOMPARE(currentAppId(*form), std::int64_t(late));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 0);
    // Below the last lane there is none to choose.
    QTest::mouseClick(f->View, Qt::LeftButton, {}, laneCentre(*f, 5));
    QCOMPARE(currentAppId(*form), std::int64_t(late));

    // A task deleted since the chart was drawn is not found, and the grid stays.
    const timeline::Task early0 = f->model().tables.tasks[f->model().lanes[0].task];
    selectTask(*form, early);
    form->scheduler().dataCtrl().Table1.deleteRecord();
    selectTask(*form, late);
    QVERIFY(!form->selectTimelineTask(early0.record, early0.appId));
    QCOMPARE(currentAppId(*form), std::int64_t(late));
}

void TimelineFormTest::noSelectionWhileAnEditorHasTheTable() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto a = addDaily(*form, "a", 9, 0);
    const auto b = addDaily(*form, "b", 10, 0);
    form->setEditorFactory(PauseWindow::Tasks, fakeEditor());
    form->TimelineClick();
    TTimelineForm* f = form->TimelineForm;
    const timeline::Task first = f->model().tables.tasks[f->model().lanes[0].task];
    QCOMPARE(first.appId, std::int64_t(a));
    selectTask(*form, b);

    bool selected = true;
    bool refreshed = true;
    onNextModal([&](QWidget* editor) {
        selected = form->selectTimelineTask(first.record, first.appId);
        // The editor's record is being changed: the chart waits for it.
        TDataCtrl& d = form->scheduler().dataCtrl();
        d.Table1.edit();
        refreshed = f->refresh();
        d.Table1.cancel();
        // So is a silence period being added in its editor.
        d.Table3.append();
        d.Table3Interval.setInteger(0);
        refreshed = refreshed || f->refresh();
        d.Table3.cancel();
        editor->close();
    });
    form->TaskParametersClick();
    QVERIFY(!selected);
    QVERIFY(!refreshed);
    QVERIFY(form->scheduler().dataCtrl().Table3.isEmpty());
    QCOMPARE(f->Hint->text(), QString::fromUtf8(str::TimelineTableBusy.data()));
    QCOMPARE(currentAppId(*form), std::int64_t(b));
    // Nor while a pass walks the table (held by a message box it raised).
    form->scheduler().dataCtrl().Table1.disableControls();
    QVERIFY(!form->selectTimelineTask(first.record, first.appId));
    form->scheduler().dataCtrl().Table1.enableControls();
    QCOMPARE(currentAppId(*form), std::int64_t(b));
    // Afterwards it works again.
    QVERIFY(form->selectTimelineTask(first.record, first.appId));
    QCOMPARE(currentAppId(*form), std::int64_t(a));
}

void TimelineFormTest::periodSavingAndPrinting() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    for (int i = 0; i < 70; ++i)
        addDaily(*form, "task " + std::to_string(i), i % 24, i % 60);
    form->TimelineClick();
    TTimelineForm* f = form->TimelineForm;
    f->Days7->click();
    QCOMPARE(f->periodHours(), 24 * 7);
    QCOMPARE(f->model().period.end - f->model().period.begin, timeline::Minute(7 * 24 * 60));
    QCOMPARE(f->model().lanes.size(), std::size_t(70));
    QCOMPARE(f->model().lanes.front().launches.size(), std::size_t(7));

    const QString path = QString::fromStdString(env.dir.file("week.svg"));
    QVERIFY(f->saveSvg(path));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().toStdString(), f->svg());
    QString error;
    const QString nowhere = QString::fromStdString(env.dir.file("no/such/dir/week.svg"));
    QVERIFY(!f->saveSvg(nowhere, &error));
    QVERIFY2(error.startsWith("Cannot write " + nowhere + ": "), qPrintable(error));

    // One page per section of 60 lanes.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageSize(QPageSize(QPageSize::A4));
    const QString pdf = QString::fromStdString(env.dir.file("week.pdf"));
    printer.setOutputFileName(pdf);
    f->printTo(printer);
    QFile printed(pdf);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    const QByteArray bytes = printed.readAll();
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                 bytes.count("/Type /Page/") + bytes.count("/Type /Page "),
             2);
}

QTEST_MAIN(TimelineFormTest)
#include "timeline_form_test.moc"
