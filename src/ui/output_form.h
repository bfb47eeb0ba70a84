#pragma once
// The output viewer: what one run of a task printed, one line per row as the protocol viewer
// shows its lines, with the task's kept runs beside it (newest first). Read-only; it touches no
// table, so scheduling goes on while it is open.

#include "platform/run_output.h"
#include "ui/line_list.h"
#include "ui/protocol_lines_model.h"

#include <QDialog>
#include <QTimer>
#include <vector>

class QGroupBox;
class QListWidget;
class QPushButton;

namespace vektrin {

class Scheduler;

class TOutputForm : public QDialog {
    Q_OBJECT
  public:
    explicit TOutputForm(Scheduler& scheduler, QWidget* parent = nullptr);

    // Reads the task's runs again and shows the newest; the window is shown and raised.
    void showTask(std::int32_t appId, const std::string& appName);
    // Shows the run at that row of RunList (0: the newest).
    void showRun(int row);
    // Reads the runs again while the window is shown; a run begun or ended since shows, and the
    // run shown stays shown.
    void refreshRuns();
    void ExitButtonClick() { reject(); }

    std::int32_t appId() const { return appId_; }
    const std::vector<RunInfo>& runs() const { return runs_; }
    ProtocolLinesModel& lines() { return model_; }

    LineList* Lines = nullptr;
    QPushButton* ExitButton = nullptr;
    QGroupBox* RunsGroup = nullptr;
    QListWidget* RunList = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    Scheduler& scheduler_;
    ProtocolLinesModel model_;
    std::int32_t appId_ = 0;
    std::vector<RunInfo> runs_;
    QTimer runsTimer_;

    std::vector<RunInfo> readRuns();
    void fillRunList(int row);
};

} // namespace vektrin
