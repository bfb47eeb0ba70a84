#pragma once
// The silence-period editor ("Common work exceptions"): one period of the silence-period table at
// a time, with one schedule page per interval kind.

#include "ui/editor_support.h"

namespace vektrin {

class SchedulePages;

class TExceptForm : public EditorForm {
    Q_OBJECT
  public:
    TExceptForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);

    // Selects the period's kind and shows its page.
    void FormActivate();
    void DBNavigatorClick(DBNavigator::Button button);
    void ComboBoxIntervalChange(int index);
    // The schedule pages (PanelForPages) own PagesInit, the minute and day edits' change
    // handlers and RadioGroupWeekDaysClick.
    void ButtonExitClick();
    void ReportButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    DBComboBox* ComboBoxInterval;
    SchedulePages* PanelForPages;
};

} // namespace vektrin
