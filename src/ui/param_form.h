#pragma once
// The task parameter editor: one task of the task table at a time, with six schedule pages, the
// conflicting-resources list and the live check of the two conditions.

#include "ui/editor_support.h"

#include <functional>
#include <string_view>

class QLabel;
class QListWidget;

namespace vektrin {

class SchedulePages;

class TParamForm : public EditorForm {
    Q_OBJECT
  public:
    // messages: where the editor's own message boxes go (the main window).
    TParamForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);

    // Shows the current record and hangs the before-post handler on the task table; runs when
    // the window opens and whenever it gets the activation back from one of its own boxes or
    // the report preview.
    void FormActivate();
    // Closing is allowed only with well-formed conditions.
    bool FormCloseQuery();
    void DBNavigatorClick(DBNavigator::Button button);
    void ComboBoxIntervalChange(int index);
    // The schedule pages (PanelForPages) own PagesInit, EditHourTimeKeyPress,
    // EditHourTimeChange, EditMonthDateChange and RadioGroupWeekDaysClick.
    void ConflictsListShow();
    void ConflictsListUpdate();
    void EditStartConditionChange();
    void EditEndConditionChange();
    // Says when a condition is malformed, with the focus put in its edit.
    bool GoodConditions();
    void CheckBoxStoppedExit();
    void ButtonExitClick();
    void ReportButtonClick();
    // Stores what the window shows; the window's own record is refused with a malformed
    // condition, the focus put in its edit.
    void Table1BeforePost(Table& dataSet);

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void showRecord();
    void message(std::string_view text);
    void paintConditionLabel(QLabel* label, const QString& text);
    // The first condition edit with a malformed text, the launch condition's before the
    // termination condition's; null when both may be stored.
    DBEdit* malformedCondition();
    // Stores the Host as vektrinctl would; false for one it refuses.
    bool settleHost();
    void settleStopped();
    void noteStoppedBaseline();
    // Whether the record being posted is the one the list shows, unchanged by anybody else.
    bool listOwnsPost() const;
    void resourcesChanged();

    // Set while the list is filled from the record, so that its change handler does not store
    // the shown selection back.
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

    DBEdit* EditAppName;
    DBEdit* EditApplication;
    DBEdit* EditAppDirectory;
    DBEdit* EditHost;
    DBComboBox* ComboBoxInterval;
    DBComboBox* ComboBoxRunType;
    DBComboBox* ComboBoxPriority;
    SchedulePages* PanelForPages;
    DBCheckBox* CheckBoxStopped;
    DBCheckBox* DBCheckBoxInterupt;
    DBCheckBox* DBCheckBox1;
    QLabel* Label9;
    QLabel* Label10;
    DBEdit* EditStartCondition;
    DBEdit* EditEndCondition;
    QListWidget* ListBoxConflicts;
    DBCheckBox* DBCheckBoxCatchUp; // after the controls above, in place and in tab order
};

} // namespace vektrin
