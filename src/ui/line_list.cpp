#include "ui/line_list.h"

#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vektrin {

// The rows are measured once per loading (the longest lines only); a row painted wider than that
// widens them all.
class LineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Grows while painting, hence mutable.
    mutable int width = 0;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize hint = QStyledItemDelegate::sizeHint(option, index);
        return {std::max(hint.width(), width), hint.height()};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const int needed = QStyledItemDelegate::sizeHint(option, index).width();
        if (needed > width) {
            width = needed;
            // Laid out again once this paint is over, not inside it.
            if (auto* view = qobject_cast<QAbstractItemView*>(parent()))
                QMetaObject::invokeMethod(view, &QAbstractItemView::doItemsLayout,
                                          Qt::QueuedConnection);
        }
    }
};

LineList::LineList(ProtocolLinesModel& model, QWidget* parent)
    : QListView(parent), model_(model), delegate_(new LineDelegate(this)) {
    setModel(&model_);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideNone);
    verticalScrollBar()->setTracking(true);
    setItemDelegate(delegate_);
}

void LineList::fitRowsToLines() {
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.font = font();
    option.fontMetrics = QFontMetrics(option.font);
    int widest = 0;
    for (int row : model_.longestLines())
        widest = std::max(
            widest, delegate_->QStyledItemDelegate::sizeHint(option, model_.index(row, 0)).width());
    delegate_->width = widest;
    // Laid out at once with the new width, in place of the layout the model's reset left pending.
    doItemsLayout();
}

} // namespace vektrin
