// The day-by-day launch search against the plainest possible search: every minute put to the
// pass's own rules. Any minute the fast search proposes wrongly or leaves out shows up here.

#include "engine/next_launch.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vektrin::schedule {
namespace {

DateTime date(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}

DateTime timeOf(int seconds) {
    return seconds / SecondsPerDay;
}

std::vector<LaunchMoment> everyMinute(const Schedule& task, const std::vector<Schedule>& silence,
                                      DateTime after, int days, int count) {
    std::vector<LaunchMoment> found;
    const LaunchMoment from = minuteOf(after);
    for (std::int64_t day = from.day; day <= from.day + days; ++day)
        for (int m = 0; m < 1440; ++m) {
            if (day == from.day && m <= from.minute) continue;
            const LaunchMoment candidate{day, m};
            const PassMoment moment = passMoment(candidate.toDateTime());
            if (task.decide(moment).reason != Reason::Due) continue;
            bool silenced = false;
            for (const Schedule& row : silence)
                silenced = silenced || row.silenceInForce(moment);
            if (silenced) continue;
            found.push_back(candidate);
            if (static_cast<int>(found.size()) == count) return found;
        }
    return found;
}

class NextLaunchAgainstEveryMinute : public ::testing::TestWithParam<int> {};

TEST_P(NextLaunchAgainstEveryMinute, SameMoments) {
    test::ScopedEnv utc("TZ", "UTC"); // the plain search knows no clock changes
    std::mt19937 random(static_cast<unsigned>(GetParam()));
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };

    for (int round = 0; round < 40; ++round) {
        Schedule task;
        task.interval = pick(0, 7);
        // Times with seconds, windows that end before they start, odd and negative steps.
        task.startTime = timeOf(pick(0, 86399));
        task.endTime = timeOf(pick(0, 86399));
        if (task.interval == 1) {
            task.startTime = timeOf(pick(0, 3599));
            task.endTime = timeOf(pick(0, 3599));
        }
        const int repeats[] = {0, 1, 7, 13, 60, 90, 1440, -25};
        task.repeatInterval = repeats[pick(0, 7)];
        task.startDate = task.interval == 5 ? date(2024, 3, pick(1, 12)) : date(1, 1, pick(1, 9));
        task.endDate = task.interval == 5 ? date(2024, 3, pick(5, 20)) : date(1, 1, pick(1, 31));

        std::vector<Schedule> silence;
        for (int n = pick(0, 2); n > 0; --n) {
            Schedule row;
            row.interval = pick(1, 5);
            row.startTime = timeOf(pick(0, 86399));
            row.endTime = timeOf(pick(0, 86399));
            if (row.interval == 1) {
                row.startTime = timeOf(pick(0, 3599));
                row.endTime = timeOf(pick(0, 3599));
            }
            row.startDate = row.interval == 5 ? date(2024, 3, pick(1, 9)) : date(1, 1, pick(1, 7));
            row.endDate = row.interval == 5 ? date(2024, 3, pick(5, 12)) : date(1, 1, pick(1, 31));
            silence.push_back(row);
        }

        const DateTime after = date(2024, 3, 4) + timeOf(pick(0, 86399));
        const int days = 8;
        NextLaunchSearch search(silence, days);
        const auto fast = search.next(task, after, 30);
        const auto plain = everyMinute(task, silence, after, days, 30);
        ASSERT_EQ(fast, plain) << "round " << round << " kind " << task.interval << " repeat "
                               << task.repeatInterval;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NextLaunchAgainstEveryMinute, ::testing::Range(1, 11));

} // namespace
} // namespace vektrin::schedule
