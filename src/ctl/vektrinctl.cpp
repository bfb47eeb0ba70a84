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
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace vektrin::ctl {
namespace {

constexpr int ExitSyntaxError = 1;
constexpr int ExitEvaluationError = 2;
constexpr int ExitWriteError = 1;

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
    // A try takes the one text that follows its name.
    return {{"eval", "Evaluate a launch or termination condition and print its value",
             withArgument("CONDITION", "the condition text, as in a task", runEval)},
            {"expand", "Print a command string with its date and time placeholders expanded",
             withArgument("TEXT", "the command string", runExpand)}};
}

namespace {

// A closed standard output must not be taken by the next file opened (the tables, an aliases
// file being written), which would then receive what is printed: a descriptor that refuses every
// write stands in for it.
void holdClosedStandardOutput() {
    if (fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF) return;
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd > STDOUT_FILENO) {
        dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
}

// "vektrinctl resource add": the words that call a command.
std::string commandPath(const CLI::App* command) {
    std::string path = command->get_name();
    for (const CLI::App* p = command->get_parent(); p; p = p->get_parent())
        path = p->get_name() + " " + path;
    return path;
}

// Help as the command line's own: the whole command in every usage line, flags without the
// parser's default markers, and the global options named below every command's help.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* app, std::string) const override {
        std::string usage = CLI::Formatter::make_usage(app, commandPath(app));
        if (const auto at = usage.find("SUBCOMMAND"); at != std::string::npos)
            usage.replace(at, 10, "COMMAND [ARGS]");
        return usage;
    }
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        for (std::size_t open; (open = name.find('{')) != std::string::npos;)
            name.erase(open, name.find('}', open) - open + 1);
        return name;
    }
    std::string make_footer(const CLI::App* app) const override {
        std::string footer = CLI::Formatter::make_footer(app);
        if (!app->get_parent()) return footer;
        return footer + "\nGlobal options, before or after the command: --at MOMENT, --aliases "
                        "FILE, --trace (vektrinctl --help).\n";
    }
};

// The edit distance of two words, for the nearest command to a mistyped one.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean 'tasks'?" when one of the names is near enough to the word.
std::string nearest(std::string_view word, const std::vector<std::string>& names) {
    std::string best;
    std::size_t bestDistance = 2 + word.size() / 4;
    for (const std::string& name : names)
        if (const std::size_t d = distance(word, name); d < bestDistance) {
            best = name;
            bestDistance = d;
        }
    return best.empty() ? std::string() : "; did you mean '" + best + "'?";
}

std::vector<std::string> commandNames(const CLI::App* command) {
    std::vector<std::string> names;
    for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(sub->get_name());
    return names;
}

std::vector<std::string> optionNames(const CLI::App* command) {
    std::vector<std::string> names;
    for (const CLI::App* c = command; c; c = c->get_parent())
        for (const CLI::Option* option : c->get_options()) {
            for (const std::string& name : option->get_lnames())
                names.push_back("--" + name);
            for (const std::string& name : option->get_snames())
                names.push_back("-" + name);
        }
    return names;
}

// The command the words reached: the deepest one parsed.
const CLI::App* reachedCommand(const CLI::App& app) {
    const CLI::App* command = &app;
    for (std::vector<CLI::App*> parsed; !(parsed = command->get_subcommands()).empty();)
        command = parsed.front();
    return command;
}

// A usage error: what is wrong, then the command's usage and where its help is; never the
// whole help.
int usageError(const CLI::App* command, const std::string& problem, std::ostream& plain) {
    std::cerr << problem << '\n';
    std::string usage = HelpFormatter().make_usage(command, "");
    while (!usage.empty() && usage.back() == '\n')
        usage.pop_back();
    plain << usage << "\nTry '" << commandPath(command) << " --help' for more information.\n";
    return ExitUsage;
}

// The word no command or option took, named as what it was meant to be.
std::string unexpectedWord(const CLI::App* command, const std::string& word) {
    if (word.starts_with("-"))
        return "unknown option '" + word + "'" +
               (command->get_parent() ? " for '" + command->get_name() + "'" : "") +
               nearest(word.substr(0, word.find('=')), optionNames(command));
    const auto positionals =
        command->get_options([](const CLI::Option* option) { return option->get_positional(); });
    if (positionals.empty() && !commandNames(command).empty())
        return "unknown command '" + word + "'" + nearest(word, commandNames(command));
    return "unexpected argument '" + word + "'" +
           (command->get_parent() ? " for '" + command->get_name() + "'" : "");
}

// The parser's own words for a problem, without its habits: a checker's message stands alone.
std::string parseProblem(const CLI::ParseError& e, const CLI::App* command) {
    std::string text = e.what();
    if (text == "A subcommand is required")
        return commandPath(command) + " needs a command: one of " + [&] {
            std::string list;
            for (const std::string& name : commandNames(command))
                list += (list.empty() ? "" : ", ") + name;
            return list;
        }();
    // "--count: -n takes a whole number ...": the checker named the option itself.
    if (const auto colon = text.find(": -"); colon != std::string::npos && text.starts_with("-"))
        return text.substr(colon + 2);
    if (text.ends_with(" is required")) return "missing " + text.substr(0, text.size() - 12);
    return text;
}

// The words no command or option took ("--" marks where positionals begin, and is none).
std::vector<std::string> strayWords(const CLI::App& app) {
    std::vector<std::string> words = app.remaining(true);
    std::erase(words, "--");
    return words;
}

// help [COMMAND...]: the help of a command, on standard output.
int printHelp(const CLI::App& app, const std::vector<std::string>& topic, std::ostream& plain) {
    const CLI::App* command = &app;
    for (const std::string& word : topic) {
        const CLI::App* found = nullptr;
        for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
            if (sub->get_name() == word) found = sub;
        if (!found)
            return usageError(
                command, "unknown command '" + word + "'" + nearest(word, commandNames(command)),
                plain);
        command = found;
    }
    // help() itself would show the help of the command that is running: help.
    std::cout << command->get_formatter()->make_help(command, "", CLI::AppFormatMode::Normal);
    return ExitOk;
}

int parseAndRun(const std::vector<std::string>& arguments, std::ostream& plainErr) {
    CLI::App app{"See, predict and move Vektrin tasks; try conditions and command strings as the "
                 "scheduler evaluates them.",
                 "vektrinctl"};
    app.formatter(std::make_shared<HelpFormatter>());
    // Unknown words are told by name below; global options may follow the command.
    app.allow_extras();
    app.fallthrough();
    std::string at; // local time; empty for now
    Context context;
    addMomentOption(app, "--at", at, "Fix the clock (local time) for placeholders and dates");
    app.add_flag("--trace", context.trace, "Write the evaluation's trace line to standard error");
    app.add_option("--aliases", context.aliasesFile,
                   "The aliases file that names the tables' directory")
        ->option_text("FILE");
    app.add_option("-H,--host", context.remoteHost,
                   "Send status, run, interrupt, cancel-wait, stop and resume to this "
                   "workstation's scheduler, through the database the workstations share")
        ->option_text("HOST");
    app.set_version_flag("--version", "vektrinctl " + fileVersion(), "Print the version and exit");
    app.require_subcommand(1);
    const DateTime started = SystemClock().now();
    context.now = [&at, started] {
        if (!at.empty()) return *readMoment(at, started); // checked while parsing
        return SystemClock().now();
    };

    std::function<int()> chosen;
    declareCommands(app, allCommands(), context, chosen);
    std::vector<std::string> helpTopic;
    CLI::App* help = app.add_subcommand("help", "Print the help of a command, as \"vektrinctl "
                                                "help resource add\"");
    help->add_option("COMMAND", helpTopic, "the command and its sub-command");
    help->callback([&] { chosen = [&] { return printHelp(app, helpTopic, plainErr); }; });

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
        const CLI::App* command = reachedCommand(app);
        const std::vector<std::string> extra = strayWords(app);
        return usageError(command,
                          extra.empty() ? parseProblem(e, command)
                                        : unexpectedWord(command, extra.front()),
                          plainErr);
    }
    if (const std::vector<std::string> extra = strayWords(app); !extra.empty()) {
        const CLI::App* command = reachedCommand(app);
        return usageError(command, unexpectedWord(command, extra.front()), plainErr);
    }
    return chosen ? chosen() : ExitUsage;
}

// Standard error with "vektrinctl: " before each line, so that every message says whose it is.
class LinePrefix : public std::streambuf {
  public:
    explicit LinePrefix(std::streambuf* target) : target_(target) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (lineStart_ && target_->sputn("vektrinctl: ", 12) != 12) return traits_type::eof();
        lineStart_ = traits_type::to_char_type(c) == '\n';
        return target_->sputc(traits_type::to_char_type(c));
    }
    int sync() override { return target_->pubsync(); }

  private:
    std::streambuf* target_;
    bool lineStart_ = true;
};

} // namespace

std::vector<Command> allCommands() {
    std::vector<Command> all;
    for (auto group : {tryCommands(), taskCommands(), transferCommands(), protocolCommands(),
                       timelineCommands(), defineCommands(), resourceCommands(), silenceCommands(),
                       editCommands(), controlCommands(), outputCommands(), initCommands()})
        std::move(group.begin(), group.end(), std::back_inserter(all));
    return all;
}

int vektrinctl(const std::vector<std::string>& arguments) {
    holdClosedStandardOutput();
    std::cout.clear();
    std::streambuf* const plain = std::cerr.rdbuf();
    std::ostream plainErr(plain);
    LinePrefix prefixed(plain);
    std::cerr.rdbuf(&prefixed);
    int status = parseAndRun(arguments, plainErr);
    // A script must not take a backup that never reached the disk for one that did.
    if (const std::optional<std::string> failure = standardOutputFailure()) {
        std::cerr << "write error: " << *failure << '\n';
        if (status == ExitOk) status = ExitWriteError;
    }
    std::cerr.flush();
    std::cerr.rdbuf(plain);
    return status;
}

} // namespace vektrin::ctl
