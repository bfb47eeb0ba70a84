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
    // The status column is never narrower than this nor than its longest text shown, and takes
    // the room a wider window gives.
    void setLastColumnMinimum(int width);

  signals:
    // Delete (or Ctrl+Delete) on a record.
    void deleteRequested();
    // Moving the table to a chosen row failed; the text is the error's.
    void moveFailed(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void followTable(int row);
    void rowChosen(const QModelIndex& current);
    void fitLastColumn();

    TaskGridModel& model_;
    bool following_ = false;
    int shownRow_ = -1; // the record the grid showed as current when last attached
    int lastColumnMinimum_ = 0;
};

} // namespace vektrin
