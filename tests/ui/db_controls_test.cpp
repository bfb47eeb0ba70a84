// The data-aware controls on real tables: what they show, what they store, what they refuse.

#include "platform/strings.h"
#include "ui/db_controls.h"
#include "ui/editor_test_fixture.h"

#include <QTest>
#include <QToolButton>

using namespace vektrin;
using namespace vektrin::test;

class DBControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EditorWorld> world;
    std::unique_ptr<QWidget> host;
    DataBinding* resources = nullptr;
    DataBinding* tasks = nullptr;

    TDataCtrl& dm() { return world->dm(); }
    std::vector<std::string>& messages() { return world->port.messages; }

  private slots:
    void init() {
        world = std::make_unique<EditorWorld>();
        world->addResource(1, "Printer", hm(0, 5));
        world->addResource(2, "Modem");
        world->addTask("job");
        host = std::make_unique<QWidget>();
        resources = new DataBinding(dm().Table2, world->port, world->regional, host.get());
        tasks = new DataBinding(dm().Table1, world->port, world->regional, host.get());
    }
    void cleanup() {
        host.reset();
        world.reset();
    }

    // Typed text goes into the record when the edit is left or Return is pressed.
    void editStoresOnLeavingAndReturn() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        QCOMPARE(name->text(), QString("Modem"));
        QCOMPARE(name->maxLength(), 80);
        QTest::keyClicks(name, "s");
        QVERIFY(name->pending());
        QCOMPARE(dm().Table2.state(), Table::State::Edit);
        QCOMPARE(dm().Table2ResourceName.asString(), std::string("Modem"));
        int exits = 0;
        connect(name, &DBEdit::exited, [&] { ++exits; });
        leave(name);
        QCOMPARE(exits, 1);
        QVERIFY(!name->pending());
        QCOMPARE(dm().Table2ResourceName.asString(), std::string("Modems"));
        QTest::keyClicks(name, "!");
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(dm().Table2ResourceName.asString(), std::string("Modems!"));
    }

    void escapeDropsTheUnsavedText() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        QTest::keyClicks(name, "xyz");
        QTest::keyClick(name, Qt::Key_Escape);
        QCOMPARE(name->text(), QString("Modem"));
        QVERIFY(!name->pending());
    }

    // Values the field cannot hold are refused with the data layer's message, under the field's
    // label; the edit keeps the text for correction and the record keeps its value.
    void refusedValues_data() {
        QTest::addColumn<int>("kind"); // 0 number, 1 time, 2 date
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("16-bit overflow") << 0 << "40000"
            << "Conflicting resource number :\r\n40000 is outside the allowed range -32768 to 32767";
        QTest::newRow("letters in a number") << 0 << "abc"
            << "Conflicting resource number :\r\n'abc' is not a whole number";
        QTest::newRow("hour 25") << 1 << "25:00" << "'25:00' is not a valid time";
        QTest::newRow("no time") << 1 << "soon" << "'soon' is not a valid time";
        QTest::newRow("31 February") << 2 << "31.02.2026" << "'31.02.2026' is not a valid date";
        // clang-format on
    }
    void refusedValues() {
        QFETCH(int, kind);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        DBEdit* edit = nullptr;
        Field* field = nullptr;
        if (kind == 0) edit = new DBEdit(*resources, *(field = &dm().Table2ResourceNo), host.get());
        if (kind == 1)
            edit = new DBTimeEdit(*resources, *(field = &dm().Table2MaxWait), host.get());
        if (kind == 2) edit = new DBDateEdit(*tasks, *(field = &dm().Table1StartDate), host.get());
        const std::string before = field->asString();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        leave(edit);
        QCOMPARE(messages(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(edit->text(), typed);
        QVERIFY(edit->pending());
        QCOMPARE(field->asString(), before);
    }

    void timeAndDateFollowTheRegionalFormats() {
        auto* wait = new DBTimeEdit(*resources, dm().Table2MaxWait, host.get());
        QCOMPARE(wait->text(), QString()); // Modem has no waiting time
        QTest::keyClicks(wait, "7:05");
        QTest::keyClick(wait, Qt::Key_Return);
        QCOMPARE(dm().Table2MaxWait.asDateTime(), hm(7, 5));
        QCOMPARE(wait->text(), QString("07:05:00"));
        wait->clear();
        QTest::keyClicks(wait, " ");
        QTest::keyClick(wait, Qt::Key_Return);
        QVERIFY(dm().Table2MaxWait.isNull());

        auto* start = new DBDateEdit(*tasks, dm().Table1StartDate, host.get());
        QTest::keyClicks(start, "17.03.2026");
        QTest::keyClick(start, Qt::Key_Return);
        QCOMPARE(dm().Table1StartDate.asDateTime(), date(2026, 3, 17));
        QCOMPARE(start->text(), QString("17.03.2026"));
    }

    // A change of another field repaints the other controls but not the text being typed.
    void unsavedTextSurvivesOtherFieldChanges() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        auto* number = new DBEdit(*resources, dm().Table2ResourceNo, host.get());
        QTest::keyClicks(name, "2");
        dm().Table2ResourceNo.setInteger(9);
        QCOMPARE(number->text(), QString("9"));
        QCOMPARE(name->text(), QString("Modem2"));
        QVERIFY(name->pending());
    }

    void checkBoxAndComboStoreAtOnce() {
        auto* box = new DBCheckBox(*tasks, dm().Table1WaitRes, "wait", host.get());
        auto* combo = new DBComboBox(*tasks, dm().Table1RunType, {"a", "b", "c", "d"}, host.get());
        QVERIFY(!box->isChecked());
        QCOMPARE(combo->currentIndex(), 0); // an empty field reads as 0
        box->click();
        QVERIFY(dm().Table1WaitRes.asBoolean());
        QCOMPARE(dm().Table1.state(), Table::State::Edit);
        int chosen = -1;
        connect(combo, &DBComboBox::chosen, [&](int i) { chosen = i; });
        combo->setCurrentIndex(2);
        QCOMPARE(dm().Table1RunType.asInteger(), 0); // only the operator's choice stores
        emit combo->activated(2);
        QCOMPARE(dm().Table1RunType.asInteger(), 2);
        QCOMPARE(chosen, 2);
        dm().Table1RunType.setInteger(4);
        QCOMPARE(combo->currentIndex(), -1);
    }

    void navigatorPostsPendingTextWhenMoving() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        auto* nav = new DBNavigator(*resources, host.get());
        nav->button(DBNavigator::nbFirst)->click();
        QCOMPARE(name->text(), QString("Printer"));
        QTest::keyClicks(name, "s");
        QList<int> clicked;
        connect(nav, &DBNavigator::clicked, [&](DBNavigator::Button b) { clicked << b; });
        nav->button(DBNavigator::nbNext)->click();
        QCOMPARE(clicked, QList<int>{DBNavigator::nbNext});
        QCOMPARE(name->text(), QString("Modem"));
        dm().Table2.refresh(); // what the file holds
        dm().Table2.first();
        QCOMPARE(dm().Table2ResourceName.asString(), std::string("Printers"));
    }

    void navigatorCancelDropsTheEdit() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        auto* nav = new DBNavigator(*resources, host.get());
        QTest::keyClicks(name, "zzz");
        QVERIFY(nav->button(DBNavigator::nbPost)->isEnabled());
        nav->button(DBNavigator::nbCancel)->click();
        QCOMPARE(name->text(), QString("Modem"));
        QCOMPARE(dm().Table2.state(), Table::State::Browse);
        QVERIFY(!nav->button(DBNavigator::nbPost)->isEnabled());
    }

    // A refused post keeps the record in editing and sends no clicked().
    void navigatorFailedPost() {
        auto* number = new DBEdit(*resources, dm().Table2ResourceNo, host.get());
        auto* nav = new DBNavigator(*resources, host.get());
        int clicked = 0;
        connect(nav, &DBNavigator::clicked, [&] { ++clicked; });
        nav->button(DBNavigator::nbInsert)->click();
        QCOMPARE(clicked, 1);
        QTest::keyClicks(number, "1");
        nav->button(DBNavigator::nbPost)->click();
        QCOMPARE(clicked, 1);
        QCOMPARE(messages(), std::vector<std::string>{std::string(str::ResourceNotUnique)});
        QCOMPARE(dm().Table2.state(), Table::State::Insert);
        QCOMPARE(number->text(), QString("1"));
    }

    void gridListsRowsAndMovesTheRecord() {
        auto* grid = new DBGrid(*resources,
                                {{&dm().Table2ResourceNo, "Number"},
                                 {&dm().Table2ResourceName, "Name"},
                                 {&dm().Table2MaxWait, "Wait"}},
                                host.get());
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(grid->cellText(0, 1), QString("Printer"));
        QCOMPARE(grid->cellText(0, 2), QString("00:05:00"));
        QCOMPARE(grid->cellText(1, 2), QString());
        grid->selectionModel()->setCurrentIndex(grid->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect);
        QCOMPARE(dm().Table2.recNo(), 0);
        // The record being edited shows its unsaved values; a post re-reads the rows.
        dm().Table2.edit();
        dm().Table2ResourceName.setString("Laser");
        QCOMPARE(grid->cellText(0, 1), QString("Laser"));
        dm().Table2.post();
        QCOMPARE(grid->cellText(0, 1), QString("Laser"));
        dm().Table2.append();
        dm().Table2ResourceNo.setInteger(7);
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->cellText(2, 0), QString("7"));
        dm().Table2.post();
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->cellText(2, 0), QString("7"));
    }

    // The controls die with their window in any order without touching a dead binding.
    void bindingMayGoFirst() {
        auto* name = new DBEdit(*resources, dm().Table2ResourceName, host.get());
        delete resources;
        resources = nullptr;
        dm().Table2.first();
        delete name;
    }
};

QTEST_MAIN(DBControlsTest)
#include "db_controls_test.moc"
