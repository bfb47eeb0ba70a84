// The kinds' time rules: when a task is due, when a silence period is in force, and whether a
// task's launch fell into a pause.

#include "engine/schedule.h"

#include <algorithm>

namespace vektrin {
namespace {

using schedule::KindDecision;
using schedule::PassMoment;
using schedule::Reason;

// Window start and end of kinds 1 to 5 in seconds since midnight.
void windowBounds(const Schedule& w, const PassMoment& m, int& s, int& e) {
    const int base = w.kind() == ScheduleKind::EveryHour ? m.hourStart : 0;
    s = base + secondsOfDay(w.startTime);
    e = base + secondsOfDay(w.endTime);
}

bool inWindow(int s, int e, int now) {
    return s <= now && now <= e;
}

std::int64_t timeOfDayMs(DateTime value) {
    return msOf(timePart(value));
}

// Launch moments from start to end (inclusive) by step: does one lie in [lo, hi]?
bool momentIn(std::int64_t start, std::int64_t end, std::int64_t step, std::int64_t lo,
              std::int64_t hi) {
    for (std::int64_t m = start; m <= end; m += step)
        if (lo <= m && m <= hi) return true;
    return false;
}

} // namespace

PassMoment schedule::passMoment(DateTime now) {
    PassMoment m;
    m.nowDateTime = now;
    m.today = datePart(now);
    const TimeParts t = decodeTime(now);
    m.nowTime = t.hour * 3600 + t.minute * 60;
    m.hourStart = t.hour * 3600;
    m.weekday = isoDayOfWeek(m.today);
    m.dayOfMonth = decodeDate(m.today).day;
    return m;
}

KindDecision Schedule::decide(const PassMoment& m) const {
    const std::optional<ScheduleKind> k = kind();
    if (!k) return {Reason::NeverDue, false};
    if (*k == ScheduleKind::EveryMinute) return {Reason::Due, false};

    int s = 0, e = 0;
    windowBounds(*this, m, s, e);
    const int step = repeatInterval != 0 ? repeatInterval * 60 : 86400;
    const bool pastEnd = m.nowTime >= e;

    bool dayOk = true;
    bool stopDay = true;
    switch (*k) {
    case ScheduleKind::Weekly:
        dayOk = m.weekday == weekday();
        stopDay = dayOk;
        break;
    case ScheduleKind::EveryMonth:
        dayOk = firstDay() <= m.dayOfMonth && m.dayOfMonth <= lastDay();
        stopDay = m.dayOfMonth >= lastDay();
        break;
    case ScheduleKind::EveryYear:
        dayOk = datePart(startDate) <= m.today && m.today <= datePart(endDate);
        stopDay = m.today >= datePart(endDate);
        break;
    default:
        break;
    }
    KindDecision d;
    if (!dayOk || !inWindow(s, e, m.nowTime))
        d.reason = Reason::OutsideWindow;
    else if ((m.nowTime - s) % step >= 60)
        d.reason = Reason::OffStep;
    else
        d.reason = Reason::Due;
    d.stopCheck = d.reason != Reason::Due && stopDay && pastEnd;
    return d;
}

bool Schedule::silenceInForce(const PassMoment& m) const {
    const std::optional<ScheduleKind> k = kind();
    if (!k) return false;
    if (*k == ScheduleKind::EveryMinute) return true;
    int s = 0, e = 0;
    windowBounds(*this, m, s, e);
    if (!inWindow(s, e, m.nowTime)) return false;
    switch (*k) {
    case ScheduleKind::Weekly:
        // A silence period's day is read as it stands (the report names no week day above 7).
        return m.weekday == dayOf(startDate);
    case ScheduleKind::EveryMonth:
        return firstDay() <= m.dayOfMonth && m.dayOfMonth <= lastDay();
    case ScheduleKind::EveryYear:
        return datePart(startDate) <= m.today && m.today <= datePart(endDate);
    default:
        return true;
    }
}

bool Schedule::launchSkipped(DateTime from, DateTime to) const {
    to += 1.0 / 1440;
    // A repeat of a day or more, or below zero, has no form as hours and minutes of one day: such
    // a task is treated as launching once per window, as with 0.
    const std::int64_t step = (repeatInterval > 0 && repeatInterval < 1440)
                                  ? std::int64_t{repeatInterval} * 60000
                                  : std::int64_t{86399} * 1000;
    const std::int64_t f = timeOfDayMs(from);
    const std::int64_t t2 = timeOfDayMs(to);
    const std::int64_t startFrac = timeOfDayMs(startTime);
    const std::int64_t endFrac = timeOfDayMs(endTime);
    constexpr std::int64_t HourMs = 3600000;
    const std::optional<ScheduleKind> k = kind();
    if (!k) return false;
    switch (*k) {
    case ScheduleKind::EveryHour:
        return momentIn(startFrac + f / HourMs * HourMs, endFrac + t2 / HourMs * HourMs, step, f,
                        t2);
    case ScheduleKind::EveryDay:
        return momentIn(startFrac, endFrac, step, f, t2);
    case ScheduleKind::Weekly:
        if (isoDayOfWeek(datePart(from)) != weekday()) return false;
        return momentIn(startFrac, endFrac, step, f, t2);
    case ScheduleKind::EveryMonth: {
        const int d = decodeDate(datePart(from)).day;
        if (!(firstDay() <= d && d <= lastDay())) return false;
        return momentIn(startFrac, endFrac, step, f, t2);
    }
    case ScheduleKind::EveryYear: {
        const DateTime day = datePart(startDate);
        return momentIn(msOf(day) + startFrac, msOf(day) + endFrac, step, msOf(from), msOf(to));
    }
    default:
        return false;
    }
}

std::vector<Schedule::MinuteSpan> Schedule::windowMinutes() const {
    std::vector<MinuteSpan> out;
    const std::optional<ScheduleKind> k = kind();
    if (!k || *k == ScheduleKind::EveryMinute) return out;
    const bool hourly = *k == ScheduleKind::EveryHour;
    const int s = secondsOfDay(startTime);
    const int e = secondsOfDay(endTime);
    for (int hour = 0; hour < (hourly ? 24 : 1); ++hour) {
        const int base = hourly ? hour * 3600 : 0;
        MinuteSpan span{(base + s + 59) / 60, (base + e) / 60};
        if (hourly) {
            span.first = std::max(span.first, hour * 60);
            span.last = std::min(span.last, hour * 60 + 59);
        }
        span.last = std::min(span.last, 1439);
        if (span.first <= span.last) out.push_back(span);
    }
    return out;
}

} // namespace vektrin
