// vektrinctl: every command over the core, parsed and run in this process. The commands live one
// group a file; this one holds the global options, the tries of conditions and command strings
// (eval, expand: exactly as the scheduler evaluates them, before they go into a task) and help.

#include "condition/condition_errors.h"
#include "condition/environment.h"
#include "condition/evaluator.h"
#include "ctl/command.h"
#include "ctl/environment.h"
#include "platform/clock.h"
#include "platform/strings.h"
#include "platform/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vektrin::ctl {
namespace {

constexpr int ExitSyntaxError = 1;
constexpr int ExitEvaluationError = 2;

int runEval(const Context& context, const std::string& condition) {
    TerminalEnvironment env(context.now(), {context.trace, true});
    ConditionEvaluator evaluator(env);
    double value = 0;
    try {
        value = evaluator.EvaluateCondition(condition);
    } catch (const EvaluationFailure& e) {
        std::cerr << e.what() << '\n';
        return ExitEvaluationError;
    }
    if (evaluator.ConditionError()) {
        std::cout << "syntax error\n";
        return ExitSyntaxError;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    std::cout << text << '\n';
    return ExitOk;
}

int runExpand(const Context& context, const std::string& text) {
    TerminalEnvironment env(context.now());
    std::cout << env.unpackCommandString(text) << '\n';
    return ExitOk;
}

// A try takes the one text that follows its name.
Command textTry(const char* name, const char* description, const char* argument,
                const char* argumentHelp, int (*run)(const Context&, const std::string&)) {
    return {name, description, [=](CLI::App& cmd) -> Run {
                auto text = std::make_shared<std::string>();
                cmd.add_option(argument, *text, argumentHelp)->required();
                return [run, text](const Context& context) { return run(context, *text); };
            }};
}

// help [COMMAND...]: the help of a command, on standard output.
int printHelp(const CLI::App& app, const std::vector<std::string>& topic) {
    const CLI::App* command = &app;
    for (const std::string& word : topic) {
        const CLI::App* found = nullptr;
        for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
            if (sub->get_name() == word) found = sub;
        if (!found) {
            std::cerr << "No command is called " << word << "\n" << command->help();
            return ExitUsage;
        }
        command = found;
    }
    // help() itself would show the help of the command that is running: help.
    std::cout << command->get_formatter()->make_help(command, "", CLI::AppFormatMode::Normal);
    return ExitOk;
}

// A condition may well begin with "-" ("-(1)", "--2"): the word after a try's name is its
// argument whatever it looks like, unless it asks for help.
std::vector<std::string> withLiteralArgument(std::vector<std::string> args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view word = args[i];
        if (word == "--at" || word == "--aliases") {
            ++i;
            continue;
        }
        if (word.starts_with("--at=") || word.starts_with("--aliases=") || word == "--trace")
            continue;
        if ((word == "eval" || word == "expand") && i + 1 < args.size()) {
            const std::string_view next = args[i + 1];
            if (next.starts_with("-") && next != "-h" && next != "--help" && next != "--")
                args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, "--");
        }
        break;
    }
    return args;
}

} // namespace

std::vector<Command> tryCommands() {
    return {textTry("eval", "Evaluate a launch or termination condition and print its value",
                    "CONDITION", "the condition text, as in a task", runEval),
            textTry("expand", "Print a command string with its date and time placeholders expanded",
                    "TEXT", "the command string", runExpand)};
}

int vektrinctl(const std::vector<std::string>& arguments) {
    CLI::App app{"See, predict and move Vektrin tasks; try conditions and command strings as the "
                 "scheduler evaluates them.",
                 "vektrinctl"};
    std::string at; // "YYYY-MM-DD HH:MM:SS", local time; empty for now
    Context context;
    app.add_option("--at", at, "Fix the clock (local time) for placeholders and dates")
        ->option_text("\"YYYY-MM-DD HH:MM:SS\"")
        ->check(
            [](const std::string& text) {
                return parseMoment(text) ? std::string() : "expected \"YYYY-MM-DD HH:MM:SS\"";
            },
            "DATETIME");
    app.add_flag("--trace", context.trace, "Write the evaluation's trace line to standard error");
    app.add_option("--aliases", context.aliasesFile,
                   "The aliases file that names the tables' directory")
        ->option_text("FILE");
    app.set_version_flag("--version", "vektrinctl " + fileVersion(), "Print the version and exit");
    app.require_subcommand(1);
    context.now = [&at] {
        if (!at.empty()) return *parseMoment(at); // checked while parsing
        return SystemClock().now();
    };

    std::function<int()> chosen;
    for (const auto& group :
         {tryCommands(), taskCommands(), transferCommands(), protocolCommands(), timelineCommands(),
          defineCommands(), resourceCommands(), silenceCommands(), editCommands(),
          controlCommands(), outputCommands()})
        declareCommands(app, group, context, chosen);
    std::vector<std::string> helpTopic;
    CLI::App* help = app.add_subcommand("help", "Print the help of a command, as \"vektrinctl "
                                                "help resource add\"");
    help->add_option("COMMAND", helpTopic, "the command and its sub-command");
    help->callback([&] { chosen = [&] { return printHelp(app, helpTopic); }; });

    try {
        std::vector<std::string> args = withLiteralArgument(arguments);
        std::reverse(args.begin(), args.end()); // as CLI11 takes a vector: the last word first
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return ExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return ExitOk;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << '\n';
        return ExitOk;
    } catch (const CLI::ParseError& e) {
        std::cerr << e.what() << '\n';
        std::cerr << app.help();
        return ExitUsage;
    }
    return chosen ? chosen() : ExitUsage;
}

} // namespace vektrin::ctl
