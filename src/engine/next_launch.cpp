#include "engine/next_launch.h"

#include "engine/compiled_window.h"

#include <ctime>

namespace vektrin::schedule {
namespace {

constexpr int MinutesPerDay = 1440;

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

const NextLaunchSearch::DayInfo& NextLaunchSearch::dayInfo(std::int64_t day) {
    auto [it, added] = dayCache_.try_emplace(day);
    if (!added) return it->second;
    DayInfo& s = it->second;
    s.midnight = passMoment(LaunchMoment{day, 0}.toDateTime());
    // Most days the clock does not change, and then every minute of it has its pass.
    s.clockChanges = utcOffset(day - 1, MinutesPerDay - 1) != utcOffset(day, MinutesPerDay - 1);
    const DayFacts facts = DayFacts::of(s.midnight);
    for (const Schedule& row : silence_) {
        const CompiledWindow period(row, Reading::Silence);
        if (!period.applies(facts)) continue;
        const MinuteSet& window = period.minutes().window;
        for (int m = window.next(0); m < MinutesPerDay; m = window.next(m + 1))
            s.silenced.set(static_cast<std::size_t>(m));
    }
    s.all = s.silenced.all();
    return s;
}

template <class Visit>
void NextLaunchSearch::search(const Schedule& task, DateTime after, Visit visit) {
    const CompiledWindow window(task, Reading::Task);
    const MinuteSet& due = window.minutes().due;
    if (due.empty()) return;
    const LaunchMoment from = minuteOf(after);
    for (std::int64_t day = from.day; day <= from.day + horizonDays_; ++day) {
        const DayInfo& info = dayInfo(day);
        if (info.all || !window.applies(DayFacts::of(info.midnight))) continue;
        for (int minute = due.next(day == from.day ? from.minute + 1 : 0); minute < MinutesPerDay;
             minute = due.next(minute + 1)) {
            if (info.silenced[static_cast<std::size_t>(minute)]) continue;
            const LaunchMoment candidate{day, minute};
            if (info.clockChanges && !existsOnLocalClock(candidate)) continue;
            if (!visit(candidate)) return;
        }
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
