// resource list, add, set and rm.

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
#include "platform/text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

namespace vektrin::ctl {
namespace {

// The resource named by its number or, failing that, its name (refused when several share it).
Table::Bookmark locateResource(TDataCtrl& dm, const std::string& resource) {
    Table& r = dm.Table2;
    if (const std::optional<int> no = fields::editInteger(resource))
        for (r.first(); !r.eof(); r.next())
            if (dm.Table2ResourceNo.asInteger() == *no) return r.getBookmark();
    std::vector<std::int64_t> numbers;
    Table::Bookmark found = 0;
    for (r.first(); !r.eof(); r.next())
        if (dm.Table2ResourceName.asString() == resource) {
            numbers.push_back(dm.Table2ResourceNo.asInteger());
            found = r.getBookmark();
        }
    if (numbers.empty())
        throw CommandError(ExitNotFound, "No resource has the number or name " + resource + ".");
    if (numbers.size() > 1) {
        std::string list;
        for (std::int64_t n : numbers)
            list += (list.empty() ? "" : ", ") + std::to_string(n);
        throw CommandError(ExitNotFound, "Several resources are named " + resource +
                                             ": give the number, one of " + list + ".");
    }
    r.gotoBookmark(found);
    return found;
}

// The numbers the other resources hold, read before a record is edited (moving the cursor
// would post it).
std::vector<std::int64_t> otherNumbers(TDataCtrl& dm, Table::Bookmark self) {
    std::vector<std::int64_t> numbers;
    Table& r = dm.Table2;
    for (r.first(); !r.eof(); r.next())
        if (r.getBookmark() != self) numbers.push_back(dm.Table2ResourceNo.asInteger());
    if (self != 0) r.gotoBookmark(self);
    return numbers;
}

// The resource editor's and the table's rules, on the record being edited or inserted.
std::vector<Problem> applyResourceSettings(TDataCtrl& dm, const std::vector<Setting>& settings,
                                           const std::vector<std::int64_t>& taken) {
    std::vector<Problem> problems;
    for (const Setting& s : settings) {
        if (s.key == "number") {
            const std::optional<int> no = fields::editInteger(s.value);
            if (!no)
                problems.push_back({s.key, "'" + s.value + "' is not a valid integer value"});
            else if (const std::string wrong = fields::numberProblem("ResourceNo", *no);
                     !wrong.empty())
                // Above the highest, with the resource editor's own warning.
                problems.push_back({s.key, fields::aboveResourceMaximum(*no)
                                               ? std::string(str::ResourceAboveMaximum)
                                               : wrong});
            else if (std::find(taken.begin(), taken.end(), *no) != taken.end())
                problems.push_back({s.key, std::string(str::ResourceNotUnique)});
            else
                dm.Table2ResourceNo.setInteger(*no);
        } else if (s.key == "name") {
            const std::string wrong =
                fields::textProblem(s.value, dm.Table2ResourceName.def().width);
            if (!wrong.empty())
                problems.push_back({s.key, wrong});
            else
                dm.Table2ResourceName.setString(s.value);
        } else if (s.key == "max-wait") {
            const std::optional<DateTime> time =
                fields::timeFromText(std::string(text::trimmed(s.value)));
            if (!time)
                problems.push_back({s.key, fields::invalidTimeMessage(s.value)});
            else
                dm.Table2MaxWait.setDateTime(*time);
        }
    }
    return problems;
}

int runResourceList(const Context& context, bool json) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    Json all = Json::array();
    const std::string file = tableFilePath(*dm, dm->Table2);
    if (!json) std::cout << "ResourceNo\tResourceName\tMaxWait\n";
    for (dm->Table2.first(); !dm->Table2.eof(); dm->Table2.next()) {
        if (json) {
            all.push_back(recordToJson(dm->Table2, false, file));
            continue;
        }
        std::cout << dm->Table2ResourceNo.asInteger() << '\t' << dm->Table2ResourceName.asString()
                  << '\t' << clockTime(dm->Table2MaxWait.asDateTime()) << '\n';
    }
    if (json) std::cout << all.dump(2) << '\n';
    return ExitOk;
}

std::string resourceTitle(TDataCtrl& dm) {
    return "resource " + std::to_string(dm.Table2ResourceNo.asInteger()) + " (" +
           dm.Table2ResourceName.asString() + ")";
}

int runResourceAdd(const Context& context, const std::vector<Setting>& settings) {
    refuseWhileOpen(context, {wire::TasksWindow.name, wire::ConflictsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    const std::vector<std::int64_t> taken = otherNumbers(*dm, 0);
    if (!appendRecord(dm->Table2, [&] { return applyResourceSettings(*dm, settings, taken); }))
        return ExitDataError;
    transaction.commit();
    std::cout << "Added resource " << dm->Table2ResourceNo.asInteger() << " ("
              << dm->Table2ResourceName.asString() << ").\n";
    return ExitOk;
}

int runResourceSet(const Context& context, const std::string& resource,
                   const std::vector<Setting>& settings) {
    refuseWhileOpen(context, {wire::TasksWindow.name, wire::ConflictsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    const Table::Bookmark row = locateResource(*dm, resource);
    const std::string title = resourceTitle(*dm);
    const std::vector<std::int64_t> taken = otherNumbers(*dm, row);
    std::vector<Column> before;
    const auto changes = changesOf(
        dm->Table2, [&] { return applyResourceSettings(*dm, settings, taken); }, &before);
    if (!changes) return ExitDataError;
    const std::vector<Column>& changed = *changes;
    // Tasks name their resources by number, as they do when the editor renumbers one.
    int users = 0;
    const auto* was = std::get_if<std::int64_t>(&before.front().second);
    const std::int64_t old = was ? *was : 0;
    if (!changed.empty() && changed.front().first == "ResourceNo" && old >= 1 && old <= 31)
        for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next())
            if (static_cast<std::uint32_t>(dm->Table1Conflicts.asInteger()) & resourceBit(old))
                ++users;
    commitChanges(dm->Table2, row, changed, transaction, title);
    if (users > 0)
        std::cerr << users << (users == 1 ? " task names" : " tasks name") << " resource " << old
                  << " by its number and keep doing so: vektrinctl set TASK --conflicts changes "
                     "that.\n";
    return ExitOk;
}

int runResourceRm(const Context& context, const std::string& resource) {
    refuseWhileOpen(context, {wire::TasksWindow.name, wire::ConflictsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    const Table::Bookmark row = locateResource(*dm, resource);
    // As the editor's deletion: no task needs the resource any more.
    commitRemoval(dm->Table2, row, transaction, resourceTitle(*dm));
    return ExitOk;
}

} // namespace

std::vector<Command> resourceCommands() {
    struct Change {
        std::string number, name, maxWait;
        CLI::Option *numberOption = nullptr, *nameOption = nullptr, *maxWaitOption = nullptr;
    };
    const char* const resource = "RESOURCE";
    const char* const resourceHelp = "its number or name";
    return {
        {"resource", "List, add, change or remove conflicting resources", nullptr},
        {"resource list", "List the resources: number, name, longest wait",
         withJsonFlag("An array of objects", runResourceList)},
        {"resource add", "Add a resource",
         withOptions<Change>(
             [](CLI::App& cmd, Change& v) {
                 addArgument(cmd, "NUMBER", v.number, "1 .. 31");
                 addArgument(cmd, "NAME", v.name, "at most 80 characters");
                 cmd.add_option("--max-wait", v.maxWait,
                                "The longest time a task waits for it, HH:MM or HH:MM:SS")
                     ->option_text("TIME");
             },
             [](const Context& context, const Change& v) {
                 return runResourceAdd(context,
                                       {{"number", v.number},
                                        {"name", v.name},
                                        {"max-wait", v.maxWait.empty() ? "00:00" : v.maxWait}});
             })},
        {"resource set", "Change a resource",
         withArgument<Change>(
             resource, resourceHelp,
             [](CLI::App& cmd, Change& v) {
                 v.numberOption = cmd.add_option("--number", v.number, "A new number, 1 .. 31");
                 v.nameOption = cmd.add_option("--name", v.name, "A new name");
                 v.maxWaitOption = cmd.add_option("--max-wait", v.maxWait, "HH:MM or HH:MM:SS")
                                       ->option_text("TIME");
             },
             [](const Context& context, const std::string& resource, const Change& v) {
                 std::vector<Setting> s;
                 if (v.numberOption->count()) s.push_back({"number", v.number});
                 if (v.nameOption->count()) s.push_back({"name", v.name});
                 if (v.maxWaitOption->count()) s.push_back({"max-wait", v.maxWait});
                 return runResourceSet(context, resource, s);
             })},
        {"resource rm", "Remove a resource; no task needs it any more afterwards",
         withArgument(resource, resourceHelp, runResourceRm)},
    };
}

} // namespace vektrin::ctl
