#include "engine/pass_history.h"

#include "platform/files.h"
#include "platform/places.h"
#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace vektrin {
namespace {

// A clock set back by more than this is a new time, not a repeated stretch of the day.
constexpr std::int64_t RepeatedStretchMinutes = 180;
// A difference smaller than this between the wall clock and the time that really passed is the
// clock's own correction, not a step.
constexpr std::int64_t StepMs = 30000;

// Gaps older than this before the last pass, or beyond this many, are forgotten.
constexpr std::int64_t KeptGapMinutes = 31 * 1440;
constexpr std::size_t KeptGaps = 64;

std::optional<std::int64_t> minuteFrom(const char* text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    if (std::sscanf(text, "%d-%d-%d %d:%d", &y, &mo, &d, &h, &mi) != 5) return std::nullopt;
    const auto date = tryEncodeDate(y, mo, d);
    const auto time = tryEncodeTime(h, mi, 0);
    if (!date || !time) return std::nullopt;
    return PassHistory::minuteOf(*date + *time);
}

using Runs = std::vector<std::pair<std::int64_t, std::int64_t>>;

bool inRuns(const Runs& runs, std::int64_t minute) {
    return std::any_of(runs.begin(), runs.end(), [&](const auto& run) {
        return run.first <= minute && minute <= run.second;
    });
}

std::int64_t highestOf(const Runs& runs, std::int64_t minute) {
    for (const auto& run : runs)
        minute = std::max(minute, run.second);
    return minute;
}

constexpr std::string_view CoveredPrefix = "covered ", MadeUpPrefix = "made-up ";

std::string minuteText(std::int64_t minute) {
    return text::isoStamp(PassHistory::minuteStart(minute), text::Stamp::Minutes);
}

} // namespace

PassHistory::PassHistory(std::string file) : file_(std::move(file)) {
    if (file_.empty()) return;
    Record record = read(file_);
    lastMinute_ = record.lastMinute;
    gaps_ = std::move(record.gaps);
    covered_ = std::move(record.covered);
    madeUp_ = std::move(record.madeUp);
}

std::string PassHistory::fileFor(const std::string& stateDirectory,
                                 const std::string& tableDirectory) {
    return stateDirectory + "/" + places::schedulerKey(tableDirectory) + ".last-pass";
}

// The first line is the last pass's minute; each further line a gap, "from to", the minutes
// strictly between the two having had no pass, or a run of minutes, "covered from to" or
// "made-up from to", both included (a reader that knows only gaps passes over these).
PassHistory::Record PassHistory::read(const std::string& file) {
    Record record;
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line)) return record;
    record.lastMinute = minuteFrom(line.c_str());
    while (std::getline(in, line)) {
        auto* runs = &record.gaps;
        for (auto [prefix, kept] :
             {std::pair{CoveredPrefix, &record.covered}, std::pair{MadeUpPrefix, &record.madeUp}})
            if (line.starts_with(prefix)) {
                runs = kept;
                line.erase(0, prefix.size());
            }
        const auto from = minuteFrom(line.c_str());
        const auto to = line.size() > 17 ? minuteFrom(line.c_str() + 17) : std::nullopt;
        if (from && to && *from <= *to && (*from < *to || runs != &record.gaps))
            runs->emplace_back(*from, *to);
    }
    return record;
}

std::int64_t PassHistory::minuteOf(DateTime value) {
    return static_cast<std::int64_t>(std::floor(value * 1440 + 1e-7));
}

void PassHistory::cover(std::int64_t minute) {
    if (!covered_.empty() && covered_.back().second + 1 == minute)
        covered_.back().second = minute;
    else
        covered_.emplace_back(minute, minute);
    // Only the stretch the clock may bring back is kept.
    const std::int64_t highest = highestOf(covered_, minute);
    const auto old = [&](const auto& run) { return run.second < highest - RepeatedStretchMinutes; };
    std::erase_if(covered_, old);
    std::erase_if(madeUp_, old);
}

void PassHistory::madeUp(std::int64_t first, std::int64_t last) {
    if (first > last) return;
    madeUp_.emplace_back(first, last);
    if (lastMinute_) keep(*lastMinute_);
}

std::optional<PassHistory::Pass> PassHistory::begin(DateTime now, std::int64_t utcMs,
                                                    std::optional<std::int64_t> elapsedMs) {
    const std::int64_t minute = minuteOf(now);
    if (lastMinute_ == minute) return std::nullopt;
    Pass pass;
    if (elapsedMs && lastElapsedMs_ && lastUtcMs_) {
        const std::int64_t drift = (utcMs - *lastUtcMs_) - (*elapsedMs - *lastElapsedMs_);
        if (drift >= StepMs || drift <= -StepMs)
            pass.step = Step{now - static_cast<double>(drift) / MsPerDay, now};
    }
    lastUtcMs_ = utcMs;
    lastElapsedMs_ = elapsedMs;

    if (lastMinute_ && minute > *lastMinute_ + 1 && !excused_) {
        pass.gap = {*lastMinute_, minute};
        gaps_.push_back(*pass.gap);
        std::erase_if(gaps_, [&](const auto& g) { return g.second < minute - KeptGapMinutes; });
        if (gaps_.size() > KeptGaps) gaps_.erase(gaps_.begin());
    }
    excused_ = false;

    if (highestOf(covered_, minute) - minute > RepeatedStretchMinutes) {
        // A new time: its minutes are scheduled afresh.
        covered_.clear();
        madeUp_.clear();
    } else {
        pass.repeatedMinute = inRuns(covered_, minute);
        pass.madeUpMinute = inRuns(madeUp_, minute);
    }
    if (pass.gap)
        for (const Runs* runs : {&covered_, &madeUp_})
            for (const auto& [first, last] : *runs)
                if (first < pass.gap->second && last > pass.gap->first)
                    pass.coveredInGap.emplace_back(std::max(first, pass.gap->first + 1),
                                                   std::min(last, pass.gap->second - 1));
    cover(minute);
    keep(minute);
    return pass;
}

void PassHistory::keep(std::int64_t minute) {
    lastMinute_ = minute;
    if (file_.empty()) return;
    try {
        std::string text = minuteText(minute) + "\n";
        for (const auto& [from, to] : gaps_)
            text += minuteText(from) + " " + minuteText(to) + "\n";
        for (auto [prefix, runs] :
             {std::pair{CoveredPrefix, &covered_}, std::pair{MadeUpPrefix, &madeUp_}})
            for (const auto& [from, to] : *runs)
                text += std::string(prefix) + minuteText(from) + " " + minuteText(to) + "\n";
        places::writeFileAtomically(file_, text);
        writeProblem_.clear();
        problemSaid_ = false;
    } catch (const places::PlaceError& e) {
        writeProblem_ = e.what();
    }
}

std::string PassHistory::takeWriteProblem() {
    if (writeProblem_.empty() || problemSaid_) return {};
    problemSaid_ = true;
    return writeProblem_;
}

} // namespace vektrin
