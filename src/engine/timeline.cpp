#include "engine/timeline.h"
#include "platform/text.h"

#include "engine/launch_condition.h"
#include "engine/pass_guard.h"
#include "engine/pass_verdict.h"
#include "engine/task_rows.h"
#include "platform/strings.h"
#include "store/running_tasks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <queue>
#include <sstream>
#include <unordered_map>

namespace vektrin::timeline {
namespace {

constexpr int MinutesPerDay = 1440;

// "YYYY-MM-DD HH:MM", as every vektrinctl command writes moments.
std::string isoMinute(Minute m) {
    const schedule::LaunchMoment moment = launchMoment(m);
    return text::isoStamp(static_cast<double>(moment.day), text::Stamp::Date) + ' ' +
           text::twoDigits(moment.minute / 60) + ':' + text::twoDigits(moment.minute % 60);
}

std::string isoOf(DateTime value) {
    return text::isoStamp(value, text::Stamp::Minutes);
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
std::vector<Stretch> windowStretches(const Schedule& w, const Period& period, Applies applies) {
    std::vector<Stretch> out;
    if (period.end <= period.begin) return out;
    const std::vector<Schedule::MinuteSpan> spans = w.windowMinutes();
    const Minute firstDay = period.begin / MinutesPerDay;
    const Minute lastDay = (period.end - 1) / MinutesPerDay;
    for (Minute day = firstDay; !spans.empty() && day <= lastDay; ++day) {
        const schedule::PassMoment midnight = schedule::passMoment(static_cast<double>(day));
        for (const Schedule::MinuteSpan& span : spans) {
            if (!applies(at(midnight, span.first))) continue;
            const Minute begin = std::max(day * MinutesPerDay + span.first, period.begin);
            const Minute end = std::min(day * MinutesPerDay + span.last + 1, period.end);
            if (begin < end) addStretch(out, {begin, end});
        }
    }
    return out;
}

std::vector<Minute> launchesIn(schedule::NextLaunchSearch& search, const Schedule& w,
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

std::string silenceKindName(const Schedule& row, const ChartWords& words) {
    const std::optional<ScheduleKind> kind = row.kind();
    if (!kind) return {};
    const auto word = [&words](std::string_view text) {
        return words ? words(text) : std::string(text);
    };
    // Every minute is in force always: the chart says so rather than naming the kind.
    return word(kind == ScheduleKind::EveryMinute ? str::TimelineSilenceAlways
                                                  : Schedule::silenceKindText(*kind));
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
            task.schedule = Schedule::ofTask(dm);
            task.stopped = dm.Table1Stopped.asBoolean();
            task.conditional = !trimBlanksAndControls(dm.Table1StartCondition.asString()).empty();
            task.conflicts = resource_rule::needed(dm.Table1Conflicts.asInteger());
            task.waits = dm.Table1WaitRes.asBoolean();
            task.catchUp = dm.Table1CatchUp.asBoolean();
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
    tables.silence = Schedule::silenceTable(dm);
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
        r.problem = str::fill(str::TimelinePeriodOutOfRange, {shown(from), shown(to)});
        return r;
    }
    if (to <= from) {
        r.problem = str::fill(str::TimelinePeriodReversed, {isoOf(from), isoOf(to)});
        return r;
    }
    // Whole milliseconds, so that 31 days to the minute is not refused for the doubles' dust.
    const std::int64_t fromMs = msOf(from), toMs = msOf(to);
    if (toMs - fromMs > std::int64_t{MaxDays} * 86400000) {
        r.problem = str::fill(str::TimelinePeriodTooLong, {isoOf(from), isoOf(to)});
        return r;
    }
    r.period = Period{(fromMs + 59999) / 60000, (toMs + 59999) / 60000};
    return r;
}

bool Model::anyLaunch() const {
    return std::any_of(lanes.begin(), lanes.end(),
                       [](const Lane& lane) { return !lane.launches.empty(); });
}

bool Model::anyMadeUp() const {
    return std::any_of(lanes.begin(), lanes.end(),
                       [](const Lane& lane) { return !lane.madeUp.empty(); });
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

std::vector<MadeUp> madeUpLaunches(const Tables& tables, const std::vector<int>& shown,
                                   const std::vector<PassGap>& gaps, int catchUpDays,
                                   DateTime now) {
    std::vector<MadeUp> out;
    if (gaps.empty()) return out;
    // Passes run at second 1 of each minute: the next is in the minute that begins at or after
    // now, as the period's first.
    const Minute nextPass = (msOf(now) + 59999) / 60000;
    std::int64_t longest = 0;
    for (const PassGap& gap : gaps)
        longest = std::max(longest, gap.before - gap.after);
    schedule::NextLaunchSearch search(
        tables.silence,
        static_cast<int>(std::min<std::int64_t>(longest / MinutesPerDay, catchUpDays)) + 2);
    for (const int i : shown) {
        const Task& task = tables.tasks[static_cast<std::size_t>(i)];
        if (!task.catchUp || task.stopped) continue;
        for (PassGap gap : gaps) {
            if (gap.pending) gap.before = std::max(gap.before, nextPass);
            const std::optional<PassGap> part = catchUpPart(gap, catchUpDays);
            if (!part) continue;
            const auto moments = missedIn(search, task.schedule, *part);
            if (moments.empty()) continue;
            // As the pass decides: nothing under a silence period, and a task due then anyway
            // has its own launch.
            const schedule::PassMoment pass =
                schedule::passMoment(launchMoment(gap.before).toDateTime());
            if (!schedule::silencesInForce(tables.silence, pass).empty() ||
                task.schedule.decide(pass).reason == schedule::Reason::Due)
                continue;
            out.push_back({i, gap.before, minuteIndex(moments.back())});
        }
    }
    return out;
}

DateTime chartBegin(const std::vector<MadeUp>& madeUp, DateTime now) {
    const Minute nowMinute = static_cast<Minute>(std::floor(now * MinutesPerDay + 1e-7));
    Minute first = nowMinute;
    for (const MadeUp& m : madeUp)
        if (m.at < first && m.at >= nowMinute - RecentMadeUpMinutes) first = m.at;
    return first < nowMinute ? launchMoment(first).toDateTime() : now;
}

Model buildModel(Tables tables, const Period& period, const std::vector<int>& shown,
                 const std::vector<MadeUp>& madeUp) {
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
        launches[i] = launchesIn(search, tasks[i].schedule, period);
    }

    // Silence first: the pass asks it before anything else about a task.
    for (std::size_t r = 0; r < model.tables.silence.size(); ++r) {
        const Schedule& row = model.tables.silence[r];
        std::vector<Stretch> stretches;
        if (row.kind() == ScheduleKind::EveryMinute) {
            if (period.begin < period.end) stretches.push_back({period.begin, period.end});
        } else {
            stretches = windowStretches(
                row, period, [&](const schedule::PassMoment& m) { return row.silenceInForce(m); });
        }
        for (const Stretch& s : stretches)
            model.silence.push_back({static_cast<int>(r), s});
    }

    // Conflicts: in each minute the pass reaches the due tasks in table order and the launch's
    // resource rule decides: the first to launch holds its resources, and a later one that needs
    // one of them finds it busy. The due tasks of each minute, in table order, by counting.
    const auto length = static_cast<std::size_t>(std::max<Minute>(period.end - period.begin, 0));
    std::vector<std::uint32_t> start(length + 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        if (tasks[i].conflicts != 0)
            for (const Minute m : launches[i])
                ++start[static_cast<std::size_t>(m - period.begin) + 1];
    for (std::size_t k = 0; k < length; ++k)
        start[k + 1] += start[k];
    std::vector<int> due(start[length]);
    {
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i)
            if (tasks[i].conflicts != 0)
                for (const Minute m : launches[i])
                    due[next[static_cast<std::size_t>(m - period.begin)]++] = static_cast<int>(i);
    }
    std::unordered_map<std::uint64_t, std::size_t> pairs;
    std::array<int, 32> holderOf{};
    for (std::size_t k = 0; k < length; ++k) {
        if (start[k + 1] - start[k] < 2) continue;
        ResourceMask held = 0;
        for (std::uint32_t d = start[k]; d < start[k + 1]; ++d) {
            const int i = due[d];
            const Task& task = tasks[static_cast<std::size_t>(i)];
            ResourceMask busy = resource_rule::busy(task.conflicts, held);
            if (busy == 0) {
                held = resource_rule::hold(held, task.conflicts);
                for (std::uint32_t bits = task.conflicts; bits != 0; bits &= bits - 1)
                    holderOf[static_cast<std::size_t>(std::countr_zero(bits))] = i;
                continue;
            }
            // One conflict per task holding one of the busy resources.
            while (busy != 0) {
                const int h = holderOf[static_cast<std::size_t>(std::countr_zero(busy))];
                const Task& holder = tasks[static_cast<std::size_t>(h)];
                busy &= ~holder.conflicts;
                if (!isShown[static_cast<std::size_t>(h)] && !isShown[static_cast<std::size_t>(i)])
                    continue;
                const std::uint64_t key =
                    static_cast<std::uint64_t>(h) << 32 | static_cast<std::uint32_t>(i);
                auto [it, added] = pairs.try_emplace(key, model.conflicts.size());
                if (added) {
                    Conflict c;
                    c.holder = h;
                    c.other = i;
                    c.resources = task.conflicts & holder.conflicts;
                    c.waits = task.waits;
                    c.waitSeconds = static_cast<int>(std::lround(
                        longestWait(model.tables.resources, task.conflicts) * SecondsPerDay));
                    c.conditional = task.conditional || holder.conditional;
                    model.conflicts.push_back(std::move(c));
                }
                model.conflicts[it->second].minutes.push_back(period.begin +
                                                              static_cast<Minute>(k));
            }
        }
    }

    for (const int i : order) {
        Lane lane;
        lane.task = i;
        lane.launches = std::move(launches[static_cast<std::size_t>(i)]);
        if (!tasks[static_cast<std::size_t>(i)].stopped) {
            const Schedule& w = tasks[static_cast<std::size_t>(i)].schedule;
            lane.windows = windowStretches(w, period, [&](const schedule::PassMoment& m) {
                return w.decide(m).reason != schedule::Reason::OutsideWindow;
            });
        }
        model.lanes.push_back(std::move(lane));
    }
    for (const MadeUp& m : madeUp)
        for (Lane& lane : model.lanes)
            if (lane.task == m.task && m.at >= period.begin && m.at < period.end)
                lane.madeUp.push_back(m);
    for (Lane& lane : model.lanes)
        std::sort(lane.madeUp.begin(), lane.madeUp.end(),
                  [](const MadeUp& a, const MadeUp& b) { return a.at < b.at; });
    // By first launch; the pass's order among equals and among those without a launch.
    std::stable_sort(model.lanes.begin(), model.lanes.end(), [](const Lane& a, const Lane& b) {
        if (a.launches.empty() != b.launches.empty()) return b.launches.empty();
        if (a.launches.empty()) return false;
        return a.launches.front() < b.launches.front();
    });
    return model;
}

std::string conflictText(const Model& model, const Conflict& c, const ChartWords& words) {
    const auto word = [&words](std::string_view text) {
        return words ? words(text) : std::string(text);
    };
    const std::vector<Resource>& resources = model.tables.resources;
    const std::string names = resourceNames(resources, c.resources);
    const std::string& holder = model.tables.tasks[static_cast<std::size_t>(c.holder)].name;
    std::string text;
    if (!c.waits)
        text = str::fill(word(str::TimelineSkipped), {names, holder});
    else if (c.waitSeconds <= 0)
        text = str::fill(word(str::TimelineWaitsOnePass), {names, holder});
    else
        text = str::fill(word(str::TimelineWaits),
                         {std::to_string((c.waitSeconds + 59) / 60), names, holder});
    if (c.conditional) text += word(str::TimelineIfConditionsHold);
    return text;
}

namespace {

std::string silenceText(const Model& model, int row, bool begins) {
    return str::fill(begins ? str::TimelineSilenceBegins : str::TimelineSilenceEnds,
                     {silenceKindName(model.tables.silence[static_cast<std::size_t>(row)])});
}

} // namespace

void writeTextLines(const Model& model, std::ostream& out) {
    // A merge of sorted sources: the silence events, and per lane its windows, its launches and
    // each conflict that makes it wait or skip. No line is held longer than it takes to write it.
    struct Source {
        int rankOf(std::size_t pos) const { return kind == Windows ? (pos % 2 ? 4 : 1) : rank; }
        enum Kind { Events, Windows, Minutes } kind = Events;
        int rank = 0; // of Minutes
        int key = 0;  // the lane's place, -1 for silence
        std::string task{};
        std::string what{}; // of Minutes
        const std::vector<Stretch>* stretches = nullptr;
        const std::vector<Minute>* minutes = nullptr;
        std::vector<std::pair<Minute, std::string>> events{}; // silence: minute, what
        std::size_t pos = 0;
        std::size_t size() const {
            return kind == Events    ? events.size()
                   : kind == Windows ? stretches->size() * 2
                                     : minutes->size();
        }
        Minute minuteAt(std::size_t p) const {
            if (kind == Events) return events[p].first;
            if (kind == Windows) {
                const Stretch& s = (*stretches)[p / 2];
                return p % 2 ? s.end - 1 : s.begin;
            }
            return (*minutes)[p];
        }
    };
    std::vector<Source> sources;
    // Silence begins before anything else in its minute and ends after everything.
    for (const bool begins : {true, false}) {
        Source silence;
        silence.kind = Source::Events;
        silence.key = -1;
        silence.rank = begins ? 0 : 5;
        for (const SilenceStretch& st : model.silence)
            silence.events.emplace_back(begins ? st.stretch.begin : st.stretch.end - 1,
                                        silenceText(model, st.row, begins));
        std::stable_sort(silence.events.begin(), silence.events.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        sources.push_back(std::move(silence));
    }
    std::vector<int> laneOfTask(model.tables.tasks.size(), -1);
    for (std::size_t l = 0; l < model.lanes.size(); ++l) {
        const Lane& lane = model.lanes[l];
        const Task& task = model.tables.tasks[static_cast<std::size_t>(lane.task)];
        laneOfTask[static_cast<std::size_t>(lane.task)] = static_cast<int>(l);
        const int key = static_cast<int>(l);
        const std::string name = lineSafe(task.name);
        sources.push_back(
            Source{.kind = Source::Windows, .key = key, .task = name, .stretches = &lane.windows});
        sources.push_back(
            Source{.kind = Source::Minutes,
                   .rank = 2,
                   .key = key,
                   .task = name,
                   .what = std::string(task.conditional ? str::TimelineLaunchIfCondition
                                                        : str::TimelineLaunchText),
                   .minutes = &lane.launches});
        Source madeUp{.kind = Source::Events, .rank = 2, .key = key, .task = name};
        for (const MadeUp& m : lane.madeUp)
            madeUp.events.emplace_back(m.at,
                                       str::fill(str::TimelineMadeUpText, {isoMinute(m.missed)}));
        sources.push_back(std::move(madeUp));
    }
    for (const Conflict& c : model.conflicts) {
        const int lane = laneOfTask[static_cast<std::size_t>(c.other)];
        sources.push_back(
            Source{.kind = Source::Minutes,
                   .rank = 3,
                   .key = lane < 0 ? static_cast<int>(model.lanes.size()) + c.other : lane,
                   .task = lineSafe(model.tables.tasks[static_cast<std::size_t>(c.other)].name),
                   .what = lineSafe(conflictText(model, c)),
                   .minutes = &c.minutes});
    }

    const auto rankAt = [&](std::size_t i) {
        const Source& s = sources[i];
        return s.kind == Source::Events ? s.rank : s.rankOf(s.pos);
    };
    const auto later = [&](std::size_t a, std::size_t b) {
        const Minute ma = sources[a].minuteAt(sources[a].pos);
        const Minute mb = sources[b].minuteAt(sources[b].pos);
        if (ma != mb) return ma > mb;
        const int ra = rankAt(a), rb = rankAt(b);
        if (ra != rb) return ra > rb;
        if (sources[a].key != sources[b].key) return sources[a].key > sources[b].key;
        return a > b;
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heads(later);
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (sources[i].size() > 0) heads.push(i);

    std::string buffer;
    std::string dayText;
    Minute day = -1;
    while (!heads.empty()) {
        const std::size_t i = heads.top();
        heads.pop();
        Source& s = sources[i];
        const Minute minute = s.minuteAt(s.pos);
        if (minute / 1440 != day) {
            day = minute / 1440;
            dayText = isoMinute(day * 1440).substr(0, 11);
        }
        const int m = static_cast<int>(minute % 1440);
        buffer += dayText;
        buffer += static_cast<char>('0' + m / 600);
        buffer += static_cast<char>('0' + m / 60 % 10);
        buffer += ':';
        buffer += static_cast<char>('0' + m % 60 / 10);
        buffer += static_cast<char>('0' + m % 10);
        buffer += '\t';
        buffer += s.task;
        buffer += '\t';
        if (s.kind == Source::Events)
            buffer += s.events[s.pos].second;
        else if (s.kind == Source::Windows)
            buffer += s.pos % 2 ? str::TimelineWindowEnds : str::TimelineWindowBegins;
        else
            buffer += s.what;
        buffer += '\n';
        if (++s.pos < s.size()) heads.push(i);
        if (buffer.size() > (1 << 20)) {
            out << buffer;
            buffer.clear();
        }
    }
    out << buffer;
}

std::string textLines(const Model& model) {
    std::ostringstream out;
    writeTextLines(model, out);
    return std::move(out).str();
}

} // namespace vektrin::timeline
