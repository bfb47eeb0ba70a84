// The task parameter editor, driven as the operator drives it: typing, clicking, navigating.

#include "platform/strings.h"
#include "reports/report_form.h"
#include "support/fake_messages.h"
#include "ui/editor_test_fixture.h"
#include "ui/param_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace vektrin;
using namespace vektrin::test;

namespace {

std::string s(std::string_view v) {
    return std::string(v);
}

} // namespace

class ParamEditorTest : public QObject, EditorHarness<TParamForm> {
    Q_OBJECT

    void open() {
        form = std::make_unique<TParamForm>(*world->scheduler, world->port);
        form->show();
    }
    // "launch|termination" of the first task as another connection reads the task file.
    std::string storedConditions() {
        RecordingMessages refusals;
        TDataCtrl file(world->tables(), refusals);
        file.Table1.first();
        return file.Table1StartCondition.asString() + "|" + file.Table1EndCondition.asString();
    }
    QColor labelColour(const char* name) {
        return child<QLabel>(name)->palette().color(QPalette::WindowText);
    }

  private slots:
    void init() { world = std::make_unique<EditorWorld>(); }
    void cleanup() { reset(); }

    // Every keystroke runs the change handler, so each intermediate text is stored or refused.
    void minuteEditStoresEachKeystroke_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("storedAfterEachKey");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shownAfter");
        const QString digits = QString::fromStdString(s(str::OnlyDigitsAllowed));
        const QString sixty = QString::fromStdString(s(str::MinuteAboveSixty));
        // clang-format off
        QTest::newRow("45") << "EditHourStartTime" << "45" << QList<int>{4, 45} << "" << "45";
        QTest::newRow("75 stops at 7") << "EditHourStartTime" << "75" << QList<int>{7, 7} << sixty
            << "7";
        QTest::newRow("60 stops at 6") << "EditHourEndTime" << "60" << QList<int>{6, 6} << sixty
            << "6";
        QTest::newRow("letter") << "EditHourStartTime" << "5x" << QList<int>{5, 5} << digits << "5";
        QTest::newRow("59 in the end edit") << "EditHourEndTime" << "59" << QList<int>{5, 59} << ""
            << "59";
        // clang-format on
    }
    void minuteEditStoresEachKeystroke() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QList<int>, storedAfterEachKey);
        QFETCH(QString, message);
        QFETCH(QString, shownAfter);
        world->addTask("hourly", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(1);
            d.Table1StartTime.setDateTime(minute(30));
            d.Table1EndTime.setDateTime(minute(40));
        });
        open();
        auto* e = child<QLineEdit>(edit.toLatin1().constData());
        Field& field = edit == "EditHourStartTime" ? dm().Table1StartTime : dm().Table1EndTime;
        e->clear(); // clearing stores nothing and says nothing
        QVERIFY(messages().empty());
        QCOMPARE(dm().Table1.state(), Table::State::Browse);
        for (int i = 0; i < typed.size(); ++i) {
            QTest::keyClick(e, typed[i].toLatin1());
            QCOMPARE(field.asDateTime(), minute(storedAfterEachKey[i]));
        }
        QCOMPARE(dm().Table1.state(), Table::State::Edit);
        if (message.isEmpty())
            QVERIFY(messages().empty());
        else
            QCOMPARE(messages(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(e->text(), shownAfter);
    }

    void minuteEditShowsTheMinuteOfAnyStoredTime() {
        world->addTask("hourly", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(1);
            d.Table1StartTime.setDateTime(hm(13, 20));
        });
        open();
        QCOMPARE(child<QLineEdit>("EditHourStartTime")->text(), QString("20"));
        QCOMPARE(child<QLineEdit>("EditHourEndTime")->text(), QString("0"));
        // Showing the record put nothing into editing.
        QCOMPARE(dm().Table1.state(), Table::State::Browse);
    }

    void dayEdits_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("storedDay");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shownAfter");
        const QString digits = QString::fromStdString(s(str::OnlyDigitsAllowed));
        const QString above = QString::fromStdString(s(str::DayAboveThirtyOne));
        // clang-format off
        QTest::newRow("31") << "EditMonthStartDate" << "31" << 31 << "" << "31";
        QTest::newRow("32") << "EditMonthStartDate" << "32" << 3 << above << "3";
        QTest::newRow("0") << "EditMonthEndDate" << "0" << 5 << digits << "5";
        QTest::newRow("letter") << "EditMonthEndDate" << "x" << 5 << digits << "5";
        // clang-format on
    }
    void dayEdits() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(int, storedDay);
        QFETCH(QString, message);
        QFETCH(QString, shownAfter);
        world->addTask("monthly", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(4);
            d.Table1StartDate.setDateTime(dayOfYearOne(5));
            d.Table1EndDate.setDateTime(dayOfYearOne(5));
        });
        open();
        auto* e = child<QLineEdit>(edit.toLatin1().constData());
        Field& field = edit == "EditMonthStartDate" ? dm().Table1StartDate : dm().Table1EndDate;
        QCOMPARE(e->text(), QString("5"));
        e->clear();
        QTest::keyClicks(e, typed);
        QCOMPARE(field.asDateTime(), dayOfYearOne(storedDay));
        if (message.isEmpty())
            QVERIFY(messages().empty());
        else
            QCOMPARE(QString::fromStdString(messages().front()), message);
        QCOMPARE(e->text(), shownAfter);
    }

    // Ctrl shortcuts in the digit-only edits edit the text instead of typing "?"; what they put
    // into the edit is still checked as typed text is. Each key of "keys" is pressed with Ctrl.
    void shortcutsInDigitEdits_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("clipboardAfter");
        QTest::addColumn<QString>("message");
        const QString digits = QString::fromStdString(s(str::OnlyDigitsAllowed));
        // clang-format off
        QTest::newRow("select all, copy") << "EditHourStartTime" << "" << "AC" << "45" << 45 << "45"
            << "";
        QTest::newRow("cut empties, storing nothing") << "EditHourStartTime" << "" << "AX" << ""
            << 45 << "45" << "";
        QTest::newRow("cut, undo") << "EditHourStartTime" << "" << "AXZ" << "45" << 45 << "45"
            << "";
        QTest::newRow("paste digits") << "EditHourEndTime" << "12" << "AV" << "12" << 12 << "12"
            << "";
        QTest::newRow("paste with a letter is refused") << "EditHourStartTime" << "12a" << "AV"
            << "45" << 45 << "12a" << digits;
        QTest::newRow("day edit: paste") << "EditMonthStartDate" << "17" << "AV" << "17" << 17
            << "17" << "";
        QTest::newRow("day edit: copy") << "EditMonthEndDate" << "" << "AC" << "5" << 5 << "5"
            << "";
        // clang-format on
    }
    void shortcutsInDigitEdits() {
        QFETCH(QString, edit);
        QFETCH(QString, clipboard);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        QFETCH(QString, clipboardAfter);
        QFETCH(QString, message);
        const bool minutes = edit.startsWith("EditHour");
        world->addTask("task", [&](TDataCtrl& d) {
            d.Table1Interval.setInteger(minutes ? 1 : 4);
            d.Table1StartTime.setDateTime(minute(45));
            d.Table1EndTime.setDateTime(minute(45));
            d.Table1StartDate.setDateTime(dayOfYearOne(5));
            d.Table1EndDate.setDateTime(dayOfYearOne(5));
        });
        open();
        auto* e = child<QLineEdit>(edit.toLatin1().constData());
        Field& field = edit == "EditHourStartTime"    ? dm().Table1StartTime
                       : edit == "EditHourEndTime"    ? dm().Table1EndTime
                       : edit == "EditMonthStartDate" ? dm().Table1StartDate
                                                      : dm().Table1EndDate;
        QApplication::clipboard()->setText(clipboard);
        e->setFocus();
        for (QChar key : keys)
            QTest::keyClick(e, static_cast<Qt::Key>(key.unicode()), Qt::ControlModifier);
        QCOMPARE(e->text(), shown);
        QCOMPARE(field.asDateTime(), minutes ? minute(stored) : dayOfYearOne(stored));
        QCOMPARE(QApplication::clipboard()->text(), clipboardAfter);
        if (message.isEmpty())
            QCOMPARE(messages(), std::vector<std::string>{});
        else
            QCOMPARE(messages(), std::vector<std::string>{message.toStdString()});
    }

    // The week day of the radio group is the day of month of StartDate modulo 7 (0 as 7).
    void weekDayShown_data() {
        QTest::addColumn<DateTime>("startDate");
        QTest::addColumn<QString>("shown");
        QTest::newRow("day 15") << date(2026, 5, 15) << "Monday";
        QTest::newRow("day 14") << date(2026, 5, 14) << "Sunday";
        QTest::newRow("day 3") << dayOfYearOne(3) << "Wednesday";
        QTest::newRow("day 10") << dayOfYearOne(10) << "Wednesday";
        QTest::newRow("day 7") << dayOfYearOne(7) << "Sunday";
    }
    void weekDayShown() {
        QFETCH(DateTime, startDate);
        QFETCH(QString, shown);
        world->addTask("weekly", [&](TDataCtrl& d) {
            d.Table1Interval.setInteger(3);
            d.Table1StartDate.setDateTime(startDate);
        });
        open();
        QRadioButton* checked = nullptr;
        for (auto* r : child<QGroupBox>("RadioGroupWeekDays")->findChildren<QRadioButton*>())
            if (r->isChecked()) checked = r;
        QVERIFY(checked);
        QCOMPARE(checked->text(), shown);
    }

    void weekDayStored_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<DateTime>("stored");
        QTest::newRow("Monday") << 0 << DateTime(-693593);
        QTest::newRow("Wednesday") << 2 << dayOfYearOne(3);
        QTest::newRow("Sunday") << 6 << DateTime(-693587);
    }
    void weekDayStored() {
        QFETCH(int, item);
        QFETCH(DateTime, stored);
        world->addTask("weekly", [](TDataCtrl& d) { d.Table1Interval.setInteger(3); });
        open();
        child<QRadioButton>(QStringLiteral("RadioGroupWeekDays%1").arg(item).toLatin1().constData())
            ->click();
        QCOMPARE(dm().Table1StartDate.asDateTime(), stored);
        QCOMPARE(dm().Table1.state(), Table::State::Edit);
    }

    // Changing the kind keeps the fields; the new page reads them its own way.
    void switchingKindShowsExistingValues() {
        world->addTask("hourly", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(1);
            d.Table1StartDate.setDateTime(date(2026, 3, 17));
            d.Table1EndDate.setDateTime(date(2026, 3, 28));
            d.Table1StartTime.setDateTime(hm(8, 15));
        });
        open();
        QVERIFY(child<QGroupBox>("GroupBox2")->isVisible());
        auto* combo = child<QComboBox>("ComboBoxInterval");
        combo->setCurrentIndex(4);
        emit combo->activated(4);
        QCOMPARE(dm().Table1Interval.asInteger(), 4);
        QCOMPARE(dm().Table1StartDate.asDateTime(), date(2026, 3, 17));
        QCOMPARE(dm().Table1StartTime.asDateTime(), hm(8, 15));
        for (int page = 1; page <= 6; ++page) {
            auto* box =
                child<QGroupBox>(QStringLiteral("GroupBox%1").arg(page).toLatin1().constData());
            QCOMPARE(box->isVisible(), page == 5);
            QCOMPARE(box->isEnabled(), page == 5);
        }
        QCOMPARE(child<QLineEdit>("EditMonthStartDate")->text(), QString("17"));
        QCOMPARE(child<QLineEdit>("EditMonthEndDate")->text(), QString("28"));
        QCOMPARE(child<QLineEdit>("DBEditMonthStartTime")->text(), QString("08:15:00"));
    }

    // A task made weekly stores the week day its page shows, the day the pass launches it on.
    void switchingToWeeklyStoresTheShownDay() {
        world->addTask("monthly", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(4);
            d.Table1StartDate.setDateTime(dayOfYearOne(15));
        });
        open();
        auto* combo = child<QComboBox>("ComboBoxInterval");
        combo->setCurrentIndex(3);
        emit combo->activated(3);
        QVERIFY(child<QRadioButton>("RadioGroupWeekDays0")->isChecked());
        QCOMPARE(dm().Table1StartDate.asDateTime(), dayOfYearOne(1));
    }

    // Walking down to yearly passes weekly, which keeps a week day in StartDate (02.01.0001): the
    // yearly window is today's instead.
    void switchingToYearlyStartsToday() {
        world->addTask("daily", [](TDataCtrl& d) { d.Table1Interval.setInteger(2); });
        open();
        for (int kind : {3, 4, 5}) {
            child<QComboBox>("ComboBoxInterval")->setCurrentIndex(kind);
            emit child<QComboBox>("ComboBoxInterval")->activated(kind);
        }
        const DateTime today = datePart(world->scheduler->clock().now());
        QCOMPARE(dm().Table1StartDate.asDateTime(), today);
        QCOMPARE(dm().Table1EndDate.asDateTime(), today);
    }

    void storedKindOutsideTheListShowsNoPage() {
        world->addTask("odd", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(9);
            d.Table1RunType.setInteger(7);
        });
        open();
        QCOMPARE(child<QComboBox>("ComboBoxInterval")->currentIndex(), -1);
        QCOMPARE(child<QComboBox>("ComboBoxRunType")->currentIndex(), -1);
        for (int page = 1; page <= 6; ++page)
            QVERIFY(!child<QGroupBox>(QStringLiteral("GroupBox%1").arg(page).toLatin1().constData())
                         ->isVisible());
    }

    void resourcesListAndMask() {
        world->addResource(1, "Printer");
        world->addResource(2, "Modem");
        world->addResource(3, "Archive");
        world->addTask("t", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b101); });
        open();
        auto* list = child<QListWidget>("ListBoxConflicts");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text(), QString("1 Printer"));
        QCOMPARE(list->item(1)->text(), QString("2 Modem"));
        QVERIFY(list->item(0)->isSelected());
        QVERIFY(!list->item(1)->isSelected());
        QVERIFY(list->item(2)->isSelected());
        QCOMPARE(dm().Table1.state(), Table::State::Browse);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(1)).center());
        QCOMPARE(dm().Table1Conflicts.asInteger(), 7);
        QCOMPARE(dm().Table1.state(), Table::State::Edit);
        // A click is a toggle.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(dm().Table1Conflicts.asInteger(), 6);
        child<QToolButton>("Post")->click();
        QCOMPARE(dm().Table1.state(), Table::State::Browse);
        QCOMPARE(dm().Table1Conflicts.asInteger(), 6);
    }

    // Whoever posts the shown task while the editor is open stores the list's selection; once
    // the editor is closed, posts leave Conflicts alone.
    void postingStoresTheListSelection() {
        world->addResource(4, "Tape");
        world->addTask("t", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0); });
        open();
        child<QListWidget>("ListBoxConflicts")->item(0)->setSelected(true);
        dm().Table1AppName.setString("renamed");
        dm().Table1.post();
        QCOMPARE(dm().Table1Conflicts.asInteger(), 8);
        form->close();
        form.reset();
        QVERIFY(!dm().Table1.beforePost);
        dm().Table1.edit();
        dm().Table1Conflicts.setInteger(1);
        dm().Table1.post();
        QCOMPARE(dm().Table1Conflicts.asInteger(), 1);
    }

    // The resource editor, opened from the tray over this one, deletes resource 3: its walk
    // posts every task, which must keep its own mask less that bit, not the list's selection.
    void resourceDeletedWhileOpen() {
        world->addResource(1, "Printer");
        world->addResource(2, "Modem");
        world->addResource(3, "Archive");
        world->addTask("a", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b101); });
        world->addTask("b", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b110); });
        world->addTask("c", [](TDataCtrl& d) { d.Table1Conflicts.setInteger(0b100); });
        open();
        child<QToolButton>("First")->click();
        dm().Table2.last();
        dm().Table2.deleteRecord();
        QList<std::int64_t> masks;
        for (dm().Table1.first(); !dm().Table1.eof(); dm().Table1.next())
            masks << dm().Table1Conflicts.asInteger();
        QCOMPARE(masks, (QList<std::int64_t>{0b001, 0b010, 0b000}));
        // The window shows the record again, with a list that matches the resources.
        QCoreApplication::processEvents();
        auto* list = child<QListWidget>("ListBoxConflicts");
        QCOMPARE(list->count(), 2);
        QCOMPARE(child<QLineEdit>("EditAppName")->text(), QString("c"));
        QVERIFY(!list->item(0)->isSelected());
    }

    void insertAppendsAtTheEnd() {
        world->addTask("one");
        world->addTask("two");
        world->addTask("three");
        open();
        child<QToolButton>("First")->click();
        child<QToolButton>("Insert")->click();
        QCOMPARE(dm().Table1.state(), Table::State::Insert);
        // An empty kind reads as "Every minute" with its page.
        QCOMPARE(child<QComboBox>("ComboBoxInterval")->currentIndex(), 0);
        QVERIFY(child<QGroupBox>("GroupBox1")->isVisible());
        QTest::keyClicks(child<QLineEdit>("EditAppName"), "four");
        child<QToolButton>("Post")->click();
        QCOMPARE(dm().Table1.recordCount(), 4);
        QCOMPARE(dm().Table1.recNo(), 3);
        QCOMPARE(dm().Table1AppName.asString(), std::string("four"));
        dm().Table1.first();
        QCOMPARE(dm().Table1AppName.asString(), std::string("one"));
    }

    void liveConditionColour_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        // clang-format off
        QTest::newRow("true") << "EditStartCondition" << "Label9" << "1" << QColor(0, 128, 0);
        // amber, readable
        QTest::newRow("false") << "EditStartCondition" << "Label9" << "0"
            << QColor(0x8A, 0x5A, 0x00);
        QTest::newRow("malformed") << "EditStartCondition" << "Label9" << "1+" << QColor(255, 0, 0);
        QTest::newRow("blank") << "EditStartCondition" << "Label9" << "  " << QColor(0, 0, 0);
        QTest::newRow("end true") << "EditEndCondition" << "Label10" << " 2 " << QColor(0, 128, 0);
        QTest::newRow("end malformed") << "EditEndCondition" << "Label10" << "(1"
            << QColor(255, 0, 0);
        // clang-format on
    }
    void liveConditionColour() {
        QFETCH(QString, edit);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        world->addTask("t");
        open();
        QCOMPARE(labelColour(label.toLatin1().constData()), QColor(0, 0, 0));
        QTest::keyClicks(child<QLineEdit>(edit.toLatin1().constData()), text);
        QCOMPARE(labelColour(label.toLatin1().constData()), colour);
        QVERIFY(messages().empty());
    }

    // A floating-point error is not caught by the check: the general error report shows it and
    // the label keeps its colour.
    void floatingPointErrorGoesToTheErrorReport() {
        world->addTask("t");
        open();
        auto* edit = child<QLineEdit>("EditStartCondition");
        QTest::keyClicks(edit, "1");
        QCOMPARE(labelColour("Label9"), QColor(0, 128, 0));
        edit->setText("1E308*10");
        QCOMPARE(messages(), std::vector<std::string>{"Floating point overflow."});
        QCOMPARE(world->port.kinds.back(), MessageKind::Error);
        QCOMPARE(labelColour("Label9"), QColor(0, 128, 0));
        // A close request meets the same error and the window stays open.
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
    }

    void closingRefusedWithMalformedCondition() {
        world->addTask("t");
        open();
        QTest::keyClicks(child<QLineEdit>("EditEndCondition"), "1+");
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(messages(), std::vector<std::string>{s(str::BadConditionNotation)});
        QTest::keyClick(child<QLineEdit>("EditEndCondition"), Qt::Key_Backspace);
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
    }

    // The navigation has happened; the message is the check's only effect.
    void navigatorWarnsAboutMalformedCondition() {
        world->addTask("one", [](TDataCtrl& d) { d.Table1StartCondition.setString("1+"); });
        world->addTask("two", [](TDataCtrl& d) { d.Table1Interval.setInteger(2); });
        open();
        child<QToolButton>("First")->click();
        QCOMPARE(messages(), std::vector<std::string>{s(str::BadConditionNotation)});
        QCOMPARE(dm().Table1AppName.asString(), std::string("one"));
        messages().clear();
        child<QToolButton>("Next")->click();
        QVERIFY(messages().empty());
        QCOMPARE(dm().Table1AppName.asString(), std::string("two"));
        QVERIFY(child<QGroupBox>("GroupBox3")->isVisible());
    }

    void tickingStoppedStopsTheTask() {
        world->addTask("job", [](TDataCtrl& d) { d.Table1EndCode.setFloat(1); });
        open();
        auto* box = child<QCheckBox>("CheckBoxStopped");
        box->click();
        QCOMPARE(world->protocolLines("Scheduling of <job> is stopped."), 0);
        leave(box);
        QCOMPARE(world->protocolLines("Scheduling of <job> is stopped."), 1);
        QCOMPARE(dm().Table1.state(), Table::State::Browse);
        QVERIFY(dm().Table1Stopped.asBoolean());
        QCOMPARE(dm().Table1EndCode.asFloat(), 5.0);
        QVERIFY(box->isChecked());
        // Leaving the box again changes nothing: the tick is not new any more.
        leave(box);
        QCOMPARE(world->protocolLines("Scheduling of <job> is stopped."), 1);
    }

    void untickingOnlyStoresFalse() {
        world->addTask("job", [](TDataCtrl& d) {
            d.Table1Stopped.setBoolean(true);
            d.Table1EndCode.setFloat(5);
        });
        open();
        auto* box = child<QCheckBox>("CheckBoxStopped");
        box->click();
        leave(box);
        QVERIFY(!dm().Table1Stopped.asBoolean());
        QCOMPARE(dm().Table1EndCode.asFloat(), 5.0);
        QCOMPARE(world->protocolLines("Scheduling of <job>"), 0);
        // Ticking it again before the record is stored restores the record's own state only.
        box->click();
        leave(box);
        QVERIFY(dm().Table1Stopped.asBoolean());
        QCOMPARE(world->protocolLines("Scheduling of <job>"), 0);
    }

    // Moving on with the navigator must not store a fresh tick without its protocol line, nor
    // lose a name typed before it.
    void freshTickIsSettledBeforeMoving() {
        world->addTask("a");
        world->addTask("b");
        open();
        child<QToolButton>("First")->click();
        QTest::keyClicks(child<QLineEdit>("EditAppName"), "1");
        child<QCheckBox>("CheckBoxStopped")->click();
        child<QToolButton>("Next")->click();
        QCOMPARE(world->protocolLines("Scheduling of <a1> is stopped."), 1);
        dm().Table1.first();
        QCOMPARE(dm().Table1AppName.asString(), std::string("a1"));
        QVERIFY(dm().Table1Stopped.asBoolean());
        QCOMPARE(dm().Table1EndCode.asFloat(), 5.0);
    }

    void cancelDropsAFreshTick() {
        world->addTask("a");
        open();
        child<QCheckBox>("CheckBoxStopped")->click();
        child<QToolButton>("Cancel")->click();
        QVERIFY(!dm().Table1Stopped.asBoolean());
        QVERIFY(!child<QCheckBox>("CheckBoxStopped")->isChecked());
        QCOMPARE(world->protocolLines("Scheduling of <a>"), 0);
    }

    void exitPostsUnpostedChanges() {
        world->addTask("old");
        open();
        auto* name = child<QLineEdit>("EditAppName");
        name->selectAll();
        QTest::keyClicks(name, "new");
        child<QPushButton>("ButtonExit")->click();
        QVERIFY(!form->isVisible());
        QCOMPARE(dm().Table1.state(), Table::State::Browse);
        dm().Table1.refresh();
        QCOMPARE(dm().Table1AppName.asString(), std::string("new"));
    }

    // A value confirmed with Return is not stored by closing the window, then or later.
    void closingStoresNothing() {
        world->addTask("one");
        open();
        QTest::keyClicks(child<QLineEdit>("EditAppName"), "x\r");
        form->close();
        form.reset();
        dm().Table1.refresh(); // what the file holds; refused over an edit left open
        QCOMPARE(dm().Table1AppName.asString(), std::string("one"));
    }

    // Every way of storing the record refuses a malformed condition, says so once and leaves the
    // operator in its edit; a condition that is merely false is stored.
    void storingRefusesMalformedConditions_data() {
        QTest::addColumn<QString>("way"); // a button of the strip, or closing the window
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("text");
        for (const char* way : {"Next", "ButtonExit", "ReportButton", "close"}) {
            QTest::addRow("%s, launch", way) << way << "EditStartCondition"
                                             << "1+";
            QTest::addRow("%s, termination", way) << way << "EditEndCondition"
                                                  << "(1";
            QTest::addRow("%s, false", way) << way << "EditEndCondition"
                                            << "GT(1-2)";
        }
    }
    void storingRefusesMalformedConditions() {
        QFETCH(QString, way);
        QFETCH(QString, edit);
        QFETCH(QString, text);
        world->addTask("first");
        world->addTask("second");
        open();
        child<QToolButton>("First")->click();
        form->askSave = [] { return EditorForm::SaveAnswer::Yes; };
        form->showReport = [](ReportForm&) {};
        auto* condition = child<QLineEdit>(qPrintable(edit));
        QTest::keyClicks(condition, text); // the focus stays in the task's name
        way == "close" ? void(form->close()) : child<QAbstractButton>(qPrintable(way))->click();
        const bool malformed = text != "GT(1-2)";
        QCOMPARE(storedConditions(), std::string(malformed ? "|" : "|GT(1-2)"));
        QCOMPARE(messages().size(), malformed ? 1u : 0u);
        QCOMPARE(form->focusWidget() == condition, malformed);
    }

    // The Host is stored as vektrinctl stores it; a name no workstation can have is refused, as
    // is a command whose quote is left open.
    void storingTakesWhatVektrinctlTakes_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // "!": refused, the record keeps what it had
        QTest::addColumn<QString>("said");
        const QString badHost = QString::fromStdString(s(str::BadHostName));
        for (const auto& [typed, stored] :
             {std::pair{" Any", ""}, {"WS-1.lan", "WS-1.lan"}, {"*", "*"}, {"ws 1", "!"}})
            QTest::newRow(typed) << "EditHost" << QString(typed) << QString(stored)
                                 << (QString(stored) == "!" ? badHost : QString());
        QTest::newRow("open quote")
            << "EditApplication"
            << "sh -c 'echo"
            << "!" << QString::fromStdString(str::fill(str::CommandQuoteOpen, {"'", "7"}));
        QTest::newRow("closed quotes") << "EditApplication"
                                       << "sh -c 'echo \"a\"'"
                                       << "sh -c 'echo \"a\"'" << QString();
    }
    void storingTakesWhatVektrinctlTakes() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, said);
        world->addTask("t");
        open();
        auto* field = child<QLineEdit>(edit.toUtf8().constData());
        field->clear();
        QTest::keyClicks(field, typed);
        child<QAbstractButton>("ButtonExit")->click();
        const bool refused = stored == "!";
        QCOMPARE(messages(), said.isEmpty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{said.toStdString()});
        QCOMPARE(form->focusWidget() == field, refused);
        RecordingMessages quiet;
        TDataCtrl file(world->tables(), quiet);
        file.Table1.first();
        if (edit == "EditHost") {
            QCOMPARE(QString::fromStdString(file.Table1Host.asString()), refused ? "" : stored);
            QCOMPARE(file.Table1Host.isNull(), refused || stored.isEmpty()); // "any" is no text
        } else {
            QCOMPARE(QString::fromStdString(file.Table1Application.asString()),
                     refused ? QString() : stored);
        }
    }

    // The report walks the table and leaves it on the last record, which the window then shows.
    void reportLeavesTheLastRecordShown() {
        world->addTask("first", [](TDataCtrl& d) { d.Table1Interval.setInteger(1); });
        world->addTask("last", [](TDataCtrl& d) { d.Table1Interval.setInteger(4); });
        open();
        child<QToolButton>("First")->click();
        int previews = 0;
        form->showReport = [&](ReportForm& report) {
            ++previews;
            QCOMPARE(report.caption(), QString("Tasks"));
            TempDir out;
            QVERIFY(report.exportPdf(QString::fromStdString(out.file("r.pdf"))) >= 1);
        };
        child<QPushButton>("ReportButton")->click();
        QCOMPARE(previews, 1);
        QCOMPARE(dm().Table1AppName.asString(), std::string("last"));
        QCOMPARE(child<QLineEdit>("EditAppName")->text(), QString("last"));
        QVERIFY(child<QGroupBox>("GroupBox5")->isVisible());
    }

    void deleteAsksFirst() {
        world->addTask("a");
        world->addTask("b");
        open();
        auto* nav = form->findChild<DBNavigator*>("DBNavigator");
        QVERIFY(nav);
        QString asked;
        bool answer = false;
        nav->confirmDelete = [&](std::string_view q) {
            asked = QString::fromUtf8(q.data(), q.size());
            return answer;
        };
        child<QToolButton>("Delete")->click();
        QCOMPARE(asked, QString("Delete record?"));
        QCOMPARE(dm().Table1.recordCount(), 2);
        answer = true;
        child<QToolButton>("Delete")->click();
        QCOMPARE(dm().Table1.recordCount(), 1);
    }
};

QTEST_MAIN(ParamEditorTest)
#include "param_editor_test.moc"
