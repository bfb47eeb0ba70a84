#include "ctl/command.h"

#include <memory>

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

std::function<Run(CLI::App&)> withJsonFlag(const char* help, int (*run)(const Context&, bool)) {
    return [help, run](CLI::App& cmd) -> Run {
        auto json = std::make_shared<bool>(false);
        cmd.add_flag("--json", *json, help);
        return [json, run](const Context& context) { return run(context, *json); };
    };
}

void declareCommands(CLI::App& app, const std::vector<Command>& commands, const Context& context,
                     std::function<int()>& chosen) {
    for (const Command& c : commands) {
        CLI::App* parent = &app;
        std::string rest = c.name;
        for (std::size_t blank; (blank = rest.find(' ')) != std::string::npos;) {
            parent = parent->get_subcommand(rest.substr(0, blank));
            rest.erase(0, blank + 1);
        }
        CLI::App* cmd = parent->add_subcommand(rest, c.description);
        if (!c.declare) {
            cmd->require_subcommand(1);
            continue;
        }
        // The parser's options live as long as app does, and the run with them.
        Run run = c.declare(*cmd);
        cmd->callback([&context, &chosen, run] {
            chosen = guarded(context, [&context, run] { return run(context); });
        });
    }
}

} // namespace vektrin::ctl
