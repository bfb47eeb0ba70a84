#pragma once
// Definitions of tasks, resources and silence periods in the operator's own words, checked with
// the editors' rules and messages: what add, set, rm, edit, import, resource and silence share.

#include "ctl/command.h"
#include "store/data_ctrl.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

// The keys of a task, in the order edit writes them.
const std::vector<std::string>& taskKeys();

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

// Each problem on standard error, then the closing line.
void report(const std::vector<Problem>& problems, const char* closing = "Nothing was written.");
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
    std::map<std::string, CLI::Option*> given;
    bool interrupt = false, waitIfBusy = false, catchUp = false, stopped = false;
    CLI::Option* interruptOption = nullptr;
    CLI::Option* waitOption = nullptr;
    CLI::Option* catchUpOption = nullptr;
    CLI::Option* stoppedOption = nullptr;

    void add(CLI::App* cmd, bool change);
    std::vector<Setting> settings() const;
};

} // namespace vektrin::ctl
