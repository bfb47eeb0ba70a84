#pragma once
// A window compiled once into the minutes of a day and a test of the date: which minutes lie inside
// the time window, which of them the repeat step makes due, which lie at or after the window's end,
// and on which dates the kind applies. The kind's rule, the silence test, the pause marking, the
// spans of the timeline and the launch search all read a window through this one form, so no two
// of them can read it differently.

#include "engine/schedule.h"

#include <array>
#include <cstdint>
#include <memory>

namespace vektrin::schedule {

// A set of the minutes of one day, 0 .. 1439.
class MinuteSet {
  public:
    static constexpr int Size = 1440;

    bool test(int minute) const { return (words_[word(minute)] >> bit(minute)) & 1u; }
    void set(int minute) { words_[word(minute)] |= std::uint64_t{1} << bit(minute); }
    // Adds first .. last, both included; nothing when last < first.
    void setRange(int first, int last);
    // Whether a minute of first .. last (both included) is in the set.
    bool anyIn(int first, int last) const;
    // The first minute of the set at or after `from`; Size when there is none.
    int next(int from) const;
    bool empty() const { return next(0) == Size; }

  private:
    static int word(int minute) { return minute >> 6; }
    static int bit(int minute) { return minute & 63; }
    std::array<std::uint64_t, (Size + 63) / 64> words_{};
};

// A date as the day tests read it.
struct DayFacts {
    DateTime today = 0;
    int weekday = 1; // 1 Monday .. 7 Sunday
    int dayOfMonth = 1;

    static DayFacts of(const PassMoment& moment) {
        return {moment.today, moment.weekday, moment.dayOfMonth};
    }
    // The day with the tables' day number.
    static DayFacts ofDay(std::int64_t day);
};

// Whose window it is: a task's (due on its repeat step, with a stop check) or a silence period's
// (in force through the whole window, no repeat).
enum class Reading { Task, Silence };

class CompiledWindow {
  public:
    CompiledWindow(const Schedule& window, Reading reading);

    // The minutes of any day the kind applies on. An hourly window is the same in every hour.
    struct Minutes {
        MinuteSet window;  // S <= now <= E
        MinuteSet due;     // inside the window and (now - S) mod D < 60; the window for silence
        MinuteSet pastEnd; // now >= E
    };

    // The oddities of how a window is read, decided once here.
    struct Flags {
        // Kinds 6 to 127: never due, never in force.
        bool never = false;
        // Kind 0: due in every minute, in force always; it has no window to show.
        bool everyMinute = false;
        // Kind 1: the window is measured from the start of each hour.
        bool hourly = false;
        // A task's week day is its stored day of the month modulo 7, 0 taken as 7, as every view
        // shows it (Schedule::weekday()); a silence period's is the stored day as it stands, so
        // one above 7 never comes round.
        bool weekdayModulo7 = false;
        // A negative repeat steps by its magnitude: the pass takes the remainder of a time that
        // is never negative inside the window, which keeps that time's sign.
        bool negativeRepeat = false;
    };

    const Flags& flags() const { return flags_; }
    const Minutes& minutes() const { return *minutes_; }
    // Whether the kind applies on the date.
    bool applies(const DayFacts& day) const;
    // Whether the stop check applies on the date, once the window's end is past.
    bool stops(const DayFacts& day) const;

    KindDecision decide(const PassMoment& moment) const;
    bool inForce(const PassMoment& moment) const;
    // Whether a minute from `first` to `last` (minutes counted from day 0 of the tables, both
    // included) is due. Each minute is read with its own date, so a pause that spans midnight
    // holds the next day's launches too.
    bool dueBetween(std::int64_t first, std::int64_t last) const;

  private:
    enum class DayTest { Every, Weekday, DaysOfMonth, Dates };

    Flags flags_;
    DayTest test_ = DayTest::Every;
    int weekday_ = 0;
    int firstDay_ = 0, lastDay_ = 0;        // of the month
    DateTime firstDate_ = 0, lastDate_ = 0; // full dates of a yearly window
    const Minutes* minutes_ = nullptr;
    std::unique_ptr<Minutes> own_; // when the shared minutes hold no more shapes
};

} // namespace vektrin::schedule
