// What add, set, edit, import, resource and silence share: the operator's words for a record's
// fields, checked with the editors' rules and messages, and the options that carry them.

#include "ctl/fields.h"
#include "platform/text.h"

#include "condition/condition_errors.h"
#include "condition/environment.h"
#include "condition/evaluator.h"
#include "ctl/control.h"
#include "ctl/environment.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/operator_commands.h"
#include "engine/schedule.h"
#include "engine/task_fields.h"
#include "engine/task_host.h"
#include "platform/strings.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <utility>

namespace vektrin::ctl {
namespace {

// The messages of a terminal, where no edit can be reset to its lowest value: a silence period's
// minute or day that is no number is refused as the task editor refuses it.
fields::EditCheck refusingCheck(fields::EditCheck check) {
    check.resetTo.reset();
    check.notNumber = str::OnlyDigitsAllowed;
    return check;
}

} // namespace

// The schedule columns of a task or a silence period, with the minute and day rules of its editor.
struct ScheduleFields {
    ScheduleColumns columns;
    fields::EditCheck minuteCheck;
    fields::EditCheck dayCheck;
    const char* what; // "task" or "silence period"
};

namespace {

// "normal, low, high or realtime"
std::string wordList(const TaskSetting& t) {
    std::string all;
    for (std::int64_t i = 0; !t.word(i).empty(); ++i)
        all += (i == 0 ? "" : t.word(i + 1).empty() ? " or " : ", ") + std::string(t.word(i));
    return all;
}

ScheduleFields taskSchedule(TDataCtrl& dm) {
    return {ScheduleColumns::ofTasks(dm), fields::TaskMinute, fields::TaskDay, "task"};
}

ScheduleFields silenceSchedule(TDataCtrl& dm) {
    return {ScheduleColumns::ofSilence(dm), refusingCheck(fields::SilenceMinute),
            refusingCheck(fields::SilenceDay), "silence period"};
}

} // namespace

class Applier {
  public:
    Applier(TDataCtrl& dm, ScheduleFields schedule, const Context& context)
        : dm_(dm), s_(std::move(schedule)), context_(context), conditions_(context) {}

    std::vector<Problem> problems;
    bool newRecord = false;

    void problem(const std::string& key, std::string message) {
        problems.push_back({key, std::move(message), key == "schedule" ? kindOption_ : ""});
    }

    // The kind word and its day or days: "weekly friday", "monthly 1-5".
    void schedule(const Setting& setting) {
        Schedule window = Schedule::read(s_.columns);
        const schedule::WordsTaken taken = window.takeScheduleWords(setting.value, s_.dayCheck);
        kindOption_ = taken.kind ? std::string(fields::kindWord(*taken.kind)) : std::string();
        took(setting.key, window, taken);
    }

    // A new record's defaults, or a changed kind with the window it leaves empty filled in.
    void kind(const std::vector<Setting>& settings, bool newRecord, bool task) {
        if (newRecord) defaults(settings, task);
        for (const Setting& s : settings)
            if (s.key == "schedule" && !newRecord) {
                schedule(s);
                fillEmptyWindow(settings);
            }
    }

    // "from" and "to", read by the record's kind.
    void window(const TaskSetting&, const Setting& setting) { window(setting); }
    void window(const Setting& setting) {
        Schedule window = Schedule::read(s_.columns);
        took(setting.key, window,
             window.takeWindowWords(setting.key == "from", setting.value, s_.minuteCheck, s_.what));
    }

    // A new record's window before the operator's values: the whole hour or day.
    void defaults(const std::vector<Setting>& settings, bool task) {
        s_.columns.interval.setInteger(intervalOf(ScheduleKind::EveryMinute));
        for (const Setting& s : settings)
            if (s.key == "schedule") schedule(s);
        fillEmptyWindow(settings);
        if (!task) return;
        // A task's switches and codes as its editor shows them on a new record.
        for (const TaskSetting& t : taskSettingTable())
            if (t.is(TaskSetting::ZeroWhenNew)) t.field(dm_).setInteger(0);
    }

    // A kind given to a record that never had a window gets the whole hour or day for the
    // window fields that hold nothing, as a new record would.
    void fillEmptyWindow(const std::vector<Setting>& settings) {
        if (!given(settings, "from"))
            if (std::string missing = Schedule::missingFirstDay(s_.columns, s_.what);
                !missing.empty())
                problem("from", std::move(missing));
        Schedule::openWindow(s_.columns, context_.now());
    }

    // A new yearly window without an end is its first day.
    void closeYearlyWindow(const std::vector<Setting>& settings) {
        if (given(settings, "to") || !problems.empty()) return;
        Schedule::closeYearlyWindow(s_.columns);
    }

    // The parsers of the task settings' table.

    // A command string, checked as the scheduler will split it.
    void command(const TaskSetting& t, const Setting& setting) {
        if (std::string wrong = fields::commandProblem(setting.value); !wrong.empty())
            return problem(setting.key, std::move(wrong));
        text(t, setting);
        warn(context_, "--" + setting.key, fields::commandWarning(setting.value));
    }

    void text(const TaskSetting& t, const Setting& setting) {
        Field& field = t.field(dm_);
        if (t.is(TaskSetting::Required) && setting.value.empty())
            return problem(setting.key, "is empty");
        const std::string wrong = fields::textProblem(setting.value, field.def().width);
        if (!wrong.empty()) return problem(setting.key, wrong);
        field.setString(setting.value);
    }

    void flag(const TaskSetting& t, const Setting& setting) {
        const std::optional<bool> value = fields::flagFromWord(text::trimmed(setting.value));
        if (!value)
            return problem(setting.key, "expected yes or no, not \"" + setting.value + "\"");
        t.field(dm_).setBoolean(*value);
    }

    // As the data layer takes a number typed into a bound edit, with its messages.
    void minutes(const TaskSetting& t, const Setting& setting) {
        if (Schedule::read(s_.columns).shownKind() == ScheduleKind::EveryMinute)
            return problem(setting.key, "has no meaning for a task of every minute");
        try {
            t.field(dm_).setString(text::trimmed(setting.value));
        } catch (const DatabaseError& e) {
            problem(setting.key, e.what());
        }
    }

    // One of a coded value's words.
    void word(const TaskSetting& t, const Setting& setting) {
        const std::optional<int> value = t.fromWord(text::trimmed(setting.value));
        if (!value)
            return problem(setting.key,
                           "expected " + wordList(t) + ", not \"" + setting.value + "\"");
        t.field(dm_).setInteger(*value);
    }

    // "any" (empty), "*" or a host name.
    void host(const TaskSetting& t, const Setting& setting) {
        const task_host::HostValue value = task_host::hostFromWord(setting.value);
        if (!value.problem.empty()) return problem(setting.key, value.problem);
        if (value.stored.empty())
            t.field(dm_).clear();
        else
            t.field(dm_).setString(value.stored);
    }

    void condition(const TaskSetting& t, const Setting& setting) {
        Field& field = t.field(dm_);
        const std::string wrong = conditions_.problem(setting.value, field.def().width);
        if (!wrong.empty()) return problem(setting.key, wrong);
        field.setString(setting.value);
    }

    // Resource numbers or names, separated by commas; empty for none.
    void conflicts(const TaskSetting& t, const Setting& setting) {
        std::uint32_t mask = 0;
        std::string rest = setting.value;
        while (!text::trimmed(rest).empty()) {
            const auto comma = rest.find(',');
            const std::string item(text::trimmed(rest.substr(0, comma)));
            rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            if (item.empty()) continue;
            const std::optional<std::int64_t> number = resourceNumber(item);
            if (!number)
                return problem(setting.key, "no resource has the number or name \"" + item + "\"");
            mask |= std::uint32_t{1} << (*number - 1);
        }
        t.field(dm_).setInteger(static_cast<std::int32_t>(mask));
    }

    std::optional<std::int64_t> resourceNumber(const std::string& item) {
        Table& r = dm_.Table2;
        const std::optional<int> asNumber = fields::editInteger(item);
        std::optional<std::int64_t> byName;
        for (r.first(); !r.eof(); r.next()) {
            const std::int64_t no = dm_.Table2ResourceNo.asInteger();
            if (no < 1 || no > 31) continue; // never a bit of a mask
            if (asNumber && no == *asNumber) return no;
            if (!byName && dm_.Table2ResourceName.asString() == item) byName = no;
        }
        return byName;
    }

    void stopped(const TaskSetting&, const Setting& setting) {
        const std::optional<bool> value = fields::flagFromWord(text::trimmed(setting.value));
        if (!value)
            return problem(setting.key, "expected yes or no, not \"" + setting.value + "\"");
        if (!newRecord && dm_.Table1Stopped.asBoolean() == *value) return;
        if (newRecord && !*value) return;
        // As the suspend and resume command leaves the record.
        dm_.Table1Stopped.setBoolean(*value);
        setCompletionCode(dm_.Table1EndCode,
                          *value ? CompletionCode::Suspended : CompletionCode::Resumed);
        const DateTime now = context_.now();
        dm_.Table1LastDate.setDateTime(datePart(now));
        dm_.Table1LastTime.setDateTime(timePart(now));
    }

    TDataCtrl& data() const { return dm_; }

  private:
    // The problems of words taken into window, or the columns they set.
    void took(const std::string& key, const Schedule& window, const schedule::WordsTaken& taken) {
        for (const std::string& p : taken.problems)
            problem(key, p);
        window.write(s_.columns, taken.columns);
    }

    static bool given(const std::vector<Setting>& settings, const char* key) {
        return std::any_of(settings.begin(), settings.end(),
                           [&](const Setting& s) { return s.key == key; });
    }

    TDataCtrl& dm_;
    ScheduleFields s_;
    const Context& context_;
    ConditionCheck conditions_;
    std::string kindOption_; // the kind's option, for the problems of "schedule"
};

std::string shown(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

namespace {

// The schedule and window settings of a record.
void scheduleSettings(std::vector<Setting>& out, const ScheduleFields& s) {
    const schedule::Words words = Schedule::read(s.columns).words();
    out.push_back({"schedule", words.schedule});
    if (words.from.empty()) return;
    out.push_back({"from", words.from});
    out.push_back({"to", words.to});
}

// The printers of the table.

// A value as its field's type shows it: a text, yes or no, the word of a number, a number.
std::string shownAsType(TDataCtrl& dm, const TaskSetting& t) {
    const Field& f = t.field(dm);
    if (f.def().type == FieldType::Text) return shown(f.asString());
    if (f.def().type == FieldType::Boolean) return f.asBoolean() ? "yes" : "no";
    const std::string_view word = t.word ? t.word(f.asInteger()) : std::string_view();
    return word.empty() ? std::to_string(f.asInteger()) : std::string(word);
}

std::optional<std::string> showResources(TDataCtrl& dm, const TaskSetting& t) {
    std::string conflicts;
    const auto mask = static_cast<std::uint32_t>(t.field(dm).asInteger());
    for (int n = 1; n <= 32; ++n)
        if (mask & (std::uint32_t{1} << (n - 1)))
            conflicts += (conflicts.empty() ? "" : ", ") + std::to_string(n);
    return conflicts;
}

// Only a task given a workstation says so: the text of any other reads as before.
std::optional<std::string> showHost(TDataCtrl& dm, const TaskSetting& t) {
    const std::string host = t.field(dm).asString();
    if (host.empty()) return std::nullopt;
    return shown(host);
}

// The schedule, and its window where it has one.
std::optional<std::string> showWindow(TDataCtrl& dm, const TaskSetting& t) {
    std::vector<Setting> words;
    scheduleSettings(words, taskSchedule(dm));
    for (const Setting& w : words)
        if (w.key == t.key) return w.value;
    return std::nullopt;
}

// How tasks lists a column.

std::string listText(TDataCtrl& dm, const TaskSetting& t) {
    return t.field(dm).asString();
}

std::string listSchedule(TDataCtrl& dm, const TaskSetting&) {
    return scheduleDescription(Schedule::ofTask(dm));
}

std::string listHost(TDataCtrl& dm, const TaskSetting& t) {
    return shown(task_host::hostWord(t.field(dm).asString()));
}

std::string listRunType(TDataCtrl& dm, const TaskSetting& t) {
    return runTypeName(t.field(dm).asInteger());
}

std::string listTrue(TDataCtrl& dm, const TaskSetting& t) {
    return t.field(dm).asBoolean() ? "True" : "False";
}

using S = TaskSetting;
using A = Applier;

// The settings of a task in the order edit writes them; help puts the switches last.
// clang-format off
const std::vector<TaskSetting> TaskSettings = {
    {.key = "name", .column = "AppName", .value = "NAME",
     .help = "The task's new name (at most 40 characters)", .flags = S::Required | S::SetOption,
     .take = &A::text, .listed = "AppName", .list = listText},
    {.key = "command", .column = "Application", .value = "CMD",
     .help = "The command string, with its date and time placeholders", .flags = S::Required,
     .take = &A::command},
    {.key = "dir", .column = "AppDirectory", .value = "DIR", .help = "The startup directory",
     .take = &A::text},
    {.key = "run-on", .column = "Host", .value = "HOST|any|*",
     .help = "The workstation that runs the task on a shared task list: a host name, any (one "
     "of them) or * (each of them)", .flags = S::HostName | S::ListedWhenSet, .take = &A::host,
     .show = showHost, .note = "run-on         a host name, any (one workstation) or * (each)",
     .listed = "Host", .list = listHost},
    // Taken before the others, since the window is read by the kind.
    {.key = "schedule", .flags = S::Window, .show = showWindow,
     .note = "schedule       every-minute, hourly, daily, weekly DAY, monthly DAY[-DAY], yearly",
     .listed = "Schedule", .list = listSchedule},
    {.key = "from", .flags = S::Window, .take = &A::window, .show = showWindow,
     .note = "from, to       a minute of the hour (hourly), HH:MM, or YYYY-MM-DD HH:MM (yearly)"},
    {.key = "to", .flags = S::Window, .take = &A::window, .show = showWindow},
    {.key = "repeat", .column = "RepeatInterval", .value = "MINUTES",
     .help = "Minutes between launches inside the window; 0: once, at its start",
     .flags = S::ZeroWhenNew, .take = &A::minutes,
     .note = "repeat         minutes between launches in the window; 0: once, at its start"},
    {.key = "window", .column = "RunType", .value = "MODE",
     .help = "The window mode: normal, hidden, minimized or maximized", .flags = S::ZeroWhenNew,
     .take = &A::word, .word = fields::runTypeWord,
     .fromWord = fields::runTypeFromWord,
     .note = "window         normal, hidden, minimized, maximized",
     .listed = "RunType", .list = listRunType},
    {.key = "priority", .column = "Priority", .value = "PRIORITY",
     .help = "The priority: normal, low, high or realtime", .flags = S::ZeroWhenNew,
     .take = &A::word, .word = fields::priorityWord,
     .fromWord = fields::priorityFromWord, .note = "priority       normal, low, high, realtime"},
    {.key = "if", .column = "StartCondition", .value = "CONDITION",
     .help = "The launch condition (use --if=TEXT for a text beginning with -)",
     .flags = S::Condition, .take = &A::condition,
     .note = "if, until      the launch and termination conditions"},
    {.key = "until", .column = "EndCondition", .value = "CONDITION",
     .help = "The termination condition: the task ends once it holds", .flags = S::Condition,
     .take = &A::condition},
    {.key = "interrupt", .column = "Interupt", .help = "Whether a still-running instance is "
     "ended when the task is due again (\"Interrupt pending\")",
     .flags = S::Switch | S::ZeroWhenNew, .take = &A::flag,
     .note = "interrupt, wait-if-busy, catch-up, stopped: yes or no"},
    {.key = "wait-if-busy", .column = "WaitRes",
     .help = "Whether the task waits for busy resources instead of being skipped",
     .flags = S::Switch | S::ZeroWhenNew, .take = &A::flag},
    {.key = "catch-up", .column = "CatchUp", .help = "Whether a launch missed while the "
     "scheduler was not running, the machine slept or the clock stepped over it is made up",
     .flags = S::Switch | S::ZeroWhenNew, .take = &A::flag},
    {.key = "conflicts", .column = "Conflicts", .value = "R1,R2",
     .help = "The resources the task needs for itself, by number or name", .flags = S::ZeroWhenNew,
     .take = &A::conflicts, .show = showResources,
     .note = "conflicts      resource numbers, as 1, 3"},
    {.key = "stopped", .column = "Stopped", .help = "Whether the task is stopped (suspended)",
     .flags = S::Switch | S::ZeroWhenNew, .take = &A::stopped,
     .addHelp = "Add the task stopped", .listed = "Stopped", .list = listTrue},
};
// clang-format on

} // namespace

Field& TaskSetting::field(TDataCtrl& dm) const {
    return dm.Table1.field(column);
}

const std::vector<TaskSetting>& taskSettingTable() {
    return TaskSettings;
}

const TaskSetting* taskSetting(std::string_view key) {
    for (const TaskSetting& t : TaskSettings)
        if (t.key == key) return &t;
    return nullptr;
}

const TaskSetting* taskSettingOfColumn(std::string_view column) {
    for (const TaskSetting& t : TaskSettings)
        if (!t.column.empty() && t.column == column) return &t;
    return nullptr;
}

std::string hostProblem(const std::string& host) {
    if (host.empty() || host == task_host::Every || task_host::isHostName(host)) return {};
    return task_host::notAHost(host);
}

void ScheduleOptions::add(CLI::App* cmd, const char* what) {
    const auto flag = [cmd](const char* name, const std::string& help) {
        return cmd->add_flag(name, help);
    };
    everyMinute = flag("--every-minute", std::string("A ") + what + " of every minute");
    hourly = flag("--hourly", "Every hour; --from and --to are minutes of the hour");
    daily = flag("--daily", "Every day; --from and --to are times HH:MM");
    weeklyOption = cmd->add_option("--weekly", weekly, "Every week on DAY (monday .. sunday)")
                       ->option_text("DAY");
    monthlyOption =
        cmd->add_option("--monthly", monthly, "Every month on the days DAY or DAY-DAY (1 .. 31)")
            ->option_text("DAY[-DAY]");
    yearly = flag("--yearly", "Every year, between --from and --to as \"YYYY-MM-DD HH:MM\"");
    CLI::Option* kinds[] = {everyMinute, hourly, daily, weeklyOption, monthlyOption, yearly};
    for (CLI::Option* a : kinds)
        for (CLI::Option* b : kinds)
            if (a != b) a->excludes(b);
    fromOption = cmd->add_option("--from", from,
                                 "Start of the window: a minute (hourly), HH:MM, or "
                                 "\"YYYY-MM-DD HH:MM\" (yearly)");
    toOption = cmd->add_option("--to", to, "End of the window, written as --from");
}

void ScheduleOptions::settings(std::vector<Setting>& out) const {
    if (everyMinute->count()) out.push_back({"schedule", "every-minute"});
    if (hourly->count()) out.push_back({"schedule", "hourly"});
    if (daily->count()) out.push_back({"schedule", "daily"});
    if (weeklyOption->count()) out.push_back({"schedule", "weekly " + weekly});
    if (monthlyOption->count()) out.push_back({"schedule", "monthly " + monthly});
    if (yearly->count()) out.push_back({"schedule", "yearly"});
    if (fromOption->count()) out.push_back({"from", from});
    if (toOption->count()) out.push_back({"to", to});
}

CLI::Option* addSettingOption(CLI::App* cmd, const TaskSetting& setting, std::string& value) {
    return cmd->add_option("--" + std::string(setting.key), value, std::string(setting.help))
        ->option_text(std::string(setting.value));
}

void TaskOptions::add(CLI::App* cmd, bool change) {
    // The options with a value first, then the switches.
    bool window = false;
    for (const TaskSetting& t : taskSettingTable()) {
        const std::string key(t.key);
        if (t.is(TaskSetting::Window) && !std::exchange(window, true)) schedule.add(cmd, "task");
        if (t.is(TaskSetting::Window) || t.is(TaskSetting::Switch)) continue;
        if (t.is(TaskSetting::SetOption) && !change) continue;
        values[key] = addSettingOption(cmd, t, text[key]);
        if (t.is(TaskSetting::Required) && !change) values[key]->required();
    }
    for (const TaskSetting& t : taskSettingTable()) {
        const std::string key(t.key);
        if (!t.is(TaskSetting::Switch)) continue;
        switches.emplace_back(
            key, !change && !t.addHelp.empty()
                     ? cmd->add_flag("--" + key, flag[key], std::string(t.addHelp))
                     : cmd->add_flag("--" + key + ",!--no-" + key, flag[key], std::string(t.help)));
    }
}

std::vector<Setting> TaskOptions::settings() const {
    std::vector<Setting> out;
    schedule.settings(out);
    for (const auto& [key, option] : values)
        if (option->count()) out.push_back({key, text.at(key)});
    for (const auto& [key, option] : switches)
        if (option->count()) out.push_back({key, flag.at(key) ? "yes" : "no"});
    return out;
}

void warn(const Context& context, const std::string& where, const std::string& warning) {
    if (!warning.empty() && !context.quiet) std::cerr << where << ": " << warning << '\n';
}

void report(const std::vector<Problem>& problems, const char* closing) {
    for (const Problem& p : problems)
        std::cerr << "--" << (p.option.empty() ? p.key : p.option) << ": " << p.message << '\n';
    if (closing) std::cerr << closing << '\n';
}

// The stored columns that apply() changes in the current record of t, found by applying it while
// editing and cancelling; nothing is posted. Refused (problems reported): nothing. before, when
// given, gets the record as it was.
std::optional<std::vector<Column>> changesOf(Table& t,
                                             const std::function<std::vector<Problem>()>& apply,
                                             std::vector<Column>* before) {
    std::vector<Column> was = storedValues(t);
    t.edit();
    const std::vector<Problem> problems = apply();
    const std::vector<Column> now = storedValues(t);
    t.cancel();
    if (!problems.empty()) {
        report(problems);
        return std::nullopt;
    }
    std::vector<Column> changed = changedColumns(was, now);
    if (before) *before = std::move(was);
    return changed;
}

void refuseWhileOpen(const Context& context, const std::vector<std::string>& windows) {
    const std::string refusal = openEditorRefusal(context, windows);
    if (!refusal.empty())
        throw CommandError(ExitNotFound, refusal + " (the running scheduler's editor would write "
                                                   "over the change): nothing was written.");
}

// Deletes the record with its data module handler (a resource takes its bit out of every task).
void deleteRow(Table& table, Table::Bookmark rowid) {
    if (!table.gotoBookmark(rowid))
        throw CommandError(ExitNotFound, "The record was removed meanwhile: nothing was written.");
    table.deleteRecord();
}

bool appendRecord(Table& table, const std::function<std::vector<Problem>()>& apply) {
    table.append();
    const std::vector<Problem> problems = apply();
    if (!problems.empty()) {
        table.cancel();
        report(problems);
        return false;
    }
    table.post();
    return true;
}

void commitChanges(Table& table, Table::Bookmark rowid, const std::vector<Column>& changed,
                   Transaction& transaction, const std::string& what) {
    if (changed.empty()) {
        std::cout << "Nothing to change in " << what << ".\n";
        return;
    }
    updateColumns(table, rowid, changed);
    transaction.commit();
    std::cout << "Changed " << what << ": " << columnNames(changed) << ".\n";
}

void commitRemoval(Table& table, Table::Bookmark rowid, Transaction& transaction,
                   const std::string& what) {
    deleteRow(table, rowid);
    transaction.commit();
    std::cout << "Removed " << what << ".\n";
}

std::vector<Problem> applySilenceSettings(TDataCtrl& dm, const std::vector<Setting>& settings,
                                          const Context& context, bool newRecord) {
    Applier a(dm, silenceSchedule(dm), context);
    a.kind(settings, newRecord, false);
    for (const Setting& s : settings)
        if (s.key == "from" || s.key == "to") a.window(s);
    if (newRecord) a.closeYearlyWindow(settings);
    return a.problems;
}

std::vector<Setting> silenceSettings(TDataCtrl& dm) {
    std::vector<Setting> out;
    scheduleSettings(out, silenceSchedule(dm));
    return out;
}

ConditionCheck::ConditionCheck(const Context& context) : context_(context) {}

ConditionCheck::~ConditionCheck() = default;

std::string ConditionCheck::problem(const std::string& text, int width) {
    if (std::string wrong = fields::textProblem(text, width); !wrong.empty()) return wrong;
    if (trimBlanksAndControls(text).empty()) return {};
    // Tried as the task editor tries them, without its protocol lines.
    if (!environment_) environment_ = std::make_unique<TerminalEnvironment>(context_.now());
    environment_->tooComplex = false;
    ConditionEvaluator evaluator(*environment_);
    try {
        if (!fields::conditionAccepted(evaluator, text))
            return std::string(environment_->tooComplex ? str::TooComplexExpression
                                                        : str::BadConditionNotation);
    } catch (const EvaluationFailure& e) {
        // The editor would not let the window close either.
        return e.what();
    }
    return {};
}

std::vector<Problem> applyTaskSettings(TDataCtrl& dm, const std::vector<Setting>& settings,
                                       const Context& context, bool newRecord) {
    Applier a(dm, taskSchedule(dm), context);
    a.newRecord = newRecord;
    a.kind(settings, newRecord, true);
    for (const Setting& s : settings) {
        if (const TaskSetting* t = taskSetting(s.key)) {
            if (t->take) (a.*t->take)(*t, s);
            continue;
        }
        std::string all;
        for (const TaskSetting& t : taskSettingTable())
            all += (all.empty() ? "" : ", ") + std::string(t.key);
        a.problem(s.key, "no such setting; the settings are " + all);
    }
    if (newRecord) a.closeYearlyWindow(settings);
    return a.problems;
}

std::vector<Setting> taskSettings(TDataCtrl& dm) {
    std::vector<Setting> out;
    for (const TaskSetting& t : taskSettingTable())
        if (std::optional<std::string> value = t.show ? t.show(dm, t) : shownAsType(dm, t))
            out.push_back({std::string(t.key), std::move(*value)});
    return out;
}

std::vector<Column> storedValues(Table& table) {
    std::vector<Column> values;
    for (int i = 0; i < table.fieldCount(); ++i) {
        const FieldDef& def = table.fieldDef(i);
        if (def.calculated) continue;
        Field& f = table.field(i);
        Value v;
        if (!f.isNull()) {
            switch (def.type) {
            case FieldType::Text:
                v = f.asString();
                break;
            case FieldType::Float:
            case FieldType::Date:
            case FieldType::Time:
                v = f.asFloat();
                break;
            default:
                v = f.asInteger();
            }
        }
        values.emplace_back(def.name, std::move(v));
    }
    return values;
}

std::vector<Column> changedColumns(const std::vector<Column>& before,
                                   const std::vector<Column>& after) {
    std::vector<Column> changed;
    for (std::size_t i = 0; i < after.size() && i < before.size(); ++i)
        if (before[i].second != after[i].second) changed.push_back(after[i]);
    return changed;
}

void updateColumns(Table& table, Table::Bookmark rowid, const std::vector<Column>& columns) {
    if (!table.writeFields(rowid, columns))
        throw CommandError(ExitNotFound, "The record was removed meanwhile: nothing was written.");
}

std::string columnNames(const std::vector<Column>& columns) {
    std::string names;
    for (const Column& c : columns)
        names += (names.empty() ? "" : ", ") + c.first;
    return names;
}

} // namespace vektrin::ctl
