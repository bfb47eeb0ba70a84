#include "engine/timeline.h"

#include "engine/launch_condition.h"
#include "engine/pass_guard.h"
#include "engine/task_rows.h"
#include "platform/strings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vektrin::timeline {
namespace {

constexpr int MinutesPerDay = 1440;

std::string fill(std::string_view format, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
            arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

// "YYYY-MM-DD HH:MM", as every vektrinctl command writes moments.
std::string isoMinute(Minute m) {
    const schedule::LaunchMoment moment = launchMoment(m);
    const DateParts d = decodeDate(static_cast<double>(moment.day));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day,
                  moment.minute / 60, moment.minute % 60);
    return buffer;
}

std::string isoOf(DateTime value) {
    const DateParts d = decodeDate(datePart(value));
    const TimeParts t = decodeTime(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day, t.hour,
                  t.minute);
    return buffer;
}

// The pass's view of a minute of a day whose midnight is known, without working the date out
// again for every minute.
schedule::PassMoment at(const schedule::PassMoment& midnight, int minute) {
    schedule::PassMoment m = midnight;
    m.nowTime = minute * 60;
    m.hourStart = minute / 60 * 3600;
    return m;
}

void addStretch(std::vector<Stretch>& out, Stretch s) {
    if (!out.empty() && s.begin <= out.back().end)
        out.back().end = std::max(out.back().end, s.end);
    else
        out.push_back(s);
}

// The minutes in which a schedule's time window holds on the days it applies, clipped to the
// period. `applies` answers, for the first minute of a window, whether the day's test passes:
// the kind's rule for tasks, the in-force test for silence rows.
template <class Applies>
std::vector<Stretch> windowStretches(const schedule::Window& w, const Period& period,
                                     Applies applies) {
    std::vector<Stretch> out;
    const std::optional<ScheduleKind> kind = w.kind();
    if (!kind || period.end <= period.begin) return out;
    if (*kind == ScheduleKind::EveryMinute) return out;
    const bool hourly = *kind == ScheduleKind::EveryHour;
    const Minute firstDay = period.begin / MinutesPerDay;
    const Minute lastDay = (period.end - 1) / MinutesPerDay;
    const int s = secondsOfDay(w.startTime);
    const int e = secondsOfDay(w.endTime);
    for (Minute day = firstDay; day <= lastDay; ++day) {
        const schedule::PassMoment midnight = schedule::passMoment(static_cast<double>(day));
        for (int p = 0; p < (hourly ? 24 : 1); ++p) {
            const int base = hourly ? p * 3600 : 0;
            // The minutes whose start lies in [S, E]; an hourly window belongs to its own hour,
            // since the pass measures it from the hour it runs in.
            int lo = (base + s + 59) / 60;
            int hi = (base + e) / 60;
            if (hourly) {
                lo = std::max(lo, p * 60);
                hi = std::min(hi, p * 60 + 59);
            }
            hi = std::min(hi, MinutesPerDay - 1);
            if (lo > hi) continue;
            if (!applies(at(midnight, lo))) continue;
            const Minute begin = std::max(day * MinutesPerDay + lo, period.begin);
            const Minute end = std::min(day * MinutesPerDay + hi + 1, period.end);
            if (begin < end) addStretch(out, {begin, end});
        }
    }
    return out;
}

std::vector<Minute> launchesIn(schedule::NextLaunchSearch& search, const schedule::Window& w,
                               const Period& period) {
    std::vector<Minute> out;
    const auto length = static_cast<int>(period.end - period.begin);
    if (length <= 0) return out;
    // The search gives the minutes after the one that holds its moment.
    const DateTime after = launchMoment(period.begin - 1).toDateTime();
    const auto found = search.next(w, after, length);
    out.reserve(found.size());
    for (const auto& m : found) {
        const Minute minute = minuteIndex(m);
        if (minute >= period.end) break;
        if (minute >= period.begin) out.push_back(minute);
    }
    return out;
}

} // namespace

std::string silenceKindName(const schedule::Window& row) {
    const std::optional<ScheduleKind> kind = row.kind();
    if (!kind) return {};
    switch (*kind) {
    case ScheduleKind::EveryMinute:
        return std::string(str::TimelineSilenceAlways);
    case ScheduleKind::EveryHour:
        return std::string(str::SilenceEveryHour);
    case ScheduleKind::EveryDay:
        return std::string(str::SilenceEveryDay);
    case ScheduleKind::Weekly:
        return std::string(str::SilenceWeekly);
    case ScheduleKind::EveryMonth:
        return std::string(str::SilenceEveryMonth);
    case ScheduleKind::EveryYear:
        return std::string(str::SilenceEveryYear);
    }
    return {};
}

namespace {

// Text lines carry a name between tabs: a tab or a line end in it would break the line apart.
std::string lineSafe(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
            out += buffer;
        } else
            out += c;
    }
    return out;
}

} // namespace

Tables readTables(TDataCtrl& dm) {
    Tables tables;
    {
        PassGuard guard(dm.Table1);
        Table& t = dm.Table1;
        tables.tasks.reserve(static_cast<std::size_t>(t.recordCount()));
        for (t.first(); !t.eof(); t.next()) {
            Task task;
            task.appId = dm.Table1AppID.asInteger();
            task.record = t.getBookmark();
            task.name = dm.Table1AppName.asString();
            task.window = taskWindow(dm);
            task.stopped = dm.Table1Stopped.asBoolean();
            task.conditional = !trimBlanksAndControls(dm.Table1StartCondition.asString()).empty();
            task.conflicts = static_cast<std::uint32_t>(dm.Table1Conflicts.asInteger());
            task.waits = dm.Table1WaitRes.asBoolean();
            tables.tasks.push_back(std::move(task));
        }
    }
    {
        PassGuard guard(dm.Table2);
        Table& t = dm.Table2;
        for (t.first(); !t.eof(); t.next()) {
            const std::int64_t number = dm.Table2ResourceNo.asInteger();
            // As the run-time resource table: only numbers 1 to 31 have an entry.
            if (number < 1 || number > 31) continue;
            tables.resources.push_back({static_cast<int>(number), dm.Table2ResourceName.asString(),
                                        dm.Table2MaxWait.asDateTime()});
        }
    }
    PassGuard guard(dm.Table3);
    tables.silence = silenceRows(dm);
    return tables;
}

PeriodOrProblem makePeriod(DateTime from, DateTime to) {
    PeriodOrProblem r;
    const DateTime last = *tryEncodeDate(9999, 12, 31) + 1;
    const auto shown = [&](DateTime v) {
        return std::isfinite(v) && v >= 0 && v <= last + 366 ? isoOf(v) : std::string("?");
    };
    if (!std::isfinite(from) || !std::isfinite(to) || from < 0 || to < 0 || from > last ||
        to > last) {
        r.problem = fill(str::TimelinePeriodOutOfRange, {shown(from), shown(to)});
        return r;
    }
    if (to <= from) {
        r.problem = fill(str::TimelinePeriodReversed, {isoOf(from), isoOf(to)});
        return r;
    }
    // Whole milliseconds, so that 31 days to the minute is not refused for the doubles' dust.
    const std::int64_t fromMs = msOf(from), toMs = msOf(to);
    if (toMs - fromMs > std::int64_t{MaxDays} * 86400000) {
        r.problem = fill(str::TimelinePeriodTooLong, {isoOf(from), isoOf(to)});
        return r;
    }
    r.period = Period{(fromMs + 59999) / 60000, (toMs + 59999) / 60000};
    return r;
}

bool Model::anyLaunch() const {
    return std::any_of(lanes.begin(), lanes.end(),
                       [](const Lane& lane) { return !lane.launches.empty(); });
}

int Model::laneOf(int task) const {
    for (std::size_t i = 0; i < lanes.size(); ++i)
        if (lanes[i].task == task) return static_cast<int>(i);
    return -1;
}

std::vector<int> defaultSelection(const Tables& tables) {
    std::vector<int> shown;
    for (std::size_t i = 0; i < tables.tasks.size(); ++i)
        if (!tables.tasks[i].stopped) shown.push_back(static_cast<int>(i));
    return shown;
}

DateTime longestWait(const std::vector<Resource>& resources, std::uint32_t mask) {
    DateTime longest = 0;
    for (const Resource& r : resources)
        if ((resourceBit(r.number) & mask) != 0) longest = std::max(longest, r.maxWait);
    return longest;
}

std::string resourceNames(const std::vector<Resource>& resources, std::uint32_t mask) {
    std::string out;
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask & (std::uint32_t{1} << bit)) == 0) continue;
        std::string name;
        for (const Resource& r : resources)
            if (r.number == bit + 1) name = r.name;
        if (!out.empty()) out += ", ";
        out += name.empty() ? std::to_string(bit + 1) : name + " (" + std::to_string(bit + 1) + ")";
    }
    return out;
}

Model buildModel(Tables tables, const Period& period, const std::vector<int>& shown) {
    Model model;
    model.tables = std::move(tables);
    model.period = period;
    const std::vector<Task>& tasks = model.tables.tasks;
    const std::size_t n = tasks.size();

    std::vector<char> isShown(n, 0);
    std::vector<int> order;
    for (const int i : shown)
        if (i >= 0 && static_cast<std::size_t>(i) < n && !isShown[static_cast<std::size_t>(i)]) {
            isShown[static_cast<std::size_t>(i)] = 1;
            order.push_back(i);
        }
    std::sort(order.begin(), order.end());

    // One search for all tasks: each day's silence is worked out once. The horizon covers the
    // period; the search never looks further.
    const auto days = static_cast<int>((period.end - period.begin) / MinutesPerDay + 2);
    schedule::NextLaunchSearch search(model.tables.silence, std::max(days, 1));
    std::vector<std::vector<Minute>> launches(n);
    for (std::size_t i = 0; i < n; ++i) {
        // The pass passes stopped tasks by.
        if (tasks[i].stopped) continue;
        if (!isShown[i] && tasks[i].conflicts == 0) continue;
        launches[i] = launchesIn(search, tasks[i].window, period);
    }

    // Silence first: the pass asks it before anything else about a task.
    for (std::size_t r = 0; r < model.tables.silence.size(); ++r) {
        const schedule::Window& row = model.tables.silence[r];
        std::vector<Stretch> stretches;
        if (row.kind() == ScheduleKind::EveryMinute) {
            if (period.begin < period.end) stretches.push_back({period.begin, period.end});
        } else {
            stretches = windowStretches(row, period, [&](const schedule::PassMoment& m) {
                return schedule::silenceInForce(row, m);
            });
        }
        for (const Stretch& s : stretches)
            model.silence.push_back({static_cast<int>(r), s});
    }

    // Conflicts: in each minute the pass reaches the due tasks in table order; the first to
    // launch holds its resources, and a later one that needs one of them finds it busy.
    std::vector<std::pair<Minute, int>> due;
    for (std::size_t i = 0; i < n; ++i)
        if (tasks[i].conflicts != 0)
            for (const Minute m : launches[i])
                due.emplace_back(m, static_cast<int>(i));
    std::sort(due.begin(), due.end());
    for (std::size_t g = 0; g < due.size();) {
        std::size_t end = g + 1;
        while (end < due.size() && due[end].first == due[g].first)
            ++end;
        if (end - g > 1) {
            std::uint32_t held = 0;
            std::array<int, 32> holderOf{};
            for (std::size_t k = g; k < end; ++k) {
                const int i = due[k].second;
                const Task& task = tasks[static_cast<std::size_t>(i)];
                const std::uint32_t busy = task.conflicts & held;
                if (busy == 0) {
                    held |= task.conflicts;
                    for (int bit = 0; bit < 32; ++bit)
                        if (task.conflicts & (std::uint32_t{1} << bit)) holderOf[bit] = i;
                    continue;
                }
                std::vector<int> holders;
                for (int bit = 0; bit < 32; ++bit)
                    if ((busy & (std::uint32_t{1} << bit)) &&
                        std::find(holders.begin(), holders.end(), holderOf[bit]) == holders.end())
                        holders.push_back(holderOf[bit]);
                for (const int h : holders) {
                    if (!isShown[static_cast<std::size_t>(h)] &&
                        !isShown[static_cast<std::size_t>(i)])
                        continue;
                    const Task& holder = tasks[static_cast<std::size_t>(h)];
                    Conflict c;
                    c.minute = due[g].first;
                    c.holder = h;
                    c.other = i;
                    c.resources = task.conflicts & holder.conflicts;
                    c.waits = task.waits;
                    c.waitSeconds = static_cast<int>(std::lround(
                        longestWait(model.tables.resources, task.conflicts) * SecondsPerDay));
                    c.conditional = task.conditional || holder.conditional;
                    model.conflicts.push_back(c);
                }
            }
        }
        g = end;
    }

    for (const int i : order) {
        Lane lane;
        lane.task = i;
        lane.launches = std::move(launches[static_cast<std::size_t>(i)]);
        if (!tasks[static_cast<std::size_t>(i)].stopped) {
            const schedule::Window& w = tasks[static_cast<std::size_t>(i)].window;
            lane.windows = windowStretches(w, period, [&](const schedule::PassMoment& m) {
                return schedule::decide(w, m).reason != schedule::Reason::OutsideWindow;
            });
        }
        model.lanes.push_back(std::move(lane));
    }
    // By first launch; the pass's order among equals and among those without a launch.
    std::stable_sort(model.lanes.begin(), model.lanes.end(), [](const Lane& a, const Lane& b) {
        if (a.launches.empty() != b.launches.empty()) return b.launches.empty();
        if (a.launches.empty()) return false;
        return a.launches.front() < b.launches.front();
    });
    return model;
}

std::string conflictText(const Model& model, const Conflict& c) {
    const std::vector<Resource>& resources = model.tables.resources;
    const std::string names = resourceNames(resources, c.resources);
    const std::string& holder = model.tables.tasks[static_cast<std::size_t>(c.holder)].name;
    std::string text;
    if (!c.waits)
        text = fill(str::TimelineSkipped, {names, holder});
    else if (c.waitSeconds <= 0)
        text = fill(str::TimelineWaitsOnePass, {names, holder});
    else
        text = fill(str::TimelineWaits, {std::to_string((c.waitSeconds + 59) / 60), names, holder});
    if (c.conditional) text += str::TimelineIfConditionsHold;
    return text;
}

namespace {

std::string silenceText(const Model& model, int row, bool begins) {
    return fill(begins ? str::TimelineSilenceBegins : str::TimelineSilenceEnds,
                {silenceKindName(model.tables.silence[static_cast<std::size_t>(row)])});
}

} // namespace

std::string textLines(const Model& model) {
    struct Line {
        Minute minute;
        int rank; // what comes first within a minute
        int lane;
        std::string task;
        std::string what;
    };
    std::vector<Line> lines;
    for (const SilenceStretch& s : model.silence) {
        lines.push_back({s.stretch.begin, 0, -1, "", silenceText(model, s.row, true)});
        lines.push_back({s.stretch.end - 1, 5, -1, "", silenceText(model, s.row, false)});
    }
    for (std::size_t l = 0; l < model.lanes.size(); ++l) {
        const Lane& lane = model.lanes[l];
        const Task& task = model.tables.tasks[static_cast<std::size_t>(lane.task)];
        const std::string name = lineSafe(task.name);
        const int li = static_cast<int>(l);
        for (const Stretch& w : lane.windows) {
            lines.push_back({w.begin, 1, li, name, std::string(str::TimelineWindowBegins)});
            lines.push_back({w.end - 1, 4, li, name, std::string(str::TimelineWindowEnds)});
        }
        const std::string launch(task.conditional ? str::TimelineLaunchIfCondition
                                                  : str::TimelineLaunchText);
        for (const Minute m : lane.launches)
            lines.push_back({m, 2, li, name, launch});
    }
    std::vector<int> laneOfTask(model.tables.tasks.size(), -1);
    for (std::size_t l = 0; l < model.lanes.size(); ++l)
        laneOfTask[static_cast<std::size_t>(model.lanes[l].task)] = static_cast<int>(l);
    for (const Conflict& c : model.conflicts) {
        const int lane = laneOfTask[static_cast<std::size_t>(c.other)];
        lines.push_back({c.minute, 3,
                         lane < 0 ? static_cast<int>(model.lanes.size()) + c.other : lane,
                         lineSafe(model.tables.tasks[static_cast<std::size_t>(c.other)].name),
                         lineSafe(conflictText(model, c))});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.minute != b.minute) return a.minute < b.minute;
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.lane < b.lane;
    });
    std::string out;
    out.reserve(lines.size() * 40);
    for (const Line& line : lines) {
        out += isoMinute(line.minute);
        out += '\t';
        out += line.task;
        out += '\t';
        out += line.what;
        out += '\n';
    }
    return out;
}

} // namespace vektrin::timeline
