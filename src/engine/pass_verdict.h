#pragma once
// What the once-a-minute pass does with one task, and why: the one place that holds the order of
// its tests. The pass acts on the answer; `vektrinctl due` prints it.

#include "engine/launch_condition.h"
#include "engine/schedule.h"
#include "store/task_states.h"

#include <functional>
#include <optional>
#include <vector>

namespace vektrin::schedule {

// What the pass knows of a task when it reaches it.
struct TaskState {
    Schedule schedule;
    bool stopped = false;
    std::optional<CompletionCode> code;
    bool running = false;       // an instance of it runs
    bool interruptible = false; // Interupt: a running instance is ended instead of counting
    bool catchUp = false;       // CatchUp: a launch missed in a gap between passes is made up
};

enum class Verdict {
    Stopped,        // passed by
    Waiting,        // settled by the waiting rule, whatever else holds
    Silenced,       // a silence period is in force
    ConditionError, // the launch condition is not well formed
    ConditionFalse,
    RepeatedMinute, // the clock went back: a launch at a fixed time of day is not repeated
    Launch,         // due, and nothing of it runs
    MakeUp,         // not due, but a launch it missed while nothing could be launched is made up
    Replace,        // due while an instance runs: that instance is ended and a new one started
    StillRunning,   // due, but an instance runs and may not be ended
    NeverDue,       // a kind that is never due (6 to 127)
    OutsideWindow,
    OffStep,
};

struct PassDecision {
    Verdict verdict = Verdict::NeverDue;
    // Not due, but the window's end has been reached on a day it applies: an interruptible
    // running instance is ended now.
    bool endsRunningInstance = false;
    // MakeUp (or Replace, StillRunning for one): the latest launch moment it missed.
    std::optional<DateTime> missed = {};
};

// The answers that cost something (reading the silence table, evaluating the condition with its
// trace line) are asked for only when the pass's order reaches them.
struct PassQuestions {
    std::function<bool()> silenced;
    std::function<LaunchConditionOutcome()> condition;
    // Asked of a catch-up task that is not due: the latest launch moment of it that fell into a
    // gap between the passes (the scheduler down, the machine asleep, the clock stepped over it).
    std::function<std::optional<DateTime>()> missed = {};
};

PassDecision passVerdict(const TaskState& task, const PassMoment& moment, bool repeatedMinute,
                         const PassQuestions& ask);

// The silence periods in force at the moment (worked out once for a pass, not for every task).
std::vector<Schedule> silencesInForce(const std::vector<Schedule>& silenceRows,
                                      const PassMoment& moment);
// Whether one of the periods in force keeps this task from being launched. Every period silences
// every task today; the task is here so that a rule of its own has one place.
bool silenced(const TaskState& task, const std::vector<Schedule>& inForce);

} // namespace vektrin::schedule
