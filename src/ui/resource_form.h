#pragma once
// The conflicting-resources editor: the resources table with its number, name and longest
// waiting time, as edits for the current record and a grid of all records.

#include "ui/editor_support.h"

namespace vektrin {

class TResourceForm : public EditorForm {
    Q_OBJECT
  public:
    TResourceForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent = nullptr);

    // Warns when the number just entered is above 31; the value stays in the record.
    void EditResourceNoExit();
    void ButtonExitClick();
    void ReportButtonClick();

  private:
    DBEdit* EditResourceNo;
    DBEdit* EditResourceName;
    DBTimeEdit* EditMaxWait;
    DBGrid* DBGrid1;
};

} // namespace vektrin
