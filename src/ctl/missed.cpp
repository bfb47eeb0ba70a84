// due --missed: the launches that did not happen because no pass ran (the scheduler was not
// running, the machine slept, the clock stepped over them), from the scheduler's own record of
// its gaps.

#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/missed_launches.h"
#include "engine/pass_history.h"
#include "platform/places.h"
#include "platform/settings_store.h"

#include <iostream>

namespace vektrin::ctl {

int runMissed(const Context& context, const std::string& since, bool json) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    const DateTime now = context.now();
    DateTime from = now - DefaultCatchUpDays;
    if (!since.empty()) {
        // Its words were checked when the command line was read.
        if (const std::optional<DateTime> moment = readMoment(since, now)) from = *moment;
    }
    const std::string& directory = context.tablesDirectory;
    const std::vector<PassGap> gaps =
        recordedGaps(PassHistory::fileFor(places::stateDirectory(), directory), directory, now);
    schedule::NextLaunchSearch search(Schedule::silenceTable(*dm),
                                      static_cast<int>(now - from) + 2);
    const int days = catchUpDays(SettingsStore());
    Json all = Json::array();
    if (!json) std::cout << "AppID\tAppName\tMissed\tMoments\tCatchUp\n";
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next()) {
        if (dm->Table1Stopped.asBoolean()) continue;
        const Schedule window = Schedule::ofTask(*dm);
        for (const PassGap& gap : gaps) {
            const auto moments = missedIn(search, window, gap, from);
            if (moments.empty()) continue;
            // One launch makes up the latest moment of a gap, when the task asks for it and the
            // moment is not older than CatchUpDays at the pass that ends the gap.
            const std::optional<PassGap> part = catchUpPart(gap, days);
            const bool catchUp = dm->Table1CatchUp.asBoolean() && part &&
                                 !missedIn(search, window, *part, from).empty();
            const std::string latest = formatMoment(moments.back());
            if (json) {
                Json entry = Json::object();
                entry["AppID"] = dm->Table1AppID.asInteger();
                entry["AppName"] = dm->Table1AppName.asString();
                entry["Missed"] = latest;
                entry["Moments"] = moments.size();
                entry["CatchUp"] = catchUp;
                all.push_back(std::move(entry));
            } else {
                std::cout << dm->Table1AppID.asInteger() << '\t' << dm->Table1AppName.asString()
                          << '\t' << latest << '\t' << moments.size() << '\t'
                          << (catchUp ? "yes" : "no") << '\n';
            }
        }
    }
    if (json) std::cout << all.dump(2) << '\n';
    return ExitOk;
}

} // namespace vektrin::ctl
