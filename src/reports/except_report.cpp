#include "reports/except_report.h"

#include "engine/scheduler.h"
#include "platform/strings.h"

#include <array>

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
    static constexpr std::array<std::string_view, 6> kinds = {
        str::SilenceEveryMinute, str::SilenceEveryHour,  str::SilenceEveryDay,
        str::SilenceWeekly,      str::SilenceEveryMonth, str::SilenceEveryYear};
    const std::optional<ScheduleKind> kind = storedScheduleKind(dm_.Table3Interval.asInteger());
    return kind ? qtText(kinds[static_cast<int>(*kind)]) : QString();
}

QString TExceptReportForm::QualifierText() const {
    const int day = decodeDate(dm_.Table3StartDate.asDateTime()).day;
    switch (
        storedScheduleKind(dm_.Table3Interval.asInteger()).value_or(ScheduleKind::EveryMinute)) {
    case ScheduleKind::Weekly: {
        // The day of month read as it stands: the editor always stores days 1 to 7 here.
        static constexpr std::array<std::string_view, 7> days = {
            str::OnMondays, str::OnTuesdays,  str::OnWednesdays, str::OnThursdays,
            str::OnFridays, str::OnSaturdays, str::OnSundays};
        return day >= 1 && day <= 7 ? qtText(days[day - 1]) : QString();
    }
    case ScheduleKind::EveryMonth:
        return formatText(str::SilenceOnDay, {QString::number(day)});
    default:
        return {};
    }
}

QString TExceptReportForm::PeriodText() const {
    const DateTime startTime = dm_.Table3StartTime.asDateTime();
    const DateTime endTime = dm_.Table3EndTime.asDateTime();
    const std::optional<ScheduleKind> kind = storedScheduleKind(dm_.Table3Interval.asInteger());
    if (!kind) return {};
    switch (*kind) {
    case ScheduleKind::EveryHour:
        return formatText(str::SilenceMinutes, {QString::number(decodeTime(startTime).minute),
                                                QString::number(decodeTime(endTime).minute)});
    case ScheduleKind::EveryDay:
    case ScheduleKind::Weekly:
    case ScheduleKind::EveryMonth:
        return formatText(str::SilenceFromTo, {timeText(startTime), timeText(endTime)});
    case ScheduleKind::EveryYear:
        return formatText(str::SilenceFromTo,
                          {dateText(dm_.Table3StartDate.asDateTime()) + ' ' + timeText(startTime),
                           dateText(dm_.Table3EndDate.asDateTime()) + ' ' + timeText(endTime)});
    default:
        return {};
    }
}

} // namespace vektrin
