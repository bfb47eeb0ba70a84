// The silence-period editor: its minute and day edits reset what is no number and send what
// cannot be encoded to the general error report.

#include "platform/strings.h"
#include "ui/editor_test_fixture.h"
#include "ui/except_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace vektrin;
using namespace vektrin::test;

class ExceptEditorTest : public QObject, EditorHarness<TExceptForm> {
    Q_OBJECT

    void open(int kind) {
        world->addPeriod([&](TDataCtrl& d) {
            d.Table3Interval.setInteger(kind);
            d.Table3StartTime.setDateTime(minute(30));
            d.Table3StartDate.setDateTime(dayOfYearOne(9));
        });
        form = std::make_unique<TExceptForm>(*world->scheduler, world->port);
        form->show();
    }

  private slots:
    void init() { world = std::make_unique<EditorWorld>(); }
    void cleanup() { reset(); }

    void minuteEdit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("59") << "59" << 59 << "" << "59";
        QTest::newRow("60") << "60" << 6 << "Invalid argument to time encode." << "60";
        QTest::newRow("letter") << "x" << 0 << "" << "0";
        QTest::newRow("7 then letter") << "7y" << 0 << "" << "0";
        // clang-format on
    }
    void minuteEdit() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, error);
        QFETCH(QString, shown);
        open(1);
        auto* edit = child<QLineEdit>("EditHourStartTime");
        QCOMPARE(edit->text(), QString("30"));
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QCOMPARE(dm().Table3StartTime.asDateTime(), minute(stored));
        QCOMPARE(edit->text(), shown);
        if (error.isEmpty()) {
            QVERIFY(messages().empty());
        } else {
            QCOMPARE(messages(), std::vector<std::string>{error.toStdString()});
            QCOMPARE(world->port.kinds.back(), MessageKind::Error);
        }
    }

    // Clearing the edit is a text that is no number: it shows "0" at once and stores minute 0.
    void clearingTheMinuteStoresZero() {
        open(1);
        auto* edit = child<QLineEdit>("EditHourEndTime");
        dm().Table3.edit();
        dm().Table3EndTime.setDateTime(minute(45));
        edit->setText("45");
        edit->clear();
        QCOMPARE(edit->text(), QString("0"));
        QCOMPARE(dm().Table3EndTime.asDateTime(), minute(0));
        QVERIFY(!dm().Table3EndTime.isNull());
    }

    void dayEdit_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("31") << "EditMonthStartDate" << "31" << 31 << "" << "31";
        QTest::newRow("32") << "EditMonthStartDate" << "32" << 3
            << "Invalid argument to date encode." << "32";
        QTest::newRow("0") << "EditMonthStartDate" << "0" << 9 << "Invalid argument to date encode."
            << "0";
        QTest::newRow("letter") << "EditMonthStartDate" << "x" << 1 << "" << "1";
        QTest::newRow("end 15") << "EditMonthEndDate" << "15" << 15 << "" << "15";
        // clang-format on
    }
    void dayEdit() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, error);
        QFETCH(QString, shown);
        open(4);
        auto* e = child<QLineEdit>(edit);
        Field& field = edit == "EditMonthStartDate" ? dm().Table3StartDate : dm().Table3EndDate;
        e->selectAll();
        QTest::keyClicks(e, typed);
        QCOMPARE(field.asDateTime(), dayOfYearOne(stored));
        QCOMPARE(e->text(), shown);
        if (error.isEmpty())
            QVERIFY(messages().empty());
        else
            QCOMPARE(messages(), std::vector<std::string>{error.toStdString()});
    }

    void weekDays() {
        open(3);
        // Day 9 reads as 9 modulo 7 = 2: Tuesday.
        QVERIFY(child<QRadioButton>("RadioGroupWeekDays1")->isChecked());
        child<QRadioButton>("RadioGroupWeekDays2")->click();
        QCOMPARE(dm().Table3StartDate.asDateTime(), dayOfYearOne(3));
        dm().Table3.cancel();
        dm().Table3.edit();
        dm().Table3StartDate.setDateTime(dayOfYearOne(10));
        form->FormActivate();
        QVERIFY(child<QRadioButton>("RadioGroupWeekDays2")->isChecked());
    }

    void kindChoosesThePage() {
        open(2);
        QVERIFY(child<QGroupBox>("GroupBox3")->isVisible());
        QCOMPARE(child<QLineEdit>("DBEditDayStartTime")->text(), QString("00:30:00"));
        auto* combo = child<QComboBox>("ComboBoxInterval");
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QCOMPARE(dm().Table3Interval.asInteger(), 1);
        QVERIFY(!child<QGroupBox>("GroupBox3")->isVisible());
        QVERIFY(child<QGroupBox>("GroupBox2")->isVisible());
        QCOMPARE(child<QLineEdit>("EditHourStartTime")->text(), QString("30"));
        // Showing the values stored nothing back.
        QVERIFY(messages().empty());
        // Made weekly, day 9 is stored as the Tuesday the page shows.
        combo->setCurrentIndex(3);
        emit combo->activated(3);
        QCOMPARE(dm().Table3StartDate.asDateTime(), dayOfYearOne(2));
    }

    void insertAppendsAndExitPosts() {
        open(0);
        world->addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(2); });
        dm().Table3.first();
        child<QToolButton>("Insert")->click();
        QCOMPARE(dm().Table3.state(), Table::State::Insert);
        QVERIFY(child<QGroupBox>("GroupBox1")->isVisible());
        auto* combo = child<QComboBox>("ComboBoxInterval");
        combo->setCurrentIndex(5);
        emit combo->activated(5);
        auto* start = child<QLineEdit>("DBEditYearStartDate");
        start->selectAll(); // the window opens today
        QTest::keyClicks(start, "01.02.2027");
        child<QPushButton>("ButtonExit")->click();
        QVERIFY(!form->isVisible());
        QCOMPARE(dm().Table3.recordCount(), 3);
        dm().Table3.last();
        QCOMPARE(dm().Table3Interval.asInteger(), 5);
        QCOMPARE(dm().Table3StartDate.asDateTime(), date(2027, 2, 1));
    }
};

QTEST_MAIN(ExceptEditorTest)
#include "except_editor_test.moc"
