#pragma once
// The main window's task grid. Its selected row and the task table's current record are one:
// choosing a row moves the table there, and moving the table selects the row. While the table's
// controls are disabled (a pass is walking it) the grid neither moves nor moves the table.

#include "ui/task_grid_model.h"

#include <QTableView>

namespace vektrin {

class TDBGrid : public QTableView {
    Q_OBJECT
  public:
    explicit TDBGrid(TaskGridModel& model, QWidget* parent = nullptr);

    TaskGridModel& taskModel() { return model_; }

  signals:
    // Ctrl+Delete on a record.
    void deleteRequested();
    // Moving the table to a chosen row failed; the text is the error's.
    void moveFailed(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void followTable(int row);
    void rowChosen(const QModelIndex& current);

    TaskGridModel& model_;
    bool following_ = false;
    int shownRow_ = -1; // the record the grid showed as current when last attached
};

} // namespace vektrin
