#include "engine/pass_verdict.h"

namespace vektrin::schedule {

PassDecision passVerdict(const TaskState& task, const PassMoment& moment, bool repeatedMinute,
                         const PassQuestions& ask) {
    if (task.stopped) return {Verdict::Stopped};
    // Waiting tasks are settled before the silence, the condition and the schedule.
    if (task.code == CompletionCode::WaitingForResources) return {Verdict::Waiting};
    if (ask.silenced && ask.silenced()) return {Verdict::Silenced};
    switch (ask.condition ? ask.condition() : LaunchConditionOutcome::True) {
    case LaunchConditionOutcome::Malformed:
        return {Verdict::ConditionError};
    case LaunchConditionOutcome::False:
        return {Verdict::ConditionFalse};
    case LaunchConditionOutcome::True:
        break;
    }
    const KindDecision d = decide(task.window, moment);
    if (d.reason != Reason::Due) {
        const Verdict why = d.reason == Reason::NeverDue        ? Verdict::NeverDue
                            : d.reason == Reason::OutsideWindow ? Verdict::OutsideWindow
                                                                : Verdict::OffStep;
        return {why, d.stopCheck && task.running && task.interruptible};
    }
    const std::optional<ScheduleKind> kind = task.window.kind();
    if (repeatedMinute && kind != ScheduleKind::EveryMinute && kind != ScheduleKind::EveryHour)
        return {Verdict::RepeatedMinute};
    if (!task.running) return {Verdict::Launch};
    return {task.interruptible ? Verdict::Replace : Verdict::StillRunning};
}

std::vector<Window> silencesInForce(const std::vector<Window>& silenceRows,
                                    const PassMoment& moment) {
    std::vector<Window> inForce;
    for (const Window& row : silenceRows)
        if (silenceInForce(row, moment)) inForce.push_back(row);
    return inForce;
}

bool silenced(const TaskState&, const std::vector<Window>& inForce) {
    return !inForce.empty();
}

} // namespace vektrin::schedule
