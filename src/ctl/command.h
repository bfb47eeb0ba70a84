#pragma once
// The shape of every vektrinctl command, the exit codes they share and what ends one with its
// message; the commands themselves live one group a file (tasks, define, resources, silence, edit,
// transfer, protocol, timeline, control, output, and the tries of vektrinctl.cpp).

#include "platform/date_time.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace vektrin::ctl {

constexpr int ExitOk = 0;
constexpr int ExitNotFound = 1; // a task that is not there (as a condition's syntax error: 1)
constexpr int ExitDataError = 2;
constexpr int ExitUsage = 64; // EX_USAGE

struct Context {
    std::string aliasesFile;       // empty: the usual lookup
    std::function<DateTime()> now; // --at, or the clock
    bool trace = false;            // --trace: the evaluation's trace line on standard error
    mutable bool quiet = false;    // the command's --quiet: no warnings
    std::string remoteHost;        // -H: the workstation whose scheduler a control command asks
    // The directory of the tables once a command has opened them, so that a failure met later
    // can name the file.
    mutable std::string tablesDirectory;
};

// Ends a command with its exit code and a message for standard error.
class CommandError : public std::runtime_error {
  public:
    CommandError(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

// One way to write a moment on every option that takes one: "YYYY-MM-DD" (its first minute),
// "YYYY-MM-DD HH:MM[:SS]" ("T" may stand for the blank), "HH:MM[:SS]" (today; "H:MM" too), "now",
// "today", "yesterday" or "tomorrow" (the first minute of that day), in local time; today is now's
// day.
std::optional<DateTime> readMoment(std::string_view text, DateTime now);
inline constexpr const char* MomentForms =
    "YYYY-MM-DD, \"YYYY-MM-DD HH:MM[:SS]\", HH:MM, now, today, yesterday or tomorrow";
// Checks a moment option's words while parsing; its value is read with readMoment when it runs.
CLI::Option* addMomentOption(CLI::App& cmd, const std::string& name, std::string& text,
                             const std::string& help);
// Checks a whole-number option while parsing, naming it as `name` in the refusal ("-n takes a
// whole number from 1 to 100000, not 'abc'").
CLI::Option* addNumberOption(CLI::App& cmd, const std::string& names, int& value,
                             const std::string& help, int min, int max);

// A command's run that ends every failure with its message on standard error and its own exit
// code.
std::function<int()> guarded(const Context& context, std::function<int()> run);

using Run = std::function<int(const Context&)>;
// What a command puts on its own parser; the run it returns reads what was given.
using Declaration = std::function<Run(CLI::App&)>;

// Puts -q/--quiet on the command: the run then prints no warnings and, where it confirms a
// change, nothing on standard output either; only its errors.
Run quietly(CLI::App& cmd, Run run, bool confirms);

// One command: the words that name it after vektrinctl ("add", "resource add"), what it does, and
// its declaration: the arguments and options it puts on its own parser, and the run (reading what
// they were given) that returns its exit status. A group of commands ("resource") has no
// declaration.
struct Command {
    std::string name;
    std::string description;
    Declaration declare;
};

// The declaration of a command whose arguments and options fill an Options (`declare` puts them on
// its parser) and whose run takes what they were given.
template <class Options>
Declaration withOptions(std::function<void(CLI::App&, Options&)> declare,
                        std::function<int(const Context&, const Options&)> run) {
    return [declare, run](CLI::App& cmd) -> Run {
        // The parser writes into them for as long as it lives; the run reads them afterwards.
        auto options = std::make_shared<Options>();
        declare(cmd, *options);
        return [options, run](const Context& context) { return run(context, *options); };
    };
}

// Puts a command's one required positional argument on its parser.
void addArgument(CLI::App& cmd, const char* argument, std::string& value, const char* help);

// The declaration of a command with one required argument (`argument`, what it is: `help`) before
// the options of an Options; its run takes the argument and them.
template <class Options>
Declaration
withArgument(const char* argument, const char* help,
             std::function<void(CLI::App&, Options&)> declare,
             std::function<int(const Context&, const std::string&, const Options&)> run) {
    struct Given {
        std::string argument;
        Options options;
    };
    return withOptions<Given>(
        [=](CLI::App& cmd, Given& given) {
            addArgument(cmd, argument, given.argument, help);
            declare(cmd, given.options);
        },
        [run](const Context& context, const Given& given) {
            return run(context, given.argument, given.options);
        });
}

// The declaration of a command whose one required argument is all it takes.
Declaration withArgument(const char* argument, const char* help,
                         std::function<int(const Context&, const std::string&)> run);

// The declaration of a command whose one option is --json (what its JSON is: `help`).
Declaration withJsonFlag(const char* help, int (*run)(const Context&, bool json));

// What names a task on the command line.
inline constexpr const char* TaskArgumentHelp = "the task's AppID or AppName";

std::vector<Command> taskCommands();     // tasks, next, due
std::vector<Command> defineCommands();   // add, set, rm
std::vector<Command> editCommands();     // edit
std::vector<Command> resourceCommands(); // resource list, add, set, rm
std::vector<Command> silenceCommands();  // silence list, add, set, rm
std::vector<Command> transferCommands(); // export, import
std::vector<Command> protocolCommands(); // protocol
std::vector<Command> timelineCommands(); // timeline
std::vector<Command> controlCommands();  // status, run, interrupt, cancel-wait, stop, resume
std::vector<Command> outputCommands();   // output
std::vector<Command> tryCommands();      // eval, expand
std::vector<Command> initCommands();     // init
// Every group's commands in the order help lists them (help itself aside).
std::vector<Command> allCommands();

// Puts the commands on app (a group before its members); the one named on the command line
// leaves its guarded run in chosen.
void declareCommands(CLI::App& app, const std::vector<Command>& commands, const Context& context,
                     std::function<int()>& chosen);

// Standard output as vektrinctl writes it: buffered, with the first error of a write kept so that
// the end of the run can name it (stdio forgets it once its buffer is dropped).
class DescriptorOutput : public std::streambuf {
  public:
    explicit DescriptorOutput(int fd);
    ~DescriptorOutput() override;
    int error() const { return error_; } // errno of the first failed write, 0 for none

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    bool writeAll(const char* text, std::size_t size);
    int fd_;
    int error_ = 0;
    char buffer_[1 << 14];
};

// Why what was printed on standard output did not all arrive (its buffer is flushed first), or
// nothing when it did. A command that goes on printing (--follow) ends when this says anything;
// the end of vektrinctl then reports it once.
std::optional<std::string> standardOutputFailure();

// vektrinctl with these arguments (without the program's name), in this process: what it prints
// goes to std::cout and std::cerr; returns the exit status.
int vektrinctl(const std::vector<std::string>& arguments);

} // namespace vektrin::ctl
