#include "engine/task_output.h"

#include "engine/scheduler.h"
#include "platform/strings.h"

#include <algorithm>
#include <unistd.h>

namespace vektrin {

std::string TaskOutput::begin(int slot, std::int32_t appId, DateTime start,
                              const OutputSettings& settings, std::string& whyNot) {
    Run& r = run(slot);
    r = Run{};
    if (root_.empty() || !settings.capture) return {};
    NewRunFile file = createRunFile(root_, appId, start, settings.maxBytes);
    if (file.path.empty()) {
        whyNot = file.error;
        return {};
    }
    r.path = file.path;
    r.appId = appId;
    r.maxBytes = settings.maxBytes;
    r.keepRuns = settings.keepRuns;
    r.watch = std::make_unique<RunningFileWatch>(r.path, r.maxBytes);
    return r.path;
}

void TaskOutput::abandon(int slot) {
    Run& r = run(slot);
    if (!r.path.empty()) ::unlink(r.path.c_str());
    r = Run{};
}

std::string TaskOutput::watch(int slot) {
    Run& r = run(slot);
    return r.watch ? r.watch->poll() : std::string();
}

std::string TaskOutput::finish(int slot, const RunEnd& end, std::vector<std::string>& problems) {
    Run r = std::move(run(slot));
    run(slot) = Run{};
    if (r.path.empty()) return {};
    // Removed meanwhile (its task deleted): nothing is left to close off.
    if (::access(r.path.c_str(), F_OK) != 0) return {};
    const RunningCut cut = r.watch ? r.watch->finish() : RunningCut{};
    const CapResult cap = capRunFile(r.path, r.maxBytes, cut);
    if (!cap.error.empty()) problems.push_back(cap.error);
    // Written last: a reader that sees the end finds the file in its final form.
    if (std::string error = recordRunEnd(r.path, end); !error.empty())
        problems.push_back(std::move(error));
    // Read before the oldest runs go: this one may be among them, when an instance of the task
    // that started later ended first.
    std::string lastLine = lastOutputLine(r.path);
    // Another instance of the task may still be writing to an older run file.
    std::vector<std::string> live;
    for (const Run& other : runs_)
        if (!other.path.empty() && other.appId == r.appId) live.push_back(other.path);
    for (std::string& problem : removeOldRuns(root_, r.appId, r.keepRuns, live))
        problems.push_back(std::move(problem));
    return lastLine;
}

std::vector<std::string> TaskOutput::removeTask(std::int32_t appId) {
    if (root_.empty()) return {};
    return removeTaskRuns(root_, appId);
}

bool FailureNotices::allow(std::int32_t appId, DateTime now) {
    const std::int64_t ms = msOf(now);
    auto it = last_.find(appId);
    // A clock set back counts as a new minute, not as a long silence.
    if (it != last_.end() && ms >= it->second && ms - it->second < 60000) return false;
    last_[appId] = ms;
    return true;
}

// ------------------------------------------------------------------ the scheduler's hooks

OutputSettings Scheduler::outputSettings() {
    std::vector<std::string> problems;
    const OutputSettings settings = readOutputSettings(settings_, problems);
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

std::string Scheduler::endOutput(int slotNumber, CompletionCode code, std::optional<int> exitCode,
                                 std::string_view appName) noexcept {
    std::vector<std::string> problems;
    std::string lastLine;
    try {
        lastLine = output_.finish(slotNumber,
                                  RunEnd{clock_.now(), static_cast<int>(code), exitCode}, problems);
    } catch (const std::exception& e) {
        problems.emplace_back(e.what());
    }
    for (const std::string& problem : problems)
        outputProblem(appName, problem);
    return lastLine;
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
