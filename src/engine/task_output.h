#pragma once
// The engine's side of keeping what task runs print: the run file of each running slot, the end
// of a run once its keeper has written everything, the oldest runs going, and how often the
// operator hears of a failing task.

#include "platform/date_time.h"
#include "platform/process.h"
#include "platform/run_output.h"
#include "store/running_tasks.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vektrin {

class SettingsStore;

// A run whose record is complete: what the scheduler still has to say of it.
struct FinishedRun {
    std::int32_t appId = 0;
    std::string appName;
    std::string notice;   // the word to the operator; empty: none
    std::string lastLine; // the last line the run printed (empty when none was kept)
    std::vector<std::string> problems;
};

class TaskOutput {
  public:
    // A run whose keeper still writes after the task's end is finished after this many monitoring
    // passes all the same: a process the task left behind may hold its output for days.
    static constexpr int GracePasses = 3;

    // root: where the runs are kept; empty keeps nothing.
    TaskOutput(std::string root, ProcessControl& processes)
        : root_(std::move(root)), processes_(processes) {}
    TaskOutput(const TaskOutput&) = delete;
    TaskOutput& operator=(const TaskOutput&) = delete;

    const std::string& root() const { return root_; }

    // The settings as they are now, read again only when the settings files have changed;
    // problems gets what cannot be used, when they are read.
    const OutputSettings& settings(const SettingsStore& store, std::vector<std::string>& problems);

    // Before the launch into slot: sets the request's run file, or leaves it empty when the
    // output goes to /dev/null (capture off, nothing kept). Returns why not when that is a
    // failure, else empty.
    std::string begin(int slot, std::int32_t appId, DateTime start, const OutputSettings& settings,
                      LaunchRequest& request);
    // The launch failed or the task could not get its run file: the files go.
    void abandon(int slot);
    // The launch succeeded; keeper is the run file's keeper (handle 0: none).
    void started(int slot, const ProcessInfo& keeper);
    // The slot's task ended: the run is finished (its end recorded, its last line read, the
    // oldest runs removed) once its keeper has ended, or after GracePasses passes.
    void end(int slot, std::int32_t appId, const RunEnd& end, std::string appName,
             std::string notice);
    enum class Finish {
        Ready, // the runs whose keeper has ended
        Pass,  // those, and the ones that waited GracePasses passes (a monitoring pass)
        All,   // every run, waiting a moment for keepers (shutdown)
    };
    std::vector<FinishedRun> finish(Finish which);
    // Every run of the task; what could not be removed.
    std::vector<std::string> removeTask(std::int32_t appId);

  private:
    struct Run {
        std::string path; // empty: nothing kept for this slot
        std::int32_t appId = 0;
        int keepRuns = OutputSettings::DefaultKeepRuns;
        ProcessInfo keeper;
        // Once the task has ended:
        RunEnd end;
        std::string appName;
        std::string notice;
        int passes = 0;
    };
    Run& run(int slot) {
        const auto index = static_cast<std::size_t>(slot - 1);
        if (index >= runs_.size()) runs_.resize(index + 1);
        return runs_[index];
    }
    FinishedRun close(Run r, std::optional<int> keeperStatus);
    std::vector<std::string> livePaths(std::int32_t appId) const;

    std::string root_;
    ProcessControl& processes_;
    std::vector<Run> runs_;              // by slot, as many as the slots used so far
    std::vector<Run> ending_;            // tasks ended, keepers still writing
    std::vector<ProcessInfo> lingering_; // keepers of finished runs that still write
    std::string settingsStamp_;
    std::optional<OutputSettings> settings_;
};

// At most one word to the operator per task per calendar minute.
class FailureNotices {
  public:
    bool allow(std::int32_t appId, DateTime now);

  private:
    std::map<std::int32_t, std::int64_t> last_; // the minute of the last word
};

} // namespace vektrin
