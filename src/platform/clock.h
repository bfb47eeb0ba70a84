#pragma once
// "Now" for every pass, expansion and protocol line; tests replace it to run days in milliseconds.

#include "platform/date_time.h"

namespace vektrin {

class Clock {
  public:
    virtual ~Clock() = default;
    // Local date and time as a day count with the time of day as the fraction.
    virtual DateTime now() const = 0;
    // Clock milliseconds that pass in one real millisecond. Timers are armed in real time, so a
    // clock that runs faster (a test's) gets its minutes sooner.
    virtual double rate() const { return 1.0; }
};

class SystemClock final : public Clock {
  public:
    DateTime now() const override;
};

// Converts a POSIX time (seconds, nanoseconds) to local date-time.
DateTime localDateTimeFromUnix(long long seconds, long nanoseconds = 0);

} // namespace vektrin
