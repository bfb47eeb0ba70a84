#pragma once
// What the coming hours or days hold: every predicted launch of each task, its window on each
// day, the stretches of the silence periods, and the minutes in which two tasks that share a
// resource fall due together. Launches come from the launch search of `vektrinctl next`, so the
// two never disagree; what cannot be known ahead (launch conditions, how long a run takes) is
// marked, not guessed.

#include "engine/missed_launches.h"
#include "engine/next_launch.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {
class TDataCtrl;
}

namespace vektrin::timeline {

// Minutes of local wall-clock time counted from day 0 of the tables (1899-12-30 00:00).
using Minute = std::int64_t;

inline Minute minuteIndex(const schedule::LaunchMoment& m) {
    return m.day * 1440 + m.minute;
}
inline schedule::LaunchMoment launchMoment(Minute m) {
    const Minute day = m >= 0 ? m / 1440 : (m - 1439) / 1440;
    return {day, static_cast<int>(m - day * 1440)};
}

constexpr int MaxDays = 31;

struct Task {
    std::int64_t appId = 0;
    std::int64_t record = 0; // the record's bookmark in the task table
    std::string name;
    Schedule schedule;
    bool stopped = false;
    bool conditional = false;    // a launch condition: whether it holds is known only then
    std::uint32_t conflicts = 0; // resource mask
    bool waits = false;          // WaitRes: waits for busy resources instead of being skipped
    bool catchUp = false;        // a launch missed while no pass ran is made up
};

struct Resource {
    int number = 0;
    std::string name;
    DateTime maxWait = 0;
};

// The rows the timeline is made of, tasks in the scheduling pass's order.
struct Tables {
    std::vector<Task> tasks;
    std::vector<Resource> resources;
    std::vector<Schedule> silence;
};

// Reads the three tables; the task table's current record stays where it was.
Tables readTables(TDataCtrl& dm);

// A stretch of whole minutes: [begin, end).
struct Stretch {
    Minute begin = 0;
    Minute end = 0;
    friend bool operator==(const Stretch&, const Stretch&) = default;
};

struct Period {
    Minute begin = 0; // the first minute: the one that begins at or after `from`
    Minute end = 0;   // the minutes that begin before `to` belong to it
};

// The period from..to, or the operator's message saying what is wrong with it.
struct PeriodOrProblem {
    std::optional<Period> period;
    std::string problem;
};
PeriodOrProblem makePeriod(DateTime from, DateTime to);

// A launch that makes up the moments a task missed in a gap between passes.
struct MadeUp {
    int task = 0;      // index into Tables::tasks
    Minute at = 0;     // the pass after the gap
    Minute missed = 0; // the latest moment missed, the one the protocol names
};

struct Lane {
    int task = 0; // index into Tables::tasks
    std::vector<Minute> launches;
    std::vector<Stretch> windows;
    std::vector<MadeUp> madeUp; // ascending
};

struct SilenceStretch {
    int row = 0; // index into Tables::silence
    Stretch stretch;
};

// Two tasks that share a resource and are due in the same minutes: in each of them the pass
// reaches `holder` first and launches it; `other` then finds the resource busy and is skipped or
// waits. Everything but the minutes belongs to the pair.
struct Conflict {
    int holder = 0; // indices into Tables::tasks
    int other = 0;
    std::uint32_t resources = 0; // the shared ones
    bool waits = false;
    int waitSeconds = 0; // the longest wait of other's resources, when it waits
    // One of the two has a launch condition: the conflict happens only if it holds.
    bool conditional = false;
    std::vector<Minute> minutes; // ascending
};

struct Model {
    Tables tables;
    Period period;
    // One per shown task: sorted by first launch, tasks without one last, each in pass order.
    std::vector<Lane> lanes;
    std::vector<SilenceStretch> silence;
    std::vector<Conflict> conflicts; // one per pair, in the order of their first minute

    bool anyLaunch() const;
    bool anyMadeUp() const;
    // The lane of a task, or -1 when it is not shown.
    int laneOf(int task) const;
};

// The tasks shown when none are named: all that are not stopped.
std::vector<int> defaultSelection(const Tables& tables);

// The make-up launches of the gaps for the catch-up tasks among `shown`, one per task and gap, at
// the pass that ended the gap; a gap that lasts yet is made up at the first pass after `now`.
// As the pass: moments older than catchUpDays before that pass are not made up, nor is anything
// at a pass under a silence period, or for a task due at that pass anyway.
std::vector<MadeUp> madeUpLaunches(const Tables& tables, const std::vector<int>& shown,
                                   const std::vector<PassGap>& gaps, int catchUpDays, DateTime now);

// How long before now a chart still begins at a make-up launch, so that the operator sees it.
constexpr Minute RecentMadeUpMinutes = 6 * 60;
// Where a chart from now begins: at the earliest make-up launch of the last RecentMadeUpMinutes,
// else now.
DateTime chartBegin(const std::vector<MadeUp>& madeUp, DateTime now);

// Builds the model for the tasks of `shown` (indices into tables.tasks). Conflicts are looked
// for among all tasks the pass would launch, and kept when one of the two is shown; the make-up
// launches in the period go on their lanes.
Model buildModel(Tables tables, const Period& period, const std::vector<int>& shown,
                 const std::vector<MadeUp>& madeUp = {});

// The longest waiting time of the resources in mask, as the pass works it out.
DateTime longestWait(const std::vector<Resource>& resources, std::uint32_t mask);

// Resource numbers and names of a mask: "Printer (2)", joined by ", ".
std::string resourceNames(const std::vector<Resource>& resources, std::uint32_t mask);

// Gives the words of the chart (title, legend, notes, tooltips) in the operator's language; empty:
// as they stand in the string table (the command line's English).
using ChartWords = std::function<std::string(std::string_view)>;

// What a conflict does to the later task, for the operator: "skipped: Printer (2) held by
// <backup>".
std::string conflictText(const Model& model, const Conflict& conflict,
                         const ChartWords& words = {});
// The kind of a silence row as the operator knows it ("Every day"; "always" for kind 0).
std::string silenceKindName(const Schedule& row, const ChartWords& words = {});

// The model as lines for scripts: "YYYY-MM-DD HH:MM<TAB>task<TAB>what", in time order; within a
// minute silence begins, windows begin, launches, conflicts, windows end, silence ends, each in
// the lanes' order. Written as they are made: a week of every-minute tasks is millions of lines.
void writeTextLines(const Model& model, std::ostream& out);
std::string textLines(const Model& model);

} // namespace vektrin::timeline
