#pragma once
// "Now" for every pass, expansion and protocol line; tests replace it to run days in milliseconds.

#include "platform/date_time.h"

#include <cstdint>
#include <optional>

namespace vektrin {

class Clock {
  public:
    virtual ~Clock() = default;
    // Local date and time as a day count with the time of day as the fraction.
    virtual DateTime now() const = 0;
    // Clock milliseconds that pass in one real millisecond. Timers are armed in real time, so a
    // clock that runs faster (a test's) gets its minutes sooner.
    virtual double rate() const { return 1.0; }
    // The same moment as now() in milliseconds of UTC: a change of zone or of summer time moves
    // now() but not this.
    virtual std::int64_t utcMs() const { return msOf(now()); }
    // Milliseconds that really passed since some fixed point, sleep included, whatever the wall
    // clock was set to meanwhile; empty where that is not known.
    virtual std::optional<std::int64_t> elapsedMs() const { return std::nullopt; }
    // Takes up a change of the system's time zone or of its rules.
    virtual void rereadZone() {}
};

class SystemClock final : public Clock {
  public:
    DateTime now() const override;
    std::int64_t utcMs() const override;
    std::optional<std::int64_t> elapsedMs() const override;
    void rereadZone() override;

  private:
    struct ZoneFile {
        unsigned long long device, inode;
        long long seconds, nanoseconds; // when it was last modified
        friend bool operator==(const ZoneFile&, const ZoneFile&) = default;
    };
    std::optional<ZoneFile> zoneFile_; // of the zone TZ names, when it names one
};

// Converts a POSIX time (seconds, nanoseconds) to local date-time.
DateTime localDateTimeFromUnix(long long seconds, long nanoseconds = 0);

} // namespace vektrin
