#pragma once
// What task runs printed: one file per run, <root>/<AppID>/<YYYYMMDD-HHMMSS>.log, holding the
// run's standard output and standard error as written, and beside it <stem>.end, made with the run
// file and rewritten in place once the run has ended (when, how, the exit code). A keeper process
// (output_keeper.h) writes the run file and keeps it bounded; the scheduler creates both files,
// records the end and removes the oldest runs. A run without its end goes on only while the
// scheduler or the keeper holds its file: a killed scheduler's run is over once its task is.

#include "platform/date_time.h"

#include <cstdint>
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

// Creates the run file of a run that starts at `start` (and the directories up to it, mode 0700),
// and its .end file, which says the run goes on and reserves the room its end takes, so that a
// full disk cannot keep the end from being recorded. A second run of the task in the same second
// gets <stem>-2.log, and so on: never an existing file. maxBytes is what the run's keeper keeps.
// A file system with less than minimumFree bytes left for the user gets none: its output would
// mostly be left out. The calling process holds the run (holdRunFile) until it records its end,
// or, when the files go without one, until it creates its next run file.
NewRunFile createRunFile(const std::string& root, std::int32_t appId, DateTime start,
                         std::uint64_t maxBytes = OutputSettings::DefaultMaxBytes,
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
    std::optional<RunEnd> end; // none while the run goes on, or when nobody saw its end
    // No end is recorded and a process of the run still lives (runGoesOn); without an end and
    // without this the run is over and how it ended is not known: its scheduler was killed.
    bool goesOn = false;
};

// Marks the run file open on fd as held for as long as that open file (not just this
// descriptor: a forked keeper inherits it) is open somewhere. Its scheduler holds a run until it
// records the end, its keeper until the task's output is closed. Async-signal-safe; a file
// system without such locks leaves the file unmarked.
void holdRunFile(int fd) noexcept;
// Whether some process still holds the run file; true when that cannot be told, false when the
// file is gone. Once no process holds it, the file has its final form.
bool runGoesOn(const std::string& runFile);

// The .end file beside a run file.
std::string runEndPath(const std::string& runFile);
// Writes the end into the .end file, over what createRunFile reserved: no new block is needed.
// The end's moment is its last line, so that a reader who catches the write half done still
// sees a run going on. Then this process lets go of the run. Empty on success, else the reason.
std::string recordRunEnd(const std::string& runFile, const RunEnd& end);
std::optional<RunEnd> readRunEnd(const std::string& runFile);
// Of a run going on: where its marker line goes once bytes are left out (maxBytes/2 of its
// keeper). None for an ended run.
std::optional<std::uint64_t> runHead(const std::string& runFile);

// The runs of a task, newest first. A directory that is not there has no runs; one that cannot be
// read throws std::runtime_error naming it. An empty root has no runs (nor anything below).
std::vector<RunInfo> listRuns(const std::string& root, std::int32_t appId);
// Whether the task has at least one run file (cheaper than listRuns).
bool hasRuns(const std::string& root, std::int32_t appId);

// The marker line put where bytes were left out: "... N bytes left out ...".
std::string leftOutLine(std::uint64_t bytes);

// Where a reader finds the marker line at a given offset of a run file going on.
struct MarkerAt {
    enum Kind { None, Busy, Marker } kind = None; // Busy: the keeper is cutting the file
    std::uint64_t leftOut = 0;
    std::uint64_t end = 0; // the offset after the marker line
};
MarkerAt readMarker(int fd, std::uint64_t at);

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
