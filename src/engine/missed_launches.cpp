#include "engine/missed_launches.h"

#include "engine/pass_history.h"
#include "platform/ini_file.h"
#include "platform/places.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "store/data_ctrl.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vektrin {

int scheduleSetting(const SettingsStore& settings, std::string_view name, int fallback, int lo,
                    int hi) {
    try {
        if (const auto value = settings.read("Schedule", std::string(name))) {
            const std::string_view v = text::trimmed(*value);
            int number = 0;
            const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), number);
            if (error == std::errc() && end == v.data() + v.size() && lo <= number && number <= hi)
                return number;
        }
    } catch (const ConfigFileError&) {
        // An unreadable settings file leaves the default.
    }
    return fallback;
}

int catchUpDays(const SettingsStore& settings) {
    return scheduleSetting(settings, "CatchUpDays", DefaultCatchUpDays, 0,
                           std::numeric_limits<int>::max());
}

std::vector<PassGap> recordedGaps(const std::string& historyFile,
                                  const std::string& tablesDirectory, DateTime now) {
    const PassHistory::Record record = PassHistory::read(historyFile);
    std::vector<PassGap> gaps;
    for (const auto& [after, before] : record.gaps)
        gaps.push_back({after, before, false});
    const std::int64_t nowMinute = PassHistory::minuteOf(now);
    const bool running =
        places::lockedExclusively(tablesDirectory + "/" + TaskFileName).value_or(false);
    if (!running && record.lastMinute && *record.lastMinute + 1 < nowMinute)
        gaps.push_back({*record.lastMinute, nowMinute, true});
    return gaps;
}

std::vector<schedule::LaunchMoment> missedIn(schedule::NextLaunchSearch& search,
                                             const Schedule& window, const PassGap& gap,
                                             DateTime since) {
    const DateTime after = std::max(PassHistory::minuteStart(gap.after), since - 1.0 / 1440);
    const DateTime before = PassHistory::minuteStart(gap.before);
    if (after >= before) return {};
    return search.between(window, after, before);
}

std::optional<PassGap> catchUpPart(const PassGap& gap, int catchUpDays) {
    PassGap part = gap;
    part.after = std::max(gap.after, gap.before - std::int64_t{catchUpDays} * 1440);
    if (part.after + 1 >= part.before) return std::nullopt;
    return part;
}

} // namespace vektrin
