#include "reports/resource_report.h"

#include "engine/scheduler.h"
#include "platform/strings.h"

namespace vektrin {

TResourceReportForm::TResourceReportForm(Scheduler& scheduler)
    : ReportForm(scheduler, scheduler.dataCtrl().Table2, qtText(str::ReportResourcesTitle)) {
    buildTitleBand(qtText(str::ReportResourcesTitle), Qt::AlignHCenter, 0.8);

    TDataCtrl& dm = scheduler.dataCtrl();
    const double width = BandedReport::contentWidth();
    const QFont font = reportFont(10);
    constexpr double Number = 18, NameLeft = 25, WaitWidth = 40, Height = 5;
    const double waitLeft = width - WaitWidth;

    Band heading;
    heading.height = 9;
    heading.label(QRectF(0, 1, Number, 6), qtText(str::ResourceNumberColumn), font,
                  Qt::AlignRight | Qt::AlignVCenter);
    heading.label(QRectF(NameLeft, 1, waitLeft - NameLeft, 6), qtText(str::ResourceNameColumn),
                  font);
    heading.label(QRectF(waitLeft, 1, WaitWidth, 6), qtText(str::ResourceWaitColumn), font);
    heading.rule(8, 0, width, 0.2);
    report().heading = heading;

    Band& band = report().detail;
    band.height = Height + 1;
    band.computed(
        QRectF(0, 0.5, Number, Height),
        [&dm] { return QString::fromStdString(dm.Table2ResourceNo.asString()); }, font,
        Qt::AlignRight | Qt::AlignVCenter);
    band.computed(
        QRectF(NameLeft, 0.5, waitLeft - NameLeft, Height),
        [&dm] { return QString::fromStdString(dm.Table2ResourceName.asString()); }, font);
    band.computed(
        QRectF(waitLeft, 0.5, WaitWidth, Height),
        [&dm] {
            return dm.Table2MaxWait.isNull()
                       ? QString()
                       : QString::fromStdString(formatDuration(dm.Table2MaxWait.asDateTime()));
        },
        font);
}

} // namespace vektrin
