#pragma once
// The launches that no pass made because no pass ran, from the scheduler's record of its passes:
// what `vektrinctl due --missed` lists and the timeline marks as made up.

#include "engine/next_launch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

class SettingsStore;

// [Schedule] CatchUpDays of the settings: how many days back a missed launch is made up.
int catchUpDays(const SettingsStore& settings);
// A whole number of the [Schedule] section; fallback when it is missing, unreadable or outside
// lo..hi.
int scheduleSetting(const SettingsStore& settings, std::string_view name, int fallback, int lo,
                    int hi);

// The minutes strictly between `after` and `before` had no pass (minute numbers of
// PassHistory::minuteOf).
struct PassGap {
    std::int64_t after = 0;  // the last pass before it
    std::int64_t before = 0; // the pass after it; while it lasts, now's minute
    bool pending = false;    // no scheduler holds the tables: the gap goes on until one starts
};

// The gaps the scheduler of a table directory recorded in its history file (PassHistory), oldest
// first, and, while no scheduler holds the tables, the time since its last pass.
std::vector<PassGap> recordedGaps(const std::string& historyFile,
                                  const std::string& tablesDirectory, DateTime now);

// The moments of a schedule that fell into a gap and are not older than `since`, as the pass
// looks for them (moments in silence periods are left out).
std::vector<schedule::LaunchMoment> missedIn(schedule::NextLaunchSearch& search,
                                             const Schedule& window, const PassGap& gap,
                                             DateTime since = 0);

// The part of a gap that the pass ending it makes up for catch-up tasks: its minutes not older
// than catchUpDays before that pass. Empty when none is left.
std::optional<PassGap> catchUpPart(const PassGap& gap, int catchUpDays);

} // namespace vektrin
