#include "engine/task_output.h"

#include "engine/scheduler.h"
#include "platform/settings_store.h"
#include "platform/strings.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

// What a keeper's exit status says of the run file.
std::string keeperProblem(const std::string& path, int status) {
    if (status > 128)
        return "the process that kept " + path + " was ended by signal " +
               std::to_string(status - 128);
    return "cannot write " + path + ": " + std::strerror(status) +
           "; what could not be written is counted as left out";
}

} // namespace

const OutputSettings& TaskOutput::settings(const SettingsStore& store,
                                           std::vector<std::string>& problems) {
    std::string stamp = store.stamp();
    if (!settings_ || stamp != settingsStamp_) {
        settings_ = readOutputSettings(store, problems);
        settingsStamp_ = std::move(stamp);
    }
    return *settings_;
}

std::string TaskOutput::begin(int slot, std::int32_t appId, DateTime start,
                              const OutputSettings& settings, LaunchRequest& request) {
    Run& r = run(slot);
    r = Run{};
    request.outputPath.clear();
    if (root_.empty() || !settings.capture) return {};
    NewRunFile file = createRunFile(root_, appId, start, settings.maxBytes, settings.maxBytes);
    if (file.path.empty()) return file.error;
    r.path = file.path;
    r.appId = appId;
    r.keepRuns = settings.keepRuns;
    request.outputPath = std::move(file.path);
    request.outputMaxBytes = settings.maxBytes;
    return {};
}

void TaskOutput::abandon(int slot) {
    Run& r = run(slot);
    if (!r.path.empty()) {
        ::unlink(r.path.c_str());
        ::unlink(runEndPath(r.path).c_str());
    }
    if (r.keeper.processHandle != 0) processes_.close(r.keeper);
    r = Run{};
}

void TaskOutput::started(int slot, const ProcessInfo& keeper) {
    run(slot).keeper = keeper;
}

void TaskOutput::end(int slot, std::int32_t appId, const RunEnd& end, std::string appName,
                     std::string notice) {
    Run r = std::move(run(slot));
    run(slot) = Run{};
    r.appId = appId;
    r.end = end;
    r.appName = std::move(appName);
    r.notice = std::move(notice);
    ending_.push_back(std::move(r));
}

std::vector<FinishedRun> TaskOutput::finish(Finish which) {
    std::erase_if(lingering_, [this](const ProcessInfo& keeper) {
        if (processes_.queryExit(keeper).state == ExitState::Running) return false;
        processes_.close(keeper);
        return true;
    });
    // At shutdown the tasks have just been ended: their keepers are a moment from their end.
    for (int wait = 0; which == Finish::All && wait < 100; ++wait) {
        const bool writing = std::any_of(ending_.begin(), ending_.end(), [this](const Run& r) {
            return r.keeper.processHandle != 0 &&
                   processes_.queryExit(r.keeper).state == ExitState::Running;
        });
        if (!writing) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<FinishedRun> done;
    for (std::size_t i = 0; i < ending_.size();) {
        Run& r = ending_[i];
        std::optional<int> status;
        bool ready = r.keeper.processHandle == 0;
        if (!ready) {
            const ExitQuery q = processes_.queryExit(r.keeper);
            if (q.state == ExitState::Exited) status = q.status;
            ready = q.state != ExitState::Running;
        }
        if (which == Finish::Pass && !ready) ready = ++r.passes >= GracePasses;
        if (!ready && which != Finish::All) {
            ++i;
            continue;
        }
        Run closing = std::move(r);
        ending_.erase(ending_.begin() + static_cast<std::ptrdiff_t>(i));
        done.push_back(close(std::move(closing), status));
    }
    return done;
}

// Records the end, reads the last line and removes the oldest runs. A keeper that still writes
// (a process the task left behind holds its output) goes on keeping the file bounded and gives
// it its final shape when it ends.
FinishedRun TaskOutput::close(Run r, std::optional<int> keeperStatus) {
    FinishedRun done;
    done.appId = r.appId;
    done.appName = std::move(r.appName);
    done.notice = std::move(r.notice);
    if (r.keeper.processHandle != 0) {
        if (keeperStatus || processes_.queryExit(r.keeper).state != ExitState::Running)
            processes_.close(r.keeper);
        else
            lingering_.push_back(r.keeper);
    }
    if (keeperStatus && *keeperStatus != 0)
        done.problems.push_back(keeperProblem(r.path, *keeperStatus));
    // Nothing kept, or removed meanwhile (its task deleted): nothing is left to close off.
    if (r.path.empty() || ::access(r.path.c_str(), F_OK) != 0) return done;
    if (std::string error = recordRunEnd(r.path, r.end); !error.empty())
        done.problems.push_back(std::move(error));
    // Read before the oldest runs go: this one may be among them, when an instance of the task
    // that started later ended first.
    done.lastLine = lastOutputLine(r.path);
    for (std::string& problem : removeOldRuns(root_, r.appId, r.keepRuns, livePaths(r.appId)))
        done.problems.push_back(std::move(problem));
    return done;
}

// Runs of the task that another instance may still be writing.
std::vector<std::string> TaskOutput::livePaths(std::int32_t appId) const {
    std::vector<std::string> live;
    for (const Run& other : runs_)
        if (!other.path.empty() && other.appId == appId) live.push_back(other.path);
    for (const Run& other : ending_)
        if (!other.path.empty() && other.appId == appId) live.push_back(other.path);
    return live;
}

std::vector<std::string> TaskOutput::removeTask(std::int32_t appId) {
    if (root_.empty()) return {};
    return removeTaskRuns(root_, appId);
}

bool FailureNotices::allow(std::int32_t appId, DateTime now) {
    // Calendar minutes, not 60 s since the last word: a task failing at every minute's pass
    // (each a few milliseconds later or earlier than the last) is said every time.
    const std::int64_t minute = msOf(now) / 60000;
    auto it = last_.find(appId);
    if (it != last_.end() && it->second == minute) return false;
    last_[appId] = minute;
    return true;
}

// ------------------------------------------------------------------ the scheduler's hooks

OutputSettings Scheduler::outputSettings() {
    std::vector<std::string> problems;
    const OutputSettings settings = output_.settings(settings_, problems);
    // Each problem once per run of the scheduler, not at every launch.
    for (const std::string& problem : problems) {
        if (std::find(outputProblemsSaid_.begin(), outputProblemsSaid_.end(), problem) !=
            outputProblemsSaid_.end())
            continue;
        outputProblemsSaid_.push_back(problem);
        WriteProtocol(std::string(str::OutputSettingsProblem) + problem);
    }
    return settings;
}

void Scheduler::outputProblem(std::string_view appName, const std::string& problem) noexcept {
    WriteProtocol(str::taskMessage(str::OutputProblem, appName) + problem);
}

void Scheduler::endOutput(int slotNumber, CompletionCode code, std::optional<int> exitCode,
                          std::string appName, std::string notice) noexcept {
    try {
        output_.end(slotNumber, RunningTasks.slot(slotNumber).AppID,
                    RunEnd{clock_.now(), static_cast<int>(code), exitCode}, appName,
                    std::move(notice));
    } catch (const std::exception& e) {
        outputProblem(appName, e.what());
    }
    finishOutput(TaskOutput::Finish::Ready);
}

void Scheduler::finishOutput(TaskOutput::Finish which) noexcept {
    std::vector<FinishedRun> done;
    try {
        done = output_.finish(which);
    } catch (const std::exception& e) {
        outputProblem("", e.what());
    }
    for (FinishedRun& run : done) {
        for (const std::string& problem : run.problems)
            outputProblem(run.appName, problem);
        if (!run.notice.empty())
            notifyFailure(run.appId, run.appName, std::move(run.notice), std::move(run.lastLine));
    }
}

void Scheduler::removeDeletedTasksOutput() {
    if (deletedTasks_.empty()) return;
    std::vector<std::int32_t> ids;
    ids.swap(deletedTasks_);
    Table& t = DataCtrl->Table1;
    for (std::int32_t id : ids) {
        // Still there: its deletion did not go through. Still running: its end removes them.
        if (t.gotoBookmark(id) || RunningTasks.AppIndex(id) != 0) continue;
        for (const std::string& problem : output_.removeTask(id))
            outputProblem(std::to_string(id), problem);
    }
}

void Scheduler::notifyFailure(std::int32_t appId, const std::string& appName, std::string what,
                              std::string lastLine) noexcept {
    try {
        if (!outputSettings().notifyOnFailure || !notices_.allow(appId, clock_.now())) return;
        TaskNotice notice;
        notice.appId = appId;
        notice.task = appName;
        notice.what = std::move(what);
        notice.lastLine = std::move(lastLine);
        port_.notifyFailure(notice);
    } catch (...) {
        // A word that cannot be said changes nothing the run left behind.
    }
}

} // namespace vektrin
