#include "ui/task_grid_model.h"

#include "language/translation.h"
#include "platform/strings.h"
#include "store/status_text.h"

namespace vektrin {

TaskGridModel::TaskGridModel(TDataCtrl& data, const RegionalSettings& regional, QObject* parent)
    : QAbstractTableModel(parent), data_(data), table_(data.Table1), regional_(regional) {
    table_.addObserver(this);
    rebuild();
}

TaskGridModel::~TaskGridModel() {
    table_.removeObserver(this);
}

int TaskGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TaskGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TaskGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return text(rows_[static_cast<size_t>(index.row())], index.column());
}

QString TaskGridModel::text(const Row& row, int column) const {
    switch (column) {
    case AppName:
        return plainText(row.name);
    case LastDate:
        return row.hasDate ? plainText(regional_.formatDate(row.date)) : QString();
    case LastTime:
        return row.hasTime ? plainText(regional_.formatTime(timePart(row.time))) : QString();
    // The calculated field Sost, from the same values; "Completed with a code " and its number.
    case Sost:
        return messageText(statusText(row.stopped, row.endCode, row.exitCode));
    default:
        return {};
    }
}

QVariant TaskGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    // The status title begins with blanks that place it: it is left-aligned, the others centred.
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == Sost ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole) return {};
    switch (section) {
    case AppName:
        return qs(str::ColumnTask);
    case LastDate:
        return qs(str::ColumnDate);
    case LastTime:
        return qs(str::ColumnTime);
    case Sost:
        return qs(str::ColumnStatus);
    default:
        return {};
    }
}

Qt::ItemFlags TaskGridModel::flags(const QModelIndex& index) const {
    // Shown, never edited in place: the task editor is where records change.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int TaskGridModel::currentRow() const {
    const int r = table_.recNo();
    return r < static_cast<int>(rows_.size()) ? r : -1;
}

TaskGridModel::Row TaskGridModel::readCurrent() const {
    Row row;
    row.name = data_.Table1AppName.asString();
    row.hasDate = !data_.Table1LastDate.isNull();
    row.date = data_.Table1LastDate.asDateTime();
    row.hasTime = !data_.Table1LastTime.isNull();
    row.time = data_.Table1LastTime.asDateTime();
    row.stopped = data_.Table1Stopped.asBoolean();
    row.endCode = data_.Table1EndCode.asFloat();
    row.exitCode = static_cast<std::int32_t>(data_.Table1ExitCode.asInteger());
    return row;
}

void TaskGridModel::rebuild() {
    if (rebuilding_) return;
    if (table_.state() != Table::State::Browse) {
        // Walking now would post the record being edited; wait until it is posted.
        stale_ = true;
        return;
    }
    stale_ = false;
    ++rebuilds_;
    std::vector<Row> fresh;
    fresh.reserve(static_cast<size_t>(table_.recordCount()));
    {
        rebuilding_ = true;
        const Table::Bookmark keep = table_.getBookmark();
        // Detached while walking, so nobody sees the cursor travel; the echo of re-attaching
        // comes back here and is ignored.
        table_.disableControls();
        try {
            for (table_.first(); !table_.eof(); table_.next())
                fresh.push_back(readCurrent());
        } catch (...) {
            // A row that cannot be read leaves the grid as it was.
            fresh = rows_;
        }
        if (keep != 0) table_.gotoBookmark(keep);
        table_.enableControls();
        rebuilding_ = false;
    }
    if (fresh.size() == rows_.size()) {
        // Same rows: repaint in place, so neither the selection nor the scroll position moves.
        if (fresh != rows_) {
            rows_ = std::move(fresh);
            if (!rows_.empty())
                emit dataChanged(index(0, 0),
                                 index(static_cast<int>(rows_.size()) - 1, ColumnCount - 1));
        }
    } else {
        beginResetModel();
        rows_ = std::move(fresh);
        endResetModel();
    }
    emit currentRowChanged(currentRow());
}

void TaskGridModel::dataSetChanged(Table&) {
    rebuild();
}

void TaskGridModel::stateChanged(Table&) {
    if (stale_ && !rebuilding_) rebuild();
}

void TaskGridModel::recordChanged(Table&) {
    if (rebuilding_) return;
    if (stale_ || static_cast<int>(rows_.size()) != table_.recordCount()) {
        rebuild();
        return;
    }
    // A record being inserted has no row yet; it gets one when it is posted.
    if (table_.state() == Table::State::Insert) return;
    const int r = table_.recNo();
    if (r < 0) return;
    Row fresh = readCurrent();
    Row& row = rows_[static_cast<size_t>(r)];
    if (!(fresh == row)) {
        row = std::move(fresh);
        emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
    }
    emit currentRowChanged(r);
}

} // namespace vektrin
