// due --missed: the launches that did not happen because no pass ran (the scheduler was not
// running, the machine slept, the clock stepped over them), from the scheduler's own record of
// its gaps.

#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/pass_history.h"
#include "platform/places.h"

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
    const std::string directory = context.tablesDirectory;
    PassHistory::Record record =
        PassHistory::read(PassHistory::fileFor(places::stateDirectory(), directory));
    // While no scheduler holds the tables, the time since its last pass is a gap as well.
    const std::int64_t nowMinute = PassHistory::minuteOf(now);
    const bool running = places::lockedExclusively(directory + "/" + TaskFileName).value_or(false);
    if (!running && record.lastMinute && *record.lastMinute + 1 < nowMinute)
        record.gaps.emplace_back(*record.lastMinute, nowMinute);

    schedule::NextLaunchSearch search(Schedule::silenceTable(*dm),
                                      static_cast<int>(now - from) + 2);
    Json all = Json::array();
    if (!json) std::cout << "AppID\tAppName\tMissed\tMoments\tCatchUp\n";
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next()) {
        if (dm->Table1Stopped.asBoolean()) continue;
        const Schedule window = Schedule::ofTask(*dm);
        const bool catchUp = dm->Table1CatchUp.asBoolean();
        for (const auto& [first, last] : record.gaps) {
            const DateTime after = std::max(PassHistory::minuteStart(first), from - 1.0 / 1440);
            const DateTime before = PassHistory::minuteStart(last);
            if (after >= before) continue;
            const auto moments = search.between(window, after, before);
            if (moments.empty()) continue;
            // One launch makes up the latest moment of a gap, when the task asks for it.
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
