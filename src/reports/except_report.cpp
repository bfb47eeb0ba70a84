#include "reports/except_report.h"

#include "engine/scheduler.h"
#include "platform/strings.h"

namespace vektrin {

TExceptReportForm::TExceptReportForm(Scheduler& scheduler)
    : ReportForm(scheduler, scheduler.dataCtrl().Table3, qtText(str::ReportExceptionsTitle)),
      dm_(scheduler.dataCtrl()) {
    // A thick rule of 3 pixels at the screen's 96 dots per inch.
    buildTitleBand(qtText(str::ReportExceptionsTitle), Qt::AlignHCenter, 0.8);

    const double width = BandedReport::contentWidth();
    const QFont font = reportFont(10);
    constexpr double Kind = 32, Qualifier = 36, Height = 5;
    const double periodLeft = Kind + Qualifier + 2;

    Band heading;
    heading.height = 9;
    heading.label(QRectF(0, 1, periodLeft, 6), qtText(str::WhatException), font, Qt::AlignCenter);
    heading.label(QRectF(periodLeft, 1, width - periodLeft, 6), qtText(str::ExceptionTimePeriod),
                  font, Qt::AlignCenter);
    heading.rule(8, 0, width, 0.2);
    report().heading = heading;

    Band& band = report().detail;
    band.height = Height + 1;
    band.computed(
        QRectF(0, 0.5, Kind, Height), [this] { return KindText(); }, font);
    band.computed(
        QRectF(Kind, 0.5, Qualifier, Height), [this] { return QualifierText(); }, font);
    band.computed(
        QRectF(periodLeft, 0.5, width - periodLeft, Height), [this] { return PeriodText(); }, font,
        Qt::AlignLeft | Qt::AlignVCenter, true);
}

QString TExceptReportForm::KindText() const {
    return phraseText(Schedule::read(ScheduleColumns::ofSilence(dm_)).silenceKindText());
}

QString TExceptReportForm::QualifierText() const {
    return phraseText(Schedule::read(ScheduleColumns::ofSilence(dm_)).silenceQualifier());
}

QString TExceptReportForm::PeriodText() const {
    return phraseText(Schedule::read(ScheduleColumns::ofSilence(dm_)).silencePeriod(textForms()));
}

} // namespace vektrin
