#pragma once
// The kinds of a task's or a silence period's schedule, by the Interval value that names each.
// How a stored Interval reads as a kind is Schedule's (engine/schedule.h).

namespace vektrin {

// A kind's Interval value is its place in this list.
enum class ScheduleKind : int { EveryMinute, EveryHour, EveryDay, Weekly, EveryMonth, EveryYear };

inline int intervalOf(ScheduleKind kind) {
    return static_cast<int>(kind);
}

} // namespace vektrin
