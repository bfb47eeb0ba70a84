// silence list, add, set and rm.

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

// A silence period by its number in the table's order, as `silence list` shows it.
Table::Bookmark locateSilence(TDataCtrl& dm, const std::string& number) {
    const std::optional<int> n = fields::editInteger(number);
    if (!n || *n < 1 || *n > dm.Table3.recordCount())
        throw CommandError(ExitNotFound, "No silence period has the number " + number +
                                             " (there are " +
                                             std::to_string(dm.Table3.recordCount()) +
                                             "; vektrinctl silence list shows them).");
    dm.Table3.moveTo(*n - 1);
    return dm.Table3.getBookmark();
}

int runSilenceList(const Context& context, bool json) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    Json all = Json::array();
    const std::string file = tableFilePath(*dm, dm->Table3);
    if (!json) std::cout << "No\tSchedule\tFrom\tTo\n";
    int n = 0;
    for (dm->Table3.first(); !dm->Table3.eof(); dm->Table3.next()) {
        ++n;
        if (json) {
            Json record = Json::object();
            record["No"] = n;
            record.update(recordToJson(dm->Table3, false, file));
            all.push_back(std::move(record));
            continue;
        }
        const std::vector<Setting> s = silenceSettings(*dm);
        std::cout << n << '\t' << s[0].value << '\t' << (s.size() > 1 ? s[1].value : "-") << '\t'
                  << (s.size() > 2 ? s[2].value : "-") << '\n';
    }
    if (json) std::cout << all.dump(2) << '\n';
    return ExitOk;
}

int runSilenceAdd(const Context& context, const std::vector<Setting>& settings) {
    refuseWhileOpen(context, {wire::ExceptionsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    dm->Table3.first();
    bool always = false;
    if (!appendRecord(dm->Table3, [&] {
            const std::vector<Problem> problems =
                applySilenceSettings(*dm, settings, context, true);
            always =
                problems.empty() && Schedule::read(ScheduleColumns::ofSilence(*dm)).shownKind() ==
                                        ScheduleKind::EveryMinute;
            return problems;
        }))
        return ExitDataError;
    transaction.commit();
    std::cout << "Added silence period " << dm->Table3.recordCount() << ".\n";
    if (always) std::cerr << "It silences every minute: no task is launched while it exists.\n";
    return ExitOk;
}

int runSilenceSet(const Context& context, const std::string& number,
                  const std::vector<Setting>& settings) {
    refuseWhileOpen(context, {wire::ExceptionsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    const Table::Bookmark row = locateSilence(*dm, number);
    const auto changes =
        changesOf(dm->Table3, [&] { return applySilenceSettings(*dm, settings, context, false); });
    if (!changes) return ExitDataError;
    commitChanges(dm->Table3, row, *changes, transaction, "silence period " + number);
    return ExitOk;
}

int runSilenceRm(const Context& context, const std::string& number) {
    refuseWhileOpen(context, {wire::ExceptionsWindow.name});
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    commitRemoval(dm->Table3, locateSilence(*dm, number), transaction, "silence period " + number);
    return ExitOk;
}

} // namespace

std::vector<Command> silenceCommands() {
    const char* const number = "NUMBER";
    const char* const numberHelp = "its number, as silence list shows it";
    const auto periodOptions = [](CLI::App& cmd, ScheduleOptions& options) {
        options.add(&cmd, "silence period");
    };
    return {
        {"silence", "List, add, change or remove silence periods", nullptr},
        {"silence list", "List the silence periods with their numbers",
         withJsonFlag("An array of objects", runSilenceList)},
        {"silence add", "Add a silence period",
         withOptions<ScheduleOptions>(
             periodOptions,
             [](const Context& context, const ScheduleOptions& options) {
                 std::vector<Setting> s;
                 options.settings(s);
                 if (s.empty() || s.front().key != "schedule")
                     throw CommandError(ExitUsage,
                                        "Give the kind: --every-minute, --hourly, --daily, "
                                        "--weekly DAY, --monthly DAY or --yearly");
                 return runSilenceAdd(context, s);
             })},
        {"silence set", "Change a silence period",
         withArgument<ScheduleOptions>(
             number, numberHelp, periodOptions,
             [](const Context& context, const std::string& number, const ScheduleOptions& options) {
                 std::vector<Setting> s;
                 options.settings(s);
                 return runSilenceSet(context, number, s);
             })},
        {"silence rm", "Remove a silence period", withArgument(number, numberHelp, runSilenceRm)},
    };
}

} // namespace vektrin::ctl
