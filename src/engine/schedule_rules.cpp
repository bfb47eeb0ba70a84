// The kinds' time rules: when a task is due, when a silence period is in force, and whether a
// task's launch fell into a pause. Each reads the window compiled (engine/compiled_window.h).

#include "engine/schedule.h"

#include "engine/compiled_window.h"

#include <cmath>

namespace vektrin {
namespace {

using schedule::CompiledWindow;
using schedule::KindDecision;
using schedule::PassMoment;
using schedule::Reading;

// The minutes counted from day 0 of the tables that start at or after a moment (up), or at or
// before it.
std::int64_t minuteIndex(DateTime value, bool up) {
    const std::int64_t ms = static_cast<std::int64_t>(datePart(value)) * 86400000 +
                            std::llround(timePart(value) * MsPerDay);
    const std::int64_t down = ms / 60000 - (ms % 60000 < 0);
    return up && down * 60000 != ms ? down + 1 : down;
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
    if (!std::isfinite(from) || !std::isfinite(to)) return false;
    const CompiledWindow window(*this, Reading::Task);
    // An every-minute task is due in every pass: it would always be marked, and its running
    // Interrupt instance ended whenever an editor closes. The next pass launches it anyway.
    if (window.flags().everyMinute) return false;
    // A launch fell into the pause when the pass would have found the task due in a minute from
    // the pause's start to one minute after its end.
    return window.dueBetween(minuteIndex(from, true), minuteIndex(to, false) + 1);
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
