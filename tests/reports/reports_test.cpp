// The three printed lists rendered to PDF and read back as text with pdftotext.

#include "platform/strings.h"
#include "reports/except_report.h"
#include "reports/param_report.h"
#include "reports/resource_report.h"
#include "ui/editor_test_fixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

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
                                                   "00:05:00 to\u043E 28.02.2027 00:50:00 with "
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
        QTest::newRow("never ran") << "30.12.1899 00:00:00";
        QTest::newRow("code 13") << "Waiting of scheduling beginning";
        QTest::newRow("negative exit code") << "Completed with a code -2";
        QTest::newRow("stopped") << "Stopped";
        QTest::newRow("conditions") << "FE('C:\\DATA\\*.TXT')";
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
        });
        TParamReportForm report(*world->scheduler);
        TempDir out;
        const Rendered r = render(report, out);
        QVERIFY2(r.text.contains(line), qPrintable(r.text));
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
