#pragma once
// The engine's side of keeping what task runs print: which run file each running slot writes to,
// keeping it small while it runs and after it ends, the oldest runs going, and how often the
// operator hears of a failing task.

#include "platform/date_time.h"
#include "platform/run_output.h"
#include "store/running_tasks.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vektrin {

class TaskOutput {
  public:
    // root: where the runs are kept; empty keeps nothing.
    explicit TaskOutput(std::string root) : root_(std::move(root)) {}

    const std::string& root() const { return root_; }

    // Before the launch into slot: the run file, or empty when the output goes to /dev/null
    // (capture off, or nothing kept); whyNot then says why when it is a failure.
    std::string begin(int slot, std::int32_t appId, DateTime start, const OutputSettings& settings,
                      std::string& whyNot);
    // The launch failed or the task could not get its run file: the empty file goes.
    void abandon(int slot);
    // While the task runs: a run file above its limit is cut. Empty, or what went wrong.
    std::string watch(int slot);
    // The run ended: caps the file, records how it ended and removes the oldest runs of the
    // task. Returns the run's last line (empty when none was kept); problems get what went wrong.
    std::string finish(int slot, const RunEnd& end, std::vector<std::string>& problems);
    // Every run of the task; problems as above.
    std::vector<std::string> removeTask(std::int32_t appId);

  private:
    struct Run {
        std::string path; // empty: nothing kept for this slot
        std::int32_t appId = 0;
        std::uint64_t maxBytes = OutputSettings::DefaultMaxBytes;
        int keepRuns = OutputSettings::DefaultKeepRuns;
        std::unique_ptr<RunningFileWatch> watch;
    };
    Run& run(int slot) { return runs_[static_cast<std::size_t>(slot - 1)]; }

    std::string root_;
    std::array<Run, RunningTaskSlots> runs_{};
};

// At most one word to the operator per task per minute.
class FailureNotices {
  public:
    bool allow(std::int32_t appId, DateTime now);

  private:
    std::map<std::int32_t, std::int64_t> last_; // ms of the last word
};

} // namespace vektrin
