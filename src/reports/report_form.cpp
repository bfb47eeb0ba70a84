#include "reports/report_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>
#include <algorithm>

namespace vektrin {

ReportForm::ReportForm(Scheduler& scheduler, Table& table, QString caption)
    : scheduler_(scheduler), report_(table), caption_(std::move(caption)) {
    report_.emptyText = qtText(str::ReportEmptyTable);
}

ReportForm::~ReportForm() = default;

QString ReportForm::dateText(DateTime value) const {
    return QString::fromStdString(scheduler_.regional().formatDate(value));
}

QString ReportForm::timeText(DateTime value) const {
    return QString::fromStdString(scheduler_.regional().formatTime(value));
}

schedule::TextForms ReportForm::textForms() const {
    const RegionalSettings& regional = scheduler_.regional();
    return {[&regional](DateTime v) { return regional.formatDate(v); },
            [&regional](DateTime v) { return regional.formatTime(v); }};
}

void ReportForm::buildTitleBand(const QString& title, Qt::Alignment titleAlignment,
                                double ruleThickness) {
    const double width = BandedReport::contentWidth();
    const QFont titleFont = reportFont(12, true);
    const QFont small = reportFont(8, false, true);

    Band& band = report_.title;
    band.height = 15;
    band.label(QRectF(0, 1, width, 8), title, titleFont, titleAlignment | Qt::AlignVCenter);
    const QString version = versionField(QString::fromStdString(scheduler_.applicationTitle()));
    band.label(QRectF(width - 70, 1, 70, 4), version, small, Qt::AlignRight | Qt::AlignVCenter);
    band.computed(
        QRectF(width - 70, 5, 70, 4),
        [this] {
            const DateTime now = scheduler_.clock().now();
            return dateText(now) + ' ' + timeText(now);
        },
        small, Qt::AlignRight | Qt::AlignVCenter);
    band.rule(12, 0, width, ruleThickness);
}

int ReportForm::print(QPagedPaintDevice& device) {
    return report_.render(device);
}

int ReportForm::exportPdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(BandedReport::pageLayout());
        writer.setResolution(600);
        writer.setTitle(caption_);
        writer.setCreator(QString::fromStdString(scheduler_.applicationTitle()));
        pages = print(writer);
    }
    file.close();
    return file.error() == QFileDevice::NoError ? pages : 0;
}

void ReportForm::preview(QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(BandedReport::pageLayout());
    printer.setDocName(caption_);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(caption_);
    // Modal to the editor that opened it, not to the whole program, so the tray menu stays
    // usable meanwhile (and still refuses to exit while the editor is open).
    dialog.setWindowModality(Qt::WindowModal);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this](QPrinter* p) {
        // The bands are laid out for A4 portrait whatever the page set-up says.
        p->setPageLayout(BandedReport::pageLayout());
        print(*p);
    });
    if (auto* toolbar = dialog.findChild<QToolBar*>()) {
        // Printing is the preview's last tool, whatever its words in the interface's language.
        QAction* printing = toolbar->actions().isEmpty() ? nullptr : toolbar->actions().last();
        toolbar->addSeparator();
        QAction* save = toolbar->addAction(qtText(str::ReportSaveAsPdf));
        save->setObjectName(QStringLiteral("SaveAsPdf"));
        save->setShortcut(QKeySequence::Save);
        if (printing) {
            printing->setObjectName(QStringLiteral("Print"));
            printing->setShortcut(QKeySequence::Print);
        }
        // The two tools a report is opened for are reached with Tab, as buttons are.
        for (QAction* tool : {printing, save})
            if (QWidget* button = tool ? toolbar->widgetForAction(tool) : nullptr)
                button->setFocusPolicy(Qt::StrongFocus);
        // Wide enough for the whole tool bar: at its own size the last tools, those two among
        // them, went into the bar's overflow, out of sight and out of the Tab chain.
        dialog.resize(std::max(dialog.sizeHint().width(), toolbar->sizeHint().width() + 24),
                      dialog.sizeHint().height());
        QObject::connect(save, &QAction::triggered, &dialog, [this, &dialog] {
            const QString path = QFileDialog::getSaveFileName(&dialog, caption_, caption_ + ".pdf",
                                                              qtText(str::ReportPdfFiles));
            if (!path.isEmpty()) exportPdf(path);
        });
    }
    dialog.exec();
}

QString versionField(const QString& title) {
    const qsizetype p = title.indexOf(QStringLiteral(" - ")) + 1;
    const qsizetype length = title.size() - p - 2;
    if (length <= 0) return {};
    return title.mid(p + 2, length);
}

QString phraseText(const schedule::Phrase& phrase) {
    if (phrase.format.empty()) return {};
    const QString f = qtText(phrase.format);
    QString out;
    auto next = phrase.values.begin();
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i] == '%' && i + 1 < f.size() && (f[i + 1] == 's' || f[i + 1] == 'd') &&
            next != phrase.values.end()) {
            out += next->ofStringTable ? qtText(next->text) : QString::fromStdString(next->text);
            ++next;
            ++i;
            continue;
        }
        out += f[i];
    }
    return out;
}

} // namespace vektrin
