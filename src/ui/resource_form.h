#pragma once
// The conflicting-resources editor: the resources table with its number, name and longest
// waiting time, as edits for the current record and a grid of all records.

#include "ui/db_controls.h"

#include <QDialog>
#include <functional>
#include <string_view>

class QPushButton;

namespace vektrin {

class MessagePort;
class ReportForm;
class Scheduler;
class TDataCtrl;

class TResourceForm : public QDialog {
    Q_OBJECT
  public:
    TResourceForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);
    ~TResourceForm() override;

    // Warns when the number just entered is above 31; the value stays in the record.
    void EditResourceNoExit();
    void ButtonExitClick();
    void ReportButtonClick();

    // Shows a report's preview and returns once it is closed.
    std::function<void(ReportForm&)> showReport;

  protected:
    void done(int result) override;

  private:
    void FormClose();
    template <class Handler> bool guarded(Handler&& handler);

    Scheduler& scheduler_;
    MessagePort& messages_;
    TDataCtrl& dm_;
    DataBinding* binding_;
    std::function<void(Table&)> previousBeforePost_;

    DBNavigator* navigator_;
    QPushButton* ReportButton;
    QPushButton* ButtonExit;
    DBEdit* EditResourceNo;
    DBEdit* EditResourceName;
    DBTimeEdit* EditMaxWait;
    DBGrid* DBGrid1;
    bool closed_ = false;
};

} // namespace vektrin
