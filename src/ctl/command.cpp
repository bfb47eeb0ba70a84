#include "ctl/command.h"

#include "ctl/run.h"
#include "ctl/tables.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>

namespace vektrin::ctl {

std::function<int()> guarded(const Context& context, std::function<int()> run) {
    return [&context, run = std::move(run)] {
        try {
            return run();
        } catch (const CommandError& e) {
            std::cerr << e.what() << '\n';
            return e.exitCode();
        } catch (const DatabaseError& e) {
            const std::string& directory = context.tablesDirectory;
            std::cerr << (directory.empty() ? std::string(e.what())
                                            : tableFailure(directory, e).what())
                      << '\n';
            return ExitDataError;
        } catch (const nlohmann::json::exception& e) {
            // The library's own form ("[json.exception.type_error.302] ...") means nothing to
            // an operator; every expected case has its own message before this.
            std::string text = e.what();
            const std::size_t end = text.find("] ");
            if (text.starts_with("[json.exception.") && end != std::string::npos)
                text.erase(0, end + 2);
            std::cerr << "Cannot handle the JSON: " << text << '\n';
            return ExitDataError;
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
            return ExitDataError;
        }
    };
}

void addCommands(CLI::App& app, Context& context, std::function<int()>& chosen) {
    // Options live as long as app does: main keeps both until the chosen command has run.
    struct Values {
        bool tasksJson = false;
        std::string nextTask;
        int nextCount = 5;
        bool dueJson = false;
        std::string exportFile;
        std::string importFile;
        bool importReplace = false;
        std::string since;
        ProtocolOptions protocol;
    };
    auto values = std::make_shared<Values>();

    CLI::App* tasks = app.add_subcommand(
        "tasks", "List every task: AppID, AppName, schedule, run type, stopped, status, last "
                 "change and next launch, separated by tabs");
    tasks->add_flag("--json", values->tasksJson, "An array of objects keyed by field name");
    tasks->callback([&, values] {
        chosen = guarded(context, [&, values] { return runTasks(context, values->tasksJson); });
    });

    CLI::App* next = app.add_subcommand(
        "next", "Print the next launch moments of a task, one \"YYYY-MM-DD HH:MM\" per line");
    next->add_option("TASK", values->nextTask, "the task's AppID or AppName")->required();
    next->add_option("-n,--count", values->nextCount, "how many moments")
        ->check(CLI::Range(1, 100000));
    next->callback([&, values] {
        chosen = guarded(
            context, [&, values] { return runNext(context, values->nextTask, values->nextCount); });
    });

    CLI::App* due = app.add_subcommand(
        "due", "For the minute of --at, say of every task whether the scheduling pass launches "
               "it, or why not");
    due->add_flag("--json", values->dueJson, "An array of objects");
    due->callback([&, values] {
        chosen = guarded(context, [&, values] { return runDue(context, values->dueJson); });
    });

    CLI::App* exportCmd = app.add_subcommand(
        "export", "Write tasks, resources and silence periods as one JSON document");
    exportCmd->add_option("-o,--output", values->exportFile, "the file (standard output without)");
    exportCmd->callback([&, values] {
        chosen = guarded(context, [&, values] { return runExport(context, values->exportFile); });
    });

    CLI::App* importCmd = app.add_subcommand(
        "import", "Add the records of an exported document to the tables, all or none");
    importCmd->add_option("FILE", values->importFile, "the JSON document (- for standard input)")
        ->required();
    importCmd->add_flag("--replace", values->importReplace,
                        "Replace everything in the three tables by the document");
    importCmd->callback([&, values] {
        chosen = guarded(context, [&, values] {
            return runImport(context, values->importFile, values->importReplace);
        });
    });

    CLI::App* protocol = app.add_subcommand("protocol", "Print the protocol lines, filtered");
    protocol->add_option("--log", values->protocol.logFile,
                         "the protocol file (default: the running scheduler's; else the one in "
                         "~/.local/state/vektrin, else Vektrin.log here)");
    protocol
        ->add_option("-n,--lines", values->protocol.lastLines,
                     "only the last N lines that pass the filters")
        ->check(CLI::Range(0, 1 << 30));
    protocol->add_option("--since", values->since, "only lines of this day and later")
        ->option_text("YYYY-MM-DD")
        ->check(
            [](const std::string& text) {
                return parseIsoDate(text) ? std::string() : "expected YYYY-MM-DD";
            },
            "DATE");
    protocol->add_option("--task", values->protocol.task,
                         "only the lines about this AppName (with the launch error line that "
                         "follows its \"Executes\" line)");
    protocol->add_flag("-f,--follow", values->protocol.follow,
                       "Go on printing lines as they are written");
    protocol->callback([&, values] {
        if (!values->since.empty()) values->protocol.since = parseIsoDate(values->since);
        chosen = guarded(context, [&, values] { return runProtocol(context, values->protocol); });
    });
}

} // namespace vektrin::ctl
