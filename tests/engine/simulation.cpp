#include "simulation.h"

#include "engine/compiled_window.h"
#include "engine/missed_launches.h"
#include "engine/operator_commands.h"
#include "engine/task_host.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "store/pg_database.h"
#include "support/pg_server.h"
#include "support/scoped_env.h"
#include "support/test_world.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

namespace vektrin::test {
namespace {

using schedule::CompiledWindow;
using Runs = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// mt19937_64's output is fixed by the standard, the library's distributions are not.
class Chance {
  public:
    explicit Chance(std::uint64_t seed) : g_(seed) {}
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(g_() % static_cast<unsigned>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool oneIn(int n) { return below(n) == 0; }

  private:
    std::mt19937_64 g_;
};

enum class Condition { None, True, False, Malformed };
std::string_view conditionText(Condition c) {
    constexpr std::string_view texts[] = {"", "gt(1)", "GT(0)", "GT(("};
    return texts[static_cast<int>(c)];
}

bool inRuns(const Runs& runs, std::int64_t minute) {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const auto& r) { return r.first <= minute && minute <= r.second; });
}

// The values of a line written with a format of the string table ("%s" holes), if it is one.
std::optional<std::vector<std::string>> valuesOf(std::string_view format, std::string_view line) {
    std::vector<std::string> values;
    std::size_t f = 0, l = 0;
    for (std::size_t hole; (hole = format.find("%s", f)) != std::string_view::npos;) {
        const std::string_view before = format.substr(f, hole - f);
        if (line.substr(l, before.size()) != before) return std::nullopt;
        l += before.size();
        f = hole + 2;
        const std::size_t next = format.find("%s", f);
        const std::string_view after = format.substr(f, next - std::min(next, f));
        const std::size_t end = after.empty()                    ? line.size()
                                : next == std::string_view::npos ? line.rfind(after)
                                                                 : line.find(after, l);
        if (end == std::string_view::npos || end < l) return std::nullopt;
        values.emplace_back(line.substr(l, end - l));
        l = end;
    }
    if (line.substr(l) != format.substr(f)) return std::nullopt;
    return values;
}

struct Task {
    std::int32_t id = 0;
    Table::Bookmark row = 0;
    std::string name;
    Schedule schedule;
    std::unique_ptr<CompiledWindow> window;
    Condition condition = Condition::None;
    bool stopped = false, interrupt = false, catchUp = false, waitRes = false;
    std::int64_t conflicts = 0;
    std::string host; // on a database: empty for any workstation, one's name, or * for each
    // What the protocol has said of it. A wait for a slot is excused when the scheduler may have
    // dropped it in silence (the task stopped, or an instance of it started meanwhile).
    bool resWait = false, slotWait = false, slotExcused = false, pendingMakeUp = false;
    bool resWaitAtPass = false, slotWaitAtPass = false, maybeQueued = false;
    std::int64_t slotDue = 0;
    std::optional<std::string> malformedSaid;
    bool conditionChanged = false;

    void compile() { window = std::make_unique<CompiledWindow>(schedule, schedule::Reading::Task); }
    bool repeatsByDesign() const {
        return schedule.kind() == ScheduleKind::EveryMinute ||
               schedule.kind() == ScheduleKind::EveryHour;
    }
};

class Simulation {
  public:
    Simulation(std::uint64_t seed, int taskCount, int stations)
        : seed_(seed), chance_(seed * 0x9E3779B97F4A7C15ull + 1), baseTasks_(taskCount) {
        env_.set("TZ", "UTC");
        // Every commit flushes the disk: in memory the simulation does not wait for it.
        struct stat shm {};
        if (stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode)) env_.set("TMPDIR", "/dev/shm");
        world_ = std::make_unique<TestWorld>();
        if (stations > 1) {
            std::string reason;
            server_ = PgServer::shared(reason);
            if (!server_) throw std::runtime_error("no database server: " + reason);
            uri_ = server_->createDatabase();
            writeFile(world_->dir.file("aliases.ini"), "[Control]\npath=" + uri_ + "\n");
        }
        constexpr int slots[] = {2, 3, 5, 20};
        maxRunning_ = slots[chance_.below(4)];
        slotWaitMinutes_ = chance_.between(0, 10);
        catchUpDays_ = chance_.between(0, 3);
        lifeSeconds_ = chance_.between(0, 600);
        configure(*world_);
        offset_ =
            (static_cast<std::int64_t>(*tryEncodeDate(2026, 1, 1)) + chance_.below(365)) * 1440 +
            chance_.below(1440) - bootMinute_;
        trueOffset_ = offset_;
        at(30);
        store_ = std::make_unique<TDataCtrl>(server_ ? uri_ : world_->tables(), storeMessages_);
        for (int n = 1; n <= 4; ++n) {
            store_->Table2.append();
            store_->Table2ResourceNo.setInteger(n);
            store_->Table2MaxWait.setDateTime(*tryEncodeTime(0, chance_.below(20), 0));
            store_->Table2.post();
        }
        for (int n = 0; n < taskCount; ++n)
            addTask(randomWindow(false));
        if (server_) {
            otherPg_ = std::make_unique<PgDatabase>(uri_, OpenMode::ReadWrite);
            for (int n = 1; n < stations; ++n)
                addStation("h" + std::to_string(n));
        } else if (sqlite3_open((world_->tables() + "/" + TaskFileName).c_str(), &other_) !=
                   SQLITE_OK) {
            throw std::runtime_error("the task table cannot be opened");
        }
    }

    ~Simulation() {
        scheduler_.reset();
        stations_.clear();
        sqlite3_close(other_);
        if (log_ >= 0) close(log_);
    }

    SimulationResult run(int days) {
        SimulationResult result;
        try {
            start();
            for (const std::int64_t end = bootMinute_ + days * 1440; bootMinute_ < end;
                 ++bootMinute_) {
                oneMinute();
                if (bootMinute_ % 60 == 0) checkFields(true);
            }
            checkFields(true);
        } catch (const Failure& f) {
            result.failure = f.what();
        } catch (const std::exception& e) {
            result.failure = context("unexpected error: " + std::string(e.what()));
        }
        result.stats = stats_;
        return result;
    }

  private:
    enum class Step { Monitor, Pass, SlotCheck, Operator };
    // What a scheduling pass's lines said of a task.
    struct Seen {
        int execDue = 0;
        bool waitLine = false, skipLine = false, noSlotLine = false;
    };
    // What the record of the passes makes of a pass: whether it runs at all (its minute had one),
    // the gap before it, whether the clock brought its minute back, whether catch-up tasks made it
    // up, and the minutes of the gap that were covered or made up before.
    struct PassFacts {
        bool ran = false, repeated = false, madeUpMinute = false;
        std::int64_t minute = 0;
        std::optional<std::pair<std::int64_t, std::int64_t>> gap;
        Runs coveredInGap;
    };

    DateTime wallNow() const {
        return static_cast<double>(bootMinute_ + offset_) / 1440 + second_ / SecondsPerDay;
    }
    void at(double second) {
        second_ = second;
        world_->clock.value = wallNow();
        world_->clock.bootSeconds = static_cast<double>(bootMinute_) * 60 + second_;
    }

    [[noreturn]] void fail(const std::string& what) const { throw Failure(context(what)); }
    [[noreturn]] void fail(const Task& t, const std::string& what) const {
        fail(describe(t) + ": " + what);
    }
    std::string context(const std::string& what) const {
        constexpr const char* steps[] = {"monitoring", "scheduling", "slot check", "operator"};
        std::string text = "seed=" + std::to_string(seed_) + " step=" + std::to_string(step_) +
                           " (" + steps[static_cast<int>(stepKind_)] + ") at " +
                           text::isoStamp(wallNow()) + ": " + what;
        if (stepKind_ == Step::Pass)
            text += "\n  pass: minute repeated " + std::to_string(pass_.repeated) + ", made up " +
                    std::to_string(pass_.madeUpMinute) + ", after a gap " +
                    std::to_string(pass_.gap.has_value()) + ", tables held " +
                    std::to_string(locked_);
        text += "\n  last protocol lines:";
        for (const std::string& l : recent_)
            text += "\n    " + l;
        return text;
    }

    std::string describe(const Task& t) const {
        const schedule::Words w = t.schedule.words();
        char facts[240];
        std::snprintf(
            facts, sizeof facts,
            "<%s> [%s %s-%s repeat %d; stopped %d interrupt %d catch-up %d conflicts %lld "
            "wait-res %d condition '%s'; waits for resources %d, for a slot %d]",
            t.name.c_str(), w.schedule.c_str(), w.from.c_str(), w.to.c_str(),
            t.schedule.repeatInterval, t.stopped, t.interrupt, t.catchUp,
            static_cast<long long>(t.conflicts), t.waitRes, conditionText(t.condition).data(),
            t.resWait, t.slotWait);
        return facts;
    }

    bool dueUnsilenced(const Task& t, std::int64_t minute) const {
        const auto moment = schedule::passMoment(PassHistory::minuteStart(minute));
        return t.window->decide(moment).reason == schedule::Reason::Due && !silenced(moment);
    }
    bool silenced(const schedule::PassMoment& moment) const {
        return std::any_of(silences_.begin(), silences_.end(),
                           [&](const auto& s) { return s.second->inForce(moment); });
    }

    // ---------------------------------------------------------------------------- the world

    void configure(TestWorld& world) {
        for (const auto& [name, value] : std::initializer_list<std::pair<const char*, int>>{
                 {"MaxRunning", maxRunning_},
                 {"SlotWaitMinutes", slotWaitMinutes_},
                 {"CatchUpDays", catchUpDays_}})
            world.settings->write("Schedule", name, std::to_string(value));
    }

    // Another workstation's scheduler on the same database. Its clock is the true one (the steps
    // of the clock are this workstation's alone), and its processes end after a while as these do.
    struct Station {
        std::unique_ptr<TestWorld> world;
        std::unique_ptr<Scheduler> s;
        std::map<std::intptr_t, double> endsAt;
        std::intptr_t lastHandle = 0;
    };
    void addStation(const std::string& host) {
        Station& st = stations_.emplace_back();
        st.world = std::make_unique<TestWorld>();
        writeFile(st.world->dir.file("aliases.ini"), "[Control]\npath=" + uri_ + "\n");
        configure(*st.world);
        SchedulerConfig config = st.world->config();
        config.host = host;
        st.s = std::make_unique<Scheduler>(st.world->clock, st.world->processes, st.world->windows,
                                           st.world->port, *st.world->settings, st.world->regional,
                                           config);
        st.world->clock.value = wallNow();
        if (st.s->FormCreate() != Scheduler::StartResult::Running)
            throw std::runtime_error("the workstation " + host + " did not start");
        st.s->dataCtrl().database().setBusyTimeout(5);
    }

    void stepStations(double second, bool pass) {
        for (Station& st : stations_) {
            const double boot = static_cast<double>(bootMinute_) * 60 + second;
            st.world->clock.value =
                static_cast<double>(bootMinute_ + trueOffset_) / 1440 + second / SecondsPerDay;
            st.world->clock.bootSeconds = boot;
            endRuns(st.world->processes, st.endsAt, boot);
            pass ? st.s->Timer2Timer() : st.s->Timer1Timer();
            if (st.s->tasksWaitForSlots()) st.s->slotCheck();
            giveLifetimes(st.world->processes, st.endsAt, st.lastHandle, boot);
            st.world->port = FakePort{};
        }
    }

    static void endRuns(FakeProcesses& p, std::map<std::intptr_t, double>& endsAt, double boot) {
        for (auto it = endsAt.begin(); it != endsAt.end();) {
            if (it->second > boot) {
                ++it;
                continue;
            }
            if (const auto proc = p.procs.find(it->first);
                proc != p.procs.end() && proc->second.state == ExitState::Running)
                p.exit(it->first, it->first % 7 == 0 ? 1 : 0);
            it = endsAt.erase(it);
        }
    }

    // The processes launched since last end after a while; the closed ones are forgotten.
    void giveLifetimes(FakeProcesses& p, std::map<std::intptr_t, double>& endsAt,
                       std::intptr_t& last, double boot) {
        for (auto it = p.procs.upper_bound(last); it != p.procs.end(); ++it)
            endsAt[it->first] = boot + chance_.below(lifeSeconds_ + 1);
        last = p.lastHandle;
        std::erase_if(p.procs, [](const auto& proc) { return proc.second.closed; });
        p.launches.clear();
    }

    // What another program reads or does on the tables, every column as text (a double's in full).
    // A connection to a server that a fault cut is opened again, as a program started anew would.
    std::vector<std::vector<std::string>> otherRows(const std::string& sql) {
        std::vector<std::vector<std::string>> rows;
        if (otherPg_) {
            for (int attempt = 0; attempt < 2; ++attempt) {
                try {
                    PgResult r = otherPg_->exec(sql);
                    for (int i = 0; i < PQntuples(r.get()); ++i) {
                        auto& row = rows.emplace_back();
                        for (int c = 0; c < PQnfields(r.get()); ++c)
                            row.emplace_back(PQgetvalue(r.get(), i, c));
                    }
                    return rows;
                } catch (const DatabaseError& e) {
                    if (attempt == 1 && !serverTrouble())
                        fail(std::string("the other program failed: ") + e.what());
                }
            }
            return rows;
        }
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(other_, sql.c_str(), -1, &q, nullptr) != SQLITE_OK)
            fail(std::string("the task table cannot be read: ") + sqlite3_errmsg(other_));
        while (sqlite3_step(q) == SQLITE_ROW) {
            auto& row = rows.emplace_back();
            for (int c = 0; c < sqlite3_column_count(q); ++c) {
                const int type = sqlite3_column_type(q, c); // before a conversion changes it
                char number[32];
                std::snprintf(number, sizeof number, "%.17g", sqlite3_column_double(q, c));
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q, c));
                row.emplace_back(type == SQLITE_FLOAT ? number : text ? text : "");
            }
        }
        sqlite3_finalize(q);
        return rows;
    }
    std::set<std::int32_t> taskIds(const std::string& sql) {
        std::set<std::int32_t> ids;
        for (const auto& row : otherRows(sql))
            ids.insert(static_cast<std::int32_t>(std::stol(row.at(0))));
        return ids;
    }
    std::string claimMoment() const {
        return "'" + task_host::claimMoment(PassHistory::minuteStart(pass_.minute)) + "'";
    }
    bool serverTrouble() const { return server_ && bootMinute_ <= troubleUntil_; }

    Schedule randomWindow(bool silence) {
        constexpr int taskKinds[] = {0, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6};
        Schedule s;
        // A silence period mostly on one day only, seldom every day or hour, now and then always.
        s.interval = !silence            ? taskKinds[chance_.below(13)]
                     : chance_.oneIn(20) ? 0
                                         : (chance_.oneIn(4) ? chance_.between(1, 2) : 5);
        const auto time = [&](int minute, bool seconds) {
            return *tryEncodeTime(minute / 60, minute % 60,
                                  seconds && chance_.oneIn(5) ? chance_.between(1, 59) : 0);
        };
        if (s.interval == 1) {
            const int from = chance_.below(60);
            s.startTime = time(from, !silence);
            s.endTime = time(chance_.between(from, silence ? std::min(59, from + 10) : 59), false);
        } else if (s.interval >= 2 && s.interval <= 5) {
            const int from = chance_.below(1440);
            const int length = silence             ? chance_.between(1, 60)
                               : chance_.oneIn(10) ? -chance_.between(1, 60)
                                                   : chance_.between(0, 240);
            s.startTime = time(from, !silence);
            s.endTime = time(std::clamp(from + length, 0, 1439), false);
        }
        if (s.interval == 3) s.startDate = *Schedule::dayDate(chance_.between(1, 7));
        if (s.interval == 4) {
            const int first = chance_.between(1, 28);
            s.startDate = *Schedule::dayDate(first);
            s.endDate = *Schedule::dayDate(chance_.between(first, 31));
        }
        if (s.interval == 5) {
            s.startDate = datePart(wallNow()) + (silence ? 0 : chance_.between(-3, 10));
            s.endDate = s.startDate + (silence ? 0 : chance_.between(0, 5));
        }
        if (!silence) s.repeatInterval = chance_.oneIn(2) ? 0 : chance_.between(1, 120);
        return s;
    }

    void addTask(const Schedule& window) {
        Task t;
        t.name = "t" + std::to_string(++named_);
        t.schedule = window;
        if (server_) t.host = std::vector<std::string>{"", "", "*", "h0", "h1"}[chance_.below(5)];
        t.condition = chance_.oneIn(3) ? Condition(chance_.below(4)) : Condition::None;
        t.stopped = chance_.oneIn(10);
        t.interrupt = chance_.oneIn(3);
        t.catchUp = chance_.oneIn(3);
        t.waitRes = chance_.oneIn(2);
        for (int bits = chance_.oneIn(3) + chance_.oneIn(4); bits > 0; --bits)
            t.conflicts |= resourceBit(chance_.between(1, 4));
        t.id = TestWorld::appendTask(*store_, t.name, [&](TDataCtrl& d) {
            d.Table1Application.setString("prog-" + t.name);
            t.schedule.write(ScheduleColumns::ofTasks(d));
            d.Table1StartCondition.setString(conditionText(t.condition));
            d.Table1Stopped.setBoolean(t.stopped);
            d.Table1Interupt.setBoolean(t.interrupt);
            d.Table1CatchUp.setBoolean(t.catchUp);
            d.Table1WaitRes.setBoolean(t.waitRes);
            d.Table1Conflicts.setInteger(t.conflicts);
            d.Table1Host.setString(t.host);
        });
        t.row = store_->Table1.getBookmark();
        t.compile();
        byName_[t.name] = t.id;
        byRow_[t.row] = t.id;
        touched_.insert(t.id);
        tasks_[t.id] = std::move(t);
    }

    // What vektrinctl set writes: the named columns of the row.
    void write(Task& t, std::vector<std::pair<std::string, Value>> values) {
        if (!store_->Table1.writeFields(t.row, values)) fail(t, "its record is gone");
        touched_.insert(t.id);
    }

    void start() {
        const std::string tables = world_->tables();
        if (lastPass_ && !server_) {
            // Nobody holds the tables: the record of the passes tells the gap since the last one.
            const std::int64_t now = PassHistory::minuteOf(wallNow());
            const auto gaps = recordedGaps(
                PassHistory::fileFor(world_->config().stateDirectory, tables), tables, wallNow());
            if (*lastPass_ + 1 < now &&
                (gaps.empty() || !gaps.back().pending || gaps.back().after != *lastPass_ ||
                 gaps.back().before != now))
                fail("the record of the passes does not show the gap since the last pass");
        }
        SchedulerConfig config = world_->config();
        config.host = "h0";
        scheduler_ =
            std::make_unique<Scheduler>(world_->clock, world_->processes, world_->windows,
                                        world_->port, *world_->settings, world_->regional, config);
        if (scheduler_->FormCreate() != Scheduler::StartResult::Running) fail("the start failed");
        // Only this very thread holds the tables: waiting for them would never end it (0 is no
        // wait for table files, and none at all for a server).
        scheduler_->dataCtrl().database().setBusyTimeout(server_ ? 5 : 0);
        for (auto& [id, t] : tasks_)
            t.resWait = false; // the start resets what the run before left waiting
        if (log_ >= 0) close(log_);
        log_ = open(world_->log().c_str(), O_RDONLY | O_CLOEXEC);
        logRead_ = lseek(log_, 0, SEEK_END);
        pending_.clear();
    }

    // Killed: no FormClose, its queue and its processes gone with it.
    void kill() {
        scheduler_.reset();
        ++stats_.restarts;
        for (auto& [id, t] : tasks_) {
            t.slotWait = false;
            t.malformedSaid.reset();
        }
        world_->processes.procs.clear();
        endsAt_.clear();
    }

    // ------------------------------------------------------------------------------ the course

    void oneMinute() {
        at(0);
        if (locked_ && bootMinute_ >= lockUntil_) {
            otherRows("ROLLBACK");
            locked_ = false;
            if (lockedLaunches_ > 0 && lockLines_ == 0) fail("a pass on held tables said nothing");
        }
        const auto monitor = [&] { scheduler_->Timer1Timer(); };
        const auto slotCheck = [&](double second) {
            if (scheduler_->tasksWaitForSlots())
                step(second, Step::SlotCheck, [&] { scheduler_->slotCheck(); });
        };
        // The monitoring pass just before it gives every free slot away: the scheduling pass
        // launches only what its walk finds due.
        step(0.5, Step::Monitor, monitor);
        stepStations(0.5, false);
        // The other workstations' passes come before this one's or after it.
        const bool othersFirst = !stations_.empty() && chance_.oneIn(2);
        if (othersFirst) stepStations(0.9, true);
        step(1, Step::Pass, [&] { scheduler_->Timer2Timer(); });
        if (!othersFirst) stepStations(1.1, true);
        step(2, Step::Monitor, monitor);
        stepStations(2, false);
        at(10);
        if (!locked_ && !serverTrouble() && chance_.oneIn(300)) {
            if (server_) {
                otherRows("BEGIN");
                otherRows(
                    R"(LOCK TABLE vektrin."Vektrin", vektrin."VKResrcs", vektrin."SYSEXCPT")");
            } else if (sqlite3_exec(other_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) !=
                       SQLITE_OK) {
                fail("the other program could not lock the tables");
            }
            locked_ = true;
            lockUntil_ = bootMinute_ + chance_.between(1, 4);
            lockLines_ = lockedLaunches_ = 0;
            ++stats_.faults;
        }
        action();
        slotCheck(15);
        at(30);
        faults();
        step(31, Step::Monitor, monitor);
        stepStations(31, false);
        at(40);
        action();
        slotCheck(45);
    }

    void faults() {
        if (locked_) return;
        const int roll = chance_.below(400);
        if (roll ==
            0) { // killed, down a while (now and then longer than catch-up reaches), started again
            kill();
            bootMinute_ += chance_.oneIn(20) ? chance_.between(1, catchUpDays_ + 1) * 1440
                                             : chance_.between(0, 120);
            at(30);
            start();
            return;
        }
        if (roll == 1) { // asleep
            bootMinute_ += chance_.between(1, 120);
        } else if (roll == 2) {
            offset_ += chance_.between(2, 240);
        } else if (roll == 3) { // back, now and then beyond what counts as a repeated stretch
            offset_ -= chance_.between(1, 240);
        } else if (roll <= 6) {
            world_->processes.nextFailure = LaunchFailure::ProgramNotFound;
        } else if (roll == 7) { // many tasks due at once in the next minute
            Schedule burst;
            burst.interval = intervalOf(ScheduleKind::EveryDay);
            burst.startTime = burst.endTime = timePart(wallNow() + (60 - second_) / SecondsPerDay);
            for (int n = chance_.between(5, 25); n > 0; --n)
                addTask(burst);
        } else if (server_ && roll <= 9) { // the server restarted, or the connections cut
            if (roll == 8 && !server_->restart()) fail("the server did not start again");
            if (roll == 9) server_->terminateSessionsOf(PgServer::databaseOf(uri_));
            troubleUntil_ = bootMinute_ + 3;
        } else {
            return;
        }
        ++stats_.faults;
        at(30);
    }

    // Now and then what an operator does: through the store as vektrinctl does, or through the
    // commands of the control socket.
    // As vektrinctl rm does: the row as the file holds it now.
    void removeRow(Table& table, Table::Bookmark row, const std::string& what) {
        table.refreshIfChanged();
        if (!table.gotoBookmark(row)) fail(what + ": its record is gone");
        table.deleteRecord();
    }

    void action() {
        if (tasks_.empty() || !chance_.oneIn(3)) return;
        Task& t = std::next(tasks_.begin(), chance_.below(int(tasks_.size())))->second;
        const auto command = [&](OperatorCommand c) {
            step(
                second_, Step::Operator,
                [&] {
                    if (operatorCommand(*scheduler_, c, std::to_string(t.id)).ok)
                        t.stopped = c == OperatorCommand::Stop ||
                                    (t.stopped && c != OperatorCommand::Resume);
                },
                t.id);
        };
        const int what = chance_.below(12);
        if (locked_ && what < 6) return; // the store waits for the tables; the socket answers
        if (server_) {
            try { // a connection that a fault of the server cut is found so, and opened again
                static_cast<PgDatabase&>(store_->database()).exec("SELECT 1");
            } catch (const DatabaseError&) {
            }
        }
        const Schedule& s = t.schedule;
        switch (what) {
        case 0:
            t.schedule = randomWindow(false);
            t.compile();
            write(t, {{"Interval", std::int64_t{s.interval}},
                      {"StartDate", s.startDate},
                      {"StartTime", s.startTime},
                      {"EndDate", s.endDate},
                      {"EndTime", s.endTime},
                      {"RepeatInterval", std::int64_t{s.repeatInterval}}});
            break;
        case 1:
            write(t, {{"Stopped", std::int64_t{t.stopped = !t.stopped}}});
            break;
        case 2:
            t.condition = Condition(chance_.below(4));
            t.conditionChanged = true;
            write(t, {{"StartCondition", std::string(conditionText(t.condition))}});
            break;
        case 3:
            write(t, {{"CatchUp", std::int64_t{t.catchUp = !t.catchUp}}});
            break;
        case 4:
            if (tasks_.size() < std::size_t(baseTasks_) * 3 / 2 && chance_.oneIn(2)) {
                addTask(randomWindow(false));
            } else {
                removeRow(store_->Table1, t.row, describe(t));
                byName_.erase(t.name);
                byRow_.erase(t.row);
                tasks_.erase(std::int32_t{t.id});
            }
            break;
        case 5:
            if (!silences_.empty() && (silences_.size() > 2 || chance_.oneIn(2))) {
                const auto gone =
                    std::next(silences_.begin(), chance_.below(int(silences_.size())));
                removeRow(store_->Table3, gone->first, "a silence period");
                silences_.erase(gone);
            } else {
                const Schedule period = randomWindow(true);
                store_->Table3.append();
                period.write(ScheduleColumns::ofSilence(*store_));
                store_->Table3.post();
                silences_[store_->Table3.getBookmark()] =
                    std::make_unique<CompiledWindow>(period, schedule::Reading::Silence);
            }
            break;
        case 6:
        case 7:
            command(chance_.oneIn(2) ? OperatorCommand::Stop : OperatorCommand::Resume);
            break;
        case 8:
        case 9:
            command(OperatorCommand::RunNow);
            break;
        case 10:
            command(OperatorCommand::Interrupt);
            break;
        default:
            command(OperatorCommand::CancelWaiting);
        }
        if (!storeMessages_.messages.empty()) fail("the store said: " + storeMessages_.messages[0]);
    }

    // -------------------------------------------------------------------------------- the steps

    void step(double second, Step kind, const std::function<void()>& act, std::int32_t target = 0) {
        at(second);
        ++step_;
        endRuns(world_->processes, endsAt_, *world_->clock.bootSeconds);
        stepKind_ = kind;
        operatorTask_ = target;
        std::vector<std::int32_t> runningBefore;
        if (kind == Step::Pass) {
            pass_ = beginPass();
            seen_.clear();
            for (auto& [id, t] : tasks_) {
                t.resWaitAtPass = t.resWait;
                t.slotWaitAtPass = t.slotWait && !t.slotExcused;
                t.maybeQueued = t.slotWait && t.slotExcused;
            }
            for (int n = 1; n <= scheduler_->RunningTasks.size(); ++n)
                if (scheduler_->RunningTasks.slot(n).occupied())
                    runningBefore.push_back(scheduler_->RunningTasks.slot(n).AppID);
            std::sort(runningBefore.begin(), runningBefore.end());
            // Another workstation's run or wait of a task stands for it (see taskIsHere).
            // A moment claimed before (the clock came back to it) is not run again.
            if (server_ && pass_.ran) {
                elsewhere_ = taskIds(
                    R"(SELECT "AppID" FROM vektrin."Vektrin" WHERE "LastHost" NOT IN ('', 'h0') )"
                    R"(AND ("EndCode" = 7 OR ("EndCode" = 2 AND "Host" = '')))");
                claimedBefore_ =
                    taskIds("SELECT task FROM vektrin.claims WHERE moment = " + claimMoment() +
                            " AND host_key IN ('', 'h0')");
            }
        }
        act();
        readProtocol();
        if (server_ && pass_.ran) {
            claimedHere_ =
                taskIds("SELECT task FROM vektrin.claims WHERE moment = " + claimMoment() +
                        " AND taken_by = 'h0'");
            claimedElsewhere_ =
                taskIds("SELECT task FROM vektrin.claims WHERE moment = " + claimMoment() +
                        " AND host_key = '' AND taken_by <> 'h0'");
        }
        if (pass_.ran) checkPass(runningBefore);
        pass_.ran = false;

        giveLifetimes(world_->processes, endsAt_, lastHandle_, *world_->clock.bootSeconds);
        world_->port = FakePort{};
        checkSlots();
        checkFields(false);
    }

    PassFacts beginPass() {
        PassFacts f;
        f.minute = PassHistory::minuteOf(wallNow());
        f.ran = lastPass_ != f.minute;
        if (!f.ran) return f;
        ++stats_.passes;
        const std::int64_t m = f.minute;
        if (lastPass_ && m > *lastPass_ + 1) f.gap = {{*lastPass_, m}};
        constexpr std::int64_t Stretch = 180;
        if (!covered_.empty() && *covered_.rbegin() - m > Stretch) {
            covered_.clear(); // a new time: everything is scheduled again
            madeUpRuns_.clear();
        }
        f.repeated = covered_.count(m) > 0;
        f.madeUpMinute = inRuns(madeUpRuns_, m);
        if (f.gap) {
            for (const std::int64_t c : covered_)
                if (c > f.gap->first && c < m) f.coveredInGap.emplace_back(c, c);
            for (const auto& [first, last] : madeUpRuns_)
                if (first < m && last > f.gap->first)
                    f.coveredInGap.emplace_back(std::max(first, f.gap->first + 1),
                                                std::min(last, m - 1));
        }
        covered_.insert(m);
        const std::int64_t oldest = *covered_.rbegin() - Stretch;
        covered_.erase(covered_.begin(), covered_.lower_bound(oldest));
        std::erase_if(madeUpRuns_, [&](const auto& r) { return r.second < oldest; });
        if (f.gap)
            if (const auto part = catchUpPart({f.gap->first, f.gap->second}, catchUpDays_))
                madeUpRuns_.emplace_back(part->after + 1, part->before - 1);
        lastPass_ = m;
        return f;
    }

    void readProtocol() {
        char buffer[1 << 16];
        for (ssize_t n; (n = pread(log_, buffer, sizeof buffer, logRead_)) > 0; logRead_ += n)
            pending_.append(buffer, static_cast<std::size_t>(n));
        std::size_t from = 0;
        for (std::size_t end; (end = pending_.find("\r\n", from)) != std::string::npos;
             from = end + 2)
            if (end - from > 20)
                line(std::string_view(pending_).substr(from + 20, end - from - 20));
        pending_.erase(0, from);
        // The scheduler appends: what was read need not be kept.
        if (logRead_ > (1 << 22) && pending_.empty() && truncate(world_->log().c_str(), 0) == 0)
            logRead_ = 0;
    }

    void line(std::string_view text) {
        if (text.starts_with("Input = ")) return; // a condition's trace
        recent_.emplace_back(text);
        if (recent_.size() > 16) recent_.pop_front();
        if (text.starts_with(str::TablesUnusable)) {
            if (serverTrouble()) return;
            if (!locked_) fail("the tables were said to be unusable while nobody held them");
            if (++lockLines_ > 1) fail("the held tables were said twice in one episode");
            ++stats_.tablesHeldSaid;
            return;
        }
        const std::size_t open = text.find('<'), close = text.find('>');
        if (open == std::string_view::npos || close < open) return;
        const auto named = byName_.find(std::string(text.substr(open + 1, close - open - 1)));
        const auto is = [&](std::string_view format) { return valuesOf(format, text).has_value(); };
        if (named == byName_.end()) {
            if (is(str::Executes)) fail("launched a task that is not in the tables");
            return;
        }
        Task& t = tasks_.at(named->second);
        touched_.insert(t.id);
        Seen& seen = seen_[t.id];
        if (is(str::Executes)) {
            executes(t);
        } else if (const auto missed = valuesOf(str::MissedLaunchMadeUp, text)) {
            madeUp(t, (*missed)[1]);
        } else if (is(str::SetToWaiting) || is(str::SkippedConflict)) {
            // Its turn for a slot came while its resources were held: that wait is over.
            if (stepKind_ != Step::Operator) t.slotWait = false;
            t.pendingMakeUp = false;
            t.resWait = t.resWait || is(str::SetToWaiting);
            (is(str::SetToWaiting) ? seen.waitLine : seen.skipLine) |= pass_.ran;
        } else if (is(str::WaitsForSlot)) {
            if (t.slotWait && !t.slotExcused) fail(t, "put to wait for a slot twice");
            t.slotWait = true;
            t.slotExcused = t.pendingMakeUp = false;
            t.slotDue = pass_.ran ? pass_.minute : PassHistory::minuteOf(wallNow());
            seen.noSlotLine |= pass_.ran;
            ++stats_.slotWaits;
        } else if (const auto over = valuesOf(str::SlotWaitOver, text)) {
            const DateTime due = PassHistory::minuteStart(t.slotDue);
            if (!t.slotWait || (*over)[2] != world_->regional.formatDate(due) + " " +
                                                 world_->regional.formatTime(due))
                fail(t, "gave up a wait for a slot that it did not have");
            if (wallNow() - due <= slotWaitMinutes_ / 1440.0)
                fail(t, "gave up its wait for a slot early");
            t.slotWait = false;
        } else if (is(str::WaitingOver) || is(str::WaitingCancelled) ||
                   is(str::TaskSchedulingStopped) || is(str::TaskSchedulingResumed)) {
            t.resWait = false;
        } else if (const auto said = valuesOf(str::LaunchConditionUnreadable, text)) {
            if (t.condition != Condition::Malformed ||
                (*said)[1] != conditionText(Condition::Malformed))
                fail(t, "said to have an unreadable condition " + (*said)[1]);
            if (t.malformedSaid == (*said)[1] && !t.conditionChanged)
                fail(t, "its unreadable condition was said twice");
            t.malformedSaid = (*said)[1];
            t.conditionChanged = false;
        }
    }

    // Each launch is for a moment: the one the task waited for, the one it makes up, the
    // operator's, or the one of the pass.
    void executes(Task& t) {
        ++stats_.launches;
        lockedLaunches_ += locked_;
        const bool byOperator = stepKind_ == Step::Operator && operatorTask_ == t.id;
        const bool waited = !byOperator && (t.slotWait || t.resWait);
        if (!byOperator) t.slotWait = false;
        t.resWait = false;
        if (byOperator || waited) return;
        if (t.pendingMakeUp && (pass_.ran || serverTrouble())) {
            t.pendingMakeUp = false;
            return;
        }
        if (!pass_.ran) fail(t, "launched outside a pass, neither waiting nor asked for");
        ++seen_[t.id].execDue;
    }

    // Catch-up makes up the latest moment missed in the gap, within CatchUpDays, and none that a
    // pass covered or made up before the clock came back to it (the record of the passes keeps
    // that for three hours after the latest pass; a step back further is a new time).
    void madeUp(Task& t, const std::string& moment) {
        ++stats_.madeUp;
        // A moment held back while the server was away, made up on its return.
        if (!pass_.ran && serverTrouble() && t.catchUp) {
            t.pendingMakeUp = true;
            return;
        }
        int d = 0, mo = 0, y = 0, h = 0, mi = 0, s = 0;
        std::sscanf(moment.c_str(), "%d.%d.%d %d:%d:%d", &d, &mo, &y, &h, &mi, &s);
        const std::int64_t minute =
            PassHistory::minuteOf(*tryEncodeDate(y, mo, d) + *tryEncodeTime(h, mi, s));
        const auto missed = [&](std::int64_t m) {
            return dueUnsilenced(t, m) && !inRuns(pass_.coveredInGap, m);
        };
        std::string wrong;
        if (!pass_.ran || !pass_.gap)
            wrong = "made up in a pass after no gap";
        else if (!t.catchUp)
            wrong = "made up without catch-up";
        else if (minute <= std::max(pass_.gap->first, pass_.minute - catchUpDays_ * 1440) ||
                 minute >= pass_.minute)
            wrong = "made up a moment outside the gap or older than CatchUpDays";
        else if (!missed(minute))
            wrong = "made up a moment that was not due, silenced, or covered or made up before";
        for (std::int64_t later = pass_.minute - 1; wrong.empty() && later > minute; --later)
            if (missed(later)) wrong = "made up a moment that is not the latest missed";
        if (!wrong.empty()) fail(t, wrong + " (" + moment + ")");
        t.pendingMakeUp = true;
    }

    // Every task due in the pass's minute was launched, or something the operator set held it
    // back, or a line of the protocol names it; never two of them, and never two launches.
    void checkPass(const std::vector<std::int32_t>& runningBefore) {
        if (pass_.gap) {
            const auto gaps = scheduler_->recordedGaps();
            if (gaps.empty() || gaps.back().after != pass_.gap->first ||
                gaps.back().before != pass_.gap->second)
                fail("the minutes without a pass are not among the recorded gaps");
        }
        const auto moment = schedule::passMoment(wallNow());
        const bool silence = silenced(moment);
        // Held tables: the pass went by the rows as last read, and said so once. A server just
        // restarted or cut away holds back whatever needs its claim.
        const bool heldTables = (locked_ && lockLines_ > 0) || serverTrouble();
        for (auto& [id, t] : tasks_) {
            const auto found = seen_.find(id);
            const Seen seen = found == seen_.end() ? Seen{} : found->second;
            std::string wrong;
            if (t.window->decide(moment).reason != schedule::Reason::Due) {
                if (seen.execDue > 0) wrong = "launched although not due";
            } else {
                ++stats_.dueMoments;
                const bool running =
                    std::binary_search(runningBefore.begin(), runningBefore.end(), id);
                const bool repeated = pass_.repeated || (t.catchUp && pass_.madeUpMinute);
                static constexpr const char* unreadable = "unreadable condition";
                const bool otherHost = !t.host.empty() && t.host != "*" && t.host != "h0";
                const char* held = t.stopped                           ? "stopped"
                                   : otherHost || elsewhere_.count(id) ? "another workstation's"
                                   : claimedElsewhere_.count(id) || claimedBefore_.count(id)
                                       ? "its moment claimed before or elsewhere"
                                   : t.resWaitAtPass                     ? "waiting for resources"
                                   : silence                             ? "silenced"
                                   : t.condition == Condition::Malformed ? unreadable
                                   : t.condition == Condition::False     ? "false condition"
                                   : repeated && !t.repeatsByDesign()    ? "minute covered before"
                                   : running && !t.interrupt             ? "an instance runs"
                                                                         : nullptr;
                const int lines =
                    (seen.execDue > 0) + seen.waitLine + seen.skipLine + seen.noSlotLine;
                const int ways = lines + (t.slotWaitAtPass || (t.maybeQueued && lines == 0));
                stats_.elsewhere +=
                    held && std::string_view(held).find("another") != std::string::npos;
                if (held && seen.execDue > 0)
                    wrong = std::string("launched although held back: ") + held;
                else if (server_ && seen.execDue > 0 && !claimedHere_.count(id))
                    wrong = "launched without its claim";
                else if (held == unreadable &&
                         t.malformedSaid != conditionText(Condition::Malformed))
                    wrong = "held back by an unreadable condition that was never said";
                else if (!held && (seen.execDue > 1 || ways != 1))
                    wrong = "due: " + std::to_string(seen.execDue) +
                            " launches; lines of waiting, skipping, no slot " +
                            std::string{char('0' + seen.waitLine), char('0' + seen.skipLine),
                                        char('0' + seen.noSlotLine)} +
                            "; waited for a slot " + std::to_string(t.slotWaitAtPass);
            }
            if (!wrong.empty() && !heldTables) fail(t, wrong);
        }
    }

    // The running tasks hold no resource twice, and a wait for a slot ends in a launch or a word.
    void checkSlots() {
        ResourceMask held = 0;
        for (int n = 1; n <= scheduler_->RunningTasks.size(); ++n) {
            const TRunningTask& slot = scheduler_->RunningTasks.slot(n);
            if (!slot.occupied()) continue;
            if ((held & slot.Conflicts) != 0)
                fail("slot " + std::to_string(n) + " runs task " + std::to_string(slot.AppID) +
                     " with resources another running task holds");
            held |= slot.Conflicts;
            if (const auto t = tasks_.find(slot.AppID); t != tasks_.end())
                t->second.slotExcused = true;
        }
        // Nor does any other workstation's.
        for (const Station& st : stations_)
            for (int n = 1; n <= st.s->RunningTasks.size(); ++n) {
                const TRunningTask& slot = st.s->RunningTasks.slot(n);
                if (!slot.occupied()) continue;
                if ((held & slot.Conflicts) != 0)
                    fail("task " + std::to_string(slot.AppID) +
                         " runs on another workstation with resources a running task holds");
                held |= slot.Conflicts;
            }
        for (auto& [id, t] : tasks_) {
            t.slotExcused = t.slotExcused || t.stopped;
            if (t.slotWait && !t.slotExcused &&
                wallNow() - PassHistory::minuteStart(t.slotDue) > (slotWaitMinutes_ + 1.5) / 1440)
                fail(t, "its wait for a slot ended without a launch or a word");
        }
    }

    // No committed change of the operator's is lost: the table holds what the model holds.
    void checkFields(bool all) {
        if (locked_ || (!all && touched_.empty())) return;
        const std::string rowid = server_ ? "\"AppID\"" : "rowid";
        std::string sql = "SELECT " + rowid +
                          R"(, "Stopped", "Interval", "StartDate", "StartTime", "EndDate", )"
                          R"("EndTime", "RepeatInterval", "StartCondition", "CatchUp" FROM )" +
                          (server_ ? R"(vektrin."Vektrin")" : "Vektrin");
        if (!all) {
            sql += " WHERE " + rowid + " IN (0";
            for (const std::int32_t id : touched_)
                if (const auto t = tasks_.find(id); t != tasks_.end())
                    sql += "," + std::to_string(t->second.row);
            sql += ")";
        }
        touched_.clear();
        const auto rows = otherRows(sql);
        std::string wrong;
        for (const auto& r : rows) {
            const auto row = byRow_.find(std::stoll(r[0]));
            if (row == byRow_.end()) {
                wrong = "a row that no task of the model has";
                break;
            }
            const Task& t = tasks_.at(row->second);
            const Schedule& s = t.schedule;
            if (std::stoi(r[1]) != t.stopped || std::stoi(r[2]) != s.interval ||
                std::stod(r[3]) != s.startDate || std::stod(r[4]) != s.startTime ||
                std::stod(r[5]) != s.endDate || std::stod(r[6]) != s.endTime ||
                std::stoi(r[7]) != s.repeatInterval || r[8] != conditionText(t.condition) ||
                std::stoi(r[9]) != t.catchUp) {
                wrong = describe(t) + ": the table holds other operator's fields";
                break;
            }
        }
        if (wrong.empty() && all && rows.size() != tasks_.size())
            wrong = "the table holds other tasks";
        if (!wrong.empty()) fail("a committed change was lost: " + wrong);
    }

    std::uint64_t seed_;
    Chance chance_;
    ScopedEnv env_;
    std::unique_ptr<TestWorld> world_;
    FakePort storeMessages_;
    std::unique_ptr<TDataCtrl> store_; // the operator's connection, as vektrinctl opens one
    std::unique_ptr<Scheduler> scheduler_;
    sqlite3* other_ = nullptr; // another program: reads the rows for the checks, holds the lock
    // On a database: its server, the other program's connection, the other workstations, and
    // what the claims and the tasks' states said of the pass.
    PgServer* server_ = nullptr;
    std::string uri_;
    std::unique_ptr<PgDatabase> otherPg_;
    std::vector<Station> stations_;
    std::int64_t trueOffset_ = 0, troubleUntil_ = 0;
    std::set<std::int32_t> elsewhere_, claimedBefore_, claimedHere_, claimedElsewhere_;

    int baseTasks_, maxRunning_ = 0, slotWaitMinutes_ = 0, catchUpDays_ = 0, lifeSeconds_ = 0;
    std::int64_t bootMinute_ = 1000, offset_ = 0; // the wall clock's minute = boot minute + offset
    double second_ = 0;
    long step_ = 0;
    Step stepKind_ = Step::Monitor;
    std::int32_t operatorTask_ = 0;

    std::map<std::int32_t, Task> tasks_;
    std::map<std::string, std::int32_t> byName_;
    std::map<Table::Bookmark, std::int32_t> byRow_;
    std::map<Table::Bookmark, std::unique_ptr<CompiledWindow>> silences_;
    int named_ = 0;
    std::map<std::intptr_t, double> endsAt_; // fake process → the boot second it ends
    std::intptr_t lastHandle_ = 0;
    std::set<std::int32_t> touched_; // tasks whose rows the scheduler or the operator wrote

    // What the scheduler's record of its passes holds.
    std::optional<std::int64_t> lastPass_;
    std::set<std::int64_t> covered_;
    Runs madeUpRuns_;
    PassFacts pass_;
    std::map<std::int32_t, Seen> seen_;

    bool locked_ = false;
    std::int64_t lockUntil_ = 0;
    int lockLines_ = 0, lockedLaunches_ = 0;

    int log_ = -1;
    off_t logRead_ = 0;
    std::string pending_;
    std::deque<std::string> recent_;
    SimulationStats stats_;
};

} // namespace

SimulationResult simulate(std::uint64_t seed, int days, int tasks, int stations) {
    return Simulation(seed, tasks, stations).run(days);
}

} // namespace vektrin::test
