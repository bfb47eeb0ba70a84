// import --crontab: each entry of a crontab made the tasks that hold it, all in one transaction,
// or shown with their first launches and nothing written.

#include "ctl/crontab.h"

#include "ctl/fields.h"
#include "ctl/tables.h"
#include "engine/control_wire.h"
#include "engine/crontab.h"
#include "engine/next_launch.h"
#include "engine/schedule.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>

namespace vektrin::ctl {
namespace {

constexpr int ShownLaunches = 3;

std::vector<Setting> settingsOf(const crontab::PlannedTask& task) {
    std::vector<Setting> settings{
        {"name", task.name}, {"command", task.command}, {"schedule", task.schedule}};
    if (!task.from.empty()) settings.push_back({"from", task.from});
    if (!task.to.empty()) settings.push_back({"to", task.to});
    if (task.repeat) settings.push_back({"repeat", std::to_string(task.repeat)});
    return settings;
}

} // namespace

CLI::Option* addCrontabOptions(CLI::App& cmd, CrontabImport& how) {
    CLI::Option* crontab = cmd.add_flag("--crontab", how.crontab,
                                        "FILE is a crontab: each entry becomes the tasks that hold "
                                        "it (standard input without FILE)");
    cmd.add_flag(
           "--check", how.check,
           "With --crontab: show the tasks, their schedules and first launches; write nothing")
        ->needs(crontab);
    cmd.add_flag("--skip-unsupported", how.skipUnsupported,
                 "With --crontab: make the tasks of the other lines when some are refused")
        ->needs(crontab);
    return crontab;
}

int runCrontabImport(const Context& context, const std::string& file, const CrontabImport& how) {
    const std::string path = file.empty() ? std::string("-") : file;
    const std::string label = path == "-" ? std::string("standard input") : path;
    const std::string text = readDocument(path, label);
    if (!how.check) refuseWhileOpen(context, {wire::TasksWindow.name});
    auto dm = openTables(context, how.check ? OpenMode::ReadOnly : OpenMode::ReadWrite);

    crontab::Limits limits;
    limits.nameWidth = static_cast<std::size_t>(dm->Table1AppName.def().width);
    limits.commandWidth = static_cast<std::size_t>(dm->Table1Application.def().width);
    dm->Table1.forEachRow([&] { limits.takenNames.insert(dm->Table1AppName.asString()); });
    const crontab::Table table = crontab::read(text, limits);

    if (!table.mailto.empty())
        std::cerr << "MAILTO=" << shown(table.mailto)
                  << ": Vektrin mails nothing; what a task prints is kept in its runs (vektrinctl "
                     "output TASK)\n";
    std::size_t refused = 0;
    for (const crontab::Entry& e : table.entries) {
        if (e.refusal.empty()) continue;
        ++refused;
        std::cerr << label << ": line " << e.line << ": " << shown(e.refusal) << "\n  "
                  << shown(e.text) << '\n';
    }
    const bool proceed = refused == 0 || how.skipUnsupported;

    std::optional<Transaction> transaction;
    if (!how.check) transaction.emplace(dm->database());
    schedule::NextLaunchSearch search(Schedule::silenceTable(*dm));
    std::size_t made = 0, lines = 0;
    std::string added; // the new tasks' AppIDs and names, said once they are written
    for (const crontab::Entry& e : table.entries) {
        if (e.tasks.empty()) continue;
        ++lines;
        if (how.check) std::cout << "line " << e.line << ": " << e.text << '\n';
        for (const crontab::PlannedTask& task : e.tasks) {
            const auto apply = [&] {
                return applyTaskSettings(*dm, settingsOf(task), context, true);
            };
            if (how.check) {
                dm->Table1.append();
                const std::vector<Problem> problems = apply();
                const Schedule window = Schedule::ofTask(*dm);
                dm->Table1.cancel();
                if (!problems.empty()) {
                    report(problems, nullptr);
                    return ExitDataError;
                }
                std::cout << "  " << task.name << ": " << scheduleDescription(window) << "\n    "
                          << task.command << "\n    next";
                const char* separator = " ";
                for (const schedule::LaunchMoment& m :
                     search.next(window, context.now(), ShownLaunches)) {
                    std::cout << separator << formatMoment(m);
                    separator = ", ";
                }
                std::cout << '\n';
            } else if (proceed) {
                if (!appendRecord(dm->Table1, apply)) {
                    std::cerr << label << ": line " << e.line << ": " << e.text << '\n';
                    return ExitDataError;
                }
                added += std::to_string(dm->Table1AppID.asInteger()) + ' ' + task.name + '\n';
            }
            ++made;
        }
    }
    if (!proceed) {
        std::cerr << refused << (refused == 1 ? " line" : " lines")
                  << " refused (--skip-unsupported makes the others). "
                  << (how.check ? "Nothing would be imported.\n" : "Nothing was imported.\n");
        return ExitDataError;
    }
    if (how.check) {
        std::cerr << made << (made == 1 ? " task" : " tasks") << " would be made of " << lines
                  << (lines == 1 ? " line" : " lines") << "; nothing was written.\n";
        return ExitOk;
    }
    try {
        transaction->commit();
    } catch (const std::exception& e) {
        throw tableFailure(dm->database().directory(), e);
    }
    std::cout << added;
    std::cerr << made << (made == 1 ? " task" : " tasks") << " imported from " << lines
              << (lines == 1 ? " line" : " lines");
    if (refused)
        std::cerr << "; " << refused << " refused " << (refused == 1 ? "line" : "lines")
                  << " left out";
    std::cerr << '\n';
    return ExitOk;
}

} // namespace vektrin::ctl
