// A keyboard-only operator's walk, once in each language: each key and what it must do, in the
// grid, the timeline, a report preview and the main window.

#include "ui/editors.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QToolBar>
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

// Daily at a time.
std::int32_t addDaily(TMainForm& form, const std::string& name, int hour) {
    return addTask(form, name, [&](TDataCtrl& d) {
        d.Table1StartTime.setDateTime(*tryEncodeTime(hour, 0, 0));
        d.Table1EndTime.setDateTime(*tryEncodeTime(hour, 0, 0));
    });
}

// The class name of the next modal window a key opens (it is closed again), or "".
QString modalOpenedBy(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QString seen;
    onNextModal([&](QWidget* w) {
        seen = QString::fromLatin1(w->metaObject()->className());
        static_cast<QDialog*>(w)->reject();
    });
    QApplication::setActiveWindow(target->window());
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
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
    // Each step's effect: Delete on the grid, a wider window, the arrows' cell; the timeline's
    // first lane, Down, Enter, Up, the first day; Ctrl+P, Ctrl+S and Tab in a report preview; F1.
    const QStringList expected{question.arg("hello"),
                               "widened by 300",
                               "framed",
                               lane.arg("hello", "08:00"),
                               lane.arg("world", "09:00"),
                               "world",
                               lane.arg("hello", "08:00"),
                               "first day labelled",
                               "QPrintDialog",
                               "QFileDialog",
                               "Print, Save as PDF",
                               "index.html"};
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
    addDaily(*form, "hello", 8);
    addDaily(*form, "world", 9);
    form->show();
    form->resize(900, 300);
    QApplication::processEvents();
    TDBGrid* grid = form->DBGrid1;
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    TTimelineForm* timeline = nullptr;
    UrlCatcher urls;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    const auto restore =
        qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); });

    // What each key (or a wider window) did, in the order of expected.
    const std::function<QString()> steps[] = {
        [&] {
            form->questions.clear();
            form->answers = {false};
            QTest::keyClick(grid, Qt::Key_Delete);
            return form->questions.value(0);
        },
        [&] {
            form->resize(form->width() + 300, form->height()); // past the column's least width
            QApplication::processEvents();
            const int before = grid->horizontalHeader()->sectionSize(3);
            form->resize(form->width() + 300, form->height());
            QApplication::processEvents();
            return QStringLiteral("widened by %1")
                .arg(grid->horizontalHeader()->sectionSize(3) - before);
        },
        [&] {
            // The current cell's frame against the same row's next cell, in the same place.
            QTest::keyClick(grid, Qt::Key_Right);
            const QImage shot = grid->viewport()->grab().toImage();
            const QRect current = grid->visualRect(grid->currentIndex());
            const QRect next = grid->visualRect(grid->currentIndex().siblingAtColumn(2));
            int differ = 0;
            for (int y = current.top() + 1; y < current.bottom(); ++y)
                differ += std::abs(qGray(shot.pixel(current.left() + 1, y)) -
                                   qGray(shot.pixel(next.left() + 1, y))) > 80;
            // A mark one can see: in strong contrast to the selected row around it.
            return differ > current.height() / 4 ? QStringLiteral("framed")
                                                 : QStringLiteral("not framed");
        },
        [&] {
            form->TimelineShow->trigger();
            timeline = form->TimelineForm;
            timeline->setPeriodHours(24 * 7);
            timeline->View->setFocus();
            return timeline->LaneText->text();
        },
        [&] {
            QTest::keyClick(timeline->View, Qt::Key_Down);
            return timeline->LaneText->text();
        },
        [&] {
            QTest::keyClick(timeline->View, Qt::Key_Return);
            return QString::fromStdString(form->scheduler().dataCtrl().Table1AppName.asString());
        },
        [&] {
            QTest::keyClick(timeline->View, Qt::Key_Up);
            return timeline->LaneText->text();
        },
        [&] {
            timeline->setPeriodHours(24);
            const QString svg = QString::fromStdString(timeline->svg());
            return svg.contains(QStringLiteral("07.12.2026</text>"))
                       ? QStringLiteral("first day labelled")
                       : QStringLiteral("no label on the first day");
        },
        [&] {
            // The preview of the task report, from the task editor.
            QStringList seen;
            onNextModal([&](QWidget* editor) {
                onNextModal([&](QWidget* preview) {
                    seen << modalOpenedBy(preview, Qt::Key_P, Qt::ControlModifier)
                         << modalOpenedBy(preview, Qt::Key_S, Qt::ControlModifier);
                    QStringList reached;
                    for (int i = 0; i < 40; ++i) {
                        QWidget* focus = preview->focusWidget();
                        QTest::keyClick(focus ? focus : preview, Qt::Key_Tab);
                        if (auto* b = qobject_cast<QToolButton*>(preview->focusWidget());
                            b && b->defaultAction() &&
                            (b->defaultAction()->objectName() == "Print" ||
                             b->defaultAction()->objectName() == "SaveAsPdf") &&
                            !reached.contains(b->defaultAction()->objectName()))
                            reached << b->defaultAction()->objectName();
                    }
                    reached.sort();
                    seen << reached.join(QStringLiteral(", ")).replace("SaveAsPdf", "Save as PDF");
                    static_cast<QDialog*>(preview)->reject();
                });
                editor->findChild<QPushButton*>("ReportButton")->click();
                static_cast<QDialog*>(editor)->reject();
            });
            timeline->close();
            form->TaskParametersClick();
            return seen.join('|');
        },
        [&] {
            QApplication::setActiveWindow(form.get());
            QTest::keyClick(form.get(), Qt::Key_F1);
            return urls.opened.isEmpty() ? QString() : urls.opened.back().section('/', -1);
        },
    };
    QStringList seen;
    for (const auto& step : steps) {
        const QString effect = step();
        for (const QString& part : effect.split('|'))
            seen << part;
    }
    QCOMPARE(seen, expected);
}

QTEST_MAIN(KeyboardWalkTest)
#include "keyboard_walk_test.moc"
