// The kinds' time rules: when a task is due, when a silence period is in force, and whether a
// task's launch fell into a pause. Each reads the window compiled (engine/compiled_window.h).

#include "engine/schedule.h"

#include "engine/compiled_window.h"

namespace vektrin {
namespace {

using schedule::CompiledWindow;
using schedule::KindDecision;
using schedule::PassMoment;
using schedule::Reading;

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
    return CompiledWindow(*this, Reading::Task).decide(m);
}

bool Schedule::silenceInForce(const PassMoment& m) const {
    return CompiledWindow(*this, Reading::Silence).inForce(m);
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
    const CompiledWindow compiled(*this, Reading::Task);
    if (compiled.flags().never || compiled.flags().everyMinute) return out;
    const schedule::MinuteSet& window = compiled.minutes().window;
    const int period = compiled.flags().hourly ? 60 : schedule::MinuteSet::Size;
    for (int base = 0; base < schedule::MinuteSet::Size; base += period) {
        // Inside one hour, or one day, the window is a single run of minutes.
        MinuteSpan span{window.next(base), 0};
        if (span.first >= base + period) continue;
        span.last = span.first;
        while (span.last + 1 < base + period && window.test(span.last + 1))
            ++span.last;
        out.push_back(span);
    }
    return out;
}

} // namespace vektrin
