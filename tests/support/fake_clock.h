#pragma once

#include "platform/clock.h"

namespace vektrin::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(DateTime start = 0) : value(start) {}
    // Each reading moves the clock on by creepSeconds, as the real one does while a pass works.
    DateTime now() const override {
        const DateTime v = value;
        value += creepSeconds / SecondsPerDay;
        return v;
    }

    void set(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        value = *tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s, ms);
    }
    void advanceSeconds(double seconds) { value += seconds / SecondsPerDay; }
    std::optional<std::int64_t> elapsedMs() const override {
        if (!bootSeconds) return std::nullopt;
        return static_cast<std::int64_t>(*bootSeconds * 1000);
    }

    mutable DateTime value;
    // Real time since boot; while empty the clock tells no step from time that passed.
    std::optional<double> bootSeconds;
    double creepSeconds = 0;
};

} // namespace vektrin::test
