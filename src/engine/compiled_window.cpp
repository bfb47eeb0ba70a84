#include "engine/compiled_window.h"

#include <algorithm>
#include <bit>
#include <deque>
#include <utility>
#include <vector>

namespace vektrin::schedule {
namespace {

constexpr std::uint64_t AllBits = ~std::uint64_t{0};

// What the minutes of a window depend on: whether it repeats each hour, its start and end time
// (kept as stored, so that a window found again costs no rounding) and the step D in seconds.
struct Shape {
    std::uint64_t startTime = 0, endTime = 0; // the values' bits
    std::int64_t step = 0;
    bool hourly = false;
    friend bool operator==(const Shape&, const Shape&) = default;
};

using Minutes = CompiledWindow::Minutes;

// The time rule minute by minute: S <= now <= E, and (now - S) mod D < 60 at the whole minutes
// the passes run in. Every launch moment S + kD up to E is due in the first minute at or after it
// (a start at 08:00:30 in 08:01), as long as that minute still lies inside the window.
void compile(const Shape& shape, Minutes& out) {
    const int start = secondsOfDay(std::bit_cast<DateTime>(shape.startTime));
    const int end = secondsOfDay(std::bit_cast<DateTime>(shape.endTime));
    const int period = shape.hourly ? 60 : MinuteSet::Size;
    for (int base = 0; base < MinuteSet::Size; base += period) {
        const int last = base + period - 1;
        out.window.setRange(base + (start + 59) / 60, std::min(base + end / 60, last));
        out.pastEnd.setRange(base + (end + 59) / 60, last);
        for (std::int64_t t = start; t <= end; t += shape.step) {
            const std::int64_t minute = (t + 59) / 60;
            if (minute * 60 > end || minute >= period) break;
            out.due.set(base + static_cast<int>(minute));
        }
    }
}

// The passes ask the same few shapes again and again: each is compiled once and kept for the
// thread's life, so the minutes a window points to never go away. Past the bound a window keeps
// minutes of its own.
class ShapeCache {
  public:
    const Minutes* find(const Shape& shape) {
        if (const Slot& slot = slots_[slotOf(shape)]; slot.minutes) return slot.minutes;
        if (store_.size() >= MaxShapes) return nullptr;
        Minutes& added = store_.emplace_back();
        compile(shape, added);
        if (2 * store_.size() > slots_.size()) grow();
        slots_[slotOf(shape)] = {shape, &added};
        return &added;
    }

  private:
    static constexpr std::size_t MaxShapes = 4096;
    struct Slot {
        Shape shape;
        const Minutes* minutes = nullptr;
    };

    // The slot that holds the shape, or the free one where it belongs (never more than half of
    // them are taken).
    std::size_t slotOf(const Shape& s) const {
        std::uint64_t h =
            (static_cast<std::uint64_t>(s.step) << 1 | (s.hourly ? 1u : 0u)) * 0x9e3779b97f4a7c15u;
        h = (h ^ s.startTime) * 0xff51afd7ed558ccdu;
        h = (h ^ (h >> 31) ^ s.endTime) * 0xc4ceb9fe1a85ec53u;
        h ^= h >> 29;
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = h & mask;
        while (slots_[i].minutes && !(slots_[i].shape == s))
            i = (i + 1) & mask;
        return i;
    }
    void grow() {
        std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(2 * slots_.size()));
        for (const Slot& slot : old)
            if (slot.minutes) slots_[slotOf(slot.shape)] = slot;
    }

    std::vector<Slot> slots_ = std::vector<Slot>(64); // a power of two
    std::deque<Minutes> store_;
};

const Minutes* cachedMinutes(const Shape& shape) {
    thread_local ShapeCache cache;
    return cache.find(shape);
}

const Minutes& noMinutes() {
    static const Minutes none;
    return none;
}

const Minutes& everyMinute() {
    static const Minutes all = [] {
        Minutes m;
        m.window.setRange(0, MinuteSet::Size - 1);
        m.due.setRange(0, MinuteSet::Size - 1);
        return m;
    }();
    return all;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

int minuteOfPass(const PassMoment& m) {
    return std::clamp(m.nowTime / 60, 0, MinuteSet::Size - 1);
}

} // namespace

void MinuteSet::setRange(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, Size - 1);
    for (int w = word(first); first <= last && w <= word(last); ++w) {
        std::uint64_t mask = AllBits;
        if (w == word(first)) mask &= AllBits << bit(first);
        if (w == word(last)) mask &= AllBits >> (63 - bit(last));
        words_[static_cast<std::size_t>(w)] |= mask;
    }
}

bool MinuteSet::anyIn(int first, int last) const {
    first = std::max(first, 0);
    last = std::min(last, Size - 1);
    return first <= last && next(first) <= last;
}

int MinuteSet::next(int from) const {
    if (from >= Size) return Size;
    from = std::max(from, 0);
    std::size_t w = static_cast<std::size_t>(word(from));
    std::uint64_t bits = words_[w] & (AllBits << bit(from));
    while (bits == 0) {
        if (++w == words_.size()) return Size;
        bits = words_[w];
    }
    return static_cast<int>(w) * 64 + std::countr_zero(bits);
}

DayFacts DayFacts::ofDay(std::int64_t day) {
    const auto date = static_cast<DateTime>(day);
    return {date, isoDayOfWeek(date), decodeDate(date).day};
}

CompiledWindow::CompiledWindow(const Schedule& w, Reading reading) {
    flags_.weekdayModulo7 = reading == Reading::Task;
    flags_.negativeRepeat = reading == Reading::Task && w.repeatInterval < 0;
    const std::optional<ScheduleKind> kind = w.kind();
    if (!kind) {
        flags_.never = true;
        minutes_ = &noMinutes();
        return;
    }
    if (*kind == ScheduleKind::EveryMinute) {
        flags_.everyMinute = true;
        minutes_ = &everyMinute();
        return;
    }
    flags_.hourly = *kind == ScheduleKind::EveryHour;
    // A silence period holds through its whole window, as if it repeated every minute.
    std::int64_t step = 60;
    if (reading == Reading::Task) {
        const std::int64_t repeat = w.repeatInterval;
        step = repeat == 0 ? 86400 : (flags_.negativeRepeat ? -repeat : repeat) * 60;
    }
    const Shape shape{std::bit_cast<std::uint64_t>(w.startTime),
                      std::bit_cast<std::uint64_t>(w.endTime), step, flags_.hourly};
    minutes_ = cachedMinutes(shape);
    if (!minutes_) {
        own_ = std::make_unique<Minutes>();
        compile(shape, *own_);
        minutes_ = own_.get();
    }
    switch (*kind) {
    case ScheduleKind::Weekly:
        test_ = DayTest::Weekday;
        weekday_ = flags_.weekdayModulo7 ? w.weekday() : Schedule::dayOf(w.startDate);
        break;
    case ScheduleKind::EveryMonth:
        test_ = DayTest::DaysOfMonth;
        firstDay_ = w.firstDay();
        lastDay_ = w.lastDay();
        break;
    case ScheduleKind::EveryYear:
        test_ = DayTest::Dates;
        firstDate_ = datePart(w.startDate);
        lastDate_ = datePart(w.endDate);
        break;
    default:
        break;
    }
}

bool CompiledWindow::applies(const DayFacts& day) const {
    switch (test_) {
    case DayTest::Weekday:
        return day.weekday == weekday_;
    case DayTest::DaysOfMonth:
        return firstDay_ <= day.dayOfMonth && day.dayOfMonth <= lastDay_;
    case DayTest::Dates:
        return firstDate_ <= day.today && day.today <= lastDate_;
    case DayTest::Every:
        break;
    }
    return true;
}

bool CompiledWindow::stops(const DayFacts& day) const {
    switch (test_) {
    case DayTest::Weekday:
        return day.weekday == weekday_;
    case DayTest::DaysOfMonth:
        return day.dayOfMonth >= lastDay_;
    case DayTest::Dates:
        return day.today >= lastDate_;
    case DayTest::Every:
        break;
    }
    return true;
}

KindDecision CompiledWindow::decide(const PassMoment& moment) const {
    if (flags_.never) return {Reason::NeverDue, false};
    const int minute = minuteOfPass(moment);
    const DayFacts day = DayFacts::of(moment);
    KindDecision d;
    if (!minutes_->window.test(minute) || !applies(day))
        d.reason = Reason::OutsideWindow;
    else if (!minutes_->due.test(minute))
        d.reason = Reason::OffStep;
    else
        d.reason = Reason::Due;
    d.stopCheck = d.reason != Reason::Due && minutes_->pastEnd.test(minute) && stops(day);
    d.dueInRepeatedMinute = flags_.everyMinute || flags_.hourly;
    return d;
}

bool CompiledWindow::inForce(const PassMoment& moment) const {
    return minutes_->window.test(minuteOfPass(moment)) && applies(DayFacts::of(moment));
}

bool CompiledWindow::dueBetween(std::int64_t first, std::int64_t last) const {
    if (first > last || minutes_->due.empty()) return false;
    constexpr int PerDay = MinuteSet::Size;
    const std::int64_t firstDay = floorDiv(first, PerDay);
    const std::int64_t lastDay = floorDiv(last, PerDay);
    std::int64_t from = firstDay, to = lastDay;
    if (test_ == DayTest::Dates) {
        from = std::max(from, static_cast<std::int64_t>(firstDate_));
        to = std::min(to, static_cast<std::int64_t>(lastDate_));
    }
    // Within a year and a month of whole days every week day and day of the month has come round:
    // a window that applied on none of them applies on no day.
    constexpr std::int64_t Cycle = 400;
    for (std::int64_t day = from; day <= to && day - from <= Cycle; ++day) {
        if (!applies(DayFacts::ofDay(day))) continue;
        const int lo = day == firstDay ? static_cast<int>(first - day * PerDay) : 0;
        const int hi = day == lastDay ? static_cast<int>(last - day * PerDay) : PerDay - 1;
        if (minutes_->due.anyIn(lo, hi)) return true;
    }
    return false;
}

} // namespace vektrin::schedule
