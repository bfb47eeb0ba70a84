#pragma once
// The vektrinctl commands that work on the tables and the protocol: tasks, next, due, export,
// import, protocol.

#include "platform/date_time.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
}

namespace vektrin::ctl {

constexpr int ExitOk = 0;
constexpr int ExitNotFound = 1; // a task that is not there (as a condition's syntax error: 1)
constexpr int ExitDataError = 2;
constexpr int ExitUsage = 64; // EX_USAGE

struct Context {
    std::string aliasesFile;       // empty: the usual lookup
    std::function<DateTime()> now; // --at, or the clock
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

// A command's run that ends every failure with its message on standard error and its own exit
// code.
std::function<int()> guarded(const Context& context, std::function<int()> run);

// Adds the commands to app; the one the user names stores its run in chosen.
void addCommands(CLI::App& app, Context& context, std::function<int()>& chosen);
// The timeline of the coming hours or days (ctl_timeline.cpp).
void addTimelineCommand(CLI::App& app, Context& context, std::function<int()>& chosen);

} // namespace vektrin::ctl
