#include "engine/next_launch.h"

#include <cstdlib>
#include <ctime>

namespace vektrin::schedule {
namespace {

constexpr int MinutesPerDay = 1440;

// Calls visit(minute) for each minute of a day in which the kind's time rule can hold, in
// ascending order, until visit returns false. Only proposes: every minute is still put to
// Schedule::decide(), so a proposal can never make a task due that the pass would not launch.
template <class Visit> void forEachCandidate(const Schedule& w, Visit visit) {
    const std::optional<ScheduleKind> kind = w.kind();
    if (!kind) return;
    const bool hourly = kind == ScheduleKind::EveryHour;
    if (kind == ScheduleKind::EveryMinute) {
        for (int m = 0; m < MinutesPerDay; ++m)
            if (!visit(m)) return;
        return;
    }
    // A negative repeat steps as its magnitude does: (now - S) is never negative inside the window.
    const std::int64_t step =
        w.repeatInterval != 0 ? std::int64_t{std::abs(w.repeatInterval)} * 60 : 86400;
    const int periods = hourly ? 24 : 1;
    for (int p = 0; p < periods; ++p) {
        const std::int64_t base = hourly ? std::int64_t{p} * 3600 : 0;
        const std::int64_t s = base + secondsOfDay(w.startTime);
        const std::int64_t e = base + secondsOfDay(w.endTime);
        for (std::int64_t t = s; t <= e; t += step) {
            // The first pass minute at or after the step's moment; a start with seconds (08:00:30)
            // is first due at 08:01.
            const std::int64_t m = (t + 59) / 60;
            if (m * 60 > e || m >= MinutesPerDay) break;
            // In another hour the pass measures the window from that hour's start.
            if (hourly && m / 60 != p) break;
            if (!visit(static_cast<int>(m))) return;
        }
    }
}

} // namespace

DateTime LaunchMoment::toDateTime() const {
    // The tables keep the time of a date before 1899-12-30 as a positive fraction too.
    const double fraction = minute / double(MinutesPerDay);
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

LaunchMoment minuteOf(DateTime value) {
    const TimeParts t = decodeTime(value);
    return {static_cast<std::int64_t>(datePart(value)), t.hour * 60 + t.minute};
}

namespace {

// Seconds east of UTC of a local wall-clock minute, as mktime resolves it.
long utcOffset(std::int64_t day, int minute) {
    const DateParts d = decodeDate(static_cast<double>(day));
    std::tm local{};
    local.tm_year = d.year - 1900;
    local.tm_mon = d.month - 1;
    local.tm_mday = d.day;
    local.tm_hour = minute / 60;
    local.tm_min = minute % 60;
    local.tm_isdst = -1;
    std::tm copy = local;
    const std::time_t t = std::mktime(&copy);
    return static_cast<long>(timegm(&copy) - t);
}

} // namespace

bool existsOnLocalClock(const LaunchMoment& moment) {
    const DateParts d = decodeDate(static_cast<double>(moment.day));
    std::tm wanted{};
    wanted.tm_year = d.year - 1900;
    wanted.tm_mon = d.month - 1;
    wanted.tm_mday = d.day;
    wanted.tm_hour = moment.minute / 60;
    wanted.tm_min = moment.minute % 60;
    wanted.tm_isdst = -1;
    std::tm normalised = wanted;
    if (std::mktime(&normalised) == static_cast<std::time_t>(-1)) return true;
    // mktime moves a minute inside the gap of a clock change forward by the gap.
    return normalised.tm_mday == wanted.tm_mday && normalised.tm_hour == wanted.tm_hour &&
           normalised.tm_min == wanted.tm_min;
}

NextLaunchSearch::NextLaunchSearch(std::vector<Schedule> silence, int horizonDays)
    : silence_(std::move(silence)), horizonDays_(horizonDays) {}

PassMoment NextLaunchSearch::DayInfo::at(const LaunchMoment& moment) const {
    // What passMoment() gives for the minute, without working out the date again.
    PassMoment m = midnight;
    m.nowDateTime = moment.toDateTime();
    m.nowTime = moment.minute * 60;
    m.hourStart = moment.minute / 60 * 3600;
    return m;
}

const NextLaunchSearch::DayInfo& NextLaunchSearch::dayInfo(std::int64_t day) {
    auto [it, added] = dayCache_.try_emplace(day);
    if (!added) return it->second;
    DayInfo& s = it->second;
    s.midnight = passMoment(LaunchMoment{day, 0}.toDateTime());
    // Most days the clock does not change, and then every minute of it has its pass.
    s.clockChanges = utcOffset(day - 1, MinutesPerDay - 1) != utcOffset(day, MinutesPerDay - 1);
    if (silence_.empty()) return s;
    for (int m = 0; m < MinutesPerDay; ++m) {
        const PassMoment moment = s.at(LaunchMoment{day, m});
        for (const Schedule& row : silence_)
            if (row.silenceInForce(moment)) {
                s.silenced.set(static_cast<std::size_t>(m));
                break;
            }
    }
    s.all = s.silenced.all();
    return s;
}

template <class Visit>
void NextLaunchSearch::search(const Schedule& task, DateTime after, Visit visit) {
    const LaunchMoment from = minuteOf(after);
    if (task.decide(passMoment(after)).reason == Reason::NeverDue) return;

    bool more = true;
    for (std::int64_t day = from.day; more && day <= from.day + horizonDays_; ++day) {
        const DayInfo& info = dayInfo(day);
        if (info.all) continue;
        bool first = true;
        forEachCandidate(task, [&](int minute) {
            if (day == from.day && minute <= from.minute) return true;
            const LaunchMoment candidate{day, minute};
            const Reason reason = task.decide(info.at(candidate)).reason;
            // The candidate's time of day lies in the window, so only the day can be wrong: no
            // other candidate of this day can be due either.
            if (reason == Reason::OutsideWindow && first) return false;
            first = false;
            if (reason != Reason::Due) return true;
            if (info.silenced[static_cast<std::size_t>(minute)]) return true;
            if (info.clockChanges && !existsOnLocalClock(candidate)) return true;
            more = visit(candidate);
            return more;
        });
    }
}

std::vector<LaunchMoment> NextLaunchSearch::next(const Schedule& task, DateTime after, int count) {
    std::vector<LaunchMoment> found;
    if (count <= 0) return found;
    search(task, after, [&](const LaunchMoment& m) {
        found.push_back(m);
        return static_cast<int>(found.size()) < count;
    });
    return found;
}

std::vector<LaunchMoment> NextLaunchSearch::between(const Schedule& task, DateTime after,
                                                    DateTime before) {
    std::vector<LaunchMoment> found;
    const LaunchMoment end = minuteOf(before);
    search(task, after, [&](const LaunchMoment& m) {
        if (m.day > end.day || (m.day == end.day && m.minute >= end.minute)) return false;
        found.push_back(m);
        return true;
    });
    return found;
}

} // namespace vektrin::schedule
