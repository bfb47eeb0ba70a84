#include "engine/schedule_rules.h"

#include <cmath>

namespace vektrin::schedule {
namespace {

// Window start and end of kinds 1 to 5 in seconds since midnight.
void windowBounds(const Window& w, const PassMoment& m, int& s, int& e) {
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

int dayOf(DateTime date) {
    return decodeDate(datePart(date)).day;
}

PassMoment passMoment(DateTime now) {
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

KindDecision decide(const Window& w, const PassMoment& m) {
    const std::optional<ScheduleKind> kind = w.kind();
    if (!kind) return {Reason::NeverDue, false};
    if (*kind == ScheduleKind::EveryMinute) return {Reason::Due, false};

    int s = 0, e = 0;
    windowBounds(w, m, s, e);
    const int step = w.repeatInterval != 0 ? w.repeatInterval * 60 : 86400;
    const bool pastEnd = m.nowTime >= e;

    bool dayOk = true;
    bool stopDay = true;
    switch (*kind) {
    case ScheduleKind::Weekly:
        dayOk = m.weekday == dayOf(w.startDate);
        stopDay = dayOk;
        break;
    case ScheduleKind::EveryMonth:
        dayOk = dayOf(w.startDate) <= m.dayOfMonth && m.dayOfMonth <= dayOf(w.endDate);
        stopDay = m.dayOfMonth >= dayOf(w.endDate);
        break;
    case ScheduleKind::EveryYear:
        dayOk = datePart(w.startDate) <= m.today && m.today <= datePart(w.endDate);
        stopDay = m.today >= datePart(w.endDate);
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

bool silenceInForce(const Window& row, const PassMoment& m) {
    const std::optional<ScheduleKind> kind = row.kind();
    if (!kind) return false;
    if (*kind == ScheduleKind::EveryMinute) return true;
    int s = 0, e = 0;
    windowBounds(row, m, s, e);
    if (!inWindow(s, e, m.nowTime)) return false;
    switch (*kind) {
    case ScheduleKind::Weekly:
        return m.weekday == dayOf(row.startDate);
    case ScheduleKind::EveryMonth:
        return dayOf(row.startDate) <= m.dayOfMonth && m.dayOfMonth <= dayOf(row.endDate);
    case ScheduleKind::EveryYear:
        return datePart(row.startDate) <= m.today && m.today <= datePart(row.endDate);
    default:
        return true;
    }
}

bool launchSkipped(const Window& w, DateTime from, DateTime to) {
    to += 1.0 / 1440;
    // A repeat of a day or more, or below zero, has no form as hours and minutes of one day: such
    // a task is treated as launching once per window, as with 0.
    const std::int64_t step = (w.repeatInterval > 0 && w.repeatInterval < 1440)
                                  ? std::int64_t{w.repeatInterval} * 60000
                                  : std::int64_t{86399} * 1000;
    const std::int64_t f = timeOfDayMs(from);
    const std::int64_t t2 = timeOfDayMs(to);
    const std::int64_t startFrac = timeOfDayMs(w.startTime);
    const std::int64_t endFrac = timeOfDayMs(w.endTime);
    constexpr std::int64_t HourMs = 3600000;
    const std::optional<ScheduleKind> kind = w.kind();
    if (!kind) return false;
    switch (*kind) {
    case ScheduleKind::EveryHour:
        return momentIn(startFrac + f / HourMs * HourMs, endFrac + t2 / HourMs * HourMs, step, f,
                        t2);
    case ScheduleKind::EveryDay:
        return momentIn(startFrac, endFrac, step, f, t2);
    case ScheduleKind::Weekly:
        if (isoDayOfWeek(datePart(from)) != dayOf(w.startDate)) return false;
        return momentIn(startFrac, endFrac, step, f, t2);
    case ScheduleKind::EveryMonth: {
        const int d = decodeDate(datePart(from)).day;
        if (!(dayOf(w.startDate) <= d && d <= dayOf(w.endDate))) return false;
        return momentIn(startFrac, endFrac, step, f, t2);
    }
    case ScheduleKind::EveryYear: {
        const DateTime day = datePart(w.startDate);
        return momentIn(msOf(day) + startFrac, msOf(day) + endFrac, step, msOf(from), msOf(to));
    }
    default:
        return false;
    }
}

} // namespace vektrin::schedule
