// A keyboard-only operator's walk in each language: grid, timeline, report preview, F1.

#include "ui/editors.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>

using namespace vektrin;
using namespace vektrin::test;

namespace {

// Takes the URLs the desktop would be asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QStringList opened;
  public slots:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

// The class of the modal window a key opens (closed again), or "".
QString modalOpenedBy(QWidget* target, int key) {
    QString seen;
    onNextModal([&](QWidget* w) {
        seen = w->metaObject()->className();
        static_cast<QDialog*>(w)->reject();
    });
    QApplication::setActiveWindow(target->window());
    QTest::keyClick(target, static_cast<Qt::Key>(key), Qt::ControlModifier);
    QTest::qWait(100);
    return seen;
}

} // namespace

class KeyboardWalkTest : public QObject {
    Q_OBJECT
  private slots:
    void walk_data();
    void walk();
};

void KeyboardWalkTest::walk_data() {
    // The language's words: the Delete question and the lane text (task, hour); "%1" and "%2".
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("lane");
    QTest::newRow("English") << false << "Delete the task <%1>?"
                             << "Task <%1>: launches in the period: 7, the first at 08.12.2026 %2.";
    QTest::newRow("Russian") << true << "Удалить задачу <%1>?"
                             << "Задача <%1>: запусков в периоде: 7, первый в 08.12.2026 %2.";
}

void KeyboardWalkTest::walk() {
    QFETCH(bool, russian);
    QFETCH(QString, question);
    QFETCH(QString, lane);
    QTranslator translator;
    if (russian) {
        QVERIFY(translator.load(QStringLiteral(":/i18n/vektrin_ru.qm")));
        QCoreApplication::installTranslator(&translator);
    }
    UiEnv env;
    env.clock.set(2026, 12, 7, 21, 0, 0); // three hours of the first day left in the chart
    auto form = env.startForm();
    QVERIFY(form);
    form->setEditorFactory(PauseWindow::Tasks, createTaskEditor);
    for (const auto& [name, hour] : {std::pair{"hello", 8}, std::pair{"world", 9}})
        addTask(*form, name, [hour = hour](TDataCtrl& d) { // daily
            d.Table1StartTime.setDateTime(*tryEncodeTime(hour, 0, 0));
            d.Table1EndTime.setDateTime(*tryEncodeTime(hour, 0, 0));
        });
    form->show();
    form->resize(1200, 300);
    QApplication::processEvents();
    TDBGrid* grid = form->DBGrid1;
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 1));
    UrlCatcher urls;
    QDesktopServices::setUrlHandler("file", &urls, "open");
    const auto restore = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
    QStringList seen; // each key's effect, in the order of expected below

    form->answers = {false};
    QTest::keyClick(grid, Qt::Key_Delete);
    seen << form->questions.value(0);
    const int statusWidth = grid->horizontalHeader()->sectionSize(3);
    form->resize(1500, 300);
    QApplication::processEvents();
    seen << QString::number(grid->horizontalHeader()->sectionSize(3) - statusWidth);
    // The current cell's frame, against the row's next cell: in strong contrast to the row.
    const QImage shot = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->currentIndex());
    int framed = 0;
    for (int y = cell.top() + 1; y < cell.bottom(); ++y)
        framed += std::abs(qGray(shot.pixel(cell.left() + 1, y)) -
                           qGray(shot.pixel(cell.right() + 2, y))) > 80;
    seen << (framed > cell.height() / 4 ? "framed" : "not framed");

    form->TimelineShow->trigger();
    TTimelineForm* timeline = form->TimelineForm;
    timeline->setPeriodHours(24 * 7);
    seen << timeline->LaneText->text();
    QTest::keyClick(timeline->View, Qt::Key_Down);
    seen << timeline->LaneText->text();
    QTest::keyClick(timeline->View, Qt::Key_Return);
    seen << QString::fromStdString(form->scheduler().dataCtrl().Table1AppName.asString());
    QTest::keyClick(timeline->View, Qt::Key_Up);
    seen << timeline->LaneText->text();
    timeline->setPeriodHours(24);
    seen << (QString::fromStdString(timeline->svg()).contains("07.12.2026</text>") ? "labelled"
                                                                                   : "no label");
    timeline->close();

    onNextModal([&](QWidget* editor) {
        onNextModal([&](QWidget* preview) {
            seen << modalOpenedBy(preview, Qt::Key_P) << modalOpenedBy(preview, Qt::Key_S);
            QSet<QString> reached; // the tools Tab stops at
            for (int i = 0; i < 40; ++i) {
                QWidget* focus = preview->focusWidget();
                QTest::keyClick(focus ? focus : preview, Qt::Key_Tab);
                if (auto* b = qobject_cast<QToolButton*>(preview->focusWidget()))
                    reached << (b->defaultAction() ? b->defaultAction()->objectName() : "");
            }
            seen << QString::number(reached.contains("Print") + reached.contains("SaveAsPdf"));
            static_cast<QDialog*>(preview)->reject();
        });
        editor->findChild<QPushButton*>("ReportButton")->click();
        static_cast<QDialog*>(editor)->reject();
    });
    form->TaskParametersClick();
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form.get(), Qt::Key_F1);
    seen << urls.opened.value(0).section('/', -1);

    QCOMPARE(seen, (QStringList{question.arg("hello"), "300", "framed", lane.arg("hello", "08:00"),
                                lane.arg("world", "09:00"), "world", lane.arg("hello", "08:00"),
                                "labelled", "QPrintDialog", "QFileDialog", "2", "index.html"}));
}

QTEST_MAIN(KeyboardWalkTest)
#include "keyboard_walk_test.moc"
