#pragma once
// What the two ways of running the scheduler share, the headless one in the program itself and
// the desktop in its module: the options, the end signals, the control socket and the event
// loop. QtCore alone.

#include <QCoreApplication>
#include <functional>
#include <optional>
#include <string>

namespace vektrin {

class Scheduler;
struct RunningScheduler;

constexpr int ExitUsage = 64; // EX_USAGE

// Answers --version and --help; once Qt has taken its own options (qtHasTaken), refuses any other
// option with 64. Returns -1 when the program goes on.
int answerOptions(int argc, char** argv, bool qtHasTaken);

// The running program's file, the name its language choice is recorded under.
std::string programPath(const char* argv0);

// Catches SIGTERM, SIGINT and SIGHUP from now on; once the event loop runs, each calls `end`
// (the shutdown sequence), also for one that arrived during start-up.
void catchEndSignals(QObject* context, std::function<void()> end);

// Runs the started scheduler until it ends: its control socket (and state file), the shutdown
// sequence at a desktop logout, and the event loop. Returns the loop's status.
// bringForward answers a second start of the desktop program ("raise"); empty headless.
int serveScheduler(QCoreApplication& app, Scheduler& scheduler, QObject* context,
                   std::function<bool()> shuttingDown, std::function<void()> shutdown,
                   std::function<void()> bringForward = {});

// The scheduler of ours that holds the tables, asked through the control socket its state file
// names: with bringForward, to bring its main window forward. nullopt when none answers (the lock
// is another program's, or the scheduler cannot be reached).
std::optional<RunningScheduler> findRunningScheduler(const std::string& tableDirectory,
                                                     bool bringForward);

} // namespace vektrin
