// vektrinctl: try conditions and command strings exactly as the scheduler evaluates them, before
// putting them into a task. One function per subcommand; add new ones to `Subcommands`. The
// commands on the tables, the protocol and the running scheduler live in ctl_*.cpp, each group
// registered by one call in main.

#include "ctl/command.h"
#include "ctl/control.h"
#include "ctl/define.h"
#include "ctl/environment.h"
#include "ctl/output.h"
#include "condition/condition_errors.h"
#include "condition/environment.h"
#include "condition/evaluator.h"
#include "platform/clock.h"
#include "platform/strings.h"
#include "platform/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vektrin;

constexpr int ExitOk = 0;
constexpr int ExitSyntaxError = 1;
constexpr int ExitEvaluationError = 2;
constexpr int ExitUsage = 64; // EX_USAGE

struct GlobalOptions {
    std::string at; // "YYYY-MM-DD HH:MM:SS", local time; empty for now
    bool trace = false;
    std::string aliases; // the aliases file; empty for the usual lookup
};

DateTime nowFor(const GlobalOptions& options) {
    if (!options.at.empty()) return *parseMoment(options.at); // validated while parsing
    return SystemClock().now();
}

int runEval(const GlobalOptions& options, const std::string& condition) {
    ctl::TerminalEnvironment env(nowFor(options), {options.trace, true});
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
    std::printf("%.15g\n", value);
    return ExitOk;
}

int runExpand(const GlobalOptions& options, const std::string& text) {
    ctl::TerminalEnvironment env(nowFor(options));
    std::cout << env.unpackCommandString(text) << '\n';
    return ExitOk;
}

struct Subcommand {
    const char* name;
    const char* description;
    const char* argumentName;
    const char* argumentHelp;
    int (*run)(const GlobalOptions&, const std::string&);
};

const Subcommand Subcommands[] = {
    {"eval", "Evaluate a launch or termination condition and print its value", "CONDITION",
     "the condition text, as in a task", runEval},
    {"expand", "Print a command string with its date and time placeholders expanded", "TEXT",
     "the command string", runExpand},
};

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

// A condition may well begin with "-" ("-(1)", "--2"): the word after a subcommand's name is its
// argument whatever it looks like, unless it asks for help.
std::vector<char*> withLiteralArgument(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    static char endOfOptions[] = "--";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view word = args[i];
        if (word == "--at" || word == "--aliases") {
            ++i;
            continue;
        }
        if (word.starts_with("--at=") || word.starts_with("--aliases=") || word == "--trace")
            continue;
        const bool isSubcommand = std::any_of(std::begin(Subcommands), std::end(Subcommands),
                                              [&](const Subcommand& s) { return word == s.name; });
        if (isSubcommand && i + 1 < args.size()) {
            const std::string_view next = args[i + 1];
            if (next.starts_with("-") && next != "-h" && next != "--help" && next != "--")
                args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, endOfOptions);
        }
        break;
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"See, predict and move Vektrin tasks; try conditions and command strings as the "
                 "scheduler evaluates them.",
                 "vektrinctl"};
    GlobalOptions options;
    app.add_option("--at", options.at, "Fix the clock (local time) for placeholders and dates")
        ->option_text("\"YYYY-MM-DD HH:MM:SS\"")
        ->check(
            [](const std::string& text) {
                return parseMoment(text) ? std::string() : "expected \"YYYY-MM-DD HH:MM:SS\"";
            },
            "DATETIME");
    app.add_flag("--trace", options.trace, "Write the evaluation's trace line to standard error");
    app.add_option("--aliases", options.aliases,
                   "The aliases file that names the tables' directory")
        ->option_text("FILE");
    app.set_version_flag("--version", "vektrinctl " + fileVersion(), "Print the version and exit");
    app.require_subcommand(1);

    std::function<int()> chosen;
    std::vector<std::string> arguments(std::size(Subcommands));
    for (std::size_t i = 0; i < std::size(Subcommands); ++i) {
        const Subcommand& sub = Subcommands[i];
        CLI::App* cmd = app.add_subcommand(sub.name, sub.description);
        cmd->add_option(sub.argumentName, arguments[i], sub.argumentHelp)->required();
        cmd->callback(
            [&, i] { chosen = [&, i] { return Subcommands[i].run(options, arguments[i]); }; });
    }

    std::vector<std::string> helpTopic;
    CLI::App* help = app.add_subcommand("help", "Print the help of a command, as \"vektrinctl "
                                                "help resource add\"");
    help->add_option("COMMAND", helpTopic, "the command and its sub-command");
    help->callback([&] { chosen = [&] { return printHelp(app, helpTopic); }; });

    ctl::Context context;
    context.now = [&options] { return nowFor(options); };
    // tasks, next, due, export, import, protocol
    ctl::addCommands(app, context, chosen);
    ctl::addTimelineCommand(app, context, chosen);

    // add, set, rm, resource, silence
    ctl::addDefinitionCommands(app, context, chosen);

    // edit
    ctl::addEditCommand(app, context, chosen);

    // status, run, interrupt, cancel-wait, stop, resume
    ctl::addControlCommands(app, context, chosen);

    // output
    ctl::addOutputCommand(app, context, chosen);

    try {
        std::vector<char*> args = withLiteralArgument(argc, argv);
        app.parse(static_cast<int>(args.size()), args.data());
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
    context.aliasesFile = options.aliases;
    return chosen ? chosen() : ExitUsage;
}
