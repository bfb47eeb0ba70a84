#pragma once
// Child processes of the scheduler: one per running task, each leading its own session.

#include <cstdint>
#include <memory>
#include <string>

namespace vektrin {

// Why a launch failed; the engine turns it into the operator's text.
enum class LaunchFailure {
    None,
    NotEnoughResources, // out of memory, process limit
    ProgramNotFound,
    PathNotFound,        // a directory part of the program's path is missing
    BadExecutableFormat, // not an executable format, a script without "#!", a directory
    BadStartupDirectory, // missing or not a directory
    Other,               // see LaunchResult::errorNumber
};

struct LaunchRequest {
    std::string commandLine; // split with shell-style quoting, no expansion
    std::string directory;   // empty: the scheduler's own working directory
    int priority = 0;        // 0 normal, 1 low, 2 high, 3 real time; others: normal
    int runType = 0; // 0 normal, 1 hidden, 2 minimised, 3 maximised (applied to its window later)
    // The run file both output streams go to, in the order written; empty: /dev/null. A keeper
    // process drains them from a pipe into the file and keeps it bounded (output_keeper.h) by
    // outputMaxBytes.
    std::string outputPath;
    std::uint64_t outputMaxBytes = 0;
};

// The four members the slot keeps; handle 0 means no process.
struct ProcessInfo {
    std::intptr_t processHandle = 0; // a pidfd, or another nonzero token for fakes
    std::intptr_t threadHandle = 0;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
};

struct LaunchResult {
    LaunchFailure failure = LaunchFailure::None;
    int errorNumber = 0; // errno of the failure
    ProcessInfo info;
    // errno when outputPath could not be opened or its keeper not started: the task was started
    // with /dev/null instead.
    int outputError = 0;
    // The run file's keeper (handle 0: none), a process of its own session that outlives the
    // scheduler: it ends once every process holding the task's output has closed it. queryExit
    // answers 0, or the errno of the first write the file refused (what could not be written is
    // counted in the file's marker line). Closed like a task's handle.
    ProcessInfo keeper;
};

enum class ExitState { Running, Exited, QueryFailed };

struct ExitQuery {
    ExitState state = ExitState::QueryFailed;
    std::int32_t status = 0; // exit code, or 128+N for a process killed by signal N
};

class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    virtual LaunchResult launch(const LaunchRequest& request) = 0;
    // Never blocks. Once Exited has been answered the process is reaped (no zombie is left).
    virtual ExitQuery queryExit(const ProcessInfo& process) = 0;
    // Kills the process and every process still in its session, whatever process group it moved
    // to; one that started a session of its own is out of reach. The result is not examined by
    // callers.
    virtual void terminate(const ProcessInfo& process) = 0;
    // Releases the handles; a process that still runs is reaped later, never left a zombie.
    virtual void close(const ProcessInfo& process) = 0;
};

std::unique_ptr<ProcessControl> makePosixProcessControl();

} // namespace vektrin
