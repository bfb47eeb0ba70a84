#pragma once
// The task parameter editor: one task of the task table at a time, with six schedule pages, the
// conflicting-resources list and the live check of the two conditions.

#include "ui/db_controls.h"

#include <QDialog>
#include <array>
#include <functional>
#include <string_view>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace vektrin {

class MessagePort;
class ReportForm;
class Scheduler;
class TDataCtrl;

class TParamForm : public QDialog {
    Q_OBJECT
  public:
    // messages: where the editor's own message boxes go (the main window).
    TParamForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);
    ~TParamForm() override;

    // Shows the current record and hangs the before-post handler on the task table; runs when
    // the window opens and whenever it gets the activation back from one of its own boxes or
    // the report preview.
    void FormActivate();
    // Takes the before-post handler off the task table again.
    void FormClose();
    // Closing is allowed only with well-formed conditions.
    bool FormCloseQuery();
    void DBNavigatorClick(DBNavigator::Button button);
    void ComboBoxIntervalChange(int index);
    void PagesInit(int kind);
    void EditHourTimeChange(QLineEdit* edit);
    void EditMonthDateChange(QLineEdit* edit);
    void RadioGroupWeekDaysClick(int item);
    void ConflictsListShow();
    void ConflictsListUpdate();
    void EditStartConditionChange();
    void EditEndConditionChange();
    bool GoodConditions();
    void CheckBoxStoppedExit();
    void ButtonExitClick();
    void ReportButtonClick();
    void Table1BeforePost(Table& dataSet);

    // Shows a report's preview and returns once it is closed.
    std::function<void(ReportForm&)> showReport;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    // The key filter of the minute and day edits (EditHourTimeKeyPress).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildPages();
    void showRecord();
    void message(std::string_view text);
    void reportError(std::string_view text);
    template <class Handler> bool guarded(Handler&& handler);
    void paintConditionLabel(QLabel* label, const QString& text);
    void settleStopped();
    void noteStoppedBaseline();
    // Whether the record being posted is the one the list shows, unchanged by anybody else.
    bool listOwnsPost() const;
    void resourcesChanged();

    Scheduler& scheduler_;
    MessagePort& messages_;
    TDataCtrl& dm_;
    DataBinding* binding_;
    std::function<void(Table&)> previousBeforePost_;
    bool beforePostInstalled_ = false;
    // Set while the pages and the list are filled from the record, so that their change
    // handlers do not store the shown values back.
    bool filling_ = false;
    // Stopped as the record holds it outside the operator's current edit; a tick of the box is
    // new when this is false.
    bool stoppedBaseline_ = false;
    // The record the conflicts list was filled for and the mask it holds for it.
    Table::Bookmark listBookmark_ = 0;
    bool listInserting_ = false;
    std::int64_t listMask_ = 0;
    bool walkingResources_ = false;
    bool reshowPending_ = false;
    bool shownOnce_ = false;
    DataBinding* resources_;

    DBNavigator* navigator_;
    QPushButton* ReportButton;
    QPushButton* ButtonExit;
    DBEdit* EditAppName;
    DBEdit* EditApplication;
    DBEdit* EditAppDirectory;
    DBComboBox* ComboBoxInterval;
    DBComboBox* ComboBoxRunType;
    DBComboBox* ComboBoxPriority;
    QWidget* PanelForPages;
    std::array<QGroupBox*, 6> pages_{};
    QLineEdit* EditHourStartTime;
    QLineEdit* EditHourEndTime;
    QLineEdit* EditMonthStartDate;
    QLineEdit* EditMonthEndDate;
    QGroupBox* RadioGroupWeekDays;
    QButtonGroup* weekDays_;
    DBCheckBox* CheckBoxStopped;
    DBCheckBox* DBCheckBoxInterupt;
    DBCheckBox* DBCheckBox1;
    QLabel* Label9;
    QLabel* Label10;
    DBEdit* EditStartCondition;
    DBEdit* EditEndCondition;
    QListWidget* ListBoxConflicts;
};

} // namespace vektrin
