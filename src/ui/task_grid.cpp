#include "ui/task_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vektrin {
namespace {

// The row is selected whole, so the style's focus mark of the current cell is lost in it: the
// cell the arrows and Tab move gets a frame of its own while the grid has the focus.
class FocusedCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!(option.state & QStyle::State_HasFocus)) return;
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::HighlightedText), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
        painter->restore();
    }
};

} // namespace

TDBGrid::TDBGrid(TaskGridModel& model, QWidget* parent) : QTableView(parent), model_(model) {
    setObjectName("DBGrid1");
    setModel(&model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    setItemDelegate(new FocusedCellDelegate(this));
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section != model_.columnCount() - 1) fitLastColumn();
    });
    connect(&model_, &QAbstractItemModel::modelReset, this, &TDBGrid::fitLastColumn);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, &TDBGrid::fitLastColumn);
    connect(&model_, &QAbstractItemModel::dataChanged, this, &TDBGrid::fitLastColumn);

    connect(&model_, &TaskGridModel::currentRowChanged, this, &TDBGrid::followTable);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { rowChosen(current); });
    followTable(model_.currentRow());
}

void TDBGrid::setLastColumnMinimum(int width) {
    lastColumnMinimum_ = width;
    fitLastColumn();
}

void TDBGrid::fitLastColumn() {
    const int last = model_.columnCount() - 1;
    if (last < 0) return;
    QHeaderView* header = horizontalHeader();
    int others = 0;
    for (int c = 0; c < last; ++c)
        others += header->sectionSize(c);
    header->resizeSection(last, std::max({lastColumnMinimum_, sizeHintForColumn(last),
                                          viewport()->width() - others}));
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitLastColumn();
}

void TDBGrid::followTable(int row) {
    following_ = true;
    shownRow_ = row;
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
        clearSelection();
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex target = model_.index(row, column);
        if (currentIndex().row() != row)
            selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        else if (!selectionModel()->isRowSelected(row, {}))
            selectionModel()->select(target, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    }
    following_ = false;
}

void TDBGrid::rowChosen(const QModelIndex& current) {
    if (following_ || !current.isValid()) return;
    Table& table = model_.table();
    if (table.controlsDisabled()) {
        // Detached: the table stays where the pass has it, the grid where it was.
        const int v = verticalScrollBar()->value(), h = horizontalScrollBar()->value();
        followTable(shownRow_);
        verticalScrollBar()->setValue(v);
        horizontalScrollBar()->setValue(h);
        return;
    }
    if (current.row() == table.recNo()) return;
    try {
        table.moveTo(current.row());
    } catch (const std::exception& e) {
        followTable(model_.currentRow());
        emit moveFailed(QString::fromUtf8(e.what()));
    }
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete &&
        (modifiers == Qt::ControlModifier || modifiers == Qt::NoModifier)) {
        if (model_.currentRow() >= 0) emit deleteRequested();
        event->accept();
        return;
    }
    // Tab moves between cells; Ctrl+Tab (with Shift, backwards) leaves the grid.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        (modifiers & Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab &&
                                    !(modifiers & Qt::ShiftModifier));
        event->accept();
        return;
    }
    // Shift+F10 opens the grid menu as the Menu key does, at the current row.
    if (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
        const QModelIndex current = currentIndex();
        emit customContextMenuRequested(current.isValid() ? visualRect(current).center()
                                                          : QPoint(0, 0));
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace vektrin
