#pragma once
// Definitions of tasks, resources and silence periods in the operator's own words, checked with
// the editors' rules and messages: what add, set, rm, edit, import, resource and silence share.

#include "ctl/command.h"
#include "store/data_ctrl.h"
#include "store/store_backend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vektrin::ctl {

// One value of a definition: the option's name without its dashes, which is also the key of
// edit's text form ("name", "command", "schedule", "from", ...), and its text.
struct Setting {
    std::string key;
    std::string value;
};

// What is wrong with one setting.
struct Problem {
    std::string key;
    std::string message;
    std::string option = {}; // the command-line option, when it is not --key
};

class TerminalEnvironment;

// What add, set and import refuse in a condition: a text the field cannot hold, or one the task
// editor would not let go (not well formed, too complex, ended by an error). One environment
// (the locale's formats are slow to read) serves every condition checked.
class ConditionCheck {
  public:
    explicit ConditionCheck(const Context& context);
    ~ConditionCheck();
    ConditionCheck(const ConditionCheck&) = delete;
    ConditionCheck& operator=(const ConditionCheck&) = delete;
    // Empty when the condition may be stored.
    std::string problem(const std::string& text, int width);

  private:
    const Context& context_;
    std::unique_ptr<TerminalEnvironment> environment_;
};

class Applier;

// One setting of a task, one row of taskSettingTable(): add, set, edit, import, tasks and the
// shell completion all read it, so a new setting is one row there.
struct TaskSetting {
    enum Flag : unsigned {
        Switch = 1,          // yes or no: --key and --no-key
        Required = 2,        // add needs it, and so does edit's [task new]
        SetOption = 4,       // set's option alone (add takes it as its NAME)
        ZeroWhenNew = 8,     // 0 (no, normal, none) on a new record, as its editor shows it
        Condition = 16,      // a condition, checked as the task editor checks it
        Window = 32,         // the schedule's options declare it (the kinds, --from, --to)
        HostName = 64,       // a workstation: a host name, or * for each of them
        ListedWhenSet = 128, // tasks shows its column only when some task has a value in it
    };
    std::string_view key = {};    // edit's key, and the option without its dashes
    std::string_view column = {}; // the stored field, the key of export and tasks --json; empty
                                  // for the window's, which Schedule reads and writes
    std::string_view value = {};  // the option's value in help: "NAME"
    std::string_view help = {};   // the option's help
    unsigned flags = 0;
    // The parser: gives the record, being edited or inserted, the operator's value.
    void (Applier::*take)(const TaskSetting&, const Setting&) = nullptr;
    // The printer: the value in edit's text form; nothing when the record shows none. Without
    // one, as the field's type shows it: a text, yes or no, the word of a number, a number.
    std::optional<std::string> (*show)(TDataCtrl&, const TaskSetting&) = nullptr;
    // The words of a coded value by number ("" past the last), and the number of a word.
    std::string_view (*word)(std::int64_t) = nullptr;
    std::optional<int> (*fromWord)(std::string_view) = nullptr;
    std::string_view addHelp = {}; // add's help of a switch it takes as --key alone
    std::string_view note = {};    // its line in the head of edit's text; one may serve several
    std::string_view listed = {};  // its column in tasks, and how it reads there
    std::string (*list)(TDataCtrl&, const TaskSetting&) = nullptr;

    bool is(Flag flag) const { return (flags & flag) != 0; }
    // The stored field of the task table's current record.
    Field& field(TDataCtrl& dm) const;
};

// What add, set and import refuse in a stored Host: empty when it may be stored.
std::string hostProblem(const std::string& host);

// Every setting of a task, in the order edit writes them.
const std::vector<TaskSetting>& taskSettingTable();
// The row of a key or of a stored column; nullptr when none has it.
const TaskSetting* taskSetting(std::string_view key);
const TaskSetting* taskSettingOfColumn(std::string_view column);

// Gives the task table's current record, being edited or inserted, the settings; "schedule" goes
// first, since the window is read by the kind. Nothing is posted. A new record first gets the
// defaults of its kind (every minute without one). Each problem names its setting.
std::vector<Problem> applyTaskSettings(TDataCtrl& dm, const std::vector<Setting>& settings,
                                       const Context& context, bool newRecord);

// The current task record in settings: the text form edit shows.
std::vector<Setting> taskSettings(TDataCtrl& dm);

// The stored values of the current record by column, for comparing before and after.
using Column = std::pair<std::string, Value>;
std::vector<Column> storedValues(Table& table);
// The columns whose values differ.
std::vector<Column> changedColumns(const std::vector<Column>& before,
                                   const std::vector<Column>& after);
// Writes exactly these columns of the row (rowid), nothing else: a status field that the
// scheduler changes meanwhile keeps its value.
void updateColumns(Table& table, Table::Bookmark rowid, const std::vector<Column>& columns);

// The task definition columns of a change, for the summary: "StartTime, EndTime".
std::string columnNames(const std::vector<Column>& columns);

// The silence period table's current record as "schedule", "from" and "to" settings.
std::vector<Setting> silenceSettings(TDataCtrl& dm);
// Gives the silence table's current record, being edited or inserted, the settings, as
// applyTaskSettings does for a task.
std::vector<Problem> applySilenceSettings(TDataCtrl& dm, const std::vector<Setting>& settings,
                                          const Context& context, bool newRecord);

// A text as a line shows it: each control character a '?', so that none moves the cursor.
std::string shown(std::string text);

// Each problem on standard error, then the closing line.
void report(const std::vector<Problem>& problems, const char* closing = "Nothing was written.");
// A warning about a value that is written all the same, on standard error unless --quiet.
void warn(const Context& context, const std::string& where, const std::string& warning);
// The stored columns that apply() changes in the current record of t, found by applying it while
// editing and cancelling; nothing is posted. Refused (problems reported): nothing. before, when
// given, gets the record as it was.
std::optional<std::vector<Column>> changesOf(Table& t,
                                             const std::function<std::vector<Problem>()>& apply,
                                             std::vector<Column>* before = nullptr);
// Refused while the running scheduler has one of these windows open: its editor would write over
// the change.
void refuseWhileOpen(const Context& context, const std::vector<std::string>& windows);
// Deletes the record with its data module handler (a resource takes its bit out of every task).
void deleteRow(Table& table, Table::Bookmark rowid);
// Appends the record that apply() fills and posts it; refused, it is cancelled and the problems
// reported (false).
bool appendRecord(Table& table, const std::function<std::vector<Problem>()>& apply);
// Writes the changed columns of the row and commits them, saying what changed in `what` ("task 3
// (Backup)"), or that nothing did.
void commitChanges(Table& table, Table::Bookmark rowid, const std::vector<Column>& changed,
                   Transaction& transaction, const std::string& what);
// Deletes the row and commits, saying so.
void commitRemoval(Table& table, Table::Bookmark rowid, Transaction& transaction,
                   const std::string& what);

// The kind options of tasks and silence periods, and their window.
struct ScheduleOptions {
    std::string weekly, monthly, from, to;
    CLI::Option* everyMinute = nullptr;
    CLI::Option* hourly = nullptr;
    CLI::Option* daily = nullptr;
    CLI::Option* weeklyOption = nullptr;
    CLI::Option* monthlyOption = nullptr;
    CLI::Option* yearly = nullptr;
    CLI::Option* fromOption = nullptr;
    CLI::Option* toOption = nullptr;

    void add(CLI::App* cmd, const char* what);
    void settings(std::vector<Setting>& out) const;
};

// The options of add and set, each given one a setting.
struct TaskOptions {
    ScheduleOptions schedule;
    std::map<std::string, std::string> text;
    std::map<std::string, bool> flag;
    std::map<std::string, CLI::Option*> values; // by key, the order their problems are said in
    std::vector<std::pair<std::string, CLI::Option*>> switches;

    void add(CLI::App* cmd, bool change);
    std::vector<Setting> settings() const;
};

// The option of one setting with a value, declared as add and set declare it.
CLI::Option* addSettingOption(CLI::App* cmd, const TaskSetting& setting, std::string& value);

} // namespace vektrin::ctl
