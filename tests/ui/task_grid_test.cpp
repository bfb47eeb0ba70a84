// The task grid and the task table's cursor: one follows the other both ways, a pass that walks
// the table with its controls disabled neither moves nor repaints the grid, and a large table is
// read once per change of the data set, not once per row or per move.

#include "store/database.h"
#include "ui/task_grid.h"
#include "ui_fixture.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

class TaskGridTest : public QObject {
    Q_OBJECT
  private slots:
    void columnsAndTheirTexts();
    void defaultSizeShowsTheStatusTitleAndWholeNames_data();
    void defaultSizeShowsTheStatusTitleAndWholeNames();
    void selectingARowMovesTheTableAndMovingTheTableSelectsTheRow();
    void gridStaysStillWhileControlsAreDisabled();
    void aPassShowsItsResultsWhenItEnds();
    void recordBeingEditedIsNotPostedByTheGrid();
    void largeTableIsReadOncePerChange();
};

void TaskGridTest::columnsAndTheirTexts() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "never run");
    addTask(*form, "ran", [](TDataCtrl& d) {
        d.Table1LastDate.setDateTime(*tryEncodeDate(2026, 3, 4));
        d.Table1LastTime.setDateTime(*tryEncodeTime(7, 8, 9));
        d.Table1EndCode.setFloat(1);
        d.Table1ExitCode.setInteger(3);
    });
    QAbstractItemModel* m = form->DBGrid1->model();
    QStringList titles;
    for (int c = 0; c < m->columnCount(); ++c) {
        titles << m->headerData(c, Qt::Horizontal).toString();
        // The status title's leading blanks place it: left-aligned; the others centred.
        QCOMPARE(m->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 c == 3 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment(Qt::AlignCenter));
    }
    QCOMPARE(titles, (QStringList{"Task", "Date", "Time", "           Completing status"}));
    const QStringList rows[] = {{"never run", "", "", "Have not executed yet"},
                                {"ran", "04.03.2026", "07:08:09", "Completed with a code 3"}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c)
            QCOMPARE(m->index(r, c).data().toString(), rows[r][c]);
    QHeaderView* h = form->DBGrid1->horizontalHeader();
    QVERIFY(h->sectionSize(0) >= 260);
    QCOMPARE(h->sectionSize(3), 400);
    // Never narrower than the layout's 55 pixels, never so narrow that the date is cut.
    const QFontMetrics fm(form->DBGrid1->font());
    for (int c : {1, 2}) {
        QVERIFY(h->sectionSize(c) >= 55);
        QVERIFY(h->sectionSize(c) > fm.horizontalAdvance(rows[1][c]));
    }
    QVERIFY(!(m->flags(m->index(0, 0)) & Qt::ItemIsEditable));
    QCOMPARE(form->DBGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TaskGridTest::defaultSizeShowsTheStatusTitleAndWholeNames_data() {
    QTest::addColumn<int>("tasks");
    QTest::newRow("few tasks") << 2;
    QTest::newRow("enough tasks for a vertical scroll bar") << 30;
}

// At the window's default size the status column's whole title is in view, left-aligned after
// its leading blanks, and 40-character names are not cut.
void TaskGridTest::defaultSizeShowsTheStatusTitleAndWholeNames() {
    QFETCH(int, tasks);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const QStringList names = {"Nightly backup of the accounting databas",
                               "Weekly report for the management board 1",
                               "abcdefghijklmnopqrstuvwxyzabcdefghijklmn"};
    for (int i = 0; i < tasks; ++i)
        addTask(*form, names[i % names.size()].toStdString(), [](TDataCtrl& d) {
            d.Table1LastDate.setDateTime(*tryEncodeDate(2026, 12, 28));
            d.Table1LastTime.setDateTime(*tryEncodeTime(23, 58, 58));
        });
    QCOMPARE(form->size(), QSize(685, 178));
    QVERIFY(form->isVisible());
    QCoreApplication::processEvents();
    TDBGrid* grid = form->DBGrid1;
    QCOMPARE(grid->verticalScrollBar()->isVisible(), tasks > 10);

    // Where the title's ink is in the header, in the status section's visible part.
    QHeaderView* header = grid->horizontalHeader();
    const int from = header->sectionViewportPosition(3);
    const int to = header->viewport()->width();
    const QImage shot = header->viewport()->grab().toImage();
    int first = -1, last = -1;
    for (int x = from + 2; x < to; ++x)
        for (int y = 2; y < shot.height() - 2; ++y)
            if (qGray(shot.pixel(x, y)) < 110) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    const QFontMetrics hm(header->font());
    const QString title = header->model()->headerData(3, Qt::Horizontal).toString();
    const int blanks = hm.horizontalAdvance(title.left(11));
    const int words = hm.horizontalAdvance(title.mid(11));
    QVERIFY2(first >= from + blanks && first <= from + blanks + 8 && last - first >= words - 4 &&
                 last < to - 1,
             qPrintable(QString("section from %1, view to %2, ink %3..%4, blanks %5, words %6")
                            .arg(from)
                            .arg(to)
                            .arg(first)
                            .arg(last)
                            .arg(blanks)
                            .arg(words)));

    // Names, dates and times are shown whole (the view cuts a text that does not fit with "…").
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    const QFontMetrics fm(grid->font());
    for (int row = 0; row < std::min(tasks, 3); ++row)
        for (int column = 0; column < 3; ++column) {
            const QModelIndex index = grid->model()->index(row, column);
            const QString text = index.data().toString();
            const int room = grid->visualRect(index).width() - 2 * margin;
            QVERIFY2(fm.elidedText(text, Qt::ElideRight, room) == text,
                     qPrintable(QString("%1 in %2 pixels").arg(text).arg(room)));
        }
}

void TaskGridTest::selectingARowMovesTheTableAndMovingTheTableSelectsTheRow() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    for (const char* name : {"a", "b", "c", "d"})
        addTask(*form, name);
    Table& t = form->scheduler().dataCtrl().Table1;
    TDBGrid* grid = form->DBGrid1;
    // grid to table
    for (int row : {2, 0, 3}) {
        grid->setCurrentIndex(grid->model()->index(row, 1));
        QCOMPARE(t.recNo(), row);
        QCOMPARE(QString::fromStdString(form->scheduler().dataCtrl().Table1AppName.asString()),
                 grid->model()->index(row, 0).data().toString());
    }
    // by keyboard
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(t.recNo(), 2);
    // table to grid
    for (int row : {1, 3, 0}) {
        t.moveTo(row);
        QCOMPARE(grid->currentIndex().row(), row);
        QVERIFY(grid->selectionModel()->isRowSelected(row, {}));
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
    }
    t.last();
    QCOMPARE(grid->currentIndex().row(), 3);
}

void TaskGridTest::gridStaysStillWhileControlsAreDisabled() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    for (int i = 0; i < 200; ++i)
        addTask(*form, "task " + std::to_string(i));
    form->resize(685, 178);
    Table& t = form->scheduler().dataCtrl().Table1;
    TDBGrid* grid = form->DBGrid1;
    t.moveTo(120);
    grid->verticalScrollBar()->setValue(50);
    const int scroll = grid->verticalScrollBar()->value();
    QSignalSpy changes(grid->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy resets(grid->model(), &QAbstractItemModel::modelReset);

    // What a pass does: detach, walk, change records, come back to the remembered record.
    const auto keep = t.getBookmark();
    t.disableControls();
    for (t.first(); !t.eof(); t.next()) {
        if (t.recNo() % 50 != 0) continue;
        t.edit();
        form->scheduler().dataCtrl().Table1EndCode.setFloat(4);
        t.post();
        QCOMPARE(grid->currentIndex().row(), 120);
        QCOMPARE(grid->verticalScrollBar()->value(), scroll);
    }
    // Choosing a row while detached does not move the table under the pass.
    t.moveTo(7);
    grid->setCurrentIndex(grid->model()->index(51, 0)); // a row in sight
    QCOMPARE(t.recNo(), 7);
    QCOMPARE(grid->currentIndex().row(), 120);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(grid->model()->index(100, 3).data().toString(), QString("Have not executed yet"));
    t.gotoBookmark(keep);
    t.enableControls();

    QCOMPARE(resets.count(), 0);
    QCOMPARE(grid->currentIndex().row(), 120);
    QCOMPARE(grid->verticalScrollBar()->value(), scroll);
    QCOMPARE(grid->model()->index(100, 3).data().toString(), QString("Interrupted by program"));
    QCOMPARE(grid->model()->index(101, 3).data().toString(), QString("Have not executed yet"));
}

void TaskGridTest::aPassShowsItsResultsWhenItEnds() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "first");
    const auto id = addTask(*form, "worker");
    addTask(*form, "last");
    selectTask(*form, id);
    form->RunNowClick();
    QCOMPARE(form->DBGrid1->model()->index(1, 3).data().toString(), QString("Runs"));
    form->scheduler().dataCtrl().Table1.moveTo(2); // the operator looks elsewhere
    env.processes.exit(env.processes.lastHandle, 0);
    form->scheduler().Timer1Timer();
    QCOMPARE(form->DBGrid1->model()->index(1, 3).data().toString(),
             QString("Completed successfully"));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 2);
    QCOMPARE(form->scheduler().dataCtrl().Table1.recNo(), 2);
}

void TaskGridTest::recordBeingEditedIsNotPostedByTheGrid() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "a");
    addTask(*form, "b");
    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table1.moveTo(0);
    d.Table1.edit();
    // A data-set change arriving mid-edit (the end of someone's detached stretch) must not
    // make the grid walk the table, which would post the edit.
    d.Table1.disableControls();
    d.Table1AppName.setString("renamed, not yet posted");
    d.Table1.enableControls();
    QCOMPARE(d.Table1.state(), Table::State::Edit);
    QCOMPARE(d.Table1.recNo(), 0);
    d.Table1.cancel();
    QCOMPARE(form->DBGrid1->model()->index(0, 0).data().toString(), QString("a"));
    d.Table1.edit();
    d.Table1AppName.setString("posted");
    d.Table1.post();
    QCOMPARE(form->DBGrid1->model()->index(0, 0).data().toString(), QString("posted"));
}

void TaskGridTest::largeTableIsReadOncePerChange() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    TDataCtrl& d = form->scheduler().dataCtrl();
    {
        Transaction tx(d.database());
        d.Table1.disableControls();
        for (int i = 0; i < 10000; ++i) {
            d.Table1.append();
            d.Table1AppName.setString("task " + std::to_string(i));
            d.Table1.post();
        }
        tx.commit();
        d.Table1.enableControls();
    }
    auto& model = form->DBGrid1->taskModel();
    QCOMPARE(model.rowCount(), 10000);
    QCOMPARE(model.index(9999, 0).data().toString(), QString("task 9999"));
    const int rebuilds = model.rebuilds();
    // Moving, selecting and changing one record touch that row alone.
    for (int row = 0; row < 10000; row += 97)
        d.Table1.moveTo(row);
    for (int row = 5; row < 10000; row += 89)
        form->DBGrid1->setCurrentIndex(model.index(row, 0));
    d.Table1.edit();
    d.Table1EndCode.setFloat(3);
    d.Table1.post();
    QCOMPARE(model.rebuilds(), rebuilds);
    QCOMPARE(model.index(d.Table1.recNo(), 3).data().toString(), QString("Interrupted by person"));
    d.Table1.deleteRecord();
    QCOMPARE(model.rebuilds(), rebuilds + 1);
    QCOMPARE(model.rowCount(), 9999);
}

QTEST_MAIN(TaskGridTest)
#include "task_grid_test.moc"
