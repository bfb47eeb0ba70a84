#pragma once
// The kinds of a task's or a silence period's schedule, by the Interval value that names each.
// How a stored Interval reads as a kind is Schedule's (engine/schedule.h).

namespace vektrin {

enum class ScheduleKind : int {
    EveryMinute = 0,
    EveryHour = 1,
    EveryDay = 2,
    Weekly = 3,
    EveryMonth = 4,
    EveryYear = 5,
};

inline int intervalOf(ScheduleKind kind) {
    return static_cast<int>(kind);
}

} // namespace vektrin
