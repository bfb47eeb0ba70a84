#pragma once
// Predicts the minutes in which the scheduling pass will launch a task, from the same schedule and
// silence rules the pass decides with. What cannot be known ahead (launch conditions, a running
// instance, waiting for resources) is left out.

#include "engine/schedule.h"

#include <bitset>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vektrin::schedule {

// A minute of local wall-clock time: its day (the tables' day count) and minute of that day.
struct LaunchMoment {
    std::int64_t day = 0;
    int minute = 0; // 0 .. 1439

    DateTime toDateTime() const;
    friend bool operator==(const LaunchMoment&, const LaunchMoment&) = default;
};

// The minute that holds a date-time.
LaunchMoment minuteOf(DateTime value);

class NextLaunchSearch {
  public:
    // Five years covers every kind's cycle, a yearly window included, with room to spare.
    static constexpr int DefaultHorizonDays = 5 * 366;

    explicit NextLaunchSearch(std::vector<Schedule> silence, int horizonDays = DefaultHorizonDays);

    // Up to count launch minutes after the minute that holds `after`, in ascending order; fewer
    // when the horizon ends first.
    std::vector<LaunchMoment> next(const Schedule& task, DateTime after, int count);
    // Every launch minute after the minute that holds `after` and before the one that holds
    // `before`, in ascending order.
    std::vector<LaunchMoment> between(const Schedule& task, DateTime after, DateTime before);

  private:
    // Launch minutes after `after` up to the horizon, until visit returns false.
    template <class Visit> void search(const Schedule& task, DateTime after, Visit visit);
    struct DayInfo {
        PassMoment midnight;
        std::bitset<1440> silenced;
        bool all = false;          // every minute silenced
        bool clockChanges = false; // summer time begins or ends
    };
    const DayInfo& dayInfo(std::int64_t day);

    std::vector<Schedule> silence_;
    int horizonDays_;
    // Shared by every task searched with this object: each day is worked out once.
    std::unordered_map<std::int64_t, DayInfo> dayCache_;
};

// Whether the minute exists on the local clock (a minute skipped when summer time begins has no
// pass).
bool existsOnLocalClock(const LaunchMoment& moment);

} // namespace vektrin::schedule
