#pragma once
// The protocol viewer: the whole protocol file, one line per row, and its shortening to the lines
// of the last few days. One window for the whole run; every showing reads the file again.

#include "platform/date_time.h"
#include "ui/line_list.h"
#include "ui/protocol_lines_model.h"

#include <QDialog>

class QListView;
class QPushButton;
class QSpinBox;
class QGroupBox;

namespace vektrin {

class Scheduler;

class TProtocolForm : public QDialog {
    Q_OBJECT
  public:
    explicit TProtocolForm(Scheduler& scheduler, QWidget* parent = nullptr);
    ~TProtocolForm() override;

    // Loads the protocol file into the list and sets LastProtocolDate.
    void StringsCreate();
    // Back to one empty row.
    void StringsDestroy();
    // Shortens the protocol to the days asked for, counted back from the newest line shown.
    void ClearButtonClick();
    void ExitButtonClick() { reject(); }

    // The newest date a line began with at the last loading; 0 before it and when none did.
    DateTime LastProtocolDate = 0;

    ProtocolLinesModel& lines() { return model_; }
    LineList* StringGrid1 = nullptr;
    QPushButton* ExitButton = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QSpinBox* UpDown1 = nullptr; // its text field is Edit1
    QPushButton* ClearButton = nullptr;

    // Each showing opens centred on the screen, at the size the operator last gave it.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    Scheduler& scheduler_;
    ProtocolLinesModel model_;
};

} // namespace vektrin
