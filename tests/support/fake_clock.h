#pragma once

#include "platform/clock.h"

namespace vektrin::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(DateTime start = 0) : value(start) {}
    DateTime now() const override { return value; }

    void set(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        value = *tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s, ms);
    }
    void advanceSeconds(double seconds) { value += seconds / SecondsPerDay; }

    DateTime value;
};

} // namespace vektrin::test
