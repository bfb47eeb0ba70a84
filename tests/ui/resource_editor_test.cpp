// The conflicting-resources editor: numbers that the table refuses, the exit check of the
// number, deleting a resource, and the grid.

#include "platform/strings.h"
#include "reports/report_form.h"
#include "ui/editor_test_fixture.h"
#include "ui/resource_form.h"

#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace vektrin;
using namespace vektrin::test;

class ResourceEditorTest : public QObject, EditorHarness<TResourceForm> {
    Q_OBJECT

    void open() {
        form = std::make_unique<TResourceForm>(*world->scheduler, world->port);
        form->findChild<DBNavigator*>("DBNavigator")->confirmDelete = [](std::string_view) {
            return true;
        };
        form->show();
    }

  private slots:
    void init() {
        world = std::make_unique<EditorWorld>();
        world->addResource(1, "Printer", hm(0, 10));
        world->addResource(2, "Modem");
        world->addResource(3, "Archive");
    }
    void cleanup() { reset(); }

    // Each number typed into a new record, the Post button pressed.
    void numbersAtPost_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("posted");
        const QString above = QString::fromStdString(std::string(str::ResourceAboveMaximum));
        // clang-format off
        QTest::newRow("free number") << "12" << QStringList{} << true;
        QTest::newRow("31") << "31" << QStringList{} << true;
        QTest::newRow("duplicate") << "2"
            << QStringList{QString::fromStdString(std::string(str::ResourceNotUnique))} << false;
        // Once when leaving the edit, once from the table at the post.
        QTest::newRow("32") << "32" << QStringList{above, above} << false;
        const QString beyond =
            "Conflicting resource number :\r\n40000 is outside the allowed range -32768 to 32767";
        QTest::newRow("beyond 16 bits") << "40000" << QStringList{beyond, beyond} << false;
        // clang-format on
    }
    void numbersAtPost() {
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        QFETCH(bool, posted);
        open();
        child<QToolButton>("Insert")->click();
        auto* number = child<QLineEdit>("EditResourceNo");
        QTest::keyClicks(number, typed);
        QTest::keyClicks(child<QLineEdit>("EditResourceName"), "Plotter");
        leave(number);
        child<QToolButton>("Post")->click();
        QStringList shown;
        for (const auto& m : this->messages())
            shown << QString::fromStdString(m);
        QCOMPARE(shown, messages);
        QCOMPARE(dm().Table2.recordCount(), posted ? 4 : 3);
        QCOMPARE(dm().Table2.state(), posted ? Table::State::Browse : Table::State::Insert);
        // A refused record stays for correction, with the typed number.
        QCOMPARE(number->text(), typed);
    }

    void exitCheckWarnsButKeepsTheValue() {
        open();
        auto* number = child<QLineEdit>("EditResourceNo");
        number->selectAll();
        QTest::keyClicks(number, "32");
        leave(number);
        QCOMPARE(messages(), std::vector<std::string>{std::string(str::ResourceAboveMaximum)});
        QCOMPARE(dm().Table2ResourceNo.asInteger(), 32);
        messages().clear();
        number->selectAll();
        QTest::keyClicks(number, "31");
        leave(number);
        QVERIFY(messages().empty());
    }

    // The data module clears the resource's bit from every task before the record goes.
    void deletingAResourceClearsItsBit() {
        world->addTask("t", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b10100); });
        world->addResource(5, "Scanner");
        open();
        dm().Table2.first();
        dm().Table2.moveTo(2);
        QCOMPARE(dm().Table2ResourceNo.asInteger(), 3);
        child<QToolButton>("Delete")->click();
        QCOMPARE(dm().Table2.recordCount(), 3);
        auto* grid = child<DBGrid>("DBGrid1");
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->cellText(2, 0), QString("5"));
        dm().Table1.first();
        QCOMPARE(dm().Table1Conflicts.asInteger(), 0b10000);
    }

    void gridShowsTheTable() {
        open();
        auto* grid = child<DBGrid>("DBGrid1");
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QString("Number"));
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QString("Waiting time"));
        QCOMPARE(grid->cellText(0, 1), QString("Printer"));
        QCOMPARE(grid->cellText(0, 2), QString("00:10:00"));
        grid->selectRow(0);
        QCOMPARE(child<QLineEdit>("EditResourceName")->text(), QString("Printer"));
        QCOMPARE(child<QLineEdit>("EditMaxWait")->text(), QString("00:10:00"));
    }

    void exitPostsTheWaitingTime() {
        open();
        auto* wait = child<QLineEdit>("EditMaxWait");
        QTest::keyClicks(wait, "0:20");
        child<QPushButton>("ButtonExit")->click();
        QVERIFY(!form->isVisible());
        dm().Table2.refresh();
        dm().Table2.last();
        QCOMPARE(dm().Table2MaxWait.asDateTime(), hm(0, 20));
    }

    void reportWalksTheResources() {
        open();
        dm().Table2.first();
        int pages = 0;
        form->showReport = [&](ReportForm& report) {
            QCOMPARE(report.caption(), QString("Conflicting resources"));
            TempDir out;
            pages = report.exportPdf(QString::fromStdString(out.file("r.pdf")));
        };
        child<QPushButton>("ReportButton")->click();
        QCOMPARE(pages, 1);
        QCOMPARE(dm().Table2.recNo(), 2);
        QCOMPARE(child<QLineEdit>("EditResourceName")->text(), QString("Archive"));
    }
};

QTEST_MAIN(ResourceEditorTest)
#include "resource_editor_test.moc"
