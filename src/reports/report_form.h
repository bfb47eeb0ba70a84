#pragma once
// What the three printed lists share: a banded report over one table with the common title band
// (title, version field, date and time), its preview with printing, and export to PDF.

#include "engine/schedule.h"
#include "language/translation.h"
#include "platform/date_time.h"
#include "reports/banded_report.h"

#include <QString>
#include <string_view>

class QPagedPaintDevice;
class QWidget;

namespace vektrin {

class Scheduler;

class ReportForm {
  public:
    virtual ~ReportForm();
    ReportForm(const ReportForm&) = delete;
    ReportForm& operator=(const ReportForm&) = delete;

    // The preview window's caption.
    const QString& caption() const { return caption_; }
    BandedReport& report() { return report_; }

    // Draws the report on a device laid out as BandedReport::pageLayout(); the number of pages.
    int print(QPagedPaintDevice& device);
    // Writes the report as a PDF file; the number of pages, 0 when the file cannot be written.
    int exportPdf(const QString& path);
    // The modal preview, from which the operator prints or saves a PDF; returns when closed.
    void preview(QWidget* parent);

  protected:
    ReportForm(Scheduler& scheduler, Table& table, QString caption);

    // The title band: the title (Arial 12 bold), at the right the version field and the date and
    // time (8 point italic), and a rule under the band.
    void buildTitleBand(const QString& title, Qt::Alignment titleAlignment, double ruleThickness);

    QString dateText(DateTime value) const;
    QString timeText(DateTime value) const;
    // Dates and times as dateText and timeText write them, for the phrases of a schedule.
    schedule::TextForms textForms() const;

    Scheduler& scheduler_;

  private:
    BandedReport report_;
    QString caption_;
};

// The part of the application title after its first " - ". With p the 1-based position of the
// separator (0 when absent) and L the title's length: the L - p - 2 characters from p + 3.
QString versionField(const QString& title);

// A phrase in the interface's language: its format and its values of the string table
// translated, each "%s" or "%d" filled with the next value in order.
QString phraseText(const schedule::Phrase& phrase);

// A text of the string table in the interface's language.
inline QString qtText(std::string_view text) {
    return qs(text);
}

} // namespace vektrin
