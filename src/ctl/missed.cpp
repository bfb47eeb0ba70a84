// due --missed: the launches that did not happen for a reason of the scheduler's own: no pass ran
// (the scheduler was not running, the machine slept, the clock stepped over them), from its record
// of its gaps; no slot came free, the resources were held, a pause, an unreadable condition, from
// its record of what it held back.

#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/held_launches.h"
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
    const std::vector<HeldLaunch> held =
        HeldLaunches::read(HeldLaunches::fileFor(places::stateDirectory(), directory));
    Json all = Json::array();
    const auto say = [&](const std::string& latest, std::size_t moments, bool catchUp,
                         std::string_view reason) {
        if (json) {
            Json entry = Json::object();
            entry["AppID"] = dm->Table1AppID.asInteger();
            entry["AppName"] = dm->Table1AppName.asString();
            entry["Missed"] = latest;
            entry["Moments"] = moments;
            entry["CatchUp"] = catchUp;
            entry["Reason"] = std::string(reason);
            all.push_back(std::move(entry));
        } else {
            std::cout << dm->Table1AppID.asInteger() << '\t' << dm->Table1AppName.asString() << '\t'
                      << latest << '\t' << moments << '\t' << (catchUp ? "yes" : "no") << '\t'
                      << reason << '\n';
        }
    };
    if (!json) std::cout << "AppID\tAppName\tMissed\tMoments\tCatchUp\tReason\n";
    const std::int64_t fromMinute = PassHistory::minuteOf(from);
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next()) {
        const auto appId = static_cast<std::int32_t>(dm->Table1AppID.asInteger());
        for (const HeldLaunch& h : held)
            if (h.appId == appId && h.minute >= fromMinute)
                say(formatMoment(schedule::minuteOf(PassHistory::minuteStart(h.minute))), 1, false,
                    h.reason);
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
            say(formatMoment(moments.back()), moments.size(), catchUp, "no-pass");
        }
    }
    if (json) std::cout << all.dump(2) << '\n';
    return ExitOk;
}

} // namespace vektrin::ctl
