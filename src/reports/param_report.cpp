#include "reports/param_report.h"

#include "engine/scheduler.h"
#include "engine/task_host.h"
#include "platform/strings.h"
#include "store/running_tasks.h"
#include "store/status_text.h"

#include <array>

namespace vektrin {

TParamReportForm::TParamReportForm(Scheduler& scheduler)
    : ReportForm(scheduler, scheduler.dataCtrl().Table1, qtText(str::ReportTasksTitle)),
      dm_(scheduler.dataCtrl()) {
    buildTitleBand(qtText(str::ReportTasksTitle), Qt::AlignLeft, 0.3);

    buildDetail(report().detail, false);
    buildDetail(withHost_, true);
    report().detailOf = [this]() -> const Band* {
        return dm_.Table1Host.asString().empty() ? nullptr : &withHost_;
    };
}

void TParamReportForm::buildDetail(Band& band, bool withHost) {
    const double width = BandedReport::contentWidth();
    const QFont font = reportFont(8);
    constexpr double LabelWidth = 36, Gap = 2, LineHeight = 4;
    const double valueLeft = LabelWidth + Gap;
    const double valueWidth = width - valueLeft;

    double y = 1;
    auto line = [&](std::string_view label, std::function<QString()> value) {
        band.label(QRectF(0, y, LabelWidth, LineHeight), qtText(label), font,
                   Qt::AlignRight | Qt::AlignVCenter);
        band.computed(QRectF(valueLeft, y, valueWidth, LineHeight), std::move(value), font,
                      Qt::AlignLeft | Qt::AlignVCenter, true);
        y += LineHeight;
    };
    auto field = [](Field& f) { return [&f] { return QString::fromStdString(f.asString()); }; };
    line(str::ReportTaskId, field(dm_.Table1AppID));
    line(str::ReportTaskName, field(dm_.Table1AppName));
    line(str::ReportCommandString, field(dm_.Table1Application));
    line(str::ReportStartupDirectory, field(dm_.Table1AppDirectory));
    if (withHost) line(str::ReportRunOn, [this] { return RunOnText(); });
    line(str::ReportLaunchInterval, [this] { return IntervalText(); });
    line(str::ReportRunType, [this] { return RunTypeText(); });
    line(str::ReportLastExecution, [this] { return LastExecutionText(); });
    line(str::ReportStatus, [this] { return StatusText(); });
    line(str::ReportConflictingResources, [this] { return ResourcesText(); });
    line(str::ReportStartCondition, field(dm_.Table1StartCondition));
    line(str::ReportTerminationCondition, field(dm_.Table1EndCondition));
    band.rule(y + 1, 0, width, 0.2);
    band.height = y + 2;
}

QString TParamReportForm::IntervalText() const {
    QString text = phraseText(Schedule::ofTask(dm_).description(textForms()));
    // Said only of a task that asks for it, so the report of any other reads as before.
    if (dm_.Table1CatchUp.asBoolean()) text += qtText(str::CatchUpSuffix);
    return text;
}

QString TParamReportForm::RunTypeText() const {
    static constexpr std::array<std::string_view, 4> names = {
        str::RunTypeNormal, str::RunTypeHided, str::RunTypeMinimized, str::RunTypeMaximized};
    const std::int64_t runType = dm_.Table1RunType.asInteger();
    QString text = runType >= 0 && runType < 4 ? qtText(names[runType]) : QString();
    if (dm_.Table1Interupt.asBoolean()) text += qtText(str::InterruptPendingSuffix);
    return text;
}

QString TParamReportForm::LastExecutionText() const {
    // A task that never ran has no last event: empty, as the grid shows it, not day 0.
    if (dm_.Table1LastDate.isNull() && dm_.Table1LastTime.isNull()) return {};
    return dateText(dm_.Table1LastDate.asDateTime()) + ' ' +
           timeText(dm_.Table1LastTime.asDateTime());
}

QString TParamReportForm::RunOnText() const {
    const std::string host = dm_.Table1Host.asString();
    if (task_host::hostRule(host) == task_host::HostRule::Every) return qtText(str::RunOnEveryHost);
    return QString::fromStdString(host);
}

QString TParamReportForm::StatusText() const {
    return messageText(statusText(dm_.Table1Stopped.asBoolean(), dm_.Table1EndCode.asFloat(),
                                  static_cast<std::int32_t>(dm_.Table1ExitCode.asInteger())));
}

QString TParamReportForm::ResourcesText() const {
    const auto mask = static_cast<ResourceMask>(dm_.Table1Conflicts.asInteger());
    QString text;
    for (int n = 1; n <= 32; ++n) {
        if (!(mask & resourceBit(n))) continue;
        if (!text.isEmpty()) text += QStringLiteral(", ");
        text += QString::number(n);
    }
    if (text.isEmpty()) text = qtText(str::NoConflicts);
    if (dm_.Table1WaitRes.asBoolean()) text += qtText(str::WaitForLiberationSuffix);
    return text;
}

} // namespace vektrin
