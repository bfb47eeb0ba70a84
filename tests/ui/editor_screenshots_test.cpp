// Pictures of the three editors and the first page of each report for the documentation. Runs
// only when VEKTRIN_SCREENSHOT_DIR names the directory to write them to; with
// VEKTRIN_SCREENSHOT_LANGUAGE=RUS in the Russian interface, named *-ru.png.

#include "language/translation.h"
#include "reports/except_report.h"
#include "reports/param_report.h"
#include "reports/resource_report.h"
#include "ui/editor_test_fixture.h"
#include "ui/except_form.h"
#include "ui/param_form.h"
#include "ui/resource_form.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

class EditorScreenshots : public QObject {
    Q_OBJECT

    QString out;
    QString suffix;
    std::unique_ptr<EditorWorld> world;

    void fill() {
        world = std::make_unique<EditorWorld>();
        world->addResource(1, "Printer", hm(0, 10));
        world->addResource(2, "Modem line", hm(0, 30));
        world->addResource(3, "Archive disk", hm(1, 0));
        world->addTask("Nightly backup", [](TDataCtrl& d) {
            d.Table1Application.setString("/usr/local/bin/backup --to /srv/archive/%TYYYY%%TMM%");
            d.Table1AppDirectory.setString("/srv/archive");
            d.Table1Interval.setInteger(2);
            d.Table1StartTime.setDateTime(hm(1, 30));
            d.Table1EndTime.setDateTime(hm(3, 0));
            d.Table1Conflicts.setInteger(0b100);
            d.Table1WaitRes.setBoolean(true);
            d.Table1EndCode.setFloat(1);
            d.Table1LastDate.setDateTime(date(2026, 12, 7));
            d.Table1LastTime.setDateTime(hm(1, 30));
        });
        world->addTask("Mail queue", [](TDataCtrl& d) {
            d.Table1Application.setString("/usr/sbin/sendmail -q");
            d.Table1Interval.setInteger(1);
            d.Table1StartTime.setDateTime(minute(0));
            d.Table1EndTime.setDateTime(minute(59));
            d.Table1RepeatInterval.setInteger(15);
            d.Table1RunType.setInteger(1);
            d.Table1Interupt.setBoolean(true);
        });
        world->addTask("Weekly report", [](TDataCtrl& d) {
            d.Table1Application.setString("/opt/reports/weekly.sh %NDD%.%NMM%.%NYYYY%");
            d.Table1AppDirectory.setString("/opt/reports");
            d.Table1Interval.setInteger(3);
            d.Table1StartDate.setDateTime(dayOfYearOne(5));
            d.Table1StartTime.setDateTime(hm(18, 0));
            d.Table1EndTime.setDateTime(hm(20, 0));
            d.Table1RepeatInterval.setInteger(30);
            d.Table1Priority.setInteger(1);
            d.Table1Conflicts.setInteger(0b011);
            d.Table1StartCondition.setString("GT(1)");
            d.Table1EndCondition.setString("0");
            d.Table1EndCode.setFloat(13);
        });
        world->addTask("Year end", [](TDataCtrl& d) {
            d.Table1Application.setString("/opt/ledger/close-year");
            d.Table1Interval.setInteger(5);
            d.Table1StartDate.setDateTime(date(2026, 12, 31));
            d.Table1EndDate.setDateTime(date(2027, 1, 2));
            d.Table1StartTime.setDateTime(hm(22, 0));
            d.Table1EndTime.setDateTime(hm(23, 30));
            d.Table1Stopped.setBoolean(true);
        });
        world->addPeriod([](TDataCtrl& d) {
            d.Table3Interval.setInteger(2);
            d.Table3StartTime.setDateTime(hm(12, 0));
            d.Table3EndTime.setDateTime(hm(13, 0));
        });
        world->addPeriod([](TDataCtrl& d) {
            d.Table3Interval.setInteger(3);
            d.Table3StartDate.setDateTime(dayOfYearOne(7));
            d.Table3StartTime.setDateTime(hm(0, 0));
            d.Table3EndTime.setDateTime(hm(23, 59));
        });
        world->addPeriod([](TDataCtrl& d) {
            d.Table3Interval.setInteger(4);
            d.Table3StartDate.setDateTime(dayOfYearOne(1));
            d.Table3EndDate.setDateTime(dayOfYearOne(1));
            d.Table3StartTime.setDateTime(hm(0, 0));
            d.Table3EndTime.setDateTime(hm(6, 0));
        });
        world->addPeriod([](TDataCtrl& d) {
            d.Table3Interval.setInteger(5);
            d.Table3StartDate.setDateTime(date(2026, 12, 24));
            d.Table3EndDate.setDateTime(date(2026, 12, 26));
            d.Table3StartTime.setDateTime(hm(0, 0));
            d.Table3EndTime.setDateTime(hm(23, 59));
        });
        world->addPeriod([](TDataCtrl& d) {
            d.Table3Interval.setInteger(1);
            d.Table3StartTime.setDateTime(minute(55));
            d.Table3EndTime.setDateTime(minute(59));
        });
    }

    void grab(QWidget& form, const QString& name) {
        form.show();
        QCoreApplication::processEvents();
        QVERIFY(form.grab().save(out + "/" + name + suffix + ".png"));
    }

    void firstPage(ReportForm& report, const QString& name) {
        const QString pdf = out + "/" + name + suffix + ".pdf";
        QVERIFY(report.exportPdf(pdf) >= 1);
        QProcess p;
        p.start("pdftoppm", {"-png", "-r", "70", "-f", "1", "-l", "1", "-singlefile", pdf,
                             out + "/" + name + suffix});
        QVERIFY(p.waitForFinished(60000));
        QFile::remove(pdf);
    }

  private slots:
    void initTestCase() {
        out = qEnvironmentVariable("VEKTRIN_SCREENSHOT_DIR");
        if (out.isEmpty()) QSKIP("VEKTRIN_SCREENSHOT_DIR is not set");
        QDir().mkpath(out);
        if (qEnvironmentVariable("VEKTRIN_SCREENSHOT_LANGUAGE") == "RUS") {
            suffix = "-ru";
            QCOMPARE(installLanguage(*QCoreApplication::instance(), InterfaceLanguage::Russian, {})
                         .language,
                     InterfaceLanguage::Russian);
        }
    }

    void editors() {
        fill();
        world->dm().Table1.moveTo(2);
        {
            TParamForm form(*world->scheduler, world->port);
            grab(form, "task-editor");
        }
        world->dm().Table3.moveTo(2);
        {
            TExceptForm form(*world->scheduler, world->port);
            grab(form, "exception-editor");
        }
        world->dm().Table2.first();
        {
            TResourceForm form(*world->scheduler, world->port);
            grab(form, "resource-editor");
        }
    }

    void reports() {
        fill();
        TParamReportForm tasks(*world->scheduler);
        firstPage(tasks, "task-report");
        TExceptReportForm periods(*world->scheduler);
        firstPage(periods, "exception-report");
        TResourceReportForm resources(*world->scheduler);
        firstPage(resources, "resource-report");
    }
};

QTEST_MAIN(EditorScreenshots)
#include "editor_screenshots_test.moc"
