#pragma once
// Task windows of every kind alike, with random hours, lengths and repeat steps: the tasks the
// launch-search and timeline benchmarks measure. The same pick gives the same windows.

#include "engine/schedule.h"
#include "platform/date_time.h"

#include <algorithm>
#include <random>

namespace vektrin::bench {

class RandomWindows {
  public:
    explicit RandomWindows(unsigned seed = 7) : random_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }

    // The window of the i-th task: kind i % 6.
    Schedule window(int i) {
        Schedule w;
        w.interval = i % 6;
        const int from = w.interval == 1 ? pick(0, 59) * 60 : pick(0, 23) * 3600;
        const int length = w.interval == 1 ? pick(0, 59) * 60 : pick(0, 8) * 3600;
        w.startTime = from / SecondsPerDay;
        w.endTime = std::min(from + length, w.interval == 1 ? 3599 : 86399) / SecondsPerDay;
        w.repeatInterval = pick(0, 3) * 15;
        w.startDate = w.interval == 5 ? *tryEncodeDate(2025, pick(1, 12), pick(1, 28))
                                      : *tryEncodeDate(1, 1, pick(1, 28));
        w.endDate = w.interval == 5 ? w.startDate + pick(0, 30) : *tryEncodeDate(1, 1, pick(1, 31));
        return w;
    }

  private:
    std::mt19937 random_;
};

} // namespace vektrin::bench
