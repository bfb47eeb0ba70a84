// The schedule pages as both editors use them: the same minute and day edits, each editor with
// its own checks and texts. A whole text is put in at once, as a paste does, so the task editor's
// key filter stays out of the way and the edges of each check are reached.

#include "platform/strings.h"
#include "ui/editor_test_fixture.h"
#include "ui/except_form.h"
#include "ui/param_form.h"

#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

class SchedulePagesEditorTest : public QObject {
    Q_OBJECT

  private slots:
    void plainEdits_data() {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("errorReport");
        QTest::addColumn<QString>("shown");
        const std::string digits(str::OnlyDigitsAllowed);
        const std::string sixty(str::MinuteAboveSixty);
        const std::string above31(str::DayAboveThirtyOne);
        const std::string time = "Invalid argument to time encode.";
        const std::string date = "Invalid argument to date encode.";
        struct Case {
            const char* editor;
            const char* edit;
            const char* text;
            int stored;
            bool editing;
            std::string message;
            bool errorReport;
            const char* shown;
        };
        // Every record starts at minute 30 and day 5. A refusal in the task editor shows the
        // record again, so the edit reads the stored value once more.
        const Case cases[] = {
            {"task", "EditHourStartTime", "59", 59, true, "", false, "59"},
            {"task", "EditHourEndTime", "60", 30, false, sixty, false, "30"},
            {"task", "EditHourStartTime", "65540", 30, false, sixty, false, "30"},
            {"task", "EditHourStartTime", "-5", 30, true, digits, false, "30"},
            {"task", "EditHourEndTime", "", 30, false, "", false, ""},
            {"task", "EditHourStartTime", "1a", 30, false, digits, false, "30"},
            {"task", "EditMonthEndDate", "31", 31, true, "", false, "31"},
            {"task", "EditMonthStartDate", "32", 5, false, above31, false, "5"},
            {"task", "EditMonthStartDate", "65567", 31, true, "", false, "65567"},
            {"task", "EditMonthEndDate", "0", 5, true, digits, false, "5"},
            {"task", "EditMonthStartDate", "", 5, false, "", false, ""},
            {"silence", "EditHourStartTime", "59", 59, true, "", false, "59"},
            {"silence", "EditHourEndTime", "60", 30, true, time, true, "60"},
            {"silence", "EditHourStartTime", "65536", 0, true, "", false, "65536"},
            {"silence", "EditHourStartTime", "-1", 30, true, time, true, "-1"},
            {"silence", "EditHourEndTime", "", 0, true, "", false, "0"},
            {"silence", "EditHourStartTime", "1a", 0, true, "", false, "0"},
            {"silence", "EditMonthEndDate", "31", 31, true, "", false, "31"},
            {"silence", "EditMonthStartDate", "32", 5, true, date, true, "32"},
            {"silence", "EditMonthStartDate", "65537", 1, true, "", false, "65537"},
            {"silence", "EditMonthEndDate", "0", 5, true, date, true, "0"},
            {"silence", "EditMonthStartDate", "", 1, true, "", false, "1"},
        };
        for (const Case& c : cases) {
            const std::string name = std::string(c.editor) + ' ' + c.edit + " '" + c.text + "'";
            QTest::newRow(name.c_str())
                << c.editor << c.edit << c.text << c.stored << c.editing
                << QString::fromStdString(c.message) << c.errorReport << c.shown;
        }
    }
    void plainEdits() {
        QFETCH(QString, editor);
        QFETCH(QString, edit);
        QFETCH(QString, text);
        QFETCH(int, stored);
        QFETCH(bool, editing);
        QFETCH(QString, message);
        QFETCH(bool, errorReport);
        QFETCH(QString, shown);
        const bool task = editor == "task";
        const bool minutes = edit.startsWith("EditHour");
        EditorWorld world;
        TDataCtrl& dm = world.dm();
        Table& table = task ? dm.Table1 : dm.Table3;
        Field& startTime = task ? dm.Table1StartTime : dm.Table3StartTime;
        Field& endTime = task ? dm.Table1EndTime : dm.Table3EndTime;
        Field& startDate = task ? dm.Table1StartDate : dm.Table3StartDate;
        Field& endDate = task ? dm.Table1EndDate : dm.Table3EndDate;
        table.append();
        (task ? dm.Table1Interval : dm.Table3Interval).setInteger(minutes ? 1 : 4);
        startTime.setDateTime(minute(30));
        endTime.setDateTime(minute(30));
        startDate.setDateTime(dayOfYearOne(5));
        endDate.setDateTime(dayOfYearOne(5));
        table.post();

        std::unique_ptr<QDialog> form;
        if (task)
            form = std::make_unique<TParamForm>(*world.scheduler, world.port);
        else
            form = std::make_unique<TExceptForm>(*world.scheduler, world.port);
        form->show();
        auto* e = form->findChild<QLineEdit*>(edit);
        QVERIFY(e);
        QCOMPARE(e->text(), QString(minutes ? "30" : "5"));
        QCOMPARE(table.state(), Table::State::Browse);

        e->setText(text);
        Field& field = edit.endsWith("StartTime")   ? startTime
                       : edit.endsWith("EndTime")   ? endTime
                       : edit.endsWith("StartDate") ? startDate
                                                    : endDate;
        QCOMPARE(field.asDateTime(), minutes ? minute(stored) : dayOfYearOne(stored));
        QCOMPARE(table.state(), editing ? Table::State::Edit : Table::State::Browse);
        if (message.isEmpty()) {
            QCOMPARE(world.port.messages, std::vector<std::string>{});
        } else {
            QCOMPARE(world.port.messages, std::vector<std::string>{message.toStdString()});
            QCOMPARE(world.port.kinds.back() == MessageKind::Error, errorReport);
        }
        QCOMPARE(e->text(), shown);
    }
};

QTEST_MAIN(SchedulePagesEditorTest)
#include "schedule_pages_editor_test.moc"
