#include "reports/banded_report.h"

#include <QFontMetrics>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>

namespace vektrin {
namespace {

constexpr double MmPerInch = 25.4;
constexpr double LeftMargin = 25, TopMargin = 10, RightMargin = 10, BottomMargin = 10;

// Keeps the table's bound controls quiet while the report walks it, and lets them follow once.
class ControlsDisabled {
  public:
    explicit ControlsDisabled(Table& table) : table_(table) { table_.disableControls(); }
    ~ControlsDisabled() { table_.enableControls(); }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

  private:
    Table& table_;
};

} // namespace

Band& Band::label(QRectF rect, QString text, QFont font, Qt::Alignment alignment) {
    BandItem& item = add(BandItem::Kind::Label, rect, std::move(font), alignment);
    item.text = std::move(text);
    return *this;
}

BandItem& Band::add(BandItem::Kind kind, QRectF rect, QFont font, Qt::Alignment alignment) {
    BandItem& item = items.emplace_back();
    item.kind = kind;
    item.rect = rect;
    item.font = std::move(font);
    item.alignment = alignment;
    return item;
}

QFont reportFont(double points, bool bold, bool italic) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

Band& Band::computed(QRectF rect, std::function<QString()> compute, QFont font,
                     Qt::Alignment alignment, bool shrinkToFit) {
    BandItem& item = add(BandItem::Kind::Computed, rect, std::move(font), alignment);
    item.compute = std::move(compute);
    item.shrinkToFit = shrinkToFit;
    return *this;
}

Band& Band::rule(double y, double left, double right, double thickness) {
    BandItem item;
    item.kind = BandItem::Kind::Rule;
    item.rect = QRectF(left, y, right - left, thickness);
    item.ruleThickness = thickness;
    items.push_back(std::move(item));
    return *this;
}

QPageLayout BandedReport::pageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(LeftMargin, TopMargin, RightMargin, BottomMargin),
                       QPageLayout::Millimeter);
}

double BandedReport::contentWidth() {
    return QPageSize(QPageSize::A4).size(QPageSize::Millimeter).width() - LeftMargin - RightMargin;
}

double BandedReport::contentHeight() {
    return QPageSize(QPageSize::A4).size(QPageSize::Millimeter).height() - TopMargin - BottomMargin;
}

void BandedReport::drawBand(QPainter& painter, const Band& band, double top, double unitsPerMm) {
    auto toDevice = [&](const QRectF& r) {
        return QRectF(r.x() * unitsPerMm, (top + r.y()) * unitsPerMm, r.width() * unitsPerMm,
                      r.height() * unitsPerMm);
    };
    // A preview replays the page at whatever zoom the operator picks, where a rule of 0.2 mm can
    // fall below one pixel and vanish; there a hairline along it keeps it visible. PDF files and
    // printers get the rule's own thickness only.
    const bool onScreen = painter.paintEngine()->type() != QPaintEngine::Pdf;
    for (const BandItem& item : band.items) {
        const QRectF box = toDevice(item.rect);
        if (item.kind == BandItem::Kind::Rule) {
            painter.fillRect(box, Qt::black);
            if (onScreen) {
                painter.save();
                painter.setPen(QPen(Qt::black, 0)); // width 0: one device pixel at any scale
                painter.drawLine(
                    QLineF(box.left(), box.center().y(), box.right(), box.center().y()));
                painter.restore();
            }
            continue;
        }
        const QString text = item.kind == BandItem::Kind::Computed ? item.compute() : item.text;
        painter.setFont(item.font);
        const double width = painter.fontMetrics().horizontalAdvance(text);
        if (item.shrinkToFit && width > box.width()) {
            // Narrowed horizontally to its box, down to half its width; beyond that it is cut.
            const double factor = std::max(0.5, box.width() / width);
            painter.save();
            painter.translate(box.left(), box.top());
            painter.scale(factor, 1);
            painter.drawText(QRectF(0, 0, box.width() / factor, box.height()),
                             static_cast<int>(item.alignment), text);
            painter.restore();
            continue;
        }
        // Each value has a box one line high; what does not fit is cut off.
        painter.drawText(box, static_cast<int>(item.alignment), text);
    }
}

int BandedReport::render(QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) return 0;
    painter.setPen(Qt::black);
    const double unitsPerMm = device.logicalDpiY() / MmPerInch;
    const double pageHeight = contentHeight();
    int pages = 1;
    double y = 0;
    auto place = [&](const Band& band) {
        if (y > 0 && y + band.height > pageHeight) {
            device.newPage();
            ++pages;
            y = 0;
        }
        drawBand(painter, band, y, unitsPerMm);
        y += band.height;
    };

    ControlsDisabled quiet(table_);
    place(title);
    if (table_.isEmpty()) {
        if (!emptyText.isEmpty()) {
            Band note;
            note.height = 10;
            note.label(QRectF(0, 2, contentWidth(), 6), emptyText, reportFont(10, false, true));
            place(note);
        }
        painter.end();
        return pages;
    }
    if (heading) place(*heading);
    for (table_.first(); !table_.eof(); table_.next()) {
        const Band* own = detailOf ? detailOf() : nullptr;
        place(own ? *own : detail);
    }
    painter.end();
    return pages;
}

} // namespace vektrin
