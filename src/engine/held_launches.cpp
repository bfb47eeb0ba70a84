#include "engine/held_launches.h"

#include "engine/pass_history.h"
#include "platform/places.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace vektrin {
namespace {

constexpr std::int64_t KeptMinutes = 31 * 1440;
constexpr std::size_t KeptEntries = 10000;

bool knownReason(std::string_view word) {
    return word == held::Resources || word == held::NoSlot || word == held::Pause ||
           word == held::UnreadableCondition || word == held::ServerAway;
}

} // namespace

HeldLaunches::HeldLaunches(std::string file) : file_(std::move(file)) {
    if (!file_.empty()) held_ = read(file_);
}

void HeldLaunches::add(std::int32_t appId, DateTime due, std::string_view reason) {
    HeldLaunch entry{appId, PassHistory::minuteOf(due), std::string(reason)};
    // A repeat comes only from a minute said again at once (or the clock going back a little).
    const auto recent = held_.size() > 64 ? held_.end() - 64 : held_.begin();
    if (std::find(recent, held_.end(), entry) != held_.end()) return;
    held_.push_back(std::move(entry));
    changed_ = true;
}

std::string HeldLaunches::save() {
    if (!changed_) return {};
    if (!held_.empty()) {
        const std::int64_t newest = held_.back().minute;
        std::erase_if(held_, [&](const HeldLaunch& h) { return h.minute < newest - KeptMinutes; });
    }
    if (held_.size() > KeptEntries)
        held_.erase(held_.begin(), held_.end() - static_cast<std::ptrdiff_t>(KeptEntries));
    if (file_.empty()) {
        changed_ = false;
        return {};
    }
    std::string text;
    for (const HeldLaunch& h : held_)
        text += text::isoStamp(PassHistory::minuteStart(h.minute), text::Stamp::Minutes) + " " +
                std::to_string(h.appId) + " " + h.reason + "\n";
    try {
        places::writeFileAtomically(file_, text);
        changed_ = false;
        return {};
    } catch (const places::PlaceError& e) {
        return e.what();
    }
}

std::string HeldLaunches::fileFor(const std::string& stateDirectory,
                                  const std::string& tableDirectory) {
    return stateDirectory + "/" + places::schedulerKey(tableDirectory) + ".held";
}

// One launch a line: "YYYY-MM-DD HH:MM appId reason".
std::vector<HeldLaunch> HeldLaunches::read(const std::string& file) {
    std::vector<HeldLaunch> out;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, appId = 0;
        char reason[32] = {};
        if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d %d %31s", &y, &mo, &d, &h, &mi, &appId,
                        reason) != 7 ||
            !knownReason(reason))
            continue;
        const auto date = tryEncodeDate(y, mo, d);
        const auto time = tryEncodeTime(h, mi, 0);
        if (!date || !time) continue;
        out.push_back({appId, PassHistory::minuteOf(*date + *time), reason});
    }
    return out;
}

} // namespace vektrin
