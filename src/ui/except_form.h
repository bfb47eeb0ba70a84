#pragma once
// The silence-period editor ("Common work exceptions"): one period of the silence-period table at
// a time, with one schedule page per interval kind.

#include "ui/db_controls.h"

#include <QDialog>
#include <array>
#include <functional>
#include <string_view>

class QButtonGroup;
class QGroupBox;
class QPushButton;

namespace vektrin {

class MessagePort;
class ReportForm;
class Scheduler;
class TDataCtrl;

class TExceptForm : public QDialog {
    Q_OBJECT
  public:
    TExceptForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);
    ~TExceptForm() override;

    // Selects the period's kind and shows its page.
    void FormActivate();
    void FormClose();
    void DBNavigatorClick(DBNavigator::Button button);
    void ComboBoxIntervalChange(int index);
    void PagesInit(int kind);
    void EditHourStartTimeChange();
    void EditHourEndTimeChange();
    void EditMonthStartDateChange();
    void EditMonthEndDateChange();
    void RadioGroupWeekDaysClick(int item);
    void ButtonExitClick();
    void ReportButtonClick();

    // Shows a report's preview and returns once it is closed.
    std::function<void(ReportForm&)> showReport;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void buildPages();
    void minuteChanged(QLineEdit* edit, Field& field);
    void dayChanged(QLineEdit* edit, Field& field);
    void reportError(std::string_view text);
    template <class Handler> bool guarded(Handler&& handler);

    Scheduler& scheduler_;
    TDataCtrl& dm_;
    DataBinding* binding_;
    std::function<void(Table&)> previousBeforePost_;
    bool beforePostInstalled_ = false;
    bool filling_ = false;

    DBNavigator* navigator_;
    QPushButton* ReportButton;
    QPushButton* ButtonExit;
    DBComboBox* ComboBoxInterval;
    QWidget* PanelForPages;
    std::array<QGroupBox*, 6> pages_{};
    QLineEdit* EditHourStartTime;
    QLineEdit* EditHourEndTime;
    QLineEdit* EditMonthStartDate;
    QLineEdit* EditMonthEndDate;
    QGroupBox* RadioGroupWeekDays;
    QButtonGroup* weekDays_;
};

} // namespace vektrin
