// The three printed lists rendered to PDF and read back as text with pdftotext.

#include "platform/strings.h"
#include "reports/except_report.h"
#include "reports/param_report.h"
#include "reports/resource_report.h"
#include "ui/editor_test_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace vektrin;
using namespace vektrin::test;

namespace {

struct Rendered {
    int pages = 0;
    QString text;
};

// One line per printed item (pdftotext keeps each drawn text together).
Rendered render(ReportForm& report, const TempDir& dir) {
    Rendered r;
    const QString pdf = QString::fromStdString(dir.file("report.pdf"));
    r.pages = report.exportPdf(pdf);
    QProcess p;
    p.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    p.waitForFinished(60000);
    r.text = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

// Runs fn in the modal loop of the preview that opens next, then closes the preview.
void onPreview(std::function<void(QDialog*)> fn) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        fn(dialog);
        dialog->reject();
    });
    timer->start();
}

// The rules a page shows: groups of adjacent pixel rows inside the page that hold a dark run
// across most of its width (text never does: its words have gaps).
int visibleRules(const QImage& shot) {
    // The page is the white area; the view around it is grey.
    QRect page;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) == qRgb(255, 255, 255)) page |= QRect(x, y, 1, 1);
    if (page.width() < 50) return -1;
    int rules = 0;
    bool inRule = false;
    for (int y = page.top(); y <= page.bottom(); ++y) {
        int run = 0, longest = 0;
        for (int x = page.left(); x <= page.right(); ++x) {
            run = qGray(shot.pixel(x, y)) < 100 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        const bool rule = longest > page.width() / 2;
        rules += rule && !inRule;
        inRule = rule;
    }
    return rules;
}

} // namespace

class ReportsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EditorWorld> world;
    TDataCtrl& dm() { return world->dm(); }

  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
    }
    void init() { world = std::make_unique<EditorWorld>(); }
    void cleanup() { world.reset(); }

    void versionField_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("field");
        QTest::newRow("program title") << "System monitor - Vektrin 2.1"
                                       << "Vektrin 2.1";
        QTest::newRow("first separator") << "A - B - C"
                                         << "B - C";
        QTest::newRow("nothing after") << "Monitor - "
                                       << "";
        QTest::newRow("no separator") << "Monitor"
                                      << "nitor";
    }
    void versionField() {
        QFETCH(QString, title);
        QFETCH(QString, field);
        QCOMPARE(vektrin::versionField(title), field);
    }

    void taskDescriptions_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("expected");
        QTest::newRow("minute") << 0 << "Every minute.";
        QTest::newRow("hour") << 1
                              << "Every hour, beginning from 5 minute to 50 minute with an "
                                 "interval of 15 minute.";
        QTest::newRow("day") << 2
                             << "Every day, beginning from 00:05:00 to 00:50:00 with an interval "
                                "of 15 minute.";
        QTest::newRow("week") << 3
                              << "Weekly on wednesdays from 00:05:00 to 00:50:00 with an interval "
                                 "of 15 minute.";
        QTest::newRow("month") << 4
                               << "Every month on 10 days, beginning from 00:05:00 to 00:50:00 "
                                  "with an interval of 15 minute.";
        QTest::newRow("year") << 5
                              << QString::fromUtf8("Every year, beginning from 10.01.0001 "
                                                   "00:05:00 to 28.02.2027 00:50:00 with "
                                                   "an interval of 15 minute.");
    }
    // The same fields read by every kind: the description is the kind's reading of them.
    void taskDescriptions() {
        QFETCH(int, interval);
        QFETCH(QString, expected);
        world->addTask("task", [&](TDataCtrl& d) {
            d.Table1Interval.setInteger(interval);
            d.Table1StartTime.setDateTime(minute(5));
            d.Table1EndTime.setDateTime(minute(50));
            d.Table1StartDate.setDateTime(dayOfYearOne(10));
            d.Table1EndDate.setDateTime(date(2027, 2, 28));
            d.Table1RepeatInterval.setInteger(15);
        });
        TParamReportForm report(*world->scheduler);
        QCOMPARE(report.IntervalText(), expected);
        TempDir out;
        const Rendered r = render(report, out);
        QCOMPARE(r.pages, 1);
        QVERIFY2(r.text.contains(expected), qPrintable(r.text));
    }

    void kindOutsideTheListHasNoDescription() {
        world->addTask("odd", [](TDataCtrl& d) { d.Table1Interval.setInteger(6); });
        TParamReportForm report(*world->scheduler);
        QCOMPARE(report.IntervalText(), QString());
    }

    void taskLines_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("version") << "Vektrin 2.1";
        QTest::newRow("date and time") << "07.12.2026 10:00:30";
        QTest::newRow("title") << "Tasks";
        QTest::newRow("labels") << "Termination condition :";
        QTest::newRow("hidden with interrupt") << "Hided, interrupt pending";
        QTest::newRow("resources that wait") << "2, 5, wait of a resource liberation";
        QTest::newRow("no conflicts but waits") << "No conflicts, wait of a resource liberation";
        QTest::newRow("plain no conflicts") << "No conflicts\n";
        QTest::newRow("ran once") << "01.12.2026 00:00:00";
        QTest::newRow("code 13") << "Waiting of scheduling beginning";
        QTest::newRow("negative exit code") << "Completed with a code -2";
        QTest::newRow("stopped") << "Stopped";
        QTest::newRow("conditions") << "FE('C:\\DATA\\*.TXT')";
        QTest::newRow("run on each workstation") << "each workstation";
    }
    void taskLines() {
        QFETCH(QString, line);
        world->addTask("hidden", [](TDataCtrl& d) {
            d.Table1RunType.setInteger(1);
            d.Table1Interupt.setBoolean(true);
            d.Table1Conflicts.setInteger(0b10010);
            d.Table1WaitRes.setBoolean(true);
            d.Table1EndCode.setFloat(13);
        });
        world->addTask("waits", [](TDataCtrl& d) {
            d.Table1WaitRes.setBoolean(true);
            d.Table1EndCode.setFloat(1);
            d.Table1ExitCode.setInteger(-2);
            d.Table1StartCondition.setString("FE('C:\\DATA\\*.TXT')");
        });
        world->addTask("plain", [](TDataCtrl& d) {
            d.Table1Stopped.setBoolean(true);
            d.Table1LastDate.setDateTime(date(2026, 12, 1));
            d.Table1Host.setString("*");
        });
        TParamReportForm report(*world->scheduler);
        TempDir out;
        const Rendered r = render(report, out);
        QVERIFY2(r.text.contains(line), qPrintable(r.text));
        QVERIFY2(!r.text.contains("1899"), "a task that never ran prints no day 0");
        QCOMPARE(r.text.count("Run on :"), 1); // the others' blocks are as they were
    }

    // 200 tasks need several pages; each task is printed once, and the walk ends on the last.
    void pageBreaks() {
        for (int i = 1; i <= 200; ++i)
            world->addTask(QString("Job-%1").arg(i, 3, 10, QChar('0')).toStdString());
        dm().Table1.first();
        TParamReportForm report(*world->scheduler);
        TempDir out;
        const Rendered r = render(report, out);
        QVERIFY(r.pages > 1);
        QCOMPARE(r.text.count('\f'), r.pages);
        for (int i = 1; i <= 200; ++i) {
            const QString name = QString("Job-%1").arg(i, 3, 10, QChar('0'));
            QCOMPARE(r.text.count(name), 1);
        }
        QCOMPARE(dm().Table1.recNo(), 199);
        // The title band is printed once, on the first page.
        QCOMPARE(r.text.count("Vektrin 2.1"), 1);
    }

    void emptyTableSaysSo() {
        TParamReportForm report(*world->scheduler);
        TempDir out;
        const Rendered r = render(report, out);
        QCOMPARE(r.pages, 1);
        QVERIFY(r.text.contains(QString::fromStdString(std::string(str::ReportEmptyTable))));
    }

    void silenceLines_data() {
        QTest::addColumn<int>("interval");
        QTest::addColumn<DateTime>("startDate");
        QTest::addColumn<QStringList>("columns");
        QTest::newRow("minute") << 0 << DateTime(0) << QStringList{"Every minute.", "", ""};
        QTest::newRow("hour") << 1 << DateTime(0)
                              << QStringList{"Every hour", "", "from 5 minute to 50 minute"};
        QTest::newRow("day") << 2 << DateTime(0)
                             << QStringList{"Every day", "", "from 00:05:00 to 00:50:00"};
        QTest::newRow("week day 3")
            << 3 << dayOfYearOne(3)
            << QStringList{"Weekly", "on wednesdays", "from 00:05:00 to 00:50:00"};
        // No modulo here, unlike the task report: day 10 names no week day.
        QTest::newRow("week day 10")
            << 3 << dayOfYearOne(10) << QStringList{"Weekly", "", "from 00:05:00 to 00:50:00"};
        QTest::newRow("month") << 4 << date(2026, 4, 15)
                               << QStringList{"Every month", "on 15", "from 00:05:00 to 00:50:00"};
        QTest::newRow("year") << 5 << date(2026, 4, 15)
                              << QStringList{"Every year", "",
                                             "from 15.04.2026 00:05:00 to 30.04.2026 00:50:00"};
        QTest::newRow("other") << 7 << DateTime(0) << QStringList{"", "", ""};
    }
    void silenceLines() {
        QFETCH(int, interval);
        QFETCH(DateTime, startDate);
        QFETCH(QStringList, columns);
        world->addPeriod([&](TDataCtrl& d) {
            d.Table3Interval.setInteger(interval);
            d.Table3StartDate.setDateTime(startDate);
            d.Table3EndDate.setDateTime(date(2026, 4, 30));
            d.Table3StartTime.setDateTime(minute(5));
            d.Table3EndTime.setDateTime(minute(50));
        });
        TExceptReportForm report(*world->scheduler);
        QCOMPARE((QStringList{report.KindText(), report.QualifierText(), report.PeriodText()}),
                 columns);
        TempDir out;
        const Rendered r = render(report, out);
        QVERIFY(r.text.contains("What exception"));
        QVERIFY(r.text.contains("Time period of exception"));
        for (const QString& c : columns)
            if (!c.isEmpty()) QVERIFY2(r.text.contains(c), qPrintable(r.text));
    }

    // On screen a rule is at least one pixel wide whatever the zoom, so the preview shows every
    // rule the page has: under the title, under a heading, after each task.
    void previewShowsRulesAtEveryZoom_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("rules");
        for (double zoom : {0.2, 0.35, 0.6}) {
            const QByteArray z = QByteArray::number(zoom);
            QTest::newRow("tasks " + z) << "tasks" << zoom << 3;
            QTest::newRow("exceptions " + z) << "exceptions" << zoom << 2;
            QTest::newRow("resources " + z) << "resources" << zoom << 2;
        }
    }
    void previewShowsRulesAtEveryZoom() {
        QFETCH(QString, report);
        QFETCH(double, zoom);
        QFETCH(int, rules);
        world->addTask("first");
        world->addTask("second");
        world->addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(0); });
        world->addResource(1, "Printer");
        std::unique_ptr<ReportForm> form;
        if (report == "tasks") form = std::make_unique<TParamReportForm>(*world->scheduler);
        if (report == "exceptions") form = std::make_unique<TExceptReportForm>(*world->scheduler);
        if (report == "resources") form = std::make_unique<TResourceReportForm>(*world->scheduler);
        QWidget editor;
        editor.resize(400, 300);
        editor.show();
        int seen = -2;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget* parent = nullptr;
        onPreview([&](QDialog* preview) {
            modality = preview->windowModality();
            parent = preview->parentWidget();
            auto* view = preview->findChild<QPrintPreviewWidget*>();
            QVERIFY(view);
            preview->resize(900, 1100);
            view->setZoomMode(QPrintPreviewWidget::CustomZoom);
            view->setZoomFactor(zoom);
            view->setCurrentPage(1);
            QCoreApplication::processEvents();
            seen = visibleRules(view->grab().toImage());
        });
        form->preview(&editor);
        QCOMPARE(seen, rules);
        // Modal to the editor that opened it, not to the whole program: the tray stays usable.
        QCOMPARE(modality, Qt::WindowModal);
        QCOMPARE(parent, &editor);
    }

    // The rules of a saved PDF keep their thickness (no hairline drawn over them).
    void pdfRulesKeepTheirThickness() {
        world->addTask("only");
        TParamReportForm report(*world->scheduler);
        TempDir out;
        const QString pdf = QString::fromStdString(out.file("rules.pdf"));
        QCOMPARE(report.exportPdf(pdf), 1);
        QProcess p;
        p.start("pdftoppm",
                {"-png", "-gray", "-r", "400", "-f", "1", "-l", "1", "-singlefile", "-aa", "no",
                 "-aaVector", "no", pdf, QString::fromStdString(out.file("page"))});
        QVERIFY(p.waitForFinished(60000));
        const QImage page(QString::fromStdString(out.file("page.png")));
        QVERIFY(!page.isNull());
        // Thickness of each rule in pixel rows at 400 dots per inch: 0.3 mm (title), 0.2 mm.
        QList<int> thickness;
        int rows = 0;
        for (int y = 0; y < page.height(); ++y) {
            int dark = 0;
            for (int x = 0; x < page.width(); ++x)
                dark += qGray(page.pixel(x, y)) < 128;
            if (dark > page.width() / 2) {
                ++rows;
            } else if (rows > 0) {
                thickness << rows;
                rows = 0;
            }
        }
        QCOMPARE(thickness.size(), 2);
        QVERIFY2(thickness[0] >= 4 && thickness[0] <= 6, qPrintable(QString::number(thickness[0])));
        QVERIFY2(thickness[1] >= 3 && thickness[1] <= 4, qPrintable(QString::number(thickness[1])));
    }

    void resourceLines() {
        world->addResource(2, "Modem", hm(0, 15));
        world->addResource(11, "Printer");
        world->addResource(1, "Tape", hm(1, 30));
        dm().Table2.first();
        TResourceReportForm report(*world->scheduler);
        TempDir out;
        const Rendered r = render(report, out);
        QCOMPARE(r.pages, 1);
        for (const char* text : {"Conflicting resources", "Number", "Conflicting resource name",
                                 "Waiting time", "Modem", "00:15:00", "01:30:00", "11"})
            QVERIFY2(r.text.contains(text), text);
        // In the table's order (by number), and left on the last.
        QVERIFY(r.text.indexOf("Tape") < r.text.indexOf("Modem"));
        QVERIFY(r.text.indexOf("Modem") < r.text.indexOf("Printer"));
        QCOMPARE(dm().Table2ResourceName.asString(), std::string("Printer"));
    }
};

QTEST_MAIN(ReportsTest)
#include "reports_test.moc"
