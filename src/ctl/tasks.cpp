// tasks, next and due: what the tables hold and what the scheduling pass will make of it.

#include "condition/condition_errors.h"
#include "condition/environment.h"
#include "ctl/environment.h"
#include "ctl/fields.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/launch_condition.h"
#include "engine/task_host.h"
#include "platform/host_name.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include <iterator>

namespace vektrin::ctl {
namespace {

std::optional<schedule::LaunchMoment> nextMoment(TDataCtrl& dm, const Schedule& window,
                                                 schedule::NextLaunchSearch& search, DateTime now) {
    // The pass passes stopped tasks by.
    if (dm.Table1Stopped.asBoolean()) return std::nullopt;
    const auto found = search.next(window, now, 1);
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::string lastText(TDataCtrl& dm) {
    if (dm.Table1LastDate.isNull() && dm.Table1LastTime.isNull()) return "-";
    return isoDate(dm.Table1LastDate.asDateTime()) + ' ' +
           clockTime(dm.Table1LastTime.asDateTime());
}

// The schedule fields read as the pass reads them.
Json decodedSchedule(const Schedule& w) {
    Json s = Json::object();
    s["Kind"] = w.kindCode();
    s["Description"] = scheduleDescription(w);
    const std::optional<ScheduleKind> kind = w.kind();
    if (kind == ScheduleKind::EveryHour) {
        s["StartMinute"] = w.startMinute();
        s["EndMinute"] = w.endMinute();
    } else if (kind == ScheduleKind::Weekly) {
        s["Weekday"] = w.weekday();
    } else if (kind == ScheduleKind::EveryMonth) {
        s["FirstDay"] = w.firstDay();
        s["LastDay"] = w.lastDay();
    }
    return s;
}

// The words of `due`, in the order of schedule::Verdict: why the pass will or will not launch
// the task in this minute.
constexpr const char* VerdictWords[] = {
    "stopped", "waiting", "silence", "condition-error", "condition-false", "repeated-minute", "due",
    "made-up", "due",     "running", "never-due",       "outside-window",  "off-step"};
static_assert(std::size(VerdictWords) == std::size_t(schedule::Verdict::OffStep) + 1);

const char* verdictWord(schedule::Verdict verdict) {
    return VerdictWords[static_cast<std::size_t>(verdict)];
}

int runTasks(const Context& context, bool json, bool header) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    const DateTime now = context.now();
    schedule::NextLaunchSearch search(Schedule::silenceTable(*dm));
    const std::string file = tableFilePath(*dm, dm->Table1);
    Json all = Json::array();
    // The columns listed: one that most tables leave empty only where some task fills it.
    std::vector<const TaskSetting*> listed;
    for (const TaskSetting& t : taskSettingTable()) {
        if (!t.list || json) continue;
        bool shown = !t.is(TaskSetting::ListedWhenSet);
        for (dm->Table1.first(); !shown && !dm->Table1.eof(); dm->Table1.next())
            shown = !t.field(*dm).asString().empty();
        if (shown) listed.push_back(&t);
    }
    if (!json && header) {
        std::cout << "AppID";
        for (const TaskSetting* t : listed)
            std::cout << '\t' << t->listed;
        std::cout << "\tStatus\tLastChange\tNext\n";
    }
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next()) {
        const Schedule window = Schedule::ofTask(*dm);
        const auto next = nextMoment(*dm, window, search, now);
        if (json) {
            Json record = recordToJson(dm->Table1, true, file);
            record["Schedule"] = decodedSchedule(window);
            record["Next"] = next ? Json(formatMoment(*next)) : Json(nullptr);
            all.push_back(std::move(record));
            continue;
        }
        std::cout << dm->Table1AppID.asInteger();
        for (const TaskSetting* t : listed)
            std::cout << '\t' << t->list(*dm, *t);
        std::cout << '\t' << dm->Table1Sost.asString() << '\t' << lastText(*dm) << '\t'
                  << (next ? formatMoment(*next) : "-") << '\n';
    }
    if (json) std::cout << all.dump(2) << '\n';
    return ExitOk;
}

struct NextOptions {
    std::string task;
    int count = 5;
    bool json = false;
    ScheduleOptions schedule;
    std::string repeat;
    CLI::Option* repeatOption = nullptr;

    // A schedule given in add's words instead of a task.
    std::vector<Setting> settings() const {
        std::vector<Setting> given{{"name", "next"}};
        schedule.settings(given);
        if (repeatOption->count()) given.push_back({"repeat", repeat});
        return given;
    }
};

int runNext(const Context& context, const NextOptions& options) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    Schedule window;
    if (!options.task.empty()) {
        locateTask(*dm, options.task);
        if (dm->Table1Stopped.asBoolean()) {
            std::cerr << "Task " << dm->Table1AppName.asString()
                      << " is stopped: the scheduler launches it not at all\n";
            return ExitOk;
        }
        window = Schedule::ofTask(*dm);
    } else {
        // A row that is never posted, given the schedule as add would give it.
        dm->Table1.append();
        const std::vector<Problem> problems =
            applyTaskSettings(*dm, options.settings(), context, true);
        if (!problems.empty()) {
            dm->Table1.cancel();
            report(problems, nullptr);
            return ExitDataError;
        }
        window = Schedule::ofTask(*dm);
        dm->Table1.cancel();
    }
    schedule::NextLaunchSearch search(Schedule::silenceTable(*dm));
    const auto moments = search.next(window, context.now(), options.count);
    Json all = Json::array();
    for (const auto& m : moments)
        if (options.json)
            all.push_back(formatMoment(m));
        else
            std::cout << formatMoment(m) << '\n';
    if (options.json) std::cout << all.dump(2) << '\n';
    if (static_cast<int>(moments.size()) < options.count)
        std::cerr << (moments.empty() ? "No next moment" : "No further moment") << " within "
                  << schedule::NextLaunchSearch::DefaultHorizonDays << " days\n";
    return ExitOk;
}

int runDue(const Context& context, bool json) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    const DateTime now = context.now();
    const schedule::PassMoment moment = schedule::passMoment(now);
    const std::vector<Schedule> silence =
        schedule::silencesInForce(Schedule::silenceTable(*dm), moment);

    // No trace, nothing on the terminal; one reading of each file search for the minute.
    TerminalEnvironment environment(now);
    ConditionEvaluator evaluator(environment);
    int exitCode = ExitOk;
    const std::string file = tableFilePath(*dm, dm->Table1);
    int appName = 0;
    while (dm->Table1.fieldDef(appName).name != "AppName")
        ++appName;
    Json all = Json::array();
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next()) {
        // No running instances are known here: the slots live in the scheduler.
        const schedule::TaskState task = taskState(*dm);
        schedule::PassQuestions ask;
        ask.silenced = [&] { return schedule::silenced(task, silence); };
        ask.condition = [&] {
            try {
                return testLaunchCondition(evaluator, dm->Table1StartCondition.asString());
            } catch (const EvaluationFailure& e) {
                // The pass itself would end here, launching none of the tasks after this one.
                std::cerr << dm->Table1AppName.asString() << ": " << e.what() << '\n';
                exitCode = ExitDataError;
                return LaunchConditionOutcome::Malformed;
            }
        };
        const schedule::Verdict verdict = schedule::passVerdict(task, moment, false, ask).verdict;
        std::string word = verdictWord(verdict);
        // On a shared list a moment another workstation took is its run.
        if (SharedTables* shared = dm->database().shared();
            shared && verdict == schedule::Verdict::Launch) {
            const auto place =
                task_host::placement(dm->Table1Host.asString(), platform::schedulerHost());
            if (const auto taken = shared->claimOf(
                    dm->Table1AppID.asInteger(), task_host::claimMoment(now),
                    place.claim == task_host::Claim::OncePerHost ? place.claimHost : ""))
                word = "run on " + *taken;
        }
        if (json) {
            Json record = Json::object();
            record["AppID"] = dm->Table1AppID.asInteger();
            record["AppName"] = fieldToJson(dm->Table1, appName, file);
            record["Reason"] = word;
            all.push_back(std::move(record));
        } else {
            std::cout << dm->Table1AppID.asInteger() << '\t' << dm->Table1AppName.asString() << '\t'
                      << word << '\n';
        }
    }
    if (json) std::cout << all.dump(2) << '\n';
    return exitCode;
}

} // namespace

std::vector<Command> taskCommands() {
    struct Flags {
        bool json = false, noHeader = false, missed = false;
        std::string since;
    };
    return {
        {"tasks",
         "List every task: AppID, AppName, schedule, run type, stopped, status, last change and "
         "next launch, separated by tabs",
         withOptions<Flags>(
             [](CLI::App& cmd, Flags& v) {
                 cmd.add_flag("--json", v.json, "An array of objects keyed by field name");
                 cmd.add_flag("--no-header", v.noHeader, "The lines without the header line");
             },
             [](const Context& context, const Flags& v) {
                 return runTasks(context, v.json, !v.noHeader);
             })},
        {"next",
         "Print the next launch moments of a task, or of a schedule given as add takes it, one "
         "\"YYYY-MM-DD HH:MM\" per line",
         withOptions<NextOptions>(
             [](CLI::App& cmd, NextOptions& v) {
                 CLI::Option* task = cmd.add_option("TASK", v.task, TaskArgumentHelp);
                 addNumberOption(cmd, "-n,--count", v.count, "how many moments", 1, 100000);
                 cmd.add_flag("--json", v.json, "An array of the moments as strings");
                 v.schedule.add(&cmd, "schedule");
                 v.repeatOption = addSettingOption(&cmd, *taskSetting("repeat"), v.repeat);
                 for (CLI::Option* o :
                      {v.schedule.everyMinute, v.schedule.hourly, v.schedule.daily,
                       v.schedule.weeklyOption, v.schedule.monthlyOption, v.schedule.yearly,
                       v.schedule.fromOption, v.schedule.toOption, v.repeatOption})
                     task->excludes(o);
             },
             [](const Context& context, const NextOptions& v) {
                 if (v.task.empty() && v.settings().size() == 1)
                     throw CommandError(ExitUsage, "next needs a TASK or a schedule (--daily, "
                                                   "--weekly DAY, --from, ...)");
                 return runNext(context, v);
             })},
        {"due",
         "For the minute of --at, say of every task whether the scheduling pass launches it, or "
         "why not",
         withOptions<Flags>(
             [](CLI::App& cmd, Flags& v) {
                 cmd.add_flag("--json", v.json, "An array of objects");
                 cmd.add_flag("--missed", v.missed,
                              "List the launches no pass made: the scheduler was not running, the "
                              "machine slept or the clock stepped over them");
                 addMomentOption(cmd, "--since", v.since,
                                 "With --missed: from this moment on (default: the last 7 days)");
             },
             [](const Context& context, const Flags& v) {
                 if (v.missed) return runMissed(context, v.since, v.json);
                 if (!v.since.empty())
                     throw CommandError(ExitUsage, "--since is an option of --missed");
                 return runDue(context, v.json);
             })},
    };
}

} // namespace vektrin::ctl
