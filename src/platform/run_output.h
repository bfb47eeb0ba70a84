#pragma once
// What task runs printed: one file per run, <root>/<AppID>/<YYYYMMDD-HHMMSS>.log, holding the
// run's standard output and standard error as written, and beside it <stem>.end once the run has
// ended (when, how, the exit code). The child writes into its file directly; the scheduler only
// creates it, caps it when the run ends and removes the oldest runs.

#include "platform/date_time.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vektrin {

class SettingsStore;

// <state home>/vektrin/output.
std::string defaultOutputRoot();

// [Output] and [Notify] of the settings store.
struct OutputSettings {
    static constexpr std::uint64_t DefaultMaxBytes = std::uint64_t{1} << 20;
    static constexpr int DefaultKeepRuns = 10;
    // While a run goes on, its file may grow to this many times MaxBytes before it is cut.
    static constexpr std::uint64_t RunningFactor = 64;

    bool capture = true;                      // [Output] Capture
    std::uint64_t maxBytes = DefaultMaxBytes; // [Output] MaxBytes
    int keepRuns = DefaultKeepRuns;           // [Output] KeepRuns
    bool notifyOnFailure = true;              // [Notify] OnFailure
};

// Reads the four settings. A value that cannot be used (or a settings file that cannot be read)
// leaves the default in place and adds a sentence saying which and why to problems.
OutputSettings readOutputSettings(const SettingsStore& settings,
                                  std::vector<std::string>& problems);

// "20261207-100030" of a moment.
std::string runStamp(DateTime moment);

// The directory of one task's runs.
std::string taskOutputDirectory(const std::string& root, std::int32_t appId);

struct NewRunFile {
    std::string path;  // empty when none could be made
    std::string error; // then: the path tried and the reason
};

// Creates the run file of a run that starts at `start` (and the directories up to it, mode 0700).
// A second run of the task in the same second gets <stem>-2.log, and so on: never an existing file.
// A file system with less than minimumFree bytes left for the user gets none: a task whose output
// cannot be written may fail for it, while /dev/null takes everything.
NewRunFile createRunFile(const std::string& root, std::int32_t appId, DateTime start,
                         std::uint64_t minimumFree = 0);

// How a run ended, as its .end file keeps it.
struct RunEnd {
    DateTime end = 0;
    int endCode = 0;             // the completion code written for the run (1, 3, 4, ...)
    std::optional<int> exitCode; // the process's own, when it ended by itself
};

// What is known of a run from its files.
struct RunInfo {
    std::string path; // the .log file
    std::string stem; // "20261207-100030" or "20261207-100030-2"
    DateTime start = 0;
    int sequence = 1; // 2, 3, ... for further runs in the same second
    std::uint64_t size = 0;
    std::optional<RunEnd> end; // none while the run goes on (or when the scheduler was killed)
};

// The .end file beside a run file.
std::string runEndPath(const std::string& runFile);
// Writes the .end file (replacing it atomically). Empty on success, else the reason.
std::string recordRunEnd(const std::string& runFile, const RunEnd& end);
std::optional<RunEnd> readRunEnd(const std::string& runFile);

// The runs of a task, newest first. A directory that is not there has no runs; one that cannot be
// read throws std::runtime_error naming it. An empty root has no runs (nor anything below).
std::vector<RunInfo> listRuns(const std::string& root, std::int32_t appId);
// Whether the task has at least one run file (cheaper than listRuns).
bool hasRuns(const std::string& root, std::int32_t appId);

// The marker line put where bytes were left out: "... N bytes left out ...".
std::string leftOutLine(std::uint64_t bytes);

// Keeps a run file within maxBytes once its run has ended: the first maxBytes/2 bytes and the
// last maxBytes/2, with one marker line between them. A run file that was cut while it ran
// (truncateRunning) is passed its cut: the marker then counts those bytes too.
struct RunningCut {
    std::uint64_t leftOut = 0;  // bytes dropped while it ran
    std::uint64_t keptFrom = 0; // where what the run wrote after the last cut begins
};
struct CapResult {
    bool capped = false;
    std::uint64_t leftOut = 0;
    std::string error; // empty when the file is as it should be
};
CapResult capRunFile(const std::string& runFile, std::uint64_t maxBytes,
                     const RunningCut& cut = {});

// While a run goes on: when its file is above RunningFactor * maxBytes, cuts it in place to its
// first maxBytes/2 bytes followed by the marker line, so the disk cannot fill. The task goes on
// appending after the marker. Returns true when it cut; error set when it could not.
bool truncateRunning(const std::string& runFile, std::uint64_t maxBytes, RunningCut& cut,
                     std::string& error);

// Keeps the file of a run that goes on below RunningFactor * maxBytes with truncateRunning. A cut
// frees what the file held, which costs the kernel about a quarter of a second per GiB: it is
// made on a thread of its own, so the monitoring pass that asks for it never waits.
class RunningFileWatch {
  public:
    RunningFileWatch(std::string runFile, std::uint64_t maxBytes);
    ~RunningFileWatch();
    RunningFileWatch(const RunningFileWatch&) = delete;
    RunningFileWatch& operator=(const RunningFileWatch&) = delete;

    // Never waits: takes up a finished cut, and starts one when the file is above its limit and
    // no cut is under way. Returns what went wrong with a cut (once), else empty.
    std::string poll();
    // Waits for a cut under way; what has been cut from the file so far.
    RunningCut finish();

  private:
    struct Job;
    std::string takeUp();

    std::string path_;
    std::uint64_t maxBytes_;
    RunningCut cut_;
    std::shared_ptr<Job> job_;
};

// Removes the oldest runs of the task beyond keep (their .log and .end files), never one of the
// run files in live (runs still going on). Returns what could not be removed, as sentences; empty
// when all went.
std::vector<std::string> removeOldRuns(const std::string& root, std::int32_t appId, int keep,
                                       const std::vector<std::string>& live = {});
// Removes every run of the task and its directory (files of other names stay, and so does the
// directory then). Returns the problems, as above.
std::vector<std::string> removeTaskRuns(const std::string& root, std::int32_t appId);
// The AppIDs that have a run directory under root.
std::vector<std::int32_t> tasksWithRuns(const std::string& root);

// The last line of the file that holds more than blanks, without its line end, cut to at most
// maxCharacters characters; empty when there is none or the file cannot be read.
std::string lastOutputLine(const std::string& runFile, int maxCharacters = 200);

} // namespace vektrin
