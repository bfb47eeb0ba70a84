#pragma once
// A small banded report: a title band once at the top of the first page, an optional heading band
// once before the first record, and a detail band per record of one table, walked from its first
// record to its last. Bands are measured in millimetres on A4 portrait pages; a band that does
// not fit on the page starts the next one.

#include "store/table.h"

#include <QFont>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace vektrin {

// A report font: the family and size asked for, drawn as plain characters (no ligatures), so a
// saved PDF can be searched and copied as it reads.
QFont reportFont(double points, bool bold = false, bool italic = false);

struct BandItem {
    enum class Kind { Label, Computed, Rule };
    Kind kind = Kind::Label;
    QRectF rect; // millimetres from the band's top-left corner; a rule is drawn along its top
    QString text;
    std::function<QString()> compute; // asked for its text each time the item is printed
    QFont font;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    double ruleThickness = 0.2; // millimetres
    // A text wider than its box is narrowed to fit instead of being cut off.
    bool shrinkToFit = false;
};

struct Band {
    double height = 0; // millimetres
    std::vector<BandItem> items;

    // A fixed text, clipped to its box.
    Band& label(QRectF rect, QString text, QFont font,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    // A text the report supplies for the current record each time the band is printed.
    Band& computed(QRectF rect, std::function<QString()> compute, QFont font,
                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter,
                   bool shrinkToFit = false);
    // A horizontal rule from left to right at y.
    Band& rule(double y, double left, double right, double thickness);

  private:
    BandItem& add(BandItem::Kind kind, QRectF rect, QFont font, Qt::Alignment alignment);
};

class BandedReport {
  public:
    explicit BandedReport(Table& table) : table_(table) {}

    Band title;
    std::optional<Band> heading;
    Band detail;
    // Where set, the band of the current record when it is not detail (nullptr: detail).
    std::function<const Band*()> detailOf;
    // Where there are no records: print the title band and this text instead of nothing.
    QString emptyText;

    // A4 portrait with margins of 25 mm at the left and 10 mm at the top, right and bottom.
    static QPageLayout pageLayout();
    // Width and height of the printable area in millimetres.
    static double contentWidth();
    static double contentHeight();

    // Draws every page on the device (whose page layout must be pageLayout()) and returns the
    // number of pages, 0 when the device cannot be painted. The table is left on its last
    // record.
    int render(QPagedPaintDevice& device);

  private:
    void drawBand(QPainter& painter, const Band& band, double top, double unitsPerMm);

    Table& table_;
};

} // namespace vektrin
