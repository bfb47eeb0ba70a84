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
    const KindDecision d = task.schedule.decide(moment);
    if (d.reason != Reason::Due) {
        if (task.catchUp && ask.missed) {
            // One launch makes up however many moments the gap held; it goes the way a due one
            // goes when an instance still runs.
            if (const std::optional<DateTime> missed = ask.missed()) {
                const Verdict v = !task.running        ? Verdict::MakeUp
                                  : task.interruptible ? Verdict::Replace
                                                       : Verdict::StillRunning;
                return {v, false, missed};
            }
        }
        const Verdict why = d.reason == Reason::NeverDue        ? Verdict::NeverDue
                            : d.reason == Reason::OutsideWindow ? Verdict::OutsideWindow
                                                                : Verdict::OffStep;
        return {why, d.stopCheck && task.running && task.interruptible};
    }
    if (repeatedMinute && !d.dueInRepeatedMinute) return {Verdict::RepeatedMinute};
    if (!task.running) return {Verdict::Launch};
    return {task.interruptible ? Verdict::Replace : Verdict::StillRunning};
}

std::vector<Schedule> silencesInForce(const std::vector<Schedule>& silenceRows,
                                      const PassMoment& moment) {
    std::vector<Schedule> inForce;
    for (const Schedule& row : silenceRows)
        if (row.silenceInForce(moment)) inForce.push_back(row);
    return inForce;
}

bool silenced(const TaskState&, const std::vector<Schedule>& inForce) {
    return !inForce.empty();
}

} // namespace vektrin::schedule
