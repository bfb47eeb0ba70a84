// add, set and rm: tasks defined in the operator's own words, written all or nothing.

#include "ctl/fields.h"

#include "condition/condition_errors.h"
#include "condition/environment.h"
#include "condition/evaluator.h"
#include "ctl/control.h"
#include "ctl/environment.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/control_wire.h"
#include "engine/operator_commands.h"
#include "engine/schedule.h"
#include "engine/task_fields.h"
#include "platform/strings.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

namespace vektrin::ctl {
namespace {

std::string taskTitle(TDataCtrl& dm) {
    return "task " + std::to_string(dm.Table1AppID.asInteger()) + " (" +
           dm.Table1AppName.asString() + ")";
}

int runAdd(const Context& context, const std::string& name, const std::vector<Setting>& given) {
    refuseWhileOpen(context, {wire::TasksWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    bool shared = false;
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next())
        shared = shared || dm->Table1AppName.asString() == name;
    std::vector<Setting> settings{{"name", name}};
    settings.insert(settings.end(), given.begin(), given.end());
    if (!appendRecord(dm->Table1, [&] { return applyTaskSettings(*dm, settings, context, true); }))
        return ExitDataError;
    transaction.commit();
    if (shared)
        std::cerr << "Another task is named " << name << " too: name them by their AppIDs.\n";
    std::cout << dm->Table1AppID.asInteger() << '\n';
    return ExitOk;
}

int runSet(const Context& context, const std::string& task, const std::vector<Setting>& settings) {
    refuseWhileOpen(context, {wire::TasksWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    locateTask(*dm, task);
    Table& t = dm->Table1;
    const Table::Bookmark row = t.getBookmark();
    const std::string title = taskTitle(*dm);
    const auto changes =
        changesOf(t, [&] { return applyTaskSettings(*dm, settings, context, false); });
    if (!changes) return ExitDataError;
    commitChanges(t, row, *changes, transaction, title);
    return ExitOk;
}

int runRm(const Context& context, const std::string& task) {
    refuseWhileOpen(context, {wire::TasksWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    locateTask(*dm, task);
    commitRemoval(dm->Table1, dm->Table1.getBookmark(), transaction, taskTitle(*dm));
    return ExitOk;
}

} // namespace

std::vector<Command> defineCommands() {
    const auto taskOptions = [](bool change) {
        return [change](CLI::App& cmd, TaskOptions& options) { options.add(&cmd, change); };
    };
    return {
        {"add", "Add a task (every minute unless a kind is given) and print its AppID",
         withArgument<TaskOptions>(
             "NAME", "the task's name (at most 40 characters)", taskOptions(false),
             [](const Context& context, const std::string& name, const TaskOptions& options) {
                 return runAdd(context, name, options.settings());
             })},
        {"set", "Change the given fields of a task",
         withArgument<TaskOptions>(
             "TASK", TaskArgumentHelp, taskOptions(true),
             [](const Context& context, const std::string& task, const TaskOptions& options) {
                 return runSet(context, task, options.settings());
             })},
        {"rm", "Remove a task", withArgument("TASK", TaskArgumentHelp, runRm)},
    };
}

} // namespace vektrin::ctl
