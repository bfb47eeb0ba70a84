#pragma once
// The task table as the grid sees it: one row per record, the task name, the last event's date
// and time, and the status text. Rows are read once per change of the whole data set and kept;
// painting never moves the table's cursor.

#include "platform/regional.h"
#include "store/data_ctrl.h"

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace vektrin {

class TaskGridModel : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
  public:
    enum Column { AppName, LastDate, LastTime, Sost, ColumnCount };

    TaskGridModel(TDataCtrl& data, const RegionalSettings& regional, QObject* parent = nullptr);
    ~TaskGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Table& table() { return table_; }
    // The table's current record as a row, -1 when there is none.
    int currentRow() const;
    // How often the rows were read whole (a measure for tests and benches).
    int rebuilds() const { return rebuilds_; }

  signals:
    // The table's current record moved to row, or the rows were read again.
    void currentRowChanged(int row);

  private:
    // The stored values only: texts are made when a row is painted, so reading ten thousand
    // records formats nothing.
    struct Row {
        std::string name;
        DateTime date = 0, time = 0;
        bool hasDate = false, hasTime = false, stopped = false;
        double endCode = 0;
        std::int32_t exitCode = 0;
        bool operator==(const Row&) const = default;
    };

    void dataSetChanged(Table&) override;
    void recordChanged(Table&) override;
    void stateChanged(Table&) override;

    Row readCurrent() const;
    void rebuild();

    QString text(const Row& row, int column) const;

    TDataCtrl& data_;
    Table& table_;
    const RegionalSettings& regional_;
    std::vector<Row> rows_;
    bool rebuilding_ = false;
    // A change of the data set arrived while a record was being edited; read again on posting.
    bool stale_ = false;
    int rebuilds_ = 0;
};

} // namespace vektrin
