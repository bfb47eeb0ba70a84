#pragma once
// The schedule rules of tasks and silence periods, as pure functions of a record's schedule fields
// and the moment of the pass. The scheduling pass, the monitoring pass and the command-line tool
// all decide with these, so they can never disagree.

#include "platform/date_time.h"
#include "store/task_states.h"

#include <cstdint>
#include <optional>

namespace vektrin::schedule {

// The schedule fields of a task or a silence period.
struct Window {
    int interval = 0; // as stored; the kind is its low seven bits
    DateTime startDate = 0;
    DateTime startTime = 0;
    DateTime endDate = 0;
    DateTime endTime = 0;
    int repeatInterval = 0; // minutes; tasks only

    // Empty for the values 6 to 127 (after the low seven bits), which are never due.
    std::optional<ScheduleKind> kind() const { return scheduleKind(interval); }
};

// Values fixed when a pass starts.
struct PassMoment {
    DateTime nowDateTime = 0;
    DateTime today = 0; // date part
    int nowTime = 0;    // seconds since midnight at the start of the current minute
    int hourStart = 0;  // seconds since midnight at the start of the current hour
    int weekday = 1;    // 1 Monday .. 7 Sunday
    int dayOfMonth = 1;
};

PassMoment passMoment(DateTime now);

// Day-of-month number of a date field (the week-day and day-of-month encodings keep it there).
int dayOf(DateTime date);

enum class Reason { Due, NeverDue, OutsideWindow, OffStep };

struct KindDecision {
    Reason reason = Reason::NeverDue;
    bool stopCheck = false; // not due, but the window's end has been reached on a day it applies
};

// Whether the kind's rule makes the task due in the pass's minute (before the active test).
KindDecision decide(const Window& task, const PassMoment& moment);

// Whether a silence period is in force in the pass's minute.
bool silenceInForce(const Window& row, const PassMoment& moment);

// Whether a launch moment of the task fell between from and one minute after to (the active and
// stopped tests are the caller's).
bool launchSkipped(const Window& task, DateTime from, DateTime to);

} // namespace vektrin::schedule
