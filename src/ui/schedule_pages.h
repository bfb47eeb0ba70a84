#pragma once
// The six schedule pages of the task and silence-period editors, one per interval kind, stacked
// in one panel (PanelForPages). They translate between the operator's minute of the hour, day of
// the week and day of the month and the date and time fields the scheduling pass reads; each
// editor gives its table's fields, its texts and how its minute and day edits check what is typed.

#include "engine/schedule.h"
#include "engine/task_fields.h"

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string_view>

class QButtonGroup;
class QGroupBox;
class QLineEdit;

namespace vektrin {

class DataBinding;
class DBComboBox;
class Field;
class Scheduler;
class Table;

class SchedulePages : public QWidget {
    Q_OBJECT
  public:
    // A page's caption and the labels of its start and end rows (the first page has no rows).
    struct PageTexts {
        std::string_view caption, start = {}, end = {};
    };
    struct Texts {
        std::array<PageTexts, 6> pages;
        std::string_view repeatInterval;
    };

    // What a minute or day edit does with its text: the editor's rules from the core
    // (fields::TaskMinute, fields::SilenceDay, ...), which vektrinctl checks with too.
    using EditCheck = fields::EditCheck;
    struct Checks {
        // Only digits and editing keys can be typed; every other character enters as "?".
        bool digitKeysOnly = false;
        EditCheck minute, day;
        // How a refusal reaches the operator.
        std::function<void(std::string_view)> refuse;
    };

    // The pages edit the columns of table's current record; where the table has no repeat
    // interval, its row is left out of every page.
    SchedulePages(Scheduler& scheduler, DataBinding& binding, Table& table, ScheduleColumns columns,
                  const Texts& texts, Checks checks);

    // The combo box of the six interval kinds, bound to field.
    static DBComboBox* intervalComboBox(DataBinding& binding, Field& field);

    // Shows the page of kind (none when kind is not 0..5), filling its plain edits from the
    // record without storing anything back.
    void PagesInit(int kind);
    // The minute edits (in the silence-period editor EditHourStartTimeChange and
    // EditHourEndTimeChange): EditHourStartTime writes StartTime, EditHourEndTime EndTime.
    void EditHourTimeChange(QLineEdit* edit);
    // The day edits (EditMonthStartDateChange, EditMonthEndDateChange): EditMonthStartDate writes
    // StartDate, EditMonthEndDate EndDate.
    void EditMonthDateChange(QLineEdit* edit);
    void RadioGroupWeekDaysClick(int item);

  protected:
    // The key filter of the minute and day edits (EditHourTimeKeyPress).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildPages(const Texts& texts);
    void plainEditChanged(QLineEdit* edit, const EditCheck& check, Field& field, bool minute);

    Scheduler& scheduler_;
    DataBinding& binding_;
    Table& table_;
    ScheduleColumns columns_;
    Checks checks_;
    // Set while a page is filled from the record, so that its change handlers do not store the
    // shown values back.
    bool filling_ = false;

    std::array<QGroupBox*, 6> pages_{};
    QLineEdit* EditHourStartTime = nullptr;
    QLineEdit* EditHourEndTime = nullptr;
    QLineEdit* EditMonthStartDate = nullptr;
    QLineEdit* EditMonthEndDate = nullptr;
    QGroupBox* RadioGroupWeekDays = nullptr;
    QButtonGroup* weekDays_ = nullptr;
};

} // namespace vektrin
